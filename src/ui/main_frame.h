#pragma once
// CMainFrame: the program's main window. Image windows (CChildFrame) appear as tabs in an MDI
// area; the menus and the four toolbars are built from the image window's command table
// (DocCommands) plus the application's own commands; the zoom box, the status bar panes and the
// camera pane dock complete it. It is what documents ask of their windows (IScopeDocFrame) and
// what camera switching asks of the live side (ICameraSwitchHost); the switching itself is the
// application's CCameraSwitch, whose announcements the pane follows. As a CTwain it holds the
// connection to the acquisition source manager: every acquired picture opens as a new still
// document, and while a source is enabled every message passes its filter first.

#include <QHash>
#include <QMainWindow>
#include <QTimer>
#include <memory>

#include "camera/acquisition/twain.h"
#include "camera/camera_manager.h"
#include "camera/camera_memory.h"
#include "document/camera_switch.h"
#include "document/scope_doc.h"

class QAction;
class QComboBox;
class QDockWidget;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QPrinter;
class QToolBar;
class CChildFrame;
class CCameraPane;
class CQtPrompt;
class CQtSourceManagerUi;

// Shell state shared by start-up, the main frame, the splash and the About box.
extern QString g_strBrandKey;      // the brand shown in the About box
extern QString g_strLanguageCode;  // the language code the program started with
extern QString g_strHelpFile;      // "<product title>_<language code>.pdf", beside the program
extern bool g_bShowSplash;         // the command line did not switch the splash off
extern bool g_bRestartOnExit;      // a language switch asks shut-down to start the program again

// Commands of the application and of the main frame (the image window's are DocCommandId).
enum FrameCommandId : int {
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_CLOSE = 57602,
    ID_FILE_PRINT_SETUP = 57606,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_OPEN_IMAGE_FOLDER = 32938,
    ID_HELP_HOW_TO_USE = 32939,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
    ID_VIEW_MEASURE_BAR = 32770,
    ID_VIEW_PROCESS_BAR = 32919,
    ID_VIEW_CAMERA_PANE = 36001,
    ID_CAMERA_FIRST = 30000,
    ID_CAMERA_LAST = 30064,
    ID_LANGUAGE = 37000,
    ID_LANGUAGE_LAST = 37030,
    ID_SELECT_SOURCE = 32943,
    ID_ACQUIRE = 32945,
};

class CMainFrame : public QMainWindow, public IScopeDocFrame, public ICameraSwitchHost, public CTwain {
    Q_OBJECT
public:
    static constexpr int kLanguageItems = 7;
    static constexpr int kRecentFiles = 4;
    static constexpr int kStatusPaneWidth = 120;

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    static QString ProductTitle();

    // ---- Documents ----
    QMdiArea* MdiArea() const { return m_mdi; }
    CChildFrame* ActiveChild() const;
    CScopeDoc* ActiveDocument() const;
    // Opens a picture file as a still document (or brings its window forward when it is open
    // already); null when it cannot be read.
    CChildFrame* OpenDocumentFile(const QString& path);
    // Still documents opened from files, in tab order (what the next start reopens).
    QStringList OpenDocumentPaths() const;

    // ---- Commands ----
    // Runs a command of any kind: application, frame or the active document's.
    void OnCommand(int id);
    // Refreshes every action's enabled and checked state from the active document.
    void UpdateCommandStates();
    QAction* CommandAction(int id) const { return m_actions.value(id); }
    // The menus of the menu bar with an image window open, and without one.
    const QList<QMenu*>& ImageWindowMenus() const { return m_imageMenus; }
    const QList<QMenu*>& NoWindowMenus() const { return m_noWindowMenus; }
    QMenu* LanguageMenu() const { return m_languageMenu; }
    QComboBox* ZoomBox() const { return m_zoomBox; }
    QDockWidget* CameraPane() const { return m_cameraPane; }
    // The pane's content: camera list and the pages of the open camera.
    CCameraPane* CameraPaneContent() const { return m_cameraPaneContent; }
    QToolBar* StandardBar() const { return m_standardBar; }
    QToolBar* MeasureBar() const { return m_measureBar; }
    QToolBar* ProcessBar() const { return m_processBar; }
    QToolBar* AnnotationBar() const { return m_annotationBar; }
    // Status bar pane 1..3 (pane 0 is the message area).
    QLabel* StatusPane(int pane) const;
    // Whether a command answered by a window or dialog has its window yet.
    static bool ServesWindowCommand(int id, const CScopeDoc* doc = nullptr);
    static bool IsWindowCommand(int id);

    // ---- Language ----
    // Rebuilds the language submenu from the settings file.
    void RebuildLanguageMenu();
    // Command 37001..37030: after the user agrees, the new language is written to the settings
    // file and the window closes so that shut-down starts the program again.
    void SwitchLanguage(int id);

    // Asks about every picture whose work would be lost (Save / Discard / Cancel); false when
    // the user cancelled, and then nothing may close.
    bool ConfirmCloseDocuments();

    // ---- Layout ----
    void SaveLayout() const;
    // Window geometry, bars and dock; with withDocuments the pictures open at the last close.
    void RestoreLayout(bool withDocuments);
    QStringList RecentFiles() const;

    // ---- Cameras ----
    // Camera list command 30000 + index.
    void SelectCamera(int index);
    // Where the open camera changes; hook "about to change", "changed" and "removed" here.
    CCameraSwitch& CameraSwitch() const { return *m_cameraSwitch; }

    // ---- Acquisition ----
    // "Select Source...": the source manager's selection (a hint while a source is open).
    void SelectSource();
    // "Acquire...": opens the source when needed and shows its own dialog.
    void AcquireFromSource();
    // CTwain: one picture, opened as a new still document.
    void ReceiveImage(TW_HANDLE bitmap, const TW_IMAGEINFO& info) override;

    // IScopeDocFrame
    void SetStatusText(int pane, const QString& text) override;
    void SetZoomSelection(int index) override;
    void PreviewStopped() override;
    void RefreshLayout(CScopeDoc& doc) override;
    void Repaint(CScopeDoc& doc) override;
    void TitleChanged(CScopeDoc& doc) override;
    bool RunWindowCommand(CScopeDoc& doc, int id) override;
    CScopeDoc* NewDocument() override;

    // ICameraSwitchHost
    void* LiveVideoWindow() override;
    CameraFrameSink LiveFrameSink() override;

public slots:
    // A second start asked this one to come forward.
    void OnActivationRequest();

signals:
    // The live preview stopped: the camera pane follows.
    void previewStopped();

protected:
    void closeEvent(QCloseEvent* e) override;
    // The message pre-filter: while a source is enabled every message goes to it first.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    QAction* AddAction(int id, const QString& text, const QString& prompt, const char* icon);
    void BuildMenus();
    QMenu* NewMenu(const char* title);
    void AddItems(QMenu* menu, std::initializer_list<int> ids);
    void BuildToolBars();
    void BuildStatusBar();
    void BuildCameraPane();
    void AddChild(CChildFrame* frame);
    void OnChildActivated(QMdiSubWindow* window);
    void ShowMenusFor(bool withImageWindow);
    void UpdateTitle();
    // The status bar's hint for the chosen tool (the polygon's right click), or "Ready" back.
    void ShowToolHint(int tool);
    void RebuildRecentMenu();
    void AddRecentFile(const QString& path);
    void RemoveRecentFile(const QString& path);
    void FileOpen();
    void OpenImageFolder();
    void OpenHelp();
    // Hands a file or folder to the desktop; when nothing can be started, says so and names it.
    bool OpenWithDesktop(const QString& path, const QString& failure);
    void ShowAbout();
    void Print(bool preview);
    void PrintSetup();
    QPrinter& Printer();

    std::unique_ptr<CQtPrompt> m_prompt;
    std::unique_ptr<CCameraMemory> m_cameraMemory;
    std::unique_ptr<CCameraSwitch> m_cameraSwitch;
    std::unique_ptr<CQtSourceManagerUi> m_sourceManagerUi;
    QMdiArea* m_mdi = nullptr;
    QHash<int, QAction*> m_actions;
    QList<QMenu*> m_imageMenus;
    QList<QMenu*> m_noWindowMenus;
    QList<QMenu*> m_recentMenus;
    QMenu* m_languageMenu = nullptr;
    bool m_bImageMenusShown = false;
    bool m_bMenusBuilt = false;
    QToolBar* m_standardBar = nullptr;
    QToolBar* m_measureBar = nullptr;
    QToolBar* m_processBar = nullptr;
    QToolBar* m_annotationBar = nullptr;
    QComboBox* m_zoomBox = nullptr;
    QLabel* m_statusPanes[3] = {};
    QDockWidget* m_cameraPane = nullptr;
    CCameraPane* m_cameraPaneContent = nullptr;
    QTimer m_updateTimer;
    QString m_lastOpenFolder;
    QString m_shownHint;
    std::unique_ptr<QPrinter> m_printer;
};
