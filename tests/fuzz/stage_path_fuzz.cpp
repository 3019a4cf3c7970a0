// Stage path files (norvanescope-cli stage --path): any bytes are refused with a reason or give
// a path of finite points within the stage's travel, never a crash.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "camera/stage_path.h"
#include "fuzz_target.h"

NS_FUZZ_TARGET(stage_path) {
    QString error;
    const auto path = ParseStagePath(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), &error);
    if (path) {
        NS_FUZZ_CHECK(!path->empty() && path->size() <= 100000);
        for (const StagePoint& p : *path)
            NS_FUZZ_CHECK(std::isfinite(p.x) && std::isfinite(p.y) && std::fabs(p.x) <= 1e7 && std::fabs(p.y) <= 1e7);
    } else {
        NS_FUZZ_CHECK(!error.isEmpty());  // a refusal always says why
    }
}
