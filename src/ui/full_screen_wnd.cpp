#include "ui/full_screen_wnd.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

CFullScreenWnd::CFullScreenWnd(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("FullScreenWnd"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void CFullScreenWnd::ShowOnScreen() {
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    const QRect r = screen ? screen->geometry() : QRect(0, 0, 1280, 1024);
    setGeometry(r);
    show();
    raise();
    activateWindow();
    setFocus();
}

void CFullScreenWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (m_paint) m_paint(p, size());
}

void CFullScreenWnd::mouseDoubleClickEvent(QMouseEvent*) {
    if (m_toggle) m_toggle();
}

void CFullScreenWnd::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        e->accept();
        if (m_toggle) m_toggle();
        return;
    }
    QWidget::keyPressEvent(e);
}
