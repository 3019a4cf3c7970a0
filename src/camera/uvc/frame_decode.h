#pragma once
// Decoding of camera frames into DIB rows: 24-bit B,G,R, bottom row first, rows dibStride bytes
// apart (row padding is cleared). Both decoders refuse, rather than guess, a frame whose size
// differs from the one negotiated or whose data is cut short: the caller drops such a frame.

#include <cstddef>
#include <cstdint>
#include <memory>

// Motion-JPEG frames through libjpeg-turbo. Frames without Huffman tables (as many UVC cameras
// send them) decode with the standard tables; frames of more than four scans are refused. Keeps its decompressor between frames; one
// instance per thread.
class CMjpegDecoder {
public:
    CMjpegDecoder();
    ~CMjpegDecoder();
    CMjpegDecoder(const CMjpegDecoder&) = delete;
    CMjpegDecoder& operator=(const CMjpegDecoder&) = delete;

    bool Decode(const uint8_t* data, size_t size, int width, int height, uint8_t* dib,
                int64_t dibStride);

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// YUYV 4:2:2 (Y0 U Y1 V, BT.601 video range), srcStride bytes per source row, top row first.
// width must be even.
bool DecodeYuyv(const uint8_t* src, size_t size, int64_t srcStride, int width, int height,
                uint8_t* dib, int64_t dibStride);
