#pragma once
// Picture file handlers: a factory maps a file name's extension to a format code and the
// code to a handler. BMP and TGA are our own codecs; JPEG, GIF, PNG, TIFF and ICO are
// served by Qt's image I/O (GIF writing by giflib).

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "image/obj_image.h"
#include "image/pcl_array.h"

// Metadata read from or handed to a codec: 32-bit key → text.
using FCPropertyMap = std::map<int32_t, std::string>;

enum IMAGE_TYPE {
    IMG_UNKNOW = 0,
    IMG_BMP = 1,
    IMG_PCX = 2,
    IMG_JPG = 3,
    IMG_GIF = 4,
    IMG_TGA = 5,
    IMG_TIF = 6,
    IMG_PNG = 7,
    IMG_PSD = 8,
    IMG_ICO = 9,
    IMG_XPM = 10,
    IMG_OXO = 11,
};

class FCImageHandleBase {
public:
    static constexpr int32_t kPropJpegQuality = 500;
    static constexpr int32_t kPropJpegQualityAlt = 0x5010;
    static constexpr int32_t kPropTgaRle = 1000;

    virtual ~FCImageHandleBase() = default;

    // Reads at most this many frames of a file (0: all of them); a picture needs the first.
    void SetFrameLimit(int frames) { m_nFrameLimit = frames < 0 ? 0 : frames; }

    // Reads the file into memory and hands it to LoadImageMemory.
    virtual bool LoadImageFile(const std::string& path, PCL_Interface_Composite<FCObjImage>& images,
                               std::unique_ptr<FCPropertyMap>& props);
    virtual bool LoadImageMemory(const uint8_t* pStart, size_t nBytes,
                                 PCL_Interface_Composite<FCObjImage>& images,
                                 std::unique_ptr<FCPropertyMap>& props) {
        (void)pStart, (void)nBytes, (void)images, (void)props;
        return false;
    }
    // Only the first image of the list is written.
    virtual bool SaveImageFile(const std::string& path,
                               const std::vector<const FCObjImage*>& images,
                               const FCPropertyMap& props) {
        (void)path, (void)images, (void)props;
        return false;
    }

protected:
    int m_nFrameLimit = 0;
};

class FCImageHandle_Bmp : public FCImageHandleBase {
public:
    bool LoadImageMemory(const uint8_t* pStart, size_t nBytes,
                         PCL_Interface_Composite<FCObjImage>& images,
                         std::unique_ptr<FCPropertyMap>& props) override;
    bool SaveImageFile(const std::string& path, const std::vector<const FCObjImage*>& images,
                       const FCPropertyMap& props) override;
};

class FCImageHandle_Tga : public FCImageHandleBase {
public:
    bool LoadImageMemory(const uint8_t* pStart, size_t nBytes,
                         PCL_Interface_Composite<FCObjImage>& images,
                         std::unique_ptr<FCPropertyMap>& props) override;
    bool SaveImageFile(const std::string& path, const std::vector<const FCObjImage*>& images,
                       const FCPropertyMap& props) override;
};

// JPEG, PNG, TIFF and ICO through Qt's image readers and writers, GIF through giflib. Reading
// goes by the bytes, not the name: the decoder is picked from the file's signature, and only
// these formats (and BMP, by our own codec) are read, so no other image plugin ever sees
// outside bytes.
class FCImageHandle_Qt : public FCImageHandleBase {
public:
    bool LoadImageMemory(const uint8_t* pStart, size_t nBytes,
                         PCL_Interface_Composite<FCObjImage>& images,
                         std::unique_ptr<FCPropertyMap>& props) override;
    bool SaveImageFile(const std::string& path, const std::vector<const FCObjImage*>& images,
                       const FCPropertyMap& props) override;

    // The JPEG quality a save uses: key 500, else 0x5010; missing or "-1" → 80; clamped 1..100.
    static int JpegQuality(const FCPropertyMap& props);
};

// What one file may make a reader decode. No codec we read packs more than
// kMaxPixelsPerFileByte pixels into one byte of file (the lossless ones stay far below), so a
// picture size claiming more is refused before memory is taken for it; and all frames of one
// file together stay within that many pixels and kMaxDecodedBytes.
class FCDecodeBudget {
public:
    static constexpr int64_t kMaxPixelsPerFileByte = 16384;
    static constexpr int64_t kMaxDecodedBytes = int64_t(1) << 30;

    // A codec that packs fewer pixels into a byte may say so.
    explicit FCDecodeBudget(size_t fileBytes, int64_t pixelsPerByte = kMaxPixelsPerFileByte);
    // Whether a picture of `pixels` pixels could be coded in `bytes` bytes of file.
    static bool Plausible(int64_t pixels, size_t bytes);
    // Books a decoded picture; false (nothing booked) when the file's budget cannot hold it.
    bool Take(int64_t pixels, int64_t bytes);

private:
    int64_t m_pixels;
    int64_t m_bytes;
};

class FCImageHandleFactory {
public:
    virtual ~FCImageHandleFactory() = default;
    // The one process-wide factory.
    static FCImageHandleFactory& Get();

    static IMAGE_TYPE QueryImageFileType(const std::string& path);
    // The caller owns the handler; null when the format has none.
    virtual FCImageHandleBase* CreateImageHandle(IMAGE_TYPE type) const;
    FCImageHandleBase* CreateHandleFromPath(const std::string& path) const {
        return CreateImageHandle(QueryImageFileType(path));
    }
    // Whether a handler exists that reads / writes this format.
    static bool CanRead(IMAGE_TYPE type);
    static bool CanWrite(IMAGE_TYPE type);
};
