// TGA files through our own codec, opened as the program opens a picture.
#include "picture_fuzz.h"

NS_FUZZ_TARGET(tga) {
    ns_fuzz::FuzzPictureFile("x.tga", data, size);
}
