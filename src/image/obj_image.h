#pragma once
// FCObjImage: the in-memory picture. Its pixel layout is the device-independent bitmap
// layout (rows bottom row first, padded to 4 bytes; B,G,R[,A] byte order), so a whole
// picture can be handed to a drawing call or written to a BMP file without conversion.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/fc_object.h"
#include "image/pcl_array.h"

#pragma pack(push, 1)
// The 40-byte bitmap information header, laid out as stored in BMP files.
struct FCBitmapInfoHeader {
    uint32_t biSize = 0;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 0;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
// One palette entry: blue, green, red, reserved.
struct FCRgbQuad {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
};
#pragma pack(pop)
static_assert(sizeof(FCBitmapInfoHeader) == 40);
static_assert(sizeof(FCRgbQuad) == 4);

inline constexpr uint32_t kBiRgb = 0;
inline constexpr uint32_t kBiBitfields = 3;

// A rectangle in pixels; right and bottom are exclusive.
struct FCRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

class FCObjImage : public FCObjGraph {
public:
    // Largest pixel block we agree to allocate: sizes stay representable in 32 bits.
    static constexpr int64_t kMaxPixelBytes = 0x7FFFFFFF;

    FCObjImage() = default;
    FCObjImage(const FCObjImage& other) { CopyFrom(other); }
    FCObjImage(FCObjImage&& other) noexcept { Swap(other); }
    FCObjImage& operator=(const FCObjImage& other) { return CopyFrom(other); }
    FCObjImage& operator=(FCObjImage&& other) noexcept;
    ~FCObjImage() override { Release(); }

    // Layout: 40-byte header, three 32-bit masks, pixel block, then x and y.
    int64_t SaveRestoreBlock(bool bSave, uint8_t* pBlock) override;

    // From a header block: the 40-byte header, followed by three masks when its
    // compression is 3. Refuses (image untouched) bad sizes, depths and compressions,
    // and reports false when memory cannot be had.
    bool Allocate(const uint8_t* pHeaderBlock);
    bool Allocate(int nWidth, int nHeight, int nColorBit);
    // As Allocate, but the pixel block may hold old bytes: for callers that write every byte
    // (ZeroRowPadding clears the padding of rows written pixel by pixel).
    bool AllocateForOverwrite(const uint8_t* pHeaderBlock);
    bool AllocateForOverwrite(int nWidth, int nHeight, int nColorBit);
    void ZeroRowPadding();
    void Release();

    bool IsValid() const { return m_pixels != nullptr; }
    int Width() const { return m_info.biWidth; }
    int Height() const { return m_info.biHeight; }
    int ColorBits() const { return m_info.biBitCount; }
    int RowStride() const { return m_stride; }
    size_t PixelBytes() const {
        return static_cast<size_t>(m_stride) * static_cast<size_t>(Height());
    }
    const FCBitmapInfoHeader& GetInfoHeader() const { return m_info; }
    // Red, green and blue channel masks; meaningful for 16-bit pictures.
    const uint32_t* GetMasks() const { return m_masks; }

    // The pixel block, bottom row first.
    uint8_t* GetMemStart() { return m_pixels; }
    const uint8_t* GetMemStart() const { return m_pixels; }
    // Row y counted from the top of the picture.
    uint8_t* GetRow(int y) { return m_rows[y]; }
    const uint8_t* GetRow(int y) const { return m_rows[y]; }
    // No range check.
    uint8_t* PixelPointer(int x, int y) const;

    uint32_t ReadPixel(int x, int y) const;
    void WritePixel(int x, int y, uint32_t value);

    bool ReadPalette(int nCount, FCRgbQuad* pEntries) const;
    bool WritePalette(int nCount, const FCRgbQuad* pEntries);
    void TakePaletteFrom(const FCObjImage& other);
    const FCRgbQuad* GetPalette() const { return m_palette.get(); }
    int PaletteSize() const { return static_cast<int>(m_palette.GetElementCount()); }

    // The header followed by the palette (depth <= 8) or the three masks.
    std::vector<uint8_t> BuildBitmapInfo() const;

    FCObjImage& CopyFrom(const FCObjImage& other);
    void ToTrueColor24();
    void ResizeNearest(int nNewWidth, int nNewHeight);
    bool ExtractRegion(FCObjImage* pDest, FCRect rc) const;

    // Paths are UTF-8. The first frame of the file becomes this picture; a file that cannot
    // be read leaves the picture as it was.
    bool LoadFromFile(const std::string& path);
    // The same for a file's bytes; the extension of `name` picks the format, as a path's does.
    bool LoadFromBytes(const std::string& name, const uint8_t* data, size_t size);
    bool SaveToFile(const std::string& path) const;

    void Swap(FCObjImage& other) noexcept;

    // Stride in bytes of a row, or -1 when it does not fit the limits.
    static int64_t StrideFor(int64_t width, int nColorBit);

private:
    bool AllocateImpl(const uint8_t* pHeaderBlock, bool zero);
    static FCBitmapInfoHeader MakeHeader(int nWidth, int nHeight, int nColorBit);

    FCBitmapInfoHeader m_info{};
    uint8_t* m_pixels = nullptr;
    size_t m_mapped = 0;  // bytes mapped for m_pixels (whole pages)
    int m_stride = 0;
    std::unique_ptr<uint8_t*[]> m_rows;
    PCL_array<FCRgbQuad> m_palette;
    uint32_t m_masks[3] = {0, 0, 0};
};
