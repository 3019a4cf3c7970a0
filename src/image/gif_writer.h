#pragma once
#include <string>

#include "image/obj_image.h"

// Writes the picture as a GIF with giflib. Pictures of 8 bits or less keep their palette;
// deeper ones get an exact palette when they use at most 256 colours, otherwise a
// median-cut palette of 256 colours.
bool WriteGifFile(const std::string& path, const FCObjImage& img);
