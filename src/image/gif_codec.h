#pragma once
#include <string>

#include "image/obj_image.h"
#include "image/pcl_array.h"

// Reads every frame of a GIF with giflib, each composed on the logical screen as a viewer
// shows it. Without local colour maps the frames are 8-bit pictures with the file's palette;
// when frames bring colour maps of their own they are composed in 32 bits (B, G, R, A).
// False when the file is no GIF or holds no frame.
bool ReadGifFile(const std::string& path, PCL_Interface_Composite<FCObjImage>& images);

// Writes the picture as a GIF with giflib. Pictures of 8 bits or less keep their palette;
// deeper ones get an exact palette when they use at most 256 colours, otherwise a
// median-cut palette of 256 colours.
bool WriteGifFile(const std::string& path, const FCObjImage& img);
