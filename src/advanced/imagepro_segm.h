#pragma once
// Segmentation calls of the image-processing library: find the objects of a picture, split
// touching ones, measure them and draw their outlines and labels (conventions in imagepro.h).
//
// Order of use: imagepro_segm_new, imagepro_segm_readdata, the setters, imagepro_segm_findcontour,
// then imagepro_segm_getdata for the drawn result and the contour calls for the objects. The
// mouse calls add a separating line (image pixels, y down); the next findcontour honours it.
// Objects touching the picture's border are not counted: their size is not theirs.
//
// Every call on one handle may come from any thread; calls on one handle are serialised.

#include "advanced/imagepro.h"

#ifdef __cplusplus
extern "C" {
#endif

// One object: 8 bytes the caller ignores, then centre x, centre y (image pixels, y down), area
// (pixels) and perimeter (pixels).
typedef struct imagepro_contour {
    int64_t reserved;
    double centerX;
    double centerY;
    double area;
    double perimeter;
} imagepro_contour;

enum {
    IMAGEPRO_SEGM_OUTLINE_LINE = 0,
    IMAGEPRO_SEGM_OUTLINE_FILL = 1,
    IMAGEPRO_SEGM_OUTLINE_NONE = 2,
    IMAGEPRO_SEGM_TAB_NUMBER = 0,
    IMAGEPRO_SEGM_TAB_AREA = 1,
    IMAGEPRO_SEGM_TAB_PERIMETER = 2,
    IMAGEPRO_SEGM_CONTOURS_OUTER = 0,       // an object is all inside its outer contour
    IMAGEPRO_SEGM_CONTOURS_WITH_HOLES = 2,  // holes are left out of the object
    IMAGEPRO_SEGM_NO_BOUND = -1,
};

// A new segmentation object, or 0 (reason in imagepro_last_error).
int imagepro_segm_new(void);
int imagepro_segm_delete(int h);
// The picture to segment (24 bits, picture-in layout), copied; drops the separating lines and
// the results of the previous picture.
int imagepro_segm_readdata(int h, const unsigned char* pixels, int width, int height);

// Drawing: outline 0 contour line, 1 fill, 2 nothing; label 0 number, 1 area, 2 perimeter.
int imagepro_segm_set_contourlinetype(int h, int type);
int imagepro_segm_get_contourlinetype(int h);
int imagepro_segm_set_tabtype(int h, int type);
int imagepro_segm_get_tabtype(int h);
int imagepro_segm_set_contourlinecolor(int h, unsigned char r, unsigned char g, unsigned char b);
int imagepro_segm_get_contourlinecolor(int h, unsigned char* r, unsigned char* g, unsigned char* b);
int imagepro_segm_set_tabcolor(int h, unsigned char r, unsigned char g, unsigned char b);
int imagepro_segm_get_tabcolor(int h, unsigned char* r, unsigned char* g, unsigned char* b);
// The caller's colour-list positions, kept for it (drawing uses the colours).
int imagepro_segm_set_contourlinecolorindex(int h, int index);
int imagepro_segm_get_contourlinecolorindex(int h);
int imagepro_segm_set_tabcolorindex(int h, int index);
int imagepro_segm_get_tabcolorindex(int h);

// Filters: by area, by perimeter (0/1); bounds in pixels, -1 = no bound.
int imagepro_segm_set_findbyareaorlength(int h, unsigned char byArea, unsigned char byPerimeter);
int imagepro_segm_get_findbyareaorlength(int h, unsigned char* byArea, unsigned char* byPerimeter);
int imagepro_segm_set_Rangeminarea(int h, int value);
int imagepro_segm_get_Rangeminarea(int h);
int imagepro_segm_set_Rangemaxarea(int h, int value);
int imagepro_segm_get_Rangemaxarea(int h);
int imagepro_segm_set_Rangeminlength(int h, int value);
int imagepro_segm_get_Rangeminlength(int h);
int imagepro_segm_set_Rangemaxlength(int h, int value);
int imagepro_segm_get_Rangemaxlength(int h);
// 0: outer contours only; 2: with holes.
int imagepro_segm_set_findcontourtype(int h, int mode);
int imagepro_segm_get_findcontourtype(int h);

// Finds, splits, filters, measures and draws the objects.
int imagepro_segm_findcontour(int h);
// The drawn result (picture-out layout, the source's size), valid until the next readdata,
// findcontour or delete on the handle; null before the first findcontour.
const unsigned char* imagepro_segm_getdata(int h);

int imagepro_segm_get_contournum(int h);
// Copies up to n object records into buffer; the number copied.
int imagepro_segm_get_contourdata(int h, imagepro_contour* buffer, int n);
// Statistics of the counted objects (0 without any).
double imagepro_segm_get_min_area(int h);
double imagepro_segm_get_max_area(int h);
double imagepro_segm_get_ave_area(int h);
double imagepro_segm_get_min_length(int h);
double imagepro_segm_get_max_length(int h);
double imagepro_segm_get_ave_length(int h);

// A separating line drawn with the mouse: press, moves, release.
int imagepro_segm_mouse_Ldown(int h, int x, int y);
int imagepro_segm_mouse_move(int h, int x, int y);
int imagepro_segm_mouse_Lup(int h);

#ifdef __cplusplus
}
#endif
