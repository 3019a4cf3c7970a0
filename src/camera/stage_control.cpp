#include "camera/stage_control.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "camera/camera_manager.h"
#include "camera/sim/virtual_slide.h"

namespace {

constexpr double kUnitsPerMicron = CVirtualSpecimen::kUnitsPerMicron;
// The wander a simulated stage starts with (specimen units), given back when drift goes on.
constexpr double kDriftUnits = 24;

// One simulated stage reached through its family's calls: each answers 0 for success.
class CSimStageControl : public IStageControl {
public:
    explicit CSimStageControl(SimStageCalls calls) : m_calls(std::move(calls)) {}

    std::optional<StagePosition> Position() override {
        double x = 0, y = 0, ux = 0, uy = 0;
        if (m_calls.get(&x, &y, &ux, &uy) != 0) return std::nullopt;
        StagePosition p;
        p.at = {x / kUnitsPerMicron, y / kUnitsPerMicron};
        p.micronsPerPixelX = ux / kUnitsPerMicron;
        p.micronsPerPixelY = uy / kUnitsPerMicron;
        return p;
    }
    bool MoveBy(double dx, double dy) override {
        return m_calls.move(dx * kUnitsPerMicron, dy * kUnitsPerMicron) == 0;
    }
    bool MoveTo(StagePoint at) override {
        return m_calls.set(at.x * kUnitsPerMicron, at.y * kUnitsPerMicron) == 0;
    }
    bool MoveByPixels(double dx, double dy) override { return m_calls.movePixels(dx, dy) == 0; }
    bool SetDrift(bool on) override { return m_calls.drift(on ? kDriftUnits : 0) == 0; }

private:
    SimStageCalls m_calls;
};

}  // namespace

std::unique_ptr<IStageControl> MakeSimStage(SimStageCalls calls) {
    if (!calls.get || !calls.set || !calls.move || !calls.movePixels || !calls.drift) return nullptr;
    return std::make_unique<CSimStageControl>(std::move(calls));
}

std::unique_ptr<IStageControl> OpenCameraStage(CCameraManager& manager) {
    std::unique_ptr<IStageControl> stage = manager.OpenStage();
    // A stage that does not answer (no camera open) is none.
    if (stage && !stage->Position()) stage.reset();
    return stage;
}

StagePoint StageMicrometerPlace() {
    const SpecimenRect r = CVirtualSpecimen::MicrometerRegion();
    return {(r.left + r.right) / 2 / kUnitsPerMicron, (r.top + r.bottom) / 2 / kUnitsPerMicron};
}

StagePoint StageSpecimenPlace() {
    const SpecimenRect r = CVirtualSpecimen::TissueRegion();
    return {(r.left + r.right) / 2 / kUnitsPerMicron, (r.top + r.bottom) / 2 / kUnitsPerMicron};
}

bool FollowStagePath(IStageControl& stage, const std::vector<StagePoint>& path, double speed,
                     const std::function<void(size_t, const StagePosition&)>& reached,
                     const std::atomic<bool>* stop, double stepSeconds) {
    if (!std::isfinite(speed) || speed < 0 || !(stepSeconds > 0)) return false;
    std::optional<StagePosition> here = stage.Position();
    if (!here) return false;
    StagePoint from = here->at;
    for (size_t i = 0; i < path.size(); ++i) {
        const StagePoint to = path[i];
        const double distance = std::hypot(to.x - from.x, to.y - from.y);
        const int steps = speed > 0 ? std::max(1, static_cast<int>(std::ceil(distance / speed / stepSeconds))) : 1;
        const auto stepTime = std::chrono::duration<double>(speed > 0 ? distance / speed / steps : 0.0);
        for (int s = 1; s <= steps; ++s) {
            if (stop && stop->load()) return false;
            const double f = static_cast<double>(s) / steps;
            if (!stage.MoveTo({from.x + (to.x - from.x) * f, from.y + (to.y - from.y) * f})) return false;
            if (stepTime.count() > 0) std::this_thread::sleep_for(stepTime);
        }
        from = to;
        if (reached) {
            here = stage.Position();
            if (!here) return false;
            reached(i, *here);
        }
    }
    return true;
}
