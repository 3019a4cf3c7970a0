#pragma once
// CFullScreenWnd: the borderless window the live picture is shown on in full screen. It is black
// where no picture is drawn; a double click, Enter or Escape leave full screen.

#include <QImage>
#include <QWidget>
#include <functional>

class CFullScreenWnd : public QWidget {
    Q_OBJECT
public:
    explicit CFullScreenWnd(QWidget* parent = nullptr);

    // What leaving runs (the document's full-screen toggle).
    void SetToggle(std::function<void()> toggle) { m_toggle = std::move(toggle); }
    // Painted inside the black area; the painter covers the whole window.
    void SetPainter(std::function<void(QPainter&, QSize)> paint) { m_paint = std::move(paint); }

    // Topmost at 0, 0 with the size of the screen.
    void ShowOnScreen();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    std::function<void()> m_toggle;
    std::function<void(QPainter&, QSize)> m_paint;
};
