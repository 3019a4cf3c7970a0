#include "ui/mix_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "document/image_mix.h"
#include "document/scope_doc.h"
#include "image/image_draw.h"
#include "settings/language_table.h"

namespace {

// Far enough to move any picture out of sight.
constexpr int kOffsetLimit = 99999;

QString Tr(const char* text) {
    return Translate(QString::fromUtf8(text));
}

// Restores the cursor however the mix ends.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

// ---- Worker ----

CMixPreviewWorker::CMixPreviewWorker(Delivery deliver) : m_deliver(std::move(deliver)) {}

CMixPreviewWorker::~CMixPreviewWorker() {
    Stop();
}

uint64_t CMixPreviewWorker::Request(std::shared_ptr<const FCObjImage> src,
                                    std::shared_ptr<const FCObjImage> dst, int xOffset, int yOffset,
                                    int transparency) {
    uint64_t generation;
    {
        std::lock_guard lock(m_mutex);
        generation = ++m_latest;
        m_job = Job{std::move(src), std::move(dst), xOffset, yOffset, transparency, generation};
        m_pending = true;
        if (!m_thread.joinable()) {
            m_stop = false;
            m_thread = std::thread(&CMixPreviewWorker::Run, this);
        }
    }
    m_wake.notify_one();
    return generation;
}

void CMixPreviewWorker::RequestStop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
}

void CMixPreviewWorker::Stop() {
    RequestStop();
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard lock(m_mutex);
    m_pending = false;
    m_job = Job{};
}

const FCObjImage* CMixPreviewWorker::ScaledOf(const std::shared_ptr<const FCObjImage>& img, int w,
                                              int h, Scaled& slot, const Scaled& other,
                                              const std::function<bool()>& cancel) {
    if (slot.from == img && slot.width == w && slot.height == h) return &slot.image;
    if (other.from == img && other.width == w && other.height == h) {
        // Same picture on both sides: copied, so each slot can be replaced on its own.
        slot = other;
        return slot.image.IsValid() ? &slot.image : nullptr;
    }
    FCObjImage scaled;
    if (!ResampleSmooth(*img, w, h, scaled, cancel)) return nullptr;
    slot.from = img;
    slot.width = w;
    slot.height = h;
    slot.image.Swap(scaled);
    return &slot.image;
}

void CMixPreviewWorker::Run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop.load() || m_pending; });
            if (m_stop) break;
            job = std::move(m_job);
            m_job = Job{};
            m_pending = false;
        }
        const uint64_t gen = job.generation;
        const auto stale = [this, gen] { return m_stop.load() || m_latest.load() != gen; };
        const std::function<bool()> cancel = [this, gen, &stale] {
            if (m_rowHook) m_rowHook(gen);
            return stale();
        };
        std::shared_ptr<FCObjImage> preview;
        if (job.src && job.dst && job.src->IsValid() && job.dst->IsValid()) {
            const float s = MixPreviewScale(job.dst->Width(), job.dst->Height());
            const FCObjImage* dst =
                ScaledOf(job.dst, MixPreviewSide(job.dst->Width(), s),
                         MixPreviewSide(job.dst->Height(), s), m_scaledDst, m_scaledSrc, cancel);
            const FCObjImage* src = dst ? ScaledOf(job.src, MixPreviewSide(job.src->Width(), s),
                                                   MixPreviewSide(job.src->Height(), s),
                                                   m_scaledSrc, m_scaledDst, cancel)
                                        : nullptr;
            if (src && dst) {
                preview = std::make_shared<FCObjImage>(*dst);
                if (!MixInto(*preview, *src, MixPreviewOffset(job.xOffset, s),
                             MixPreviewOffset(job.yOffset, s), job.transparency, cancel))
                    preview.reset();
            }
        }
        if (!preview || stale()) {
            ++m_abandoned;
            continue;
        }
        m_deliver(std::move(preview), gen);
    }
    // Pictures belong to the dialog's documents: hold none once stopped.
    m_scaledSrc = Scaled{};
    m_scaledDst = Scaled{};
}

// ---- Preview area ----

CMixPreviewArea::CMixPreviewArea(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize CMixPreviewArea::sizeHint() const {
    return {400, 300};
}

void CMixPreviewArea::SetPicture(std::shared_ptr<const FCObjImage> picture) {
    m_picture = std::move(picture);
    update();
}

QRect CMixPreviewArea::FittedTopLeft(const QSize& area, const QSize& image) {
    const int64_t aw = area.width(), ah = area.height(), iw = image.width(), ih = image.height();
    if (aw <= 0 || ah <= 0 || iw <= 0 || ih <= 0) return {};
    if (aw * ih < ah * iw) return {0, 0, static_cast<int>(aw), static_cast<int>(aw * ih / iw)};
    return {0, 0, static_cast<int>(ah * iw / ih), static_cast<int>(ah)};
}

void CMixPreviewArea::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Dark));
    if (!m_picture || !m_picture->IsValid()) return;
    const QSize size(m_picture->Width(), m_picture->Height());
    DrawTo(*m_picture, &p, FittedTopLeft(this->size(), size), QRect(QPoint(0, 0), size));
}

// ---- Dialog ----

CMixDlg::CMixDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("MixDlg"));
    setWindowTitle(Tr("Image Mix"));
    m_worker = std::make_unique<CMixPreviewWorker>(
        [this](std::shared_ptr<FCObjImage> preview, uint64_t generation) {
            // Queued to the dialog: dropped by Qt if the dialog is gone by then.
            QMetaObject::invokeMethod(
                this, [this, preview, generation] { OnPreviewReady(preview, generation); },
                Qt::QueuedConnection);
        });

    m_src = new QComboBox(this);
    m_dst = new QComboBox(this);
    for (QComboBox* box : {m_src, m_dst}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(24);
    }
    for (CScopeDoc* doc : CScopeDoc::AllDocuments()) {
        if (doc->m_bLive) continue;
        const QVariant data = QVariant::fromValue(reinterpret_cast<quintptr>(doc));
        m_src->addItem(doc->GetTitle(), data);
        m_dst->addItem(doc->GetTitle(), data);
    }
    m_src->setCurrentIndex(m_src->count() > 0 ? 0 : -1);
    m_dst->setCurrentIndex(m_dst->count() >= 2 ? 1 : m_dst->count() - 1);

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setRange(0, 100);
    m_slider->setValue(m_transparency);
    m_slider->setPageStep(10);
    m_percent = new QLabel(this);
    m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_percent->setMinimumWidth(m_percent->fontMetrics().horizontalAdvance(QStringLiteral("100%")) +
                               4);
    m_percent->setText(QStringLiteral("%1%").arg(m_transparency));

    m_x = new QSpinBox(this);
    m_y = new QSpinBox(this);
    for (QSpinBox* spin : {m_x, m_y}) {
        spin->setRange(-kOffsetLimit, kOffsetLimit);
        spin->setValue(0);
        spin->setAlignment(Qt::AlignRight);
    }

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(Tr("src:"), this), 0, 0);
    grid->addWidget(m_src, 0, 1, 1, 4);
    grid->addWidget(new QLabel(Tr("dst:"), this), 1, 0);
    grid->addWidget(m_dst, 1, 1, 1, 4);
    grid->addWidget(new QLabel(Tr("transparency:"), this), 2, 0);
    grid->addWidget(m_slider, 2, 1, 1, 3);
    grid->addWidget(m_percent, 2, 4);
    grid->addWidget(new QLabel(Tr("x offset:"), this), 3, 0);
    grid->addWidget(m_x, 3, 1);
    grid->addWidget(new QLabel(Tr("y offset:"), this), 3, 2, Qt::AlignRight);
    grid->addWidget(m_y, 3, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    m_area = new CMixPreviewArea(this);
    auto* outline = new QGroupBox(Tr("Outline"), this);
    auto* outlineLayout = new QVBoxLayout(outline);
    outlineLayout->addWidget(m_area);

    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(Tr("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(Tr("Cancel"), QDialogButtonBox::RejectRole);
    m_ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(outline, 1);
    layout->addWidget(buttons);

    connect(m_src, &QComboBox::currentIndexChanged, this, &CMixDlg::RequestPreview);
    connect(m_dst, &QComboBox::currentIndexChanged, this, &CMixDlg::RequestPreview);
    // Every position counts, also keyboard and page steps, so the label never shows a value
    // the mix does not use.
    connect(m_slider, &QSlider::valueChanged, this, [this](int v) {
        m_transparency = v;
        m_percent->setText(QStringLiteral("%1%").arg(v));
        RequestPreview();
    });
    connect(m_x, &QSpinBox::valueChanged, this, [this](int v) {
        m_xOffset = v;
        RequestPreview();
    });
    connect(m_y, &QSpinBox::valueChanged, this, [this](int v) {
        m_yOffset = v;
        RequestPreview();
    });
    RequestPreview();
}

CMixDlg::~CMixDlg() {
    // Joined before any member the delivery reaches goes away.
    m_worker->Stop();
}

void CMixDlg::done(int r) {
    m_worker->Stop();
    QDialog::done(r);
}

CScopeDoc* CMixDlg::DocumentAt(const QComboBox* box) const {
    if (box->currentIndex() < 0) return nullptr;
    auto* doc = reinterpret_cast<CScopeDoc*>(box->currentData().value<quintptr>());
    // A document closed while the dialog was open is no choice any more.
    const auto& all = CScopeDoc::AllDocuments();
    return std::find(all.begin(), all.end(), doc) != all.end() ? doc : nullptr;
}

CScopeDoc* CMixDlg::SourceDocument() const {
    return DocumentAt(m_src);
}
CScopeDoc* CMixDlg::DestinationDocument() const {
    return DocumentAt(m_dst);
}

std::shared_ptr<const FCObjImage> CMixDlg::PictureOf(CScopeDoc* doc) {
    if (!doc) return nullptr;
    auto it = m_pictures.find(doc);
    if (it != m_pictures.end()) return it.value();
    std::shared_ptr<const FCObjImage> copy;
    if (doc->m_pCxImage && doc->m_pCxImage->IsValid()) {
        auto img = std::make_shared<FCObjImage>(*doc->m_pCxImage);
        if (img->IsValid()) copy = std::move(img);
    }
    m_pictures.insert(doc, copy);
    return copy;
}

void CMixDlg::RequestPreview() {
    auto src = PictureOf(SourceDocument());
    auto dst = PictureOf(DestinationDocument());
    if (!src || !dst) return;
    m_previewScale = MixPreviewScale(dst->Width(), dst->Height());
    m_worker->Request(std::move(src), std::move(dst), m_xOffset, m_yOffset, m_transparency);
}

void CMixDlg::OnPreviewReady(const std::shared_ptr<FCObjImage>& preview, uint64_t generation) {
    if (generation != m_worker->LatestGeneration()) return;
    m_area->SetPicture(preview);
    emit previewShown();
}

CScopeDoc* CMixDlg::CreateMixDocument() {
    WaitCursor wait;
    CScopeDoc* srcDoc = SourceDocument();
    CScopeDoc* dstDoc = DestinationDocument();
    if (!dstDoc || !dstDoc->m_pCxImage) return nullptr;
    static const FCObjImage kNone;
    const FCObjImage& src = srcDoc && srcDoc->m_pCxImage ? *srcDoc->m_pCxImage : kNone;
    // Mixed into a copy: the destination document keeps its own picture for printing and for
    // later mixes.
    FCObjImage mixed;
    if (!MixPictures(src, *dstDoc->m_pCxImage, m_xOffset, m_yOffset, m_transparency, mixed))
        return nullptr;

    CScopeAppState& app = theApp();
    app.m_pSharedImage.Swap(mixed);
    g_bMixRequest = true;
    app.m_nNewDocKind = 1;
    CScopeDoc* doc = app.frame ? app.frame->NewDocument() : NewDocumentWithoutView();
    // The request is spent either way; left set, the next capture would become a mix too.
    g_bMixRequest = false;
    app.m_pSharedImage.Release();
    if (!doc) app.m_nNewDocKind = 0;
    return doc;
}

void RunMixDialog(CScopeDoc& doc, QWidget* parent) {
    if (doc.m_bLive) return;
    CMixDlg dlg(parent);
    if (dlg.exec() == QDialog::Accepted) dlg.CreateMixDocument();
}
