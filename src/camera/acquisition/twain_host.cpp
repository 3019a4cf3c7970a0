#include "camera/acquisition/twain_host.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

CTwainHost::CTwainHost(const TwainLibraryLoader& loader) : CTwain(loader) {
    QCoreApplication::instance()->installEventFilter(this);
}

CTwainHost::~CTwainHost() {
    QCoreApplication::instance()->removeEventFilter(this);
    ReleaseTwain();
}

bool CTwainHost::eventFilter(QObject* receiver, QEvent* event) {
    return IsSourceEnabled() && FilterMessage({receiver, event});
}

void CTwainHost::WaitUntilSourceClosed() {
    if (!IsSourceOpen()) return;
    // The source closes from inside the filter; a short poll sees it without a signal of its own.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!IsSourceOpen()) loop.quit();
    });
    poll.start(1);
    loop.exec();
}
