#pragma once
// CModuleFamily: the four camera models served by the run-time loaded driver modules (MC-A …
// MC-D, camera kinds 1 to 4), through the process-wide module loader. The resolution tables,
// the modules' reversed resolution numbering, exposure in sensor rows, gains in 1/64 and the
// settings a module lacks live here.

#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "camera/camera_family.h"

struct ModuleState;

class CModuleFamily final : public ICameraFamily {
public:
    CModuleFamily() = default;
    ~CModuleFamily() override;

    // Resolution tables of the module cameras, index 0 (the smallest) first.
    static const std::vector<std::pair<int, int>>& Resolutions(int kind);
    // A table row as the module numbers it (largest first); rows outside the table as row 0.
    static int ResolutionNumber(int kind, int row);
    // The model name of a module kind ("MC-A" for kind 1).
    static const char16_t* ModelName(int kind);

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
    int LiveBitCount() override { return 24; }
    int StillBitCount() override { return 24; }
    int PreviewSize(int* width, int* height) override;
    int ApplyPreviewSize(int, int) override { return 0; }
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
    std::unique_ptr<IStageControl> OpenStage() override;

private:
    ModuleState& State() const;
    bool Loaded() const;
    // Calls an entry point of the open camera's module; -1 (with the reason) when it is absent.
    template <class Fn, class... A>
    int Call(Fn ModuleState::*entry, const char* name, A... args);
    int Check(int status, const char* call);
    int CurrentRow(int* row);
    int RowTime(uint32_t* microseconds);
    void JoinWhiteBalance();

    int m_kind = 0;  // the open camera's module, 1..4; 0 none
    bool m_bOpen = false;
    std::thread m_wbThread;  // the one-shot white balance waits its second here

    CFailureReason m_failure{"module camera:"};
};
