#include "ui/main_frame.h"

#include <QGuiApplication>
#include <QScreen>

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(ProductTitle());
    setObjectName(QStringLiteral("MainFrame"));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        resize(avail.width() * 3 / 4, avail.height() * 3 / 4);
    } else {
        resize(1280, 800);
    }
}

QString CMainFrame::ProductTitle() {
    return QStringLiteral("NorvaneScope");
}
