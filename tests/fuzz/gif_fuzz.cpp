// GIF files through giflib, opened as the program opens a picture.
#include "picture_fuzz.h"

NS_FUZZ_TARGET(gif) {
    ns_fuzz::FuzzPictureFile("x.gif", data, size, true);
}
