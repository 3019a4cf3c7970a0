// norvanescope-cli: the program's core without windows, for batch work and scripts.

#include <QGuiApplication>
#include <cstdio>
#include <string_view>

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
