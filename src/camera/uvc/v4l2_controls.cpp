#include "camera/uvc/v4l2_controls.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

enum class AutoKind {
    None,
    Settable,    // the flag of a set call switches it (white balance)
    Exposure,    // V4L2_CID_EXPOSURE_AUTO, a menu
    ReportOnly,  // read back only; a set call never touches it
};

struct PropertyMap {
    int property;
    uint32_t cid;
    uint32_t autoCid;
    AutoKind autoKind;
};

constexpr PropertyMap kMap[] = {
    {PropBrightness, V4L2_CID_BRIGHTNESS, 0, AutoKind::None},
    {PropContrast, V4L2_CID_CONTRAST, 0, AutoKind::None},
    {PropHue, V4L2_CID_HUE, V4L2_CID_HUE_AUTO, AutoKind::ReportOnly},
    {PropSaturation, V4L2_CID_SATURATION, 0, AutoKind::None},
    {PropSharpness, V4L2_CID_SHARPNESS, 0, AutoKind::None},
    {PropGamma, V4L2_CID_GAMMA, 0, AutoKind::None},
    {PropWhiteBalance, V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CID_AUTO_WHITE_BALANCE,
     AutoKind::Settable},
    {kUvcPropBacklightCompensation, V4L2_CID_BACKLIGHT_COMPENSATION, 0, AutoKind::None},
    {PropGain, V4L2_CID_GAIN, V4L2_CID_AUTOGAIN, AutoKind::ReportOnly},
    {PropRedGain, V4L2_CID_RED_BALANCE, V4L2_CID_AUTO_WHITE_BALANCE, AutoKind::ReportOnly},
    {PropBlueGain, V4L2_CID_BLUE_BALANCE, V4L2_CID_AUTO_WHITE_BALANCE, AutoKind::ReportOnly},
    {PropExposure, V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CID_EXPOSURE_AUTO, AutoKind::Exposure},
    {PropHFlip, V4L2_CID_HFLIP, 0, AutoKind::None},
    {PropVFlip, V4L2_CID_VFLIP, 0, AutoKind::None},
    {kUvcPropPowerLineFrequency, V4L2_CID_POWER_LINE_FREQUENCY, 0, AutoKind::None},
};

const PropertyMap* Find(int property) {
    for (const PropertyMap& p : kMap)
        if (p.property == property) return &p;
    return nullptr;
}

bool Query(const CV4l2Device& dev, uint32_t cid, v4l2_queryctrl* q) {
    *q = {};
    q->id = cid;
    if (dev.Ioctl(VIDIOC_QUERYCTRL, q) != 0 || q->id != cid) return false;
    if (q->flags & V4L2_CTRL_FLAG_DISABLED) return false;
    switch (q->type) {
        case V4L2_CTRL_TYPE_INTEGER:
        case V4L2_CTRL_TYPE_BOOLEAN:
        case V4L2_CTRL_TYPE_MENU:
        case V4L2_CTRL_TYPE_INTEGER_MENU:
            return true;
        default:
            return false;
    }
}

bool Read(const CV4l2Device& dev, uint32_t cid, int32_t* value) {
    v4l2_control c{};
    c.id = cid;
    if (dev.Ioctl(VIDIOC_G_CTRL, &c) != 0) return false;
    *value = c.value;
    return true;
}

bool Write(const CV4l2Device& dev, uint32_t cid, int32_t value) {
    v4l2_control c{};
    c.id = cid;
    c.value = value;
    return dev.Ioctl(VIDIOC_S_CTRL, &c) == 0;
}

bool MenuHas(const CV4l2Device& dev, uint32_t cid, int32_t item) {
    v4l2_querymenu m{};
    m.id = cid;
    m.index = static_cast<uint32_t>(item);
    return dev.Ioctl(VIDIOC_QUERYMENU, &m) == 0;
}

// A requested value on the control's grid.
int32_t Snap(const v4l2_queryctrl& q, double value) {
    if (!std::isfinite(value)) value = q.default_value;
    const int64_t lo = q.minimum, hi = std::max<int64_t>(q.maximum, q.minimum);
    int64_t v = std::clamp<int64_t>(std::llround(std::clamp(value, -4e9, 4e9)), lo, hi);
    if (q.type == V4L2_CTRL_TYPE_INTEGER && q.step > 1) {
        v = lo + (v - lo + q.step / 2) / q.step * q.step;
        if (v > hi) v -= q.step;
    }
    return static_cast<int32_t>(v);
}

// Whether the automatic mode of p is on; false when the device has none.
bool AutoOn(const CV4l2Device& dev, const PropertyMap& p) {
    if (!p.autoCid) return false;
    v4l2_queryctrl q;
    int32_t v = 0;
    if (!Query(dev, p.autoCid, &q) || !Read(dev, p.autoCid, &v)) return false;
    if (p.autoKind == AutoKind::Exposure) return v != V4L2_EXPOSURE_MANUAL;
    return v != 0;
}

bool SetAuto(const CV4l2Device& dev, const PropertyMap& p, bool on) {
    v4l2_queryctrl q;
    if (!p.autoCid || !Query(dev, p.autoCid, &q)) return !on;  // nothing to switch off
    if (p.autoKind != AutoKind::Exposure) return Write(dev, p.autoCid, on ? 1 : 0);
    if (!on) return Write(dev, p.autoCid, V4L2_EXPOSURE_MANUAL);
    // UVC cameras mostly offer aperture priority (automatic time, fixed iris) as "automatic".
    for (int32_t mode : {V4L2_EXPOSURE_APERTURE_PRIORITY, V4L2_EXPOSURE_AUTO})
        if (MenuHas(dev, p.autoCid, mode)) return Write(dev, p.autoCid, mode);
    return false;
}

}  // namespace

int GetUvcPropertyRange(const CV4l2Device& dev, int property, double* min, double* max,
                        double* value) {
    const PropertyMap* p = Find(property);
    v4l2_queryctrl q;
    int32_t v = 0;
    if (!p || !Query(dev, p->cid, &q) || !Read(dev, p->cid, &v)) return -1;
    if (min) *min = q.minimum;
    if (max) *max = q.maximum;
    if (value) *value = v;
    return 0;
}

int DescribeUvcProperty(const CV4l2Device& dev, int property, UvcPropertyInfo* info) {
    const PropertyMap* p = Find(property);
    v4l2_queryctrl q;
    if (!p || !info || !Query(dev, p->cid, &q)) return -1;
    info->min = q.minimum;
    info->max = q.maximum;
    info->step = q.type == V4L2_CTRL_TYPE_INTEGER && q.step > 0 ? q.step : 1;
    info->defaultValue = q.default_value;
    info->toggle = q.type == V4L2_CTRL_TYPE_BOOLEAN;
    info->readOnly = (q.flags & V4L2_CTRL_FLAG_READ_ONLY) != 0;
    v4l2_queryctrl a;
    info->autoSettable = (p->autoKind == AutoKind::Settable || p->autoKind == AutoKind::Exposure) &&
                         Query(dev, p->autoCid, &a);
    info->autoDefault = false;
    if (info->autoSettable)
        info->autoDefault = p->autoKind == AutoKind::Exposure ? a.default_value != V4L2_EXPOSURE_MANUAL
                                                              : a.default_value != 0;
    return 0;
}

int GetUvcProperty(const CV4l2Device& dev, int property, double* value, int* automatic) {
    const PropertyMap* p = Find(property);
    v4l2_queryctrl q;
    int32_t v = 0;
    if (!p || !Query(dev, p->cid, &q) || !Read(dev, p->cid, &v)) return -1;
    if (value) *value = v;
    if (automatic) *automatic = AutoOn(dev, *p) ? 1 : 0;
    return 0;
}

int SetUvcProperty(const CV4l2Device& dev, int property, double value, int flag) {
    const PropertyMap* p = Find(property);
    v4l2_queryctrl q;
    if (!p || !Query(dev, p->cid, &q)) return -1;
    if (p->autoKind == AutoKind::Settable || p->autoKind == AutoKind::Exposure) {
        if (flag) return SetAuto(dev, *p, true) ? 0 : -1;
        // Manual first: many devices ignore or refuse the value while automatic.
        if (!SetAuto(dev, *p, false)) return -1;
        if (!Query(dev, p->cid, &q)) return -1;
    }
    if (q.flags & V4L2_CTRL_FLAG_READ_ONLY) return -1;
    return Write(dev, p->cid, Snap(q, value)) ? 0 : -1;
}
