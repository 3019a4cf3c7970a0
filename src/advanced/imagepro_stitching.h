#pragma once
// Stitching calls of the image-processing library: pictures of overlapping fields in, one
// picture out (conventions in imagepro.h). The work is StitchTiles (stitching/tile_stitcher.h).
//
// Order of use: imagepro_stitching_new, imagepro_stitching_start, imagepro_stitching_readdata
// for every picture with isLast set on the last one; the library then stitches on a thread of
// its own and calls back with progress, then the result or IMAGEPRO_CB_FAILED when no
// consistent layout exists. imagepro_stitching_stop waits for that work; start begins a new run.
// After a result, the tile calls tell where each picture landed. imagepro_stitching_delete
// releases the handle (waiting for work in progress).

#include "advanced/imagepro.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { IMAGEPRO_STITCHING_FILES = 1 };

// version 1; mode IMAGEPRO_STITCHING_FILES. The handle, or 0 (reason in imagepro_last_error).
int imagepro_stitching_new(int version, imagepro_callback callback, void* context, int mode);
int imagepro_stitching_start(int h);
// A picture in (depth 24 or 32), copied.
int imagepro_stitching_readdata(int h, const unsigned char* pixels, int width, int height,
                                int depth, int isLast);
int imagepro_stitching_stop(int h);
int imagepro_stitching_delete(int h);

// The pictures of the last result, in the order they were read, and the corner of picture i in
// the result (pixels, y down). -1 / IMAGEPRO_ERR_STATE before a result.
int imagepro_stitching_get_tilenum(int h);
int imagepro_stitching_get_tileposition(int h, int i, double* x, double* y);

#ifdef __cplusplus
}
#endif
