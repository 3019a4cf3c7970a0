#pragma once
// Packed device-independent bitmaps: the 40-byte header, the masks (16-bit bitfields) or the
// palette (8 bits and less), then the rows, bottom row first (a negative height: top row first),
// each padded to 4 bytes. What an acquisition source delivers as one picture.

#include <cstddef>
#include <cstdint>

#include "image/obj_image.h"

// The picture a packed bitmap of size bytes holds. False (image untouched) when the header is
// unusable or the block is too short for the pixels it announces.
bool ImageFromPackedDib(const uint8_t* block, size_t size, FCObjImage& image);
