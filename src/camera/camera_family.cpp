#include "camera/camera_family.h"

#include <QString>

#include "camera/camera_log.h"


namespace {

struct RangeRow {
    int id;
    CameraPropertyId property;
    int component;  // which number of the value is the one asked for
};

constexpr RangeRow kRangeRows[] = {
    {PropBrightness, CameraPropertyId::Brightness, 0},
    {PropContrast, CameraPropertyId::Contrast, 0},
    {PropHue, CameraPropertyId::Hue, 0},
    {PropSaturation, CameraPropertyId::Saturation, 0},
    {PropSharpness, CameraPropertyId::Sharpen, 1},
    {PropGamma, CameraPropertyId::Gamma, 0},
    {PropGain, CameraPropertyId::Gain, 0},
    {PropRedGain, CameraPropertyId::WhiteBalance, 0},
    {PropGreenGain, CameraPropertyId::WhiteBalance, 1},
    {PropBlueGain, CameraPropertyId::WhiteBalance, 2},
    {PropExposureTarget, CameraPropertyId::ExposureTarget, 0},
    {PropExposure, CameraPropertyId::ExposureTime, 0},
};

}  // namespace

int PropertyRangeFromDescriptions(ICameraFamily& family, int id, double* min, double* max, double* current) {
    const RangeRow* row = nullptr;
    for (const RangeRow& r : kRangeRows)
        if (r.id == id) row = &r;
    if (!row) return 1;
    const CameraProperties list = family.Properties();
    const CameraPropertyInfo* info = FindCameraProperty(list, CameraPropertyKey{row->property});
    if (!info) {
        // A setting the camera lacks answers an empty range.
        *min = *max = *current = 0;
        return 0;
    }
    *min = info->min;
    *max = info->max;
    CameraPropertyValue v;
    if (family.GetProperty(info->key, &v) == 0) *current = v.v[static_cast<size_t>(row->component)];
    return 0;
}

void CFailureReason::Keep(std::string reason, bool loud) {
    if (loud) qCWarning(lcCamera).noquote() << m_family << QString::fromStdString(reason);
    std::lock_guard lock(m_mutex);
    m_text = std::move(reason);
}

std::string CFailureReason::Text() const {
    std::lock_guard lock(m_mutex);
    return m_text;
}
