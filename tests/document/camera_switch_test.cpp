// Camera switching as the application does it: the order of its steps and announcements, the
// per-camera memory applied on every open and on a replug, a camera that vanishes and returns,
// and the user told why a camera fails. On the real camera manager with simulated cameras; the
// live view is played by a host that opens the camera as the view's live window does.

#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "camera/camera_manager.h"
#include "camera/camera_memory.h"
#include "camera/module_loader.h"
#include "camera/uvc/fake_v4l2.h"
#include "camera/uvc/uvc_camera.h"
#include "document/camera_switch.h"
#include "document/prompt.h"
#include "document/scope_doc.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "test_support.h"

namespace {

// The windows' side: a live document whose "view" opens the camera with a counting sink.
class SwitchHost : public IScopeDocFrame, public ICameraSwitchHost {
public:
    std::map<int, QString> status;
    static inline std::atomic<int> frames{0};
    int window = 0;  // stands for the live video window

    static int Sink(int, uint8_t*, const FCBitmapInfoHeader*, void*) {
        ++frames;
        return 1;
    }
    void SetStatusText(int pane, const QString& text) override { status[pane] = text; }
    CScopeDoc* NewDocument() override {
        theCameraManager().OpenCamera(&window, &Sink, &window);
        return NewDocumentWithoutView();
    }
    void* LiveVideoWindow() override { return CScopeDoc::FindLiveDocument() ? &window : nullptr; }
    CameraFrameSink LiveFrameSink() override { return &Sink; }
};

bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

class CameraSwitchTest : public ::testing::Test {
protected:
    void SetUp() override {
        theSettings = CAppSettings{};
        InitAppFolders(QString::fromStdString(dir.path()), QString::fromStdString(dir.path()));
        theApp().frame = &host;
        theApp().prompt = &prompt;
        theApp().m_nNewDocKind = 0;
    }
    void TearDown() override {
        cameras.reset();
        for (CScopeDoc* d : std::vector<CScopeDoc*>(CScopeDoc::AllDocuments())) CloseDocumentWithoutView(d);
        CCameraManager& cm = theCameraManager();
        cm.Stop();
        cm.CloseCamera();
        cm.Shutdown();
        theUVCCamera().SetSys(nullptr);
        theApp().frame = nullptr;
        theApp().prompt = nullptr;
    }
    void Start(const char* simulated, std::shared_ptr<CFakeV4l2> uvc = nullptr) {
        setenv("NORVANESCOPE_SIM_CAMERAS", simulated, 1);
        theUVCCamera().SetSys(std::move(uvc));
        theCameraManager().Startup();
        NewRun();
    }
    // A new run of the program: a new switch over the same memory file.
    void NewRun() {
        cameras.reset();
        memory = std::make_unique<CCameraMemory>(QString::fromStdString(dir.file("cameras.ini")));
        cameras = std::make_unique<CCameraSwitch>(theCameraManager(), host, memory.get());
        QObject::connect(cameras.get(), &CCameraSwitch::cameraAboutToChange, [this] { events.push_back("about"); });
        QObject::connect(cameras.get(), &CCameraSwitch::cameraChanged,
                         [this](int kind) { events.push_back("changed " + std::to_string(kind)); });
        QObject::connect(cameras.get(), &CCameraSwitch::cameraRemoved, [this] { events.push_back("removed"); });
    }
    // The gain as the camera has it.
    int Gain() {
        double g = -1;
        theCameraManager().GetAnalogGain(&g);
        return static_cast<int>(g);
    }
    void SetGainAsThePageDoes(int gain) {
        ASSERT_EQ(theCameraManager().SetAnalogGain(gain), 0);
        cameras->Remember({CameraPropertyId::Gain});
    }
    bool FramesFlow() {
        const int seen = SwitchHost::frames;
        return WaitFor([&] { return SwitchHost::frames > seen + 1; });
    }
    // Closes the live document as its view would: the camera first.
    void CloseLive() {
        theCameraManager().Stop();
        theCameraManager().CloseCamera();
        for (CScopeDoc* d : std::vector<CScopeDoc*>(CScopeDoc::AllDocuments())) CloseDocumentWithoutView(d);
    }
    bool Told(const char* part) const {
        for (const auto& c : prompt.calls())
            if (c.kind == CRecordingPrompt::Kind::Message && c.caption == QStringLiteral("Error") &&
                c.text.contains(QLatin1String(part)))
                return true;
        return false;
    }

    TempDir dir;
    SwitchHost host;
    CRecordingPrompt prompt;
    std::unique_ptr<CCameraMemory> memory;
    std::unique_ptr<CCameraSwitch> cameras;
    std::vector<std::string> events;
};

TEST_F(CameraSwitchTest, SwitchingAnnouncesItsStepsAndReopensTheLiveWindow) {
    Start("none,mc-a=1,mc-d=1");
    CCameraManager& cm = theCameraManager();
    // Without a live document the chosen camera becomes current and a live preview opens.
    cameras->SwitchTo(1);
    EXPECT_EQ(events, std::vector<std::string>{"changed 4"});
    ASSERT_NE(CScopeDoc::FindLiveDocument(), nullptr);
    EXPECT_EQ(cm.m_nCurrentDevice, 1);
    EXPECT_EQ(CScopeDoc::FindLiveDocument()->GetTitle(), QStringLiteral("MC-D"));
    EXPECT_TRUE(FramesFlow());
    // The camera open already, or a stopped one: nothing.
    events.clear();
    cameras->SwitchTo(1);
    EXPECT_TRUE(events.empty());
    // Another camera: announced before the old one closes and once the new one plays.
    cameras->SwitchTo(0);
    EXPECT_EQ(events, (std::vector<std::string>{"about", "changed 1"}));
    EXPECT_EQ(cm.m_nCurrentDevice, 0);
    EXPECT_EQ(cm.m_nKind, KindModule1);
    EXPECT_EQ(cm.m_nPlayState, Playing);
    EXPECT_EQ(CScopeDoc::FindLiveDocument()->GetTitle(), QStringLiteral("MC-A"));
    EXPECT_EQ(CScopeDoc::FindLiveDocument()->m_nFrameWidth, 1280);
    EXPECT_EQ(host.status[1], QStringLiteral("1280 x 1024"));
    EXPECT_TRUE(FramesFlow());
    cm.Stop();
    events.clear();
    cameras->SwitchTo(1);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(cm.m_nCurrentDevice, 0);
    EXPECT_TRUE(prompt.calls().empty());
}

TEST_F(CameraSwitchTest, EachCameraKeepsItsOwnSettingsAcrossSwitchesAndRuns) {
    // Two cameras of one model are told apart by their serial numbers.
    Start("none,mc-b=2");
    CCameraManager& cm = theCameraManager();
    int count = 0;
    cm.EnumerateDevices(&count);
    ASSERT_EQ(count, 2);
    ASSERT_NE(cm.DeviceIdentity(0), cm.DeviceIdentity(1));
    cameras->SwitchTo(0);
    ASSERT_EQ(Gain(), 1);
    SetGainAsThePageDoes(5);
    cameras->SwitchTo(1);
    EXPECT_EQ(Gain(), 1);
    SetGainAsThePageDoes(9);
    cameras->SwitchTo(0);
    EXPECT_EQ(Gain(), 5);
    cameras->SwitchTo(1);
    EXPECT_EQ(Gain(), 9);

    // The next run finds them again; the live document of this one closes first.
    CloseLive();
    NewRun();
    cameras->SwitchTo(0);
    EXPECT_EQ(Gain(), 5);

    // Back to the defaults: the gain the camera had when first seen, the white-balance gains the
    // module names as its own; and nothing is applied any more at the next open.
    int r = 0, g = 0, b = 0;
    ASSERT_EQ(cm.SetRgbGains(100, 100, 100), 0);
    cameras->Remember({CameraPropertyId::WhiteBalance});
    cameras->RestoreDefaults();
    EXPECT_EQ(Gain(), 1);
    ASSERT_EQ(cm.GetRgbGains(&r, &g, &b), 0);
    EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{74, 64, 96}));
    cameras->SwitchTo(1);
    cameras->SwitchTo(0);
    EXPECT_EQ(Gain(), 1);
}

TEST_F(CameraSwitchTest, AVanishedCameraIsAnnouncedAndComesBackWithItsSettings) {
    Start("none,mc-a=1");
    CCameraManager& cm = theCameraManager();
    cameras->SwitchTo(0);
    SetGainAsThePageDoes(7);
    // Changed behind the memory's back (as a camera that lost its settings would be).
    ASSERT_EQ(cm.SetAnalogGain(3), 0);
    events.clear();
    ModuleState& module = theModules().State(KindModule1);
    ASSERT_EQ(module.CameraSimSetFaults(0, -1, 1), 0);
    cameras->OnDeviceEvent(kDeviceRemoval);
    EXPECT_EQ(events, std::vector<std::string>{"removed"});
    EXPECT_TRUE(cameras->CameraLost());
    EXPECT_TRUE(Told("was disconnected"));
    // Plugged in again: the watch finds it, opens it anew and gives it its settings.
    ASSERT_EQ(module.CameraSimSetFaults(0, -1, 0), 0);
    EXPECT_TRUE(WaitFor([&] { return !cameras->CameraLost(); }));
    EXPECT_EQ(events, (std::vector<std::string>{"removed", "changed 1"}));
    EXPECT_EQ(Gain(), 7);
    EXPECT_TRUE(FramesFlow());
}

TEST_F(CameraSwitchTest, AFailingCameraTellsTheUserWhy) {
    FakeFaults busy;
    busy.ioctls.push_back({VIDIOC_STREAMON, EBUSY, -1, 0});
    FakeDeviceConfig held;
    held.faults = busy;
    // The maker camera is held by another program, the UVC camera refuses to stream, the module
    // camera opens but stays silent.
    Start("none,maker=1:busy,mc-b=1:silent", std::make_shared<CFakeV4l2>(std::vector<FakeDeviceConfig>{held}));
    cameras->SetFirstFrameTimeout(1500);
    int count = 0;
    theCameraManager().EnumerateDevices(&count);
    ASSERT_EQ(count, 3);  // MC-B, UVC, maker

    cameras->SwitchTo(2);
    EXPECT_TRUE(Told("could not be opened"));
    EXPECT_TRUE(Told("in use by another program"));
    EXPECT_EQ(events, std::vector<std::string>{"removed"});
    CloseLive();

    prompt.clearCalls();
    cameras->SwitchTo(1);
    EXPECT_TRUE(Told("does not start"));
    EXPECT_TRUE(Told("Device or resource busy"));
    CloseLive();

    prompt.clearCalls();
    cameras->SwitchTo(0);
    EXPECT_TRUE(WaitFor([&] { return Told("delivered no picture within 2 seconds"); }));
}

}  // namespace
