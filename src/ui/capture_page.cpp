#include "ui/capture_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "camera/camera_manager.h"
#include "document/scope_doc.h"
#include "settings/language_table.h"

namespace {

// The wait cursor for the length of a camera call.
struct WaitCursor {
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QString SizeText(int w, int h) { return QString::asprintf("%d*%d", w, h); }

}  // namespace

CCapturePage::CCapturePage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CapturePage"));
    m_snap = new QPushButton(Translate(QStringLiteral("Snap")), this);
    m_snap->setObjectName(QStringLiteral("SnapButton"));
    m_record = new QPushButton(Translate(QStringLiteral("Record")), this);
    m_record->setObjectName(QStringLiteral("RecordButton"));
    m_live = new QComboBox(this);
    m_live->setObjectName(QStringLiteral("LiveList"));
    m_snapList = new QComboBox(this);
    m_snapList->setObjectName(QStringLiteral("SnapList"));
    m_format = new QComboBox(this);
    m_format->setObjectName(QStringLiteral("FormatList"));

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(kButtonGap);
    buttons->addWidget(m_snap, 1);
    buttons->addWidget(m_record, 1);
    auto* grid = new QGridLayout(this);
    grid->addLayout(buttons, 0, 0, 1, 2);
    grid->addWidget(new QLabel(Translate(QStringLiteral("Live:")), this), 1, 0);
    grid->addWidget(m_live, 1, 1);
    grid->addWidget(new QLabel(Translate(QStringLiteral("Snap:")), this), 2, 0);
    grid->addWidget(m_snapList, 2, 1);
    grid->addWidget(new QLabel(Translate(QStringLiteral("Format:")), this), 3, 0);
    grid->addWidget(m_format, 3, 1);
    grid->setColumnStretch(1, 1);

    connect(m_snap, &QPushButton::clicked, this, &CCapturePage::OnSnap);
    connect(m_record, &QPushButton::clicked, this, &CCapturePage::OnRecord);
    connect(m_live, &QComboBox::currentIndexChanged, this, &CCapturePage::OnLiveChanged);
    connect(m_snapList, &QComboBox::currentIndexChanged, this, &CCapturePage::OnSnapChanged);
    connect(m_format, &QComboBox::currentIndexChanged, this, &CCapturePage::OnFormatChanged);
    ResetCapturePage();
}

void CCapturePage::ResetCapturePage() {
    m_bFilling = true;
    m_live->clear();
    m_snapList->clear();
    m_format->clear();
    m_bFilling = false;
    for (QWidget* w : {static_cast<QWidget*>(m_snap), static_cast<QWidget*>(m_record),
                       static_cast<QWidget*>(m_live), static_cast<QWidget*>(m_snapList),
                       static_cast<QWidget*>(m_format)})
        w->setEnabled(false);
}

void CCapturePage::InitForCamera() {
    CCameraManager& cm = theCameraManager();
    m_snap->setEnabled(true);
    m_record->setEnabled(true);
    m_live->setEnabled(true);
    m_format->setEnabled(true);
    FillLiveList();
    char16_t names[64][16] = {};
    int count = 64;  // in: room for names, out: names given
    m_bFilling = true;
    m_format->clear();
    if (cm.GetMediaTypes(names, &count) == 0) {
        for (int i = 0; i < std::min(count, 64); ++i) {
            int n = 0;
            while (n < 16 && names[i][n]) ++n;
            m_format->addItem(QString::fromUtf16(names[i], n));
        }
    }
    if (m_format->count() > 0) m_format->setCurrentIndex(0);
    m_bFilling = false;
    // The Snap list stays disabled: the still resolution follows the live choice. A camera that
    // opens with a remembered still index of another size (module cameras start at index 0, their
    // smallest size, while live runs at their largest) is brought in line, so a snap has the size
    // the user watches. An MC-D camera takes its stills from the live stream: its list shows the
    // live size too.
    int live = -1, still = -1, stills = 0;
    cm.GetResolutionIndex(&live);
    cm.GetStillResolutionIndex(&still);
    cm.GetStillResolutionCount(&stills);
    if (live >= 0 && live < stills && still != live) cm.SetStillResolutionIndex(live);
    FillSnapList();
}

void CCapturePage::FillLiveList() {
    CCameraManager& cm = theCameraManager();
    int current = 0, count = 0;
    cm.GetResolutionIndex(&current);
    cm.GetResolutionCount(&count);
    m_bFilling = true;
    m_live->clear();
    for (int i = 0; i < count; ++i) {
        int w = 640, h = 480;
        if (cm.GetResolutionSize(i, &w, &h) != 0 || w <= 0 || h <= 0) w = 640, h = 480;
        m_live->addItem(SizeText(w, h));
    }
    if (current >= 0 && current < m_live->count()) m_live->setCurrentIndex(current);
    m_bFilling = false;
}

void CCapturePage::FillSnapList() {
    CCameraManager& cm = theCameraManager();
    int current = 0, count = 0;
    cm.GetStillResolutionIndex(&current);
    cm.GetStillResolutionCount(&count);
    m_bFilling = true;
    m_snapList->clear();
    for (int i = 0; i < count; ++i) {
        int w = 640, h = 480;
        if (cm.GetStillResolutionSize(i, &w, &h) != 0 || w <= 0 || h <= 0) w = 640, h = 480;
        m_snapList->addItem(SizeText(w, h));
    }
    if (current >= 0 && current < m_snapList->count()) m_snapList->setCurrentIndex(current);
    m_bFilling = false;
}

void CCapturePage::OnSnap() {
    // The capture command of the live picture ("Capture picture to an active view").
    if (CScopeDoc* live = CScopeDoc::FindLiveDocument()) live->OnCommand(ID_CAPTURE);
}

void CCapturePage::OnRecord() {
    if (CScopeDoc* live = CScopeDoc::FindLiveDocument()) live->OnCommand(ID_RECORD);
}

void CCapturePage::ApplyFrameSize(CScopeDoc& live, int width, int height) {
    if (IScopeDocFrame* frame = theApp().frame) {
        frame->SetStatusText(1, QString::asprintf("%d x %d", width, height));
    }
    live.m_nFrameWidth = width;
    live.m_nFrameHeight = height;
    if (IScopeDocFrame* frame = theApp().frame) frame->RefreshLayout(live);
}

void CCapturePage::OnLiveChanged(int sel) {
    if (m_bFilling || sel < 0) return;
    CScopeDoc* live = CScopeDoc::FindLiveDocument();
    if (!live) return;
    WaitCursor wait;
    CCameraManager& cm = theCameraManager();
    cm.SetResolutionIndex(sel);
    int w = 640, h = 480;
    if (cm.GetResolutionSize(sel, &w, &h) != 0 || w <= 0 || h <= 0) w = 640, h = 480;
    // The still resolution follows the live one.
    m_bFilling = true;
    if (sel < m_snapList->count()) m_snapList->setCurrentIndex(sel);
    m_bFilling = false;
    cm.SetStillResolutionIndex(sel);
    ApplyFrameSize(*live, w, h);
    emit resolutionChanged();
}

void CCapturePage::OnSnapChanged(int sel) {
    if (m_bFilling || sel < 0) return;
    WaitCursor wait;
    theCameraManager().SetStillResolutionIndex(sel);
}

void CCapturePage::OnFormatChanged(int sel) {
    if (m_bFilling || sel < 0) return;
    CScopeDoc* live = CScopeDoc::FindLiveDocument();
    if (!live) return;
    WaitCursor wait;
    CCameraManager& cm = theCameraManager();
    cm.SetMediaTypeByIndex(sel);
    FillLiveList();
    FillSnapList();
    int index = 0, w = 640, h = 480;
    cm.GetResolutionIndex(&index);
    if (cm.GetResolutionSize(index, &w, &h) != 0 || w <= 0 || h <= 0) w = 640, h = 480;
    ApplyFrameSize(*live, w, h);
}
