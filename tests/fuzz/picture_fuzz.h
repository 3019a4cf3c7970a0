#pragma once
// The program's ways of reading a picture file, shared by the picture harnesses. Opening it: the
// first frame becomes the picture, or a refused file leaves the picture that was there as it
// was, and the document then holds it in 24 bits. Listing it (the command-line tool's info):
// every frame, all of them within the file's budget.

#include <algorithm>
#include <memory>
#include <vector>

#include "fuzz_target.h"
#include "image/image_handle.h"
#include "image/obj_image.h"

namespace ns_fuzz {

// multiFrame: the format can hold several frames, so listing them is another reading path.
inline void FuzzPictureFile(const char* name, const uint8_t* data, size_t size,
                            bool multiFrame = false) {
    FCObjImage picture;
    picture.Allocate(3, 2, 24);
    picture.WritePixel(1, 1, 0x123456);
    const std::vector<uint8_t> before(picture.GetMemStart(),
                                      picture.GetMemStart() + picture.PixelBytes());
    if (!picture.LoadFromBytes(name, data, size)) {
        NS_FUZZ_CHECK(picture.Width() == 3 && picture.Height() == 2 && picture.ColorBits() == 24);
        NS_FUZZ_CHECK(std::equal(before.begin(), before.end(), picture.GetMemStart()));
        return;
    }
    NS_FUZZ_CHECK(picture.IsValid() && picture.Width() > 0 && picture.Height() > 0);
    // Nothing beyond what the file could code.
    NS_FUZZ_CHECK(
        FCDecodeBudget::Plausible(int64_t(picture.Width()) * picture.Height(), size));
    picture.ToTrueColor24();
    NS_FUZZ_CHECK(picture.IsValid() && picture.ColorBits() == 24);
    if (!multiFrame) return;

    std::unique_ptr<FCImageHandleBase> handler(
        FCImageHandleFactory::Get().CreateHandleFromPath(name));
    PCL_Interface_Composite<FCObjImage> frames;
    std::unique_ptr<FCPropertyMap> props;
    const bool all = handler->LoadImageMemory(data, size, frames, props);
    // The first frame opened alone is the first of all frames.
    NS_FUZZ_CHECK(all && frames.PCL_GetObjectCount() > 0);
    NS_FUZZ_CHECK(frames.PCL_GetObject(0)->Width() == picture.Width() &&
                  frames.PCL_GetObject(0)->Height() == picture.Height());
    int64_t pixels = 0;
    for (int i = 0; i < frames.PCL_GetObjectCount(); ++i) {
        const FCObjImage* f = frames.PCL_GetObject(i);
        NS_FUZZ_CHECK(f->IsValid());
        pixels += int64_t(f->Width()) * f->Height();
    }
    NS_FUZZ_CHECK(FCDecodeBudget::Plausible(pixels, size));
}

}  // namespace ns_fuzz
