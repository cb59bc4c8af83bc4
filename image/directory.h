// The stored form of a paged image: one section of a directory file in the
// image's temporary directory, naming the page files and the palette file.
#pragma once

#include <string>
#include <vector>

namespace tarvel {

// Characters read from a page key's value, and from the "Palette" value.
constexpr int kPageValueChars = 1024;
constexpr int kPaletteValueChars = 260;

// The key of page `page` of channel `channel`: "%03x-%04x" ("000-001a").
std::string PageKey(int channel, int page);

// Reads an integer key as GetPrivateProfileIntA does (an optional sign and
// decimal digits, whatever follows ignored; a missing or empty value gives
// `fallback`) into value, but refuses (false, value = fallback) a number
// outside the int range instead of wrapping it.
bool ReadProfileInt(const char* section, const char* key, int fallback, const char* path,
                    int& value);

// value x 100, rounded half up, saturated to the int range: how brightness and
// contrast are stored ("%d" of the result).
int ToHundredths(double value);

// One file a directory section names.
struct directory_entry {
    std::string value;     // the value as stored
    std::string name;      // its bare name; empty when refused
    bool present = false;  // a regular file of that name is in the directory
    long long bytes = -1;  // its size when present
};

// What one section of a directory file describes, read without reading any
// page, and whether Thaw accepts it.
//
// A section is accepted only when the nine numbers are present, within the
// int range and not negative (Brightness and Contrast within the int range), Type is 1, 2 or 3,
// Width and Height give an image Create accepts, Channels, PageLen, PageSize and PageCount equal
// what Create computes for them, CacheLimit is at least the channel count, every page key names a
// file of at least PageSize bytes and "Palette" (when set) names one of at least 768 bytes. Names
// are reduced to the part after the last '/', '\' or ':'; empty names, "." and "..", names longer
// than a page file name, and anything that is not a regular file (symbolic links, FIFOs,
// directories) are refused, so nothing outside the directory is ever named.
//
// Owns: nothing but its strings. Failure: `problem` says why the section is
// refused; fields not read stay at their defaults. Threads: any.
struct image_directory {
    int type = -1, mode = -1, width = -1, height = -1, channels = -1;
    int pageCount = -1, pageLen = -1, pageSize = -1, cacheLimit = -1;
    int brightness = 5000, contrast = 5000;  // hundredths
    bool exists = false;                     // the directory file could be read
    std::vector<directory_entry> pages;      // channel by channel; empty unless the geometry holds
    directory_entry palette;                 // value empty when there is none
    std::string problem;                     // empty when Thaw accepts the section

    // Reads `section` of dir + file; dir ends with a separator. Nothing is
    // written or deleted. Returns whether Thaw accepts the section.
    bool Read(const char* dir, const char* file, const char* section);
};

}  // namespace tarvel
