#pragma once
// Realtime pixel filters. Each works in place on a device-independent-bitmap pixel block:
// rows of ((width * bits + 31) / 32) * 4 bytes one after the other, B,G,R or B,G,R,A.
// Each returns -1 (and does nothing) when the block is missing or empty, does nothing at
// depths other than 24 and 32, and returns 0 otherwise. Alpha bytes are left alone, except
// that emboss fills its whole last stored row with 128.
//
// No kernel allocates a frame-sized buffer: the live path calls them on every frame, and a
// fresh large allocation costs page faults each time. Row-sized scratch is kept per thread.

#include <atomic>
#include <cstdint>

class FCObjImage;

// The document's processing switches and values, as one consistent copy.
struct ProcessFlags {
    bool bProcessEnable = false;
    bool bFlipVertical = false;
    bool bFlipHorizontal = false;
    bool bGray = false;
    bool bNegative = false;
    bool bBinary = false;
    bool bEmboss = false;
    bool bSharpen = false;
    bool bRgbGain = false;
    int nBinaryThreshold = 50;
    int nGainRed = 0;
    int nGainGreen = 0;
    int nGainBlue = 0;
};

// The same values where the camera thread reads them while the UI thread changes them: each
// field is read whole, so a frame sees either the old or the new value of each.
struct AtomicProcessFlags {
    std::atomic<bool> bProcessEnable{false};
    std::atomic<bool> bFlipVertical{false};
    std::atomic<bool> bFlipHorizontal{false};
    std::atomic<bool> bGray{false};
    std::atomic<bool> bNegative{false};
    std::atomic<bool> bBinary{false};
    std::atomic<bool> bEmboss{false};
    std::atomic<bool> bSharpen{false};
    std::atomic<bool> bRgbGain{false};
    std::atomic<int> nBinaryThreshold{50};
    std::atomic<int> nGainRed{0};
    std::atomic<int> nGainGreen{0};
    std::atomic<int> nGainBlue{0};

    ProcessFlags Snapshot() const;
    void Store(const ProcessFlags& f);
};

// Bytes per stored row of a block.
int ProcRowStride(int nWidth, int nBits);

int ProcFlipVertical(uint8_t* pBits, int nWidth, int nHeight, int nBits);
// Also zeroes the padding bytes of every row.
int ProcFlipHorizontal(uint8_t* pBits, int nWidth, int nHeight, int nBits);
int ProcNegative(uint8_t* pBits, int nWidth, int nHeight, int nBits);
// Grey = R[red] + G[green] + B[blue] from single-precision tables of 0.3, 0.3 and 0.11 steps,
// truncated; the brightest grey is 181.
int ProcGray(uint8_t* pBits, int nWidth, int nHeight, int nBits);
// White where grey >= threshold (compared unsigned), black elsewhere.
int ProcBinary(uint8_t* pBits, int nWidth, int nHeight, int nBits, int nThreshold);
// v - w + 128 against the diagonal neighbour w; out-of-range results (either side) become 255.
int ProcEmboss(uint8_t* pBits, int nWidth, int nHeight, int nBits);
// 5c - (up + down + left + right), clamped; border pixels unchanged.
int ProcSharpen(uint8_t* pBits, int nWidth, int nHeight, int nBits);
// Adds the offsets per channel, saturating at 255 (and at 0 for negative offsets). All zero:
// returns -1 and does nothing.
int ProcRgbOffset(uint8_t* pBits, int nWidth, int nHeight, int nBits, int nRed, int nGreen,
                  int nBlue);

// Live frames and captures: only with bProcessEnable; flip vertical, flip horizontal, negative,
// grey, emboss, sharpen, RGB offsets, binary.
void RunLiveChain(uint8_t* pBits, int nWidth, int nHeight, int nBits, const ProcessFlags& f);
void RunLiveChain(FCObjImage& img, const ProcessFlags& f);
// Still pictures (ignores bProcessEnable): flip vertical, flip horizontal, grey, negative,
// binary, emboss, sharpen, RGB offsets.
void RunStillChain(uint8_t* pBits, int nWidth, int nHeight, int nBits, const ProcessFlags& f);
void RunStillChain(FCObjImage& img, const ProcessFlags& f);
