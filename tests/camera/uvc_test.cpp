// UVCCamera over the device-call fake: the device list, formats and sizes, controls, the fake's
// own strictness, the device watch and the emulated cameras. Streaming is in uvc_test_stream.cpp.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "camera/device_watch.h"
#include "camera/uvc/fake_v4l2.h"
#include "camera/uvc/uvc_camera.h"
#include "camera/uvc/uvc_properties.h"

namespace {

std::u16string Name(const char16_t* s) {
    return std::u16string(s);
}

FakeDeviceConfig Device(const std::string& card) {
    FakeDeviceConfig c;
    c.card = card;
    c.stillScene = true;
    return c;
}

class UvcCameraTest : public testing::Test {
protected:
    void Use(std::vector<FakeDeviceConfig> devices) {
        fake = std::make_shared<CFakeV4l2>(std::move(devices));
        cam.SetSys(fake);
        ASSERT_EQ(cam.InitializeAPI(), 0);
    }
    // Lists the cameras and opens the one at index.
    void Open(int index = 0) {
        std::vector<CameraInformation> list(8);
        int n = 8;
        ASSERT_EQ(cam.UVCCam_Get_DevList(list.data(), &n), 0);
        ASSERT_LT(index, n);
        ASSERT_EQ(cam.UVCCamInit(nullptr, nullptr, nullptr, list[index].name, index), 0);
    }
    std::vector<std::pair<int, int>> Sizes() {
        int n = 0;
        EXPECT_EQ(cam.Camera_Get_ResolutionCount(&n), 0);
        std::vector<std::pair<int, int>> out;
        for (int i = 0; i < n; ++i) {
            int w = 0, h = 0;
            EXPECT_EQ(cam.Camera_Get_ResolutionSize(i, &w, &h), 0);
            out.emplace_back(w, h);
        }
        return out;
    }
    int32_t DeviceControl(uint32_t id) {
        const int fd = fake->Open(fake->CapturePath(0).c_str(), O_RDWR);
        v4l2_control c{};
        c.id = id;
        EXPECT_EQ(fake->Ioctl(fd, VIDIOC_G_CTRL, &c), 0);
        fake->Close(fd);
        return c.value;
    }

    void TearDown() override { cam.UnInitializeAPI(); }

    std::shared_ptr<CFakeV4l2> fake;
    UVCCamera cam;
};

TEST_F(UvcCameraTest, ListsStreamingCaptureNodesByCardName) {
    // A camera that only offers H.264 cannot be shown and is not listed; metadata nodes never.
    FakeDeviceConfig h264 = Device("H264 Only Camera");
    h264.formats = {{V4L2_PIX_FMT_H264, "H.264", {{640, 480, {30}}}, {}}};
    Use({Device("Kamera Ü 1"), h264, Device("Second Camera")});
    EXPECT_EQ(fake->ListDevices().size(), 6u);

    CameraInformation list[8];
    int n = 8;
    ASSERT_EQ(cam.UVCCam_Get_DevList(list, &n), 0);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(Name(list[0].name), u"Kamera Ü 1");
    EXPECT_EQ(Name(list[1].name), u"Second Camera");
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(list[i].kind, KindUvc);
        EXPECT_EQ(list[i].listIndex, i);
        EXPECT_EQ(list[i].libraryIndex, i);
        EXPECT_EQ(list[i].modeFirst, 0);
    }

    // Room for one: one written.
    n = 1;
    ASSERT_EQ(cam.UVCCam_Get_DevList(list, &n), 0);
    EXPECT_EQ(n, 1);
    EXPECT_NE(cam.UVCCam_Get_DevList(nullptr, &n), 0);

    // An unplugged camera leaves the list; opening by a name no longer listed fails.
    fake->Unplug(0);
    n = 8;
    ASSERT_EQ(cam.UVCCam_Get_DevList(list, &n), 0);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(Name(list[0].name), u"Second Camera");
    EXPECT_NE(cam.UVCCamInit(nullptr, nullptr, nullptr, u"Kamera Ü 1", 0), 0);
    // Opened by name when the caller's index is stale.
    EXPECT_EQ(cam.UVCCamInit(nullptr, nullptr, nullptr, u"Second Camera", 1), 0);
}

TEST_F(UvcCameraTest, CallsWithoutAnOpenCameraFail) {
    Use({Device("Cam")});
    int w = 0, h = 0, n = 4;
    double v = 0;
    float fps = 0;
    char16_t names[4][16];
    EXPECT_EQ(cam.UVCCamPlay(), -1);
    EXPECT_EQ(cam.UVCPause(), -1);
    EXPECT_EQ(cam.UVCCamStop(), -1);
    EXPECT_EQ(cam.UVCCamUnit(), -1);
    EXPECT_EQ(cam.UVCGetPreviewSize(&w, &h), -1);
    EXPECT_EQ(cam.Camera_Get_ResolutionCount(&n), -1);
    EXPECT_EQ(cam.Gamera_Get_MediaTypes(names, &n), -1);
    EXPECT_EQ(cam.Camera_Get_VideoPropertyRane(PropBrightness, &v, &v, &v), -1);
    EXPECT_EQ(cam.Camera_Get_CaptureFrameRate(&fps), -1);
    EXPECT_EQ(cam.UVCShowUVCProcessPropertyPages(), -1);
    std::vector<uint8_t> buf(640 * 480 * 3);
    EXPECT_EQ(cam.CameraCaptureToBuf(buf.data(), 1, 0), -1);
    EXPECT_EQ(cam.Camera_GetBitCount(), 24);
}

TEST_F(UvcCameraTest, MediaTypesAndFrameSizes) {
    FakeDeviceConfig c = Device("Cam");
    FakeFormat mjpg{V4L2_PIX_FMT_MJPEG, "Motion-JPEG", {}, {}};
    // Listed in the driver's order, offered smallest first; 426 x 240 would need padded rows.
    mjpg.sizes = {{1280, 720, {30}}, {320, 240, {30}}, {426, 240, {30}}, {640, 480, {30, 15}}};
    FakeFormat grey{V4L2_PIX_FMT_GREY, "Greyscale", {{640, 480, {30}}}, {}};
    FakeFormat yuyv{V4L2_PIX_FMT_YUYV, "YUYV 4:2:2", {}, {}};
    yuyv.stepwise = {160, 1280, 16, 120, 960, 8, 20};
    c.formats = {mjpg, grey, yuyv};
    Use({c});
    Open();

    char16_t names[4][16];
    int n = 4;
    ASSERT_EQ(cam.Gamera_Get_MediaTypes(names, &n), 0);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(Name(names[0]), u"MJPG");
    EXPECT_EQ(Name(names[1]), u"YUY2");
    n = 1;
    ASSERT_EQ(cam.Gamera_Get_MediaTypes(names, &n), 0);
    EXPECT_EQ(n, 1);

    using Sizes_ = std::vector<std::pair<int, int>>;
    EXPECT_EQ(Sizes(), (Sizes_{{320, 240}, {640, 480}, {1280, 720}}));
    // The device starts at 640 x 480: that is the live size.
    int w = 0, h = 0, i = -1;
    ASSERT_EQ(cam.UVCGetPreviewSize(&w, &h), 0);
    EXPECT_EQ(std::pair(w, h), std::pair(640, 480));
    ASSERT_EQ(cam.Camera_Get_ResolutionIndex(&i), 0);
    EXPECT_EQ(i, 1);
    ASSERT_EQ(cam.Camera_Get_StillResolutionCount(&n), 0);
    EXPECT_EQ(n, 3);
    ASSERT_EQ(cam.Camera_Get_StillResolutionSize(2, &w, &h), 0);
    EXPECT_EQ(std::pair(w, h), std::pair(1280, 720));
    EXPECT_NE(cam.Camera_Get_ResolutionSize(3, &w, &h), 0);

    // The stepwise format offers the usual sizes on its grid, and its largest.
    ASSERT_EQ(cam.Camera_Set_MediaTypeByIndex(1), 0);
    const Sizes_ stepped = Sizes();
    EXPECT_EQ(stepped.front(), std::pair(160, 120));
    EXPECT_EQ(stepped.back(), std::pair(1280, 960));
    for (auto [sw, sh] : stepped) {
        EXPECT_EQ((sw - 160) % 16, 0) << sw;
        EXPECT_EQ((sh - 120) % 8, 0) << sh;
    }
    EXPECT_NE(std::find(stepped.begin(), stepped.end(), std::pair(640, 480)), stepped.end());
    ASSERT_EQ(cam.UVCGetPreviewSize(&w, &h), 0);
    EXPECT_EQ(std::pair(w, h), std::pair(640, 480));  // kept: the new format has it
    EXPECT_NE(cam.Camera_Set_MediaTypeByIndex(2), 0);

    // Sizes outside the list are refused.
    EXPECT_NE(cam.UVCSetPreviewSize(641, 480), 0);
    EXPECT_EQ(cam.UVCSetPreviewSize(1280, 720), 0);
    ASSERT_EQ(cam.Camera_Get_ResolutionIndex(&i), 0);
    EXPECT_EQ(Sizes()[i], std::pair(1280, 720));
}

TEST_F(UvcCameraTest, PropertiesRoundTripWithRangesAndAutomaticModes) {
    Use({Device("Cam")});
    Open();
    struct Case {
        int property;
        double min, max, initial, set, expect;
    };
    // Values beyond the range are clamped; the temperature lands on its 10-kelvin grid.
    const Case cases[] = {
        {PropBrightness, -64, 64, 0, 100, 64},
        {PropContrast, 0, 100, 50, 30, 30},
        {PropHue, -180, 180, 0, -200, -180},
        {PropSaturation, 0, 100, 50, 75, 75},
        {PropSharpness, 0, 7, 2, 5, 5},
        {PropGamma, 72, 500, 100, 220, 220},
        {PropGain, 0, 100, 0, 40, 40},
        {PropHFlip, 0, 1, 0, 1, 1},
        {PropVFlip, 0, 1, 0, 1, 1},
        {kUvcPropPowerLineFrequency, 0, 2, 1, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.property);
        double lo = 0, hi = 0, v = 0;
        ASSERT_EQ(cam.Camera_Get_VideoPropertyRane(c.property, &lo, &hi, &v), 0);
        EXPECT_EQ(lo, c.min);
        EXPECT_EQ(hi, c.max);
        EXPECT_EQ(v, c.initial);
        ASSERT_EQ(cam.Camera_Set_VideoProperty(c.property, c.set, 1), 0);
        int automatic = -1;
        ASSERT_EQ(cam.Camera_Get_VideoProperty(c.property, &v, &automatic), 0);
        EXPECT_EQ(v, c.expect);
        EXPECT_EQ(automatic, 0);
    }
    // The controls reach the sensor.
    const SimSensorSettings s = fake->SensorSettings(0);
    EXPECT_TRUE(s.hFlip);
    EXPECT_TRUE(s.vFlip);
    EXPECT_DOUBLE_EQ(s.gamma, 2.2);

    // Exposure: automatic by default; manual with a value; automatic again with flag 1.
    double v = 0, lo = 0, hi = 0;
    int automatic = 0;
    ASSERT_EQ(cam.Camera_Get_VideoPropertyRane(PropExposure, &lo, &hi, &v), 0);
    EXPECT_EQ(lo, 3);
    EXPECT_EQ(hi, 2047);
    ASSERT_EQ(cam.Camera_Get_VideoProperty(PropExposure, &v, &automatic), 0);
    EXPECT_EQ(automatic, 1);
    ASSERT_EQ(cam.Camera_Set_VideoProperty(PropExposure, 250, 0), 0);
    ASSERT_EQ(cam.Camera_Get_VideoProperty(PropExposure, &v, &automatic), 0);
    EXPECT_EQ(automatic, 0);
    EXPECT_EQ(v, 250);
    EXPECT_EQ(DeviceControl(V4L2_CID_EXPOSURE_AUTO), V4L2_EXPOSURE_MANUAL);
    EXPECT_DOUBLE_EQ(fake->SensorSettings(0).exposureUs, 25000);
    ASSERT_EQ(cam.Camera_Set_VideoProperty(PropExposure, 250, 1), 0);
    ASSERT_EQ(cam.Camera_Get_VideoProperty(PropExposure, &v, &automatic), 0);
    EXPECT_EQ(automatic, 1);
    // The device offers aperture priority, not full automatic.
    EXPECT_EQ(DeviceControl(V4L2_CID_EXPOSURE_AUTO), V4L2_EXPOSURE_APERTURE_PRIORITY);

    // White balance: automatic by default; a temperature switches to manual.
    ASSERT_EQ(cam.Camera_Get_VideoPropertyRane(PropWhiteBalance, &lo, &hi, &v), 0);
    EXPECT_EQ(lo, 2800);
    EXPECT_EQ(hi, 6500);
    ASSERT_EQ(cam.Camera_Get_VideoProperty(PropWhiteBalance, &v, &automatic), 0);
    EXPECT_EQ(automatic, 1);
    ASSERT_EQ(cam.Camera_Set_VideoProperty(PropWhiteBalance, 3204, 0), 0);
    ASSERT_EQ(cam.Camera_Get_VideoProperty(PropWhiteBalance, &v, &automatic), 0);
    EXPECT_EQ(automatic, 0);
    EXPECT_EQ(v, 3200);
    EXPECT_EQ(DeviceControl(V4L2_CID_AUTO_WHITE_BALANCE), 0);
    // A warmer setting than the 4000 K lamp: the sensor's gains add blue.
    EXPECT_GT(fake->SensorSettings(0).wbBlue, fake->SensorSettings(0).wbRed);
    ASSERT_EQ(cam.Camera_Set_VideoProperty(PropWhiteBalance, 0, 1), 0);
    EXPECT_EQ(DeviceControl(V4L2_CID_AUTO_WHITE_BALANCE), 1);

    // What the device lacks answers non-zero, and leaves nothing changed.
    for (int p :
         std::initializer_list<int>{PropRedGain, PropGreenGain, PropBlueGain, PropExposureTarget,
                                    kUvcPropBacklightCompensation, 6, 99, -1}) {
        SCOPED_TRACE(p);
        EXPECT_NE(cam.Camera_Get_VideoPropertyRane(p, &lo, &hi, &v), 0);
        EXPECT_NE(cam.Camera_Get_VideoProperty(p, &v, &automatic), 0);
        EXPECT_NE(cam.Camera_Set_VideoProperty(p, 1, 1), 0);
    }
}

TEST_F(UvcCameraTest, ControlFailuresAreReported) {
    FakeDeviceConfig c = Device("Cam");
    c.faults.ioctls = {{VIDIOC_S_CTRL, EIO, 1, 0}};
    Use({c});
    Open();
    EXPECT_NE(cam.Camera_Set_VideoProperty(PropBrightness, 10, 1), 0);
    EXPECT_EQ(cam.Camera_Set_VideoProperty(PropBrightness, 10, 1), 0);
    double v = 0;
    int automatic = 0;
    ASSERT_EQ(cam.Camera_Get_VideoProperty(PropBrightness, &v, &automatic), 0);
    EXPECT_EQ(v, 10);
}

// The fake answers wrong sequences the way a driver does, so mistakes above it show.
TEST(FakeV4l2, RefusesWrongSequencesWithTheDriversErrno) {
    FakeDeviceConfig cfg;
    cfg.stillScene = true;
    CFakeV4l2 fake({cfg});
    const std::string path = fake.CapturePath(0);
    const int fd = fake.Open(path.c_str(), O_RDWR | O_NONBLOCK);
    const int other = fake.Open(path.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    auto call = [&](int f, unsigned long req, void* arg) {
        errno = 0;
        return fake.Ioctl(f, req, arg) == 0 ? 0 : errno;
    };
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    v4l2_buffer b{};
    b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    b.memory = V4L2_MEMORY_MMAP;

    EXPECT_EQ(call(fd, VIDIOC_STREAMON, &type), EINVAL);  // no buffers
    EXPECT_EQ(call(fd, VIDIOC_QBUF, &b), EINVAL);         // no buffers either

    v4l2_requestbuffers req{};
    req.count = 2;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_USERPTR;
    EXPECT_EQ(call(fd, VIDIOC_REQBUFS, &req), EINVAL);  // only mmap
    req.memory = V4L2_MEMORY_MMAP;
    ASSERT_EQ(call(fd, VIDIOC_REQBUFS, &req), 0);
    EXPECT_EQ(call(other, VIDIOC_REQBUFS, &req), EBUSY);  // another file owns the queue

    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    ASSERT_EQ(call(fd, VIDIOC_G_FMT, &f), 0);
    EXPECT_EQ(call(fd, VIDIOC_S_FMT, &f), EBUSY);  // buffers exist

    b.index = 7;
    EXPECT_EQ(call(fd, VIDIOC_QBUF, &b), EINVAL);  // unknown index
    b.index = 0;
    ASSERT_EQ(call(fd, VIDIOC_QUERYBUF, &b), 0);
    void* p = fake.Mmap(b.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, b.m.offset);
    ASSERT_NE(p, MAP_FAILED);
    EXPECT_EQ(fake.Mmap(b.length, PROT_READ, MAP_PRIVATE, fd, b.m.offset), MAP_FAILED);
    EXPECT_EQ(call(fd, VIDIOC_DQBUF, &b), EINVAL);  // not streaming

    ASSERT_EQ(call(fd, VIDIOC_STREAMON, &type), 0);
    EXPECT_EQ(call(fd, VIDIOC_DQBUF, &b), EAGAIN);  // nothing queued, nothing to fill
    ASSERT_EQ(call(fd, VIDIOC_QBUF, &b), 0);
    EXPECT_EQ(call(fd, VIDIOC_QBUF, &b), EINVAL);    // already queued
    EXPECT_EQ(call(other, VIDIOC_QBUF, &b), EBUSY);  // not the owner
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    EXPECT_EQ(call(fd, VIDIOC_S_PARM, &parm), EBUSY);
    pollfd pfd{fd, POLLIN, 0};
    ASSERT_EQ(fake.Poll(&pfd, 1, 10000), 1);
    EXPECT_TRUE(pfd.revents & POLLIN);
    ASSERT_EQ(call(fd, VIDIOC_DQBUF, &b), 0);
    EXPECT_EQ(b.index, 0u);
    EXPECT_GT(b.bytesused, 0u);
    ASSERT_EQ(call(fd, VIDIOC_STREAMOFF, &type), 0);

    req.count = 0;
    EXPECT_EQ(call(fd, VIDIOC_REQBUFS, &req), EBUSY);  // still mapped
    ASSERT_EQ(fake.Munmap(p, b.length), 0);
    EXPECT_NE(fake.Munmap(p, b.length), 0);  // twice
    EXPECT_EQ(call(fd, VIDIOC_REQBUFS, &req), 0);
    EXPECT_EQ(fake.RequestedBuffers(0), 0);

    // Unplugged: every call on an open file fails with ENODEV, the node is gone.
    fake.Unplug(0);
    v4l2_capability cap{};
    EXPECT_EQ(call(fd, VIDIOC_QUERYCAP, &cap), ENODEV);
    EXPECT_EQ(fake.Open(path.c_str(), O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(fake.Close(fd), 0);
    EXPECT_EQ(fake.Close(other), 0);
    EXPECT_NE(fake.Close(fd), 0);
    EXPECT_EQ(fake.OpenFiles(0), 0);
}

TEST(DeviceWatch, StartsAndStopsCleanly) {
    // No udev daemon runs here, so no notice arrives: only the life cycle can be checked.
    CDeviceWatch watch;
    EXPECT_FALSE(watch.Start(nullptr, nullptr));
    EXPECT_FALSE(watch.Running());
    static std::atomic<int> calls{0};
    auto cb = [](int, int, void*) { ++calls; };
    for (int i = 0; i < 5; ++i) {
        const bool started = watch.Start(cb, nullptr);
        EXPECT_EQ(watch.Running(), started);
        watch.Stop();
        EXPECT_FALSE(watch.Running());
        watch.Stop();
    }
    {
        CDeviceWatch scoped;
        scoped.Start(cb, nullptr);
    }  // the destructor stops it
    EXPECT_EQ(calls.load(), 0);
}

TEST(UvcEmulatedCameras, EnvironmentSelectsTheFake) {
    // theUVCCamera() reads the variable once; no other test here touches the process-wide one.
    setenv("NORVANESCOPE_FAKE_V4L2", "2", 1);
    UVCCamera& cam = theUVCCamera();
    ASSERT_EQ(cam.InitializeAPI(), 0);
    CameraInformation list[8];
    int n = 8;
    ASSERT_EQ(cam.UVCCam_Get_DevList(list, &n), 0);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(Name(list[0].name), u"Emulated UVC Camera 1");
    EXPECT_EQ(Name(list[1].name), u"Emulated UVC Camera 2");
    ASSERT_EQ(cam.UVCCamInit(nullptr, nullptr, nullptr, list[1].name, 1), 0);
    int w = 0, h = 0;
    EXPECT_EQ(cam.UVCGetPreviewSize(&w, &h), 0);
    EXPECT_EQ(cam.UVCCamUnit(), 0);
    EXPECT_EQ(cam.UnInitializeAPI(), 0);
    unsetenv("NORVANESCOPE_FAKE_V4L2");
}

}  // namespace
