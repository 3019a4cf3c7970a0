#pragma once
// CFileJob: one run of stitching, HDR or EDF over the pictures chosen in an image-list dialog,
// as the commands of the Advanced menu run it: a worker thread hands the pictures to the
// image-processing library (stitching, HDR) or runs enfuse (EDF), the progress dialog follows
// posted percentages (10 at the start, 30 once every picture is handed over, 80 with the
// result) and is asked to close when the run ends; the result is written to a numbered file
// in the pictures folder ("Stiching_", "HDR_", "EDF_" and four digits, .jpg).
//
// Threads: Start and Finish on the user-interface thread; the worker and the library's
// callback on their own threads, which reach the user interface only through IJobProgress.
// The pictures of open documents are copied at Start, so the documents may change afterwards.

#include <QString>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "advanced/edf/enfuse_runner.h"
#include "advanced/jobs/image_list.h"
#include "image/obj_image.h"

// What the modal progress dialog receives; both may be called from any thread.
class IJobProgress {
public:
    virtual ~IJobProgress() = default;
    virtual void Post(int percent) = 0;
    virtual void Close() = 0;
};

enum class FileJobKind { Stitching, Hdr, Edf };

class CFileJob {
public:
    // list: after its OK step (AcceptPaths for stitching and HDR, AcceptTemporaries for EDF).
    CFileJob(FileJobKind kind, const CImageListModel& list, IJobProgress& progress,
             CEnfuseRunner enfuse = CEnfuseRunner());
    ~CFileJob();
    CFileJob(const CFileJob&) = delete;
    CFileJob& operator=(const CFileJob&) = delete;

    // Writes the result here instead of a numbered file of the pictures folder.
    void SetResultPath(const QString& path) { m_fixedResult = path; }

    // Creates and starts the library's handle and the worker. False (nothing runs, and
    // MessageText says why) when the library refuses.
    bool Start();
    // After the progress dialog closed: waits for the worker and releases the handle.
    void Finish();

    bool Succeeded() const { return m_success; }
    QString ResultPath() const;
    // What to tell the user after a failure, empty when nothing (caption may be empty).
    QString MessageCaption() const;
    QString MessageText() const;
    // Stitching: each picture's corner in the result, in the order handed over.
    std::vector<std::pair<double, double>> TilePositions() const;
    // Pictures that could be read and were handed over.
    int HandedPictures() const { return m_handed; }

private:
    static int Callback(void* context, int status, int value, const unsigned char* pixels,
                        int width, int height, int extra);
    void LibraryWorker();
    void EnfuseWorker();
    void Fail(const QString& caption, const QString& text);
    void PostAtLeast(int percent);
    QString NewResultPath() const;
    void DeleteTemporaries() const;

    const FileJobKind m_kind;
    IJobProgress& m_progress;
    const CEnfuseRunner m_enfuse;
    // The chosen rows, as the worker reads them.
    std::vector<QString> m_paths;
    std::vector<bool> m_temporary;
    std::vector<FCObjImage> m_pictures;  // open pictures (File rows stay empty)
    QString m_fixedResult;

    int m_handle = 0;
    std::thread m_worker;
    std::atomic<int> m_posted{0};
    std::atomic<bool> m_success{false};
    std::atomic<int> m_handed{0};
    mutable std::mutex m_mutex;  // guards the texts and positions below
    QString m_resultPath;
    QString m_caption, m_text;
    std::vector<std::pair<double, double>> m_positions;
};
