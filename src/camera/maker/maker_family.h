#pragma once
// CMakerFamily: the maker's own USB cameras through the maker library (libnrcamera.so). The
// library counts white-balance gains as factors (1.0 neutral) and frame speeds from 1; the
// program counts gains in hundredths and speeds from 0, and these conversions live here.

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "camera/camera_family.h"
#include "camera/maker/maker_library.h"

class CMakerFamily final : public ICameraFamily {
public:
    CMakerFamily() = default;
    ~CMakerFamily() override;

    const CMakerLibrary& Library() const { return m_lib; }

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
    int LiveBitCount() override { return 32; }
    int StillBitCount() override { return 24; }
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
    bool RegulatesGain() override;

    std::string LastError() const override;
    std::unique_ptr<IStageControl> OpenStage() override;

private:
    // The library's context record for the open camera.
    struct Context {
        CameraFrameSink sink = nullptr;
        void* user = nullptr;
        void* window = nullptr;
        int libraryIndex = 0;
        decltype(&::NRCameraISP) isp = nullptr;
    };
    static int Isp(int a, uint8_t* raw, FCBitmapInfoHeader* header, void* context);
    static void WhiteBalanceDone(int, double red, double green, double blue, void* self);

    // The status of a library call; a failure keeps what the library says about it.
    int Check(int status, const char* call);
    int Index() const { return m_context.libraryIndex; }

    CMakerLibrary m_lib;
    Context m_context;
    bool m_bOpen = false;
    // The serial numbers of the last enumeration, by library index.
    std::vector<std::string> m_serials;
    std::vector<std::string> m_models;

    // The page's white-balance callback, handed the gains in hundredths.
    std::atomic<CameraWhiteBalanceCallback> m_wbCallback{nullptr};
    std::atomic<void*> m_wbUser{nullptr};

    CFailureReason m_failure{"maker camera:"};
};
