#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

// Every test run gets a home of its own: tests never touch the real home, settings or
// documents folder, and runs do not see each other's files.
int main(int argc, char** argv) {
    char tmpl[] = "/tmp/ns-test-home-XXXXXX";
    const char* home = mkdtemp(tmpl);
    if (!home) return 1;
    const std::string h = home;
    setenv("HOME", h.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (h + "/.config").c_str(), 1);
    setenv("XDG_DATA_HOME", (h + "/.local/share").c_str(), 1);
    setenv("XDG_CACHE_HOME", (h + "/.cache").c_str(), 1);
    const std::string run = h + "/run";
    mkdir(run.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("NS_BIN_DIR", NS_BIN_DIR, 0);
    // SANE never reads the machine's configuration in a test: without a test folder of its
    // own (tests/sane_test_support.h) it knows no device.
    const std::string sane = h + "/sane";
    mkdir(sane.c_str(), 0700);
    if (FILE* f = fopen((sane + "/dll.conf").c_str(), "w")) fclose(f);
    setenv("SANE_CONFIG_DIR", sane.c_str(), 1);

    int rc;
    {
        QGuiApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        rc = RUN_ALL_TESTS();
    }
    QDir(QString::fromStdString(h)).removeRecursively();
    return rc;
}
