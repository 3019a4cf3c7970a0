// JPEG files through Qt's reader (libjpeg-turbo), opened as the program opens a picture.
#include "picture_fuzz.h"

NS_FUZZ_TARGET(jpeg) {
    ns_fuzz::FuzzPictureFile("x.jpg", data, size);
}
