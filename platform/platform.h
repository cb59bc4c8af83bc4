// The Windows functions tarvel calls, declared under their Windows names and
// implemented on POSIX. On Windows this header would include <windows.h>.
// Internal to the library: public headers include only platform/windows_types.h.
//
// Thread use: every function may be called from any number of threads at once.
// The profile functions share one cache of parsed files, guarded by a lock that
// also serialises this process's writers (a lock on the directory serialises
// them across processes); the string tables are guarded by a lock; each thread
// draws unique file names from a generator of its own. GDI calls work on the
// device surface and palette they are given, each of which one thread at a
// time may use.
#pragma once

#include "platform/windows_types.h"

// Windows constants as typed constants rather than the macros <windows.h>
// defines for them.
constexpr int kMaxPath = 260;                    // MAX_PATH: path buffers, NUL included
constexpr DWORD kBiRgb = 0;                      // BI_RGB: uncompressed DIB pixels
constexpr UINT kDibRgbColors = 0;                // DIB_RGB_COLORS: the colour table holds RGBQUADs
constexpr DWORD kMoveFileReplaceExisting = 0x1;  // MOVEFILE_REPLACE_EXISTING

// ---- Temporary and page files (tempfiles.cpp) ----

// Writes the temporary directory ($TMPDIR, else /tmp), always ending with '/',
// into buffer. Returns its length, or the size needed when buffer is too small.
DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer);

// Creates a new empty file "~gm<hex>.tmp" (at most 15 characters) in lpPathName
// with O_CREAT|O_EXCL, mode 0600 (page files are nobody else's business), and
// writes its full path to lpTempFileName (kMaxPath bytes). Returns the unique
// number, or 0 when no file could be created; the path that was tried is still
// written so that callers can report it.
UINT GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique, LPSTR lpTempFileName);

// Removes a file. true on success.
BOOL DeleteFileA(LPCSTR lpFileName);

// Creates one directory (mode 0777 before umask). 0 on success, -1 otherwise.
int _mkdir(const char* path);

// ---- Profile (INI) files (profile.cpp) ----
//
// Windows semantics: section and key names match case-insensitively; a write
// replaces only its key (a null string deletes the key, a null key the whole
// section) and keeps every other line, comments included; a missing file,
// section or key reads as the default. Beyond Windows: every write replaces
// the file atomically (new file in the same directory, synced, renamed into
// place), so a crash leaves the old or the new file, never a torn one; parsed
// files are cached while the path names the same inode with the same size and
// times; files over kMaxProfileFileBytes are neither read nor written (they
// read as missing); names and values with line breaks, and keys with '=', are
// refused (false).

// The largest profile file read or written. The largest image directory (four
// channels of 4096 pages) takes under half a mebibyte; parsing costs a few tens
// of bytes of memory per line, so a larger limit would let a hostile file cost
// far more memory than the page cache.
constexpr DWORD kMaxProfileFileBytes = 2u << 20;

BOOL WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                LPCSTR lpFileName);
// Beyond Windows: the nKeys writes WritePrivateProfileStringA(lpAppName,
// lpKeyNames[i], lpStrings[i], lpFileName) in order, as one replacement of the
// file. Thousands of keys cost one write instead of thousands.
BOOL WritePrivateProfileKeysA(LPCSTR lpAppName, const LPCSTR* lpKeyNames, const LPCSTR* lpStrings,
                              DWORD nKeys, LPCSTR lpFileName);
// Beyond Windows: deletes the replacement files that writers of lpFileName
// left behind when they were killed (".<name>.<pid>.<n>.tmp" beside it).
// Writers hold the directory's lock while their replacement exists, so a
// write in progress never loses its file. true when every one found went.
BOOL DeleteProfileTemporariesA(LPCSTR lpFileName);
// An optional sign and decimal digits; trailing characters are ignored, an
// empty or missing value gives nDefault.
UINT GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName);
// At most nSize - 1 characters and a NUL; returns the characters copied. A
// null key lists the section's keys, a null section the section names.
DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                               LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName);

// Renames a file within one file system, atomically: readers see the old or
// the new file at lpNewFileName, never neither. Without
// kMoveFileReplaceExisting in dwFlags an existing target makes it fail.
// Beyond Windows: the move takes the profile writers' lock on the target's
// directory, so that a profile write in progress never puts back the file
// the move replaced; the directory is synced after the move. true on success.
BOOL MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags);

// ---- String resources (strings.cpp) ----

// Copies string uID of the module's table into lpBuffer (at most
// cchBufferMax - 1 characters, then NUL) and returns the characters copied;
// 0 when the module registered no such string.
int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);

// One string resource. A module registers its table once; the table must
// outlive every lookup (a static array).
struct STRINGRESOURCE {
    UINT id;
    LPCSTR text;
};
void RegisterStringTable(HINSTANCE hInstance, const STRINGRESOURCE* table, int count);

// ---- GDI on software surfaces (gdi.cpp; the surface is in platform/surface.h) ----

using HGDIOBJ = void*;
// A palette of up to 256 entries; null when lplgpl is null or has no entries.
HPALETTE CreatePalette(const LOGPALETTE* lplgpl);
// Deletes a palette made by CreatePalette. true on success.
BOOL DeleteObject(HGDIOBJ ho);

HPALETTE SelectPalette(HDC hdc, HPALETTE hPal, BOOL bForceBkgd);
UINT RealizePalette(HDC hdc);
int SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc,
                      UINT StartScan, UINT cLines, const void* lpvBits, const BITMAPINFO* lpbmi,
                      UINT ColorUse);
