#pragma once
// CUvcFamily: generic UVC cameras through the process-wide UVCCamera (V4L2). Their settings are
// the device's own controls, addressed by property number ("uvc:N"); the ones with a plain name
// (brightness, contrast, hue, saturation, gamma, gain, hflip, vflip) are reachable by it too.
// The settings of the maker and module pages (automatic exposure, white-balance gains, ...)
// have no UVC counterpart and answer -1.

#include <string>
#include <vector>

#include "camera/camera_family.h"

class CUvcFamily final : public ICameraFamily {
public:
    int Load(const std::string& folder) override;
    void Unload() override;
    void Enumerate(std::vector<CameraDeviceEntry>& list, size_t limit) override;
    std::string Identity(const CameraDeviceEntry& entry) override;

    int Open(const CameraDeviceEntry& entry, void* window, CameraFrameSink sink, void* user) override;
    int Play() override;
    int Pause() override;
    int Stop() override;
    int Close() override;
    bool Present() override;

    int Capture(uint8_t* buffer, int stillIndex) override;
    int LiveBitCount() override;
    int StillBitCount() override;
    int PreviewSize(int* width, int* height) override;
    int ApplyPreviewSize(int width, int height) override;
    int ResolutionCount(List list, int* count) override;
    int ResolutionSize(List list, int i, int* width, int* height) override;
    int ResolutionIndex(List list, int* i) override;
    int SetResolutionIndex(List list, int i) override;
    int MediaTypes(char16_t (*names)[16], int* count) override;
    int SetMediaType(int i) override;
    float FrameRate(bool display) override;

    CameraProperties Properties() override;
    int GetProperty(CameraPropertyKey key, CameraPropertyValue* value) override;
    int SetProperty(CameraPropertyKey key, const CameraPropertyValue& value) override;
    int PropertyRange(int id, double* min, double* max, double* current) override;
    int OneShotWhiteBalance() override;
    int SetWhiteBalanceCallback(CameraWhiteBalanceCallback callback, void* user) override;
    bool RegulatesGain() override { return false; }

    std::string LastError() const override;

private:
    // The status of a library call; on failure the library's reason is kept.
    int Check(int status);

    std::vector<std::u16string> m_names;
    std::vector<std::string> m_ports;
    CFailureReason m_failure{"UVC camera:"};
};
