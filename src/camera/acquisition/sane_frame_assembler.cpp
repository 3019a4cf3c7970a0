#include "camera/acquisition/sane_frame_assembler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

#pragma pack(push, 1)
struct DibHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(DibHeader) == 40);

constexpr size_t kHeaderBytes = sizeof(DibHeader);

// Offset of a colour inside a blue, green, red pixel.
int ChannelOffset(SANE_Frame f) {
    switch (f) {
        case SANE_FRAME_BLUE:
            return 0;
        case SANE_FRAME_GREEN:
            return 1;
        default:
            return 2;
    }
}

unsigned ChannelBit(SANE_Frame f) {
    return f == SANE_FRAME_RED ? 1u : f == SANE_FRAME_GREEN ? 2u : 4u;
}

const char* ChannelName(SANE_Frame f) {
    return f == SANE_FRAME_RED ? "red" : f == SANE_FRAME_GREEN ? "green" : "blue";
}

bool IsChannel(SANE_Frame f) {
    return f == SANE_FRAME_RED || f == SANE_FRAME_GREEN || f == SANE_FRAME_BLUE;
}

inline uint8_t From16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return static_cast<uint8_t>((uint32_t(v) * 255u + 32767u) / 65535u);
}

inline int Bit(const uint8_t* p, int64_t i) {
    return (p[i >> 3] >> (7 - (i & 7))) & 1;
}

int32_t PelsPerMeter(double dpi) {
    if (!(dpi > 0) || dpi > 1e6) return 0;
    return static_cast<int32_t>(std::lround(dpi / 0.0254));
}

bool Fail(std::string* reason, const std::string& text) {
    if (reason) *reason = text;
    return false;
}

}  // namespace

CSaneFrameAssembler::CSaneFrameAssembler(int64_t maxPixelBytes) : m_maxBytes(maxPixelBytes) {}

void CSaneFrameAssembler::Reset() {
    m_width = 0;
    m_lines = 0;
    m_stride = 0;
    m_frames = 0;
    m_threePass = false;
    m_complete = false;
    m_channels = 0;
    m_rowsDone = 0;
    m_dib = CTwHandle();
    m_staging.clear();
    m_staging.shrink_to_fit();
    m_inFrame = false;
    m_partialFill = 0;
    m_frameLines = 0;
}

void CSaneFrameAssembler::SetResolution(double dpiX, double dpiY) {
    m_dpiX = dpiX;
    m_dpiY = dpiY;
}

bool CSaneFrameAssembler::BeginFrame(const SANE_Parameters& p, std::string* reason) {
    if (m_inFrame) EndFrame();
    if (m_complete) return Fail(reason, "the device began a frame after the last one");
    // The kind is read as a number first: a device may send one the enumeration lacks.
    int kind = 0;
    static_assert(sizeof(kind) == sizeof(p.format));
    std::memcpy(&kind, &p.format, sizeof(kind));
    if (kind < SANE_FRAME_GRAY || kind > SANE_FRAME_BLUE)
        return Fail(reason,
                    "the device sends frames of an unknown kind (" + std::to_string(kind) + ")");
    const auto f = static_cast<SANE_Frame>(kind);
    if (p.depth != 1 && p.depth != 8 && p.depth != 16)
        return Fail(reason, "the device sends " + std::to_string(p.depth) + "-bit samples");
    if (p.pixels_per_line <= 0) return Fail(reason, "the device announces lines without pixels");
    if (p.lines == 0 || p.lines < -1)
        return Fail(reason, "the device announces a picture without lines");
    const int64_t samples = f == SANE_FRAME_RGB ? 3 : 1;
    const int64_t needed = (int64_t(p.pixels_per_line) * samples * p.depth + 7) / 8;
    if (p.bytes_per_line < needed || p.bytes_per_line > kMaxLineBytes)
        return Fail(reason, "the device announces " + std::to_string(p.bytes_per_line) +
                                " bytes per line for " + std::to_string(p.pixels_per_line) +
                                " pixels");
    const int64_t stride = (int64_t(p.pixels_per_line) * 24 + 31) / 32 * 4;
    if (stride > m_maxBytes || (p.lines > 0 && stride * p.lines > m_maxBytes))
        return Fail(reason, "the picture is too large (" + std::to_string(p.pixels_per_line) +
                                " x " + std::to_string(p.lines) + " pixels)");

    if (m_frames == 0) {
        m_width = p.pixels_per_line;
        m_lines = p.lines;
        m_stride = stride;
        m_threePass = IsChannel(f);
        // Colour frames fill a third of every pixel: the rest must start out black.
        if (m_lines > 0 && !AllocateKnownHeight(m_threePass, reason)) return false;
    } else {
        if (!m_threePass || !IsChannel(f))
            return Fail(reason, "the device mixes one-pass and three-pass frames");
        if ((m_channels & ChannelBit(f)) != 0)
            return Fail(reason,
                        std::string("the device sent the ") + ChannelName(f) + " frame twice");
        if (p.pixels_per_line != m_width || p.lines != m_lines)
            return Fail(reason, "the frames of a three-pass picture differ in size");
    }
    if (IsChannel(f)) m_channels |= ChannelBit(f);
    ++m_frames;
    m_format = f;
    m_depth = p.depth;
    m_lineBytes = p.bytes_per_line;
    m_frameLines = 0;
    m_partialFill = 0;
    m_inFrame = true;
    // A device that never says "last frame" still gets one picture per pass or three colours.
    if (!m_threePass || p.last_frame || m_channels == 7) m_complete = true;
    return true;
}

bool CSaneFrameAssembler::AllocateKnownHeight(bool zero, std::string* reason) {
    const size_t bytes =
        kHeaderBytes + static_cast<size_t>(m_stride) * static_cast<size_t>(m_lines);
    m_dib = CTwHandle(TwGlobalAlloc(kGmemMoveable | (zero ? kGmemZeroInit : 0), bytes));
    if (!m_dib) return Fail(reason, "not enough memory for the picture");
    return true;
}

uint8_t* CSaneFrameAssembler::Row(int y, std::string* reason) {
    if (m_lines > 0) {
        auto* bits = static_cast<uint8_t*>(TwGlobalLock(m_dib.Get())) + kHeaderBytes;
        return bits + static_cast<size_t>(m_lines - 1 - y) * static_cast<size_t>(m_stride);
    }
    const size_t end = (static_cast<size_t>(y) + 1) * static_cast<size_t>(m_stride);
    if (static_cast<int64_t>(end) > m_maxBytes) {
        Fail(reason, "the picture grows beyond " + std::to_string(m_maxBytes) + " bytes");
        return nullptr;
    }
    if (m_staging.capacity() < end) {
        // Grow by half again so a long hand-held scan is not copied for every line.
        const size_t grown = std::min(m_staging.capacity() + m_staging.capacity() / 2,
                                      static_cast<size_t>(m_maxBytes));
        m_staging.reserve(std::max(grown, end));
    }
    if (m_staging.size() < end) m_staging.resize(end);
    return m_staging.data() + static_cast<size_t>(y) * static_cast<size_t>(m_stride);
}

void CSaneFrameAssembler::ConvertLine(const uint8_t* src, uint8_t* dst) const {
    const int w = m_width;
    if (m_format == SANE_FRAME_RGB) {
        if (m_depth == 8) {
            for (int x = 0; x < w; ++x) {
                dst[3 * x + 0] = src[3 * x + 2];
                dst[3 * x + 1] = src[3 * x + 1];
                dst[3 * x + 2] = src[3 * x + 0];
            }
        } else if (m_depth == 16) {
            for (int x = 0; x < w; ++x) {
                dst[3 * x + 0] = From16(src + 6 * x + 4);
                dst[3 * x + 1] = From16(src + 6 * x + 2);
                dst[3 * x + 2] = From16(src + 6 * x + 0);
            }
        } else {
            // One bit per sample, red, green, blue in turn; 1 is full intensity.
            for (int x = 0; x < w; ++x) {
                const int64_t i = int64_t(3) * x;
                dst[3 * x + 0] = Bit(src, i + 2) ? 255 : 0;
                dst[3 * x + 1] = Bit(src, i + 1) ? 255 : 0;
                dst[3 * x + 2] = Bit(src, i) ? 255 : 0;
            }
        }
    } else if (m_format == SANE_FRAME_GRAY) {
        if (m_depth == 8) {
            for (int x = 0; x < w; ++x) dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = src[x];
        } else if (m_depth == 16) {
            for (int x = 0; x < w; ++x)
                dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = From16(src + 2 * x);
        } else {
            // Line-art: 1 is black.
            for (int x = 0; x < w; ++x)
                dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = Bit(src, x) ? 0 : 255;
        }
    } else {
        uint8_t* d = dst + ChannelOffset(m_format);
        if (m_depth == 8) {
            for (int x = 0; x < w; ++x) d[3 * x] = src[x];
        } else if (m_depth == 16) {
            for (int x = 0; x < w; ++x) d[3 * x] = From16(src + 2 * x);
        } else {
            for (int x = 0; x < w; ++x) d[3 * x] = Bit(src, x) ? 255 : 0;
        }
        return;
    }
    // The row padding of a one-pass picture.
    std::memset(dst + 3 * static_cast<size_t>(w), 0,
                static_cast<size_t>(m_stride) - 3 * static_cast<size_t>(w));
}

bool CSaneFrameAssembler::StoreLine(const uint8_t* line, std::string* reason) {
    if (m_lines > 0 && m_frameLines >= m_lines) return true;  // surplus lines are ignored
    uint8_t* row = Row(m_frameLines, reason);
    if (!row) return false;
    ConvertLine(line, row);
    ++m_frameLines;
    return true;
}

bool CSaneFrameAssembler::Feed(const uint8_t* data, size_t size, std::string* reason) {
    if (!m_inFrame || !data) return size == 0 || Fail(reason, "bytes outside a frame");
    const size_t lineBytes = static_cast<size_t>(m_lineBytes);
    if (m_partialFill > 0) {
        const size_t take = std::min(size, lineBytes - m_partialFill);
        std::memcpy(m_partial.data() + m_partialFill, data, take);
        m_partialFill += take;
        data += take;
        size -= take;
        if (m_partialFill < lineBytes) return true;
        m_partialFill = 0;
        if (!StoreLine(m_partial.data(), reason)) return false;
    }
    while (size >= lineBytes) {
        if (!StoreLine(data, reason)) return false;
        data += lineBytes;
        size -= lineBytes;
    }
    if (size > 0) {
        // Only a line split between two reads needs a copy.
        if (m_partial.size() < lineBytes) m_partial.resize(lineBytes);
        std::memcpy(m_partial.data(), data, size);
        m_partialFill = size;
    }
    return true;
}

void CSaneFrameAssembler::EndFrame() {
    if (!m_inFrame) return;
    m_inFrame = false;
    m_partialFill = 0;
    m_rowsDone = std::max(m_rowsDone, m_frameLines);
}

bool CSaneFrameAssembler::IsComplete() const {
    return m_complete && !m_inFrame;
}

int64_t CSaneFrameAssembler::FrameBytesExpected() const {
    return m_lines > 0 ? m_lineBytes * m_lines : 0;
}

int64_t CSaneFrameAssembler::FrameBytesReceived() const {
    return m_lineBytes * m_frameLines + static_cast<int64_t>(m_partialFill);
}

CTwHandle CSaneFrameAssembler::TakePicture(std::string* reason) {
    EndFrame();
    const int rows = m_rowsDone;
    CTwHandle dib;
    if (rows <= 0 || m_width <= 0) {
        Fail(reason, "the device sent no complete line");
        Reset();
        return dib;
    }
    const size_t stride = static_cast<size_t>(m_stride);
    if (m_lines > 0) {
        dib = std::move(m_dib);
        if (rows < m_lines) {
            // A short page: its lines sit at the end of the bottom-up block.
            auto* bits = static_cast<uint8_t*>(TwGlobalLock(dib.Get())) + kHeaderBytes;
            std::memmove(bits, bits + static_cast<size_t>(m_lines - rows) * stride, rows * stride);
        }
    } else {
        dib = CTwHandle(TwGlobalAlloc(kGmemMoveable, kHeaderBytes + stride * rows));
        if (!dib) {
            Fail(reason, "not enough memory for the picture");
            Reset();
            return dib;
        }
        auto* bits = static_cast<uint8_t*>(TwGlobalLock(dib.Get())) + kHeaderBytes;
        for (int y = 0; y < rows; ++y)
            std::memcpy(bits + static_cast<size_t>(rows - 1 - y) * stride,
                        m_staging.data() + static_cast<size_t>(y) * stride, stride);
    }
    DibHeader h{};
    h.biSize = kHeaderBytes;
    h.biWidth = m_width;
    h.biHeight = rows;
    h.biPlanes = 1;
    h.biBitCount = 24;
    h.biCompression = 0;
    h.biSizeImage = static_cast<uint32_t>(stride * rows);
    h.biXPelsPerMeter = PelsPerMeter(m_dpiX);
    h.biYPelsPerMeter = PelsPerMeter(m_dpiY);
    std::memcpy(TwGlobalLock(dib.Get()), &h, sizeof(h));
    Reset();
    return dib;
}
