#pragma once
// CSplashWnd: the product picture shown without a frame while the main window comes up. It
// closes after 1.5 seconds or at the first key or mouse press anywhere in the program; that
// press is consumed, so it never reaches the window below.

#include <QBasicTimer>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

class CSplashWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kShowMs = 1500;

    // Shows the splash centred on parent unless g_bShowSplash is clear, one already exists or
    // the picture cannot be loaded.
    static void Show(QWidget* parent);
    // The splash while it lives, else null.
    static CSplashWnd* Current();
    // Closes the splash and repaints the main window.
    void HideSplash();

protected:
    void paintEvent(QPaintEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    CSplashWnd(const QPixmap& picture, QWidget* parent);
    ~CSplashWnd() override;

    QPixmap m_picture;
    QBasicTimer m_timer;
    QPointer<QWidget> m_owner;
    static QPointer<CSplashWnd> s_current;
};
