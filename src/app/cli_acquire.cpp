// Acquisition sub-commands: sources and acquire. Both go through the program's SANE source
// manager; acquire also through CTwain's transfer loop and the document hand-over, with the
// command line standing in for the selection and the source's dialog.

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <optional>

#include "app/cli.h"
#include "camera/acquisition/sane_library.h"
#include "camera/acquisition/sane_source_manager.h"
#include "camera/acquisition/scripted_source_ui.h"
#include "camera/acquisition/twain_handover.h"
#include "camera/acquisition/twain_host.h"
#include "document/scope_doc.h"

namespace {

const char* kAcquireSynopsis =
    "acquire --source NAME [--mode Color|Gray|Lineart] [--resolution DPI] [--depth 1|8|16] "
    "[--feeder] "
    "[--pages N] OUTPREFIX";

std::string Field(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

// The program's side of an acquisition: the pictures are saved as they arrive.
class CCliTwain : public CTwainHost {
public:
    explicit CCliTwain(std::string prefix) : m_prefix(std::move(prefix)) {}
    // After a picture could not be saved the rest are not taken.
    int DecideTransfer(const TW_IMAGEINFO&) override { return m_failure.empty() ? 0 : 2; }
    void ReceiveImage(TW_HANDLE bitmap, const TW_IMAGEINFO&) override {
        const int page = ++m_pages;
        CScopeDoc* doc = HandOverTwainImage(bitmap);
        char name[32];
        std::snprintf(name, sizeof(name), "_%04d.png", page);
        const std::string path = m_prefix + name;
        if (!doc || !doc->m_image.IsValid()) {
            m_failure = "page " + std::to_string(page) + " came without a picture";
        } else if (!doc->m_image.SaveToFile(path)) {
            m_failure = "cannot write " + CliQuoted(path);
        } else {
            std::printf("page %d width %d height %d saved %s\n", page, doc->m_image.Width(),
                        doc->m_image.Height(), path.c_str());
            std::fflush(stdout);
        }
        if (doc) CloseDocumentWithoutView(doc);
    }
    const std::string& Failure() const { return m_failure; }
    int Pages() const { return m_pages; }

private:
    std::string m_prefix;
    std::string m_failure;
    int m_pages = 0;
};

// Sets the source manager's user interface for one command.
struct ManagerUiScope {
    explicit ManagerUiScope(ISourceManagerUi* ui) { SetSourceManagerUi(ui); }
    ~ManagerUiScope() { SetSourceManagerUi(nullptr); }
};

std::optional<double> Number(const std::string& s) {
    bool ok = false;
    const double v = QString::fromStdString(s).toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

}  // namespace

int CliSources(const CliArgs& args) {
    if (!args.empty()) return CliUsage("sources");
    const TwainLibraryLoader& library = SaneSourceManagerLibrary();
    void* loaded = library.load();
    if (!loaded)
        return CliFail(std::string("SANE is not available (") + CSaneLibrary::kLibraryName +
                       " cannot be loaded)");
    std::string reason;
    const std::vector<SaneDeviceInfo> devices =
        CSaneSourceManager::Instance()->ListDevices(&reason);
    library.unload(loaded);
    if (!reason.empty()) return CliFail("SANE could not list its devices: " + reason);
    for (size_t i = 0; i < devices.size(); ++i) {
        const SaneDeviceInfo& d = devices[i];
        std::printf("%zu name=\"%s\" vendor=\"%s\" model=\"%s\" type=\"%s\"\n", i,
                    Field(d.name).c_str(), Field(d.vendor).c_str(), Field(d.model).c_str(),
                    Field(d.type).c_str());
    }
    return 0;
}

int CliAcquire(const CliArgs& args) {
    std::string source;
    ScriptedScan scan;
    std::optional<int> pages;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--feeder") {
            scan.feeder = true;
        } else if (a == "--source" || a == "--mode" || a == "--resolution" || a == "--depth" ||
                   a == "--pages") {
            if (!hasValue) return CliFail(a + " needs a value");
            const std::string v = args[++i];
            if (a == "--source") {
                if (v.empty()) return CliFail("--source needs a device name (see \"sources\")");
                source = v;
            } else if (a == "--mode") {
                if (v != "Color" && v != "Gray" && v != "Lineart")
                    return CliFail("--mode is Color, Gray or Lineart");
                scan.mode = QString::fromStdString(v);
            } else if (a == "--resolution") {
                const std::optional<double> dpi = Number(v);
                if (!dpi || !(*dpi > 0) || *dpi > 100000)
                    return CliFail("--resolution needs dots per inch above 0");
                scan.resolution = *dpi;
            } else if (a == "--depth") {
                if (v != "1" && v != "8" && v != "16") return CliFail("--depth is 1, 8 or 16");
                scan.depth = std::stoi(v);
            } else {
                const std::optional<double> n = Number(v);
                if (!n || *n < 1 || *n > 32767 || *n != static_cast<int>(*n))
                    return CliFail("--pages needs a whole number from 1 to 32767");
                pages = static_cast<int>(*n);
            }
        } else if (a.size() > 1 && a[0] == '-') {
            return CliFail("unknown option " + CliQuoted(a));
        } else {
            positional.push_back(a);
        }
    }
    if (source.empty() || positional.size() != 1) return CliUsage(kAcquireSynopsis);

    CScriptedSourceManagerUi ui(source, scan);
    ManagerUiScope uiScope(&ui);
    CCliTwain twain(positional[0]);
    if (!twain.Start()) {
        if (!twain.IsTwainLoaded())
            return CliFail(std::string("SANE is not available (") + CSaneLibrary::kLibraryName +
                           " cannot be loaded)");
        return CliFail("SANE could not be started");
    }
    // The selection keeps the default source when it fails: what matters is the named one.
    twain.ChooseSource();
    if (!ui.Failure().empty()) return CliFail(ui.Failure());
    if (!twain.IsSourceIdentityKnown()) return CliFail("no source was selected");
    if (!twain.Acquire(pages.value_or(-1)))
        return CliFail(ui.Failure().empty()
                           ? "the source " + CliQuoted(source) + " could not be started"
                           : ui.Failure());
    // The source asks to be closed once its scan has ended and every page was handed over.
    twain.WaitUntilSourceClosed();
    twain.ReleaseTwain();
    if (!twain.Failure().empty()) return CliFail(twain.Failure());
    if (!ui.Failure().empty()) return CliFail(ui.Failure());
    if (twain.Pages() == 0) return CliFail("the source delivered no page");
    return 0;
}
