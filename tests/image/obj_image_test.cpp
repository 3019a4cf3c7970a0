// The picture buffer: layout, palettes, refusals and the pixel operations.

#include "image/obj_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

FCBitmapInfoHeader Header(int w, int h, int bits, uint32_t compression = 0) {
    FCBitmapInfoHeader hdr;
    hdr.biSize = 40;
    hdr.biWidth = w;
    hdr.biHeight = h;
    hdr.biPlanes = 1;
    hdr.biBitCount = static_cast<uint16_t>(bits);
    hdr.biCompression = compression;
    return hdr;
}

// A 24-bit picture whose pixel (x, y) holds a value derived from its position.
FCObjImage Pattern24(int w, int h) {
    FCObjImage img;
    EXPECT_TRUE(img.Allocate(w, h, 24));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.WritePixel(x, y, (x * 7 + 1) | ((y * 13 + 2) << 8) | ((x ^ y) << 16));
    return img;
}

}  // namespace

TEST(ObjImage, StrideAndRowOrder) {
    struct Case {
        int w, bits, stride;
    } cases[] = {{1, 24, 4}, {3, 24, 12}, {5, 1, 4},  {33, 1, 8}, {3, 4, 4},
                 {9, 4, 8},  {5, 8, 8},   {3, 16, 8}, {3, 32, 12}};
    for (const Case& c : cases) {
        FCObjImage img;
        ASSERT_TRUE(img.Allocate(c.w, 3, c.bits)) << c.w << "x" << c.bits;
        EXPECT_EQ(img.RowStride(), c.stride) << c.w << "x" << c.bits;
        EXPECT_EQ(img.PixelBytes(), size_t(3 * c.stride));
        // The block is zeroed, and rows[0] addresses the last row of the block.
        for (size_t i = 0; i < img.PixelBytes(); ++i) ASSERT_EQ(img.GetMemStart()[i], 0);
        EXPECT_EQ(img.GetRow(0), img.GetMemStart() + 2 * c.stride);
        EXPECT_EQ(img.GetRow(2), img.GetMemStart());
    }
    FCObjImage img;
    ASSERT_TRUE(img.Allocate(2, 2, 24));
    img.WritePixel(0, 0, 0x030201);
    const uint8_t* last = img.GetMemStart() + img.RowStride();
    EXPECT_EQ(last[0], 1);
    EXPECT_EQ(last[1], 2);
    EXPECT_EQ(last[2], 3);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(img.GetMemStart()) % 4096, 0u)
        << "pixel block is page aligned";
}

TEST(ObjImage, GreyRampPalettes) {
    FCObjImage img;
    FCRgbQuad pal[256];
    ASSERT_TRUE(img.Allocate(4, 4, 8));
    ASSERT_TRUE(img.ReadPalette(256, pal));
    EXPECT_EQ(pal[255].rgbRed, 255);
    EXPECT_EQ(pal[255].rgbBlue, 255);
    EXPECT_EQ(pal[100].rgbGreen, 100);
    EXPECT_EQ(pal[7].rgbReserved, 0);
    ASSERT_TRUE(img.Allocate(4, 4, 4));
    ASSERT_TRUE(img.ReadPalette(256, pal));  // copies only the 16 entries that exist
    EXPECT_EQ(pal[15].rgbRed, 255);
    EXPECT_EQ(pal[1].rgbGreen, 17);
    ASSERT_TRUE(img.Allocate(4, 4, 1));
    ASSERT_TRUE(img.ReadPalette(2, pal));
    EXPECT_EQ(pal[0].rgbRed, 0);
    EXPECT_EQ(pal[1].rgbRed, 255);
    ASSERT_TRUE(img.Allocate(4, 4, 24));
    EXPECT_FALSE(img.ReadPalette(2, pal));
    EXPECT_FALSE(img.WritePalette(2, pal));
    FCObjImage invalid;
    EXPECT_FALSE(invalid.ReadPalette(2, pal));
}

TEST(ObjImage, MasksOf16BitPictures) {
    FCObjImage img;
    ASSERT_TRUE(img.Allocate(2, 2, 16));
    EXPECT_EQ(img.GetMasks()[0], 0x7C00u);
    EXPECT_EQ(img.GetMasks()[1], 0x03E0u);
    EXPECT_EQ(img.GetMasks()[2], 0x001Fu);
    uint8_t block[52];
    FCBitmapInfoHeader h = Header(2, 2, 16, 3);
    const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(block, &h, 40);
    std::memcpy(block + 40, masks, 12);
    ASSERT_TRUE(img.Allocate(block));
    EXPECT_EQ(img.GetMasks()[1], 0x07E0u);
    EXPECT_EQ(img.GetInfoHeader().biCompression, 3u);
    // Masks are kept only for 16-bit pictures; other depths are forced to plain.
    h = Header(2, 2, 24, 3);
    std::memcpy(block, &h, 40);
    ASSERT_TRUE(img.Allocate(block));
    EXPECT_EQ(img.GetInfoHeader().biCompression, 0u);
}

TEST(ObjImage, RefusedHeadersLeaveThePictureUntouched) {
    struct Case {
        const char* what;
        FCBitmapInfoHeader h;
    } cases[] = {
        {"negative height", Header(640, -480, 24)},
        {"zero width", Header(0, 10, 24)},
        {"run-length compression", Header(10, 10, 8, 1)},
        {"compression 2", Header(10, 10, 4, 2)},
        {"2 bits per pixel", Header(10, 10, 2)},
        {"0 bits per pixel", Header(10, 10, 0)},
        {"block over 2 GiB", Header(70000, 70000, 24)},
        {"stride over 32 bits", Header(0x7FFFFFFF, 1, 32)},
    };
    FCObjImage img = Pattern24(3, 2);
    const std::vector<uint8_t> before(img.GetMemStart(), img.GetMemStart() + img.PixelBytes());
    for (const Case& c : cases) {
        EXPECT_FALSE(img.Allocate(reinterpret_cast<const uint8_t*>(&c.h))) << c.what;
        ASSERT_TRUE(img.IsValid()) << c.what;
        EXPECT_EQ(img.Width(), 3);
        EXPECT_EQ(std::vector<uint8_t>(img.GetMemStart(), img.GetMemStart() + img.PixelBytes()),
                  before);
    }
    EXPECT_FALSE(img.Allocate(nullptr));
    EXPECT_FALSE(img.Allocate(3, 0, 24));
}

TEST(ObjImage, PixelsOfEveryDepth) {
    struct Case {
        int bits;
        uint32_t value;
    } cases[] = {{1, 1}, {4, 0xB}, {8, 0xC3}, {16, 0x7ABC}, {24, 0x123456}, {32, 0x80FF0102}};
    for (const Case& c : cases) {
        FCObjImage img;
        ASSERT_TRUE(img.Allocate(9, 3, c.bits));
        img.WritePixel(4, 1, c.value);
        img.WritePixel(5, 1, c.value);
        EXPECT_EQ(img.ReadPixel(4, 1), c.value) << c.bits;
        EXPECT_EQ(img.ReadPixel(5, 1), c.value) << c.bits;
        EXPECT_EQ(img.ReadPixel(3, 1), 0u) << "neighbour untouched, " << c.bits;
        EXPECT_EQ(img.ReadPixel(6, 1), 0u) << "neighbour untouched, " << c.bits;
        // Out of range: reads 0, writes nothing.
        EXPECT_EQ(img.ReadPixel(9, 0), 0u);
        EXPECT_EQ(img.ReadPixel(0, -1), 0u);
        const std::vector<uint8_t> before(img.GetMemStart(), img.GetMemStart() + img.PixelBytes());
        img.WritePixel(-1, 0, c.value);
        img.WritePixel(0, 3, c.value);
        EXPECT_EQ(std::vector<uint8_t>(img.GetMemStart(), img.GetMemStart() + img.PixelBytes()),
                  before);
    }
    FCObjImage img;
    ASSERT_TRUE(img.Allocate(8, 1, 1));
    img.WritePixel(0, 0, 1);
    EXPECT_EQ(img.GetRow(0)[0], 0x80) << "pixel 0 is bit 7";
    ASSERT_TRUE(img.Allocate(2, 1, 4));
    img.WritePixel(0, 0, 0xA);
    EXPECT_EQ(img.GetRow(0)[0], 0xA0) << "even pixel in the high nibble";
}

TEST(ObjImage, CopyIsDeepAndKeepsPaletteMasksPosition) {
    FCObjImage src;
    ASSERT_TRUE(src.Allocate(5, 4, 8));
    FCRgbQuad pal[256];
    for (int i = 0; i < 256; ++i) pal[i] = FCRgbQuad{uint8_t(i), uint8_t(255 - i), 7, 0};
    src.WritePalette(256, pal);
    src.WritePixel(2, 3, 99);
    src.x = 11;
    src.y = -4;
    FCObjImage copy(src);
    src.WritePixel(2, 3, 1);
    EXPECT_EQ(copy.ReadPixel(2, 3), 99u);
    EXPECT_EQ(copy.GetPalette()[200].rgbGreen, 55);
    EXPECT_EQ(copy.x, 11);
    EXPECT_EQ(copy.y, -4);
    copy.CopyFrom(copy);  // copying itself changes nothing
    EXPECT_EQ(copy.ReadPixel(2, 3), 99u);
    FCObjImage empty;
    copy.CopyFrom(empty);  // an invalid source is ignored
    EXPECT_TRUE(copy.IsValid());
}

TEST(ObjImage, ToTrueColor24) {
    struct Case {
        const char* what;
        int bits;
        uint32_t green;  // green mask for 16-bit pictures
        uint32_t value;
        uint32_t expect;  // blue | green << 8 | red << 16
    } cases[] = {
        {"5-5-5 white", 16, 0x03E0, 0x7FFF, 0xF8F8F8},
        {"5-5-5 red", 16, 0x03E0, 0x7C00, 0xF80000},
        {"5-6-5 white", 16, 0x07E0, 0xFFFF, 0xF8FCF8},
        {"5-6-5 green", 16, 0x07E0, 0x07E0, 0x00FC00},
        {"32 drops alpha", 32, 0, 0x7F102030, 0x102030},
        {"8-bit grey ramp", 8, 0, 200, 0xC8C8C8},
        {"4-bit grey ramp", 4, 0, 1, 0x111111},
        {"1-bit white", 1, 0, 1, 0xFFFFFF},
    };
    for (const Case& c : cases) {
        FCObjImage img;
        if (c.bits == 16) {
            uint8_t block[52];
            FCBitmapInfoHeader h = Header(3, 2, 16, 3);
            const uint32_t masks[3] = {c.green == 0x07E0 ? 0xF800u : 0x7C00u, c.green, 0x1Fu};
            std::memcpy(block, &h, 40);
            std::memcpy(block + 40, masks, 12);
            ASSERT_TRUE(img.Allocate(block));
        } else {
            ASSERT_TRUE(img.Allocate(3, 2, c.bits));
        }
        img.WritePixel(1, 1, c.value);
        img.x = 5;
        img.ToTrueColor24();
        ASSERT_EQ(img.ColorBits(), 24) << c.what;
        EXPECT_EQ(img.ReadPixel(1, 1), c.expect) << c.what;
        EXPECT_EQ(img.x, 5) << c.what;
    }
    FCObjImage img;
    ASSERT_TRUE(img.Allocate(2, 1, 8));
    FCRgbQuad pal[2] = {{1, 2, 3, 0}, {10, 20, 30, 0}};
    img.WritePalette(2, pal);
    img.WritePixel(0, 0, 1);
    img.ToTrueColor24();
    EXPECT_EQ(img.ReadPixel(0, 0), 0x1E140Au) << "palette colours, not indices";
    EXPECT_EQ(img.ReadPixel(1, 0), 0x030201u);
}

TEST(ObjImage, ResizeNearest) {
    FCObjImage img = Pattern24(7, 5);
    const FCObjImage src(img);
    img.ResizeNearest(17, 3);
    ASSERT_EQ(img.Width(), 17);
    ASSERT_EQ(img.Height(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 17; ++x)
            ASSERT_EQ(img.ReadPixel(x, y), src.ReadPixel(x * 7 / 17, y * 5 / 3)) << x << "," << y;
    img.ResizeNearest(2, 9);
    EXPECT_EQ(img.Width(), 2);
    EXPECT_EQ(img.Height(), 9);

    FCObjImage grey;
    ASSERT_TRUE(grey.Allocate(4, 4, 8));
    FCRgbQuad pal[256] = {};
    pal[9] = {9, 9, 9, 0};
    grey.WritePalette(256, pal);
    grey.WritePixel(3, 3, 9);
    grey.ResizeNearest(8, 8);
    EXPECT_EQ(grey.ReadPixel(7, 7), 9u);
    EXPECT_EQ(grey.GetPalette()[9].rgbRed, 9) << "palette taken over";

    FCObjImage four;
    ASSERT_TRUE(four.Allocate(4, 4, 4));
    four.ResizeNearest(8, 8);
    EXPECT_EQ(four.Width(), 4) << "below 8 bits: unchanged";
}

TEST(ObjImage, ExtractRegion) {
    const FCObjImage img = Pattern24(10, 8);
    FCObjImage part;
    ASSERT_TRUE(img.ExtractRegion(&part, FCRect{-3, 6, 4, 20}));  // clipped to (0, 6)-(4, 8)
    EXPECT_EQ(part.Width(), 4);
    EXPECT_EQ(part.Height(), 2);
    EXPECT_EQ(part.x, 0);
    EXPECT_EQ(part.y, 6);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(part.ReadPixel(x, y), img.ReadPixel(x, y + 6));

    EXPECT_FALSE(img.ExtractRegion(&part, FCRect{20, 20, 30, 30})) << "wholly outside";
    EXPECT_FALSE(img.ExtractRegion(nullptr, FCRect{0, 0, 2, 2}));
    FCObjImage grey;
    ASSERT_TRUE(grey.Allocate(4, 4, 8));
    EXPECT_FALSE(grey.ExtractRegion(&grey, FCRect{0, 0, 2, 2})) << "into itself";
    FCObjImage mono;
    ASSERT_TRUE(mono.Allocate(16, 4, 1));
    EXPECT_FALSE(mono.ExtractRegion(&part, FCRect{0, 0, 8, 2})) << "below 8 bits";
}

TEST(ObjImage, SaveRestoreBlockAndBitmapInfo) {
    FCObjImage img = Pattern24(5, 3);
    img.x = 3;
    img.y = 9;
    const int64_t size = img.SaveRestoreBlock(true, nullptr);
    EXPECT_EQ(size, 3 * img.RowStride() + 60);
    std::vector<uint8_t> block(size);
    EXPECT_EQ(img.SaveRestoreBlock(true, block.data()), size);
    FCObjImage back;
    EXPECT_EQ(back.SaveRestoreBlock(false, block.data()), size);
    EXPECT_EQ(back.Width(), 5);
    EXPECT_EQ(back.x, 3);
    EXPECT_EQ(back.y, 9);
    EXPECT_EQ(0, std::memcmp(back.GetMemStart(), img.GetMemStart(), img.PixelBytes()));

    // Palettes are not part of the block: an 8-bit picture comes back with the grey ramp.
    FCObjImage grey;
    ASSERT_TRUE(grey.Allocate(2, 2, 8));
    FCRgbQuad red{0, 0, 255, 0};
    grey.WritePalette(1, &red);
    std::vector<uint8_t> gb(grey.SaveRestoreBlock(true, nullptr));
    grey.SaveRestoreBlock(true, gb.data());
    FCObjImage greyBack;
    greyBack.SaveRestoreBlock(false, gb.data());
    EXPECT_EQ(greyBack.GetPalette()[0].rgbRed, 0);

    EXPECT_EQ(grey.BuildBitmapInfo().size(), 40u + 256 * 4);
    EXPECT_EQ(img.BuildBitmapInfo().size(), 40u + 12);
}

#if !defined(__SANITIZE_ADDRESS__)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// When the memory cannot be had, Allocate says so and the picture keeps what it held.
TEST(ObjImage, FailedAllocationNeverReportsSuccess) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        FCObjImage img;
        if (!img.Allocate(64, 64, 24)) _exit(10);
        rlimit lim{};
        getrlimit(RLIMIT_AS, &lim);
        lim.rlim_cur = 1ull << 30;  // far below the 1.2 GB block asked for next
        setrlimit(RLIMIT_AS, &lim);
        const bool ok = img.Allocate(20000, 20000, 24);
        if (ok) _exit(11);
        if (!img.IsValid() || img.Width() != 64) _exit(12);
        FCObjImage fresh;
        if (fresh.Allocate(20000, 20000, 24) || fresh.IsValid()) _exit(13);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif
