#include "ui/camera_pane.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <mutex>
#include <set>

#include "camera/camera_manager.h"
#include "camera/uvc/uvc_camera.h"
#include "document/camera_switch.h"
#include "document/prompt.h"
#include "document/scope_doc.h"
#include "settings/app_settings.h"
#include "settings/language_table.h"
#include "ui/camera_pages/choice_pages.h"
#include "ui/camera_pages/colour_pages.h"
#include "ui/camera_pages/exposure_page.h"
#include "ui/camera_pages/flip_page.h"
#include "ui/camera_pages/sharpness_page.h"
#include "ui/camera_pages/uvc_pages.h"
#include "ui/camera_pages/white_balance_page.h"
#include "ui/capture_page.h"
#include "ui/stage_widget.h"

namespace {

// Panes alive, for device callbacks that come on other threads: a callback only posts to a pane
// that still exists, and a pane leaves the set before it goes.
std::mutex& PanesMutex() {
    static std::mutex m;
    return m;
}
std::set<CCameraPane*>& LivePanes() {
    static std::set<CCameraPane*> panes;
    return panes;
}

struct GroupSpec {
    const char* caption;
    CCameraPane::Page page;
    bool open;
};

// Groups by layout, in the order they appear under "Camera List".
const std::vector<GroupSpec>& GroupsOf(int layout) {
    using P = CCameraPane;
    static const std::vector<GroupSpec> maker = {
        {"Capture and resolution", P::PageCapture, true},
        {"Exposure Control", P::PageExposure, true},
        {"Sharpness", P::PageSharpness, true},
        {"White Balance", P::PageWhiteBalance, true},
        {"Color Adjust", P::PageColour, false},
        {"Flip", P::PageFlip, false},
        {"Power Frequency", P::PagePowerFrequency, false},
        {"Frame Rate", P::PageFrameRate, false},
    };
    static const std::vector<GroupSpec> module = {
        {"Capture and resolution", P::PageCapture, true},
        {"Exposure Control", P::PageExposure, true},
        {"White Balance", P::PageWhiteBalance, true},
        {"Color Adjust", P::PageModuleColour, false},
        {"Flip", P::PageFlip, false},
        {"Power Frequency", P::PagePowerFrequency, false},
        {"Frame Rate", P::PageFrameRate, false},
    };
    static const std::vector<GroupSpec> uvc = {
        {"Capture and resolution", P::PageCapture, true},
        {"Exposure Control", P::PageUvcExposure, true},
        {"White Balance", P::PageUvcWhiteBalance, true},
        {"Color Adjust", P::PageUvcColour, false},
    };
    return layout == CCameraPane::LayoutModule ? module : layout == CCameraPane::LayoutUvc ? uvc : maker;
}

int LayoutForKind(int kind) {
    if (kind == KindUvc) return CCameraPane::LayoutUvc;
    if (kind == KindMaker) return CCameraPane::LayoutMaker;
    return CCameraPane::LayoutModule;
}

// Margins around a page inside its group (the group's body frame and spacing).
constexpr int kBodyMargin = 6;
constexpr int kPaneMargin = 4;

}  // namespace

// ---- CTaskGroup ----

CTaskGroup::CTaskGroup(const QString& caption, QWidget* parent) : QWidget(parent), m_caption(caption) {
    setObjectName(QStringLiteral("TaskGroup"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 4);
    outer->setSpacing(0);
    m_header = new QToolButton(this);
    m_header->setText(caption);
    m_header->setCheckable(true);
    m_header->setChecked(true);
    m_header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_header->setArrowType(Qt::DownArrow);
    m_header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_header->setAutoRaise(true);
    outer->addWidget(m_header);
    m_bodyWidget = new QFrame(this);
    static_cast<QFrame*>(m_bodyWidget)->setFrameShape(QFrame::StyledPanel);
    m_body = new QVBoxLayout(m_bodyWidget);
    m_body->setContentsMargins(kBodyMargin, 4, kBodyMargin, 4);
    outer->addWidget(m_bodyWidget);
    connect(m_header, &QToolButton::toggled, this, &CTaskGroup::SetExpanded);
}

void CTaskGroup::SetExpanded(bool on) {
    m_bExpanded = on;
    m_header->setChecked(on);
    m_header->setArrowType(on ? Qt::DownArrow : Qt::RightArrow);
    m_bodyWidget->setVisible(on);
}

// ---- CCameraPane ----

CCameraPane::CCameraPane(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CameraPaneContent"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("CameraPaneScroll"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(m_scroll);
    auto* inner = new QWidget(m_scroll);
    m_groupsLayout = new QVBoxLayout(inner);
    m_groupsLayout->setContentsMargins(kPaneMargin, kPaneMargin, kPaneMargin, kPaneMargin);
    m_defaults = new QPushButton(Translate(QStringLiteral("Camera Defaults")), inner);
    m_defaults->setObjectName(QStringLiteral("CameraDefaultsButton"));
    m_defaults->setToolTip(Translate(QStringLiteral("Sets every setting of this camera back to its defaults")));
    m_groupsLayout->addWidget(m_defaults);
    m_groupsLayout->addStretch(1);
    m_scroll->setWidget(inner);
    m_scroll->viewport()->installEventFilter(this);
    connect(m_defaults, &QPushButton::clicked, this, &CCameraPane::restoreDefaultsRequested);

    // Every page exists from the start, hidden until a layout places it.
    m_capture = new CCapturePage(this);
    m_pages[PageCapture] = m_capture;
    m_pages[PageExposure] = new CAutoExposureDlg(this);
    m_pages[PageWhiteBalance] = new CWBDlg(this);
    m_pages[PageColour] = new CColorAdjustDlg(this);
    m_pages[PageModuleColour] = new CDTCamColorAdjustDlg(this);
    m_pages[PageSharpness] = new CSharpnessDlg(this);
    m_pages[PageFlip] = new CCamFlipDlg(this);
    m_pages[PageFrameRate] = new CCamFrameRate(this);
    m_pages[PagePowerFrequency] = new CCamPowerFre(this);
    m_pages[PageUvcExposure] = new CUVCAutoExposureDlg(this);
    m_pages[PageUvcWhiteBalance] = new CUVCWBBDlg(this);
    m_pages[PageUvcColour] = new CUVCColorAdjustDlg(this);
    for (QWidget* page : m_pages) {
        page->hide();
        page->installEventFilter(this);
    }
    for (int p = PageExposure; p < PageCount; ++p)
        connect(PropertyPage(static_cast<Page>(p)), &CCameraPage::settingChanged, this, &CCameraPane::settingChanged);
    // A new live resolution may change the gain range.
    connect(m_capture, &CCapturePage::resolutionChanged, ExposurePage(), &CAutoExposureDlg::RefreshGain);

    m_cameraList = new CTaskGroup(Translate(QStringLiteral("Camera List")), inner);
    m_cameraList->setObjectName(QStringLiteral("CameraListGroup"));
    m_groupsLayout->insertWidget(0, m_cameraList);
    // Under the camera list, where the camera's groups do not move it: the stage of a simulated
    // camera.
    m_groupsLayout->insertWidget(1, CStageWidget::InGroup(inner));

    {
        std::lock_guard lock(PanesMutex());
        LivePanes().insert(this);
    }
    theUVCCamera().UVCCamSetEventCallBack(&CCameraPane::OnDeviceEvent, this);
    theCameraManager().SetDeviceCallback(&CCameraPane::OnDeviceEvent, this);
    RefreshCameraList();
    BuildLayout(std::clamp(theSettings.cameraPane.mControlUIType, 0, 2));
    ResetPages();
}

CCameraPane::~CCameraPane() {
    {
        std::lock_guard lock(PanesMutex());
        LivePanes().erase(this);
    }
    theUVCCamera().UVCCamSetEventCallBack(nullptr, nullptr);
    theCameraManager().SetDeviceCallback(nullptr, nullptr);
}

CCameraPage* CCameraPane::PropertyPage(Page page) const {
    return page == PageCapture ? nullptr : static_cast<CCameraPage*>(m_pages[page]);
}

CAutoExposureDlg* CCameraPane::ExposurePage() const { return static_cast<CAutoExposureDlg*>(m_pages[PageExposure]); }

void CCameraPane::OnDeviceEvent(int code, int, void* user) {
    if (code != kDeviceArrival && code != kDeviceRemoval) return;
    auto* pane = static_cast<CCameraPane*>(user);
    std::lock_guard lock(PanesMutex());
    if (!pane || !LivePanes().count(pane)) return;
    // Any thread: the list is rebuilt on the pane's own.
    QMetaObject::invokeMethod(
        pane,
        [pane, code] {
            pane->RefreshCameraList();
            // A recording of a camera that left ends at once; the switch looks after the rest.
            CScopeDoc::CameraListChanged();
            emit pane->deviceEvent(code);
        },
        Qt::QueuedConnection);
}

void CCameraPane::RefreshCameraList() {
    QLayout* body = m_cameraList->Body();
    while (QLayoutItem* item = body->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_tasks.clear();
    int count = 0;
    CCameraManager& cm = theCameraManager();
    cm.EnumerateDevices(&count);
    const auto& devices = cm.Devices();
    count = std::min<int>(count, static_cast<int>(devices.size()));
    count = std::min(count, kLastCameraCommand - kFirstCameraCommand + 1);
    const auto addTask = [&](const QString& text, int command) {
        m_tasks.push_back({text, command});
        if (text.isEmpty()) {
            auto* spacer = new QWidget(m_cameraList->BodyWidget());
            spacer->setFixedHeight(4);
            body->addWidget(spacer);
            return;
        }
        auto* button = new QToolButton(m_cameraList->BodyWidget());
        button->setText(text);
        button->setAutoRaise(true);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setProperty("command", command);
        button->setEnabled(command != 0);
        button->setCheckable(command != 0);
        if (command != 0)
            connect(button, &QToolButton::clicked, this, [this, command] {
                // The mark follows the open camera, not the click.
                MarkOpenCamera();
                emit commandRequested(command);
            });
        body->addWidget(button);
    };
    if (count == 0) {
        addTask(Translate(QStringLiteral("No Camera")), 0);
        addTask(QString(), 0);
    } else {
        addTask(QString(), 0);
        for (int i = 0; i < count; ++i) {
            const char16_t* name = devices[static_cast<size_t>(i)].name;
            int n = 0;
            while (n < 260 && name[n]) ++n;
            addTask(QString::fromUtf16(name, n), kFirstCameraCommand + i);
            addTask(QString(), 0);
        }
    }
    MarkOpenCamera();
    m_cameraList->update();
}

void CCameraPane::MarkOpenCamera() {
    const CCameraManager& cm = theCameraManager();
    const int open = cm.IsOpen() && cm.m_nCurrentDevice >= 0 ? kFirstCameraCommand + cm.m_nCurrentDevice : 0;
    for (QToolButton* b : TaskButtons()) {
        const bool mark = b->property("command").toInt() == open;
        b->setChecked(mark);
        QFont f = b->font();
        f.setBold(mark);
        b->setFont(f);
    }
}

int CCameraPane::OpenCameraCommand() const {
    for (QToolButton* b : TaskButtons())
        if (b->isChecked()) return b->property("command").toInt();
    return 0;
}

QList<QToolButton*> CCameraPane::TaskButtons() const {
    QList<QToolButton*> out;
    for (QToolButton* b : m_cameraList->BodyWidget()->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
        if (b->property("command").toInt() != 0) out.push_back(b);
    return out;
}

void CCameraPane::BuildLayout(int layout) {
    if (layout == m_nLayout) return;
    // Where the user had scrolled to stays in view.
    QScrollBar* bar = m_scroll->verticalScrollBar();
    const int keep = bar->value();
    // The pages leave the old groups before those go.
    for (QWidget* page : m_pages) {
        page->hide();
        page->setParent(this);
    }
    for (CTaskGroup* g : m_groups) {
        m_groupsLayout->removeWidget(g);
        delete g;
    }
    m_groups.clear();
    // The camera's groups follow the camera list and the stage.
    int at = m_groupsLayout->indexOf(m_cameraList) + 2;
    for (const GroupSpec& spec : GroupsOf(layout)) {
        auto* group = new CTaskGroup(Translate(QString::fromLatin1(spec.caption)), m_cameraList->parentWidget());
        QWidget* page = m_pages[spec.page];
        page->setParent(group->BodyWidget());
        group->Body()->addWidget(page);
        page->show();
        group->SetExpanded(spec.open);
        m_groupsLayout->insertWidget(at++, group);
        m_groups.push_back(group);
    }
    m_nLayout = layout;
    FitWidth();
    m_groupsLayout->activate();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    bar->setValue(keep);
    QTimer::singleShot(0, this, [this, keep] { m_scroll->verticalScrollBar()->setValue(keep); });
}

void CCameraPane::FitWidth() {
    // The widest page of the layout counts, also in a folded group.
    int widest = m_scroll->widget()->minimumSizeHint().width();
    for (const GroupSpec& spec : GroupsOf(m_nLayout))
        widest = std::max(widest, m_pages[spec.page]->minimumSizeHint().width() + 2 * (kBodyMargin + 2 + kPaneMargin));
    m_scroll->setMinimumWidth(widest + m_scroll->verticalScrollBar()->sizeHint().width());
}

void CCameraPane::ResetPages() {
    m_capture->ResetCapturePage();
    for (int p = PageExposure; p < PageCount; ++p) PropertyPage(static_cast<Page>(p))->ResetPage();
    m_defaults->setEnabled(false);
    MarkOpenCamera();
}

void CCameraPane::UpdateForCamera() {
    ResetPages();
    BuildLayout(LayoutForKind(theCameraManager().m_currentCamera.kind));
    theSettings.cameraPane.mControlUIType = m_nLayout;
    if (!theCameraManager().IsOpen()) return;
    // Every page of the layout serves the open camera; sharpness came with the reset.
    m_capture->InitForCamera();
    for (const GroupSpec& spec : GroupsOf(m_nLayout))
        if (CCameraPage* page = PropertyPage(spec.page); page && spec.page != PageSharpness) page->InitForCamera();
    m_defaults->setEnabled(true);
    FitWidth();
}

bool CCameraPane::eventFilter(QObject* watched, QEvent* e) {
    // A click or a scroll may leave parts of the pages unpainted: repaint them all.
    if ((e->type() == QEvent::MouseButtonRelease &&
         static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) ||
        e->type() == QEvent::Wheel) {
        for (QWidget* page : m_pages) page->update();
    }
    return QWidget::eventFilter(watched, e);
}

void FollowCameraSwitch(CCameraPane* pane, CCameraSwitch* cameras) {
    QObject::connect(cameras, &CCameraSwitch::cameraChanged, pane, [pane](int) { pane->UpdateForCamera(); });
    QObject::connect(cameras, &CCameraSwitch::settingsRestored, pane, &CCameraPane::UpdateForCamera);
    QObject::connect(cameras, &CCameraSwitch::cameraRemoved, pane, &CCameraPane::ResetPages);
    QObject::connect(pane, &CCameraPane::settingChanged, cameras,
                     [cameras](int id, int video) { cameras->Remember({static_cast<CameraPropertyId>(id), video}); });
    QObject::connect(pane, &CCameraPane::deviceEvent, cameras, &CCameraSwitch::OnDeviceEvent);
    QObject::connect(pane, &CCameraPane::restoreDefaultsRequested, cameras, [cameras] {
        IScopePrompt* prompt = theApp().prompt;
        if (prompt && prompt->askYesNo(Translate(QStringLiteral("Hint")),
                                       Translate(QStringLiteral("Set every setting of this camera back to its defaults?"))))
            cameras->RestoreDefaults();
    });
}
