// Counting sub-command: the counting document's library calls on a picture file, the results
// as the results list shows them, the drawn picture and the workbook.

#include <fcntl.h>
#include <unistd.h>

#include <QString>
#include <climits>
#include <cstdio>

#include "advanced/counting/counting_document.h"
#include "advanced/counting/counting_results.h"
#include "advanced/counting/counting_settings.h"
#include "advanced/imagepro_segm.h"
#include "app/cli.h"
#include "image/image_handle.h"
#include "image/obj_image.h"

namespace {

const char kSynopsis[] =
    "count IN [--outline 0|1|2] [--tab 0|1|2] [--outline-color I] [--tab-color I] [--area MIN,MAX] "
    "[--perimeter MIN,MAX] [--hole] [--split X0,Y0,X1,Y1]... [--xlsx OUT] [--out RESULT]";

// "MIN,MAX", either side empty for no bound (-1).
bool ParseBounds(const std::string& text, int* lo, int* hi) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos) return false;
    const std::string a = text.substr(0, comma), b = text.substr(comma + 1);
    *lo = *hi = -1;
    if (!a.empty() && !CliParseInt(a, 0, INT_MAX, lo)) return false;
    if (!b.empty() && !CliParseInt(b, 0, INT_MAX, hi)) return false;
    return *lo < 0 || *hi < 0 || *lo <= *hi;
}

struct Line {
    int x0, y0, x1, y1;
};

bool ParseLine(const std::string& text, Line* line) {
    int v[4];
    size_t from = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t comma = i < 3 ? text.find(',', from) : text.size();
        if (comma == std::string::npos) return false;
        if (!CliParseInt(text.substr(from, comma - from), INT_MIN / 2, INT_MAX / 2, &v[i]))
            return false;
        from = comma + 1;
    }
    *line = {v[0], v[1], v[2], v[3]};
    return true;
}

std::string Text(const QString& s) {
    return s.toStdString();
}

// The workbook writer reports its own errors on stderr; the command says why in one line.
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDERR_FILENO);
            close(null);
        }
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (m_saved >= 0) {
            dup2(m_saved, STDERR_FILENO);
            close(m_saved);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int m_saved = -1;
};

}  // namespace

int CliCount(const CliArgs& args) {
    CCountingSettings s;
    // As the settings dialog opens for a new counting: outline blue, labels black.
    s.m_nOutlineColorIndex = 4;
    s.m_nTabColorIndex = 0;
    std::vector<Line> lines;
    std::string in, xlsx, out;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        auto value = [&]() -> const std::string& { return args[++i]; };
        if (a == "--hole") {
            s.m_nHoleMode = 2;
        } else if (a == "--outline" || a == "--tab" || a == "--outline-color" ||
                   a == "--tab-color") {
            if (!hasValue) return CliUsage(kSynopsis);
            const std::string& v = value();
            const bool colour = a.find("color") != std::string::npos;
            int n = 0;
            if (!CliParseInt(v, 0, colour ? kCountingColorCount - 1 : 2, &n))
                return CliFail(a.substr(2) + " " + CliQuoted(v) +
                               (colour ? " is not a colour 0..7" : " is not 0, 1 or 2"));
            (a == "--outline"         ? s.m_nOutlineStyle
             : a == "--tab"           ? s.m_nTabStyle
             : a == "--outline-color" ? s.m_nOutlineColorIndex
                                      : s.m_nTabColorIndex) = n;
        } else if (a == "--area" || a == "--perimeter") {
            if (!hasValue) return CliUsage(kSynopsis);
            const std::string& v = value();
            const bool area = a == "--area";
            if (!ParseBounds(v, area ? &s.m_nMinArea : &s.m_nMinPerimeter,
                             area ? &s.m_nMaxArea : &s.m_nMaxPerimeter))
                return CliFail(a.substr(2) + " bounds " + CliQuoted(v) +
                               " are not MIN,MAX (whole pixels, MIN <= MAX)");
            (area ? s.m_bByArea : s.m_bByPerimeter) = true;
        } else if (a == "--split") {
            if (!hasValue) return CliUsage(kSynopsis);
            const std::string& v = value();
            Line line{};
            if (!ParseLine(v, &line))
                return CliFail("split line " + CliQuoted(v) + " is not X0,Y0,X1,Y1");
            lines.push_back(line);
        } else if (a == "--xlsx" || a == "--out") {
            if (!hasValue) return CliUsage(kSynopsis);
            (a == "--xlsx" ? xlsx : out) = value();
        } else if (a.size() > 1 && a[0] == '-') {
            return CliFail("unknown option " + CliQuoted(a));
        } else if (in.empty()) {
            in = a;
        } else {
            return CliUsage(kSynopsis);
        }
    }
    if (in.empty()) return CliUsage(kSynopsis);
    if (!out.empty() &&
        !FCImageHandleFactory::CanWrite(FCImageHandleFactory::QueryImageFileType(out)))
        return CliFail("no handler for the extension of " + CliQuoted(out));
    s.m_crOutline = CountingColorAt(s.m_nOutlineColorIndex);
    s.m_crTab = CountingColorAt(s.m_nTabColorIndex);

    FCObjImage picture;
    if (!picture.LoadFromFile(in)) return CliFail("cannot read " + CliQuoted(in));
    picture.ToTrueColor24();
    if (picture.ColorBits() != 24)
        return CliFail("cannot convert " + CliQuoted(in) + " to 24 bits");

    struct Handle {
        int h = imagepro_segm_new();
        ~Handle() { imagepro_segm_delete(h); }
    } segm;
    const int h = segm.h;
    auto failed = [&](const char* what) {
        return CliFail(std::string(what) + " " + CliQuoted(in) +
                       " failed: " + imagepro_last_error());
    };
    if (!h || imagepro_segm_readdata(h, picture.GetMemStart(), picture.Width(), picture.Height()) !=
                  IMAGEPRO_OK)
        return failed("reading");
    ApplyCountingSettings(h, s);
    if (imagepro_segm_findcontour(h) != IMAGEPRO_OK) return failed("counting");
    for (const Line& l : lines) {
        imagepro_segm_mouse_Ldown(h, l.x0, l.y0);
        imagepro_segm_mouse_move(h, l.x1, l.y1);
        imagepro_segm_mouse_Lup(h);
        if (imagepro_segm_findcontour(h) != IMAGEPRO_OK) return failed("counting");
    }

    const std::vector<CountingRow> rows = CountingResultRows(h, QStringLiteral("Average:"));
    std::printf("objects %d\n", imagepro_segm_get_contournum(h));
    for (const CountingRow& r : rows) {
        if (r.centre.isEmpty())
            std::printf("%s %s %s\n", Text(r.number).c_str(), Text(r.area).c_str(),
                        Text(r.perimeter).c_str());
        else
            std::printf("%s %s %s %s\n", Text(r.number).c_str(), Text(r.centre).c_str(),
                        Text(r.area).c_str(), Text(r.perimeter).c_str());
    }
    std::printf("min-area %.1f\nmax-area %.1f\nave-area %.1f\n", imagepro_segm_get_min_area(h),
                imagepro_segm_get_max_area(h), imagepro_segm_get_ave_area(h));
    std::printf("min-perimeter %.1f\nmax-perimeter %.1f\nave-perimeter %.1f\n",
                imagepro_segm_get_min_length(h), imagepro_segm_get_max_length(h),
                imagepro_segm_get_ave_length(h));
    std::fflush(stdout);

    if (!out.empty()) {
        FCObjImage result;
        if (!PictureFromSegmentation(imagepro_segm_getdata(h), picture.Width(), picture.Height(),
                                     result) ||
            !result.SaveToFile(out))
            return CliFail("cannot write " + CliQuoted(out));
    }
    if (!xlsx.empty()) {
        QString reason;
        bool written = false;
        {
            QuietStderr quiet;
            written = WriteCountingWorkbook(QString::fromStdString(xlsx), CountingHeaders(), rows,
                                            &reason);
        }
        if (!written)
            return CliFail("cannot write " + CliQuoted(xlsx) + ": " + reason.toStdString());
    }
    return 0;
}
