#include "advanced/jobs/file_jobs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstring>

#include "advanced/imagepro_hdr.h"
#include "advanced/imagepro_stitching.h"
#include "document/scope_doc.h"
#include "settings/app_folders.h"
#include "settings/language_table.h"

namespace {

const char* ResultPrefix(FileJobKind kind) {
    switch (kind) {
        case FileJobKind::Stitching:
            return "Stiching_";
        case FileJobKind::Hdr:
            return "HDR_";
        case FileJobKind::Edf:
            return "EDF_";
    }
    return "";
}

QString Brand() {
    return QString::fromUtf8(kBrandTitle);
}

}  // namespace

CFileJob::CFileJob(FileJobKind kind, const CImageListModel& list, IJobProgress& progress,
                   CEnfuseRunner enfuse)
    : m_kind(kind), m_progress(progress), m_enfuse(std::move(enfuse)) {
    const int n = std::min(list.m_nSelected, CImageListModel::kSlots);
    m_paths.assign(list.m_strPaths.begin(), list.m_strPaths.begin() + n);
    m_temporary.assign(list.m_bTempFile.begin(), list.m_bTempFile.begin() + n);
    m_pictures.resize(n);
    if (kind == FileJobKind::Edf) return;
    for (int i = 0; i < n && i < static_cast<int>(list.Right().size()); ++i) {
        const ImageListEntry& e = list.Right()[i].entry;
        if (e.m_nKind == ImageListEntry::OpenPicture && e.m_pDoc) m_pictures[i] = e.m_pDoc->m_image;
    }
}

CFileJob::~CFileJob() {
    Finish();
}

QString CFileJob::ResultPath() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_resultPath;
}

QString CFileJob::MessageCaption() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_caption;
}

QString CFileJob::MessageText() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_text;
}

std::vector<std::pair<double, double>> CFileJob::TilePositions() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_positions;
}

void CFileJob::Fail(const QString& caption, const QString& text) {
    m_success = false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_caption = caption;
    m_text = text;
}

void CFileJob::PostAtLeast(int percent) {
    // The library's own progress runs on its thread: the bar only ever moves forward.
    int seen = m_posted.load();
    while (percent > seen && !m_posted.compare_exchange_weak(seen, percent)) {
    }
    if (percent > seen) m_progress.Post(percent);
}

QString CFileJob::NewResultPath() const {
    if (!m_fixedResult.isEmpty()) return m_fixedResult;
    if (!QFileInfo::exists(g_strImageFolder)) QDir().mkpath(g_strImageFolder);
    return MakeUniqueName(WithSeparator(g_strImageFolder),
                          QString::fromLatin1(ResultPrefix(m_kind)), QStringLiteral("jpg"), 0);
}

bool CFileJob::Start() {
    if (m_kind != FileJobKind::Edf) {
        m_handle =
            m_kind == FileJobKind::Stitching
                ? imagepro_stitching_new(1, &CFileJob::Callback, this, IMAGEPRO_STITCHING_FILES)
                : imagepro_hdr_new(1, &CFileJob::Callback, this, IMAGEPRO_HDR_FILES);
        const int started = m_handle == 0                      ? IMAGEPRO_ERR_FAILED
                            : m_kind == FileJobKind::Stitching ? imagepro_stitching_start(m_handle)
                                                               : imagepro_hdr_start(m_handle);
        if (started != IMAGEPRO_OK) {
            Fail(Brand(), QString::fromUtf8(imagepro_last_error()));
            return false;
        }
        m_worker = std::thread([this] { LibraryWorker(); });
    } else {
        m_worker = std::thread([this] { EnfuseWorker(); });
    }
    return true;
}

void CFileJob::Finish() {
    if (m_worker.joinable()) m_worker.join();
    if (!m_handle) return;
    // Stopping waits for the library's own thread, so no callback arrives after this.
    if (m_kind == FileJobKind::Stitching) {
        imagepro_stitching_stop(m_handle);
        imagepro_stitching_delete(m_handle);
    } else {
        imagepro_hdr_stop(m_handle);
        imagepro_hdr_delete(m_handle);
    }
    m_handle = 0;
}

void CFileJob::LibraryWorker() {
    PostAtLeast(10);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_resultPath = NewResultPath();
    }
    // Every picture that can be read, in the order of the list; one that cannot is left out.
    std::vector<FCObjImage> pictures;
    for (size_t k = 0; k < m_paths.size(); ++k) {
        FCObjImage picture;
        if (m_pictures[k].IsValid())
            picture = m_pictures[k];
        else if (m_paths[k].isEmpty() || !picture.LoadFromFile(m_paths[k].toStdString()))
            continue;
        picture.ToTrueColor24();
        pictures.push_back(std::move(picture));
    }
    m_handed = static_cast<int>(pictures.size());
    if (pictures.size() < 2) {
        // Nothing to join or fuse: the library is not asked, the dialog must still close.
        if (m_kind == FileJobKind::Stitching)
            Fail(QString(), Translate(QStringLiteral("StitchingError")));
        else
            Fail(Brand(), Translate(QStringLiteral("At least two readable pictures are needed.")));
        m_progress.Close();
        return;
    }
    for (size_t k = 0; k < pictures.size(); ++k) {
        const FCObjImage& p = pictures[k];
        const int isLast = k + 1 == pictures.size();
        const int status = m_kind == FileJobKind::Stitching
                               ? imagepro_stitching_readdata(m_handle, p.GetMemStart(), p.Width(),
                                                             p.Height(), 24, isLast)
                               : imagepro_hdr_readdata(m_handle, p.GetMemStart(), p.Width(),
                                                       p.Height(), 24, isLast);
        if (status != IMAGEPRO_OK) {
            Fail(Brand(), QString::fromUtf8(imagepro_last_error()));
            m_progress.Close();
            return;
        }
    }
    PostAtLeast(30);
}

int CFileJob::Callback(void* context, int status, int value, const unsigned char* pixels, int width,
                       int height, int) {
    auto* self = static_cast<CFileJob*>(context);
    if (status == IMAGEPRO_CB_PROGRESS) {
        self->PostAtLeast(30 + std::clamp(value, 0, 100) * 49 / 100);
        return 0;
    }
    if (status != IMAGEPRO_CB_RESULT || !pixels || width <= 0 || height <= 0) {
        if (self->m_kind == FileJobKind::Stitching)
            self->Fail(QString(), Translate(QStringLiteral("StitchingError")));
        else
            self->Fail(Brand(), QStringLiteral("HDR: ") + QString::fromUtf8(imagepro_last_error()));
        self->m_progress.Close();
        return 0;
    }
    // The result's rows, bottom row first and 3 * width bytes each, into a 24-bit picture.
    FCObjImage picture;
    bool saved = picture.Allocate(width, height, 24);
    if (saved) {
        const size_t row = static_cast<size_t>(width) * 3;
        for (int y = 0; y < height; ++y)
            std::memcpy(picture.GetRow(height - 1 - y), pixels + static_cast<size_t>(y) * row, row);
        saved = picture.SaveToFile(self->ResultPath().toStdString());
    }
    if (!saved) {
        self->Fail(Translate(QStringLiteral("Error")),
                   Translate(QStringLiteral("Save image failed.")));
        self->m_progress.Close();
        return 0;
    }
    if (self->m_kind == FileJobKind::Stitching) {
        std::vector<std::pair<double, double>> positions;
        const int n = imagepro_stitching_get_tilenum(self->m_handle);
        for (int i = 0; i < n; ++i) {
            double x = 0, y = 0;
            imagepro_stitching_get_tileposition(self->m_handle, i, &x, &y);
            positions.emplace_back(x, y);
        }
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_positions = std::move(positions);
    }
    self->m_success = true;
    self->PostAtLeast(80);
    self->m_progress.Close();
    return 0;
}

void CFileJob::DeleteTemporaries() const {
    for (size_t k = 0; k < m_paths.size(); ++k)
        if (m_temporary[k] && !m_paths[k].isEmpty()) QFile::remove(m_paths[k]);
}

void CFileJob::EnfuseWorker() {
    PostAtLeast(10);
    if (m_paths.size() < 2) {
        m_progress.Close();
        return;
    }
    // A row whose picture could not be read (the user was told) has no file: it is left out.
    QStringList inputs;
    for (const QString& path : m_paths)
        if (!path.isEmpty() && QFileInfo::exists(path)) inputs << path;
    m_handed = static_cast<int>(inputs.size());
    PostAtLeast(30);
    const QString result = NewResultPath();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_resultPath = result;
    }
    const EnfuseOutcome outcome =
        inputs.size() < 2
            ? EnfuseOutcome{EnfuseOutcome::Status::BadInputs,
                            0,
                            -1,
                            QStringLiteral("at least two readable pictures are needed"),
                            {}}
            : m_enfuse.Run(result, inputs);
    DeleteTemporaries();
    switch (outcome.status) {
        case EnfuseOutcome::Status::Finished:
            if (outcome.exitCode == 0 && QFileInfo::exists(result)) {
                m_success = true;
                PostAtLeast(80);
            } else {
                const QStringList lines = outcome.log.split('\n', Qt::SkipEmptyParts);
                Fail(Brand(),
                     QStringLiteral("enfuse failed (exit code %1)%2")
                         .arg(outcome.exitCode)
                         .arg(lines.isEmpty() ? QString() : QStringLiteral(": ") + lines.last()));
            }
            break;
        case EnfuseOutcome::Status::BadInputs:
            Fail(Brand(), QStringLiteral("EDF: ") + outcome.reason);
            break;
        case EnfuseOutcome::Status::NotStarted:
            Fail(Brand(), Translate(QStringLiteral("Failed to create process %d\n"))
                              .replace(QStringLiteral("%d"), QString::number(outcome.errorCode)));
            break;
    }
    m_progress.Close();
}
