#pragma once
// The program's handle on the maker camera library: libnrcamera.so, loaded at run time from the
// program's folder. When the file is absent (or lacks a call) the library lists no devices and
// every call answers -1 without effect.

#include <string>

#include "camera/maker/nr_camera_api.h"

#define NS_MAKER_CALLS(X)                                                                     \
    X(NRCamera_Get_DevList) X(NRCamera_Init) X(NRCamera_Play) X(NRCamera_Pause)               \
    X(NRCamera_Stop) X(NRCamera_UnInit) X(NRCameraISP) X(NRCamera_CaptureToBuf)               \
    X(NRCamera_Get_ResolutionCount) X(NRCamera_Get_ResolutionSize)                            \
    X(NRCamera_Get_ResolutionIndex) X(NRCamera_Set_ResolutionIndex)                           \
    X(NRCamera_Get_StillResolutionCount) X(NRCamera_Get_StillResolutionSize)                  \
    X(NRCamera_Get_StillResolutionIndex) X(NRCamera_Set_StillResolutionIndex)                 \
    X(NRCamera_Get_Resolution) X(NRCamera_Set_Resolution) X(NRCamera_IsSupportROI)            \
    X(NRCamera_Set_AeState) X(NRCamera_Get_AeState) X(NRCamera_Set_AeTarget)                  \
    X(NRCamera_Get_AeTarget) X(NRCamera_Set_ExpoTime) X(NRCamera_Get_ExpoTime)                \
    X(NRCamera_Set_AnalogGain) X(NRCamera_Get_AnalogGain) X(NRCamera_Get_SupportAutoGain)     \
    X(NRCamera_Set_Gain) X(NRCamera_Get_Gain) X(NRCamera_Set_Gamma) X(NRCamera_Get_Gamma)     \
    X(NRCamera_Set_Saturation) X(NRCamera_Get_Saturation) X(NRCamera_Set_Contrast)            \
    X(NRCamera_Get_Contrast) X(NRCamera_Set_Hue) X(NRCamera_Get_Hue)                          \
    X(NRCamera_Set_Brightness) X(NRCamera_Get_Brightness) X(NRCamera_Set_Sharpen)             \
    X(NRCamera_Get_Sharpen) X(NRCamera_Set_HFlip) X(NRCamera_Get_HFlip) X(NRCamera_Set_VFlip) \
    X(NRCamera_Get_VFlip) X(NRCamera_Set_FrameSpeed) X(NRCamera_Get_FrameSpeed)               \
    X(NRCamera_Set_LightFrequency) X(NRCamera_Get_LightFrequency) X(NRCamera_Get_Capability)  \
    X(NRCamera_Set_OnceWB) X(NRCamera_Set_WhiteBlanceCallback)                                \
    X(NRCamera_Get_CaptureFrameRate) X(NRCamera_Get_DisplayFrameRate) X(NRCamera_Sim_SetStage) \
    X(NRCamera_Sim_MoveStage) X(NRCamera_Sim_SetFocus) X(NRCamera_Sim_SetFaults)               \
    X(NRCamera_Sim_GetStage) X(NRCamera_Sim_MoveStagePixels) X(NRCamera_Sim_SetStageDrift)

// The library's calls, null when absent.
struct MakerCalls {
#define NS_MAKER_POINTER(name) decltype(&::name) name = nullptr;
    NS_MAKER_CALLS(NS_MAKER_POINTER)
#undef NS_MAKER_POINTER
};

class CMakerLibrary {
public:
    static constexpr const char* kFileName = "libnrcamera.so";

    CMakerLibrary() = default;
    ~CMakerLibrary();
    CMakerLibrary(const CMakerLibrary&) = delete;
    CMakerLibrary& operator=(const CMakerLibrary&) = delete;

    // Loads the library from folder (empty: the program's folder). False when it is absent.
    bool Load(const std::string& folder = {});
    void Unload();
    bool IsLoaded() const { return m_handle != nullptr; }

    // Calls one library function, or answers -1 when the library or the call is absent.
    template <class... P, class... A>
    int Call(int (*fn)(P...), A... args) const {
        return fn ? fn(static_cast<P>(args)...) : -1;
    }
    const MakerCalls& Fn() const { return m_calls; }

private:
    void* m_handle = nullptr;
    MakerCalls m_calls;
};

// The folder of the running program (where the camera libraries and modules are installed).
std::string ProgramFolder();
