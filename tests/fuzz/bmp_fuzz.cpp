// BMP files through our own codec, opened as the program opens a picture.
#include "picture_fuzz.h"

NS_FUZZ_TARGET(bmp) {
    ns_fuzz::FuzzPictureFile("x.bmp", data, size);
}
