#pragma once
// CFakeV4l2: emulated UVC cameras at the device-call level, for machines without a camera.
//
// Each emulated camera is a capture node (and, like a real UVC camera, a metadata node beside
// it) that answers the V4L2 calls a UVC driver answers: capabilities, formats, frame sizes and
// intervals, formats and stream parameters, controls with ranges, defaults and automatic modes,
// and memory-mapped streaming. Frames are rendered by a simulated sensor (sim_sensor.h) looking
// at the virtual specimen and delivered as real Motion-JPEG or YUYV data, paced at the frame
// interval; the controls act on the sensor, so a brighter setting gives a brighter picture.
//
// It is as strict as a driver: queueing an unknown or already queued buffer, starting a stream
// without buffers, changing the format while buffers exist, freeing mapped buffers, or
// requesting buffers on a file that does not own them fail with the driver's errno. A script of
// faults per camera (FakeFaults) makes it stall, vanish, refuse mapping or fail chosen calls.
//
// Besides the tests, the program uses it when the environment variable NORVANESCOPE_FAKE_V4L2
// holds a count N from 1 to 4: theUVCCamera() then lists N cameras named "Emulated UVC Camera 1"
// ... "Emulated UVC Camera N" instead of the real ones, so the UVC family can be shown and tried
// on a machine without a camera.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "camera/sim/sim_sensor.h"
#include "camera/uvc/v4l2_sys.h"

struct FakeFrameSize {
    int width = 0;
    int height = 0;
    std::vector<double> fps;  // the frame rates offered at this size, fastest first
};

struct FakeFormat {
    uint32_t fourcc = 0;  // MJPG and YUYV produce pictures; other formats stream empty frames
    std::string description;
    std::vector<FakeFrameSize> sizes;
    // A stepwise size range instead of the discrete sizes, when maxWidth > 0.
    struct Stepwise {
        int minWidth = 0, maxWidth = 0, stepWidth = 1;
        int minHeight = 0, maxHeight = 0, stepHeight = 1;
        double maxFps = 30;
    } stepwise;
};

// A call that fails on purpose: the request (VIDIOC_…) answers error, count times (-1: always),
// once afterFrames frames have been produced.
struct FakeIoctlFault {
    unsigned long request = 0;
    int error = 0;
    int count = 1;
    int64_t afterFrames = 0;
};

struct FakeFaults {
    int64_t stallAfterFrames = -1;   // no frame after this many; the stream stays on
    int64_t removeAfterFrames = -1;  // unplugged after this many: ENODEV from then on
    bool refuseMmap = false;
    int openError = 0;  // open() of the camera's nodes fails with this errno (EACCES, EBUSY)
    std::vector<FakeIoctlFault> ioctls;
};

struct FakeDeviceConfig {
    std::string card = "Emulated UVC Camera 1";
    std::vector<FakeFormat> formats;  // empty: Motion-JPEG and YUYV at the usual sizes
    bool metadataNode = true;
    // No sensor noise and a still stage: every frame is the same picture.
    bool stillScene = false;
    // Motion-JPEG frames without Huffman tables, as many UVC cameras send them.
    bool mjpegWithoutHuffmanTables = false;
    int jpegQuality = 85;
    // Controls this camera lacks (V4L2_CID_GAIN, ...), as cameras without them do.
    std::vector<uint32_t> missingControls;
    int sensorWidth = 1920;
    int sensorHeight = 1080;
    uint64_t seed = 1234;
    FakeFaults faults;
};

class CFakeV4l2 final : public IV4l2Sys {
public:
    explicit CFakeV4l2(std::vector<FakeDeviceConfig> devices);
    ~CFakeV4l2() override;
    CFakeV4l2(const CFakeV4l2&) = delete;
    CFakeV4l2& operator=(const CFakeV4l2&) = delete;

    // count cameras named "Emulated UVC Camera 1" ... (count clamped to 1..4).
    static std::shared_ptr<CFakeV4l2> Emulated(int count);
    // The formats of an emulated camera: Motion-JPEG 320x240 to 1920x1080 at 30 and 15 frames
    // per second, YUYV 320x240 and 640x480 at 30 and 15, 1280x720 at 10 and 5.
    static std::vector<FakeFormat> DefaultFormats();

    std::vector<std::string> ListDevices() override;
    int Open(const char* path, int flags) override;
    int Close(int fd) override;
    int Ioctl(int fd, unsigned long request, void* arg) override;
    void* Mmap(size_t length, int prot, int flags, int fd, off_t offset) override;
    int Munmap(void* addr, size_t length) override;
    int Poll(pollfd* fds, nfds_t count, int timeoutMs) override;

    // Steering and inspection by camera number (position in the configuration list).
    std::string CapturePath(int device) const;
    void SetFaults(int device, const FakeFaults& faults);
    void Unplug(int device);
    int64_t FramesProduced(int device) const;
    // The data of the last frame produced and its format.
    std::vector<uint8_t> LastFrame(int device, uint32_t* fourcc, int* width, int* height) const;
    int OpenFiles(int device) const;
    int MappedBuffers(int device) const;
    int RequestedBuffers(int device) const;
    bool Streaming(int device) const;
    SimSensorSettings SensorSettings(int device) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};
