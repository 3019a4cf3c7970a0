#include "camera/sim_controls.h"

#include "camera/camera_manager.h"
#include "camera/module_loader.h"

namespace {

// The open module camera's entry points, or null for another kind.
ModuleState* Module() {
    const int kind = theCameraManager().m_nKind;
    if (kind < KindModule1 || kind > KindModule4 || !theModules().IsLoaded(kind)) return nullptr;
    return &theModules().State(kind);
}

bool IsMaker() {
    return theCameraManager().m_nKind == KindMaker;
}

int MakerIndex() {
    return theCameraManager().m_currentCamera.libraryIndex;
}

}  // namespace

namespace sim_controls {

bool SetStage(double x, double y) {
    if (IsMaker()) {
        const CMakerLibrary& m = theCameraManager().Maker();
        return m.Call(m.Fn().NRCamera_Sim_SetStage, MakerIndex(), x, y) == 0;
    }
    ModuleState* s = Module();
    return s && s->CameraSimSetStage && s->CameraSimSetStage(x, y) == 0;
}

bool SetFocus(double zMicrons) {
    if (IsMaker()) {
        const CMakerLibrary& m = theCameraManager().Maker();
        return m.Call(m.Fn().NRCamera_Sim_SetFocus, MakerIndex(), zMicrons) == 0;
    }
    ModuleState* s = Module();
    return s && s->CameraSimSetFocus && s->CameraSimSetFocus(zMicrons) == 0;
}

bool LastPicturePose(SimPicturePose* p) {
    if (!p) return false;
    if (IsMaker()) {
        const CMakerLibrary& m = theCameraManager().Maker();
        return m.Call(m.Fn().NRCamera_Sim_GetStillPose, MakerIndex(), &p->x, &p->y, &p->z,
                      &p->unitsPerPixelX, &p->unitsPerPixelY) == 0;
    }
    ModuleState* s = Module();
    return s && s->CameraSimGetPicturePose &&
           s->CameraSimGetPicturePose(&p->x, &p->y, &p->z, &p->unitsPerPixelX,
                                      &p->unitsPerPixelY) == 0;
}

}  // namespace sim_controls
