#include "ui/camera_pane.h"

#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include <mutex>
#include <set>

#include "camera/camera_manager.h"
#include "camera/uvc/uvc_camera.h"
#include "document/scope_doc.h"
#include "settings/app_settings.h"
#include "settings/language_table.h"
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

// The caption of each page, shown on its frame until the page has its controls.
const char* PageTitle(CCameraPane::Page page) {
    switch (page) {
        case CCameraPane::PageExposure:
        case CCameraPane::PageUvcExposure: return "Exposure Control";
        case CCameraPane::PageWhiteBalance:
        case CCameraPane::PageUvcWhiteBalance: return "White Balance";
        case CCameraPane::PageColour:
        case CCameraPane::PageModuleColour:
        case CCameraPane::PageUvcColour: return "Color Adjust";
        case CCameraPane::PageSharpness: return "Sharpness";
        case CCameraPane::PageFlip: return "Flip";
        case CCameraPane::PageFrameRate: return "Frame Rate";
        case CCameraPane::PagePowerFrequency: return "Power Frequency";
        default: return "Capture and resolution";
    }
}

int LayoutForKind(int kind) {
    if (kind == KindUvc) return CCameraPane::LayoutUvc;
    if (kind == KindMaker) return CCameraPane::LayoutMaker;
    return CCameraPane::LayoutModule;
}

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
    m_body->setContentsMargins(6, 4, 6, 4);
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
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll);
    auto* inner = new QWidget(scroll);
    m_groupsLayout = new QVBoxLayout(inner);
    m_groupsLayout->setContentsMargins(4, 4, 4, 4);
    m_groupsLayout->addStretch(1);
    scroll->setWidget(inner);
    scroll->viewport()->installEventFilter(this);

    // Every page exists from the start, hidden until a layout places it.
    m_capture = new CCapturePage(this);
    m_pages[PageCapture] = m_capture;
    for (int p = PageExposure; p < PageCount; ++p)
        m_pages[p] = MakePlaceholderPage(Translate(QString::fromLatin1(PageTitle(static_cast<Page>(p)))));
    for (QWidget* page : m_pages) {
        page->hide();
        page->installEventFilter(this);
    }

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

QWidget* CCameraPane::MakePlaceholderPage(const QString& title) {
    // The page's frame with its title; its controls come with the page itself.
    auto* box = new QGroupBox(title, this);
    box->setMinimumHeight(40);
    return box;
}

void CCameraPane::OnDeviceEvent(int code, int, void* user) {
    if (code != kDeviceArrival && code != kDeviceRemoval) return;
    auto* pane = static_cast<CCameraPane*>(user);
    std::lock_guard lock(PanesMutex());
    if (!pane || !LivePanes().count(pane)) return;
    // Any thread: the list is rebuilt on the pane's own.
    QMetaObject::invokeMethod(
        pane,
        [pane] {
            pane->RefreshCameraList();
            // The preview stays as it is, but a recording of a camera that left ends now.
            CScopeDoc::CameraListChanged();
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
        if (command != 0)
            connect(button, &QToolButton::clicked, this, [this, command] { emit commandRequested(command); });
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
    m_cameraList->update();
}

QList<QToolButton*> CCameraPane::TaskButtons() const {
    QList<QToolButton*> out;
    for (QToolButton* b : m_cameraList->BodyWidget()->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
        if (b->property("command").toInt() != 0) out.push_back(b);
    return out;
}

void CCameraPane::BuildLayout(int layout) {
    if (layout == m_nLayout) return;
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
}

void CCameraPane::ResetPages() {
    m_capture->ResetCapturePage();
    // The property pages stay disabled until they are built for the open camera.
    for (int p = PageExposure; p < PageCount; ++p) m_pages[p]->setEnabled(false);
}

void CCameraPane::UpdateForCamera() {
    ResetPages();
    BuildLayout(LayoutForKind(theCameraManager().m_currentCamera.kind));
    m_capture->InitForCamera();
    theSettings.cameraPane.mControlUIType = m_nLayout;
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
