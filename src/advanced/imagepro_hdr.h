#pragma once
// HDR calls of the image-processing library: exposures of one field in, one fused picture out
// (conventions in imagepro.h). The work is exposure fusion (fusion/exposure_fusion.h).
//
// File series (mode IMAGEPRO_HDR_FILES): imagepro_hdr_start, imagepro_hdr_readdata for every
// exposure with isLast set on the last; the library fuses them on a thread of its own and calls
// back with the result, or IMAGEPRO_CB_FAILED (the exposures differ in size, only one was given).
// Live series (mode IMAGEPRO_HDR_LIVE): after imagepro_hdr_start every picture read is added to
// the last few ones and the set is fused again; each fusion is a result callback, until
// imagepro_hdr_stop. imagepro_hdr_stop waits for work in progress; imagepro_hdr_delete releases
// the handle.

#include "advanced/imagepro.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { IMAGEPRO_HDR_LIVE = 0, IMAGEPRO_HDR_FILES = 1 };

// version 1; the handle, or 0 (reason in imagepro_last_error).
int imagepro_hdr_new(int version, imagepro_callback callback, void* context, int mode);
int imagepro_hdr_start(int h);
// A picture in (depth 24 or 32), copied.
int imagepro_hdr_readdata(int h, const unsigned char* pixels, int width, int height, int depth,
                          int isLast);
int imagepro_hdr_stop(int h);
int imagepro_hdr_delete(int h);

#ifdef __cplusplus
}
#endif
