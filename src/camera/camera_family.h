#pragma once
// ICameraFamily: one family of cameras behind the camera manager (the maker library, the driver
// modules, UVC cameras on V4L2). The manager owns one adapter per family and forwards each of its
// calls to the adapter of the open camera; the family's own numbers (ranges, units, conversions,
// resolution tables) live in its adapter and nowhere else.
//
// Rules for every adapter: calls return an int status, 0 for success; a failed call leaves its
// outputs untouched and its reason in LastError (device path, errno text, time-out), which stays
// until the next failure. No exception leaves an adapter. One camera of a family is open at a
// time. Frames go to the sink on the family's own thread.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera/camera_property.h"
#include "camera/camera_types.h"
#include "camera/stage_control.h"

class ICameraFamily {
public:
    enum class List { Live, Still };

    virtual ~ICameraFamily() = default;

    // ---- the family's libraries ----
    // Loads what the family needs from folder (empty: the program's folder); the number of
    // libraries or modules loaded. A missing one simply lists no cameras.
    virtual int Load(const std::string& folder) = 0;
    virtual void Unload() = 0;
    // Appends the family's attached cameras to list, up to limit entries in all (kind,
    // libraryIndex, name and modes filled; the manager numbers them).
    virtual void Enumerate(std::vector<CameraDeviceEntry>& list, size_t limit) = 0;
    // Who a listed camera is, for the per-camera memory: model and serial number, or model and
    // the port it is plugged into.
    virtual std::string Identity(const CameraDeviceEntry& entry) = 0;

    // ---- the open camera ----
    virtual int Open(const CameraDeviceEntry& entry, void* window, CameraFrameSink sink, void* user) = 0;
    virtual int Play() = 0;
    virtual int Pause() = 0;
    virtual int Stop() = 0;
    virtual int Close() = 0;
    // False once the open camera has gone (unplugged, or no frames within the family's time-out).
    virtual bool Present() = 0;

    // A still into buffer (caller-allocated for the still size at StillBitCount bits).
    virtual int Capture(uint8_t* buffer, int stillIndex) = 0;
    virtual int LiveBitCount() = 0;
    virtual int StillBitCount() = 0;

    virtual int PreviewSize(int* width, int* height) = 0;
    // Makes the live size width x height where the family sets sizes directly (camera switching).
    virtual int ApplyPreviewSize(int width, int height) = 0;
    virtual int ResolutionCount(List list, int* count) = 0;
    virtual int ResolutionSize(List list, int i, int* width, int* height) = 0;
    virtual int ResolutionIndex(List list, int* i) = 0;
    virtual int SetResolutionIndex(List list, int i) = 0;
    virtual int MediaTypes(char16_t (*names)[16], int* count) = 0;
    virtual int SetMediaType(int i) = 0;
    // Frames per second captured, or shown (handed out); negative when unknown.
    virtual float FrameRate(bool display) = 0;

    // ---- settings ----
    // Every setting the open camera offers, described once (ranges as they are now: a module's
    // exposure range follows its row time).
    virtual CameraProperties Properties() = 0;
    virtual int GetProperty(CameraPropertyKey key, CameraPropertyValue* value) = 0;
    virtual int SetProperty(CameraPropertyKey key, const CameraPropertyValue& value) = 0;
    // The range query of the pages by property number (NRCamVideoProperty): status 0 and the
    // range with the current value, non-zero for a number the family does not answer.
    virtual int PropertyRange(int id, double* min, double* max, double* current) = 0;
    // The white-balance gains are measured once; the result goes to the white-balance callback
    // (in the units of the "wb" property) on a thread of the family's. Never blocks the caller.
    virtual int OneShotWhiteBalance() = 0;
    virtual int SetWhiteBalanceCallback(CameraWhiteBalanceCallback callback, void* user) = 0;
    // Whether automatic exposure also regulates the gain.
    virtual bool RegulatesGain() = 0;

    virtual std::string LastError() const = 0;

    // The stage under the open camera; only simulated cameras have one that can be steered.
    virtual std::unique_ptr<IStageControl> OpenStage() { return nullptr; }
};

// Why a family's last call failed: kept until the next failure, safe from any thread.
class CFailureReason {
public:
    explicit CFailureReason(const char* family) : m_family(family) {}
    // Keeps the reason; loud ones (a camera that does not open or start) are logged as well.
    void Keep(std::string reason, bool loud = false);
    std::string Text() const;

private:
    const char* m_family;
    mutable std::mutex m_mutex;
    std::string m_text;
};

// The range answer of a maker or module camera from its descriptions: brightness, contrast,
// hue, saturation, sharpness (the level), gamma, gain, the three gains, target and exposure;
// 0 to 0 for one of those the camera lacks; status 1 for other numbers.
int PropertyRangeFromDescriptions(ICameraFamily& family, int id, double* min, double* max, double* current);
