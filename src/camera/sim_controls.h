#pragma once
// Steering the open camera's simulation, for the cameras that have one (the maker library's and
// the driver modules' simulated cameras): stage, focus, and where its last picture was taken.
// The series maker of the command-line tool uses it to take fields, exposure and focus series
// with their truth. Every call answers false when the open camera has no such control.

struct SimPicturePose {
    double x = 0, y = 0;  // field centre, specimen units
    double z = 0;         // focus, micrometres
    double unitsPerPixelX = 0, unitsPerPixelY = 0;
};

namespace sim_controls {

bool SetStage(double x, double y);
bool SetFocus(double zMicrons);
// The last still handed to the program (for cameras whose stills are live frames, the last
// frame).
bool LastPicturePose(SimPicturePose* pose);

}  // namespace sim_controls
