// ICO files through Qt's reader, opened as the program opens a picture.
#include "picture_fuzz.h"

NS_FUZZ_TARGET(ico) {
    ns_fuzz::FuzzPictureFile("x.ico", data, size, true);
}
