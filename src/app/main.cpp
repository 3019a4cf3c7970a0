#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/scope_app.h"
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
    CScopeApp scope(QCoreApplication::arguments());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/norvanescope.svg")));
    int rc = 0;
    if (scope.InitInstance()) rc = app.exec();
    const int exitRc = scope.ExitInstance();
    return rc != 0 ? rc : exitRc;
}
