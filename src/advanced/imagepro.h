#pragma once
// The image-processing library's call set, shared by every call family (segmentation
// `imagepro_segm_…`, HDR `imagepro_hdr_…`, stitching `imagepro_stitching_…`, automatic stitching
// `imagepro_AutoStitch_…`): plain C calls over handles, so the document code keeps the calling
// pattern of an outside library while the work is done by the C++ classes behind them.
//
// Handles are 32-bit integers; 0 is none. A handle names one object of one family: a handle of
// another family, or one already deleted, is refused (IMAGEPRO_ERR_HANDLE). Handles are never
// reused within a process.
//
// Pictures in: 24 bits per pixel (blue, green, red) in the picture buffer's layout: rows bottom
// row first, each padded to a multiple of 4 bytes. Calls that take a depth accept 24 and 32
// (B, G, R, A: the alpha byte is ignored).
// Pictures out: 24 bits per pixel, rows bottom row first, 3 * width bytes each with no padding
// between them (automatic stitching pads its rows as the picture buffer does).
//
// Statuses: IMAGEPRO_OK or one of the negative IMAGEPRO_ERR_… values; the reason of the last
// failure on the calling thread is kept until the next failure there (imagepro_last_error).
// Calls that return a value return the value last set (or the family's default) also for a bad
// handle; the failure is then only in imagepro_last_error.
//
// Callbacks: the families that work on a thread of their own report through one callback, on
// that thread, with the context given to their `_new` call. status is IMAGEPRO_CB_RESULT with a
// picture out, IMAGEPRO_CB_PROGRESS with a percentage in `value`, or IMAGEPRO_CB_FAILED (-1)
// with no picture. The picture is valid only during the call. The return value is ignored.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    IMAGEPRO_OK = 0,
    IMAGEPRO_ERR_HANDLE = -101,    // no object of this family has that handle
    IMAGEPRO_ERR_ARGUMENT = -102,  // a value outside its range, a null buffer, a bad size
    IMAGEPRO_ERR_MEMORY = -103,    // the picture does not fit in memory
    IMAGEPRO_ERR_STATE = -104,     // the call needs an earlier one (a picture, a started run)
    IMAGEPRO_ERR_FAILED = -105,    // the work itself failed; the reason says why
};

enum {
    IMAGEPRO_CB_FAILED = -1,
    IMAGEPRO_CB_RESULT = 0,
    IMAGEPRO_CB_PROGRESS = 1,
};

// (context, status, value, pixels, width, height, extra): value is a percentage for progress
// reports; extra is family-specific (0 unless a family says otherwise).
typedef int (*imagepro_callback)(void* context, int status, int value, const unsigned char* pixels,
                                 int width, int height, int extra);
// As imagepro_callback, with the frame's offset against the mosaic (automatic stitching).
typedef int (*imagepro_offset_callback)(void* context, int status, int value,
                                        const unsigned char* pixels, int width, int height,
                                        int extra, float dx, float dy);

// The reason of the last failed call on this thread ("" when none failed yet).
const char* imagepro_last_error(void);

#ifdef __cplusplus
}
#endif
