// Malformed and hostile BMP/TGA files: each is refused, nothing is read or written outside
// a buffer and no absurd allocation is attempted. Also built with AddressSanitizer and
// UndefinedBehaviorSanitizer.

#include <gtest/gtest.h>

#include <QImage>
#include <cstring>
#include <random>

#include "image/image_handle.h"
#include "image/jpeg_scans.h"
#include "test_support.h"

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A valid w x h BMP of the given depth (palette of 2^bits entries when <= 8 bits).
std::vector<uint8_t> Bmp(int w, int h, int bits) {
    const uint32_t stride = (bits * w + 31) / 32 * 4;
    const uint32_t pal = bits <= 8 ? 4u << bits : 0;
    const uint32_t offset = 54 + pal;
    std::vector<uint8_t> b(offset + stride * h, 0x5A);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, uint32_t(b.size()));
    Put32(b, 10, offset);
    Put32(b, 14, 40);
    Put32(b, 18, uint32_t(w));
    Put32(b, 22, uint32_t(h));
    Put16(b, 26, 1);
    Put16(b, 28, uint32_t(bits));
    Put32(b, 30, 0);
    for (size_t i = 34; i < 54; ++i) b[i] = 0;
    return b;
}

// A valid w x h TGA (type 2 raw or 10 run-length, 24 bits, top row first).
std::vector<uint8_t> Tga(int w, int h, bool rle) {
    std::vector<uint8_t> b = {0,  0,   uint8_t(rle ? 10 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                              24, 0x20};
    Put16(b, 12, uint32_t(w));
    Put16(b, 14, uint32_t(h));
    for (int y = 0; y < h; ++y) {
        if (rle) {
            b.insert(b.end(), {uint8_t(0x80 | (w - 1)), 1, 2, 3});  // one run per row
        } else {
            for (int x = 0; x < w; ++x) b.insert(b.end(), {uint8_t(x), uint8_t(y), 7});
        }
    }
    return b;
}

// GIF building blocks. Frame indices are coded with 3-bit LZW codes and a clear code after
// every two pixels, so the code width never grows.
struct GifFrameSpec {
    int left, top, width, height;
    int disposal = 0;  // 2 restores the background, 3 the previous picture
    int pixelsCoded = -1;  // fewer than width x height: the data is cut short
};

void PutLzw(std::vector<uint8_t>& out, int pixels) {
    std::vector<uint8_t> bytes;
    uint32_t acc = 0;
    int bits = 0;
    auto code = [&](int c) {
        acc |= uint32_t(c) << bits;
        bits += 3;
        while (bits >= 8) {
            bytes.push_back(uint8_t(acc));
            acc >>= 8;
            bits -= 8;
        }
    };
    for (int i = 0; i < pixels; ++i) {
        if (i % 2 == 0) code(4);  // clear
        code(i % 4);
    }
    code(5);  // end of information
    if (bits > 0) bytes.push_back(uint8_t(acc));
    out.push_back(2);  // minimum code size
    for (size_t at = 0; at < bytes.size(); at += 255) {
        const size_t n = std::min<size_t>(255, bytes.size() - at);
        out.push_back(uint8_t(n));
        out.insert(out.end(), bytes.begin() + at, bytes.begin() + at + n);
    }
    out.push_back(0);
}

std::vector<uint8_t> Gif(int screenW, int screenH, const std::vector<GifFrameSpec>& frames) {
    std::vector<uint8_t> b = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0xF1, 0, 0};
    Put16(b, 6, uint32_t(screenW));
    Put16(b, 8, uint32_t(screenH));
    b.insert(b.end(), {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255});  // four colours
    for (const GifFrameSpec& f : frames) {
        b.insert(b.end(), {0x21, 0xF9, 4, uint8_t(f.disposal << 2), 0, 0, 0, 0});
        b.insert(b.end(), {0x2C, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        Put16(b, b.size() - 9, uint32_t(f.left));
        Put16(b, b.size() - 7, uint32_t(f.top));
        Put16(b, b.size() - 5, uint32_t(f.width));
        Put16(b, b.size() - 3, uint32_t(f.height));
        PutLzw(b, f.pixelsCoded >= 0 ? f.pixelsCoded : f.width * f.height);
    }
    b.push_back(0x3B);
    return b;
}

// Frames read through the handler, -1 when the file is refused.
int GifFrames(const std::vector<uint8_t>& bytes) {
    FCImageHandle_Qt h;
    PCL_Interface_Composite<FCObjImage> list;
    std::unique_ptr<FCPropertyMap> props;
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    if (!h.LoadImageMemory(copy.get(), bytes.size(), list, props)) return -1;
    return list.PCL_GetObjectCount();
}

bool Load(IMAGE_TYPE type, const std::vector<uint8_t>& bytes) {
    std::unique_ptr<FCImageHandleBase> h(FCImageHandleFactory::Get().CreateImageHandle(type));
    PCL_Interface_Composite<FCObjImage> list;
    std::unique_ptr<FCPropertyMap> props;
    // An exact-size heap copy, so a read past the end is caught by the sanitizer.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + 1]);
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    const bool ok = h->LoadImageMemory(copy.get(), bytes.size(), list, props);
    EXPECT_EQ(ok, list.PCL_GetObjectCount() == 1);
    return ok;
}

struct Hostile {
    const char* what;
    std::vector<uint8_t> bytes;
};

}  // namespace

TEST(HostileFiles, ValidControlFilesLoad) {
    EXPECT_TRUE(Load(IMG_BMP, Bmp(5, 3, 24)));
    EXPECT_TRUE(Load(IMG_BMP, Bmp(5, 3, 8)));
    EXPECT_TRUE(Load(IMG_BMP, Bmp(13, 3, 1)));
    EXPECT_TRUE(Load(IMG_TGA, Tga(5, 3, false)));
    EXPECT_TRUE(Load(IMG_TGA, Tga(5, 3, true)));
    // The last row's padding may be missing.
    auto b = Bmp(5, 3, 24);
    b.resize(b.size() - 1);
    EXPECT_TRUE(Load(IMG_BMP, b));
    // A small palette declared by the colours-used field.
    b = Bmp(2, 1, 8);
    Put32(b, 46, 2);
    const uint32_t offset = 54 + 8;
    Put32(b, 10, offset);
    b.erase(b.begin() + offset, b.begin() + 54 + 1024);
    EXPECT_TRUE(Load(IMG_BMP, b));
}

TEST(HostileFiles, BmpRefused) {
    std::vector<Hostile> cases;
    auto add = [&](const char* what, std::vector<uint8_t> b) {
        cases.push_back({what, std::move(b)});
    };
    add("14 bytes", std::vector<uint8_t>{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    add("not BM", [] {
        auto b = Bmp(4, 4, 24);
        b[1] = 'A';
        return b;
    }());
    add("offset equals length", [] {
        auto b = Bmp(4, 4, 24);
        Put32(b, 10, uint32_t(b.size()));
        return b;
    }());
    add("offset beyond end", [] {
        auto b = Bmp(4, 4, 24);
        Put32(b, 10, 0xFFFFFFF0);
        return b;
    }());
    add("information header cut", [] {
        auto b = Bmp(4, 4, 24);
        b.resize(30);
        Put32(b, 10, 20);
        return b;
    }());
    add("core header (12 bytes)", [] {
        auto b = Bmp(4, 4, 24);
        Put32(b, 14, 12);
        return b;
    }());
    add("header size beyond end", [] {
        auto b = Bmp(4, 4, 24);
        Put32(b, 14, 0x7FFFFFFF);
        return b;
    }());
    add("truncated pixels", [] {
        auto b = Bmp(64, 64, 24);
        b.resize(b.size() - 200);
        return b;
    }());
    add("huge size, tiny file", [] {
        auto b = Bmp(4, 4, 24);
        Put32(b, 18, 40000);
        Put32(b, 22, 40000);
        return b;
    }());
    add("block over 32 bits", [] {
        auto b = Bmp(4, 4, 32);
        Put32(b, 18, 0x40000000);
        Put32(b, 22, 4);
        return b;
    }());
    add("width over int", [] {
        auto b = Bmp(4, 4, 24);
        Put32(b, 18, 0x80000000);
        return b;
    }());
    add("negative height", [] {
        auto b = Bmp(4, 4, 24);
        Put32(b, 22, uint32_t(-4));
        return b;
    }());
    add("zero width", [] {
        auto b = Bmp(4, 4, 24);
        Put32(b, 18, 0);
        return b;
    }());
    add("run-length 8", [] {
        auto b = Bmp(4, 4, 8);
        Put32(b, 30, 1);
        return b;
    }());
    add("2 bits", [] {
        auto b = Bmp(4, 4, 8);
        Put16(b, 28, 2);
        return b;
    }());
    add("palette beyond end", [] {
        auto b = Bmp(2, 2, 8);
        b.resize(54 + 100);
        Put32(b, 10, 54 + 90);
        return b;
    }());
    add("masks beyond end", [] {
        auto b = Bmp(1, 1, 16);
        Put32(b, 30, 3);
        b.resize(58);
        Put32(b, 10, 54);
        return b;
    }());
    for (const Hostile& c : cases) EXPECT_FALSE(Load(IMG_BMP, c.bytes)) << c.what;
}

TEST(HostileFiles, TgaRefused) {
    std::vector<Hostile> cases;
    auto add = [&](const char* what, std::vector<uint8_t> b) {
        cases.push_back({what, std::move(b)});
    };
    add("header only", std::vector<uint8_t>(18, 0));
    add("15-bit colour map", [] {
        auto b = Tga(2, 2, false);
        b[7] = 15;
        return b;
    }());
    add("16-bit colour map", [] {
        auto b = Tga(2, 2, false);
        b[7] = 16;
        return b;
    }());
    add("truncated raw rows", [] {
        auto b = Tga(8, 8, false);
        b.resize(b.size() - 5);
        return b;
    }());
    add("ID beyond end", [] {
        auto b = Tga(1, 1, false);
        b[0] = 255;
        return b;
    }());
    add("run crosses the row", [] {
        auto b = Tga(4, 2, true);
        b[18] = 0x80 | 5;
        return b;
    }());
    add("literal crosses the row", [] {
        auto b = Tga(2, 1, true);
        b.resize(18);
        b.insert(b.end(), {0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9});
        return b;
    }());
    add("run pixel beyond end", [] {
        auto b = Tga(2, 1, true);
        b.resize(20);
        return b;
    }());
    add("literal beyond end", [] {
        auto b = Tga(4, 1, true);
        b.resize(18);
        b.insert(b.end(), {0x03, 1, 2, 3});
        return b;
    }());
    add("packets end early", [] {
        auto b = Tga(4, 4, true);
        b.resize(b.size() - 4);
        return b;
    }());
    add("colour map does not fit 256", [] {
        auto b = Tga(2, 2, false);
        b[1] = 1;
        Put16(b, 3, 200);
        Put16(b, 5, 100);
        b[7] = 24;
        return b;
    }());
    add("colour map beyond end", [] {
        auto b = Tga(2, 2, false);
        b[1] = 1;
        Put16(b, 5, 256);
        b[7] = 24;
        return b;
    }());
    add("colour map entry of 8 bits", [] {
        auto b = Tga(2, 2, false);
        b[1] = 1;
        Put16(b, 5, 2);
        b[7] = 8;
        return b;
    }());
    add("huge raw, tiny file", [] {
        auto b = Tga(2, 2, false);
        Put16(b, 12, 65535);
        Put16(b, 14, 65535);
        b[16] = 32;
        return b;
    }());
    add("huge run-length, tiny file", [] {
        auto b = Tga(2, 2, true);
        Put16(b, 12, 65535);
        Put16(b, 14, 65535);
        return b;
    }());
    add("zero width", [] {
        auto b = Tga(2, 2, false);
        Put16(b, 12, 0);
        return b;
    }());
    for (int depth : {0, 1, 4, 7, 12, 48})
        add("odd depth", [depth] {
            auto b = Tga(2, 2, false);
            b[16] = uint8_t(depth);
            return b;
        }());
    for (const Hostile& c : cases) EXPECT_FALSE(Load(IMG_TGA, c.bytes)) << c.what;
}

// Random corruption of valid files: whatever the reader answers, it must stay inside its
// buffers (the sanitizer build turns any stray access into a failure).
TEST(HostileFiles, RandomCorruptionStaysInBounds) {
    std::mt19937 rng(12345);
    const std::vector<std::pair<IMAGE_TYPE, std::vector<uint8_t>>> seeds = {
        {IMG_BMP, Bmp(7, 5, 24)}, {IMG_BMP, Bmp(9, 4, 8)},     {IMG_BMP, Bmp(17, 3, 1)},
        {IMG_BMP, Bmp(5, 5, 4)},  {IMG_TGA, Tga(7, 5, false)}, {IMG_TGA, Tga(7, 5, true)},
    };
    int loaded = 0;
    for (int iter = 0; iter < 3000; ++iter) {
        const auto& [type, seed] = seeds[iter % seeds.size()];
        std::vector<uint8_t> b = seed;
        const int flips = 1 + int(rng() % 4);
        for (int k = 0; k < flips; ++k) b[rng() % std::min<size_t>(b.size(), 64)] = uint8_t(rng());
        if (rng() % 4 == 0) b.resize(rng() % b.size() + 1);
        loaded += Load(type, b) ? 1 : 0;
    }
    EXPECT_GT(loaded, 0) << "some corruptions leave a readable file";
}

// A GIF is read up to its first frame that is not sound: one that leaves the screen, claims
// more pixels than the rest of the file could code, or whose data is cut short. A screen
// larger than the file could fill is refused before anything is allocated.
TEST(HostileFiles, GifReadAsFarAsItIsSound) {
    const std::vector<GifFrameSpec> two = {{0, 0, 6, 4}, {2, 1, 3, 2, 2}};
    ASSERT_EQ(GifFrames(Gif(6, 4, two)), 2) << "the control file";
    // A frame past the screen's right edge, to be disposed to the background (this wrote over
    // memory before its rows were clipped the wrong way round).
    EXPECT_EQ(GifFrames(Gif(6, 4, {{0, 0, 6, 4}, {5, 0, 3, 2, 2}})), 1);
    EXPECT_EQ(GifFrames(Gif(6, 4, {{5, 0, 3, 2, 2}})), -1);
    EXPECT_EQ(GifFrames(Gif(6, 4, {{0, 3, 6, 2}})), -1) << "past the bottom";
    // Sizes no file of this length could code: refused before memory is taken for them.
    EXPECT_EQ(GifFrames(Gif(65535, 65535, {{0, 0, 2, 2}})), -1);
    EXPECT_EQ(GifFrames(Gif(30000, 30000, {{0, 0, 30000, 30000, 0, 4}})), -1);
    EXPECT_EQ(GifFrames(Gif(6, 4, {{0, 0, 6, 4}, {0, 0, 6, 4, 0, 5}})), 1) << "cut short";
    // A screen far beyond what its frames cover would be all background.
    EXPECT_EQ(GifFrames(Gif(1200, 1000, {{0, 0, 12, 9}})), -1);
    EXPECT_EQ(GifFrames(Gif(24, 18, {{0, 0, 12, 9}})), 1);
    // No screen size: the first frame's extent.
    EXPECT_EQ(GifFrames(Gif(0, 0, two)), 2);

    // Opening it as a picture reads the first frame only, and a refused file leaves the
    // picture that was there.
    FCObjImage pic;
    ASSERT_TRUE(pic.Allocate(3, 2, 24));
    pic.WritePixel(1, 1, 0x123456);
    const auto bad = Gif(6, 4, {{5, 0, 3, 2, 2}});
    EXPECT_FALSE(pic.LoadFromBytes("x.gif", bad.data(), bad.size()));
    EXPECT_EQ(pic.Width(), 3);
    EXPECT_EQ(pic.ReadPixel(1, 1), 0x123456u);
    const auto good = Gif(6, 4, two);
    ASSERT_TRUE(pic.LoadFromBytes("x.gif", good.data(), good.size()));
    EXPECT_EQ(pic.Width(), 6);
    EXPECT_EQ(pic.ReadPixel(1, 0), 1u) << "palette index of the second pixel";
}

// Only the formats the program reads reach a decoder, whatever the name says: a PNG named
// .jpg opens, a bitmap named .png goes to our own codec, and bytes of any other format (which
// Qt has plugins for) are refused.
TEST(HostileFiles, TheBytesPickTheDecoder) {
    TempDir dir;
    FCObjImage img;
    ASSERT_TRUE(img.Allocate(5, 3, 24));
    img.WritePixel(2, 1, 0x00FF00);
    ASSERT_TRUE(img.SaveToFile(dir.file("a.png")));
    ASSERT_TRUE(img.SaveToFile(dir.file("a.bmp")));
    const auto png = ReadFileBytes(dir.file("a.png"));
    const auto bmp = ReadFileBytes(dir.file("a.bmp"));
    FCObjImage back;
    ASSERT_TRUE(back.LoadFromBytes("x.jpg", png.data(), png.size()));
    EXPECT_EQ(back.ReadPixel(2, 1), 0x00FF00u);
    ASSERT_TRUE(back.LoadFromBytes("x.png", bmp.data(), bmp.size()));
    EXPECT_EQ(back.ReadPixel(2, 1), 0x00FF00u);
    const std::string others[] = {
        "<svg xmlns='http://www.w3.org/2000/svg' width='9' height='9'/>",
        "/* XPM */\nstatic char *x[] = {\"1 1 1 1\", \"a c #ff0000\", \"a\"};\n",
        "P6\n1 1\n255\n\xff\0\0",
        "RIFF\x1a\0\0\0WEBPVP8L\x0d\0\0\0\x2f\0\0\0\x10\x07\x10\x11\x11\x88\x88\xfe\x07\0",
    };
    for (const std::string& o : others)
        EXPECT_FALSE(back.LoadFromBytes("x.png", reinterpret_cast<const uint8_t*>(o.data()), o.size()))
            << o.substr(0, 12);
}

// A progressive JPEG's first scan repeated: every copy is another pass over the whole picture
// for the decoder, a few bytes each in the file.
std::vector<uint8_t> WithFirstScanRepeated(const std::vector<uint8_t>& jpeg, int copies) {
    size_t i = 2, sos = 0, end = 0;
    while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
        const size_t len = size_t(jpeg[i + 2]) << 8 | jpeg[i + 3];
        if (jpeg[i + 1] == 0xDA) {
            sos = i;
            end = i + 2 + len;
            while (end + 1 < jpeg.size() && !(jpeg[end] == 0xFF && jpeg[end + 1] != 0 &&
                                               (jpeg[end + 1] < 0xD0 || jpeg[end + 1] > 0xD7)))
                ++end;
            break;
        }
        i += 2 + len;
    }
    std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + long(end));
    for (int k = 0; k < copies; ++k) out.insert(out.end(), jpeg.begin() + long(sos), jpeg.begin() + long(end));
    out.insert(out.end(), jpeg.begin() + long(end), jpeg.end());
    return out;
}

TEST(HostileFiles, JpegWithThousandsOfScansIsRefused) {
    QImage photo(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) photo.setPixel(x, y, qRgb(x * 4, y * 5, (x ^ y) * 3));
    const std::vector<uint8_t> progressive = ProgressiveJpeg(photo);
    ASSERT_FALSE(progressive.empty());
    FCObjImage img;
    ASSERT_TRUE(img.LoadFromBytes("x.jpg", progressive.data(), progressive.size()));

    const std::vector<uint8_t> hostile = WithFirstScanRepeated(progressive, 3000);
    // Qt alone would decode it, three thousand passes later.
    EXPECT_FALSE(QImage::fromData(hostile.data(), int(hostile.size()), "jpeg").isNull());
    EXPECT_FALSE(img.LoadFromBytes("x.jpg", hostile.data(), hostile.size()));
    EXPECT_EQ(img.Width(), 64) << "the picture that was there";
    EXPECT_GT(JpegScanCount(hostile.data(), hostile.size(), 100000), 3000);
    EXPECT_GE(JpegScanCount(progressive.data(), progressive.size()), 2);
}

// GIF goes through giflib: damaged files give the frames read before the damage or fail,
// and never reach outside a buffer.
TEST(HostileFiles, DamagedGif) {
    TempDir dir;
    FCObjImage img;
    ASSERT_TRUE(img.Allocate(23, 17, 8));
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 23; ++x) img.WritePixel(x, y, uint32_t(x * 11 + y * 3));
    ASSERT_TRUE(img.SaveToFile(dir.file("ok.gif")));
    const std::vector<uint8_t> good = ReadFileBytes(dir.file("ok.gif"));
    std::mt19937 rng(99);
    for (int iter = 0; iter < 300; ++iter) {
        std::vector<uint8_t> b = good;
        if (iter % 2) b.resize(rng() % b.size());
        for (int k = 0; k < 3 && !b.empty(); ++k) b[rng() % b.size()] ^= uint8_t(rng());
        WriteFileBytes(dir.file("bad.gif"), b);
        FCObjImage back;
        if (back.LoadFromFile(dir.file("bad.gif"))) {
            EXPECT_GT(back.Width(), 0);
        }
    }
}
