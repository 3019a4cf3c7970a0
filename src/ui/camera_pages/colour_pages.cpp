#include "ui/camera_pages/colour_pages.h"

#include <QGridLayout>
#include <QPushButton>
#include <QSlider>

#include <cmath>

#include "camera/camera_manager.h"
#include "settings/language_table.h"

namespace {

using P = CameraPropertyId;
using Spec = CColourPage::RowSpec;

// The five settings as the maker and UVC pages show them.
const std::vector<Spec> kFiveRows = {
    {"Hue:", P::Hue, PropHue, -180, 180, 0, nullptr, 0},
    {"Saturation:", P::Saturation, PropSaturation, 0, 255, 100, nullptr, 100},
    {"Brightness:", P::Brightness, PropBrightness, -100, 100, 0, nullptr, 0},
    {"Contrast:", P::Contrast, PropContrast, -100, 100, 0, nullptr, 100},
    {"Gamma:", P::Gamma, PropGamma, 1, 200, 100, nullptr, 100},
};

QString NameOf(const char* caption) {
    QString name = QString::fromLatin1(caption);
    name.chop(1);  // the colon
    return name;
}

}  // namespace

CColourPage::CColourPage(int dialogId, const QString& objectName, std::vector<RowSpec> rows,
                         std::vector<CameraPropertyId> initOrder, std::vector<CameraPropertyId> defaultOrder,
                         QWidget* parent)
    : CCameraPage(dialogId, parent),
      m_specs(std::move(rows)),
      m_initOrder(std::move(initOrder)),
      m_defaultOrder(std::move(defaultOrder)) {
    setObjectName(objectName);
    QGridLayout* grid = MakePageGrid(this);
    m_rows.reserve(m_specs.size());
    for (size_t i = 0; i < m_specs.size(); ++i) {
        const RowSpec& s = m_specs[i];
        m_rows.emplace_back(grid, static_cast<int>(i), Translate(QString::fromLatin1(s.caption)), this, NameOf(s.caption));
        connect(m_rows.back().Slider(), &QSlider::valueChanged, this, [this, i](int pos) {
            SetCamera(m_specs[i], pos);
            m_rows[i].SetText(QString::number(pos));
            ChangedRow(m_specs[i]);
        });
    }
    m_known.assign(m_specs.size(), false);
    m_default = new QPushButton(Translate(QStringLiteral("Default")), this);
    m_default->setObjectName(QStringLiteral("ColourDefaultButton"));
    grid->addWidget(m_default, static_cast<int>(m_specs.size()), 0, 1, 3, Qt::AlignRight);
    connect(m_default, &QPushButton::clicked, this, [this] { OnDefault(); });
}

const CColourPage::RowSpec* CColourPage::Spec(CameraPropertyId id) const {
    for (const RowSpec& s : m_specs)
        if (s.id == id) return &s;
    return nullptr;
}

CSliderRow* CColourPage::Row(CameraPropertyId id) {
    for (size_t i = 0; i < m_specs.size(); ++i)
        if (m_specs[i].id == id) return &m_rows[i];
    return nullptr;
}

const CSliderRow* CColourPage::RowOf(CameraPropertyId id) const {
    return const_cast<CColourPage*>(this)->Row(id);
}

bool CColourPage::Known(CameraPropertyId id) const {
    for (size_t i = 0; i < m_specs.size(); ++i)
        if (m_specs[i].id == id) return m_known[i];
    return false;
}

void CColourPage::ResetPage() {
    for (size_t i = 0; i < m_specs.size(); ++i) {
        const RowSpec& s = m_specs[i];
        m_rows[i].SetRange(s.resetMin, s.resetMax);
        m_rows[i].SetPos(s.resetPos);
        m_rows[i].SetText(s.resetText ? QString::fromLatin1(s.resetText) : QString::number(s.resetPos));
        m_rows[i].SetEnabled(false);
        m_known[i] = false;
    }
    m_default->setEnabled(false);
}

void CColourPage::InitForCamera() {
    CCameraManager& cm = theCameraManager();
    for (CameraPropertyId id : m_initOrder) {
        const RowSpec* s = Spec(id);
        CSliderRow* row = Row(id);
        double min = 0, max = 0, current = 0;
        const bool known = cm.GetPropertyRange(s->video, &min, &max, &current) == 0;
        if (!known && m_bOnlyWhatTheCameraHas) continue;
        m_known[static_cast<size_t>(s - m_specs.data())] = true;
        row->SetRange(static_cast<int>(min), static_cast<int>(max));
        row->SetPos(static_cast<int>(std::lround(current)));
        row->SetText(QString::number(static_cast<int>(std::lround(current))));
        row->SetEnabled(true);
    }
    m_default->setEnabled(true);
}

void CColourPage::SetCamera(const RowSpec& spec, int value) {
    CameraPropertyValue v;
    v.v[0] = value;
    theCameraManager().SetProperty({spec.id}, v);
}

void CColourPage::OnDefault() {
    for (CameraPropertyId id : m_defaultOrder) {
        const RowSpec* s = Spec(id);
        CSliderRow* row = Row(id);
        row->SetPos(s->defaultValue);
        row->SetText(QString::number(s->defaultValue));
        SetCamera(*s, s->defaultValue);
        ChangedRow(*s);
    }
}

CColorAdjustDlg::CColorAdjustDlg(QWidget* parent)
    : CColourPage(kDialogId, QStringLiteral("ColourPage"), kFiveRows,
                  {P::Gamma, P::Contrast, P::Saturation, P::Hue, P::Brightness},
                  {P::Contrast, P::Gamma, P::Saturation, P::Brightness, P::Hue}, parent) {
    ResetPage();
}

CDTCamColorAdjustDlg::CDTCamColorAdjustDlg(QWidget* parent)
    : CColourPage(kDialogId, QStringLiteral("ModuleColourPage"),
                  {
                      {"Saturation:", P::Saturation, PropSaturation, 0, 255, 100, "0", 120},
                      {"Contrast:", P::Contrast, PropContrast, -100, 100, 0, "0", 30},
                      {"Gamma:", P::Gamma, PropGamma, 1, 200, 100, "100", 80},
                  },
                  {P::Saturation, P::Contrast, P::Gamma}, {P::Contrast, P::Gamma, P::Saturation}, parent) {
    ResetPage();
}

CUVCColorAdjustDlg::CUVCColorAdjustDlg(QWidget* parent)
    : CColourPage(kDialogId, QStringLiteral("UvcColourPage"), kFiveRows,
                  {P::Gamma, P::Contrast, P::Saturation, P::Hue, P::Brightness},
                  {P::Contrast, P::Gamma, P::Saturation, P::Brightness, P::Hue}, parent) {
    m_bOnlyWhatTheCameraHas = true;
    ResetPage();
}

int* CUVCColorAdjustDlg::InitValue(CameraPropertyId id) {
    switch (id) {
        case P::Hue: return &m_nInitHue;
        case P::Saturation: return &m_nInitSaturation;
        case P::Brightness: return &m_nInitBrightness;
        case P::Contrast: return &m_nInitContrast;
        default: return &m_nInitGamma;
    }
}

void CUVCColorAdjustDlg::InitForCamera() {
    CColourPage::InitForCamera();
    // Default returns to what the camera had now.
    for (const RowSpec& s : m_specs)
        if (Known(s.id)) *InitValue(s.id) = RowOf(s.id)->Pos();
}

void CUVCColorAdjustDlg::SetCamera(const RowSpec& spec, int value) {
    theCameraManager().SetVideoProperty(spec.video, value, 1);
}

void CUVCColorAdjustDlg::OnDefault() {
    for (CameraPropertyId id : m_defaultOrder) {
        const RowSpec* s = Spec(id);
        CSliderRow* row = Row(id);
        if (!Known(id)) continue;  // a setting the camera lacks
        const int value = *InitValue(id);
        row->SetPos(value);
        row->SetText(QString::number(value));
        SetCamera(*s, value);
        ChangedRow(*s);
    }
}
