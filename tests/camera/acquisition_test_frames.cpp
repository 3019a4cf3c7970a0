// The frame assembler: SANE bytes of every depth and frame kind, with line padding and in pieces
// of any size, against the picture they were made from; and hostile parameters and lengths.

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "camera/acquisition/sane_frame_assembler.h"
#include "image/packed_dib.h"

namespace {

// The picture a device looked at, rows top first, red, green, blue.
struct Truth {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    uint8_t At(int x, int y, int c) const {
        return rgb[(static_cast<size_t>(y) * width + x) * 3 + c];
    }
};

enum class Kind { Colour, Grey, BlackWhite };

Truth MakeTruth(int w, int h, Kind kind, unsigned seed) {
    std::mt19937 rng(seed);
    Truth t{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 3)};
    for (size_t i = 0; i < t.rgb.size(); i += 3) {
        const uint8_t a = static_cast<uint8_t>(rng()), b = static_cast<uint8_t>(rng()),
                      c = static_cast<uint8_t>(rng());
        if (kind == Kind::Colour) {
            t.rgb[i] = a, t.rgb[i + 1] = b, t.rgb[i + 2] = c;
        } else {
            const uint8_t v = kind == Kind::Grey ? a : (a & 1 ? 255 : 0);
            t.rgb[i] = t.rgb[i + 1] = t.rgb[i + 2] = v;
        }
    }
    return t;
}

// How a device would send one frame of the truth: its samples at the given depth (16-bit in
// host order, 1 bit per sample packed from the top bit), each line padded with junk.
std::vector<uint8_t> Encode(const Truth& t, SANE_Frame f, int depth, int pad, SANE_Parameters* p) {
    const int samples = f == SANE_FRAME_RGB ? 3 : 1;
    const int channel = f == SANE_FRAME_GREEN ? 1 : f == SANE_FRAME_BLUE ? 2 : 0;
    const int needed = (t.width * samples * depth + 7) / 8;
    p->format = f;
    p->depth = depth;
    p->pixels_per_line = t.width;
    p->lines = t.height;
    p->bytes_per_line = needed + pad;
    p->last_frame = f == SANE_FRAME_RGB || f == SANE_FRAME_GRAY;
    std::vector<uint8_t> out;
    for (int y = 0; y < t.height; ++y) {
        std::vector<uint8_t> line(static_cast<size_t>(p->bytes_per_line), 0xEE);
        std::fill(line.begin(), line.begin() + needed, 0);
        for (int x = 0; x < t.width; ++x) {
            for (int s = 0; s < samples; ++s) {
                const int c = samples == 3 ? s : channel;
                const uint8_t v = t.At(x, y, c);
                const int i = x * samples + s;
                if (depth == 8) {
                    line[i] = v;
                } else if (depth == 16) {
                    const uint16_t w = static_cast<uint16_t>(v * 257);
                    std::memcpy(&line[2 * i], &w, 2);
                } else {
                    // Grey line-art marks black; colour bits mark full intensity.
                    const bool set = f == SANE_FRAME_GRAY ? v == 0 : v == 255;
                    if (set) line[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
                }
            }
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    return out;
}

// Feeds bytes in pieces of the given sizes, round and round.
void FeedInPieces(CSaneFrameAssembler& a, const std::vector<uint8_t>& bytes,
                  const std::vector<size_t>& pieces) {
    size_t at = 0, k = 0;
    while (at < bytes.size()) {
        const size_t n = std::min(pieces[k++ % pieces.size()], bytes.size() - at);
        std::string reason;
        ASSERT_TRUE(a.Feed(bytes.data() + at, n, &reason)) << reason;
        at += n;
    }
}

FCObjImage Picture(CSaneFrameAssembler& a) {
    std::string reason;
    CTwHandle dib = a.TakePicture(&reason);
    FCObjImage img;
    EXPECT_TRUE(dib) << reason;
    if (dib) {
        EXPECT_TRUE(ImageFromPackedDib(static_cast<const uint8_t*>(TwGlobalLock(dib.Get())),
                                       TwGlobalSize(dib.Get()), img));
    }
    return img;
}

void ExpectPicture(const FCObjImage& img, const Truth& t, int rows, const char* what) {
    ASSERT_TRUE(img.IsValid()) << what;
    ASSERT_EQ(img.ColorBits(), 24) << what;
    ASSERT_EQ(img.Width(), t.width) << what;
    ASSERT_EQ(img.Height(), rows) << what;
    int wrong = 0;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < t.width; ++x) {
            const uint8_t* p = img.GetRow(y) + 3 * x;
            if (p[2] != t.At(x, y, 0) || p[1] != t.At(x, y, 1) || p[0] != t.At(x, y, 2)) ++wrong;
        }
    EXPECT_EQ(wrong, 0) << what << ": pixels differ from the truth";
}

struct FrameCase {
    const char* name;
    std::vector<SANE_Frame> frames;  // one, or three colour frames in the device's order
    int depth;
    Kind kind;
    int pad;
};

}  // namespace

TEST(SaneFrameAssembler, EveryDepthAndFrameKindInAnyPiecesGivesThePicture) {
    const std::vector<FrameCase> cases = {
        {"colour 8", {SANE_FRAME_RGB}, 8, Kind::Colour, 0},
        {"colour 16 padded", {SANE_FRAME_RGB}, 16, Kind::Colour, 3},
        {"colour 1", {SANE_FRAME_RGB}, 1, Kind::BlackWhite, 1},
        {"grey 8 padded", {SANE_FRAME_GRAY}, 8, Kind::Grey, 5},
        {"grey 16", {SANE_FRAME_GRAY}, 16, Kind::Grey, 0},
        {"line-art", {SANE_FRAME_GRAY}, 1, Kind::BlackWhite, 2},
        {"three-pass RGB 8",
         {SANE_FRAME_RED, SANE_FRAME_GREEN, SANE_FRAME_BLUE},
         8,
         Kind::Colour,
         0},
        {"three-pass GBR 16 padded",
         {SANE_FRAME_GREEN, SANE_FRAME_BLUE, SANE_FRAME_RED},
         16,
         Kind::Colour,
         2},
        {"three-pass BRG 1",
         {SANE_FRAME_BLUE, SANE_FRAME_RED, SANE_FRAME_GREEN},
         1,
         Kind::BlackWhite,
         0},
    };
    // Whole lines, single bytes, and pieces that split lines and samples anywhere.
    const std::vector<std::vector<size_t>> piecings = {{1 << 20}, {1}, {7, 13, 1, 4093}};
    for (const FrameCase& c : cases) {
        // 37 pixels: neither a multiple of 4 (row padding) nor of 8 (line-art bytes).
        const Truth t = MakeTruth(37, 11, c.kind, 5);
        for (const auto& pieces : piecings) {
            CSaneFrameAssembler a;
            for (size_t i = 0; i < c.frames.size(); ++i) {
                SANE_Parameters p{};
                const std::vector<uint8_t> bytes = Encode(t, c.frames[i], c.depth, c.pad, &p);
                p.last_frame = i + 1 == c.frames.size();
                std::string reason;
                ASSERT_TRUE(a.BeginFrame(p, &reason)) << c.name << ": " << reason;
                FeedInPieces(a, bytes, pieces);
                a.EndFrame();
                EXPECT_EQ(a.IsComplete(), i + 1 == c.frames.size()) << c.name;
            }
            ExpectPicture(Picture(a), t, t.height, c.name);
        }
    }
}

TEST(SaneFrameAssembler, HeaderCarriesSizeAndResolution) {
    const Truth t = MakeTruth(10, 4, Kind::Colour, 1);
    CSaneFrameAssembler a;
    a.SetResolution(254, 127);
    SANE_Parameters p{};
    const std::vector<uint8_t> bytes = Encode(t, SANE_FRAME_RGB, 8, 0, &p);
    ASSERT_TRUE(a.BeginFrame(p, nullptr));
    ASSERT_TRUE(a.Feed(bytes.data(), bytes.size(), nullptr));
    std::string reason;
    CTwHandle dib = a.TakePicture(&reason);
    ASSERT_TRUE(dib);
    FCBitmapInfoHeader h;
    std::memcpy(&h, TwGlobalLock(dib.Get()), sizeof(h));
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 10);
    EXPECT_EQ(h.biHeight, 4);  // bottom row first
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biSizeImage, 32u * 4);
    EXPECT_EQ(h.biXPelsPerMeter, 10000);
    EXPECT_EQ(h.biYPelsPerMeter, 5000);
    EXPECT_EQ(TwGlobalSize(dib.Get()), 40u + 32 * 4);
}

TEST(SaneFrameAssembler, ShortPageKeepsItsCompleteLinesAndSurplusIsIgnored) {
    const Truth t = MakeTruth(9, 20, Kind::Colour, 2);
    SANE_Parameters p{};
    const std::vector<uint8_t> bytes = Encode(t, SANE_FRAME_RGB, 8, 1, &p);
    const size_t line = static_cast<size_t>(p.bytes_per_line);
    {
        // 7 lines and a half arrive of 20 announced: a feeder page shorter than the longest.
        CSaneFrameAssembler a;
        ASSERT_TRUE(a.BeginFrame(p, nullptr));
        ASSERT_TRUE(a.Feed(bytes.data(), line * 7 + line / 2, nullptr));
        ExpectPicture(Picture(a), t, 7, "short page");
    }
    {
        CSaneFrameAssembler a;
        ASSERT_TRUE(a.BeginFrame(p, nullptr));
        std::vector<uint8_t> more = bytes;
        more.insert(more.end(), line * 3, 0x55);
        ASSERT_TRUE(a.Feed(more.data(), more.size(), nullptr));
        ExpectPicture(Picture(a), t, 20, "surplus");
    }
    {
        CSaneFrameAssembler a;
        ASSERT_TRUE(a.BeginFrame(p, nullptr));
        ASSERT_TRUE(a.Feed(bytes.data(), line - 1, nullptr));
        std::string reason;
        EXPECT_FALSE(a.TakePicture(&reason));
        EXPECT_NE(reason.find("no complete line"), std::string::npos) << reason;
    }
}

TEST(SaneFrameAssembler, UnknownHeightGrowsWithTheLinesAndStopsAtTheLimit) {
    const Truth t = MakeTruth(12, 300, Kind::Grey, 3);
    SANE_Parameters p{};
    const std::vector<uint8_t> bytes = Encode(t, SANE_FRAME_GRAY, 8, 0, &p);
    p.lines = -1;  // a hand-held device
    {
        CSaneFrameAssembler a;
        ASSERT_TRUE(a.BeginFrame(p, nullptr));
        EXPECT_EQ(a.FrameBytesExpected(), 0);
        FeedInPieces(a, bytes, {100});
        ExpectPicture(Picture(a), t, 300, "unknown height");
    }
    {
        // 36 bytes a row; room for 100 rows.
        CSaneFrameAssembler a(3600);
        ASSERT_TRUE(a.BeginFrame(p, nullptr));
        std::string reason;
        EXPECT_FALSE(a.Feed(bytes.data(), bytes.size(), &reason));
        EXPECT_NE(reason.find("grows beyond"), std::string::npos) << reason;
    }
}

TEST(SaneFrameAssembler, RefusesParametersItCannotRead) {
    auto rgb = [](int w, int h) {
        SANE_Parameters p{};
        p.format = SANE_FRAME_RGB;
        p.depth = 8;
        p.pixels_per_line = w;
        p.lines = h;
        p.bytes_per_line = static_cast<SANE_Int>(std::min<int64_t>(int64_t(w) * 3, INT32_MAX));
        p.last_frame = SANE_TRUE;
        return p;
    };
    struct Bad {
        const char* name;
        SANE_Parameters p;
        const char* reason;
    };
    std::vector<Bad> bad;
    SANE_Parameters p = rgb(10, 10);
    p.depth = 4;
    bad.push_back({"4-bit samples", p, "4-bit"});
    p = rgb(10, 10);
    p.format = static_cast<SANE_Frame>(9);
    bad.push_back({"unknown frame", p, "unknown kind"});
    p = rgb(0, 10);
    bad.push_back({"no pixels", p, "without pixels"});
    p = rgb(10, 0);
    bad.push_back({"no lines", p, "without lines"});
    p = rgb(10, -7);
    bad.push_back({"negative lines", p, "without lines"});
    p = rgb(10, 10);
    p.bytes_per_line = 29;
    bad.push_back({"lines too short", p, "bytes per line"});
    p = rgb(10, 10);
    p.bytes_per_line = 1 << 30;
    bad.push_back({"absurd padding", p, "bytes per line"});
    p = rgb(100000, 100000);
    bad.push_back({"too large", p, "too large"});
    p = rgb(0x7FFFFFFF, 2);
    p.bytes_per_line = 0x7FFFFFFF;
    bad.push_back({"width overflow", p, "bytes per line"});
    for (const Bad& b : bad) {
        CSaneFrameAssembler a;
        std::string reason;
        EXPECT_FALSE(a.BeginFrame(b.p, &reason)) << b.name;
        EXPECT_NE(reason.find(b.reason), std::string::npos) << b.name << ": " << reason;
    }
}

TEST(SaneFrameAssembler, RefusesThreePassFramesThatDoNotFit) {
    auto channel = [](SANE_Frame f, int w, int h) {
        SANE_Parameters p{};
        p.format = f;
        p.depth = 8;
        p.pixels_per_line = w;
        p.lines = h;
        p.bytes_per_line = w;
        p.last_frame = SANE_FALSE;
        return p;
    };
    struct Sequence {
        const char* name;
        std::vector<SANE_Parameters> frames;  // the last one must be refused
        const char* reason;
    };
    SANE_Parameters grey = channel(SANE_FRAME_GRAY, 8, 8);
    grey.last_frame = SANE_TRUE;
    const std::vector<Sequence> sequences = {
        {"red twice", {channel(SANE_FRAME_RED, 8, 8), channel(SANE_FRAME_RED, 8, 8)}, "twice"},
        {"other size",
         {channel(SANE_FRAME_RED, 8, 8), channel(SANE_FRAME_GREEN, 9, 8)},
         "differ in size"},
        {"grey after red", {channel(SANE_FRAME_RED, 8, 8), grey}, "mixes"},
        {"a frame after a one-pass picture",
         {grey, channel(SANE_FRAME_RED, 8, 8)},
         "after the last"},
        {"a fourth colour frame",
         {channel(SANE_FRAME_RED, 8, 8), channel(SANE_FRAME_GREEN, 8, 8),
          channel(SANE_FRAME_BLUE, 8, 8), channel(SANE_FRAME_RED, 8, 8)},
         "after the last"},
    };
    const std::vector<uint8_t> bytes(64, 100);
    for (const Sequence& s : sequences) {
        CSaneFrameAssembler a;
        std::string reason;
        for (size_t i = 0; i + 1 < s.frames.size(); ++i) {
            ASSERT_TRUE(a.BeginFrame(s.frames[i], &reason)) << s.name << ": " << reason;
            ASSERT_TRUE(a.Feed(bytes.data(), bytes.size(), &reason));
            a.EndFrame();
        }
        EXPECT_FALSE(a.BeginFrame(s.frames.back(), &reason)) << s.name;
        EXPECT_NE(reason.find(s.reason), std::string::npos) << s.name << ": " << reason;
    }
    // A device that never says "last frame" is done after three colours.
    CSaneFrameAssembler a;
    for (SANE_Frame f : {SANE_FRAME_BLUE, SANE_FRAME_GREEN, SANE_FRAME_RED}) {
        ASSERT_TRUE(a.BeginFrame(channel(f, 8, 8), nullptr));
        ASSERT_TRUE(a.Feed(bytes.data(), bytes.size(), nullptr));
        a.EndFrame();
    }
    EXPECT_TRUE(a.IsComplete());
}
