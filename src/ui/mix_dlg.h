#pragma once
// The Image Mix dialog: blends one open still picture (source) into another (destination) at
// an offset and a transparency, with a reduced live preview, and on OK opens the full-size
// result as a new "Mix n" document.
//
// The preview is computed on a worker thread so large pictures never stall the dialog; every
// change of the settings abandons the computation in progress at its next row, and closing the
// dialog joins the thread before anything it could reach goes away.

#include <QDialog>
#include <QHash>
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "image/obj_image.h"

class CScopeDoc;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;

// Menu command Mix (only on a still document): runs the dialog and, on OK, creates the mix
// document through the application's frame.
void RunMixDialog(CScopeDoc& doc, QWidget* parent);

// Computes mix previews one at a time on a thread of its own. The newest request wins: an older
// one still running stops at its next row and is never delivered.
class CMixPreviewWorker {
public:
    // Called on the worker thread with a finished preview and the generation it answers.
    using Delivery = std::function<void(std::shared_ptr<FCObjImage> preview, uint64_t generation)>;

    explicit CMixPreviewWorker(Delivery deliver);
    ~CMixPreviewWorker();
    CMixPreviewWorker(const CMixPreviewWorker&) = delete;
    CMixPreviewWorker& operator=(const CMixPreviewWorker&) = delete;

    // New settings (starts the thread when it is not running). Returns the request's generation.
    uint64_t Request(std::shared_ptr<const FCObjImage> src, std::shared_ptr<const FCObjImage> dst,
                     int xOffset, int yOffset, int transparency);
    // Asks the thread to end without waiting for it.
    void RequestStop();
    // Ends the thread and waits for it: nothing is delivered once this returns.
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }
    uint64_t LatestGeneration() const { return m_latest.load(); }
    // Computations given up because newer settings came or the worker stopped.
    int Abandoned() const { return m_abandoned.load(); }
    // Called on the worker thread at every row check with the generation being computed, before
    // the check. Set it before the first request (tests pause the worker with it).
    void SetRowHook(std::function<void(uint64_t)> hook) { m_rowHook = std::move(hook); }

private:
    struct Job {
        std::shared_ptr<const FCObjImage> src, dst;
        int xOffset = 0, yOffset = 0, transparency = 50;
        uint64_t generation = 0;
    };
    // A picture reduced for the preview, kept while the same picture is asked for again.
    struct Scaled {
        std::shared_ptr<const FCObjImage> from;
        int width = 0, height = 0;
        FCObjImage image;
    };
    void Run();
    const FCObjImage* ScaledOf(const std::shared_ptr<const FCObjImage>& img, int w, int h,
                               Scaled& slot, const Scaled& other,
                               const std::function<bool()>& cancel);

    Delivery m_deliver;
    std::function<void(uint64_t)> m_rowHook;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    Job m_job;
    bool m_pending = false;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_latest{0};
    std::atomic<int> m_abandoned{0};
    Scaled m_scaledSrc, m_scaledDst;  // worker thread only
};

// The preview area: the preview picture fitted with its aspect ratio at the area's top-left.
class CMixPreviewArea : public QWidget {
    Q_OBJECT
public:
    explicit CMixPreviewArea(QWidget* parent = nullptr);
    void SetPicture(std::shared_ptr<const FCObjImage> picture);
    const FCObjImage* Picture() const { return m_picture.get(); }
    // Where a picture of that size is drawn in an area of that size.
    static QRect FittedTopLeft(const QSize& area, const QSize& image);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    std::shared_ptr<const FCObjImage> m_picture;
};

class CMixDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMixDlg(QWidget* parent = nullptr);
    ~CMixDlg() override;

    // The chosen documents (null without any still document).
    CScopeDoc* SourceDocument() const;
    CScopeDoc* DestinationDocument() const;
    int Transparency() const { return m_transparency; }
    int XOffset() const { return m_xOffset; }
    int YOffset() const { return m_yOffset; }
    // The scale of the last preview requested (1 until one was).
    float PreviewScale() const { return m_previewScale; }
    // The preview on screen (null until the first one arrives).
    const FCObjImage* Preview() const { return m_area->Picture(); }

    QComboBox* SourceBox() const { return m_src; }
    QComboBox* DestinationBox() const { return m_dst; }
    QSlider* TransparencySlider() const { return m_slider; }
    QLabel* TransparencyLabel() const { return m_percent; }
    QSpinBox* XOffsetBox() const { return m_x; }
    QSpinBox* YOffsetBox() const { return m_y; }
    QPushButton* OkButton() const { return m_ok; }
    CMixPreviewArea* PreviewArea() const { return m_area; }
    CMixPreviewWorker& Worker() { return *m_worker; }

    // The full-size mix of the chosen documents as a new document (wait cursor meanwhile).
    // Returns the new document, or null when there was nothing to mix or it was refused.
    CScopeDoc* CreateMixDocument();

    void done(int r) override;

signals:
    // A new preview is on screen.
    void previewShown();

private:
    void RequestPreview();
    void OnPreviewReady(const std::shared_ptr<FCObjImage>& preview, uint64_t generation);
    std::shared_ptr<const FCObjImage> PictureOf(CScopeDoc* doc);
    CScopeDoc* DocumentAt(const QComboBox* box) const;

    QComboBox* m_src = nullptr;
    QComboBox* m_dst = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_percent = nullptr;
    QSpinBox* m_x = nullptr;
    QSpinBox* m_y = nullptr;
    QPushButton* m_ok = nullptr;
    CMixPreviewArea* m_area = nullptr;
    int m_transparency = 50;
    int m_xOffset = 0;
    int m_yOffset = 0;
    float m_previewScale = 1.0f;
    // Copies of the documents' pictures taken for the worker, one per document.
    QHash<CScopeDoc*, std::shared_ptr<const FCObjImage>> m_pictures;
    std::unique_ptr<CMixPreviewWorker> m_worker;
};
