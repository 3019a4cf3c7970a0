#pragma once
// CLiveFramePath: the per-frame work of the live picture, without a window. On the camera's
// thread it copies a frame into the live buffer, runs the live chain, hands the processed frame
// to the recorder, scales it to the display size (or letterboxed onto the screen in full
// screen) and draws the overlay into an off-screen picture; the user-interface thread then takes
// the newest finished picture. Three pictures rotate (one being drawn, one waiting, one shown),
// so nothing is allocated per frame and a picture being shown is never drawn into.
//
// Locking: Process runs under the caller's window lock and takes the overlay's lock inside
// CGVLElemMgr::Draw and SetZoom, then the short hand-off lock. TakeNewest takes only the
// hand-off lock, so painting never waits for a frame being drawn.

#include <QImage>
#include <QRect>
#include <QSize>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "document/processing.h"
#include "image/obj_image.h"

class CGVLElemMgr;

class CLiveFramePath {
public:
    // Called with the processed frame (pixel block, width, height, bit count), under the lock.
    using RecordHook = std::function<void(uint8_t* bits, int width, int height, int bitCount)>;

    struct Target {
        QSize display;            // the picture's size in the window
        bool fullScreen = false;  // letterboxed onto the screen instead
        QSize screen;             // the full-screen window's size
    };

    enum Result : int {
        Dropped = 0,   // bad frame: nothing changed
        Buffered = 1,  // copied, processed and recorded, but nothing to show (no display size)
        Rendered = 2,  // a new picture waits for the user-interface thread
    };

    // Only 24 and 32 bits per pixel are live frame depths.
    static bool IsLiveHeader(const FCBitmapInfoHeader& header);

    // Camera thread, under the window lock. live is the live document's frame buffer; it is
    // reallocated only when the frame's size or depth differs. overlay may be null.
    Result Process(const uint8_t* frame, const FCBitmapInfoHeader& header, FCObjImage& live,
                   const ProcessFlags& flags, const Target& target, CGVLElemMgr* overlay);

    // Under the window lock.
    void SetRecordHook(RecordHook hook) { m_record = std::move(hook); }
    // The overlay zoom follows the full-screen switch: the letterbox scale while in full
    // screen, the display scale after it. Also used to paint the paused still.
    void ApplyOverlayZoom(CGVLElemMgr& overlay, bool fullScreen, int drawnWidth, int frameWidth);
    bool ZoomForFullScreen() const { return m_bZoomForFullScreen; }

    // User-interface thread: swaps the newest finished picture into picture (and where it goes
    // on the target) when one came since the last call; false otherwise (picture unchanged).
    bool TakeNewest(QImage& picture, QRect& where);
    bool HasPending() const;

    // Reallocations so far, of the live buffer and of the off-screen pictures.
    uint64_t LiveAllocations() const { return m_nLiveAllocations.load(); }
    uint64_t SurfaceAllocations() const { return m_nSurfaceAllocations.load(); }

    // DIB rows (bottom row first, 24 or 32 bits) scaled to dst's size by nearest neighbour,
    // top row first, as opaque RGB32. The column map is kept between calls.
    void ScaleToRgb32(const uint8_t* bits, int width, int height, int bitCount, QImage& dst);

private:
    RecordHook m_record;
    bool m_bZoomForFullScreen = false;
    QImage m_render;  // being drawn (camera thread)
    std::vector<int32_t> m_columns;  // source byte offset of every destination column
    int m_nColumnsFor[3] = {0, 0, 0};  // width, bit count, destination width of m_columns

    mutable std::mutex m_handoff;  // guards the two below
    QImage m_pending;
    QRect m_pendingRect;
    bool m_bPending = false;

    std::atomic<uint64_t> m_nLiveAllocations{0};
    std::atomic<uint64_t> m_nSurfaceAllocations{0};
};
