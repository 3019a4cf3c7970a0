// norvanescope-cli: the program's core without windows, for batch work and scripts.

#include <QGuiApplication>
#include <QLoggingCategory>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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
    {"count", "count IN [OPTIONS]             count the objects of a picture", CliCount},
    {"translate", "translate --lang CODE TEXT     the text as the language table shows it", CliTranslate},
    {"cameras", "cameras                        list the attached cameras", CliCameras},
    {"snap", "snap --device N [--still-index I] OUT  capture a still from a camera", CliSnap},
    {"stream", "stream --device N --seconds S  stream a camera and count its frames", CliStream},
    {"props", "props --device N [--set NAME=VALUE]... [--get NAME]...\n"
              "                                 resolutions, formats and settings of a camera; sets and reads settings",
     CliProps},
    {"stage", "stage --device N [STEPS]       steer a simulated camera's stage and print where it is", CliStage},
    {"record", "record --device N --seconds S [--pause-at A --pause-for P] [--depth 24|32] OUT  record a camera to MP4",
     CliRecord},
    {"interval", "interval --device N --images K --interval S [--wait W] [--setting GROUP.VALUE=TEXT]...  "
                 "interval capture",
     CliInterval},
    {"series", "series --device N (--grid CxR --overlap F [--jitter PX] | --exposures US,... | --focus Z0:Z1:STEP) OUTDIR  pictures with their truth", CliSeries},
    {"stitch", "stitch OUT IN IN...            join pictures of overlapping fields", CliStitch},
    {"hdr", "hdr OUT IN IN...               fuse an exposure series", CliHdr},
    {"edf", "edf OUT IN IN...               fuse a focus series (enfuse)", CliEdf},
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

bool CliParseInt(const std::string& text, int lo, int hi, int* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    *out = static_cast<int>(v);
    return true;
}

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
    // The camera layer's log repeats the reason our one-line error gives; QT_LOGGING_RULES
    // brings it back.
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES")) QLoggingCategory::setFilterRules(QStringLiteral("norvanescope.camera=false"));
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
