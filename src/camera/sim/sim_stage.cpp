#include "camera/sim/sim_stage.h"

#include <cmath>

#include "camera/sim/virtual_slide.h"

namespace {
bool Finite(double v) {
    return std::isfinite(v);
}
}  // namespace

CSimStage::CSimStage() {
    // Start over tissue with a gentle wander of a few micrometres per minute.
    const SpecimenRect r = CVirtualSpecimen::TissueRegion();
    m_base.x = (r.left + r.right) / 2;
    m_base.y = (r.top + r.bottom) / 2;
    m_driftXY = 24;
    m_driftZ = 0;
    m_period = 600;
}

bool CSimStage::SetDrift(double amplitudeXY, double amplitudeZ, double periodSeconds) {
    if (!Finite(amplitudeXY) || !Finite(amplitudeZ) || !Finite(periodSeconds) || amplitudeXY < 0 ||
        amplitudeZ < 0 || periodSeconds <= 0)
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_driftXY = amplitudeXY;
    m_driftZ = amplitudeZ;
    m_period = periodSeconds;
    return true;
}

SimStagePose CSimStage::DriftAt(double t) const {
    // Two incommensurate slow waves: the path never repeats exactly within a session, and is
    // zero at t = 0.
    const double w = 2 * M_PI / m_period;
    SimStagePose d;
    d.x = m_driftXY * (std::sin(w * t) + 0.5 * std::sin(w * 0.37 * t));
    d.y = m_driftXY * (1 - std::cos(w * 0.71 * t));
    d.z = m_driftZ * std::sin(w * 0.53 * t);
    return d;
}

SimStagePose CSimStage::Pose(double tSeconds) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const double t = Finite(tSeconds) ? tSeconds : 0;
    const SimStagePose d = DriftAt(t);
    return {m_base.x + d.x, m_base.y + d.y, m_base.z + d.z};
}

bool CSimStage::SetPosition(double x, double y, double tSeconds) {
    if (!Finite(x) || !Finite(y) || !Finite(tSeconds) || std::fabs(x) > kMaxTravel ||
        std::fabs(y) > kMaxTravel)
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    const SimStagePose d = DriftAt(tSeconds);
    m_base.x = x - d.x;
    m_base.y = y - d.y;
    return true;
}

bool CSimStage::MoveBy(double dx, double dy) {
    if (!Finite(dx) || !Finite(dy)) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (std::fabs(m_base.x + dx) > kMaxTravel || std::fabs(m_base.y + dy) > kMaxTravel)
        return false;
    m_base.x += dx;
    m_base.y += dy;
    return true;
}

bool CSimStage::SetFocus(double zMicrons, double tSeconds) {
    if (!Finite(zMicrons) || !Finite(tSeconds) || std::fabs(zMicrons) > 1e6) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_base.z = zMicrons - DriftAt(tSeconds).z;
    return true;
}

bool CSimStage::MoveFocusBy(double dzMicrons) {
    if (!Finite(dzMicrons)) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (std::fabs(m_base.z + dzMicrons) > 1e6) return false;
    m_base.z += dzMicrons;
    return true;
}
