#include "image/jpeg_scans.h"

int JpegScanCount(const uint8_t* p, size_t n, int stopAfter) {
    if (!p || n < 4 || p[0] != 0xFF || p[1] != 0xD8) return 0;
    int scans = 0;
    size_t i = 2;
    while (i + 1 < n && scans < stopAfter) {
        if (p[i] != 0xFF) return scans;  // damaged: the decoder stops here too
        const uint8_t m = p[i + 1];
        if (m == 0xFF) {  // fill byte before a marker
            ++i;
            continue;
        }
        if (m == 0xD9) break;  // end of image
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) {  // markers without a segment
            i += 2;
            continue;
        }
        if (i + 3 >= n) break;
        const size_t length = size_t(p[i + 2]) << 8 | p[i + 3];
        if (length < 2) return scans;
        i += 2 + length;
        if (m != 0xDA) continue;
        ++scans;
        // The coded data runs to the next marker; FF 00 is a coded FF, FF D0..D7 restarts.
        while (i + 1 < n && !(p[i] == 0xFF && p[i + 1] != 0x00 && (p[i + 1] < 0xD0 || p[i + 1] > 0xD7)))
            ++i;
    }
    return scans;
}
