#pragma once
// Writes a 24-bit picture as a BMP file. The modules cannot use the program's codecs (they link
// the picture buffer only), and a BMP is the picture buffer's own layout behind two headers.

#include <string>

#include "image/obj_image.h"

// Written beside the target and renamed over it, so a failed write leaves an existing file
// intact. False for an invalid or non-24-bit picture or any write failure.
bool WriteBmp24(const std::string& path, const FCObjImage& image);
