// Saving a document's picture: SaveImage and the ways that end in it (quick save, interval
// save, saves to given paths, the fixed file), the JPEG summary segment and unique names.

#include <QDir>
#include <QFileInfo>

#include <cstring>

#include "document/prompt.h"
#include "document/scope_doc.h"
#include "image/file_io.h"
#include "overlay/element_manager.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "settings/language_table.h"
#include "settings/profile_file.h"

namespace {

// The folder of a setting, or the pictures folder when it is empty; created one level deep when
// it does not exist (a failure shows when the file cannot be written).
QString SaveFolder(const QString& setting) {
    const QString folder = setting.isEmpty() ? g_strImageFolder : setting;
    if (!QFileInfo::exists(folder)) QDir().mkdir(folder);
    return folder;
}

void PutLe16(QByteArray& b, int v) {
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>((v >> 8) & 0xFF));
}

void PutLe32(QByteArray& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// The stored form of a summary text: UTF-16LE units of the text and two blanks, then a zero unit.
QByteArray SummaryText(const QString& text) {
    const QString padded = text + QStringLiteral("  ");
    QByteArray b;
    for (QChar c : padded) PutLe16(b, c.unicode());
    PutLe16(b, 0);
    return b;
}

}  // namespace

QByteArray JpegSummarySegment(const QString& title, const QString& subject, const QString& author,
                              const QString& comment) {
    const QByteArray t = SummaryText(title), s = SummaryText(subject), a = SummaryText(author),
                     c = SummaryText(comment);
    const int length = 70 + t.size() + s.size() + a.size() + c.size();
    QByteArray seg;
    seg.append('\xFF').append('\xE1');
    seg.append(static_cast<char>((length >> 8) & 0xFF)).append(static_cast<char>(length & 0xFF));
    seg.append("Exif", 4).append('\0').append('\0');
    seg.append("II", 2);
    PutLe16(seg, 42);
    PutLe32(seg, 8);
    PutLe16(seg, 4);
    uint32_t offset = 62;
    const struct {
        int tag;
        const QByteArray& text;
    } entries[] = {{0x9C9B, t}, {0x9C9C, c}, {0x9C9D, a}, {0x9C9F, s}};
    for (const auto& e : entries) {
        PutLe16(seg, e.tag);
        PutLe16(seg, 1);
        PutLe32(seg, static_cast<uint32_t>(e.text.size()));
        PutLe32(seg, offset);
        offset += static_cast<uint32_t>(e.text.size());
    }
    PutLe32(seg, 0);
    seg.append(t).append(c).append(a).append(s);
    return seg;
}

bool WriteJpegSummary(const QString& path, const QString& title, const QString& subject,
                      const QString& author, const QString& comment, IScopePrompt* prompt) {
    auto fail = [&] {
        if (prompt)
            prompt->message(Translate(QStringLiteral("NorvaneScope")),
                            Translate(QStringLiteral("Failed to write JPEG file Summary information!")));
        return false;
    };
    const QByteArray segment = JpegSummarySegment(title, subject, author, comment);
    // The length field has 16 bits: texts that do not fit leave the file as encoded.
    if (segment.size() - 2 > 0xFFFF) return fail();
    const std::string file = path.toStdString();
    std::vector<uint8_t> old;
    {
        FCMappedFile in(file);
        // Shorter than the image marker and JFIF segment: not a file the encoder wrote.
        if (!in.ok() || in.size() < 20) return fail();
        old.assign(in.data(), in.data() + in.size());
    }
    const bool ok = WriteWholeFile(file, {{old.data(), 20},
                                          {segment.constData(), static_cast<size_t>(segment.size())},
                                          {old.data() + 20, old.size() - 20}});
    return ok ? true : fail();
}

QString MakeUniqueName(const QString& folder, const QString& prefix, const QString& extension, int first) {
    for (int n = first;; ++n) {
        const QString path = QStringLiteral("%1%2%3.%4").arg(folder, prefix).arg(n, 4, 10, QChar('0')).arg(extension);
        if (!QFileInfo::exists(path)) return path;
    }
}

std::vector<uint8_t> CScopeDoc::BurnOverlay(bool withMeasure, bool withRuler, bool withTime, bool withTitle,
                                            const QString& title) {
    std::vector<uint8_t> buffer(GVLBurnInBytes(m_image.Width(), m_image.Height()));
    GVLBurnInOptions options;
    options.measurements = withMeasure;
    options.ruler = withRuler;
    options.date = withTime;
    options.title = withTitle;
    options.titleText = title;
    const float zoom = m_pElemMgr->GetZoom();
    m_pElemMgr->SetZoom(1.0f);
    m_pElemMgr->BurnIn(buffer.data(), m_image.Width(), m_image.Height(), options);
    m_pElemMgr->SetZoom(zoom);
    return buffer;
}

bool CScopeDoc::SaveImage(const QString& path, bool withMeasure, bool withRuler, bool withTime, bool withTitle,
                          const QString& title, const QString& subject, const QString& author,
                          const QString& comment) {
    const bool liveCapture = IsLiveAndPlaying();
    if (liveCapture) {
        // A live picture saved without measurements is saved unprocessed.
        const bool processing = m_bProcessEnable;
        if (!withMeasure) m_bProcessEnable = false;
        CaptureFrame(m_image);
        m_bProcessEnable = processing;
    }
    bool resized = false;
    if (m_image.IsValid()) {
        const std::vector<uint8_t> overlay = BurnOverlay(withMeasure, withRuler, withTime, withTitle, title);
        m_imageCompose = m_image;
        m_imageCompose.ToTrueColor24();
        GVLMergeBurnIn(m_imageCompose, overlay.data());
        if (liveCapture && (m_nSaveResolution == 2 || m_nSaveResolution == 3)) {
            m_imageCompose.ResizeNearest(m_nSaveResolution == 2 ? 1600 : 2048, m_nSaveResolution == 2 ? 1200 : 1536);
            resized = true;
        }
    }
    if (!m_imageCompose.IsValid() || !m_image.IsValid() || !m_imageCompose.SaveToFile(path.toStdString())) {
        Message(QStringLiteral("Error"),
                resized ? QStringLiteral("Save image failed44.") : QStringLiteral("Save image failed33."));
        return false;
    }
    if (path.endsWith(QStringLiteral(".jpg"), Qt::CaseSensitive))
        WriteJpegSummary(path, title, subject, author, comment, theApp().prompt);
    m_bModified = false;
    return true;
}

QString CScopeDoc::QuickSave() {
    CAppSettings::Save& s = theSettings.save;
    const QString folder = WithSeparator(SaveFolder(s.FilePath));
    const QString path = folder + s.StartSuffix + QString::number(s.Suffix) +
                         (s.bBmp == 2 ? QStringLiteral(".jpg") : QStringLiteral(".bmp"));
    const bool ok =
        SaveImage(path, s.bMeasure, s.bRuler, s.bTime, s.bTitle, s.Title, QString(), s.Author, QString());
    if (ok && theApp().prompt)
        theApp().prompt->message(Translate(QStringLiteral("Hint")),
                                 Translate(QStringLiteral("Picture has successfully saved to")) +
                                     QStringLiteral("  ") + path);
    ++s.Suffix;
    return ok ? path : QString();
}

bool CScopeDoc::IntervalSave(QString* written) {
    CProfileFile ini(g_strIniPath);
    const QString section = QStringLiteral("Save");
    const int suffix = ini.GetInt(section, QStringLiteral("Suffix"), 0);
    const QString folder = WithSeparator(SaveFolder(ini.GetString(section, QStringLiteral("FilePath"))));
    const QString path = folder + ini.GetString(section, QStringLiteral("Prefix")) + QString::number(suffix) +
                         (ini.GetInt(section, QStringLiteral("bBmp"), 0) != 0 ? QStringLiteral(".bmp")
                                                                              : QStringLiteral(".jpg"));
    if (written) *written = path;
    // No message for a series: the interval capture reports on its own.
    IScopePrompt* prompt = theApp().prompt;
    theApp().prompt = nullptr;
    const bool ok = SaveImage(path, ini.GetInt(section, QStringLiteral("bMeasure"), 0) != 0,
                              ini.GetInt(section, QStringLiteral("bRuler"), 0) != 0,
                              ini.GetInt(section, QStringLiteral("bTime"), 0) != 0,
                              ini.GetInt(section, QStringLiteral("bTitle"), 0) != 0,
                              ini.GetString(section, QStringLiteral("Title")), QString(),
                              ini.GetString(section, QStringLiteral("Author")), QString());
    theApp().prompt = prompt;
    ini.WriteString(section, QStringLiteral("Suffix"), QString::number(suffix + 1));
    return ok;
}

bool CScopeDoc::SaveToPath(const QString& path) {
    if (!QFileInfo::exists(g_strImageFolder)) QDir().mkpath(g_strImageFolder);
    const CAppSettings::Save& s = theSettings.save;
    // A work file of stitching or EDF: the user's picture is not saved by it.
    const bool modified = m_bModified;
    const bool ok =
        SaveImage(path, s.bMeasure, s.bRuler, s.bTime, s.bTitle, s.Title, QString(), s.Author, QString());
    m_bModified = modified;
    return ok;
}

bool CScopeDoc::FixedFileSave(bool withOverlay) {
    m_bSaveWithMeasure = withOverlay;
    const QString path = g_strExeFolder + g_strDefaultImageName;
    if (IsLiveAndPlaying()) CaptureFrame(m_image);
    bool ok = false;
    if (m_image.IsValid()) {
        if (withOverlay) {
            // The measurements and the ruler as shown; the picture itself stays as it was.
            const FCObjImage kept = m_image;
            m_image.ToTrueColor24();
            const std::vector<uint8_t> overlay =
                BurnOverlay(true, m_pElemMgr->IsRulerShown(), false, false, QString());
            GVLMergeBurnIn(m_image, overlay.data());
            ok = m_image.SaveToFile(path.toStdString());
            m_image = kept;
        } else {
            ok = m_image.SaveToFile(path.toStdString());
        }
    }
    if (!ok) Message(QStringLiteral("Error"), QStringLiteral("Save image failed."));
    return ok;
}
