// TIFF files through Qt's reader (libtiff), opened as the program opens a picture.
#include "picture_fuzz.h"

NS_FUZZ_TARGET(tiff) {
    ns_fuzz::FuzzPictureFile("x.tif", data, size, true);
}
