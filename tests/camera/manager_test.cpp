// The camera manager's own rules: enumeration order and naming, the module tables and index
// conversions, range answers and exposure conversion.

#include <gtest/gtest.h>

#include <unistd.h>

#include <linux/videodev2.h>

#include <QLoggingCategory>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>
#include <string>
#include <vector>

#include "camera/camera_manager.h"
#include "camera/module_family.h"
#include "camera/module_loader.h"
#include "camera/uvc/fake_v4l2.h"
#include "camera/uvc/uvc_camera.h"
#include "test_support.h"

namespace {

class Manager : public ::testing::Test {
public:  // the cases of a table set the fixture up
    void Start(const char* cameras, bool fakeUvc = false) {
        StartWith(cameras, fakeUvc ? CFakeV4l2::Emulated(1) : nullptr);
    }
    // Emulated UVC cameras of their own, or the machine's own devices (none here).
    void StartWith(const char* cameras, std::shared_ptr<CFakeV4l2> uvc) {
        setenv("NORVANESCOPE_SIM_CAMERAS", cameras, 1);
        cm.Shutdown();
        theUVCCamera().SetSys(std::move(uvc));
        cm.Startup();
        cm.EnumerateDevices(&count);
    }
    void TearDown() override {
        cm.Stop();
        cm.CloseCamera();
        cm.Shutdown();
        theUVCCamera().SetSys(nullptr);
    }
    std::vector<std::pair<int, std::u16string>> Entries() const {
        std::vector<std::pair<int, std::u16string>> out;
        for (const auto& e : cm.Devices()) out.emplace_back(e.kind, std::u16string(e.name));
        return out;
    }
    // Opens the first entry of a kind.
    void Open(int kind) {
        for (const auto& e : cm.Devices())
            if (e.kind == kind) {
                ASSERT_TRUE(cm.SelectDevice(e.listIndex));
                ASSERT_EQ(cm.OpenCamera(nullptr, nullptr, nullptr), 0);
                return;
            }
        FAIL() << "no camera of kind " << kind;
    }
    CCameraManager& cm = theCameraManager();
    int count = 0;
};

TEST_F(Manager, ListsModulesThenUvcThenMakerWithTheirNames) {
    Start("maker=1,maker-usb2=1,mc-a=1,mc-b=2,mc-c=0,mc-d=1", true);
    const auto entries = Entries();
    ASSERT_EQ(count, 7);
    const std::vector<int> kinds = {1, 2, 2, 4, 0, 5, 5};
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(entries[i].first, kinds[i]) << "entry " << i;
        EXPECT_EQ(cm.Devices()[i].listIndex, i);
    }
    EXPECT_EQ(entries[0].second, u"MC-A");
    // Two cameras of one model: two entries of its name, numbered within the module.
    EXPECT_EQ(entries[1].second, u"MC-B");
    EXPECT_EQ(entries[2].second, u"MC-B");
    EXPECT_EQ(cm.Devices()[1].libraryIndex, 0);
    EXPECT_EQ(cm.Devices()[2].libraryIndex, 1);
    EXPECT_EQ(entries[3].second, u"MC-D");
    EXPECT_EQ(cm.Devices()[3].libraryIndex, 0);
    EXPECT_FALSE(entries[4].second.empty());
    // The maker camera in USB 2.0 mode carries it in its name; the other does not.
    const std::u16string suffix = u"(USB2.0 mode)";
    EXPECT_FALSE(entries[5].second.ends_with(suffix));
    EXPECT_TRUE(entries[6].second.ends_with(suffix)) << std::string(entries[6].second.begin(), entries[6].second.end());
    EXPECT_EQ(cm.Devices()[6].modeFirst, 1);
    EXPECT_EQ(cm.Devices()[6].modeSecond, 0);
    EXPECT_EQ(cm.Devices()[0].modeFirst, 0);
}

TEST_F(Manager, NoneAttachedListsNothing) {
    Start("none");
    EXPECT_EQ(count, 0);
}

TEST_F(Manager, MissingModuleFilesRemoveTheirModelsSilently) {
    TempDir dir;
    // Only module 2 and the maker library are installed in this folder.
    for (const char* f : {"mcdrv_b.so", "libnrcamera.so"})
        ASSERT_EQ(symlink(BinPath(f).c_str(), dir.file(f).c_str()), 0);
    setenv("NORVANESCOPE_SIM_CAMERAS", "maker=1,mc-a=1,mc-b=1,mc-c=1,mc-d=1", 1);
    EXPECT_EQ(cm.Startup(dir.path()), 1);
    cm.EnumerateDevices(&count);
    const auto entries = Entries();
    ASSERT_EQ(count, 2);
    EXPECT_EQ(entries[0].second, u"MC-B");
    EXPECT_EQ(entries[1].first, KindMaker);
}

TEST_F(Manager, ModuleTablesAndNumbering) {
    struct Case {
        int kind;
        int size;
        int row;
        int number;
    };
    const Case cases[] = {
        {1, 3, 0, 2}, {1, 3, 2, 0}, {2, 3, 1, 1}, {3, 4, 0, 3}, {3, 4, 3, 0},
        {4, 5, 0, 4}, {4, 5, 4, 0}, {4, 5, 7, 4},  // a row outside the table counts as row 0
        {1, 3, -1, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(static_cast<int>(CModuleFamily::Resolutions(c.kind).size()), c.size);
        EXPECT_EQ(CModuleFamily::ResolutionNumber(c.kind, c.row), c.number) << "kind " << c.kind << " row " << c.row;
    }
    EXPECT_EQ(CModuleFamily::Resolutions(4).back(), std::make_pair(3488, 2616));
}

TEST_F(Manager, ModuleThreeStillAtIndexZeroIsItsSmallestSize) {
    Start("none,mc-c=1");
    Open(KindModule3);
    int w = 0, h = 0;
    cm.GetStillResolutionSize(0, &w, &h);
    ASSERT_EQ(std::make_pair(w, h), std::make_pair(640, 480));
    // Room for the largest still: only the 640 x 480 part may be written.
    const size_t small = 640 * 480 * 3;
    std::vector<uint8_t> buffer(2592 * 1944 * 3, 0x5A);
    ASSERT_EQ(cm.CaptureToBuffer(buffer.data(), 0), 0);
    EXPECT_TRUE(std::all_of(buffer.begin() + small, buffer.end(), [](uint8_t b) { return b == 0x5A; }));
    EXPECT_GT(std::count_if(buffer.begin(), buffer.begin() + small, [](uint8_t b) { return b != 0x5A; }),
              static_cast<long>(small / 2));
}

TEST_F(Manager, ModuleFourHandsOverOnlyStillsOfItsLiveSize) {
    Start("none,mc-d=1");
    Open(KindModule4);
    cm.Play();
    int live = -1;
    ASSERT_EQ(cm.GetStillResolutionIndex(&live), 0);
    ASSERT_EQ(live, 2);  // 1280 x 960
    // Index 0 is 640 x 480: a live frame would not fit the caller's buffer.
    std::vector<uint8_t> small(640 * 480 * 3, 0x33);
    EXPECT_EQ(cm.CaptureToBuffer(small.data(), 0), -1);
    EXPECT_TRUE(std::all_of(small.begin(), small.end(), [](uint8_t b) { return b == 0x33; }));
    std::vector<uint8_t> full(1280 * 960 * 3, 0x33);
    ASSERT_EQ(cm.CaptureToBuffer(full.data(), live), 0);
    EXPECT_GT(std::count_if(full.begin(), full.end(), [](uint8_t b) { return b != 0x33; }),
              static_cast<long>(full.size() / 2));
}

TEST_F(Manager, ModuleSettingsOutsideTheirRangeChangeNothing) {
    Start("none,mc-a=1");
    Open(KindModule1);
    ASSERT_EQ(cm.SetFrameSpeed(1), 0);
    ASSERT_EQ(cm.SetLightFrequency(1), 0);
    cm.SetFrameSpeed(2);
    cm.SetLightFrequency(2);
    int speed = -1, light = -1;
    ASSERT_EQ(cm.GetFrameSpeed(&speed), 0);
    ASSERT_EQ(cm.GetLightFrequency(&light), 0);
    EXPECT_EQ(speed, 1);
    EXPECT_EQ(light, 1);
}

TEST_F(Manager, ModuleExposureIsCountedInRows) {
    Start("none,mc-a=1,mc-b=1,mc-c=1,mc-d=1");
    for (int kind = KindModule1; kind <= KindModule4; ++kind) {
        cm.CloseCamera();
        Open(kind);
        uint32_t rowTime = 0;
        ASSERT_EQ(theModules().State(kind).CameraGetRowTime(&rowTime), 0);
        ASSERT_GT(rowTime, 0u);
        ASSERT_EQ(cm.SetExposureTime(20000), 0);
        uint32_t rows = 0;
        theModules().State(kind).CameraGetExposureTime(&rows);
        EXPECT_EQ(rows, 20000 / rowTime) << "kind " << kind;
        if (rowTime == 40) {
            EXPECT_EQ(rows, 500u);
        }
        int64_t t = 0;
        ASSERT_EQ(cm.GetExposureTime(&t), 0);
        EXPECT_EQ(t, static_cast<int64_t>(rows) * rowTime);
        int64_t max = 0, min = 0;
        ASSERT_EQ(cm.GetExposureRange(&max, &min), 0);
        EXPECT_EQ(min, 1);
        uint16_t maxRows = 0;
        theModules().State(kind).CameraGetMaxExposureTime(&maxRows);
        EXPECT_EQ(max, static_cast<int64_t>(maxRows) * rowTime);
    }
}

TEST_F(Manager, MakerResolutionsLeaveOutTheRegionOfInterestEntry) {
    Start("none,maker=2");
    // The first maker model lists four sizes and a region of interest; the second one size.
    Open(KindMaker);
    int roi = 0, libraryCount = 0, count = 0;
    const MakerCalls& fn = cm.Maker().Fn();
    fn.NRCamera_IsSupportROI(0, &roi);
    fn.NRCamera_Get_ResolutionCount(0, &libraryCount);
    ASSERT_EQ(cm.GetResolutionCount(&count), 0);
    ASSERT_EQ(roi, 1);
    EXPECT_EQ(libraryCount, 4);
    EXPECT_EQ(count, 3);
    cm.CloseCamera();
    ASSERT_TRUE(cm.SelectDevice(1));
    ASSERT_EQ(cm.OpenCamera(nullptr, nullptr, nullptr), 0);
    fn.NRCamera_Get_ResolutionCount(1, &libraryCount);
    ASSERT_EQ(libraryCount, 1);
    ASSERT_EQ(cm.GetResolutionCount(&count), 0);
    EXPECT_EQ(count, 1);
}

TEST_F(Manager, PropertyRangesByFamily) {
    Start("none,maker=1,mc-b=1", true);
    struct Case {
        int kind;
        int id;
        int status;
        double min, max;
    };
    const Case cases[] = {
        {KindMaker, PropBrightness, 0, -100, 100}, {KindMaker, PropContrast, 0, 0, 256},
        {KindMaker, PropHue, 0, -180, 180},        {KindMaker, PropSaturation, 0, 0, 200},
        {KindMaker, PropSharpness, 0, 30, 100},    {KindMaker, PropGamma, 0, 1, 255},
        {KindMaker, PropRedGain, 0, 10, 400},      {KindMaker, PropExposureTarget, 0, 1, 255},
        {KindMaker, 6, 1, 0, 0},                   {KindMaker, 15, 1, 0, 0},
        {KindModule2, PropBrightness, 0, 0, 0},    {KindModule2, PropContrast, 0, 20, 255},
        {KindModule2, PropGain, 0, 1, 48},         {KindModule2, PropBlueGain, 0, 20, 200},
        {KindModule2, PropSharpness, 0, 0, 0},     {KindModule2, 8, 1, 0, 0},
        {KindUvc, PropSharpness, 1, 0, 1},
    };
    int open = -1;
    for (const Case& c : cases) {
        if (c.kind != open) {
            cm.CloseCamera();
            Open(c.kind);
            open = c.kind;
        }
        double lo = 0, hi = 0, cur = -7;
        EXPECT_EQ(cm.GetPropertyRange(c.id, &lo, &hi, &cur), c.status) << c.kind << "/" << c.id;
        if (c.status == 0 || c.kind == KindUvc) {
            EXPECT_EQ(lo, c.min) << c.kind << "/" << c.id;
            EXPECT_EQ(hi, c.max) << c.kind << "/" << c.id;
            if (c.min < c.max) {
                EXPECT_TRUE(cur >= c.min && cur <= c.max) << c.kind << "/" << c.id << " " << cur;
            }
        }
    }
    // The maker's gains travel as hundredths.
    cm.CloseCamera();
    Open(KindMaker);
    ASSERT_EQ(cm.SetRgbGains(150, 100, 75), 0);
    int r = 0, g = 0, b = 0;
    ASSERT_EQ(cm.GetRgbGains(&r, &g, &b), 0);
    EXPECT_EQ(r, 150);
    EXPECT_EQ(g, 100);
    EXPECT_EQ(b, 75);
    ASSERT_EQ(cm.SetFrameSpeed(2), 0);
    int speed = -1;
    cm.GetFrameSpeed(&speed);
    EXPECT_EQ(speed, 2);
}

// Messages of the camera layer's logging category, while it lives.
class CameraLog {
public:
    CameraLog() {
        Lines().clear();
        m_previous = qInstallMessageHandler(&CameraLog::Handle);
    }
    ~CameraLog() { qInstallMessageHandler(m_previous); }
    static QStringList& Lines() {
        static QStringList lines;
        return lines;
    }

private:
    static void Handle(QtMsgType, const QMessageLogContext& context, const QString& text) {
        if (QLatin1String(context.category) == QLatin1String("norvanescope.camera")) Lines() << text;
    }
    QtMessageHandler m_previous = nullptr;
};

std::shared_ptr<CFakeV4l2> FakeWith(const FakeFaults& faults) {
    FakeDeviceConfig config;
    config.faults = faults;
    return std::make_shared<CFakeV4l2>(std::vector<FakeDeviceConfig>{config});
}

TEST_F(Manager, FailuresSayWhy) {
    // What is wrong, which call shows it, and what the reason must name.
    struct Case {
        const char* what;
        std::function<void(Manager&)> setUp;
        std::function<int(CCameraManager&)> failing;
        std::vector<std::string> reason;
    };
    const auto open = [](CCameraManager& m) { return m.OpenCamera(nullptr, nullptr, nullptr); };
    const auto openAndPlay = [](CCameraManager& m) {
        const int status = m.OpenCamera(nullptr, nullptr, nullptr);
        return status != 0 ? 0 : m.Play();
    };
    const Case cases[] = {
        {"no permission on the device node",
         [](Manager& t) {
             FakeFaults f;
             f.openError = EACCES;
             t.StartWith("none", FakeWith(f));
             // Listed all the same, so that choosing it tells why.
             ASSERT_EQ(t.count, 2);
             EXPECT_EQ(std::u16string(t.cm.Devices()[0].name), u"/dev/video0 (no access)");
             ASSERT_TRUE(t.cm.SelectDevice(0));
         },
         open, {"/dev/video0", "Permission denied"}},
        {"device busy when it starts streaming",
         [](Manager& t) {
             FakeFaults f;
             f.ioctls.push_back({VIDIOC_STREAMON, EBUSY, -1, 0});
             t.StartWith("none", FakeWith(f));
             ASSERT_TRUE(t.cm.SelectDevice(0));
         },
         openAndPlay, {"/dev/video0", "Device or resource busy"}},
        {"maker camera held by another program",
         [](Manager& t) {
             t.Start("none,maker=1:busy");
             ASSERT_TRUE(t.cm.SelectDevice(0));
         },
         open, {"camera 0 is in use by another program"}},
        {"driver module missing",
         [](Manager& t) {
             t.Start("none,mc-b=1");
             ASSERT_TRUE(t.cm.SelectDevice(0));
             t.cm.Shutdown();
             TempDir empty;
             t.cm.Startup(empty.path());  // no module in that folder
         },
         open, {"mcdrv_b.so", "not loaded"}},
        {"module camera unplugged before it plays",
         [](Manager& t) {
             t.Start("none,mc-a=1");
             t.Open(KindModule1);
             ASSERT_EQ(theModules().State(KindModule1).CameraSimSetFaults(0, -1, 1), 0);
         },
         [](CCameraManager& m) { return m.Play(); }, {"MC-A", "unplugged"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CameraLog log;
        c.setUp(*this);
        EXPECT_NE(c.failing(cm), 0);
        const std::string why = cm.LastError();
        for (const std::string& part : c.reason) EXPECT_NE(why.find(part), std::string::npos) << why;
        // Open and start failures are logged under the camera category with their reason.
        EXPECT_TRUE(CameraLog::Lines().join(u'\n').contains(QString::fromStdString(c.reason.back())))
            << CameraLog::Lines().join(u'\n').toStdString();
        if (c.reason.front() == "MC-A") theModules().State(KindModule1).CameraSimSetFaults(0, -1, 0);
        cm.Stop();
        cm.CloseCamera();
    }
}

TEST_F(Manager, AStalledUvcStreamIsLostWithItsReason) {
    FakeFaults f;
    f.stallAfterFrames = 5;
    StartWith("none", FakeWith(f));
    ASSERT_TRUE(cm.SelectDevice(0));
    ASSERT_EQ(cm.OpenCamera(nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(cm.Play(), 0);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (cm.IsOpenCameraPresent() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(cm.IsOpenCameraPresent());
    EXPECT_EQ(cm.FramesDelivered(), 5u);
    EXPECT_NE(cm.LastError().find("no frame from /dev/video0 within"), std::string::npos) << cm.LastError();
}

}  // namespace
