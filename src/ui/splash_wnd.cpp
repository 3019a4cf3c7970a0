#include "ui/splash_wnd.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QScreen>
#include <QTimerEvent>

#include "ui/main_frame.h"

QPointer<CSplashWnd> CSplashWnd::s_current;

void CSplashWnd::Show(QWidget* parent) {
    if (!g_bShowSplash || s_current) return;
    const QPixmap picture(QStringLiteral(":/images/splash.svg"));
    if (picture.isNull()) return;
    s_current = new CSplashWnd(picture, parent);
}

CSplashWnd* CSplashWnd::Current() {
    return s_current.data();
}

CSplashWnd::CSplashWnd(const QPixmap& picture, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_picture(picture),
      m_owner(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("Splash"));
    setWindowTitle(QStringLiteral("NorvaneScope Splash"));
    setFixedSize(m_picture.deviceIndependentSize().toSize());
    QRect area;
    if (parent && parent->isVisible())
        area = parent->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid()) move(area.center() - rect().center());
    // Every key and button press of the program passes here first.
    qApp->installEventFilter(this);
    show();
    repaint();
    m_timer.start(kShowMs, this);
}

CSplashWnd::~CSplashWnd() {
    qApp->removeEventFilter(this);
}

void CSplashWnd::HideSplash() {
    m_timer.stop();
    qApp->removeEventFilter(this);
    close();
    if (m_owner) m_owner->update();
}

void CSplashWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(rect(), m_picture);
}

void CSplashWnd::timerEvent(QTimerEvent* e) {
    if (e->timerId() == m_timer.timerId())
        HideSplash();
    else
        QWidget::timerEvent(e);
}

bool CSplashWnd::eventFilter(QObject*, QEvent* e) {
    switch (e->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonDblClick:
            HideSplash();
            return true;
        default:
            return false;
    }
}
