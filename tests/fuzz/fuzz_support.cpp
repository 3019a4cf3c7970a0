#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QGuiApplication>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#include "fuzz_target.h"

namespace ns_fuzz {
namespace {

// Scratch folders are named after their process, so one left by a run that crashed can be
// told from one in use.
constexpr char kScratchPrefix[] = "ns-fuzz-";

std::string ScratchBase() {
    struct stat st {};
    if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

void RemoveStaleScratch(const std::string& base) {
    QDir dir(QString::fromStdString(base));
    const QStringList names =
        dir.entryList({QString::fromLatin1(kScratchPrefix) + "*"}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const int pid = name.mid(int(sizeof(kScratchPrefix) - 1)).section(u'-', 0, 0).toInt();
        if (pid > 0 && kill(pid, 0) != 0 && errno == ESRCH)
            QDir(dir.filePath(name)).removeRecursively();
    }
}

struct Scratch {
    std::string path;
    Scratch() {
        const std::string base = ScratchBase();
        RemoveStaleScratch(base);
        std::string tmpl = base + "/" + kScratchPrefix + std::to_string(getpid()) + "-XXXXXX";
        if (mkdtemp(tmpl.data())) path = tmpl;
    }
    ~Scratch() {
        if (!path.empty()) QDir(QString::fromStdString(path)).removeRecursively();
    }
};

Scratch& TheScratch() {
    static Scratch scratch;
    return scratch;
}

std::map<std::string, Target>& Registry() {
    static std::map<std::string, Target> targets;
    return targets;
}

}  // namespace

std::string ScratchFolder() {
    return TheScratch().path;
}

std::string ScratchFile(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = ScratchFolder() + "/" + name;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size > 0) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}

Registrar::Registrar(const char* name, Target target) {
    Registry()[name] = target;
}

Target FindTarget(const std::string& name) {
    const auto it = Registry().find(name);
    return it == Registry().end() ? nullptr : it->second;
}

#ifndef NS_FUZZ_REPLAY
void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: broken promise: %s\n", file, line, what);
    std::abort();
}
#endif

}  // namespace ns_fuzz

#ifndef NS_FUZZ_REPLAY
// Once per fuzzing process: a home of its own inside the scratch folder (nothing touches the
// real one) and the Qt application the program's readers run under.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    const std::string home = ns_fuzz::ScratchFolder() + "/home";
    for (const char* sub : {"", "/.config", "/.local", "/.local/share", "/.cache", "/run"})
        mkdir((home + sub).c_str(), 0700);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt keeps argc by reference and may edit argv: it gets copies, without libFuzzer's flags.
    static int qtArgc = 1;
    static char* qtArgv[] = {(*argv)[0], nullptr};
    (void)argc;
    static QGuiApplication* app = new QGuiApplication(qtArgc, qtArgv);  // lives until exit
    (void)app;
    return 0;
}
#endif
