#include "advanced/counting/counting_settings.h"

#include <climits>

#include "advanced/imagepro_segm.h"

CCountingSettings g_CountingSettings;

namespace {

constexpr CountingColor kColors[kCountingColorCount] = {
    {0, 0, 0},   {255, 255, 255}, {255, 0, 0},   {0, 255, 0},
    {0, 0, 255}, {0, 255, 255},   {255, 0, 255}, {255, 255, 0},
};

constexpr int kBlue = 4;
constexpr int kBlack = 0;

QString BoundText(int value) {
    return value < 0 ? QString() : QString::number(value);
}

QString OneDecimal(double v) {
    return QString::asprintf("%.1f", v);
}

CountingColor LibraryColor(int h, bool outline) {
    CountingColor c;
    if (outline)
        imagepro_segm_get_contourlinecolor(h, &c.r, &c.g, &c.b);
    else
        imagepro_segm_get_tabcolor(h, &c.r, &c.g, &c.b);
    return c;
}

}  // namespace

CountingColor CountingColorAt(int index) {
    return index >= 0 && index < kCountingColorCount ? kColors[index] : CountingColor{};
}

void CCountingSettings::Reset() {
    *this = CCountingSettings();
}

void ApplyCountingSettings(int h, const CCountingSettings& s) {
    imagepro_segm_set_tabtype(h, s.m_nTabStyle);
    imagepro_segm_set_contourlinetype(h, s.m_nOutlineStyle);
    imagepro_segm_set_tabcolor(h, s.m_crTab.r, s.m_crTab.g, s.m_crTab.b);
    imagepro_segm_set_contourlinecolor(h, s.m_crOutline.r, s.m_crOutline.g, s.m_crOutline.b);
    imagepro_segm_set_findbyareaorlength(h, s.m_bByArea, s.m_bByPerimeter);
    if (s.m_bByArea) {
        imagepro_segm_set_Rangeminarea(h, s.m_nMinArea);
        imagepro_segm_set_Rangemaxarea(h, s.m_nMaxArea);
    }
    if (s.m_bByPerimeter) {
        imagepro_segm_set_Rangeminlength(h, s.m_nMinPerimeter);
        imagepro_segm_set_Rangemaxlength(h, s.m_nMaxPerimeter);
    }
    imagepro_segm_set_tabcolorindex(h, s.m_nTabColorIndex);
    imagepro_segm_set_contourlinecolorindex(h, s.m_nOutlineColorIndex);
    imagepro_segm_set_findcontourtype(h, s.m_nHoleMode);
}

CCountingSettingsModel::CCountingSettingsModel(int hSegm) : m_hSegm(hSegm) {
    CCountingSettings& s = g_CountingSettings;
    if (!m_hSegm) {
        s.m_nOutlineColorIndex = kBlue;
        s.m_crOutline = CountingColorAt(kBlue);
        s.m_nTabColorIndex = kBlack;
        s.m_crTab = CountingColorAt(kBlack);
        m_outlineStyle = m_tabStyle = 0;
        for (QString& v : m_values) v = QStringLiteral("0");
        m_okEnabled = true;
        return;
    }
    // The dialog shows what the document was counted with. The settings take the same values,
    // or an OK after changing one thing would apply the others of whatever was counted last.
    const int h = m_hSegm;
    m_outlineStyle = imagepro_segm_get_contourlinetype(h);
    m_tabStyle = imagepro_segm_get_tabtype(h);
    s.m_nOutlineStyle = m_outlineStyle;
    s.m_nTabStyle = m_tabStyle;
    s.m_nOutlineColorIndex = imagepro_segm_get_contourlinecolorindex(h);
    s.m_nTabColorIndex = imagepro_segm_get_tabcolorindex(h);
    s.m_crOutline = LibraryColor(h, true);
    s.m_crTab = LibraryColor(h, false);
    unsigned char byArea = 0, byPerimeter = 0;
    imagepro_segm_get_findbyareaorlength(h, &byArea, &byPerimeter);
    s.m_bByArea = byArea != 0;
    s.m_bByPerimeter = byPerimeter != 0;
    s.m_nMinArea = imagepro_segm_get_Rangeminarea(h);
    s.m_nMaxArea = imagepro_segm_get_Rangemaxarea(h);
    s.m_nMinPerimeter = imagepro_segm_get_Rangeminlength(h);
    s.m_nMaxPerimeter = imagepro_segm_get_Rangemaxlength(h);
    s.m_nHoleMode = imagepro_segm_get_findcontourtype(h);
    m_edits = {BoundText(s.m_nMinArea), BoundText(s.m_nMaxArea), BoundText(s.m_nMinPerimeter),
               BoundText(s.m_nMaxPerimeter)};
    imagepro_segm_set_contourlinecolor(h, s.m_crOutline.r, s.m_crOutline.g, s.m_crOutline.b);
    imagepro_segm_set_tabcolor(h, s.m_crTab.r, s.m_crTab.g, s.m_crTab.b);
    m_values = {
        OneDecimal(imagepro_segm_get_min_area(h)),   OneDecimal(imagepro_segm_get_max_area(h)),
        OneDecimal(imagepro_segm_get_ave_area(h)),   OneDecimal(imagepro_segm_get_min_length(h)),
        OneDecimal(imagepro_segm_get_max_length(h)), OneDecimal(imagepro_segm_get_ave_length(h))};
    m_okEnabled = false;
}

void CCountingSettingsModel::SetOutlineStyle(int style) {
    m_outlineStyle = style;
    if (m_hSegm) imagepro_segm_set_contourlinetype(m_hSegm, style);
    Changed();
}

void CCountingSettingsModel::SetTabStyle(int style) {
    m_tabStyle = style;
    if (m_hSegm) imagepro_segm_set_tabtype(m_hSegm, style);
    Changed();
}

void CCountingSettingsModel::SetOutlineColor(int index) {
    CCountingSettings& s = g_CountingSettings;
    s.m_nOutlineColorIndex = index;
    s.m_crOutline = CountingColorAt(index);
    if (m_hSegm) {
        imagepro_segm_set_contourlinecolorindex(m_hSegm, index);
        imagepro_segm_set_contourlinecolor(m_hSegm, s.m_crOutline.r, s.m_crOutline.g,
                                           s.m_crOutline.b);
    }
    Changed();
}

void CCountingSettingsModel::SetTabColor(int index) {
    CCountingSettings& s = g_CountingSettings;
    s.m_nTabColorIndex = index;
    s.m_crTab = CountingColorAt(index);
    if (m_hSegm) {
        imagepro_segm_set_tabcolorindex(m_hSegm, index);
        imagepro_segm_set_tabcolor(m_hSegm, s.m_crTab.r, s.m_crTab.g, s.m_crTab.b);
    }
    Changed();
}

void CCountingSettingsModel::SetByArea(bool on) {
    g_CountingSettings.m_bByArea = on;
    Changed();
}

void CCountingSettingsModel::SetByPerimeter(bool on) {
    g_CountingSettings.m_bByPerimeter = on;
    Changed();
}

void CCountingSettingsModel::SetHole(bool on) {
    g_CountingSettings.m_nHoleMode = on ? 2 : 0;
    Changed();
}

void CCountingSettingsModel::SetEditText(Edit e, const QString& text) {
    m_edits[e] = text;
    Changed();
}

int CCountingSettingsModel::BoundOf(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return -1;
    bool ok = false;
    const qlonglong v = t.toLongLong(&ok);
    if (!ok) return t.startsWith(QLatin1Char('-')) ? -1 : INT_MAX;  // digits beyond any bound
    return v < 0 ? -1 : static_cast<int>(std::min<qlonglong>(v, INT_MAX));
}

void CCountingSettingsModel::Accept() {
    CCountingSettings& s = g_CountingSettings;
    if (s.m_bByArea) {
        s.m_nMinArea = BoundOf(m_edits[MinArea]);
        s.m_nMaxArea = BoundOf(m_edits[MaxArea]);
    }
    if (s.m_bByPerimeter) {
        s.m_nMinPerimeter = BoundOf(m_edits[MinPerimeter]);
        s.m_nMaxPerimeter = BoundOf(m_edits[MaxPerimeter]);
    }
    s.m_nOutlineStyle = m_outlineStyle;
    s.m_nTabStyle = m_tabStyle;
    if (m_hSegm) ApplyCountingSettings(m_hSegm, s);
}
