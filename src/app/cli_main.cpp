// norvanescope-cli: the program's core without windows, for batch work and scripts.

#include <QGuiApplication>
#include <cstdio>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "app/cli.h"

namespace {

struct Command {
    const char* name;
    const char* synopsis;
    int (*run)(const CliArgs&);
};

// Sub-commands in the order the help lists them.
constexpr Command kCommands[] = {
    {"info", "info FILE                      size, depth and frame count of a picture file", CliInfo},
    {"convert", "convert IN OUT [--keep-depth]  convert a picture by OUT's extension", CliConvert},
    {"overlay", "overlay SCRIPT                 replay a measurement overlay script", CliOverlay},
    {"process", "process IN OUT [OPTIONS]       run the live or still filter chain on a picture", CliProcess},
    {"translate", "translate --lang CODE TEXT     the text as the language table shows it", CliTranslate},
    {"cameras", "cameras                        list the attached cameras", CliCameras},
    {"snap", "snap --device N [--still-index I] OUT  capture a still from a camera", CliSnap},
    {"stream", "stream --device N --seconds S  stream a camera and count its frames", CliStream},
    {"props", "props --device N               resolutions, formats and property ranges of a camera", CliProps},
    {"stage", "stage --device N [STEPS]       steer a simulated camera's stage and print where it is", CliStage},
    {"record", "record --device N --seconds S [--pause-at A --pause-for P] [--depth 24|32] OUT  record a camera to MP4",
     CliRecord},
    {"interval", "interval --device N --images K --interval S [--wait W] [--setting GROUP.VALUE=TEXT]...  "
                 "interval capture",
     CliInterval},
    {"sources", "sources                        list the acquisition sources (SANE devices)", CliSources},
    {"acquire", "acquire --source NAME [--mode Color|Gray|Lineart] [--resolution DPI] [--depth 1|8|16]\n"
                "          [--feeder] [--pages N] OUTPREFIX   acquire pictures into OUTPREFIX_NNNN.png", CliAcquire},
};

void Usage(FILE* to) {
    std::fprintf(to, "usage: norvanescope-cli COMMAND [ARGS]\n\ncommands:\n");
    for (const Command& c : kCommands) std::fprintf(to, "  %s\n", c.synopsis);
}

}  // namespace

int CliFail(const std::string& reason) {
    std::fprintf(stderr, "norvanescope-cli: %s\n", reason.c_str());
    return kCliFailure;
}

int CliUsage(const std::string& synopsis) {
    std::fprintf(stderr, "usage: norvanescope-cli %s\n", synopsis.c_str());
    return kCliUsage;
}

std::string CliQuoted(const std::string& s) { return "\"" + s + "\""; }

int main(int argc, char** argv) {
    // Text drawing needs a GUI application; the offscreen platform needs no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt warns on stderr without a runtime folder; scripts read stderr for our reasons only.
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
        const std::string dir = "/tmp/runtime-" + std::to_string(getuid());
        mkdir(dir.c_str(), 0700);
        struct stat st {};
        if (stat(dir.c_str(), &st) == 0 && st.st_uid == getuid()) qputenv("XDG_RUNTIME_DIR", dir.c_str());
    }
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        Usage(stderr);
        return kCliUsage;
    }
    const std::string_view name = argv[1];
    if (name == "help" || name == "--help" || name == "-h") {
        Usage(stdout);
        return 0;
    }
    const CliArgs args(argv + 2, argv + argc);
    for (const Command& c : kCommands)
        if (name == c.name) return c.run(args);
    std::fprintf(stderr, "norvanescope-cli: unknown command \"%s\"\n", argv[1]);
    Usage(stderr);
    return kCliUsage;
}
