// Picture sub-commands: info and convert.

#include <cstdio>
#include <memory>

#include "app/cli.h"
#include "image/image_handle.h"
#include "image/obj_image.h"

int CliInfo(const CliArgs& args) {
    if (args.size() != 1) return CliUsage("info FILE");
    const std::string& path = args[0];
    std::unique_ptr<FCImageHandleBase> handler(
        FCImageHandleFactory::Get().CreateHandleFromPath(path));
    if (!handler) return CliFail("no handler for the extension of " + CliQuoted(path));
    PCL_Interface_Composite<FCObjImage> frames;
    std::unique_ptr<FCPropertyMap> props;
    if (!handler->LoadImageFile(path, frames, props) || frames.PCL_GetObjectCount() == 0)
        return CliFail("cannot read " + CliQuoted(path));
    const FCObjImage* first = frames.PCL_GetObject(0);
    std::printf("width %d\nheight %d\nbits %d\nframes %d\n", first->Width(), first->Height(),
                first->ColorBits(), frames.PCL_GetObjectCount());
    return 0;
}

int CliConvert(const CliArgs& args) {
    std::vector<std::string> paths;
    bool keepDepth = false;
    for (const std::string& a : args) {
        if (a == "--keep-depth")
            keepDepth = true;
        else
            paths.push_back(a);
    }
    if (paths.size() != 2) return CliUsage("convert IN OUT [--keep-depth]");
    const std::string& in = paths[0];
    const std::string& out = paths[1];
    if (!FCImageHandleFactory::CanRead(FCImageHandleFactory::QueryImageFileType(in)))
        return CliFail("no handler for the extension of " + CliQuoted(in));
    if (!FCImageHandleFactory::CanWrite(FCImageHandleFactory::QueryImageFileType(out)))
        return CliFail("no handler for the extension of " + CliQuoted(out));
    FCObjImage img;
    if (!img.LoadFromFile(in)) return CliFail("cannot read " + CliQuoted(in));
    if (!keepDepth) img.ToTrueColor24();
    if (!img.SaveToFile(out)) return CliFail("cannot write " + CliQuoted(out));
    return 0;
}
