// The stored form of an image directory: key names, stored numbers, and
// reading a section back with the checks that keep Thaw inside its directory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "image/directory.h"
#include "image/file_names.h"
#include "image/image.h"
#include "platform/platform.h"

namespace tarvel {

std::string PageKey(int channel, int page) {
    char key[32];
    std::snprintf(key, sizeof key, "%03x-%04x", static_cast<unsigned>(channel),
                  static_cast<unsigned>(page));
    return key;
}

int ToHundredths(double value) {
    const double scaled = value * 100.0;
    if (std::isnan(scaled)) return 0;
    if (scaled >= 2147483647.0) return INT_MAX;
    if (scaled <= -2147483648.0) return INT_MIN;
    return static_cast<int>(std::floor(scaled + 0.5));
}

bool ReadProfileInt(const char* section, const char* key, int fallback, const char* path,
                    int& value) {
    value = fallback;
    char text[kPageValueChars];
    GetPrivateProfileStringA(section, key, "", text, sizeof text, path);
    if (text[0] == '\0') return true;
    const char* p = text;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    long long number = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        number = number * 10 + (*p - '0');
        if (number > 2147483648LL) return false;
    }
    if (negative) number = -number;
    if (number > INT_MAX || number < INT_MIN) return false;
    value = static_cast<int>(number);
    return true;
}

namespace {

// The bare name of a stored value: the part after its last '/', '\' or ':'.
// Empty when that part cannot name a page or palette file of the directory.
std::string bare_name(const std::string& value) {
    std::string name = BareFileName(value);
    if (name == "." || name == ".." || name.size() >= static_cast<std::size_t>(kPageNameChars)) {
        return std::string();
    }
    return name;
}

// Looks the entry's bare name up in dir without following links or blocking on FIFOs.
void examine(const char* dir, directory_entry& entry) {
    entry.name = bare_name(entry.value);
    if (entry.name.empty()) return;
    const std::string path = std::string(dir) + entry.name;
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        entry.present = true;
        entry.bytes = st.st_size;
    }
    close(fd);
}

std::string read_string(const char* section, const std::string& key, int chars, const char* path) {
    std::vector<char> buffer(static_cast<std::size_t>(chars));
    GetPrivateProfileStringA(section, key.c_str(), "", buffer.data(), chars, path);
    return buffer.data();
}

}  // namespace

bool image_directory::Read(const char* dir, const char* file, const char* section) {
    *this = image_directory();
    const std::string path = std::string(dir) + file;
    struct stat st {};
    exists = stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    auto fail = [this](const std::string& why) {
        if (problem.empty()) problem = why;
        return false;
    };
    if (!exists) return fail("the directory file cannot be read");

    struct number {
        const char* key;
        int* field;
    };
    const number numbers[] = {
        {"Type", &type},       {"Mode", &mode},         {"Width", &width},
        {"Height", &height},   {"Channels", &channels}, {"PageCount", &pageCount},
        {"PageLen", &pageLen}, {"PageSize", &pageSize}, {"CacheLimit", &cacheLimit}};
    const char* p = path.c_str();
    for (const number& n : numbers) {
        if (!ReadProfileInt(section, n.key, -1, p, *n.field))
            return fail(std::string("\"") + n.key + "\" is outside the int range");
    }
    if (!ReadProfileInt(section, "Brightness", 5000, p, brightness) ||
        !ReadProfileInt(section, "Contrast", 5000, p, contrast)) {
        return fail("\"Brightness\" or \"Contrast\" is outside the int range");
    }
    for (const number& n : numbers) {
        if (*n.field < 0) return fail(std::string("\"") + n.key + "\" is missing or negative");
    }

    // The geometry must be the one Create computes, so that the page table and
    // the page buffers are what the stored sizes promise.
    image probe;
    if (!probe.Create(type, width, height, mode)) {
        return fail("Type, Width and Height do not describe an image");
    }
    if (channels != probe.GetChannelCount() || pageLen != probe.GetPageLen() ||
        pageSize != probe.GetPageSize() || pageCount != probe.GetPageCount()) {
        return fail(
            "Channels, PageLen, PageSize or PageCount differ from what Width and "
            "Height give");
    }
    if (cacheLimit < channels) return fail("CacheLimit is below the channel count");
    // A larger limit than Create gives would let a hostile file keep the whole
    // image in memory; Freeze always writes the computed one.
    if (cacheLimit > probe.GetCacheLimit()) return fail("CacheLimit exceeds what Create gives");

    pages.resize(static_cast<std::size_t>(channels) * pageCount);
    for (int c = 0; c < channels; ++c) {
        for (int k = 0; k < pageCount; ++k) {
            directory_entry& entry = pages[static_cast<std::size_t>(c) * pageCount + k];
            entry.value = read_string(section, PageKey(c, k), kPageValueChars, p);
            if (entry.value.size() < 2) {
                fail("page " + PageKey(c, k) + " has no file");
                continue;
            }
            examine(dir, entry);
            if (entry.name.empty())
                fail("page " + PageKey(c, k) + " names no file of the directory");
            else if (!entry.present)
                fail("page " + PageKey(c, k) + " names a missing file");
            else if (entry.bytes < pageSize)
                fail("page " + PageKey(c, k) + ": " + entry.name + " holds " +
                     std::to_string(entry.bytes) + " bytes, fewer than a page");
        }
    }
    palette.value = read_string(section, "Palette", kPaletteValueChars, p);
    if (palette.value.size() >= 2) {
        examine(dir, palette);
        if (palette.name.empty())
            fail("\"Palette\" names no file of the directory");
        else if (!palette.present)
            fail("\"Palette\" names a missing file");
        else if (palette.bytes < kPaletteBytes)
            fail("\"Palette\": " + palette.name + " holds fewer than " +
                 std::to_string(kPaletteBytes) + " bytes");
    }
    return problem.empty();
}

}  // namespace tarvel
