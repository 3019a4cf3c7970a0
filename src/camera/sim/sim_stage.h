#pragma once
// CSimStage: the microscope stage under a simulated camera. Its position (specimen units, the
// centre of the sensor's field) drifts slowly by itself as a fixed function of time, so a test
// can pin the time and get the same position; it can be steered (set, move by) and focused.
// Safe to steer from one thread while a camera thread reads it.

#include <mutex>

struct SimStagePose {
    double x = 0;  // specimen units
    double y = 0;
    double z = 0;  // focus, micrometres from the specimen's focal plane
};

class CSimStage {
public:
    // Positions are kept within this distance of the slide origin.
    static constexpr double kMaxTravel = 1.0e8;

    CSimStage();

    // Drift amplitude in specimen units (x, y) and micrometres (z), over a period of seconds;
    // zero amplitudes hold the stage still. False (nothing changed) for non-finite values,
    // negative amplitudes or a non-positive period.
    bool SetDrift(double amplitudeXY, double amplitudeZ, double periodSeconds);

    // The pose at time t.
    SimStagePose Pose(double tSeconds) const;
    // Puts the field centre at (x, y) at time t (drift continues from there).
    bool SetPosition(double x, double y, double tSeconds);
    bool MoveBy(double dx, double dy);
    bool SetFocus(double zMicrons, double tSeconds);
    bool MoveFocusBy(double dzMicrons);

private:
    SimStagePose DriftAt(double t) const;

    mutable std::mutex m_mutex;
    SimStagePose m_base;
    double m_driftXY = 0;
    double m_driftZ = 0;
    double m_period = 600;
};
