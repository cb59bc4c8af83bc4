// Uses the installed library beside ordinary system and C++ headers: writes a
// small image through an iterator, reads it back, and round-trips it through
// a BMP file, with names of its own that Windows headers would take as macros.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/param.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tarvel.h"

// Everyday code that uses these names itself.
static const int TRUE = 1;
static const int FALSE = 0;
static const int MAX_PATH = PATH_MAX;
enum bitmap_kind { BI_RGB, DIB_RGB_COLORS };

int main() {
    tarvel::image img(1, 300, 200, 0);
    {
        tarvel::image::pointer p(&img, 0, 0);
        for (int i = 0; i < 300 * 200; ++i, ++p) *p = static_cast<unsigned char>(i % 251);
    }
    unsigned char row[300];
    img.GetRegion(0, 150, 299, 150, 0, row);
    for (int x = 0; x < 300; ++x) {
        if (row[x] != static_cast<unsigned char>((150 * 300 + x) % 251)) {
            std::printf("consumer FAILED at %d\n", x);
            return 1;
        }
    }

    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "%s/consumer-%d.bmp", P_tmpdir, static_cast<int>(getpid()));
    tarvel::image back;
    const bool stored = tarvel::storeWindowsBMP(img, path, nullptr) == 0;
    const bool loaded = stored && tarvel::loadWindowsBMP(back, path, nullptr) == 0;
    unlink(path);
    unsigned char again[300] = {};
    if (loaded) back.GetRegion(0, 150, 299, 150, 0, again);
    if ((loaded ? TRUE : FALSE) != TRUE || back.GetType() != 2 ||
        !std::equal(row, row + 300, again) || BI_RGB == DIB_RGB_COLORS) {
        std::printf("consumer FAILED: BMP round trip\n");
        return 1;
    }
    std::printf("consumer OK\n");
    return 0;
}
