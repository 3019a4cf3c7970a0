// Acquisition through CTwain and the program's SANE source manager, against SANE's real "test"
// backend in a private configuration folder: pictures checked against scanimage reading the
// same device with the same options, feeder batches, three-pass colour, cancel and device
// errors, and the triplets CTwain sends with their effect on its flags.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTimer>
#include <functional>
#include <set>
#include <thread>

#include "camera/acquisition/sane_options.h"
#include "camera/acquisition/sane_source.h"
#include "camera/acquisition/sane_source_manager.h"
#include "camera/acquisition/scripted_source_ui.h"
#include "camera/acquisition/twain_host.h"
#include "image/packed_dib.h"
#include "sane_test_support.h"

namespace {

bool WaitFor(const std::function<bool()>& done, int timeoutMs = 60000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// ---- Every triplet the program sends, as the manager answered it ----

struct Triplet {
    bool toSource;
    TW_UINT32 dg;
    TW_UINT16 dat;
    TW_UINT16 msg;
    TW_UINT16 rc;
    TW_UINT16 event;  // for consumed events: the message the source returned
};
std::vector<Triplet> g_triplets;
DSMENTRYPROC g_realEntry = nullptr;

TW_UINT16 RecordingEntry(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 dg, TW_UINT16 dat,
                         TW_UINT16 msg, TW_MEMREF data) {
    const TW_UINT16 rc = g_realEntry(origin, dest, dg, dat, msg, data);
    // Of the event filter only what the source took.
    if (dat == DAT_EVENT && rc != TWRC_DSEVENT) return rc;
    g_triplets.push_back(
        {dest != nullptr, dg, dat, msg, rc,
         dat == DAT_EVENT ? static_cast<TW_EVENT*>(data)->TWMessage : TW_UINT16(0)});
    return rc;
}

// The SANE source manager with a recorder in front of its entry point.
const TwainLibraryLoader& RecordingLibrary() {
    static const TwainLibraryLoader loader{
        [] { return SaneSourceManagerLibrary().load(); },
        [](void* lib) -> DSMENTRYPROC {
            g_realEntry = SaneSourceManagerLibrary().entry(lib);
            return g_realEntry ? &RecordingEntry : nullptr;
        },
        [](void* lib) { SaneSourceManagerLibrary().unload(lib); }};
    return loader;
}

std::vector<TW_UINT16> Messages(bool withStatus = false) {
    std::vector<TW_UINT16> out;
    for (const Triplet& t : g_triplets)
        if (withStatus || t.dat != DAT_STATUS) out.push_back(t.dat == DAT_EVENT ? t.event : t.msg);
    return out;
}

// ---- The program's side ----

// The program's side: every picture is kept with its image information.
class CTestTwain : public CTwainHost {
public:
    explicit CTestTwain(const TwainLibraryLoader& loader = RecordingLibrary())
        : CTwainHost(loader) {}
    void ReceiveImage(TW_HANDLE bitmap, const TW_IMAGEINFO& info) override {
        FCObjImage picture;
        EXPECT_TRUE(ImageFromPackedDib(static_cast<const uint8_t*>(TwGlobalLock(bitmap)),
                                       TwGlobalSize(bitmap), picture));
        pictures.push_back(std::move(picture));
        infos.push_back(info);
    }
    int DecideTransfer(const TW_IMAGEINFO& info) override {
        return decide ? decide(static_cast<int>(pictures.size()), info) : 0;
    }

    std::vector<FCObjImage> pictures;
    std::vector<TW_IMAGEINFO> infos;
    std::function<int(int, const TW_IMAGEINFO&)> decide;
};

// The manager's user interface as a test drives it: the selection answers with a name (or
// Cancel); the source's dialog sets options, scans when told and closes after the scan.
class CTestManagerUi : public ISourceManagerUi {
public:
    struct SourceUi : ISaneSourceUi {
        CTestManagerUi& owner;
        ISaneSourceControl& source;
        SourceUi(CTestManagerUi& o, ISaneSourceControl& s) : owner(o), source(s) {}
        ~SourceUi() override { owner.control = nullptr; }
        void Show() override {
            owner.control = &source;
            std::string reason;
            EXPECT_TRUE(ApplyScriptedScan(source.Options(), owner.scan, &reason)) << reason;
            for (const auto& [name, value] : owner.options)
                EXPECT_TRUE(source.Options().Set(name, value, &reason))
                    << name.toStdString() << ": " << reason;
            if (owner.scanAtOnce) {
                EXPECT_TRUE(source.StartScan(&reason)) << reason;
            }
        }
        void ScanProgressed(const ScanProgress& p) override {
            owner.progress.push_back(p);
            if (owner.onProgress) owner.onProgress(p, source);
        }
        void ScanFinished(const ScanOutcome& outcome) override {
            owner.outcomes.push_back(outcome);
            if (owner.closeAfterScan) source.RequestClose();
        }
    };

    std::optional<std::string> SelectSource(ISaneDeviceLister& lister,
                                            const std::string& preselected, QObject*) override {
        std::string reason;
        offered = lister.ListDevices(&reason);
        offeredPreselected = preselected;
        ++selections;
        return answer;
    }
    std::unique_ptr<ISaneSourceUi> CreateSourceUi(ISaneSourceControl& source, QObject*) override {
        return std::make_unique<SourceUi>(*this, source);
    }
    void ShowError(const QString& text, QObject*) override { errors.push_back(text.toStdString()); }

    std::optional<std::string> answer = std::string("test:0");
    std::vector<SaneDeviceInfo> offered;
    std::string offeredPreselected;
    int selections = 0;
    ScriptedScan scan;
    std::vector<std::pair<QString, QVariant>> options;
    bool scanAtOnce = true;
    bool closeAfterScan = true;
    std::function<void(const ScanProgress&, ISaneSourceControl&)> onProgress;
    std::vector<ScanProgress> progress;
    std::vector<ScanOutcome> outcomes;
    std::vector<std::string> errors;
    ISaneSourceControl* control = nullptr;
};

class Acquisition : public ::testing::Test {
protected:
    void SetUp() override {
        g_triplets.clear();
        SetSourceManagerUi(&ui);
        // Each test starts with no source used before.
        QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Norvane TECH"),
                  QStringLiteral("NorvaneScope"))
            .remove(QStringLiteral("Acquisition"));
    }
    void TearDown() override { SetSourceManagerUi(nullptr); }

    // Select test:0, acquire, and wait until the source has been closed again.
    void AcquireAll(CTestTwain& twain, int count = -1) {
        ASSERT_TRUE(twain.Start());
        ASSERT_TRUE(twain.ChooseSource());
        ASSERT_TRUE(twain.Acquire(count));
        ASSERT_TRUE(WaitFor([&] { return !twain.IsSourceOpen(); }))
            << "the source never asked to be closed";
    }

    CTestManagerUi ui;
};

// Our picture against scanimage's reading of the same device and options.
void ExpectSameAs(const FCObjImage& ours, const RgbPicture& truth, const std::string& what) {
    ASSERT_TRUE(ours.IsValid()) << what;
    ASSERT_EQ(ours.Width(), truth.width) << what;
    ASSERT_EQ(ours.Height(), truth.height) << what;
    int wrong = 0;
    std::set<uint32_t> colours;
    for (int y = 0; y < truth.height; ++y)
        for (int x = 0; x < truth.width; ++x) {
            const uint8_t* p = ours.GetRow(y) + 3 * x;
            const uint8_t* t = truth.At(x, y);
            if (p[2] != t[0] || p[1] != t[1] || p[0] != t[2]) ++wrong;
            colours.insert(t[0] << 16 | t[1] << 8 | t[2]);
        }
    EXPECT_EQ(wrong, 0) << what << ": pixels differ from scanimage's";
    // A uniform picture would prove little.
    EXPECT_GE(colours.size(), 2u) << what;
}

RgbPicture LeftColumns(const RgbPicture& p, int width) {
    RgbPicture out{width, p.height, {}};
    for (int y = 0; y < p.height; ++y) out.rgb.insert(out.rgb.end(), p.At(0, y), p.At(0, y) + 3 * width);
    return out;
}

}  // namespace

TEST_F(Acquisition, PicturesOfEveryModeAndDepthMatchScanimage) {
    struct Case {
        const char* name;
        const char* mode;
        int depth;
        std::vector<std::pair<QString, QVariant>> extra;
        std::vector<std::string> scanimage;  // the truth: the same options, in one pass
    };
    const std::vector<Case> cases = {
        {"colour", "Color", 8, {}, {"--mode", "Color", "--depth", "8"}},
        {"grey", "Gray", 8, {}, {"--mode", "Gray", "--depth", "8"}},
        {"line-art", "Lineart", 1, {}, {"--mode", "Gray", "--depth", "1"}},
        {"grey 16-bit", "Gray", 16, {}, {"--mode", "Gray", "--depth", "16"}},
        {"colour 16-bit", "Color", 16, {}, {"--mode", "Color", "--depth", "16"}},
        {"three-pass colour",
         "Color",
         8,
         {{"three-pass", true}, {"three-pass-order", "GBR"}},
         {"--mode", "Color", "--depth", "8"}},
        // Lines padded with 7 unused pixels (scanimage writes the padding into its file: the
        // truth is the unpadded page without its last 7 columns), and a device that does not
        // know the height.
        {"padded lines", "Color", 8, {{"ppl-loss", 7}}, {"--mode", "Color"}},
        {"hand-held", "Gray", 8, {{"hand-scanner", true}}, {"--mode", "Gray", "--hand-scanner=yes"}},
    };
    SaneTestFolder sane;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = c.scanimage;
        args.insert(args.end(), {"--resolution", "100", "--test-picture", "Color pattern"});
        RgbPicture truth;
        std::string err;
        ASSERT_TRUE(ScanImageToPnm(args, sane.file("truth.pnm"), &err)) << err;
        ASSERT_TRUE(ReadPnm(sane.file("truth.pnm"), truth));
        if (std::string(c.name) == "padded lines") truth = LeftColumns(truth, truth.width - 7);

        ui.scan = ScriptedScan{};
        ui.scan.mode = QString::fromLatin1(c.mode);
        ui.scan.depth = c.depth;
        ui.scan.resolution = 100;
        ui.options = c.extra;
        ui.options.insert(ui.options.begin(),
                          {QStringLiteral("test-picture"), QStringLiteral("Color pattern")});
        ui.outcomes.clear();
        CTestTwain twain;
        AcquireAll(twain);
        ASSERT_EQ(twain.pictures.size(), 1u);
        ExpectSameAs(twain.pictures[0], truth, c.name);
        // 80 x 100 mm at 100 dpi, handed over as 24-bit RGB with its resolution.
        EXPECT_EQ(twain.pictures[0].ColorBits(), 24);
        const TW_IMAGEINFO& info = twain.infos[0];
        EXPECT_EQ(info.ImageWidth, truth.width);
        EXPECT_EQ(info.ImageLength, truth.height);
        EXPECT_EQ(info.BitsPerPixel, 24);
        EXPECT_EQ(info.PixelType, TWPT_RGB);
        EXPECT_EQ(info.XResolution.Whole, 100);
        ASSERT_EQ(ui.outcomes.size(), 1u);
        EXPECT_EQ(ui.outcomes[0].end, ScanOutcome::End::Done);
    }
}

TEST_F(Acquisition, FeederGivesTenPagesOneTransferEachThenTheSourceCloses) {
    SaneTestFolder sane;
    ui.scan.mode = QStringLiteral("Color");
    ui.scan.resolution = 50;
    ui.scan.feeder = true;
    CTestTwain twain;
    AcquireAll(twain);
    ASSERT_EQ(twain.pictures.size(), 10u);
    RgbPicture truth;
    ASSERT_TRUE(
        ScanImageToPnm({"--mode", "Color", "--resolution", "50", "--test-picture", "Color pattern"},
                       sane.file("truth.pnm")));
    ASSERT_TRUE(ReadPnm(sane.file("truth.pnm"), truth));
    for (size_t i = 0; i < twain.pictures.size(); ++i)
        ExpectSameAs(twain.pictures[i], truth, "page " + std::to_string(i + 1));
    // The end of the feeder is no error.
    ASSERT_EQ(ui.outcomes.size(), 1u);
    EXPECT_EQ(ui.outcomes[0].end, ScanOutcome::End::Done);
    EXPECT_EQ(ui.outcomes[0].pages, 10);
    // Each page: image information, one native transfer, the end of the transfer.
    int infos = 0, transfers = 0, ends = 0;
    for (const Triplet& t : g_triplets) {
        infos += t.dat == DAT_IMAGEINFO && t.rc == TWRC_SUCCESS;
        transfers += t.dat == DAT_IMAGENATIVEXFER && t.rc == TWRC_XFERDONE;
        ends += t.dat == DAT_PENDINGXFERS && t.msg == MSG_ENDXFER && t.rc == TWRC_SUCCESS;
    }
    EXPECT_EQ(infos, 10);
    EXPECT_EQ(transfers, 10);
    EXPECT_EQ(ends, 10);
}

TEST_F(Acquisition, FeederPagesLeaveTheProgramItsMessagesBetweenTransfers) {
    // Each picture takes the program longer to take in (a large document) than the device needs
    // for the next page (it waits 5 ms after each buffer it sends): the program must still
    // get back to its messages between the pages, not only once the feeder is empty.
    SaneTestFolder sane(
        SaneTestFolder::Conf{{"read-delay", "true"}, {"read-delay-duration", "5000"}});
    ui.scan.resolution = 100;
    ui.scan.feeder = true;
    CTestTwain twain;
    int picturesWhenMessagesRan = -1;
    twain.decide = [&](int taken, const TW_IMAGEINFO&) {
        if (taken == 0)
            QTimer::singleShot(0, [&] { picturesWhenMessagesRan = int(twain.pictures.size()); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return 0;
    };
    AcquireAll(twain);
    EXPECT_EQ(twain.pictures.size(), 10u);
    EXPECT_GE(picturesWhenMessagesRan, 1);
    EXPECT_LT(picturesWhenMessagesRan, 10);
}

TEST_F(Acquisition, TransferCountAndDecisionsLimitThePages) {
    SaneTestFolder sane;
    ui.scan.resolution = 25;
    ui.scan.feeder = true;
    {
        // Three pictures asked for: the feeder stops after the third.
        CTestTwain twain;
        AcquireAll(twain, 3);
        EXPECT_EQ(twain.pictures.size(), 3u);
        EXPECT_EQ(ui.outcomes.back().pages, 3);
    }
    {
        // Skipping every second picture, then dropping the rest at the fifth.
        CTestTwain twain;
        int asked = 0;
        twain.decide = [&](int, const TW_IMAGEINFO&) {
            ++asked;
            return asked == 5 ? 2 : asked % 2 == 0 ? 1 : 0;
        };
        AcquireAll(twain);
        EXPECT_EQ(twain.pictures.size(), 2u);  // the first and the third
    }
}

TEST_F(Acquisition, CancelInTheMiddleKeepsThePagesScannedBefore) {
    // Slow pages: the backend waits 0.2 s after each buffer it sends, some 1.2 s a page. The
    // cancel comes early in the second page, while the backend is still producing it.
    SaneTestFolder sane(
        SaneTestFolder::Conf{{"read-delay", "true"}, {"read-delay-duration", "200000"}});
    ui.scan.resolution = 100;
    ui.scan.feeder = true;
    ui.onProgress = [](const ScanProgress& p, ISaneSourceControl& source) {
        if (p.page >= 2 && p.percent >= 5) source.CancelScan();
    };
    CTestTwain twain;
    AcquireAll(twain);
    ASSERT_EQ(ui.outcomes.size(), 1u);
    const ScanOutcome& o = ui.outcomes[0];
    EXPECT_EQ(o.end, ScanOutcome::End::Cancelled);
    EXPECT_GE(o.pages, 1);
    EXPECT_LT(o.pages, 10);
    EXPECT_EQ(twain.pictures.size(), static_cast<size_t>(o.pages));
    for (const FCObjImage& p : twain.pictures) EXPECT_EQ(p.Height(), 393);  // whole pages only
    const QString message = ScanOutcomeMessage(o);
    // SANE's own text for the cancel.
    EXPECT_TRUE(message.contains(QStringLiteral("Operation was cancel"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral(" kept."))) << message.toStdString();
}

TEST_F(Acquisition, DeviceErrorIsReportedWithSanesReason) {
    SaneTestFolder sane(SaneTestFolder::Conf{{"read-status-code", "\"SANE_STATUS_IO_ERROR\""}});
    CTestTwain twain;
    AcquireAll(twain);
    EXPECT_TRUE(twain.pictures.empty());
    ASSERT_EQ(ui.outcomes.size(), 1u);
    EXPECT_EQ(ui.outcomes[0].end, ScanOutcome::End::DeviceError);
    EXPECT_EQ(ui.outcomes[0].reason, "Error during device I/O");
    EXPECT_EQ(ScanOutcomeMessage(ui.outcomes[0]).toStdString(),
              "The scanner reported an error: Error during device I/O. No page was kept.");
}

TEST_F(Acquisition, SelectionStartsFromTheDefaultAndRemembersTheLastOneUsed) {
    SaneTestFolder sane;
    {
        CTestTwain twain;
        ASSERT_TRUE(twain.Start());
        EXPECT_TRUE(twain.IsManagerOpen());
        // First selection: the manager's default (no source used yet: the first one) is offered.
        ui.answer = "test:1";
        ASSERT_TRUE(twain.ChooseSource());
        EXPECT_EQ(Messages(),
                  (std::vector<TW_UINT16>{MSG_OPENDSM, MSG_GETDEFAULT, MSG_USERSELECT}));
        EXPECT_EQ(ui.offeredPreselected, "test:0");
        ASSERT_EQ(ui.offered.size(), 2u);
        EXPECT_EQ(ui.offered[1].name, "test:1");
        EXPECT_EQ(ui.offered[1].vendor, "Noname");
        EXPECT_EQ(ui.offered[1].model, "frontend-tester");
        EXPECT_EQ(ui.offered[1].type, "virtual device");
        EXPECT_STREQ(twain.SourceIdentity().ProductName, "test:1");
        EXPECT_STREQ(twain.SourceIdentity().Manufacturer, "Noname");
        EXPECT_TRUE(twain.IsSourceIdentityKnown());

        // Later selections start from a cleared identity: no default query; a cancel keeps
        // the flag and the cleared identity.
        g_triplets.clear();
        ui.answer.reset();
        EXPECT_TRUE(twain.ChooseSource());
        EXPECT_EQ(Messages(), (std::vector<TW_UINT16>{MSG_USERSELECT}));
        EXPECT_EQ(g_triplets.back().rc, TWRC_CANCEL);
        EXPECT_EQ(twain.SourceIdentity().ProductName[0], '\0');
        // ... and the next Acquire opens the default, which is the one chosen last.
        ui.scanAtOnce = false;
        ASSERT_TRUE(twain.Acquire(-1));
        EXPECT_EQ(twain.SourceIdentity().ProductName, std::string("test:1"));
    }
    // A new start offers the last one used.
    CTestTwain twain;
    ASSERT_TRUE(twain.Start());
    ui.answer = "test:0";
    ASSERT_TRUE(twain.ChooseSource());
    EXPECT_EQ(ui.offeredPreselected, "test:1");
}

TEST_F(Acquisition, TripletsOfAcquireTransferAndClosing) {
    SaneTestFolder sane;
    ui.scanAtOnce = false;
    ui.closeAfterScan = false;
    CTestTwain twain;
    ASSERT_TRUE(twain.Start());
    ASSERT_TRUE(twain.ChooseSource());
    g_triplets.clear();
    ASSERT_TRUE(twain.Acquire(-1));
    EXPECT_EQ(Messages(), (std::vector<TW_UINT16>{MSG_OPENDS, MSG_SET, MSG_ENABLEDS}));
    // The count travels as a 16-bit one-value container: -1 is 65535.
    EXPECT_TRUE(twain.IsSourceOpen());
    EXPECT_TRUE(twain.IsSourceEnabled());
    ASSERT_NE(ui.control, nullptr);

    // A second Acquire while the source is enabled sends no second enable.
    g_triplets.clear();
    twain.Acquire(-1);
    for (TW_UINT16 m : Messages()) EXPECT_NE(m, MSG_ENABLEDS);
    for (TW_UINT16 m : Messages()) EXPECT_NE(m, MSG_OPENDS);
    EXPECT_TRUE(twain.IsSourceEnabled());

    // One page: the source's event, then information, transfer, end.
    g_triplets.clear();
    ASSERT_TRUE(ui.control->StartScan());
    ASSERT_TRUE(WaitFor([&] { return twain.pictures.size() == 1 && !ui.outcomes.empty(); }));
    EXPECT_EQ(Messages(), (std::vector<TW_UINT16>{MSG_XFERREADY, MSG_GET, MSG_GET, MSG_ENDXFER}));
    EXPECT_EQ(g_triplets[1].dat, DAT_IMAGEINFO);
    EXPECT_EQ(g_triplets[2].dat, DAT_IMAGENATIVEXFER);
    EXPECT_EQ(g_triplets[2].rc, TWRC_XFERDONE);

    // Closing the program with the source's window open: disable, close source, close manager.
    g_triplets.clear();
    twain.ReleaseTwain();
    EXPECT_EQ(Messages(), (std::vector<TW_UINT16>{MSG_DISABLEDS, MSG_CLOSEDS, MSG_CLOSEDSM}));
    for (const Triplet& t : g_triplets) EXPECT_EQ(t.rc, TWRC_SUCCESS);
    EXPECT_FALSE(twain.IsSourceEnabled());
    EXPECT_FALSE(twain.IsSourceOpen());
    EXPECT_FALSE(twain.IsManagerOpen());
    EXPECT_FALSE(twain.IsTwainLoaded());
    EXPECT_EQ(CSaneSourceManager::Instance(), nullptr);  // unloaded
}

TEST_F(Acquisition, CloseRequestOfTheSourceClosesIt) {
    SaneTestFolder sane;
    ui.scanAtOnce = false;
    CTestTwain twain;
    ASSERT_TRUE(twain.Start());
    ASSERT_TRUE(twain.Acquire(-1));
    g_triplets.clear();
    ui.control->RequestClose();
    ASSERT_TRUE(WaitFor([&] { return !twain.IsSourceOpen(); }));
    EXPECT_EQ(Messages(), (std::vector<TW_UINT16>{MSG_CLOSEDSREQ, MSG_DISABLEDS, MSG_CLOSEDS}));
    EXPECT_TRUE(twain.IsManagerOpen());
    // The manager accepts a new selection again.
    EXPECT_TRUE(twain.ChooseSource());
}

TEST_F(Acquisition, WithoutDevicesOrLibraryNothingHappens) {
    {
        // SANE knows no device: the selection dialog is shown with an empty list, Acquire
        // finds no default source.
        SaneTestFolder sane(SaneTestFolder::Conf{}, false);
        CTestTwain twain;
        ASSERT_TRUE(twain.Start());
        ui.answer.reset();
        EXPECT_FALSE(twain.ChooseSource());
        EXPECT_EQ(ui.selections, 1);
        EXPECT_TRUE(ui.offered.empty());
        EXPECT_FALSE(twain.Acquire(-1));
        EXPECT_EQ(twain.LastStatus().ConditionCode, TWCC_NODS);
        EXPECT_FALSE(twain.IsSourceOpen());
    }
    {
        // A device that cannot be opened: the manager says why.
        SaneTestFolder sane;
        CTestTwain twain;
        ASSERT_TRUE(twain.Start());
        TW_IDENTITY missing{};
        TwCopyString(missing.ProductName, "test:7");
        EXPECT_FALSE(twain.OpenDataSource(&missing));
        EXPECT_EQ(twain.LastStatus().ConditionCode, TWCC_OPERATIONERROR);
        ASSERT_EQ(ui.errors.size(), 1u);
        EXPECT_EQ(ui.errors[0], "The source \"test:7\" could not be opened: Invalid argument.");
    }
    {
        // No library: the connection does not start and both commands do nothing.
        static const TwainLibraryLoader none{[]() -> void* { return nullptr; },
                                             [](void*) -> DSMENTRYPROC { return nullptr; },
                                             [](void*) {}};
        CTestTwain twain(none);
        EXPECT_FALSE(twain.Start());
        EXPECT_FALSE(twain.ChooseSource());
        EXPECT_FALSE(twain.Acquire(-1));
        EXPECT_EQ(twain.LastReturnCode(), TWRC_FAILURE);
        EXPECT_EQ(ui.selections, 1);  // only the one above
    }
    // No window: no connection either.
    CTestTwain twain;
    EXPECT_FALSE(twain.StartTwain(nullptr));
    EXPECT_FALSE(twain.IsTwainLoaded());
}

TEST_F(Acquisition, OptionsSnapshotRestoresTheDeviceSettings) {
    SaneTestFolder sane(SaneTestFolder::Conf{{"enable-test-options", "true"}});
    CTestTwain twain;
    ui.scanAtOnce = false;
    ASSERT_TRUE(twain.Start());
    ASSERT_TRUE(twain.Acquire(-1));
    CSaneOptions& options = ui.control->Options();
    // The main options are described with their kind of value and choices.
    const SaneOption* mode = options.Find(QStringLiteral("mode"));
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->constraint, SaneOption::Constraint::StringList);
    EXPECT_TRUE(mode->strings.contains(QStringLiteral("Gray")));
    const SaneOption* resolution = options.Find(QStringLiteral("resolution"));
    ASSERT_NE(resolution, nullptr);
    EXPECT_EQ(resolution->constraint, SaneOption::Constraint::Range);
    EXPECT_DOUBLE_EQ(resolution->max, 1200);
    for (const char* name : {"source", "depth", "tl-x", "br-y"})
        EXPECT_NE(options.Find(QString::fromLatin1(name)), nullptr) << name;
    // Advanced test options are described but not offered.
    const SaneOption* advanced = options.Find(QStringLiteral("int"));
    ASSERT_NE(advanced, nullptr);
    EXPECT_FALSE(advanced->IsOffered());

    ASSERT_TRUE(options.Set(QStringLiteral("mode"), QStringLiteral("Gray")));
    ASSERT_TRUE(options.Set(QStringLiteral("resolution"), 300));
    ASSERT_TRUE(options.Set(QStringLiteral("br-x"), 42.0));
    ASSERT_TRUE(options.Set(QStringLiteral("source"), QStringLiteral("Automatic Document Feeder")));
    EXPECT_TRUE(options.FeederSelected());
    std::string reason;
    EXPECT_FALSE(options.Set(QStringLiteral("resolution"), QStringLiteral("many"), &reason));
    EXPECT_FALSE(options.Set(QStringLiteral("nonsense"), 1, &reason));
    EXPECT_NE(reason.find("no option"), std::string::npos);
    const QStringList snapshot = options.Snapshot();
    EXPECT_TRUE(snapshot.contains(QStringLiteral("mode=Gray")));
    EXPECT_TRUE(snapshot.contains(QStringLiteral("resolution=300")));
    EXPECT_TRUE(snapshot.contains(QStringLiteral("br-x=42")));
    for (const QString& s : snapshot)
        EXPECT_FALSE(s.startsWith(QStringLiteral("int="))) << s.toStdString();

    // The device opened again, set otherwise, and the snapshot restored.
    ui.control->RequestClose();
    ASSERT_TRUE(WaitFor([&] { return !twain.IsSourceOpen(); }));
    ASSERT_TRUE(twain.Acquire(-1));
    CSaneOptions& fresh = ui.control->Options();
    ASSERT_TRUE(fresh.Set(QStringLiteral("mode"), QStringLiteral("Color")));
    ASSERT_TRUE(fresh.Set(QStringLiteral("resolution"), 75));
    ASSERT_TRUE(fresh.Set(QStringLiteral("source"), QStringLiteral("Flatbed")));
    fresh.Restore(snapshot);
    EXPECT_EQ(fresh.Find(QStringLiteral("mode"))->value.toString(), QStringLiteral("Gray"));
    EXPECT_EQ(fresh.Find(QStringLiteral("resolution"))->value.toInt(), 300);
    EXPECT_DOUBLE_EQ(fresh.Find(QStringLiteral("br-x"))->value.toDouble(), 42.0);
    EXPECT_TRUE(fresh.FeederSelected());
}
