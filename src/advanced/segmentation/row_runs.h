#pragma once
// Masks of a microscope picture are mostly background: scans over a mask's set pixels jump over
// its empty stretches eight bytes at a time.

#include <cstdint>
#include <cstring>

namespace segm {

// Calls body(x) for each x in [0, w) where row[x] != 0, in order.
template <class Body>
inline void ForEachSet(const uint8_t* row, int w, Body&& body) {
    int x = 0;
    while (x < w) {
        for (uint64_t word; x + 8 <= w; x += 8) {
            std::memcpy(&word, row + x, 8);
            if (word) break;
        }
        while (x < w && !row[x]) ++x;
        for (; x < w && row[x]; ++x) body(x);
    }
}

}  // namespace segm
