#pragma once
// Blending one picture into another (the Image Mix command) and the smooth resize its preview
// needs. Widget-free so the mix dialog's worker thread and the tests can call it directly.
//
// Long loops take a cancel test, asked once per output row: a preview that is out of date
// stops within one row of work.

#include <functional>

#include "image/obj_image.h"

// True when the work should stop. An empty function never stops.
using MixCancel = std::function<bool()>;

// Resizes src (any depth; converted to 24 bits first) to width x height at 24 bits with a
// separable tent filter whose reach grows with the shrink factor, so shrinking averages
// every source pixel instead of skipping most of them. False (out untouched) for a bad size,
// an invalid source, a failed allocation or a cancel.
bool ResampleSmooth(const FCObjImage& src, int width, int height, FCObjImage& out,
                    const MixCancel& cancel = {});

// Blends src into dst (both 24 bits) with src's top-left corner at (left, top) of dst, rows
// counted from the top. Where the two overlap, a pixel becomes
//   (src * (100 - transparency) + dst * transparency) / 100, rounded to nearest,
// so transparency 0 shows the source alone and 100 leaves the destination as it was. Pixels of
// dst outside the overlap are unchanged; parts of src outside dst are dropped. dst keeps its
// size. transparency is clamped to 0..100. False when a picture is not 24 bits or on a cancel
// (dst then holds a partial blend).
bool MixInto(FCObjImage& dst, const FCObjImage& src, int left, int top, int transparency,
             const MixCancel& cancel = {});

// The Image Mix operation at full size: a copy of dst with src blended in, moved by the user's
// offsets. A positive x offset moves the source picture left, a positive y offset moves it up
// (it is placed at (-xOffset, -yOffset)). Without a valid dst the result is false; without a
// valid src the result is dst unchanged.
bool MixPictures(const FCObjImage& src, const FCObjImage& dst, int xOffset, int yOffset,
                 int transparency, FCObjImage& out);

// The preview's scale for a destination of that size: min(1, 400 / longer side).
float MixPreviewScale(int dstWidth, int dstHeight);
// A side scaled for the preview (never below one pixel).
int MixPreviewSide(int side, float scale);
// The offset handed to the blend for a user offset at the preview scale.
int MixPreviewOffset(int userOffset, float scale);
