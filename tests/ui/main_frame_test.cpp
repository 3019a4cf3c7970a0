// The main window: title and that it really appears on the screen it is given.

#include "ui/main_frame.h"

#include <QMainWindow>
#include <QtTest>

class MainFrameTest : public QObject {
    Q_OBJECT
private slots:
    void titleIsTheProductTitle() {
        CMainFrame frame;
        QCOMPARE(frame.windowTitle(), QStringLiteral("NorvaneScope"));
    }
    void windowAppears() {
        CMainFrame frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QVERIFY(frame.width() > 0 && frame.height() > 0);
        // Something was painted: grab the window from the screen side.
        const QImage shot = frame.grab().toImage();
        QVERIFY(!shot.isNull());
        QCOMPARE(shot.size(), frame.size() * frame.devicePixelRatio());
    }
};

QTEST_MAIN(MainFrameTest)
#include "main_frame_test.moc"
