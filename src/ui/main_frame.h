#pragma once
#include <QMainWindow>

// The application's main window.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);

    static QString ProductTitle();
};
