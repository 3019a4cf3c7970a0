// Picture files: the format table, the exact BMP/TGA layouts, round trips checked by
// independent readers (OpenCV, ImageMagick), the frame mapping and the JPEG quality rule.

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <cstring>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "image/image_handle.h"
#include "image/obj_image.h"
#include "test_support.h"

namespace {

// A 24-bit picture with varied content: smooth gradients plus a little noise, so lossless
// codecs cannot cheat and a lossy one stays within a known error.
FCObjImage Photo(int w, int h, unsigned seed = 1) {
    FCObjImage img;
    EXPECT_TRUE(img.Allocate(w, h, 24));
    unsigned s = seed;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1103515245u + 12345u;
            const uint32_t noise = (s >> 16) & 0x07;
            const uint32_t b = x * 240 / w + noise, g = y * 240 / h + noise,
                           r = (x + y) * 240 / (w + h) + noise;
            img.WritePixel(x, y, b | (g << 8) | (r << 16));
        }
    return img;
}

// Compares our 24-bit picture with an OpenCV BGR matrix; returns the largest channel difference.
int MaxDiff(const FCObjImage& img, const cv::Mat& m) {
    EXPECT_EQ(m.cols, img.Width());
    EXPECT_EQ(m.rows, img.Height());
    EXPECT_EQ(m.type(), CV_8UC3);
    if (m.cols != img.Width() || m.rows != img.Height() || m.type() != CV_8UC3) return 999;
    int worst = 0;
    for (int y = 0; y < m.rows; ++y) {
        const uint8_t* a = img.GetRow(y);
        const uint8_t* b = m.ptr<uint8_t>(y);
        for (int i = 0; i < 3 * m.cols; ++i)
            worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    }
    return worst;
}

cv::Mat ToMat(const FCObjImage& img) {
    cv::Mat m(img.Height(), img.Width(), CV_8UC3);
    for (int y = 0; y < img.Height(); ++y)
        std::memcpy(m.ptr(y), img.GetRow(y), 3 * size_t(img.Width()));
    return m;
}

// Decoded by ImageMagick (for formats OpenCV does not read) into a PPM that OpenCV reads.
cv::Mat ReadWithImageMagick(const std::string& path, const TempDir& dir) {
    const std::string ppm = dir.file("im_decoded.ppm");
    // ImageMagick keeps a file's stored row order unless told to apply its orientation.
    const ProcessResult r =
        RunProcess("convert", {path + "[0]", "-auto-orient", "-depth", "8", ppm});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return cv::imread(ppm, cv::IMREAD_COLOR);
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

}  // namespace

TEST(ImageFormats, ExtensionTable) {
    struct Case {
        const char* path;
        IMAGE_TYPE type;
        bool read, write;
    } cases[] = {
        {"PICTURE.JPG", IMG_JPG, true, true},
        {"dir.v2/picture.jpeg", IMG_JPG, true, true},
        {"a.gif", IMG_GIF, true, true},
        {"a.Png", IMG_PNG, true, true},
        {"a.bmp", IMG_BMP, true, true},
        {"a.tga", IMG_TGA, true, true},
        {"a.tif", IMG_TIF, true, true},
        {"a.TIFF", IMG_TIF, true, true},
        {"a.ico", IMG_ICO, true, false},
        {"a.pcx", IMG_PCX, false, false},
        {"a.psd", IMG_PSD, false, false},
        {"a.xpm", IMG_XPM, false, false},
        {"a.oxo", IMG_OXO, false, false},
        {"archive.tar.gz", IMG_UNKNOW, false, false},
        {"noextension", IMG_UNKNOW, false, false},
        {"trailingdot.", IMG_UNKNOW, false, false},
    };
    for (const Case& c : cases) {
        const IMAGE_TYPE t = FCImageHandleFactory::QueryImageFileType(c.path);
        EXPECT_EQ(t, c.type) << c.path;
        std::unique_ptr<FCImageHandleBase> h(FCImageHandleFactory::Get().CreateImageHandle(t));
        EXPECT_EQ(h != nullptr, c.read) << c.path;
        EXPECT_EQ(FCImageHandleFactory::CanWrite(t), c.write) << c.path;
    }
}

TEST(ImageFormats, BmpLayout) {
    TempDir dir;
    const FCObjImage img = Photo(3, 2);
    ASSERT_TRUE(img.SaveToFile(dir.file("a.bmp")));
    const auto b = ReadFileBytes(dir.file("a.bmp"));
    ASSERT_EQ(b.size(), 78u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(Le32(b, 2), 78u);
    EXPECT_EQ(Le32(b, 10), 54u);
    EXPECT_EQ(Le32(b, 14), 40u);
    EXPECT_EQ(Le32(b, 34), 0u) << "image size field stays 0";
    EXPECT_EQ(0, std::memcmp(b.data() + 54, img.GetMemStart(), 24))
        << "rows bottom first, as in the block";

    FCObjImage grey;
    ASSERT_TRUE(grey.Allocate(5, 5, 8));
    ASSERT_TRUE(grey.SaveToFile(dir.file("g.bmp")));
    EXPECT_EQ(Le32(ReadFileBytes(dir.file("g.bmp")), 10), 54u + 1024);

    uint8_t block[52];
    FCBitmapInfoHeader h;
    h.biWidth = 4;
    h.biHeight = 2;
    h.biBitCount = 16;
    h.biCompression = 3;
    const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(block, &h, 40);
    std::memcpy(block + 40, masks, 12);
    FCObjImage rgb565;
    ASSERT_TRUE(rgb565.Allocate(block));
    rgb565.WritePixel(1, 0, 0x07E0);
    ASSERT_TRUE(rgb565.SaveToFile(dir.file("m.bmp")));
    const auto m = ReadFileBytes(dir.file("m.bmp"));
    EXPECT_EQ(Le32(m, 10), 66u);
    EXPECT_EQ(Le32(m, 58), 0x07E0u) << "green mask after the header";
    FCObjImage back;
    ASSERT_TRUE(back.LoadFromFile(dir.file("m.bmp")));
    EXPECT_EQ(back.GetMasks()[1], 0x07E0u);
    back.ToTrueColor24();
    EXPECT_EQ(back.ReadPixel(1, 0), 0x00FC00u);
}

TEST(ImageFormats, BmpPaletteFollowsTheInformationHeader) {
    // An 8-bit file with a 124-byte header: the palette starts at 14 + 124.
    std::vector<uint8_t> f(14 + 124 + 1024 + 4, 0);
    f[0] = 'B';
    f[1] = 'M';
    const uint32_t offset = 14 + 124 + 1024;
    std::memcpy(&f[10], &offset, 4);
    FCBitmapInfoHeader h;
    h.biSize = 124;
    h.biWidth = 2;
    h.biHeight = 1;
    h.biPlanes = 1;
    h.biBitCount = 8;
    std::memcpy(&f[14], &h, 40);
    f[14 + 124 + 4 * 1 + 2] = 200;  // entry 1: red 200
    f[offset + 1] = 1;              // pixel (1, 0) = index 1
    TempDir dir;
    WriteFileBytes(dir.file("v5.bmp"), f);
    FCObjImage img;
    ASSERT_TRUE(img.LoadFromFile(dir.file("v5.bmp")));
    EXPECT_EQ(img.ColorBits(), 8);
    EXPECT_EQ(img.GetPalette()[1].rgbRed, 200);
    img.ToTrueColor24();
    EXPECT_EQ(img.ReadPixel(1, 0), 0xC80000u);
}

TEST(ImageFormats, TgaLayout) {
    TempDir dir;
    const FCObjImage img = Photo(3, 2);
    ASSERT_TRUE(img.SaveToFile(dir.file("a.tga")));
    const auto b = ReadFileBytes(dir.file("a.tga"));
    ASSERT_EQ(b.size(), 48u);
    const uint8_t head[18] = {12, 0, 2, 0, 0, 0, 1, 24, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0x20};
    EXPECT_EQ(0, std::memcmp(b.data(), head, 18));
    EXPECT_EQ(0, std::memcmp(b.data() + 30, img.GetRow(0), 9)) << "top row first, no padding";

    FCObjImage grey;
    ASSERT_TRUE(grey.Allocate(2, 2, 8));
    ASSERT_TRUE(grey.SaveToFile(dir.file("g.tga")));
    const auto g = ReadFileBytes(dir.file("g.tga"));
    EXPECT_EQ(g.size(), 18u + 12 + 768 + 4);
    EXPECT_EQ(g[1], 1);
    EXPECT_EQ(g[2], 1);
    EXPECT_EQ(g[30 + 3 * 255], 255) << "colour map entry 255";

    FCObjImage four;
    ASSERT_TRUE(four.Allocate(2, 2, 4));
    EXPECT_FALSE(four.SaveToFile(dir.file("f.tga")));
}

TEST(ImageFormats, TgaOriginColourMapAndRunLength) {
    // 2 x 2, 8-bit colour-mapped, map entries 10..29; the descriptor decides the row order.
    auto make = [](uint8_t descriptor, bool rle) {
        std::vector<uint8_t> f = {
            0, 1, uint8_t(rle ? 9 : 1), 10, 0, 20, 0, 24, 0, 0, 0, 0, 2, 0, 2, 0, 8, descriptor};
        for (int i = 0; i < 20; ++i) f.insert(f.end(), {uint8_t(i), uint8_t(i), uint8_t(100 + i)});
        if (rle) {
            f.insert(f.end(), {0x81, 10});      // row 0: index 10 twice
            f.insert(f.end(), {0x01, 11, 12});  // row 1: literal 11, 12
        } else {
            f.insert(f.end(), {10, 10, 11, 12});
        }
        return f;
    };
    TempDir dir;
    for (bool rle : {false, true}) {
        for (uint8_t desc : {uint8_t(0x20), uint8_t(0x00)}) {
            WriteFileBytes(dir.file("c.tga"), make(desc, rle));
            std::unique_ptr<FCImageHandleBase> h(
                FCImageHandleFactory::Get().CreateImageHandle(IMG_TGA));
            PCL_Interface_Composite<FCObjImage> list;
            std::unique_ptr<FCPropertyMap> props;
            ASSERT_TRUE(h->LoadImageFile(dir.file("c.tga"), list, props)) << rle << desc;
            const FCObjImage& img = *list.PCL_GetObject(0);
            const int top = desc == 0x20 ? 0 : 1;
            EXPECT_EQ(img.ReadPixel(0, top), 10u);
            EXPECT_EQ(img.ReadPixel(1, 1 - top), 12u);
            EXPECT_EQ(img.GetPalette()[9].rgbRed, 0) << "entries before the first are black";
            EXPECT_EQ(img.GetPalette()[10].rgbRed, 100);
            EXPECT_EQ(img.GetPalette()[30].rgbRed, 0) << "entries after the last are black";
            EXPECT_EQ(props->at(FCImageHandleBase::kPropTgaRle), rle ? "1" : "-1");
        }
    }
    auto bad = make(0x20, false);
    bad[3] = 200;  // first index 200 + length 100 > 256
    bad[5] = 100;
    WriteFileBytes(dir.file("bad.tga"), bad);
    FCObjImage img;
    EXPECT_FALSE(img.LoadFromFile(dir.file("bad.tga")));
}

TEST(ImageFormats, RoundTripsDecodedByIndependentReaders) {
    TempDir dir;
    const FCObjImage img = Photo(131, 67);  // odd width: rows need padding
    struct Case {
        const char* name;
        bool imageMagick;  // OpenCV cannot read the format
        int tolerance;
    } cases[] = {{"bmp", false, 0},
                 {"png", false, 0},
                 {"tif", false, 0},
                 {"tga", true, 0},
                 {"jpg", false, 40}};
    for (const Case& c : cases) {
        const std::string path = dir.file(std::string("rt.") + c.name);
        ASSERT_TRUE(img.SaveToFile(path)) << c.name;
        const cv::Mat m =
            c.imageMagick ? ReadWithImageMagick(path, dir) : cv::imread(path, cv::IMREAD_COLOR);
        ASSERT_FALSE(m.empty()) << c.name;
        EXPECT_LE(MaxDiff(img, m), c.tolerance) << c.name;
        if (c.tolerance > 0) {
            // Lossy: the mean error of quality 80 stays small.
            cv::Mat diff;
            cv::absdiff(ToMat(img), m, diff);
            EXPECT_LT(cv::mean(diff)[0], 4.0) << c.name;
        }
        // And our own reader returns what we wrote.
        FCObjImage back;
        ASSERT_TRUE(back.LoadFromFile(path)) << c.name;
        back.ToTrueColor24();
        EXPECT_LE(MaxDiff(back, m), c.tolerance == 0 ? 0 : 2) << c.name;
    }

    // GIF: a picture of few colours is stored exactly; a photo is reduced to 256 colours.
    FCObjImage few;
    ASSERT_TRUE(few.Allocate(40, 30, 24));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            few.WritePixel(x, y, ((x / 4) * 0x102030 + (y / 5) * 0x050A00) & 0xFFFFFF);
    ASSERT_TRUE(few.SaveToFile(dir.file("few.gif")));
    EXPECT_EQ(MaxDiff(few, ReadWithImageMagick(dir.file("few.gif"), dir)), 0);
    ASSERT_TRUE(img.SaveToFile(dir.file("photo.gif")));
    cv::Mat diff;
    cv::absdiff(ToMat(img), ReadWithImageMagick(dir.file("photo.gif"), dir), diff);
    EXPECT_LT(cv::mean(diff)[0], 6.0);
}

TEST(ImageFormats, IndexedPicturesKeepTheirPalette) {
    TempDir dir;
    FCObjImage pal;
    ASSERT_TRUE(pal.Allocate(17, 9, 8));
    FCRgbQuad entries[256];
    for (int i = 0; i < 256; ++i)
        entries[i] = FCRgbQuad{uint8_t(i * 3), uint8_t(255 - i), uint8_t(i * 7), 0};
    pal.WritePalette(256, entries);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 17; ++x) pal.WritePixel(x, y, (x * 9 + y * 31) & 0xFF);
    FCObjImage expect(pal);
    expect.ToTrueColor24();
    for (const char* ext : {"bmp", "tga", "png", "gif", "tif"}) {
        const std::string path = dir.file(std::string("p.") + ext);
        ASSERT_TRUE(pal.SaveToFile(path)) << ext;
        FCObjImage back;
        ASSERT_TRUE(back.LoadFromFile(path)) << ext;
        back.ToTrueColor24();
        EXPECT_EQ(MaxDiff(back, ToMat(expect)), 0) << ext;
        const cv::Mat m = std::string(ext) == "tga" || std::string(ext) == "gif"
                              ? ReadWithImageMagick(path, dir)
                              : cv::imread(path, cv::IMREAD_COLOR);
        EXPECT_EQ(MaxDiff(expect, m), 0) << ext;
    }
}

TEST(ImageFormats, FrameMapping) {
    TempDir dir;
    const std::string src = dir.file("src.png");
    ASSERT_TRUE(Photo(24, 16).SaveToFile(src));
    struct Case {
        const char* what;
        std::vector<std::string> convertArgs;  // ImageMagick arguments after the source
        const char* out;
        int bits;
    } cases[] = {
        {"rgb png", {"-depth", "8"}, "rgb.png", 24},
        {"rgba png",
         {"-alpha", "set", "-channel", "A", "-evaluate", "set", "50%", "-depth", "8"},
         "rgba.png",
         32},
        {"grey png", {"-colorspace", "Gray", "-depth", "8"}, "grey.png", 8},
        {"palette png", {"-colors", "16", "-depth", "8"}, "PNG8:pal.png", 8},
        {"16-bit png", {"-depth", "16"}, "deep.png", 24},
        {"jpeg", {"-quality", "90"}, "a.jpg", 24},
        {"grey jpeg", {"-colorspace", "Gray"}, "g.jpg", 8},
        {"gif", {}, "a.gif", 8},
        {"1-bit bmp", {"-monochrome"}, "BMP3:mono.bmp", 1},
        {"4-bit bmp", {"-colors", "16", "-type", "palette", "-compress", "none"}, "BMP3:p4.bmp", 4},
        {"rle tga", {"-compress", "RLE"}, "rle.tga", 24},
        {"ico", {}, "a.ico", 32},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{src};
        args.insert(args.end(), c.convertArgs.begin(), c.convertArgs.end());
        std::string out = c.out;
        args.push_back(out.find(':') == std::string::npos
                           ? dir.file(out)
                           : out.substr(0, out.find(':') + 1) +
                                 dir.file(out.substr(out.find(':') + 1)));
        const ProcessResult r = RunProcess("convert", args);
        ASSERT_EQ(r.exitCode, 0) << c.what << r.err;
        const std::string file = dir.file(out.substr(out.find(':') + 1));
        FCObjImage img;
        ASSERT_TRUE(img.LoadFromFile(file)) << c.what;
        EXPECT_EQ(img.ColorBits(), c.bits) << c.what;
        EXPECT_EQ(img.Width(), 24) << c.what;
        // Whatever the depth, the pixels are the file's pixels.
        img.ToTrueColor24();
        const cv::Mat m = ReadWithImageMagick(file, dir);
        EXPECT_LE(MaxDiff(img, m), 1) << c.what;
    }
    // Alpha of a translucent PNG is kept.
    FCObjImage rgba;
    ASSERT_TRUE(rgba.LoadFromFile(dir.file("rgba.png")));
    EXPECT_NEAR(int(rgba.ReadPixel(3, 3) >> 24), 128, 1);
}

TEST(ImageFormats, EveryFrameOfMultiFrameFiles) {
    TempDir dir;
    ASSERT_TRUE(Photo(20, 10, 1).SaveToFile(dir.file("a.png")));
    ASSERT_TRUE(Photo(20, 10, 2).SaveToFile(dir.file("b.png")));
    FCObjImage red;
    ASSERT_TRUE(red.Allocate(20, 10, 24));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) red.WritePixel(x, y, 0xFF0000);
    ASSERT_TRUE(red.SaveToFile(dir.file("c.png")));
    for (const char* name : {"multi.tif", "anim.gif"}) {
        const ProcessResult r = RunProcess(
            "convert", {dir.file("c.png"), dir.file("a.png"), dir.file("b.png"), dir.file(name)});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        std::unique_ptr<FCImageHandleBase> h(
            FCImageHandleFactory::Get().CreateHandleFromPath(dir.file(name)));
        PCL_Interface_Composite<FCObjImage> list;
        std::unique_ptr<FCPropertyMap> props;
        ASSERT_TRUE(h->LoadImageFile(dir.file(name), list, props)) << name;
        EXPECT_EQ(list.PCL_GetObjectCount(), 3) << name;
        // The document shows the first frame.
        FCObjImage first;
        ASSERT_TRUE(first.LoadFromFile(dir.file(name)));
        first.ToTrueColor24();
        EXPECT_EQ(first.ReadPixel(5, 5), 0xFF0000u) << name;
    }
}

TEST(ImageFormats, JpegQualityRule) {
    struct Case {
        std::vector<std::pair<int32_t, std::string>> props;
        int quality;
    } cases[] = {
        {{}, 80},
        {{{500, "-1"}}, 80},
        {{{500, "55"}}, 55},
        {{{500, "150"}}, 100},
        {{{500, "0"}}, 1},
        {{{500, ""}, {0x5010, "70"}}, 70},
        {{{0x5010, "-1"}}, 80},
        {{{500, "90"}, {0x5010, "20"}}, 90},
    };
    for (const Case& c : cases) {
        FCPropertyMap props(c.props.begin(), c.props.end());
        EXPECT_EQ(FCImageHandle_Qt::JpegQuality(props), c.quality);
    }
    // What an independent reader estimates for files we write.
    TempDir dir;
    const FCObjImage img = Photo(64, 48);
    ASSERT_TRUE(img.SaveToFile(dir.file("q.jpg")));
    ProcessResult r = RunProcess("identify", {"-format", "%Q", dir.file("q.jpg")});
    EXPECT_EQ(r.out, "80");
    FCImageHandle_Qt h;
    ASSERT_TRUE(h.SaveImageFile(dir.file("q100.jpg"), {&img}, FCPropertyMap{{500, "150"}}));
    r = RunProcess("identify", {"-format", "%Q", dir.file("q100.jpg")});
    EXPECT_EQ(r.out, "100");
}

TEST(ImageFormats, FailuresReportFalseAndKeepExistingFiles) {
    TempDir dir;
    const FCObjImage img = Photo(8, 8);
    EXPECT_FALSE(img.SaveToFile(dir.file("x.ico"))) << "no ICO encoder";
    EXPECT_FALSE(img.SaveToFile(dir.file("x.pcx")));
    EXPECT_FALSE(img.SaveToFile(dir.file("noext")));
    EXPECT_FALSE(img.SaveToFile(dir.file("missing/folder/x.bmp")));
    EXPECT_FALSE(FCObjImage().SaveToFile(dir.file("empty.bmp")));

    WriteFileBytes(dir.file("x.pcx"), {1, 2, 3});
    FCObjImage in;
    EXPECT_FALSE(in.LoadFromFile(dir.file("x.pcx"))) << "known extension without a handler";
    EXPECT_FALSE(in.LoadFromFile(dir.file("nothing.png")));
    WriteFileBytes(dir.file("junk.png"), {1, 2, 3, 4});
    EXPECT_FALSE(in.LoadFromFile(dir.file("junk.png")));

    // A save that fails leaves the file that was there.
    ASSERT_TRUE(img.SaveToFile(dir.file("keep.tga")));
    const auto before = ReadFileBytes(dir.file("keep.tga"));
    FCObjImage four;
    ASSERT_TRUE(four.Allocate(3, 3, 4));
    EXPECT_FALSE(four.SaveToFile(dir.file("keep.tga")));
    EXPECT_EQ(ReadFileBytes(dir.file("keep.tga")), before);
    EXPECT_TRUE(
        QDir(QString::fromStdString(dir.path())).entryList({"keep.tga.*"}, QDir::Files).isEmpty())
        << "no temporary left";
}
