#pragma once
// CCameraPane: the camera pane's content. "Camera List" lists the attached cameras as tasks
// (command 30000 + index; the open camera's task is marked); below it collapsible groups host one
// page each, in the layout of the open camera's family (maker, driver module, UVC). The layout
// last shown is kept in the mControlUIType setting. Device arrival and removal refresh the list;
// they never touch the open camera. The pane sizes itself to its texts (in every language) and
// keeps its scroll position when the camera changes.

#include <QList>
#include <QString>
#include <QWidget>

class QPushButton;
class QScrollArea;
class CCameraSwitch;
class QToolButton;
class QVBoxLayout;
class CCapturePage;
class CCameraPage;
class CAutoExposureDlg;

// One collapsible group: a header button that folds the body away.
class CTaskGroup : public QWidget {
    Q_OBJECT
public:
    CTaskGroup(const QString& caption, QWidget* parent = nullptr);
    QString Caption() const { return m_caption; }
    void SetExpanded(bool on);
    bool IsExpanded() const { return m_bExpanded; }
    QVBoxLayout* Body() const { return m_body; }
    QWidget* BodyWidget() const { return m_bodyWidget; }
    QToolButton* Header() const { return m_header; }

private:
    QString m_caption;
    QToolButton* m_header = nullptr;
    QWidget* m_bodyWidget = nullptr;
    QVBoxLayout* m_body = nullptr;
    bool m_bExpanded = true;
};

class CCameraPane : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFirstCameraCommand = 30000;
    static constexpr int kLastCameraCommand = 30064;
    enum Layout : int { LayoutMaker = 0, LayoutModule = 1, LayoutUvc = 2 };
    // The pages, all created with the pane.
    enum Page : int {
        PageCapture, PageExposure, PageWhiteBalance, PageColour, PageModuleColour, PageSharpness,
        PageFlip, PageFrameRate, PagePowerFrequency, PageUvcExposure, PageUvcWhiteBalance,
        PageUvcColour, PageCount
    };
    // One entry of the camera list: an empty text is a spacer, command 0 binds nothing.
    struct Task {
        QString text;
        int command = 0;
    };

    explicit CCameraPane(QWidget* parent = nullptr);
    ~CCameraPane() override;

    // Rebuilds the camera list from the attached devices.
    void RefreshCameraList();
    // After a camera was opened: the layout of its family, the pages for it.
    void UpdateForCamera();
    // Every page back to its disabled state (no camera open, or the live document closed).
    void ResetPages();

    int CurrentLayout() const { return m_nLayout; }
    QList<Task> CameraTasks() const { return m_tasks; }
    // The command of the task marked as the open camera, 0 for none.
    int OpenCameraCommand() const;
    // The groups under "Camera List", in order.
    QList<CTaskGroup*> Groups() const { return m_groups; }
    CTaskGroup* CameraListGroup() const { return m_cameraList; }
    CCapturePage* CapturePage() const { return m_capture; }
    CAutoExposureDlg* ExposurePage() const;
    QWidget* PageWidget(Page page) const { return m_pages[page]; }
    // The task buttons with a command (for clicking them).
    QList<QToolButton*> TaskButtons() const;
    QScrollArea* ScrollArea() const { return m_scroll; }
    QPushButton* DefaultsButton() const { return m_defaults; }

    // The device callback (UVC library and camera manager): any thread.
    static void OnDeviceEvent(int code, int parameter, void* user);

signals:
    // A camera task was clicked: the main frame switches to device (command - 30000).
    void commandRequested(int id);
    // The user changed a setting of the open camera in a page (CameraPropertyId, UVC number).
    void settingChanged(int id, int video);
    // The user asks for the open camera's defaults.
    void restoreDefaultsRequested();
    // A camera arrived (133) or went (134); on the pane's thread, after the list is rebuilt.
    void deviceEvent(int code);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void BuildLayout(int layout);
    void MarkOpenCamera();
    // The pane as wide as its widest text needs.
    void FitWidth();
    CCameraPage* PropertyPage(Page page) const;

    int m_nLayout = -1;
    QScrollArea* m_scroll = nullptr;
    CTaskGroup* m_cameraList = nullptr;
    QVBoxLayout* m_groupsLayout = nullptr;
    QList<CTaskGroup*> m_groups;
    QList<Task> m_tasks;
    CCapturePage* m_capture = nullptr;
    QWidget* m_pages[PageCount] = {};
    QPushButton* m_defaults = nullptr;
};

// The pane follows the camera switch (pages built for each camera, reset when it goes) and feeds
// it (settings to remember, device notices, the request for the camera's defaults, which is
// asked of the user first).
void FollowCameraSwitch(CCameraPane* pane, CCameraSwitch* cameras);
