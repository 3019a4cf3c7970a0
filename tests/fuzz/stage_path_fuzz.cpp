// Stage path files (norvanescope-cli stage --path): any bytes are refused with a reason or give
// a path of finite points within the stage's travel, never a crash.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "camera/stage_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QString error;
    const auto path = ParseStagePath(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), &error);
    if (path) {
        if (path->empty() || path->size() > 100000) std::abort();
        for (const StagePoint& p : *path)
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || std::fabs(p.x) > 1e7 || std::fabs(p.y) > 1e7) std::abort();
    } else if (error.isEmpty()) {
        std::abort();  // a refusal always says why
    }
    return 0;
}
