#pragma once
// Row conversions between pixel layouts, with SSSE3 paths chosen at run time.

#include <cstdint>

namespace pixel {

// n pixels of B,G,R,A → B,G,R.
void Bgra32ToBgr24(const uint8_t* src, uint8_t* dst, int n);
// n grey bytes → B,G,R with equal channels.
void Gray8ToBgr24(const uint8_t* src, uint8_t* dst, int n);
// n palette indices → B,G,R through a table of 256 entries packed as B | G << 8 | R << 16.
void Indexed8ToBgr24(const uint8_t* src, uint8_t* dst, int n, const uint32_t* table);
// n pixels of R,G,B → B,G,R (and back: the swap is its own inverse). src and dst may not overlap.
void SwapRedBlue24(const uint8_t* src, uint8_t* dst, int n);

}  // namespace pixel
