#include "ui/camera_pages/white_balance_page.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <cmath>
#include <mutex>
#include <set>

#include "camera/camera_manager.h"
#include "document/scope_doc.h"
#include "settings/language_table.h"

namespace {

// Pages alive, for results that come on camera threads: a result only goes to a page that still
// exists, and a page leaves the set before it goes.
std::mutex& PagesMutex() {
    static std::mutex m;
    return m;
}
std::set<CWBDlg*>& LivePages() {
    static std::set<CWBDlg*> pages;
    return pages;
}

const char* const kCaptions[3] = {"Red:", "Green:", "Blue:"};
const char* const kNames[3] = {"Red", "Green", "Blue"};

}  // namespace

CWBDlg::CWBDlg(QWidget* parent) : CCameraPage(kDialogId, parent) {
    setObjectName(QStringLiteral("WhiteBalancePage"));
    QGridLayout* grid = MakePageGrid(this);
    for (int c = 0; c < 3; ++c) {
        m_rows[c] = CSliderRow(grid, c, Translate(QString::fromLatin1(kCaptions[c])), this, QString::fromLatin1(kNames[c]));
        connect(m_rows[c].Slider(), &QSlider::valueChanged, this, [this, c](int pos) { OnSlider(c, pos); });
    }
    m_balance = new QPushButton(Translate(QStringLiteral("White Balance")), this);
    m_balance->setObjectName(QStringLiteral("OneShotButton"));
    m_defaults = new QPushButton(Translate(QStringLiteral("Defaults")), this);
    m_defaults->setObjectName(QStringLiteral("WbDefaultsButton"));
    grid->addWidget(m_balance, 3, 0, 1, 2);
    grid->addWidget(m_defaults, 3, 2);
    m_explain = new QLabel(Translate(QStringLiteral("OWBExplain:")), this);
    m_explain->setWordWrap(true);
    grid->addWidget(m_explain, 4, 0, 1, 3);
    connect(m_balance, &QPushButton::clicked, this, &CWBDlg::OnBalance);
    connect(m_defaults, &QPushButton::clicked, this, &CWBDlg::OnDefaults);
    m_waiting.setSingleShot(true);
    m_waiting.setInterval(kResultTimeoutMs);
    connect(&m_waiting, &QTimer::timeout, this, [this] { m_balance->setEnabled(m_defaults->isEnabled()); });
    {
        std::lock_guard lock(PagesMutex());
        LivePages().insert(this);
    }
    ResetPage();
}

CWBDlg::~CWBDlg() {
    std::lock_guard lock(PagesMutex());
    LivePages().erase(this);
}

void CWBDlg::ResetPage() {
    m_waiting.stop();
    for (CSliderRow& r : m_rows) {
        r.SetRange(1, 400);
        r.SetPos(100);
        r.SetText(QString());
        r.SetEnabled(false);
    }
    m_balance->setEnabled(false);
    m_defaults->setEnabled(false);
}

void CWBDlg::ShowValue(int colour, double gain) {
    // "%5.2f": the padding is dropped, a label needs none.
    m_rows[colour].SetText(QString::asprintf("%5.2f", gain / m_scale).trimmed());
}

void CWBDlg::InitForCamera() {
    CCameraManager& cm = theCameraManager();
    for (CSliderRow& r : m_rows) r.SetEnabled(true);
    m_balance->setEnabled(true);
    m_defaults->setEnabled(true);
    const CameraProperties list = cm.Properties();
    const CameraPropertyInfo* wb = FindCameraProperty(list, CameraPropertyKey{CameraPropertyId::WhiteBalance});
    m_scale = wb && wb->scale > 0 ? wb->scale : 100;
    int min = 1, max = 400;
    cm.GetRgbGainRanges(&min, &max);
    int gains[3] = {100, 100, 100};
    cm.GetRgbGains(&gains[0], &gains[1], &gains[2]);
    for (int c = 0; c < 3; ++c) {
        m_rows[c].SetRange(min, max);
        m_rows[c].SetPos(gains[c]);
        ShowValue(c, gains[c]);
    }
    cm.SetWhiteBalanceCallback(&CWBDlg::OnResult, this);
}

void CWBDlg::OnSlider(int colour, int pos) {
    CCameraManager& cm = theCameraManager();
    int gains[3] = {0, 0, 0};
    cm.GetRgbGains(&gains[0], &gains[1], &gains[2]);
    gains[colour] = pos;
    cm.SetRgbGains(gains[0], gains[1], gains[2]);
    ShowValue(colour, pos);
    Changed(CameraPropertyId::WhiteBalance);
}

void CWBDlg::OnBalance() {
    if (!CScopeDoc::FindLiveDocument()) return;
    // The result comes later; until then (or a time-out) the button waits.
    if (theCameraManager().OneShotWhiteBalance() != 0) return;
    m_balance->setEnabled(false);
    m_waiting.start();
}

void CWBDlg::OnDefaults() {
    CCameraManager& cm = theCameraManager();
    const CameraProperties list = cm.Properties();
    const CameraPropertyInfo* wb = FindCameraProperty(list, CameraPropertyKey{CameraPropertyId::WhiteBalance});
    if (!wb || !wb->defaultValue) {
        // A camera without default gains balances once instead.
        if (cm.OneShotWhiteBalance() == 0) {
            m_balance->setEnabled(false);
            m_waiting.start();
        }
        return;
    }
    const auto& g = wb->defaultValue->v;
    cm.SetRgbGains(static_cast<int>(g[0]), static_cast<int>(g[1]), static_cast<int>(g[2]));
    for (int c = 0; c < 3; ++c) {
        m_rows[c].SetPos(static_cast<int>(g[static_cast<size_t>(c)]));
        ShowValue(c, g[static_cast<size_t>(c)]);
    }
    Changed(CameraPropertyId::WhiteBalance);
}

void CWBDlg::OnResult(int, double red, double green, double blue, void* user) {
    auto* page = static_cast<CWBDlg*>(user);
    std::lock_guard lock(PagesMutex());
    if (!page || !LivePages().count(page)) return;
    QMetaObject::invokeMethod(page, [page, red, green, blue] { page->ShowResult(red, green, blue); },
                              Qt::QueuedConnection);
}

void CWBDlg::ShowResult(double red, double green, double blue) {
    m_waiting.stop();
    m_balance->setEnabled(m_defaults->isEnabled());
    if (!m_defaults->isEnabled()) return;  // reset meanwhile: no camera to show
    const double gains[3] = {red, green, blue};
    for (int c = 0; c < 3; ++c) {
        const int pos = static_cast<int>(std::lround(gains[c]));
        m_rows[c].SetPos(pos);
        ShowValue(c, pos);
    }
    Changed(CameraPropertyId::WhiteBalance);
}
