// PNG files through Qt's reader, opened as the program opens a picture.
#include "picture_fuzz.h"

NS_FUZZ_TARGET(png) {
    ns_fuzz::FuzzPictureFile("x.png", data, size);
}
