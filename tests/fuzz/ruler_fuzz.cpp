// Ruler files (".nrr"), loaded as the ruler-setting dialog loads them: the calibration is
// computed from what was read, and saving it again reads back the same values.
#include <QString>
#include <cmath>

#include "fuzz_target.h"
#include "overlay/calibration.h"
#include "overlay/ruler_file.h"

NS_FUZZ_TARGET(ruler) {
    const QString path = QString::fromStdString(ns_fuzz::ScratchFile("fuzz.nrr", data, size));
    const std::optional<RulerFileData> d = ReadRulerFile(path);
    NS_FUZZ_CHECK(d.has_value());
    NS_FUZZ_CHECK(std::isfinite(RulerUnitsPerPixel(d->xReal, d->xLength)));
    NS_FUZZ_CHECK(std::isfinite(RulerUnitsPerPixel(d->yReal, d->yLength)));
    RulerPerPixelText(d->xReal, d->xLength);
    GVLUnitName(d->unit);

    const RulerFileData back = ParseRulerFile(RulerFileBytes(*d));
    NS_FUZZ_CHECK(back.xPerPixel == d->xPerPixel && back.yPerPixel == d->yPerPixel);
    NS_FUZZ_CHECK(back.xReal == d->xReal && back.yReal == d->yReal);
    NS_FUZZ_CHECK(back.xLength == d->xLength && back.yLength == d->yLength);
    NS_FUZZ_CHECK(back.unit == d->unit);
    NS_FUZZ_CHECK(back.xStart == kRulerFileOrigin && back.yStart == kRulerFileOrigin);
}
