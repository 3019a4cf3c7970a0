// Loading and saving a picture through the codec table; kept apart from the buffer itself so
// the buffer builds without the codecs (the camera modules link it on its own).
#include <memory>

#include "image/image_handle.h"
#include "image/obj_image.h"

bool FCObjImage::LoadFromFile(const std::string& path) {
    std::unique_ptr<FCImageHandleBase> handler(
        FCImageHandleFactory::Get().CreateHandleFromPath(path));
    if (!handler) return false;
    PCL_Interface_Composite<FCObjImage> frames;
    std::unique_ptr<FCPropertyMap> props;
    const bool ok = handler->LoadImageFile(path, frames, props);
    if (ok && frames.PCL_GetObjectCount() > 0) {
        // The first frame is handed over rather than copied.
        std::unique_ptr<FCObjImage> first = frames.PCL_TakeObject(0);
        Release();
        Swap(*first);
    }
    return ok && IsValid();
}

bool FCObjImage::SaveToFile(const std::string& path) const {
    if (!IsValid()) return false;
    std::unique_ptr<FCImageHandleBase> handler(
        FCImageHandleFactory::Get().CreateHandleFromPath(path));
    if (!handler) return false;
    FCPropertyMap props;
    props[FCImageHandleBase::kPropJpegQuality] = "-1";
    const std::vector<const FCObjImage*> list{this};
    return handler->SaveImageFile(path, list, props);
}
