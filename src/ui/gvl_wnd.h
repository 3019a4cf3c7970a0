#pragma once
// CGVLWnd: the window of a still picture. It paints the document's picture at the display size
// with the overlay on top and routes the mouse to the document's element manager, or, in the
// split mode of counting, to the document's segmentation (a separating line drawn with the pen).

#include <QImage>
#include <QWidget>

#include "document/view_layout.h"
#include "overlay/element_manager.h"

class CScopeDoc;
class CScopeView;

// Mouse key flags as the overlay expects them (left 1, right 2, shift 4, control 8, middle 16).
unsigned OverlayKeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

class CGVLWnd : public QWidget, public IGVLWindow {
    Q_OBJECT
public:
    static constexpr int kControlId = 2323;

    CGVLWnd(CScopeDoc* doc, CScopeView* view, QWidget* parent = nullptr);
    ~CGVLWnd() override;

    CScopeDoc* Document() const { return m_pDoc; }
    bool GrayFilled() const { return m_bGrayFilled; }

    // Drops the cached display picture so the next paint converts the document's picture again.
    void InvalidatePicture();
    // The whole paint path (picture, overlay) for the exposed part of the window.
    void PaintTo(QPainter& painter, const QRect& exposed);
    // The cached display picture (RGB32, display size) after a paint; null while none is cached.
    const QImage& CachedPicture() const { return m_picture.Scaled(); }

    // IGVLWindow
    void InvalidateRect(const QRect& rc, bool erase) override;
    void InvalidateAll() override;
    void RulerChanged() override;

signals:
    // The ruler moved or changed the calibration (always on the user-interface thread).
    void rulerChanged();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    bool event(QEvent* e) override;

private:
    void UpdateCursor();
    bool HoldsStill() const;

    CScopeDoc* m_pDoc = nullptr;
    CScopeView* m_pView = nullptr;
    bool m_bGrayFilled = false;
    // The separating line being drawn in split mode, window pixels.
    QPoint m_splitStart, m_splitEnd;
    CDisplayPicture m_picture;
};
