// The overlay sub-command: replays a script of tool choices, mouse events, calibration,
// export and burn-in against one element manager, as a window and its document would.

#include <QFile>
#include <QString>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/cli.h"
#include "document/scope_doc.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "document/prompt.h"
#include "image/obj_image.h"
#include "overlay/element_manager.h"
#include "overlay/elements.h"

namespace {

constexpr const char* kSynopsis = "overlay SCRIPT";

// Messages go to stderr; the rest answers from the script.
class CliPrompt : public CRecordingPrompt {
public:
    void message(const QString& caption, const QString& text) override {
        CRecordingPrompt::message(caption, text);
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
    }
};

// Splits a script line into words; double quotes keep blanks (\" and \\ inside them), and a
// word starting with # begins a comment. false on an unterminated quote.
bool SplitLine(const std::string& line, std::vector<std::string>& words) {
    words.clear();
    size_t i = 0;
    const size_t n = line.size();
    while (i < n) {
        while (i < n && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= n || line[i] == '#') break;
        std::string word;
        while (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            if (line[i] == '"') {
                ++i;
                bool closed = false;
                while (i < n) {
                    if (line[i] == '\\' && i + 1 < n &&
                        (line[i + 1] == '"' || line[i + 1] == '\\')) {
                        word += line[i + 1];
                        i += 2;
                    } else if (line[i] == '"') {
                        ++i;
                        closed = true;
                        break;
                    } else {
                        word += line[i++];
                    }
                }
                if (!closed) return false;
            } else {
                word += line[i++];
            }
        }
        words.push_back(word);
    }
    return true;
}

std::optional<int> ParseInt(const std::string& s) {
    int v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

std::optional<double> ParseDouble(const std::string& s) {
    double v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::string Number(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 10);
    return std::string(buf, r.ptr);
}

std::string Escaped(const QString& s) {
    std::string out;
    for (const char c : s.toStdString()) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

// One line of `list`.
std::string Describe(int index, const CGVLShape& e) {
    const int type = e.GetType();
    std::string s = std::to_string(index) + " type=" + std::to_string(type) +
                    " id=" + std::to_string(e.GetID()) + " points=";
    for (int i = 0; i < e.PointCount(); ++i) {
        const QPoint* p = e.GetPoint(i);
        if (i) s += ';';
        s += std::to_string(p->x()) + "," + std::to_string(p->y());
    }
    auto add = [&](const char* key, double v) { s += std::string(" ") + key + "=" + Number(v); };
    if (type >= GVLType::kCounterCircle && type <= GVLType::kCounterHexagon)
        s += " number=" + std::to_string(static_cast<const CGVLNo&>(e).GetNumber());
    if (type == GVLType::kPolygon)
        s += static_cast<const CGVLPolygon&>(e).IsClosed() ? " closed=1" : " closed=0";
    if (type == GVLType::kLine || type == GVLType::kArrow) add("length", e.GetLength());
    if (type == GVLType::kRect || type == GVLType::kCircle) add("perimeter", e.GetPerimeter());
    if (type == GVLType::kRect || type == GVLType::kCircle || type == GVLType::kCircleT ||
        type == GVLType::kPolygon)
        add("area", e.GetArea());
    if (type == GVLType::kCircle) add("radius", static_cast<const CGVLCircle&>(e).GetRadius());
    if (type == GVLType::kCircleT) add("radius", static_cast<const CGVLCircleT&>(e).GetRadius());
    if (type == GVLType::kAngle) add("angle", static_cast<const CGVLAngle&>(e).GetAngle());
    if (type != GVLType::kArrow)
        s += " text=\"" + Escaped(e.ResultTexts().join(QLatin1Char('\n'))) + "\"";
    return s;
}

const std::set<int> kTools = {0, 1, 2, 3, 4, 5, 6, 7, 9, 200, 201, 202, 203, 204, 205, 206, 208};

// The script's still document, made as a window would make it for a picture.
std::unique_ptr<CScopeDoc> MakeScriptDocument(IScopePrompt* prompt) {
    theApp().prompt = prompt;
    theApp().m_nNewDocKind = 1;
    auto doc = std::make_unique<CScopeDoc>();
    doc->OnViewCreated(true, 0, 0);
    // Scripts start from the overlay's own defaults, so their results do not depend on settings.
    const CGVLElemMgr fresh;
    CGVLElemMgr& mgr = doc->ElemMgr();
    mgr.SetCalibration(fresh.GetCalibration());
    mgr.SetDisplay(fresh.GetDisplay());
    mgr.SetPrecision(fresh.GetPrecision());
    mgr.SetFontSize(fresh.GetFontSize());
    mgr.SetFontBackground(fresh.GetFontBackground());
    return doc;
}

struct Script {
    CliPrompt prompt;
    std::unique_ptr<CScopeDoc> doc = MakeScriptDocument(&prompt);
    CGVLElemMgr& mgr = doc->ElemMgr();
    FCObjImage& picture = doc->m_image;
    int tool = GVLTool::kNone;
    int langId = 1033;

    ~Script() { theApp().prompt = nullptr; }
    // The document's picture changed: it is the unprocessed original as well.
    void PictureSet() {
        doc->m_imageOriginal = picture;
        doc->m_nImageState = 2;
        doc->m_nFrameWidth = picture.Width();
        doc->m_nFrameHeight = picture.Height();
    }

    // Runs one command; a reason on failure.
    std::optional<std::string> Run(const std::vector<std::string>& w);
};

std::optional<std::string> Script::Run(const std::vector<std::string>& w) {
    const std::string& cmd = w[0];
    const size_t argc = w.size() - 1;
    auto bad = [&](const std::string& what) -> std::optional<std::string> {
        return "bad argument for " + cmd + ": " + what;
    };
    auto ints = [&](size_t count) -> std::optional<std::vector<int>> {
        if (argc != count) return std::nullopt;
        std::vector<int> v;
        for (size_t i = 1; i <= count; ++i) {
            const auto n = ParseInt(w[i]);
            if (!n) return std::nullopt;
            v.push_back(*n);
        }
        return v;
    };

    if (cmd == "blank") {
        const auto v = ints(2);
        if (!v || (*v)[0] <= 0 || (*v)[1] <= 0) return bad("expected W H, both positive");
        FCObjImage img;
        if (!img.Allocate((*v)[0], (*v)[1], 24))
            return "cannot allocate a " + w[1] + "x" + w[2] + " picture";
        picture.Swap(img);
        PictureSet();
        return std::nullopt;
    }
    if (cmd == "open") {
        if (argc != 1) return bad("expected FILE");
        FCObjImage img;
        if (!img.LoadFromFile(w[1])) return "cannot read " + CliQuoted(w[1]);
        img.ToTrueColor24();
        if (img.ColorBits() != 24) return "cannot convert " + CliQuoted(w[1]) + " to 24 bits";
        picture.Swap(img);
        PictureSet();
        return std::nullopt;
    }
    if (cmd == "calib") {
        if (argc != 5) return bad("expected UNIT XPP YPP XREAL YREAL");
        const auto unit = ParseInt(w[1]);
        if (!unit || *unit < 0 || *unit >= kGVLUnitCount) return bad("UNIT is 0 to 5");
        GVLCalibration c;
        c.m_unit_Unit = *unit;
        double* fields[4] = {&c.m_unit_dcxPerPixel, &c.m_unit_dcyPerPixel, &c.m_unit_dcxReal,
                             &c.m_unit_dcyReal};
        for (int i = 0; i < 4; ++i) {
            const auto d = ParseDouble(w[static_cast<size_t>(i) + 2]);
            if (!d) return bad(CliQuoted(w[static_cast<size_t>(i) + 2]) + " is no number");
            *fields[i] = *d;
        }
        mgr.SetCalibration(c);
        return std::nullopt;
    }
    if (cmd == "precision" || cmd == "fontsize" || cmd == "background" || cmd == "langid") {
        const auto v = ints(1);
        if (!v) return bad("expected one integer");
        if (cmd == "precision") mgr.SetPrecision((*v)[0]);
        if (cmd == "fontsize") mgr.SetFontSize((*v)[0]);
        if (cmd == "background") mgr.SetFontBackground((*v)[0]);
        if (cmd == "langid") langId = (*v)[0];
        return std::nullopt;
    }
    if (cmd == "colors") {
        const auto v = ints(4);
        if (!v) return bad("expected COORD RULER ADJUST TEXT");
        mgr.SetDisplay(GVLDisplay{(*v)[0], (*v)[1], (*v)[2], (*v)[3]});
        return std::nullopt;
    }
    if (cmd == "zoom") {
        const auto z = argc == 1 ? ParseDouble(w[1]) : std::nullopt;
        if (!z || !mgr.SetZoom(static_cast<float>(*z))) return bad("expected a zoom above 0");
        return std::nullopt;
    }
    if (cmd == "tool") {
        const auto v = ints(1);
        if (!v || !kTools.count((*v)[0])) return bad("unknown tool");
        tool = (*v)[0];
        return std::nullopt;
    }
    if (cmd == "down" || cmd == "move" || cmd == "up" || cmd == "rdown") {
        const auto v = ints(2);
        if (!v) return bad("expected X Y");
        const QPoint pt((*v)[0], (*v)[1]);
        if (cmd == "down") mgr.OnLButtonDown(0, tool, pt);
        if (cmd == "move") mgr.OnMouseMove(0, tool, pt);
        if (cmd == "up") mgr.OnLButtonUp(0, tool, pt);
        if (cmd == "rdown") mgr.OnRButtonDown(0, tool, pt);
        return std::nullopt;
    }
    if (cmd == "text") {
        if (argc == 0) return bad("expected LINE... or --cancel");
        if (argc == 1 && w[1] == "--cancel") {
            prompt.queueLinesCancel();
            return std::nullopt;
        }
        QStringList lines;
        for (size_t i = 1; i <= argc; ++i) lines << QString::fromStdString(w[i]);
        prompt.queueLines(lines);
        return std::nullopt;
    }
    if (cmd == "cross") {
        if (argc != 1 || (w[1] != "solid" && w[1] != "dashed" && w[1] != "off"))
            return bad("expected solid, dashed or off");
        mgr.SetCross(w[1] == "solid", w[1] == "dashed");
        return std::nullopt;
    }
    if (cmd == "ruler") {
        if (argc == 1 && (w[1] == "show" || w[1] == "hide")) {
            mgr.ShowRuler(w[1] == "show");
            return std::nullopt;
        }
        const auto v = ints(4);
        if (!v) return bad("expected show, hide or X0 Y0 X1 Y1");
        mgr.SetRulerPoints(QPoint((*v)[0], (*v)[1]), QPoint((*v)[2], (*v)[3]));
        return std::nullopt;
    }
    if (cmd == "deleteall") {
        if (argc != 0) return bad("expected nothing");
        mgr.DeleteAll();
        return std::nullopt;
    }
    if (cmd == "export") {
        if (argc != 1) return bad("expected PATH");
        const size_t asked = prompt.calls().size();
        prompt.queueSaveFile(QString::fromStdString(w[1]));
        const bool ok = mgr.ExportCsv(langId);
        const bool dialog = prompt.calls().size() > asked;
        prompt.clearAnswers();
        if (!ok) return "cannot write " + CliQuoted(w[1]);
        std::printf(dialog ? "exported %s\n" : "nothing to export\n", w[1].c_str());
        return std::nullopt;
    }
    if (cmd == "burn") {
        if (argc < 1) return bad("expected PATH [measure] [ruler] [date] [title=TEXT]");
        if (!picture.IsValid()) return "no picture: use blank or open first";
        GVLBurnInOptions opt;
        for (size_t i = 2; i <= argc; ++i) {
            if (w[i] == "measure")
                opt.measurements = true;
            else if (w[i] == "ruler")
                opt.ruler = true;
            else if (w[i] == "date")
                opt.date = true;
            else if (w[i].rfind("title=", 0) == 0) {
                opt.title = true;
                opt.titleText = QString::fromStdString(w[i].substr(6));
            } else
                return bad(CliQuoted(w[i]) + " is no burn-in option");
        }
        std::vector<uint8_t> buffer(GVLBurnInBytes(picture.Width(), picture.Height()));
        if (!mgr.BurnIn(buffer.data(), picture.Width(), picture.Height(), opt))
            return "burn-in failed";
        FCObjImage copy(picture);
        GVLMergeBurnIn(copy, buffer.data());
        if (!copy.SaveToFile(w[1])) return "cannot write " + CliQuoted(w[1]);
        std::printf("saved %s\n", w[1].c_str());
        return std::nullopt;
    }
    if (cmd == "saveas") {
        if (argc < 1) return bad("expected PATH [measure] [ruler] [time] [title=T] [subject=T] [author=T] [comment=T]");
        if (!picture.IsValid()) return "no picture: use blank or open first";
        bool measure = false, ruler = false, time = false, withTitle = false;
        QString texts[4];  // title, subject, author, comment
        const char* keys[4] = {"title=", "subject=", "author=", "comment="};
        for (size_t i = 2; i <= argc; ++i) {
            bool known = true;
            if (w[i] == "measure") measure = true;
            else if (w[i] == "ruler") ruler = true;
            else if (w[i] == "time") time = true;
            else {
                known = false;
                for (int k = 0; k < 4; ++k)
                    if (w[i].rfind(keys[k], 0) == 0) {
                        texts[k] = QString::fromStdString(w[i].substr(std::strlen(keys[k])));
                        if (k == 0) withTitle = true;
                        known = true;
                    }
            }
            if (!known) return bad(CliQuoted(w[i]) + " is no save option");
        }
        if (!doc->SaveImage(QString::fromStdString(w[1]), measure, ruler, time, withTitle, texts[0], texts[1],
                            texts[2], texts[3]))
            return "cannot write " + CliQuoted(w[1]);
        std::printf("saved %s\n", w[1].c_str());
        return std::nullopt;
    }
    if (cmd == "quicksave") {
        if (argc != 0) return bad("expected nothing");
        if (!picture.IsValid()) return "no picture: use blank or open first";
        const QString path = doc->QuickSave();
        if (path.isEmpty()) return "the quick save failed";
        std::printf("saved %s\n", qPrintable(path));
        return std::nullopt;
    }
    if (cmd == "fixedsave") {
        if (argc != 1 || (w[1] != "plus" && w[1] != "only")) return bad("expected plus or only");
        if (!picture.IsValid()) return "no picture: use blank or open first";
        if (!doc->FixedFileSave(w[1] == "plus")) return "the fixed-file save failed";
        std::printf("saved %s\n", qPrintable(g_strExeFolder + g_strDefaultImageName));
        return std::nullopt;
    }
    if (cmd == "setting") {
        const size_t dot = argc == 1 ? w[1].find('.') : std::string::npos;
        const size_t eq = argc == 1 ? w[1].find('=') : std::string::npos;
        if (dot == std::string::npos || eq == std::string::npos || eq < dot) return bad("expected GROUP.VALUE=TEXT");
        const QString group = QString::fromStdString(w[1].substr(0, dot));
        const QString name = QString::fromStdString(w[1].substr(dot + 1, eq - dot - 1));
        if (!SetSettingValue(group, name, QString::fromStdString(w[1].substr(eq + 1))))
            return bad("no setting " + CliQuoted(w[1].substr(0, eq)) + " takes " + CliQuoted(w[1].substr(eq + 1)));
        return std::nullopt;
    }
    if (cmd == "list") {
        if (argc != 0) return bad("expected nothing");
        auto lock = mgr.Lock();
        for (int i = 0; i < mgr.ElementCount(); ++i)
            std::printf("%s\n", Describe(i, *mgr.GetElement(i)).c_str());
        return std::nullopt;
    }
    return "unknown command " + CliQuoted(cmd);
}

}  // namespace

int CliOverlay(const CliArgs& args) {
    if (args.size() != 1) return CliUsage(kSynopsis);
    QFile file(QString::fromStdString(args[0]));
    if (!file.open(QIODevice::ReadOnly)) return CliFail("cannot read " + CliQuoted(args[0]));
    const QList<QByteArray> lines = file.readAll().split('\n');
    // The run's settings are the defaults; a script changes them with "setting" and nothing is
    // stored.
    LoadDefaultSettings();
    if (g_strDataFolder.isEmpty()) InitAppFolders();
    Script script;
    std::vector<std::string> words;
    for (int i = 0; i < lines.size(); ++i) {
        const std::string where = args[0] + ":" + std::to_string(i + 1) + ": ";
        if (!SplitLine(lines[i].toStdString(), words)) return CliFail(where + "unterminated quote");
        if (words.empty()) continue;
        std::fflush(stdout);
        if (const auto reason = script.Run(words)) {
            std::fflush(stdout);
            return CliFail(where + *reason);
        }
    }
    std::fflush(stdout);
    return 0;
}
