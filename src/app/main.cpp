#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "ui/main_frame.h"

int main(int argc, char** argv) {
    // Without a display Qt would abort with a long message; say it in one line instead.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool headlessPlatform = platform && *platform && std::string_view(platform) != "xcb" &&
                                  std::string_view(platform) != "wayland";
    if (!headlessPlatform && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::fprintf(
            stderr,
            "norvanescope: no display found; start it under a virtual one with: xvfb-run -a %s\n",
            argv[0]);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(CMainFrame::ProductTitle());
    QApplication::setOrganizationName(QStringLiteral("Norvane TECH"));
    CMainFrame frame;
    frame.show();
    return app.exec();
}
