// norvanescope-cli: the program's core without windows, for batch work and scripts.
// Output is one fact per line; exit status 0 on success, otherwise non-zero with one line
// on stderr that names the reason.

#include <QCoreApplication>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "image/image_handle.h"
#include "image/obj_image.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Fail(const std::string& reason) {
    std::fprintf(stderr, "norvanescope-cli: %s\n", reason.c_str());
    return kExitFailure;
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

int CmdInfo(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: norvanescope-cli info FILE\n");
        return kExitUsage;
    }
    const std::string& path = args[0];
    std::unique_ptr<FCImageHandleBase> handler(FCImageHandleFactory::Get().CreateHandleFromPath(path));
    if (!handler) return Fail("no handler for the extension of " + Quoted(path));
    PCL_Interface_Composite<FCObjImage> frames;
    std::unique_ptr<FCPropertyMap> props;
    if (!handler->LoadImageFile(path, frames, props) || frames.PCL_GetObjectCount() == 0)
        return Fail("cannot read " + Quoted(path));
    const FCObjImage* first = frames.PCL_GetObject(0);
    std::printf("width %d\nheight %d\nbits %d\nframes %d\n", first->Width(), first->Height(), first->ColorBits(),
                frames.PCL_GetObjectCount());
    return 0;
}

int CmdConvert(const std::vector<std::string>& args) {
    std::vector<std::string> paths;
    bool keepDepth = false;
    for (const std::string& a : args) {
        if (a == "--keep-depth")
            keepDepth = true;
        else
            paths.push_back(a);
    }
    if (paths.size() != 2) {
        std::fprintf(stderr, "usage: norvanescope-cli convert IN OUT [--keep-depth]\n");
        return kExitUsage;
    }
    const std::string& in = paths[0];
    const std::string& out = paths[1];
    if (!FCImageHandleFactory::CanRead(FCImageHandleFactory::QueryImageFileType(in)))
        return Fail("no handler for the extension of " + Quoted(in));
    if (!FCImageHandleFactory::CanWrite(FCImageHandleFactory::QueryImageFileType(out)))
        return Fail("no handler for the extension of " + Quoted(out));
    FCObjImage img;
    if (!img.LoadFromFile(in)) return Fail("cannot read " + Quoted(in));
    if (!keepDepth) img.ToTrueColor24();
    if (!img.SaveToFile(out)) return Fail("cannot write " + Quoted(out));
    return 0;
}

struct Command {
    const char* name;
    const char* synopsis;
    std::function<int(const std::vector<std::string>&)> run;
};

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"info", "info FILE                      size, depth and frame count of a picture file", CmdInfo},
        {"convert", "convert IN OUT [--keep-depth]  convert a picture by OUT's extension", CmdConvert},
    };
    return commands;
}

void Usage(FILE* to) {
    std::fprintf(to, "usage: norvanescope-cli COMMAND [ARGS]\n\ncommands:\n");
    for (const Command& c : Commands()) std::fprintf(to, "  %s\n", c.synopsis);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        Usage(stderr);
        return kExitUsage;
    }
    const std::string_view name = argv[1];
    if (name == "help" || name == "--help" || name == "-h") {
        Usage(stdout);
        return 0;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const Command& c : Commands())
        if (name == c.name) return c.run(args);
    std::fprintf(stderr, "norvanescope-cli: unknown command \"%s\"\n", argv[1]);
    Usage(stderr);
    return kExitUsage;
}
