// Uses the installed library: writes a small image through an iterator and reads it back.
#include <cstdio>

#include "tarvel.h"

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
    std::printf("consumer OK\n");
    return 0;
}
