// Realtime filters: exact outputs on small blocks of both depths (odd widths, so rows carry
// padding), the two chain orders, and the process sub-command.

#include "document/processing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <numeric>
#include <random>

#include "image/obj_image.h"
#include "test_support.h"

namespace {

// A pixel block as the kernels see it, with bytes addressed by stored row.
struct Block {
    Block(int width, int height, int depth)
        : w(width),
          h(height),
          bits(depth),
          stride(ProcRowStride(width, depth)),
          bytes(static_cast<size_t>(stride) * height, 0) {}
    int bpp() const { return bits / 8; }
    uint8_t* px(int x, int row) { return bytes.data() + row * stride + x * bpp(); }
    void Set(int x, int row, uint8_t b, uint8_t g, uint8_t r) {
        px(x, row)[0] = b;
        px(x, row)[1] = g;
        px(x, row)[2] = r;
    }
    std::vector<uint8_t> Pixel(int x, int row) { return {px(x, row), px(x, row) + 3}; }
    void Fill(uint8_t b, uint8_t g, uint8_t r) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) Set(x, y, b, g, r);
    }
    void Random(unsigned seed) {
        std::mt19937 rng(seed);
        for (uint8_t& v : bytes) v = static_cast<uint8_t>(rng());
    }
    uint8_t* data() { return bytes.data(); }
    int w, h, bits, stride;
    std::vector<uint8_t> bytes;
};

using Px = std::vector<uint8_t>;

// The grey definition, literally: float tables summed step by step, truncated.
int ReferenceGrey(int b, int g, int r) {
    static float rg[256], bt[256];
    static bool built = false;
    if (!built) {
        float a = 0, c = 0;
        for (int i = 0; i < 256; ++i, a += 0.3f, c += 0.11f) rg[i] = a, bt[i] = c;
        built = true;
    }
    return static_cast<int>(rg[r] + rg[g] + bt[b]);
}

using Kernel = std::function<int(Block&)>;
struct NamedKernel {
    const char* name;
    Kernel run;
};
const NamedKernel kKernels[] = {
    {"flip-v", [](Block& k) { return ProcFlipVertical(k.data(), k.w, k.h, k.bits); }},
    {"flip-h", [](Block& k) { return ProcFlipHorizontal(k.data(), k.w, k.h, k.bits); }},
    {"negative", [](Block& k) { return ProcNegative(k.data(), k.w, k.h, k.bits); }},
    {"gray", [](Block& k) { return ProcGray(k.data(), k.w, k.h, k.bits); }},
    {"binary", [](Block& k) { return ProcBinary(k.data(), k.w, k.h, k.bits, 90); }},
    {"emboss", [](Block& k) { return ProcEmboss(k.data(), k.w, k.h, k.bits); }},
    {"sharpen", [](Block& k) { return ProcSharpen(k.data(), k.w, k.h, k.bits); }},
    {"rgb", [](Block& k) { return ProcRgbOffset(k.data(), k.w, k.h, k.bits, 5, 0, 63); }},
};

}  // namespace

// Every colour there is, at both depths, against the float definition: the kernels compute
// grey in integers and must land on the float result everywhere, rounding cases included.
TEST(ProcessingGray, MatchesFloatTablesForEveryColour) {
    for (int bits : {24, 32}) {
        Block k(4096 + 3, 4096, bits);  // odd width: padding and a scalar tail per row
        for (int y = 0; y < 4096; ++y)
            for (int x = 0; x < 4096; ++x) {
                const int c = y * 4096 + x;
                k.Set(x, y, c & 0xFF, (c >> 8) & 0xFF, c >> 16);
                if (bits == 32) k.px(x, y)[3] = static_cast<uint8_t>(x * 7);
            }
        const std::vector<uint8_t> before = k.bytes;
        ASSERT_EQ(ProcGray(k.data(), k.w, k.h, bits), 0);
        int wrong = 0;
        for (int y = 0; y < 4096 && wrong < 5; ++y)
            for (int x = 0; x < 4096 + 3; ++x) {
                const uint8_t* o = before.data() + y * k.stride + x * k.bpp();
                const int g = ReferenceGrey(o[0], o[1], o[2]);
                const uint8_t* p = k.px(x, y);
                if (p[0] != g || p[1] != g || p[2] != g || (bits == 32 && p[3] != o[3])) {
                    ADD_FAILURE() << bits << " bits, colour " << int(o[2]) << "," << int(o[1])
                                  << "," << int(o[0]) << ": got " << int(p[0]) << "," << int(p[1])
                                  << "," << int(p[2]) << " alpha " << int(p[3]) << ", want " << g;
                    ++wrong;
                }
            }
    }
}

// The cases named for each filter, on one pixel of a 5-wide block at both depths.
TEST(ProcessingKernels, SinglePixelCases) {
    struct Case {
        const char* what;
        Px in;
        std::function<int(Block&)> run;
        Px out;
    };
    const Case cases[] = {
        {"gray white", {255, 255, 255}, kKernels[3].run, {181, 181, 181}},
        {"gray blue 100", {100, 0, 0}, kKernels[3].run, Px(3, ReferenceGrey(100, 0, 0))},
        {"binary white 128",
         {255, 255, 255},
         [](Block& k) { return ProcBinary(k.data(), k.w, k.h, k.bits, 128); },
         {255, 255, 255}},
        {"binary white 181",
         {255, 255, 255},
         [](Block& k) { return ProcBinary(k.data(), k.w, k.h, k.bits, 181); },
         {255, 255, 255}},
        {"binary white 200",
         {255, 255, 255},
         [](Block& k) { return ProcBinary(k.data(), k.w, k.h, k.bits, 200); },
         {0, 0, 0}},
        {"binary black 0",
         {0, 0, 0},
         [](Block& k) { return ProcBinary(k.data(), k.w, k.h, k.bits, 0); },
         {255, 255, 255}},
        {"binary negative threshold is huge unsigned",
         {255, 255, 255},
         [](Block& k) { return ProcBinary(k.data(), k.w, k.h, k.bits, -1); },
         {0, 0, 0}},
        {"negative", {30, 20, 10}, kKernels[2].run, {225, 235, 245}},
        {"rgb 63,0,0 saturates red",
         {100, 100, 250},
         [](Block& k) { return ProcRgbOffset(k.data(), k.w, k.h, k.bits, 63, 0, 0); },
         {100, 100, 255}},
        {"rgb per channel",
         {1, 2, 3},
         [](Block& k) { return ProcRgbOffset(k.data(), k.w, k.h, k.bits, 10, 20, 30); },
         {31, 22, 13}},
        {"rgb negative offsets stop at 0",
         {5, 50, 50},
         [](Block& k) { return ProcRgbOffset(k.data(), k.w, k.h, k.bits, -60, 0, -10); },
         {0, 50, 0}},
    };
    for (int bits : {24, 32})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(bits));
            Block k(5, 2, bits);
            for (uint8_t& v : k.bytes) v = 0xA5;  // padding and alpha must survive
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 5; ++x) k.Set(x, y, c.in[0], c.in[1], c.in[2]);
            ASSERT_EQ(c.run(k), 0);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 5; ++x) {
                    EXPECT_EQ(k.Pixel(x, y), c.out);
                    if (bits == 32) {
                        EXPECT_EQ(k.px(x, y)[3], 0xA5);
                    }
                }
            if (bits == 24) {
                EXPECT_EQ(k.bytes[15], 0xA5);
            }  // padding byte of row 0
        }
}

TEST(ProcessingKernels, RgbAllZeroReportsAndChangesNothing) {
    Block k(5, 3, 24);
    k.Random(3);
    const auto before = k.bytes;
    EXPECT_EQ(ProcRgbOffset(k.data(), k.w, k.h, 24, 0, 0, 0), -1);
    EXPECT_EQ(k.bytes, before);
}

// Missing or empty blocks report -1; other depths are left alone and report 0.
TEST(ProcessingKernels, RefusesBadBlocksAndOtherDepths) {
    for (const NamedKernel& nk : kKernels) {
        SCOPED_TRACE(nk.name);
        EXPECT_EQ(nk.run(*std::make_unique<Block>(0, 3, 24)), -1);
        EXPECT_EQ(nk.run(*std::make_unique<Block>(5, 0, 24)), -1);
        Block none(5, 3, 24);
        none.bytes.clear();
        none.bytes.shrink_to_fit();
        EXPECT_EQ(nk.run(none), -1);
        for (int bits : {8, 16}) {
            Block other(5, 3, bits);
            other.Random(1);
            const auto before = other.bytes;
            EXPECT_EQ(nk.run(other), 0);
            EXPECT_EQ(other.bytes, before);
        }
    }
}

TEST(ProcessingFlips, HorizontalSwapsPixelsAndZeroesPadding) {
    Block k(5, 2, 24);
    std::iota(k.bytes.begin(), k.bytes.end(), 1);
    ASSERT_EQ(ProcFlipHorizontal(k.data(), 5, 2, 24), 0);
    for (int y = 0; y < 2; ++y) {
        const uint8_t base = static_cast<uint8_t>(1 + y * 16);
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(k.Pixel(x, y),
                      (Px{uint8_t(base + 3 * (4 - x)), uint8_t(base + 3 * (4 - x) + 1),
                          uint8_t(base + 3 * (4 - x) + 2)}));
        EXPECT_EQ(k.bytes[y * 16 + 15], 0);
    }
}

TEST(ProcessingFlips, VerticalMovesWholeRowsWithPadding) {
    Block k(5, 3, 24);
    k.Random(5);
    const auto before = k.bytes;
    ASSERT_EQ(ProcFlipVertical(k.data(), 5, 3, 24), 0);
    for (int y = 0; y < 3; ++y)
        EXPECT_TRUE(std::equal(k.bytes.begin() + y * 16, k.bytes.begin() + y * 16 + 16,
                               before.begin() + (2 - y) * 16));
}

// Emboss: v - w + 128 against the next stored row's right neighbour, out of range → 255.
TEST(ProcessingEmboss, NamedCases) {
    for (int bits : {24, 32}) {
        SCOPED_TRACE(bits);
        Block flat(5, 3, bits);
        for (uint8_t& v : flat.bytes) v = 7;
        ASSERT_EQ(ProcEmboss(flat.data(), 5, 3, bits), 0);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) EXPECT_EQ(flat.Pixel(x, y), Px(3, 128));
        if (bits == 32) {
            EXPECT_EQ(flat.px(0, 0)[3], 7);
        }  // alpha kept outside the last row
        // The whole last stored row, padding or alpha included, is 128.
        EXPECT_TRUE(std::all_of(flat.bytes.end() - flat.stride, flat.bytes.end(),
                                [](uint8_t v) { return v == 128; }));

        Block k(5, 3, bits);
        k.Set(0, 0, 0, 10, 200);  // against (1, 1)
        k.Set(1, 1, 200, 20, 0);
        ASSERT_EQ(ProcEmboss(k.data(), 5, 3, bits), 0);
        EXPECT_EQ(k.Pixel(0, 0), (Px{255, 118, 255}));
        EXPECT_EQ(k.Pixel(1, 1), (Px{255, 148, 128}));  // its neighbour (2, 2) is 0
        EXPECT_EQ(k.Pixel(4, 0), Px(3, 128));
    }
}

TEST(ProcessingSharpen, SinglePointAndBorders) {
    for (int bits : {24, 32}) {
        SCOPED_TRACE(bits);
        Block k(5, 5, bits);
        for (int x = 0; x < 5; ++x) k.Set(x, 0, 9, 9, 9), k.Set(x, 4, 9, 9, 9);
        for (int y = 0; y < 5; ++y) k.Set(0, y, 9, 9, 9), k.Set(4, y, 9, 9, 9);
        k.Set(2, 2, 255, 255, 255);
        ASSERT_EQ(ProcSharpen(k.data(), 5, 5, bits), 0);
        EXPECT_EQ(k.Pixel(2, 2), Px(3, 255));
        for (auto [x, y] : {std::pair{1, 2}, {3, 2}, {2, 1}, {2, 3}})
            EXPECT_EQ(k.Pixel(x, y), Px(3, 0));
        EXPECT_EQ(k.Pixel(1, 1), Px(3, 0));  // 0 - (9 + 9) clamps at 0
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(k.Pixel(i, 0), Px(3, 9));
            EXPECT_EQ(k.Pixel(i, 4), Px(3, 9));
            EXPECT_EQ(k.Pixel(0, i), Px(3, 9));
            EXPECT_EQ(k.Pixel(4, i), Px(3, 9));
        }
    }
}

// Widths that exercise every vector step and tail, against the definitions read naively from
// an untouched copy.
TEST(ProcessingKernels, RandomBlocksMatchPlainDefinitions) {
    for (int bits : {24, 32})
        for (int w : {1, 2, 3, 6, 7, 17, 33, 50, 67}) {
            SCOPED_TRACE(std::to_string(bits) + " bits, width " + std::to_string(w));
            const int h = 4;
            Block src(w, h, bits);
            src.Random(static_cast<unsigned>(w * bits));
            const int bpp = bits / 8;
            auto at = [&](Block& b, int x, int y, int c) -> uint8_t& { return b.px(x, y)[c]; };

            Block emb = src;
            ASSERT_EQ(ProcEmboss(emb.data(), w, h, bits), 0);
            Block shp = src;
            ASSERT_EQ(ProcSharpen(shp.data(), w, h, bits), 0);
            Block fh = src;
            ASSERT_EQ(ProcFlipHorizontal(fh.data(), w, h, bits), 0);
            Block neg = src;
            ASSERT_EQ(ProcNegative(neg.data(), w, h, bits), 0);
            Block bin = src;
            ASSERT_EQ(ProcBinary(bin.data(), w, h, bits, 60), 0);
            Block rgb = src;
            ASSERT_EQ(ProcRgbOffset(rgb.data(), w, h, bits, 40, 0, 7), 0);

            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int g =
                        ReferenceGrey(at(src, x, y, 0), at(src, x, y, 1), at(src, x, y, 2));
                    for (int c = 0; c < bpp; ++c) {
                        const int v = at(src, x, y, c);
                        const bool alpha = c == 3;
                        int e = v, s = v, f = alpha ? v : at(src, w - 1 - x, y, c);
                        if (y == h - 1) {
                            e = 128;
                        } else if (!alpha) {
                            if (x == w - 1) {
                                e = 128;
                            } else {
                                const unsigned r = unsigned(v) - at(src, x + 1, y + 1, c) + 128;
                                e = r > 255 ? 255 : int(r);
                            }
                        }
                        if (!alpha && x > 0 && x < w - 1 && y > 0 && y < h - 1)
                            s = std::clamp(5 * v - at(src, x - 1, y, c) - at(src, x + 1, y, c) -
                                               at(src, x, y - 1, c) - at(src, x, y + 1, c),
                                           0, 255);
                        const int n = alpha ? v : 255 - v;
                        const int bi = alpha ? v : (g >= 60 ? 255 : 0);
                        const int add[4] = {7, 0, 40, 0};
                        const int ro = std::min(v + add[c], 255);
                        ASSERT_EQ(at(emb, x, y, c), e) << "emboss " << x << "," << y << "," << c;
                        ASSERT_EQ(at(shp, x, y, c), s) << "sharpen " << x << "," << y << "," << c;
                        ASSERT_EQ(at(fh, x, y, c), f) << "flip-h " << x << "," << y << "," << c;
                        ASSERT_EQ(at(neg, x, y, c), n) << "negative " << x << "," << y;
                        ASSERT_EQ(at(bin, x, y, c), bi) << "binary " << x << "," << y;
                        ASSERT_EQ(at(rgb, x, y, c), ro) << "rgb " << x << "," << y;
                    }
                }
            // Padding: untouched except by flip horizontal (zero) and emboss's last row (128).
            for (int y = 0; y < h; ++y)
                for (int i = w * bpp; i < src.stride; ++i) {
                    const size_t o = static_cast<size_t>(y) * src.stride + i;
                    EXPECT_EQ(fh.bytes[o], 0);
                    EXPECT_EQ(emb.bytes[o], y == h - 1 ? 128 : src.bytes[o]);
                    EXPECT_EQ(shp.bytes[o], src.bytes[o]);
                    EXPECT_EQ(neg.bytes[o], src.bytes[o]);
                    EXPECT_EQ(bin.bytes[o], src.bytes[o]);
                    EXPECT_EQ(rgb.bytes[o], src.bytes[o]);
                }
        }
}

// Negative and grey in both orders: the still chain greys first, the live chain inverts first.
TEST(ProcessingChains, OrdersDiffer) {
    ProcessFlags f;
    f.bGray = f.bNegative = true;
    const int greyOfOriginal = ReferenceGrey(10, 20, 30);
    const int greyOfInverted = ReferenceGrey(245, 235, 225);

    Block still(3, 3, 24);
    still.Fill(10, 20, 30);
    RunStillChain(still.data(), 3, 3, 24, f);  // enable switch not needed
    EXPECT_EQ(still.Pixel(1, 1), Px(3, 255 - greyOfOriginal));

    Block live(3, 3, 24);
    live.Fill(10, 20, 30);
    RunLiveChain(live.data(), 3, 3, 24, f);
    EXPECT_EQ(live.Pixel(1, 1), (Px{10, 20, 30})) << "live chain ran without the enable switch";
    f.bProcessEnable = true;
    RunLiveChain(live.data(), 3, 3, 24, f);
    EXPECT_EQ(live.Pixel(1, 1), Px(3, greyOfInverted));
}

// Every flag on: each chain equals its kernels applied one by one in its own order.
TEST(ProcessingChains, EveryFlagInOrder) {
    ProcessFlags f;
    f.bProcessEnable = f.bFlipVertical = f.bFlipHorizontal = f.bGray = f.bNegative = f.bBinary =
        f.bEmboss = f.bSharpen = f.bRgbGain = true;
    f.nBinaryThreshold = 70;
    f.nGainRed = 30;
    f.nGainGreen = 3;
    f.nGainBlue = 60;
    for (int bits : {24, 32}) {
        Block src(9, 6, bits);
        src.Random(11);
        auto apply = [&](Block& k, const char* order) {
            for (const char* c = order; *c; ++c) switch (*c) {
                    case 'V':
                        ProcFlipVertical(k.data(), k.w, k.h, bits);
                        break;
                    case 'H':
                        ProcFlipHorizontal(k.data(), k.w, k.h, bits);
                        break;
                    case 'N':
                        ProcNegative(k.data(), k.w, k.h, bits);
                        break;
                    case 'G':
                        ProcGray(k.data(), k.w, k.h, bits);
                        break;
                    case 'E':
                        ProcEmboss(k.data(), k.w, k.h, bits);
                        break;
                    case 'S':
                        ProcSharpen(k.data(), k.w, k.h, bits);
                        break;
                    case 'R':
                        ProcRgbOffset(k.data(), k.w, k.h, bits, 30, 3, 60);
                        break;
                    case 'B':
                        ProcBinary(k.data(), k.w, k.h, bits, 70);
                        break;
                }
        };
        Block live = src, liveWant = src, still = src, stillWant = src;
        RunLiveChain(live.data(), 9, 6, bits, f);
        apply(liveWant, "VHNGESRB");
        RunStillChain(still.data(), 9, 6, bits, f);
        apply(stillWant, "VHGNBESR");
        EXPECT_EQ(live.bytes, liveWant.bytes) << bits;
        EXPECT_EQ(still.bytes, stillWant.bytes) << bits;
        EXPECT_NE(live.bytes, still.bytes) << bits;
    }
}

// ---- the process sub-command ------------------------------------------------------------

namespace {

class ProcessCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(in.Allocate(5, 3, 24));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                uint8_t* p = in.GetRow(y) + 3 * x;
                p[0] = static_cast<uint8_t>(10 * x), p[1] = static_cast<uint8_t>(50 * y),
                p[2] = 200;
            }
        ASSERT_TRUE(in.SaveToFile(dir.file("in.bmp")));
    }
    ProcessResult Run(std::vector<std::string> extra) {
        std::vector<std::string> args = {"process", dir.file("in.bmp"), dir.file("out.bmp")};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunProcess(BinPath("norvanescope-cli"), args);
    }
    TempDir dir;
    FCObjImage in;
};

}  // namespace

TEST_F(ProcessCliTest, RunsTheChosenChainAtTheChosenDepth) {
    struct Case {
        std::vector<std::string> args;
        int bits;
        const char* order;  // kernels applied to the expectation, in order
    };
    const Case cases[] = {
        {{}, 24, ""},
        {{"--negative"}, 24, "N"},
        {{"--flip-h", "--negative", "--gray"}, 24, "HGN"},
        {{"--chain", "live", "--negative", "--gray", "--depth", "32"}, 32, "NG"},
        {{"--chain", "still", "--binary", "60", "--emboss"}, 24, "BE"},
        {{"--chain", "live", "--binary", "60", "--emboss", "--sharpen", "--flip-v", "--rgb",
          "1,2,63"},
         24,
         "VESRB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const ProcessResult r = Run(c.args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "");
        FCObjImage out, want(in);
        ASSERT_TRUE(out.LoadFromFile(dir.file("out.bmp")));
        ASSERT_EQ(out.ColorBits(), c.bits);
        if (c.bits == 32) {
            // The 32-bit form has opaque alpha; compare colours through the 24-bit form.
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x) ASSERT_EQ(out.GetRow(y)[4 * x + 3], 255);
            out.ToTrueColor24();
        }
        uint8_t* p = want.GetMemStart();
        for (const char* k = c.order; *k; ++k) switch (*k) {
                case 'V':
                    ProcFlipVertical(p, 5, 3, 24);
                    break;
                case 'H':
                    ProcFlipHorizontal(p, 5, 3, 24);
                    break;
                case 'N':
                    ProcNegative(p, 5, 3, 24);
                    break;
                case 'G':
                    ProcGray(p, 5, 3, 24);
                    break;
                case 'E':
                    ProcEmboss(p, 5, 3, 24);
                    break;
                case 'S':
                    ProcSharpen(p, 5, 3, 24);
                    break;
                case 'R':
                    ProcRgbOffset(p, 5, 3, 24, 1, 2, 63);
                    break;
                case 'B':
                    ProcBinary(p, 5, 3, 24, 60);
                    break;
            }
        // Emboss writes 128 into padding, which a file does not keep: compare pixels only.
        for (int y = 0; y < 3; ++y)
            EXPECT_TRUE(std::equal(out.GetRow(y), out.GetRow(y) + 15, want.GetRow(y))) << y;
        if (*c.order == 0) {
            for (int y = 0; y < 3; ++y)
                EXPECT_TRUE(std::equal(out.GetRow(y), out.GetRow(y) + 15, in.GetRow(y)));
        }
    }
}

TEST_F(ProcessCliTest, RefusesBadArgumentsWithOneLine) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* says;
    };
    const Case cases[] = {
        {{"--binary", "256"}, 1, "binary threshold \"256\""},
        {{"--binary", "x"}, 1, "binary threshold"},
        {{"--rgb", "1,2"}, 1, "RGB offsets \"1,2\""},
        {{"--rgb", "1,2,64"}, 1, "RGB offsets"},
        {{"--depth", "16"}, 1, "unsupported depth \"16\""},
        {{"--chain", "fast"}, 1, "unknown chain \"fast\""},
        {{"--blur"}, 1, "unknown option \"--blur\""},
        {{"--binary"}, 2, "usage: norvanescope-cli process"},
        {{"extra"}, 2, "usage: norvanescope-cli process"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const ProcessResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(ReadFileBytes(dir.file("out.bmp")).empty());
    }
    const ProcessResult missing = RunProcess(
        BinPath("norvanescope-cli"), {"process", dir.file("none.bmp"), dir.file("out.bmp")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("cannot read"), std::string::npos) << missing.err;
    const ProcessResult badOut = RunProcess(BinPath("norvanescope-cli"),
                                            {"process", dir.file("in.bmp"), dir.file("out.xyz")});
    EXPECT_EQ(badOut.exitCode, 1);
    EXPECT_NE(badOut.err.find("no handler"), std::string::npos) << badOut.err;
}
