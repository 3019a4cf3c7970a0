#pragma once
// CFrameConverter: camera frames (device-independent bitmap rows, bottom row first, each row
// padded to 4 bytes; 24 bits B,G,R or 32 bits B,G,R,A) into the encoder's planar YUV 4:2:0 frame,
// top row first, through libswscale with bilinear filtering.
//
// 32-bit frames are first packed to B,G,R rows (a cheap copy), because libswscale converts
// 24-bit B,G,R to 4:2:0 through a path about twice as fast as its 32-bit one.
//
// One scaler serves a whole recording: it is made for the first frame and made again only when
// a frame comes with another size. A frame one column or row larger than the target
// (an odd size recorded at the even size below it) loses its last column or bottom row; a frame
// of any other size is scaled to the target, so a camera that changes its resolution during a
// recording never reads outside its frame.
//
// Threads: one thread at a time (the camera's).

#include <cstdint>
#include <vector>

struct AVFrame;
struct SwsContext;

class CFrameConverter {
public:
    CFrameConverter() = default;
    ~CFrameConverter();
    CFrameConverter(const CFrameConverter&) = delete;
    CFrameConverter& operator=(const CFrameConverter&) = delete;

    // False when the frame is not a 24- or 32-bit frame of a usable size, or the target is not
    // a YUV 4:2:0 frame.
    bool ConvertFrame(const uint8_t* pixels, int width, int height, int bitCount, AVFrame* target);

    // How many scalers were made so far.
    int ScalersMade() const { return m_nScalersMade; }

private:
    SwsContext* m_pScaler = nullptr;
    std::vector<uint8_t> m_packed;  // the frame as B,G,R rows, top row first, with room after them
    int m_nScalersMade = 0;
    // What the scaler was made for.
    int m_nSrcWidth = 0, m_nSrcHeight = 0, m_nDstWidth = 0, m_nDstHeight = 0;
};
