#pragma once
// IStageControl: the stage under the open camera, steered by the live window (right-button
// drag, arrow keys), the camera pane, the command-line tool and the tests alike. Positions are
// the centre of the field of view in micrometres of the slide; pixels are those of the camera's
// live picture. Only simulated cameras have a stage that can be steered; a real UVC camera has
// none (OpenCameraStage answers null).
//
// Threads: every call may come from any thread; the camera layer underneath locks its stage.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "camera/stage_path.h"

class CCameraManager;

struct StagePosition {
    StagePoint at;                                      // the field centre, drift included
    double micronsPerPixelX = 0, micronsPerPixelY = 0;  // of the live picture
    // The same position in live pixels of this camera (slide origin at pixel 0).
    double PixelX() const { return micronsPerPixelX > 0 ? at.x / micronsPerPixelX : 0; }
    double PixelY() const { return micronsPerPixelY > 0 ? at.y / micronsPerPixelY : 0; }
};

class IStageControl {
public:
    virtual ~IStageControl() = default;
    // Nothing when the camera is closed or gone.
    virtual std::optional<StagePosition> Position() = 0;
    virtual bool MoveBy(double dxMicrons, double dyMicrons) = 0;
    virtual bool MoveTo(StagePoint at) = 0;
    // The specimen moves by (dx, dy) pixels of the live picture, as under a hand moving the
    // slide (the camera's flips included).
    virtual bool MoveByPixels(double dx, double dy) = 0;
    // A simulated stage wanders slowly by itself; off holds it still where it is.
    virtual bool SetDrift(bool on) = 0;
};

// The stage of the camera the manager has open, or null when it has none or it does not answer.
std::unique_ptr<IStageControl> OpenCameraStage(CCameraManager& manager);

// A simulated stage reached through its family's calls, each answering 0 for success
// (positions in specimen units); null when the family lacks one of them.
struct SimStageCalls {
    std::function<int(double*, double*, double*, double*)> get;
    std::function<int(double, double)> set;
    std::function<int(double, double)> move;
    std::function<int(double, double)> movePixels;
    std::function<int(double)> drift;
};
std::unique_ptr<IStageControl> MakeSimStage(SimStageCalls calls);

// Places on the simulated slide worth going to (micrometres).
StagePoint StageMicrometerPlace();  // the ruled lines of the stage micrometer, 10 um apart
StagePoint StageSpecimenPlace();    // cells, fibres and debris

// Moves the stage through the points in order at a speed in micrometres per second (0: jumps
// straight to each), in steps of at most stepSeconds; reached runs at each point with the true
// position there. Stops early, false, when stop becomes true or the stage refuses a move.
bool FollowStagePath(IStageControl& stage, const std::vector<StagePoint>& path, double speed,
                     const std::function<void(size_t index, const StagePosition& at)>& reached = {},
                     const std::atomic<bool>* stop = nullptr, double stepSeconds = 0.02);
