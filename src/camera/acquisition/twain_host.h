#pragma once
// CTwainHost: CTwain with a window object of its own, for a program without a main window (the
// command-line tool): the source posts its events to it, and its application-wide message filter
// hands every message to CTwain while the source is enabled, as the main frame's pre-filter does.
//
// Threads: user-interface thread only; the application object must exist.

#include <QObject>

#include "camera/acquisition/twain.h"

class CTwainHost : public QObject, public CTwain {
public:
    explicit CTwainHost(const TwainLibraryLoader& loader = SaneSourceManagerLibrary());
    // Closes source and manager and unloads the library.
    ~CTwainHost() override;

    // StartTwain with this object as the window.
    bool Start() { return StartTwain(this); }
    // Runs the event loop (transfers included) until the source has been closed.
    void WaitUntilSourceClosed();

    bool eventFilter(QObject* receiver, QEvent* event) override;
};
