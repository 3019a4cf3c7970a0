#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "image/obj_image.h"
#include "image/pcl_array.h"

// Whether the bytes begin like a GIF file ("GIF87a" or "GIF89a").
bool IsGifData(const uint8_t* data, size_t size);

// Reads the frames of a GIF file's bytes with giflib, each composed on the logical screen as a
// viewer shows it. Without local colour maps the frames are 8-bit pictures with the file's
// palette; when frames bring colour maps of their own they are composed in 32 bits (B, G, R,
// A). Reading stops at the first frame that is damaged, lies outside the screen or claims more
// pixels than the file could code, or after maxFrames frames (0: no limit); false when the data
// is no GIF or holds no sound frame.
bool ReadGifMemory(const uint8_t* data, size_t size, PCL_Interface_Composite<FCObjImage>& images,
                   int maxFrames = 0);

// Writes the picture as a GIF with giflib. Pictures of 8 bits or less keep their palette;
// deeper ones get an exact palette when they use at most 256 colours, otherwise a
// median-cut palette of 256 colours.
bool WriteGifFile(const std::string& path, const FCObjImage& img);
