#include "ui/scope_view.h"

#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QTimerEvent>

#include <algorithm>
#include <vector>

#include "camera/camera_manager.h"
#include "document/scope_doc.h"
#include "image/image_draw.h"
#include "overlay/element_manager.h"
#include "settings/language_table.h"
#include "ui/full_screen_wnd.h"
#include "ui/gvl_wnd.h"
#include "ui/video_wnd.h"

namespace {

std::vector<CScopeView*>& Views() {
    static std::vector<CScopeView*> views;
    return views;
}

const QColor kGray(128, 128, 128);

// Dots per inch of a picture from its header; 96 when it carries none.
double PictureDpi(int32_t pelsPerMeter) {
    return pelsPerMeter > 0 ? pelsPerMeter * 0.0254 : 96.0;
}

}  // namespace

CScopeView::CScopeView(CScopeDoc* doc, QWidget* parent) : QAbstractScrollArea(parent), m_pDoc(doc) {
    setObjectName(QStringLiteral("ScopeView"));
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    Views().push_back(this);

    int cameraW = 1280, cameraH = 1024;
    theCameraManager().GetPreviewSize(&cameraW, &cameraH);
    m_pDoc->OnViewCreated(true, cameraW, cameraH);
    if (m_pDoc->m_bLive) {
        m_pVideoWnd = new CVideoWnd(m_pDoc, this, viewport());
        m_pVideoWnd->setGeometry(0, 0, cameraW, cameraH);
        g_bLiveDocExists = true;
        m_pDoc->ElemMgr().SetWindow(m_pVideoWnd);
        m_pDoc->m_nFrameWidth = cameraW;
        m_pDoc->m_nFrameHeight = cameraH;
        m_pDoc->m_bPlaying = true;
        m_pDoc->m_bLive = true;
        const QSize client = viewport()->size();
        m_pDoc->ElemMgr().SetOrigin(QPoint(std::max(0, (client.width() - cameraW) / 2),
                                           std::max(0, (client.height() - cameraH) / 2)));
        m_pVideoWnd->installEventFilter(this);
        connect(m_pVideoWnd, &CVideoWnd::rulerChanged, this, &CScopeView::rulerChanged);
        m_frameRateTimer.start(kFrameRatePeriodMs, this);
    } else {
        m_pGVLWnd = new CGVLWnd(m_pDoc, this, viewport());
        m_pDoc->ElemMgr().SetWindow(m_pGVLWnd);
        m_pGVLWnd->installEventFilter(this);
        connect(m_pGVLWnd, &CGVLWnd::rulerChanged, this, &CScopeView::rulerChanged);
        RecalcLayout();
    }
    viewport()->installEventFilter(this);
    theApp().m_nNewDocKind = 0;
}

CScopeView::~CScopeView() {
    auto& views = Views();
    views.erase(std::remove(views.begin(), views.end(), this), views.end());
    m_frameRateTimer.stop();
    if (m_pVideoWnd && m_pVideoWnd->IsFullScreen()) m_pVideoWnd->SetFullScreen(false, m_pVideoWnd);
    // The picture windows go first: the video window closes the camera while the document lives.
    delete m_pVideoWnd;
    m_pVideoWnd = nullptr;
    delete m_pGVLWnd;
    m_pGVLWnd = nullptr;
    delete m_pFullScreen;
    m_pFullScreen = nullptr;
    theApp().m_nNewDocKind = 0;
}

CScopeView* CScopeView::ForDocument(const CScopeDoc* doc) {
    for (CScopeView* v : Views())
        if (v->m_pDoc == doc) return v;
    return nullptr;
}

QWidget* CScopeView::PictureWindow() const {
    if (m_pVideoWnd) return m_pVideoWnd;
    return m_pGVLWnd;
}

void CScopeView::OnInitialUpdate() {
    // The document's full-screen window exists from the start, hidden.
    if (!m_pFullScreen) {
        m_pFullScreen = new CFullScreenWnd(this);
        m_pFullScreen->hide();
        m_pFullScreen->SetToggle([this] { ToggleFullScreen(); });
        m_pFullScreen->SetPainter([this](QPainter& p, QSize size) {
            if (m_pVideoWnd) m_pVideoWnd->PaintTo(p, size, true);
        });
    }
    RecalcLayout();
    // The document has its live buffer now: frames may come in.
    if (m_pVideoWnd) m_pVideoWnd->StartFrames();
}

QPoint CScopeView::ScrollPosition() const {
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void CScopeView::RecalcLayout() {
    if (m_bInLayout) return;
    m_bInLayout = true;
    const QSize client = viewport()->size();
    ViewLayout previous = m_layout;
    previous.display = QSize(m_pDoc->m_nDisplayWidth, m_pDoc->m_nDisplayHeight);
    m_layout = ComputeViewLayout(m_pDoc->m_nZoomIndex, QSize(m_pDoc->m_nFrameWidth, m_pDoc->m_nFrameHeight),
                                 client, previous);
    m_pDoc->m_nDisplayWidth = m_layout.display.width();
    m_pDoc->m_nDisplayHeight = m_layout.display.height();
    // The camera thread reads the display size from the video window, not the document.
    if (m_pVideoWnd) m_pVideoWnd->SetDisplaySize(m_layout.display);
    CGVLElemMgr& mgr = m_pDoc->ElemMgr();
    mgr.SetZoom(m_layout.scale);

    // Scroll sizes, then back to the top-left corner.
    horizontalScrollBar()->setPageStep(std::max(1, client.width()));
    verticalScrollBar()->setPageStep(std::max(1, client.height()));
    horizontalScrollBar()->setSingleStep(std::max(1, client.width() / 10));
    verticalScrollBar()->setSingleStep(std::max(1, client.height() / 10));
    horizontalScrollBar()->setRange(0, std::max(0, m_layout.scroll.width() - client.width()));
    verticalScrollBar()->setRange(0, std::max(0, m_layout.scroll.height() - client.height()));
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);

    PlacePictureWindow();
    mgr.SetOrigin(m_layout.origin);
    viewport()->update();
    if (QWidget* w = PictureWindow()) w->update();
    m_bInLayout = false;
}

void CScopeView::PlacePictureWindow() {
    QWidget* w = PictureWindow();
    if (!w) return;
    w->setGeometry(m_layout.window.translated(-ScrollPosition()));
}

void CScopeView::RepaintPicture() {
    if (m_pGVLWnd) m_pGVLWnd->InvalidatePicture();
    if (QWidget* w = PictureWindow()) w->update();
    viewport()->update();
}

void CScopeView::scrollContentsBy(int, int) {
    PlacePictureWindow();
    if (m_bInLayout) return;
    const QPoint pos = ScrollPosition();
    m_pDoc->ElemMgr().SetOrigin(-pos);
}

void CScopeView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    // The margins around the picture; the picture window covers the rest.
    for (const QRect& r : GreyMarginRects(m_layout.display, viewport()->size()))
        if (!r.isEmpty()) p.fillRect(r, kGray);
}

void CScopeView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    RecalcLayout();
}

void CScopeView::timerEvent(QTimerEvent* e) {
    if (e->timerId() != m_frameRateTimer.timerId()) {
        QAbstractScrollArea::timerEvent(e);
        return;
    }
    UpdateFrameRates();
}

void CScopeView::UpdateFrameRates() {
    if (!m_pDoc->m_bLive) return;
    IScopeDocFrame* frame = theApp().frame;
    if (!frame) return;
    const float capture = theCameraManager().GetCaptureFrameRate();
    const float display = m_pVideoWnd ? m_pVideoWnd->DisplayFrameRate() : 0.0f;
    frame->SetStatusText(2, Translate(QStringLiteral("Capture:")) + QString::asprintf("%.2f", static_cast<double>(capture)));
    frame->SetStatusText(3, Translate(QStringLiteral("Display:")) + QString::asprintf("%.2f", static_cast<double>(display)));
}

bool CScopeView::HandleSpace(QEvent* e) {
    if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) return false;
    auto* key = static_cast<QKeyEvent*>(e);
    if (key->key() != Qt::Key_Space) return false;
    key->accept();
    if (e->type() == QEvent::KeyPress) emit takeFrameRequested();
    return true;
}

bool CScopeView::event(QEvent* e) {
    if (HandleSpace(e)) return true;
    // The arrow keys move a simulated camera's stage instead of scrolling the live picture.
    if (m_pVideoWnd && (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) &&
        m_pVideoWnd->StageKey(static_cast<QKeyEvent*>(e)))
        return true;
    if (m_pVideoWnd && e->type() == QEvent::FocusOut) m_pVideoWnd->StopStageKeys();
    return QAbstractScrollArea::event(e);
}

bool CScopeView::eventFilter(QObject* watched, QEvent* e) {
    if (HandleSpace(e)) return true;
    if (m_pVideoWnd && (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) &&
        m_pVideoWnd->StageKey(static_cast<QKeyEvent*>(e)))
        return true;
    return QAbstractScrollArea::eventFilter(watched, e);
}

bool CScopeView::CanPrint() const {
    return !m_pDoc->m_bLive && m_pDoc->m_pCxImage && m_pDoc->m_pCxImage->IsValid();
}

bool CScopeView::Print(QPrinter& printer) {
    if (!CanPrint()) return false;
    // A 24-bit copy: no palette, no transparency, no alpha to take care of.
    FCObjImage picture = *m_pDoc->m_pCxImage;
    picture.ToTrueColor24();
    if (!picture.IsValid()) return false;
    const FCBitmapInfoHeader& info = picture.GetInfoHeader();
    // Never cropped: too large for the page, the picture is scaled down to fit it.
    const QRect target = PrintedRect(
        QSize(picture.Width(), picture.Height()),
        QSizeF(PictureDpi(info.biXPelsPerMeter), PictureDpi(info.biYPelsPerMeter)),
        QSizeF(printer.logicalDpiX(), printer.logicalDpiY()),
        printer.pageLayout().paintRectPixels(printer.resolution()).size());
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    DrawTo(picture, &painter, target, QRect(0, 0, picture.Width(), picture.Height()));
    return painter.end();
}

bool CScopeView::PrintPreview() {
    if (!CanPrint()) return false;
    QPrintPreviewDialog dialog(this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* printer) { Print(*printer); });
    dialog.exec();
    return true;
}

bool CScopeView::IsFullScreen() const { return m_pVideoWnd && m_pVideoWnd->IsFullScreen(); }

void CScopeView::ToggleFullScreen() {
    // Full screen belongs to the live document's view, whichever view asks.
    CScopeView* live = m_pDoc->m_bLive ? this : ForDocument(CScopeDoc::FindLiveDocument());
    if (!live || !live->m_pVideoWnd) return;
    if (!live->m_pFullScreen) live->OnInitialUpdate();
    CVideoWnd* video = live->m_pVideoWnd;
    if (video->IsFullScreen()) {
        // Leaving is always possible, also when the preview was paused meanwhile.
        video->SetFullScreen(false, video);
        live->m_pFullScreen->hide();
        return;
    }
    if (!live->m_pDoc->m_bPlaying) return;
    live->m_pFullScreen->ShowOnScreen();
    video->SetFullScreen(true, live->m_pFullScreen);
}

void CScopeView::OnActivateView() {
    if (IScopeDocFrame* frame = theApp().frame) frame->SetZoomSelection(m_pDoc->m_nZoomIndex);
}
