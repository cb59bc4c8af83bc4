// Profile (INI) files with the Windows semantics; every write atomically replaces the file.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/cleanup.h"
#include "platform/output_file.h"
#include "platform/platform.h"

namespace {

// Largest profile file read or written (see platform.h).
constexpr std::size_t kMaxProfileBytes = kMaxProfileFileBytes;
// Parsed files kept between calls. A program usually works with one directory
// file at a time; a few more cover programs that keep several open.
constexpr std::size_t kCachedProfiles = 8;
// ... and at most this many bytes of them, so that the cache never holds
// more than a couple of the largest files.
constexpr off_t kCachedProfileBytes = 2 * static_cast<off_t>(kMaxProfileFileBytes);
// Attempts at a unique temporary name before a write gives up.
constexpr int kTempNameAttempts = 64;

const std::size_t kNone = static_cast<std::size_t>(-1);

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

std::string trimmed(const char* begin, const char* end) {
    while (begin < end && is_blank(*begin)) ++begin;
    while (end > begin && is_blank(end[-1])) --end;
    return std::string(begin, end);
}

std::string trimmed(const std::string& s) {
    return trimmed(s.data(), s.data() + s.size());
}

// Section and key names match case-insensitively (ASCII, as the profile files hold).
std::string folded(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// ---- The parsed file: its lines, unchanged, and an index of sections and keys ----

struct section_index {
    std::string name;                                   // as written, trimmed
    std::size_t header;                                 // line of "[name]"
    std::size_t end;                                    // one past the section's last line
    std::vector<std::size_t> keyLines;                  // "key=value" lines in file order
    std::unordered_map<std::string, std::size_t> keys;  // folded key -> its first line
};

struct profile {
    std::vector<std::string> lines;  // without line ends
    std::string eol = "\n";          // the file's line end, kept on rewrite
    std::vector<section_index> sections;
    std::unordered_map<std::string, std::size_t> byName;  // folded name -> first section

    void parse(const std::string& text);
    void reindex();
    std::string text() const;
    const section_index* find(const std::string& section) const;
    static bool header_name(const std::string& line, std::string& name);
    static bool key_name(const std::string& line, std::string& name);
    static std::string value_of(const std::string& line);
};

void profile::parse(const std::string& text) {
    lines.clear();
    eol = "\n";
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        std::size_t stop = nl;
        if (stop > start && text[stop - 1] == '\r') {
            --stop;
            if (lines.empty()) eol = "\r\n";
        }
        lines.emplace_back(text, start, stop - start);
        start = nl + 1;
    }
    reindex();
}

// A header is '[' as the first non-blank character and a ']' later on the line;
// the name lies between the '[' and the last ']'.
bool profile::header_name(const std::string& line, std::string& name) {
    const std::size_t open = line.find_first_not_of(" \t\v\f\r");
    if (open == std::string::npos || line[open] != '[') return false;
    const std::size_t close = line.rfind(']');
    if (close == std::string::npos || close < open) return false;
    name = trimmed(line.data() + open + 1, line.data() + close);
    return true;
}

// A key line has '=' after a non-empty name; ';' starts a comment line.
bool profile::key_name(const std::string& line, std::string& name) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    name = trimmed(line.data(), line.data() + eq);
    return !name.empty() && name[0] != ';';
}

// The value after the first '=', trimmed, without one pair of enclosing quotes.
std::string profile::value_of(const std::string& line) {
    std::string value = trimmed(line.substr(line.find('=') + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

void profile::reindex() {
    sections.clear();
    byName.clear();
    std::string name;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (header_name(lines[i], name)) {
            if (!sections.empty()) sections.back().end = i;
            sections.push_back(section_index{name, i, lines.size(), {}, {}});
            byName.emplace(folded(name), sections.size() - 1);
        } else if (!sections.empty() && key_name(lines[i], name)) {
            // Lines before the first header belong to no section and are kept as they are.
            sections.back().keyLines.push_back(i);
            sections.back().keys.emplace(folded(name), i);
        }
    }
}

std::string profile::text() const {
    std::string out;
    std::size_t size = 0;
    for (const std::string& line : lines) size += line.size() + eol.size();
    out.reserve(size);
    for (const std::string& line : lines) {
        out += line;
        out += eol;
    }
    return out;
}

const section_index* profile::find(const std::string& section) const {
    const auto it = byName.find(folded(trimmed(section)));
    return it != byName.end() ? &sections[it->second] : nullptr;
}

// Sets (value non-null) or deletes (value null) keys of one section, as the same
// single writes in order would. Returns whether any line changed.
bool set_keys(profile& p, const std::string& sectionName, const LPCSTR* keys, const LPCSTR* values,
              DWORD count) {
    std::size_t s = kNone;
    if (const section_index* found = p.find(sectionName)) s = found - p.sections.data();
    bool changed = false;
    std::vector<bool> dropped(p.lines.size(), false);
    std::vector<std::string> added;                        // new key lines, in order
    std::unordered_map<std::string, std::size_t> addedAt;  // folded key -> index in added
    // Deleting a key erases it from the index too, which is rebuilt after any change.
    std::unordered_map<std::string, std::size_t> none;
    std::unordered_map<std::string, std::size_t>& existing = s != kNone ? p.sections[s].keys : none;
    for (DWORD i = 0; i < count; ++i) {
        const std::string key = trimmed(keys[i]);
        const std::string fold = folded(key);
        const auto old = existing.find(fold);
        const auto fresh = addedAt.find(fold);
        if (values[i] == nullptr) {
            if (old != existing.end()) {
                dropped[old->second] = true;
                existing.erase(old);
                changed = true;
            } else if (fresh != addedAt.end()) {
                added[fresh->second].clear();  // an empty entry is skipped below
                addedAt.erase(fresh);
            }
            continue;
        }
        std::string name;  // a key keeps the spelling it was first written with
        if (old != existing.end()) {
            profile::key_name(p.lines[old->second], name);
            std::string line = name + "=" + values[i];
            if (line != p.lines[old->second]) {
                p.lines[old->second] = std::move(line);
                changed = true;
            }
        } else if (fresh != addedAt.end()) {
            profile::key_name(added[fresh->second], name);
            added[fresh->second] = name + "=" + values[i];
        } else {
            addedAt.emplace(fold, added.size());
            added.push_back(key + "=" + values[i]);
        }
    }
    std::size_t addedCount = 0;
    for (const std::string& line : added) addedCount += line.empty() ? 0 : 1;
    if (addedCount == 0 && !changed) return false;

    // New keys go after the section's last non-blank line; a new section goes at the end.
    std::size_t insertAt = p.lines.size();
    std::vector<std::string> header;
    if (s == kNone) {
        if (addedCount > 0) header.push_back("[" + trimmed(sectionName) + "]");
    } else {
        insertAt = p.sections[s].end;
        while (insertAt > p.sections[s].header + 1 && trimmed(p.lines[insertAt - 1]).empty()) {
            --insertAt;
        }
    }
    std::vector<std::string> lines;
    lines.reserve(p.lines.size() + header.size() + addedCount);
    for (std::size_t i = 0; i <= p.lines.size(); ++i) {
        if (i == insertAt) {
            for (std::string& h : header) lines.push_back(std::move(h));
            for (std::string& a : added) {
                if (!a.empty()) lines.push_back(std::move(a));
            }
        }
        if (i < p.lines.size() && !dropped[i]) lines.push_back(std::move(p.lines[i]));
    }
    p.lines = std::move(lines);
    p.reindex();
    return true;
}

bool drop_section(profile& p, const std::string& sectionName) {
    const section_index* found = p.find(sectionName);
    if (found == nullptr) return false;
    p.lines.erase(p.lines.begin() + static_cast<std::ptrdiff_t>(found->header),
                  p.lines.begin() + static_cast<std::ptrdiff_t>(found->end));
    p.reindex();
    return true;
}

// ---- Files: identity, reading, atomic replacement, and the cache ----

// What names one version of a file. Every write renames a new file into place,
// so a different inode means a different version; size and nanosecond times
// catch edits made in place by other programs.
struct file_id {
    dev_t dev;
    ino_t ino;
    off_t size;
    timespec mtime;
    timespec ctime;

    static file_id of(const struct stat& st) {
        return file_id{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    }
    bool same_file(const file_id& o) const { return dev == o.dev && ino == o.ino; }
    bool same_version(const file_id& o) const {
        return same_file(o) && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

struct cached_profile {
    file_id id;
    std::unique_ptr<profile> data;
};

// Newest first. Guarded by g_mutex, which also serialises this process's writers.
std::mutex g_mutex;
std::list<cached_profile> g_cache;

void forget(const file_id& id) {
    for (auto it = g_cache.begin(); it != g_cache.end(); ++it) {
        if (it->id.same_file(id)) {
            g_cache.erase(it);
            return;
        }
    }
}

profile* remember(const file_id& id, std::unique_ptr<profile> data) {
    forget(id);
    g_cache.push_front(cached_profile{id, std::move(data)});
    off_t bytes = 0;
    for (const cached_profile& c : g_cache) bytes += c.id.size;
    while (g_cache.size() > 1 &&
           (g_cache.size() > kCachedProfiles || bytes > kCachedProfileBytes)) {
        bytes -= g_cache.back().id.size;
        g_cache.pop_back();
    }
    return g_cache.front().data.get();
}

bool read_all(int fd, std::size_t size, std::string& out) {
    out.resize(size);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = read(fd, &out[got], size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return got == size;
}

enum class load_result { loaded, missing, failed };

// The parsed content of path, from the cache while the file is unchanged.
// Call with g_mutex held; the pointer stays valid until the lock is released.
load_result load(const char* path, profile*& out, file_id* idOut = nullptr) {
    struct stat st {};
    if (stat(path, &st) != 0) return errno == ENOENT ? load_result::missing : load_result::failed;
    if (!S_ISREG(st.st_mode)) return load_result::failed;
    const file_id seen = file_id::of(st);
    for (auto it = g_cache.begin(); it != g_cache.end(); ++it) {
        if (it->id.same_version(seen)) {
            g_cache.splice(g_cache.begin(), g_cache, it);
            out = it->data.get();
            if (idOut != nullptr) *idOut = seen;
            return load_result::loaded;
        }
    }
    // O_NONBLOCK: a FIFO put in the file's place must not hang the caller.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? load_result::missing : load_result::failed;
    std::string text;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              static_cast<std::size_t>(st.st_size) <= kMaxProfileBytes &&
              read_all(fd, static_cast<std::size_t>(st.st_size), text);
    close(fd);
    if (!ok) return load_result::failed;
    auto parsed = std::make_unique<profile>();
    parsed->parse(text);
    out = remember(file_id::of(st), std::move(parsed));
    if (idOut != nullptr) *idOut = file_id::of(st);
    return load_result::loaded;
}

std::string directory_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool write_all(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The name of a replacement of the file `base`: "." base ".<pid>.<time><counter>.tmp".
bool is_replacement_name(const std::string& name, const std::string& base) {
    const std::string prefix = "." + base + ".";
    return name.size() > prefix.size() + 4 && name.compare(0, prefix.size(), prefix) == 0 &&
           name.compare(name.size() - 4, 4, ".tmp") == 0;
}

// Creates a new file next to path for the replacement, mode 0600 until it is complete.
int create_replacement(const std::string& path, std::string& tempPath) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    static unsigned counter = 0;
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".%x.%x%04x.tmp", static_cast<unsigned>(getpid()),
                      static_cast<unsigned>(now), ++counter & 0xffffu);
        tempPath = dir + "." + base + suffix;
        const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Replaces the file at path by text: a new file in the same directory is
// written and synced, then renamed over path, and the directory is synced, so
// that readers and a crash see either the old or the new file, never a mix.
// Returns the identity of the new file.
bool replace_file(const std::string& path, const std::string& text, const struct stat* old,
                  int dirFd, file_id& id) {
    std::string tempPath;
    const int fd = create_replacement(path, tempPath);
    if (fd < 0) return false;
    const tarvel::cleanup_id cleanup = tarvel::AddCleanupFile(tempPath.c_str());
    const mode_t mode = old != nullptr ? old->st_mode & 07777 : tarvel::NewFileMode();
    bool ok = write_all(fd, text) && fchmod(fd, mode) == 0 && fsync(fd) == 0 &&
              rename(tempPath.c_str(), path.c_str()) == 0;
    struct stat st {};
    if (ok) ok = fstat(fd, &st) == 0;  // after the rename, which changes the ctime
    close(fd);
    if (!ok) unlink(tempPath.c_str());
    tarvel::RemoveCleanup(cleanup);
    if (!ok) return false;
    fsync(dirFd);
    id = file_id::of(st);
    return true;
}

// Loads path under an exclusive lock on its directory (writers in other
// processes take the same lock), applies change, and writes the file back if
// change reports a difference.
template <class Change>
BOOL modify(const char* path, Change change) {
    std::lock_guard<std::mutex> guard(g_mutex);
    const std::string file(path);
    const int dirFd = open(directory_of(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return false;
    BOOL result = false;
    if (flock(dirFd, LOCK_EX) == 0) {
        profile* p = nullptr;
        file_id id{};
        profile empty;
        const load_result got = load(path, p, &id);
        if (got == load_result::missing) p = &empty;
        if (got != load_result::failed) {
            if (!change(*p)) {
                result = true;
            } else {
                const std::string text = p->text();
                struct stat old {};
                const bool existed = got == load_result::loaded && stat(path, &old) == 0;
                file_id written{};
                if (text.size() <= kMaxProfileBytes &&
                    replace_file(file, text, existed ? &old : nullptr, dirFd, written)) {
                    result = true;
                    if (p == &empty) {
                        remember(written, std::make_unique<profile>(std::move(empty)));
                    } else {
                        g_cache.front().id = written;  // load put p at the front
                    }
                } else if (p != &empty) {
                    forget(id);  // the cached copy was changed but the file was not
                }
            }
        }
        flock(dirFd, LOCK_UN);
    }
    close(dirFd);
    return result;
}

// Names written into a file must not break its line structure.
bool writable(const char* s, bool isKey) {
    if (s == nullptr) return true;
    for (const char* c = s; *c != '\0'; ++c) {
        if (*c == '\n' || *c == '\r' || (isKey && *c == '=')) return false;
    }
    return true;
}

// Copies text into out (size chars) as Windows does: at most size - 1
// characters and a NUL; returns the characters copied.
DWORD copy_string(const std::string& text, LPSTR out, DWORD size) {
    const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return static_cast<DWORD>(n);
}

// Copies names, each ending with a NUL, and a final NUL. When they do not all
// fit, the last one is cut, the list still ends with two NULs and the result is
// size - 2, as on Windows.
DWORD copy_list(const std::vector<std::string>& names, LPSTR out, DWORD size) {
    if (size < 2) {
        if (size == 1) out[0] = '\0';
        return 0;
    }
    std::size_t room = size - 1;  // keeps one byte for the final NUL
    char* at = out;
    for (const std::string& name : names) {
        const std::size_t need = name.size() + 1;
        if (need > room) {
            if (room > 0) {
                std::memcpy(at, name.data(), room - 1);
                at += room - 1;
                *at++ = '\0';
            }
            *at = '\0';
            return size - 2;
        }
        std::memcpy(at, name.c_str(), need);
        at += need;
        room -= need;
    }
    *at = '\0';
    return static_cast<DWORD>(at - out);
}

}  // namespace

BOOL WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                LPCSTR lpFileName) {
    if (lpAppName == nullptr) {
        // All three null asks Windows to flush its cache; every write here is already on disk.
        return lpKeyName == nullptr && lpString == nullptr ? true : false;
    }
    if (lpKeyName == nullptr) {
        if (lpFileName == nullptr || !writable(lpAppName, false)) return false;
        return modify(lpFileName, [&](profile& p) { return drop_section(p, lpAppName); });
    }
    return WritePrivateProfileKeysA(lpAppName, &lpKeyName, &lpString, 1, lpFileName);
}

BOOL WritePrivateProfileKeysA(LPCSTR lpAppName, const LPCSTR* lpKeyNames, const LPCSTR* lpStrings,
                              DWORD nKeys, LPCSTR lpFileName) {
    if (lpAppName == nullptr || lpFileName == nullptr || !writable(lpAppName, false) ||
        trimmed(lpAppName).empty()) {
        return false;
    }
    for (DWORD i = 0; i < nKeys; ++i) {
        if (lpKeyNames[i] == nullptr || trimmed(lpKeyNames[i]).empty() ||
            !writable(lpKeyNames[i], true) || !writable(lpStrings[i], false)) {
            return false;
        }
    }
    return modify(lpFileName,
                  [&](profile& p) { return set_keys(p, lpAppName, lpKeyNames, lpStrings, nKeys); });
}

BOOL MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    if (lpExistingFileName == nullptr || lpNewFileName == nullptr) return false;
    struct stat st {};
    if ((dwFlags & kMoveFileReplaceExisting) == 0 && lstat(lpNewFileName, &st) == 0) return false;
    // Under the profile writers' locks: a write that read the file this move
    // replaces would otherwise rename its changed copy back over the new one.
    std::lock_guard<std::mutex> guard(g_mutex);
    const int dirFd = open(directory_of(lpNewFileName).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return false;
    bool moved = false;
    if (flock(dirFd, LOCK_EX) == 0) {
        moved = rename(lpExistingFileName, lpNewFileName) == 0;
        if (moved) fsync(dirFd);
        flock(dirFd, LOCK_UN);
    }
    close(dirFd);
    return moved;
}

DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                               LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
    if (lpReturnedString == nullptr || nSize == 0) return 0;
    std::lock_guard<std::mutex> guard(g_mutex);
    profile* p = nullptr;
    const bool loaded = lpFileName != nullptr && load(lpFileName, p) == load_result::loaded;
    if (lpAppName == nullptr || lpKeyName == nullptr) {
        std::vector<std::string> names;
        if (loaded && lpAppName == nullptr) {
            for (const section_index& s : p->sections) names.push_back(s.name);
        } else if (loaded) {
            if (const section_index* s = p->find(lpAppName)) {
                std::string name;
                for (std::size_t line : s->keyLines) {
                    profile::key_name(p->lines[line], name);
                    names.push_back(name);
                }
            }
        }
        return copy_list(names, lpReturnedString, nSize);
    }
    if (loaded) {
        if (const section_index* s = p->find(lpAppName)) {
            const auto it = s->keys.find(folded(trimmed(lpKeyName)));
            if (it != s->keys.end()) {
                return copy_string(profile::value_of(p->lines[it->second]), lpReturnedString,
                                   nSize);
            }
        }
    }
    // Windows drops trailing blanks from the default.
    std::string fallback = lpDefault != nullptr ? lpDefault : "";
    while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
    return copy_string(fallback, lpReturnedString, nSize);
}

UINT GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName) {
    if (lpAppName == nullptr || lpKeyName == nullptr) return static_cast<UINT>(nDefault);
    std::string value;
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        profile* p = nullptr;
        if (lpFileName == nullptr || load(lpFileName, p) != load_result::loaded) {
            return static_cast<UINT>(nDefault);
        }
        const section_index* s = p->find(lpAppName);
        if (s == nullptr) return static_cast<UINT>(nDefault);
        const auto it = s->keys.find(folded(trimmed(lpKeyName)));
        if (it == s->keys.end()) return static_cast<UINT>(nDefault);
        value = profile::value_of(p->lines[it->second]);
    }
    if (value.empty()) return static_cast<UINT>(nDefault);
    // An optional sign and decimal digits; whatever follows is ignored. Like
    // Windows the digits accumulate modulo 2^32.
    std::size_t i = 0;
    const bool negative = value[0] == '-';
    if (value[0] == '-' || value[0] == '+') ++i;
    UINT result = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        result = result * 10u + static_cast<UINT>(value[i] - '0');
    }
    return negative ? 0u - result : result;
}

BOOL DeleteProfileTemporariesA(LPCSTR lpFileName) {
    if (lpFileName == nullptr) return false;
    const std::string file(lpFileName);
    const std::size_t slash = file.rfind('/');
    const std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    const std::string dir = directory_of(file) + "/";
    std::lock_guard<std::mutex> guard(g_mutex);
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return false;
    // Writers hold this lock while their replacement exists, so every
    // replacement seen under it was left by a writer that died.
    BOOL result = false;
    if (flock(dirFd, LOCK_EX) == 0) {
        result = true;
        if (DIR* d = fdopendir(dup(dirFd))) {
            while (const dirent* entry = readdir(d)) {
                struct stat st {};
                if (is_replacement_name(entry->d_name, base) &&
                    fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISREG(st.st_mode) && unlinkat(dirFd, entry->d_name, 0) != 0) {
                    result = false;
                }
            }
            closedir(d);
        }
        flock(dirFd, LOCK_UN);
    }
    close(dirFd);
    return result;
}
