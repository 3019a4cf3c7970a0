// Loading and saving a picture through the codec table; kept apart from the buffer itself so
// the buffer builds without the codecs (the camera modules link it on its own).
#include <memory>

#include "image/file_io.h"
#include "image/image_handle.h"
#include "image/obj_image.h"

bool FCObjImage::LoadFromFile(const std::string& path) {
    if (!FCImageHandleFactory::CanRead(FCImageHandleFactory::QueryImageFileType(path)))
        return false;
    const FCMappedFile file(path);
    return file.ok() && LoadFromBytes(path, file.data(), file.size());
}

bool FCObjImage::LoadFromBytes(const std::string& name, const uint8_t* data, size_t size) {
    std::unique_ptr<FCImageHandleBase> handler(
        FCImageHandleFactory::Get().CreateHandleFromPath(name));
    if (!handler) return false;
    handler->SetFrameLimit(1);
    PCL_Interface_Composite<FCObjImage> frames;
    std::unique_ptr<FCPropertyMap> props;
    if (!handler->LoadImageMemory(data, size, frames, props) || frames.PCL_GetObjectCount() == 0)
        return false;
    // The first frame is handed over rather than copied.
    std::unique_ptr<FCObjImage> first = frames.PCL_TakeObject(0);
    if (!first || !first->IsValid()) return false;
    Release();
    Swap(*first);
    return true;
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
