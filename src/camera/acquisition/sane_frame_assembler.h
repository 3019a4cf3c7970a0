#pragma once
// CSaneFrameAssembler: turns the bytes a SANE device sends for one picture into a packed 24-bit
// device-independent bitmap (40-byte header, rows bottom row first, padded to 4 bytes, blue,
// green, red). It reads grey, line-art (1 bit, 1 = black), colour and 16-bit samples (host byte
// order), skips the padding at the end of each line, accepts the bytes in pieces of any size,
// and assembles the red, green and blue frames of three-pass devices into one picture.
//
// The bytes come from outside: parameters are checked before anything is allocated, a picture
// never outgrows the byte limit, surplus bytes are ignored and a frame that ends early keeps
// the complete lines it delivered (a feeder page shorter than announced).

#include <sane/sane.h>

#include <cstdint>
#include <string>
#include <vector>

#include "camera/acquisition/twain_protocol.h"

class CSaneFrameAssembler {
public:
    // The largest pixel block a picture may have (the picture buffer's own limit).
    static constexpr int64_t kDefaultMaxPixelBytes = 0x7FFFFFFF;
    // Lines longer than this are not believed.
    static constexpr int64_t kMaxLineBytes = int64_t(16) << 20;

    explicit CSaneFrameAssembler(int64_t maxPixelBytes = kDefaultMaxPixelBytes);

    // Forgets the picture under way; the next frame starts a new one.
    void Reset();
    // Dots per inch written into the bitmap header.
    void SetResolution(double dpiX, double dpiY);

    // Begins the next frame of the picture with the device's parameters (asked after
    // sane_start). False, with the reason, when they cannot be read or do not fit the frames
    // before them.
    bool BeginFrame(const SANE_Parameters& p, std::string* reason);
    // The frame's bytes as sane_read delivered them. False, with the reason, when a picture of
    // unknown height outgrows the byte limit.
    bool Feed(const uint8_t* data, size_t size, std::string* reason);
    // The frame ended; an incomplete last line is dropped.
    void EndFrame();
    // No further frame is needed: a one-pass frame, the frame marked last, or all three colours.
    bool IsComplete() const;

    // Progress of the frame under way: bytes expected (0 when the height is unknown) and
    // received, and how many frames the picture takes.
    int64_t FrameBytesExpected() const;
    int64_t FrameBytesReceived() const;
    int FramesExpected() const { return m_threePass ? 3 : 1; }
    int FramesBegun() const { return m_frames; }

    // The assembled picture, or an empty handle (reason set) when no complete line arrived.
    // The assembler is reset afterwards.
    CTwHandle TakePicture(std::string* reason);

private:
    bool AllocateKnownHeight(bool zero, std::string* reason);
    uint8_t* Row(int y, std::string* reason);
    bool StoreLine(const uint8_t* line, std::string* reason);
    void ConvertLine(const uint8_t* src, uint8_t* dst) const;

    int64_t m_maxBytes;
    double m_dpiX = 0, m_dpiY = 0;

    // The picture.
    int m_width = 0;
    int m_lines = 0;  // announced; -1 while unknown (hand-held devices)
    int64_t m_stride = 0;
    int m_frames = 0;
    bool m_threePass = false;
    bool m_complete = false;
    unsigned m_channels = 0;         // bits 1 red, 2 green, 4 blue
    int m_rowsDone = 0;              // complete lines of the longest frame
    CTwHandle m_dib;                 // known height: rows are written in place
    std::vector<uint8_t> m_staging;  // unknown height: rows top first

    // The frame under way.
    SANE_Frame m_format = SANE_FRAME_GRAY;
    int m_depth = 8;
    int64_t m_lineBytes = 0;  // bytes_per_line
    int m_frameLines = 0;     // complete lines of this frame
    std::vector<uint8_t> m_partial;
    size_t m_partialFill = 0;
    bool m_inFrame = false;
};
