#include "ui/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include "camera/acquisition/twain_handover.h"
#include "document/view_layout.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "settings/language_table.h"
#include "settings/profile_file.h"
#include "ui/about_dlg.h"
#include "ui/advanced_commands.h"
#include "ui/binary_dlg.h"
#include "ui/image_picker_dlg.h"
#include "ui/interval_cap_dlg.h"
#include "ui/measure_color_dlg.h"
#include "ui/mix_dlg.h"
#include "ui/record_dlg.h"
#include "ui/resolution_dlg.h"
#include "ui/rgb_dlg.h"
#include "ui/ruler_setting_dlg.h"
#include "ui/save_as_dlg.h"
#include "ui/save_option_dlg.h"
#include "ui/camera_pane.h"
#include "ui/child_frame.h"
#include "ui/counting_dlgs.h"
#include "ui/qt_prompt.h"
#include "ui/qt_source_manager_ui.h"
#include "ui/scope_view.h"
#include "ui/splash_wnd.h"
#include "ui/video_wnd.h"

QString g_strBrandKey = QString::fromLatin1(kCompanyKey);
QString g_strLanguageCode = QStringLiteral("en");
QString g_strHelpFile = QStringLiteral("NorvaneScope_en.pdf");
bool g_bShowSplash = false;
bool g_bRestartOnExit = false;

namespace {

constexpr int kSeparator = 0;
// Pseudo items of the menu layouts.
constexpr int kLanguageSubmenu = -1;
constexpr int kRecentSubmenu = -2;
constexpr int kUpdatePeriodMs = 250;

// Toolbar pictures and tooltips (the command prompts) of the commands that have them.
struct CommandLook {
    int id;
    const char* icon;
    const char* prompt;  // null: the menu text without its mnemonic
};
constexpr CommandLook kLooks[] = {
    {ID_FILE_NEW, "new_preview", "New preview"},
    {ID_FILE_OPEN, "open", "Open an existing image"},
    {ID_FILE_SAVE, "save", nullptr},
    {ID_CAPTURE, "capture", "Capture picture to an active view"},
    {ID_PAUSE, "pause", "Pause the camera video"},
    {ID_PREVIEW, "preview", "Preview camera device"},
    {ID_RECORD, "record", "Record camera video to file"},
    {ID_INTERVAL_CAPTURE, "interval_capture", "Interval Capture"},
    {ID_FULL_SCREEN, "full_screen", nullptr},
    {ID_SAVE_RESOLUTION, "save_resolution", "Set Resolution"},
    {ID_UVC_PAGES, "camera_pages", "Camera properties"},
    {ID_FILE_PRINT, "print", nullptr},
    {ID_APP_ABOUT, "about", "About"},
    {ID_TOOL_LINE, "tool_line", nullptr},
    {ID_TOOL_ANGLE, "tool_angle", nullptr},
    {ID_TOOL_RECT, "tool_rect", nullptr},
    {ID_TOOL_POLYGON, "tool_polygon", nullptr},
    {ID_TOOL_CIRCLE, "tool_circle", nullptr},
    {ID_TOOL_TRICIRCLE, "tool_tricircle", nullptr},
    {ID_TOOL_MOVE, "tool_move", nullptr},
    {ID_TOOL_DELETE, "tool_delete", nullptr},
    {ID_TOOL_DELETE_ALL, "tool_delete_all", nullptr},
    {ID_CALIBRATION, "calibration", nullptr},
    {ID_MEASURE_SETTING, "measure_setting", "Measure Setting"},
    {ID_EXPORT_DATA, "export_data", nullptr},
    {ID_PROCESS_ENABLE, "process_enable", nullptr},
    {ID_FLIP_VERTICAL, "flip_vertical", nullptr},
    {ID_FLIP_HORIZONTAL, "flip_horizontal", nullptr},
    {ID_GRAY, "gray", nullptr},
    {ID_NEGATIVE, "negative", nullptr},
    {ID_EMBOSS, "emboss", nullptr},
    {ID_SHARPEN, "sharpen", nullptr},
    {ID_BINARY, "binary", nullptr},
    {ID_RGB, "rgb", nullptr},
    {ID_CROSS_SOLID, "cross_solid", nullptr},
    {ID_CROSS_DASHED, "cross_dashed", nullptr},
    {ID_TOOL_COUNTING, "tool_counting", nullptr},
    {ID_TOOL_COUNTING2, "tool_counting", nullptr},
    {ID_TOOL_ARROW, "tool_arrow", nullptr},
    {ID_TOOL_TEXT, "tool_text", nullptr},
    {ID_OPEN_IMAGE_FOLDER, nullptr, "Open pictures saved folder"},
    {ID_HELP_HOW_TO_USE, nullptr, "How to use"},
    {ID_VIEW_TOOLBAR, nullptr, "Show or hide the toolbar"},
    {ID_VIEW_MEASURE_BAR, nullptr, "Show or hide the measure bar"},
    {ID_VIEW_PROCESS_BAR, nullptr, "Show or hide Process Bar"},
};

const CommandLook* FindLook(int id) {
    for (const CommandLook& l : kLooks)
        if (l.id == id) return &l;
    return nullptr;
}

// What the status bar says while a tool that is not obvious to use is chosen.
QString ToolHint(int tool) {
    if (tool == 5)
        return Translate(QStringLiteral("Click the corners of the polygon; a right click closes it."));
    return {};
}

// The menu texts of the application's and the frame's commands.
struct FrameCommand {
    int id;
    const char* text;
};
constexpr FrameCommand kFrameCommands[] = {
    {ID_FILE_NEW, "&New Preview\tCtrl+N"},
    {ID_FILE_OPEN, "&Open...\tCtrl+O"},
    {ID_OPEN_IMAGE_FOLDER, "Open Pictures &Folder"},
    {ID_FILE_CLOSE, "&Close"},
    {ID_FILE_PRINT, "&Print...\tCtrl+P"},
    {ID_FILE_PRINT_PREVIEW, "Print Pre&view"},
    {ID_FILE_PRINT_SETUP, "P&rint Setup..."},
    {ID_SELECT_SOURCE, "Select Source..."},
    {ID_ACQUIRE, "Acquire..."},
    {ID_APP_EXIT, "Exit"},
    {ID_APP_ABOUT, "&About..."},
    {ID_HELP_HOW_TO_USE, "&How to use\tF1"},
};

// "&Save           Ctrl+S": the label before the tab or the run of blanks, the accelerator after.
std::pair<QString, QString> SplitMenuText(const QString& text) {
    qsizetype at = text.indexOf(u'\t');
    qsizetype width = 1;
    if (at < 0) {
        at = text.indexOf(QLatin1String("  "));
        if (at < 0) return {text, {}};
        width = 0;
        while (at + width < text.size() && text[at + width] == u' ') ++width;
    }
    return {text.left(at), text.mid(at + width).trimmed()};
}

QString WithoutMnemonic(QString text) {
    text.replace(QLatin1String("&&"), QStringLiteral("\x01"));
    text.remove(u'&');
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

QIcon CommandIcon(const char* name) {
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
}

QSettings WorkspaceSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(kCompanyKey),
                     CMainFrame::ProductTitle());
}

}  // namespace

// ---- Construction ----

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MainFrame"));
    setWindowTitle(ProductTitle());
    setWindowIcon(QIcon(QStringLiteral(":/icons/norvanescope.svg")));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        resize(avail.width() * 3 / 4, avail.height() * 3 / 4);
    } else {
        resize(1280, 800);
    }

    m_prompt = std::make_unique<CQtPrompt>(this);
    theApp().prompt = m_prompt.get();
    theApp().frame = this;
    // The fixed file of "Save plus measure" and "Save only image".
    g_strDefaultImageName =
        CProfileFile(g_strIniPath)
            .GetString(QStringLiteral("Image"), QStringLiteral("DefaultImageName"),
                       QStringLiteral("default_image.bmp"), 255);

    CSplashWnd::Show(this);

    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("MdiArea"));
    m_mdi->setViewMode(QMdiArea::TabbedView);
    m_mdi->setDocumentMode(true);
    m_mdi->setTabsClosable(true);
    m_mdi->setTabsMovable(true);
    setCentralWidget(m_mdi);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, &CMainFrame::OnChildActivated);

    // The menu bar font of Chinese systems.
    if (SystemLanguageId() == 2052) {
        QFont font(QStringLiteral("WenQuanYi Micro Hei"));
        font.setPixelSize(14);
        font.setWeight(QFont::Normal);
        menuBar()->setFont(font);
    }

    m_cameraMemory = std::make_unique<CCameraMemory>(CCameraMemory::DefaultPath(ProductTitle()));
    m_cameraSwitch = std::make_unique<CCameraSwitch>(theCameraManager(), *this, m_cameraMemory.get());

    CreateActions();
    BuildToolBars();
    BuildStatusBar();
    BuildCameraPane();
    BuildMenus();

    m_updateTimer.setInterval(kUpdatePeriodMs);
    connect(&m_updateTimer, &QTimer::timeout, this, &CMainFrame::UpdateCommandStates);
    m_updateTimer.start();
    UpdateCommandStates();

    // The acquisition source manager, with the program's dialogs; without SANE both commands
    // do nothing.
    m_sourceManagerUi = std::make_unique<CQtSourceManagerUi>();
    SetSourceManagerUi(m_sourceManagerUi.get());
    StartTwain(this);
    QCoreApplication::instance()->installEventFilter(this);
}

CMainFrame::~CMainFrame() {
    QCoreApplication::instance()->removeEventFilter(this);
    ReleaseTwain();
    if (SourceManagerUi() == m_sourceManagerUi.get()) SetSourceManagerUi(nullptr);
    m_updateTimer.stop();
    // Documents call back into the frame while they go: close them while it is still whole.
    const QList<QMdiSubWindow*> windows = m_mdi->subWindowList();
    for (QMdiSubWindow* w : windows) delete w;
    if (theApp().frame == this) theApp().frame = nullptr;
    if (theApp().prompt == m_prompt.get()) theApp().prompt = nullptr;
}

QString CMainFrame::ProductTitle() {
    return QString::fromLatin1(kBrandTitle);
}

QAction* CMainFrame::AddAction(int id, const QString& text, const QString& prompt,
                               const char* icon) {
    auto* action = new QAction(this);
    action->setData(id);
    QString translated = Translate(text);
    // Language files cannot hold a tab in a key: texts with an accelerator after a tab are
    // translated by their label.
    if (translated == text && text.contains(u'\t')) {
        const auto [english, key] = SplitMenuText(text);
        translated = Translate(english) + u'\t' + key;
    }
    const auto [label, accel] = SplitMenuText(translated);
    action->setText(label);
    // The accelerator of the English text: a translated one ("Strg+S") is no key sequence.
    const QString englishAccel = SplitMenuText(text).second;
    if (!englishAccel.isEmpty())
        action->setShortcut(QKeySequence(englishAccel, QKeySequence::PortableText));
    const QString tip = prompt.isEmpty() ? WithoutMnemonic(label) : Translate(prompt);
    action->setToolTip(tip);
    action->setStatusTip(tip);
    if (icon) action->setIcon(CommandIcon(icon));
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    // Shortcuts work whichever menu set is shown.
    addAction(action);
    m_actions.insert(id, action);
    return action;
}

void CMainFrame::CreateActions() {
    for (const DocCommand& c : DocCommands()) {
        const CommandLook* look = FindLook(c.id);
        QString text = c.menuText ? QString::fromLatin1(c.menuText) : QString();
        const QString prompt = look && look->prompt ? QString::fromLatin1(look->prompt) : QString();
        if (text.isEmpty()) text = prompt;
        QAction* a = AddAction(c.id, text, prompt, look ? look->icon : nullptr);
        a->setCheckable(c.checked != nullptr);
    }
    for (const FrameCommand& c : kFrameCommands) {
        const CommandLook* look = FindLook(c.id);
        AddAction(c.id, QString::fromLatin1(c.text),
                  look && look->prompt ? QString::fromLatin1(look->prompt) : QString(),
                  look ? look->icon : nullptr);
    }
}

QMenu* CMainFrame::NewMenu(const char* title) {
    auto* menu = new QMenu(Translate(QString::fromLatin1(title)), this);
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    return menu;
}

void CMainFrame::AddItems(QMenu* menu, std::initializer_list<int> ids) {
    for (int id : ids) {
        if (id == kSeparator) {
            menu->addSeparator();
        } else if (id == kLanguageSubmenu) {
            menu->addMenu(m_languageMenu);
        } else if (id == kRecentSubmenu) {
            QMenu* recent = menu->addMenu(Translate(QStringLiteral("Recent File")));
            m_recentMenus.append(recent);
        } else if (QAction* a = m_actions.value(id)) {
            menu->addAction(a);
        }
    }
}

void CMainFrame::BuildMenus() {
    m_languageMenu = new QMenu(Translate(QStringLiteral("&Language")), this);
    m_languageMenu->setObjectName(QStringLiteral("LanguageMenu"));
    m_languageMenu->menuAction()->setData(int(ID_LANGUAGE));
    connect(m_languageMenu, &QMenu::aboutToShow, this, &CMainFrame::RebuildLanguageMenu);
    RebuildLanguageMenu();

    auto viewItems = [this](QMenu* view) {
        view->addAction(m_actions.value(ID_VIEW_TOOLBAR));
        view->addAction(m_actions.value(ID_VIEW_MEASURE_BAR));
        view->addAction(m_actions.value(ID_VIEW_PROCESS_BAR));
        view->addAction(m_annotationBar->toggleViewAction());
        view->addAction(m_actions.value(ID_VIEW_STATUS_BAR));
        view->addAction(m_actions.value(ID_VIEW_CAMERA_PANE));
    };

    // With an image window open.
    QMenu* file = NewMenu("&File");
    AddItems(file, {ID_FILE_NEW,
                    ID_FILE_OPEN,
                    ID_FILE_CLOSE,
                    kSeparator,
                    ID_FILE_SAVE,
                    ID_FILE_SAVE_AS,
                    ID_SAVE_PLUS_MEASURE,
                    ID_SAVE_ONLY_IMAGE,
                    ID_SAVE_AS_PLUS_MEASURE,
                    ID_SAVE_AS_ONLY_IMAGE,
                    ID_SAVE_OPTION,
                    kLanguageSubmenu,
                    kSeparator,
                    ID_OPEN_IMAGE_FOLDER,
                    kSeparator,
                    ID_FILE_PRINT,
                    ID_FILE_PRINT_PREVIEW,
                    ID_FILE_PRINT_SETUP,
                    ID_SELECT_SOURCE,
                    ID_ACQUIRE,
                    kSeparator,
                    kRecentSubmenu,
                    kSeparator,
                    ID_APP_EXIT});
    QMenu* view = NewMenu("&View");
    viewItems(view);
    AddItems(view, {kSeparator, ID_FULL_SCREEN, kSeparator, ID_CROSS_SOLID, ID_CROSS_DASHED});
    QMenu* video = NewMenu("V&ideo");
    AddItems(video, {ID_PROCESS_ENABLE, kSeparator, ID_FLIP_VERTICAL, ID_FLIP_HORIZONTAL, ID_GRAY,
                     ID_NEGATIVE, ID_EMBOSS, ID_SHARPEN, kSeparator, ID_BINARY, ID_RGB});
    QMenu* measure = NewMenu("&Measure");
    AddItems(measure,
             {ID_TOOL_LINE, ID_TOOL_ANGLE, ID_TOOL_RECT, ID_TOOL_POLYGON, ID_TOOL_CIRCLE,
              ID_TOOL_TRICIRCLE, kSeparator, ID_TOOL_MOVE, ID_TOOL_DELETE, ID_TOOL_DELETE_ALL,
              kSeparator, ID_TOOL_COUNTING, ID_TOOL_ARROW, ID_TOOL_TEXT, kSeparator, ID_CALIBRATION,
              ID_MEASURE_SETTING, ID_EXPORT_DATA});
    QMenu* advanced = NewMenu("&Advanced");
    QMenu* count = advanced->addMenu(Translate(QStringLiteral("Count")));
    AddItems(count,
             {ID_TOOL_COUNTING2, kSeparator, ID_WATERSHED, ID_SPLIT_OBJECTS, ID_COUNTING_RESULTS});
    AddItems(advanced, {ID_MIX, ID_STITCHING, ID_EDF, ID_HDR, kSeparator});
    QMenu* autoStitch = advanced->addMenu(Translate(QStringLiteral("Automatic Stitching")));
    AddItems(autoStitch, {ID_AUTO_STITCH_START, ID_AUTO_STITCH_STOP});
    QMenu* semiStitch = advanced->addMenu(Translate(QStringLiteral("Semi-automatic Stitching")));
    AddItems(semiStitch, {ID_SEMI_STITCH_START, ID_SEMI_STITCH_STOP});
    QMenu* window = NewMenu("&Window");
    {
        QAction* closeAll = window->addAction(Translate(QStringLiteral("Close &All")));
        connect(closeAll, &QAction::triggered, m_mdi, &QMdiArea::closeAllSubWindows);
        window->addSeparator();
        QAction* next = window->addAction(Translate(QStringLiteral("&Next")));
        connect(next, &QAction::triggered, m_mdi, &QMdiArea::activateNextSubWindow);
        QAction* previous = window->addAction(Translate(QStringLiteral("&Previous")));
        connect(previous, &QAction::triggered, m_mdi, &QMdiArea::activatePreviousSubWindow);
    }
    QMenu* help = NewMenu("&Help");
    AddItems(help, {ID_HELP_HOW_TO_USE, kSeparator, ID_APP_ABOUT});
    m_imageMenus = {file, view, video, measure, advanced, window, help};

    // Without one.
    QMenu* file0 = NewMenu("&File");
    AddItems(file0, {ID_FILE_NEW, ID_FILE_OPEN, kSeparator, ID_OPEN_IMAGE_FOLDER, kSeparator,
                     ID_FILE_PRINT_SETUP, kSeparator, kRecentSubmenu, kSeparator, ID_APP_EXIT});
    QMenu* view0 = NewMenu("&View");
    viewItems(view0);
    QMenu* help0 = NewMenu("&Help");
    AddItems(help0, {ID_HELP_HOW_TO_USE, kSeparator, ID_APP_ABOUT});
    m_noWindowMenus = {file0, view0, help0};

    for (QMenu* recent : m_recentMenus)
        connect(recent, &QMenu::aboutToShow, this, &CMainFrame::RebuildRecentMenu);
    RebuildRecentMenu();
    m_bMenusBuilt = true;
    ShowMenusFor(false);
}

void CMainFrame::ShowMenusFor(bool withImageWindow) {
    if (m_bMenusBuilt && withImageWindow == m_bImageMenusShown && !menuBar()->actions().isEmpty())
        return;
    m_bImageMenusShown = withImageWindow;
    menuBar()->clear();
    for (QMenu* menu : withImageWindow ? m_imageMenus : m_noWindowMenus) menuBar()->addMenu(menu);
}

void CMainFrame::BuildToolBars() {
    auto makeBar = [this](const char* title, const char* name) {
        auto* bar = new QToolBar(Translate(QString::fromLatin1(title)), this);
        bar->setObjectName(QString::fromLatin1(name));
        bar->setIconSize(QSize(24, 24));
        return bar;
    };
    auto fill = [this](QToolBar* bar, std::initializer_list<int> ids) {
        for (int id : ids) {
            if (id == kSeparator)
                bar->addSeparator();
            else if (QAction* a = m_actions.value(id))
                bar->addAction(a);
        }
    };
    m_standardBar = makeBar("Standard Toolbar", "StandardToolbar");
    fill(m_standardBar, {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, kSeparator, ID_CAPTURE, ID_PAUSE,
                         ID_PREVIEW, ID_RECORD, ID_INTERVAL_CAPTURE, kSeparator});
    // The zoom list sits at button position 10.
    m_zoomBox = new QComboBox(m_standardBar);
    m_zoomBox->setObjectName(QStringLiteral("ZoomBox"));
    // 90 wide, or as wide as its longest entry reads in the chosen language.
    m_zoomBox->setMinimumWidth(90);
    m_zoomBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (int i = 0; i < kZoomListCount; ++i) m_zoomBox->addItem(Translate(ZoomText(i)));
    m_zoomBox->setCurrentIndex(kZoom100Index);
    m_zoomBox->setToolTip(Translate(QStringLiteral("Zoom display")));
    m_zoomBox->setStatusTip(m_zoomBox->toolTip());
    connect(m_zoomBox, &QComboBox::activated, this, [this](int index) {
        if (CScopeDoc* doc = ActiveDocument()) doc->SelectZoom(index);
    });
    m_standardBar->addWidget(m_zoomBox);
    fill(m_standardBar, {ID_FULL_SCREEN, ID_SAVE_RESOLUTION, ID_UVC_PAGES, kSeparator,
                         ID_FILE_PRINT, ID_APP_ABOUT});

    m_measureBar = makeBar("Measure Toolbar", "MeasureToolbar");
    fill(m_measureBar, {ID_TOOL_LINE, ID_TOOL_ANGLE, ID_TOOL_RECT, ID_TOOL_POLYGON, ID_TOOL_CIRCLE,
                        ID_TOOL_TRICIRCLE, ID_TOOL_MOVE, ID_TOOL_DELETE, ID_TOOL_DELETE_ALL,
                        kSeparator, ID_CALIBRATION, ID_MEASURE_SETTING, ID_EXPORT_DATA});
    m_processBar = makeBar("Process Toolbar", "ProcessToolbar");
    fill(m_processBar,
         {ID_PROCESS_ENABLE, kSeparator, ID_FLIP_VERTICAL, ID_FLIP_HORIZONTAL, ID_GRAY, ID_NEGATIVE,
          ID_EMBOSS, ID_SHARPEN, ID_BINARY, ID_RGB, kSeparator, ID_CROSS_SOLID, ID_CROSS_DASHED});
    m_annotationBar = makeBar("Annotation Toolbar", "AnnotationToolbar");
    fill(m_annotationBar, {ID_TOOL_COUNTING2, ID_TOOL_ARROW, ID_TOOL_TEXT});

    // Measure bar on the right only; the others anywhere, in the row Annotation, Process,
    // Standard.
    m_measureBar->setAllowedAreas(Qt::RightToolBarArea);
    addToolBar(Qt::TopToolBarArea, m_annotationBar);
    addToolBar(Qt::TopToolBarArea, m_processBar);
    addToolBar(Qt::TopToolBarArea, m_standardBar);
    addToolBar(Qt::RightToolBarArea, m_measureBar);

    struct BarCommand {
        int id;
        const char* text;
        QToolBar* bar;
    };
    const BarCommand bars[] = {{ID_VIEW_TOOLBAR, "&Toolbar", m_standardBar},
                               {ID_VIEW_MEASURE_BAR, "&Measure Bar", m_measureBar},
                               {ID_VIEW_PROCESS_BAR, "&Process Bar", m_processBar}};
    for (const BarCommand& b : bars) {
        const CommandLook* look = FindLook(b.id);
        QAction* a = AddAction(b.id, QString::fromLatin1(b.text), QString::fromLatin1(look->prompt),
                               nullptr);
        a->setCheckable(true);
        a->setChecked(true);
    }
    m_annotationBar->toggleViewAction()->setText(Translate(QStringLiteral("&Annotation Bar")));
}

void CMainFrame::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    for (int i = 0; i < 3; ++i) {
        auto* pane = new QLabel(bar);
        pane->setObjectName(QStringLiteral("StatusPane%1").arg(i + 1));
        pane->setFixedWidth(kStatusPaneWidth);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addPermanentWidget(pane);
        m_statusPanes[i] = pane;
    }
    bar->showMessage(Translate(QStringLiteral("Ready")));
    QAction* a = AddAction(ID_VIEW_STATUS_BAR, QStringLiteral("&Status Bar"), QString(), nullptr);
    a->setCheckable(true);
    a->setChecked(true);
}

void CMainFrame::BuildCameraPane() {
    m_cameraPane = new QDockWidget(Translate(QStringLiteral("Camera")), this);
    m_cameraPane->setObjectName(QStringLiteral("CameraPane"));
    m_cameraPane->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    // The camera list and the pages; they follow the open camera and the live document.
    auto* content = new CCameraPane(m_cameraPane);
    content->setMinimumWidth(220);
    m_cameraPane->setWidget(content);
    m_cameraPaneContent = content;
    FollowCameraSwitch(content, m_cameraSwitch.get());
    connect(this, &CMainFrame::previewStopped, content, &CCameraPane::ResetPages);
    connect(content, &CCameraPane::commandRequested, this, [this](int id) { OnCommand(id); });
    addDockWidget(Qt::LeftDockWidgetArea, m_cameraPane);
    m_cameraPane->setVisible(theSettings.cameraPane.bCamPaneVisible != 0);

    QAction* a = AddAction(ID_VIEW_CAMERA_PANE, QStringLiteral("&Camera"), QString(), nullptr);
    a->setCheckable(true);
}

QLabel* CMainFrame::StatusPane(int pane) const {
    return pane >= 1 && pane <= 3 ? m_statusPanes[pane - 1] : nullptr;
}

// ---- Documents ----

CChildFrame* CMainFrame::ActiveChild() const {
    QMdiSubWindow* w = m_mdi->currentSubWindow();
    if (!w) {
        // The area has no current window while the program is inactive: the last one used.
        const QList<QMdiSubWindow*> list = m_mdi->subWindowList(QMdiArea::ActivationHistoryOrder);
        if (!list.isEmpty()) w = list.last();
    }
    return qobject_cast<CChildFrame*>(w);
}

CScopeDoc* CMainFrame::ActiveDocument() const {
    CChildFrame* child = ActiveChild();
    return child ? child->Document() : nullptr;
}

void CMainFrame::AddChild(CChildFrame* frame) {
    m_mdi->addSubWindow(frame);
    connect(frame, &CChildFrame::activated, this, &CMainFrame::SetZoomSelection);
    connect(frame, &QObject::destroyed, this, [this] {
        // Queued: the area forgets the window only after this signal.
        QTimer::singleShot(0, this, [this] {
            ShowMenusFor(!m_mdi->subWindowList().isEmpty());
            UpdateTitle();
            UpdateCommandStates();
        });
    });
    if (CScopeDoc* doc = frame->Document()) frame->setWindowTitle(doc->GetTitle());
    // A frame flagged maximised before it is shown never gets the state change that fits it to
    // the area (every window after the first stayed at its first small size): show it anew.
    frame->setWindowState(frame->windowState() & ~Qt::WindowMaximized);
    frame->showMaximized();
    m_mdi->setActiveSubWindow(frame);
    ShowMenusFor(true);
    if (CScopeDoc* doc = frame->Document()) SetZoomSelection(doc->m_nZoomIndex);
    UpdateTitle();
    UpdateCommandStates();
}

CScopeDoc* CMainFrame::NewDocument() {
    CChildFrame* frame = CChildFrame::Create();
    if (!frame) return nullptr;
    AddChild(frame);
    return frame->Document();
}

CChildFrame* CMainFrame::OpenDocumentFile(const QString& path) {
    const QString full = QFileInfo(path).absoluteFilePath();
    // A picture that is open already comes forward instead of opening twice.
    for (QMdiSubWindow* w : m_mdi->subWindowList()) {
        auto* child = qobject_cast<CChildFrame*>(w);
        if (child && child->Document() && !child->Document()->m_bLive &&
            QFileInfo(child->Document()->m_strPath).absoluteFilePath() == full) {
            m_mdi->setActiveSubWindow(child);
            return child;
        }
    }
    theApp().m_nNewDocKind = 1;
    CChildFrame* frame = CChildFrame::Create(full);
    if (!frame) {
        theApp().m_nNewDocKind = 0;
        return nullptr;
    }
    AddChild(frame);
    AddRecentFile(full);
    return frame;
}

QStringList CMainFrame::OpenDocumentPaths() const {
    QStringList paths;
    for (QMdiSubWindow* w : m_mdi->subWindowList(QMdiArea::CreationOrder)) {
        auto* child = qobject_cast<CChildFrame*>(w);
        CScopeDoc* doc = child ? child->Document() : nullptr;
        if (doc && !doc->m_bLive && !doc->m_strPath.isEmpty()) paths.append(doc->m_strPath);
    }
    return paths;
}

void CMainFrame::OnChildActivated(QMdiSubWindow* window) {
    // Null also when the program merely lost the focus; the menus follow the open windows.
    ShowMenusFor(window || !m_mdi->subWindowList().isEmpty());
    UpdateTitle();
    UpdateCommandStates();
}

void CMainFrame::UpdateTitle() {
    CScopeDoc* doc = ActiveDocument();
    setWindowTitle(doc && !doc->GetTitle().isEmpty()
                       ? QStringLiteral("%1 - [%2]").arg(ProductTitle(), doc->GetTitle())
                       : ProductTitle());
}

// ---- Commands ----

bool CMainFrame::IsWindowCommand(int id) {
    switch (id) {
        case ID_FILE_SAVE_AS:
        case ID_SAVE_AS_ONLY_IMAGE:
        case ID_SAVE_AS_PLUS_MEASURE:
        case ID_SAVE_OPTION:
        case ID_SAVE_RESOLUTION:
        case ID_RECORD:
        case ID_INTERVAL_CAPTURE:
        case ID_FULL_SCREEN:
        case ID_UVC_PAGES:
        case ID_BINARY:
        case ID_RGB:
        case ID_MEASURE_SETTING:
        case ID_WATERSHED:
        case ID_COUNTING_RESULTS:
        case ID_MIX:
        case ID_STITCHING:
        case ID_EDF:
        case ID_HDR:
        case ID_AUTO_STITCH_START:
        case ID_AUTO_STITCH_STOP:
        case ID_SEMI_STITCH_START:
        case ID_SEMI_STITCH_STOP:
            return true;
        default:
            return false;
    }
}

// A command whose window does not exist yet stays disabled rather than doing nothing (and HDR
// would leave its request pending, blocking every later capture). Add a command here together
// with its case in RunWindowCommand.
bool CMainFrame::ServesWindowCommand(int id, const CScopeDoc* doc) {
    switch (id) {
        case ID_STITCHING:
        case ID_EDF:
            return true;
        case ID_HDR:  // from files; live HDR has no window yet
            return !doc || !doc->m_bLive;
        case ID_FULL_SCREEN:
        case ID_FILE_SAVE_AS:
        case ID_SAVE_AS_ONLY_IMAGE:
        case ID_SAVE_AS_PLUS_MEASURE:
        case ID_SAVE_OPTION:
        case ID_SAVE_RESOLUTION:
        case ID_BINARY:
        case ID_RGB:
        case ID_MEASURE_SETTING:
        case ID_WATERSHED:
        case ID_COUNTING_RESULTS:
        case ID_MIX:
        case ID_RECORD:
        case ID_INTERVAL_CAPTURE:
            return true;
        default:
            return false;
    }
}

bool CMainFrame::RunWindowCommand(CScopeDoc& doc, int id) {
    switch (id) {
        case ID_FULL_SCREEN:
            if (CScopeView* view = CScopeView::ForDocument(&doc)) {
                view->ToggleFullScreen();
                return true;
            }
            return false;
        case ID_FILE_SAVE_AS:  // also for "Save As only image" and "Save As plus measure"
            RunSaveAsDialog(doc, this);
            return true;
        case ID_SAVE_OPTION:
            RunSaveOptionDialog(this);
            return true;
        case ID_SAVE_RESOLUTION:
            RunResolutionDialog(doc, this);
            return true;
        case ID_BINARY:
            RunBinaryDialog(doc, this);
            return true;
        case ID_RGB:
            RunRgbDialog(doc, this);
            return true;
        case ID_MEASURE_SETTING:
            RunMeasureSettingDialog(doc, this);
            return true;
        case ID_CALIBRATION:
            ToggleRulerSettingDialog(doc, this);
            return true;
        case ID_MIX:
            RunMixDialog(doc, this);
            return true;
        case ID_WATERSHED:
            RunCountingSettingsDialog(doc, this);
            return true;
        case ID_COUNTING_RESULTS:
            RunCountingResultsDialog(doc, this);
            return true;
        case ID_STITCHING:
            RunStitchingCommand(doc, this);
            return true;
        case ID_EDF:
            RunEdfCommand(doc, this);
            return true;
        case ID_HDR:
            if (g_bHdrRequest) return false;  // the live HDR document's start comes later
            RunHdrCommand(doc, this);
            return true;
        case ID_RECORD:
            RunRecordDialog(doc, this);
            return true;
        case ID_INTERVAL_CAPTURE:
            RunIntervalCapDialog(doc, this);
            return true;
        default:
            return false;
    }
}

void CMainFrame::OnCommand(int id) {
    switch (id) {
        case ID_FILE_NEW:
            if (!g_bLiveDocExists) m_cameraSwitch->OpenPreview();
            break;
        case ID_FILE_OPEN:
            FileOpen();
            break;
        case ID_FILE_CLOSE:
            if (CChildFrame* child = ActiveChild()) child->close();
            break;
        case ID_FILE_PRINT:
            Print(false);
            break;
        case ID_FILE_PRINT_PREVIEW:
            Print(true);
            break;
        case ID_FILE_PRINT_SETUP:
            PrintSetup();
            break;
        case ID_APP_EXIT:
            close();
            break;
        case ID_APP_ABOUT:
            ShowAbout();
            break;
        case ID_OPEN_IMAGE_FOLDER:
            OpenImageFolder();
            break;
        case ID_HELP_HOW_TO_USE:
            OpenHelp();
            break;
        case ID_VIEW_TOOLBAR:
            m_standardBar->setVisible(m_standardBar->isHidden());
            break;
        case ID_VIEW_MEASURE_BAR:
            m_measureBar->setVisible(m_measureBar->isHidden());
            break;
        case ID_VIEW_PROCESS_BAR:
            m_processBar->setVisible(m_processBar->isHidden());
            break;
        case ID_VIEW_STATUS_BAR:
            statusBar()->setVisible(statusBar()->isHidden());
            break;
        case ID_VIEW_CAMERA_PANE:
            m_cameraPane->setVisible(m_cameraPane->isHidden());
            break;
        case ID_SELECT_SOURCE:
            SelectSource();
            break;
        case ID_ACQUIRE:
            AcquireFromSource();
            break;
        default:
            if (id >= ID_CAMERA_FIRST && id <= ID_CAMERA_LAST) {
                SelectCamera(id - ID_CAMERA_FIRST);
            } else if (id >= ID_LANGUAGE && id <= ID_LANGUAGE_LAST) {
                SwitchLanguage(id);
            } else if (CScopeDoc* doc = ActiveDocument()) {
                if (!IsWindowCommand(id) || ServesWindowCommand(id, doc)) doc->OnCommand(id);
            }
            break;
    }
    UpdateCommandStates();
}

void CMainFrame::UpdateCommandStates() {
    CScopeDoc* doc = ActiveDocument();
    for (const DocCommand& c : DocCommands()) {
        QAction* a = m_actions.value(c.id);
        if (!a) continue;
        const bool enabled = doc && doc->IsCommandEnabled(c.id) &&
                             (!IsWindowCommand(c.id) || ServesWindowCommand(c.id, doc));
        a->setEnabled(enabled);
        if (a->isCheckable()) a->setChecked(doc && doc->IsCommandChecked(c.id));
    }
    const bool anyWindow = !m_mdi->subWindowList().isEmpty();
    CScopeView* view = doc ? CScopeView::ForDocument(doc) : nullptr;
    m_actions.value(ID_FILE_NEW)->setEnabled(!g_bLiveDocExists);
    m_actions.value(ID_FILE_CLOSE)->setEnabled(anyWindow);
    const bool canPrint = view && view->CanPrint();
    m_actions.value(ID_FILE_PRINT)->setEnabled(canPrint);
    m_actions.value(ID_FILE_PRINT_PREVIEW)->setEnabled(canPrint);
    m_actions.value(ID_VIEW_TOOLBAR)->setChecked(!m_standardBar->isHidden());
    m_actions.value(ID_VIEW_MEASURE_BAR)->setChecked(!m_measureBar->isHidden());
    m_actions.value(ID_VIEW_PROCESS_BAR)->setChecked(!m_processBar->isHidden());
    m_actions.value(ID_VIEW_STATUS_BAR)->setChecked(!statusBar()->isHidden());
    m_actions.value(ID_VIEW_CAMERA_PANE)->setChecked(!m_cameraPane->isHidden());
    m_zoomBox->setEnabled(doc != nullptr);
    if (doc && m_zoomBox->currentIndex() != doc->m_nZoomIndex) SetZoomSelection(doc->m_nZoomIndex);
    ShowMenusFor(anyWindow);
    ShowToolHint(doc ? doc->m_nTool : 0);
}

void CMainFrame::ShowToolHint(int tool) {
    // Menu status tips clear the message as the pointer leaves them: the hint comes back.
    const QString hint = ToolHint(tool);
    const QString shown = statusBar()->currentMessage();
    if (!hint.isEmpty() && shown != hint && (shown.isEmpty() || shown == m_shownHint ||
                                              shown == Translate(QStringLiteral("Ready"))))
        statusBar()->showMessage(hint);
    else if (hint.isEmpty() && !m_shownHint.isEmpty() && shown == m_shownHint)
        statusBar()->showMessage(Translate(QStringLiteral("Ready")));
    m_shownHint = hint;
}

void CMainFrame::FileOpen() {
    // The picker remembers its folder and shows a preview of the chosen picture.
    const std::optional<QString> path = RunImagePicker(this);
    if (!path || path->isEmpty()) return;
    m_lastOpenFolder = QFileInfo(*path).absolutePath();
    OpenDocumentFile(*path);
}

void CMainFrame::OpenImageFolder() {
    QString folder = CProfileFile(g_strIniPath)
                         .GetString(QStringLiteral("Save"), QStringLiteral("FilePath"), {}, 259);
    if (folder.isEmpty()) folder = g_strImageFolder;
    OpenWithDesktop(folder, QStringLiteral("No file manager could be started to show the folder. The pictures are in:"));
}

void CMainFrame::OpenHelp() {
    QString path = g_strExeFolder + g_strHelpFile;
    if (!QFileInfo(path).isReadable())
        path = g_strExeFolder + ProductTitle() + QStringLiteral("_en.pdf");
    if (!QFileInfo(path).isReadable()) {
        if (IScopePrompt* prompt = theApp().prompt)
            prompt->message(Translate(QStringLiteral("Hint")),
                            Translate(QStringLiteral("The manual is missing:")) + u'\n' + QDir::toNativeSeparators(path));
        return;
    }
    OpenWithDesktop(path, QStringLiteral("No program to show PDF files could be started. The manual is:"));
}

bool CMainFrame::OpenWithDesktop(const QString& path, const QString& failure) {
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return true;
    // Nothing to hand it to: the user opens it by hand, so say where it is.
    if (IScopePrompt* prompt = theApp().prompt)
        prompt->message(Translate(QStringLiteral("Hint")), Translate(failure) + u'\n' + QDir::toNativeSeparators(path));
    return false;
}

void CMainFrame::ShowAbout() {
    CAboutDlg dialog(this);
    dialog.exec();
}

QPrinter& CMainFrame::Printer() {
    if (!m_printer) m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

void CMainFrame::Print(bool preview) {
    CScopeDoc* doc = ActiveDocument();
    CScopeView* view = doc ? CScopeView::ForDocument(doc) : nullptr;
    if (!view || !view->CanPrint()) return;
    if (preview) {
        view->PrintPreview();
        return;
    }
    QPrintDialog dialog(&Printer(), this);
    if (dialog.exec() == QDialog::Accepted) view->Print(Printer());
}

void CMainFrame::PrintSetup() {
    QPageSetupDialog dialog(&Printer(), this);
    dialog.exec();
}

// ---- Recent files ----

QStringList CMainFrame::RecentFiles() const {
    QSettings s = WorkspaceSettings();
    s.beginGroup(QStringLiteral("Recent File List"));
    QStringList files;
    for (int i = 1; i <= kRecentFiles; ++i) {
        const QString f = s.value(QStringLiteral("File%1").arg(i)).toString();
        if (!f.isEmpty()) files.append(f);
    }
    return files;
}

void CMainFrame::AddRecentFile(const QString& path) {
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.prepend(path);
    QSettings s = WorkspaceSettings();
    s.beginGroup(QStringLiteral("Recent File List"));
    for (int i = 1; i <= kRecentFiles; ++i)
        s.setValue(QStringLiteral("File%1").arg(i), i <= files.size() ? files[i - 1] : QString());
}

void CMainFrame::RemoveRecentFile(const QString& path) {
    QStringList files = RecentFiles();
    files.removeAll(path);
    QSettings s = WorkspaceSettings();
    s.beginGroup(QStringLiteral("Recent File List"));
    for (int i = 1; i <= kRecentFiles; ++i)
        s.setValue(QStringLiteral("File%1").arg(i), i <= files.size() ? files[i - 1] : QString());
}

void CMainFrame::RebuildRecentMenu() {
    const QStringList files = RecentFiles();
    for (QMenu* menu : m_recentMenus) {
        menu->clear();
        menu->setEnabled(!files.isEmpty());
        for (int i = 0; i < files.size(); ++i) {
            const QString path = files[i];
            QAction* a = menu->addAction(
                QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()));
            a->setToolTip(path);
            a->setStatusTip(path);
            connect(a, &QAction::triggered, this, [this, path] {
                if (!OpenDocumentFile(path)) RemoveRecentFile(path);
            });
        }
    }
}

// ---- Language ----

void CMainFrame::RebuildLanguageMenu() {
    m_languageMenu->clear();
    const CProfileFile ini(g_strIniPath);
    const QString section = QStringLiteral("Norvane");
    for (int n = 1; n <= kLanguageItems; ++n) {
        const QString name = ini.GetString(section, QStringLiteral("LangName%1").arg(n), {}, 259);
        // An unused slot is no language to choose.
        if (name.isEmpty()) continue;
        const int id = ini.GetInt(section, QStringLiteral("LangID%1").arg(n), ID_LANGUAGE + n);
        QAction* a = m_languageMenu->addAction(Translate(name));
        a->setData(id);
        a->setCheckable(true);
        a->setChecked(name == g_strLanguageCode);
        connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
    }
    m_languageMenu->setEnabled(!m_languageMenu->actions().isEmpty());
}

void CMainFrame::SwitchLanguage(int id) {
    if (id <= ID_LANGUAGE || id > ID_LANGUAGE_LAST) return;
    IScopePrompt* prompt = theApp().prompt;
    if (!prompt ||
        !prompt->askYesNo(Translate(QStringLiteral("Hint")),
                          Translate(QStringLiteral(
                              "NorvaneScope restarts to show the new language. Restart now?"))))
        return;
    // The restart closes every picture: unsaved ones are asked about before anything changes.
    if (!ConfirmCloseDocuments()) return;
    CProfileFile ini(g_strIniPath);
    const QString value = ini.GetString(
        QStringLiteral("Norvane"), QStringLiteral("LangName%1").arg(id - ID_LANGUAGE), {}, 259);
    if (!ini.WriteString(QStringLiteral("Norvane"), QStringLiteral("Language"), value)) {
        // Restarting would only come back in the same language.
        prompt->message(
            Translate(QStringLiteral("Error")),
            Translate(QStringLiteral("The language could not be written to the settings file.")));
        return;
    }
    g_bRestartOnExit = true;
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

// ---- Layout ----

void CMainFrame::SaveLayout() const {
    QSettings s = WorkspaceSettings();
    s.beginGroup(QStringLiteral("Workspace"));
    s.setValue(QStringLiteral("Geometry"), saveGeometry());
    s.setValue(QStringLiteral("State"), saveState());
    s.setValue(QStringLiteral("Documents"), OpenDocumentPaths());
}

void CMainFrame::RestoreLayout(bool withDocuments) {
    QSettings s = WorkspaceSettings();
    s.beginGroup(QStringLiteral("Workspace"));
    restoreGeometry(s.value(QStringLiteral("Geometry")).toByteArray());
    restoreState(s.value(QStringLiteral("State")).toByteArray());
    // The pane's visibility is a setting of its own.
    m_cameraPane->setVisible(theSettings.cameraPane.bCamPaneVisible != 0);
    if (withDocuments) {
        const QStringList paths = s.value(QStringLiteral("Documents")).toStringList();
        for (const QString& path : paths)
            if (QFileInfo(path).isFile()) OpenDocumentFile(path);
    }
    UpdateCommandStates();
}

bool CMainFrame::ConfirmCloseDocuments() {
    for (QMdiSubWindow* w : m_mdi->subWindowList(QMdiArea::CreationOrder)) {
        auto* child = qobject_cast<CChildFrame*>(w);
        if (child && !child->ConfirmClose()) return false;
    }
    return true;
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    if (!ConfirmCloseDocuments()) {
        // Cancel keeps the program running, also when a language change asked for a restart.
        g_bRestartOnExit = false;
        e->ignore();
        return;
    }
    theSettings.cameraPane.bCamPaneVisible = m_cameraPane->isHidden() ? 0 : 1;
    // An open source (its window too) is closed, then the manager, which is unloaded.
    ReleaseTwain();
    SaveLayout();
    if (CSplashWnd* splash = CSplashWnd::Current()) splash->HideSplash();
    QMainWindow::closeEvent(e);
}

// ---- Activation by a second start ----

void CMainFrame::OnActivationRequest() {
    showMaximized();
    raise();
    activateWindow();
    if (IScopePrompt* prompt = theApp().prompt)
        prompt->message(Translate(QStringLiteral("Hint")),
                        Translate(QStringLiteral("Already having one instance running!")));
}

// ---- Acquisition ----

void CMainFrame::SelectSource() {
    if (IsSourceOpen()) {
        // The manager offers its selection only while no source is open.
        if (IScopePrompt* prompt = theApp().prompt)
            prompt->message(Translate(QStringLiteral("Hint")),
                            Translate(QStringLiteral(
                                "Close the window of the open source before selecting another one.")));
        return;
    }
    ChooseSource();
}

void CMainFrame::AcquireFromSource() {
    Acquire(-1);
}

void CMainFrame::ReceiveImage(TW_HANDLE bitmap, const TW_IMAGEINFO&) {
    HandOverTwainImage(bitmap);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (IsSourceEnabled() && FilterMessage({watched, event})) return true;
    return QMainWindow::eventFilter(watched, event);
}

// ---- Cameras ----

void CMainFrame::SelectCamera(int index) {
    m_cameraSwitch->SwitchTo(index);
}

void* CMainFrame::LiveVideoWindow() {
    CScopeDoc* live = CScopeDoc::FindLiveDocument();
    CScopeView* view = live ? CScopeView::ForDocument(live) : nullptr;
    return view ? static_cast<void*>(view->VideoWindow()) : nullptr;
}

CameraFrameSink CMainFrame::LiveFrameSink() {
    return &CVideoWnd::OnFrame;
}

// ---- What documents ask of their windows ----

void CMainFrame::SetStatusText(int pane, const QString& text) {
    if (pane == 0)
        statusBar()->showMessage(text);
    else if (QLabel* label = StatusPane(pane))
        label->setText(text);
}

void CMainFrame::SetZoomSelection(int index) {
    if (index >= 0 && index < m_zoomBox->count()) m_zoomBox->setCurrentIndex(index);
}

void CMainFrame::PreviewStopped() {
    emit previewStopped();
}

void CMainFrame::RefreshLayout(CScopeDoc& doc) {
    if (CScopeView* view = CScopeView::ForDocument(&doc)) view->RecalcLayout();
}

void CMainFrame::Repaint(CScopeDoc& doc) {
    if (CScopeView* view = CScopeView::ForDocument(&doc)) view->RepaintPicture();
}

void CMainFrame::TitleChanged(CScopeDoc& doc) {
    if (CChildFrame* child = CChildFrame::ForDocument(&doc)) child->setWindowTitle(doc.GetTitle());
    if (&doc == ActiveDocument()) UpdateTitle();
}
