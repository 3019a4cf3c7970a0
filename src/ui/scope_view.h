#pragma once
// CScopeView: the scrolling view of one document. It does not paint the picture itself: it owns
// the overlay window (still pictures) or the live video window, places it by the zoom, paints the
// grey margins around it, scrolls, shows a live document's frame rates, prints still pictures and
// hosts the full-screen window.

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QPointer>

#include "document/view_layout.h"

class CScopeDoc;
class CGVLWnd;
class CVideoWnd;
class CFullScreenWnd;
class QPrinter;

class CScopeView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kFrameRateTimerId = 1001;
    static constexpr int kFrameRatePeriodMs = 300;

    // Runs the document's view decision with the camera's current resolution and builds the
    // overlay window (still) or the video window (live, which opens the camera).
    explicit CScopeView(CScopeDoc* doc, QWidget* parent = nullptr);
    ~CScopeView() override;

    CScopeDoc* Document() const { return m_pDoc; }
    CGVLWnd* OverlayWindow() const { return m_pGVLWnd; }
    CVideoWnd* VideoWindow() const { return m_pVideoWnd; }
    // The window the picture is shown in (video window for the live document).
    QWidget* PictureWindow() const;
    CFullScreenWnd* FullScreenWindow() const { return m_pFullScreen; }

    // The view of a document, or null.
    static CScopeView* ForDocument(const CScopeDoc* doc);

    // After the document's new or open step: the hidden full-screen window and the layout.
    void OnInitialUpdate();
    // Zoom, display size, scroll range, centring and overlay origin from the document.
    void RecalcLayout();
    const ViewLayout& Layout() const { return m_layout; }
    // The scroll position (the document's scroll position).
    QPoint ScrollPosition() const;

    // Repaints the picture window; the still picture is converted again (it may have changed).
    void RepaintPicture();

    // Printing: still documents only.
    bool CanPrint() const;
    // Draws the picture on one page; false when there is nothing to print.
    bool Print(QPrinter& printer);
    // A print preview dialog (modal); false when printing is not possible.
    bool PrintPreview();

    // The full-screen command of the document: nothing while the live preview is paused.
    void ToggleFullScreen();
    bool IsFullScreen() const;

    // Gives the zoom index through the main frame's zoom box on activation.
    void OnActivateView();

signals:
    // The space key went through the view: semi-automatic stitching takes the current frame.
    void takeFrameRequested();
    // The ruler of the document changed (forwarded from the picture window).
    void rulerChanged();

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void timerEvent(QTimerEvent* e) override;
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void PlacePictureWindow();
    void UpdateFrameRates();
    // The space key, wherever in the view it goes, is taken for semi-automatic stitching.
    bool HandleSpace(QEvent* e);

    CScopeDoc* m_pDoc = nullptr;
    CGVLWnd* m_pGVLWnd = nullptr;
    CVideoWnd* m_pVideoWnd = nullptr;
    CFullScreenWnd* m_pFullScreen = nullptr;
    ViewLayout m_layout;
    QBasicTimer m_frameRateTimer;
    bool m_bInLayout = false;
};
