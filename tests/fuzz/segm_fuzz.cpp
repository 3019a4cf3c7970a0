// Pictures handed to the segmentation calls as the counting document hands them: any size the
// front bytes choose, any pixels, any settings and separating lines. Every run succeeds or is
// refused with a status, never crashes, and what it reports lies inside the picture and keeps
// the filters' bounds.
#include <cstring>
#include <vector>

#include "advanced/imagepro_segm.h"
#include "fuzz_target.h"

NS_FUZZ_TARGET(segm) {
    ns_fuzz::Consumer in(data, size);
    const int width = 1 + in.Byte() % 96, height = 1 + in.Byte() % 96;
    const int h = imagepro_segm_new();
    NS_FUZZ_CHECK(h != 0);
    // Out-of-range styles and modes are refused and change nothing.
    imagepro_segm_set_contourlinetype(h, in.Byte() % 4);
    imagepro_segm_set_tabtype(h, in.Byte() % 4);
    const uint8_t flags = in.Byte();
    imagepro_segm_set_findbyareaorlength(h, flags & 1, (flags >> 1) & 1);
    imagepro_segm_set_findcontourtype(h, (flags >> 2) & 3);
    int bounds[4];
    for (int& b : bounds) b = static_cast<int>(in.Byte()) * 8 - 9;  // -9 .. 2031
    imagepro_segm_set_Rangeminarea(h, bounds[0]);
    imagepro_segm_set_Rangemaxarea(h, bounds[1]);
    imagepro_segm_set_Rangeminlength(h, bounds[2]);
    imagepro_segm_set_Rangemaxlength(h, bounds[3]);
    const int lines = in.Byte() % 4;
    int points[4][4];
    for (int l = 0; l < lines; ++l)
        for (int& p : points[l]) p = static_cast<int8_t>(in.Byte()) + 48;

    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    std::vector<unsigned char> pixels(stride * height, 0);
    std::memcpy(pixels.data(), in.data(), std::min(pixels.size(), in.size()));
    NS_FUZZ_CHECK(imagepro_segm_readdata(h, pixels.data(), width, height) == IMAGEPRO_OK);
    NS_FUZZ_CHECK(imagepro_segm_findcontour(h) == IMAGEPRO_OK);
    for (int l = 0; l < lines; ++l) {
        imagepro_segm_mouse_Ldown(h, points[l][0], points[l][1]);
        imagepro_segm_mouse_move(h, points[l][2], points[l][3]);
        imagepro_segm_mouse_Lup(h);
        NS_FUZZ_CHECK(imagepro_segm_findcontour(h) == IMAGEPRO_OK);
    }
    NS_FUZZ_CHECK(imagepro_segm_getdata(h) != nullptr);

    const int n = imagepro_segm_get_contournum(h);
    NS_FUZZ_CHECK(n >= 0);
    std::vector<imagepro_contour> records(static_cast<size_t>(n));
    NS_FUZZ_CHECK(imagepro_segm_get_contourdata(h, records.data(), n) == n);
    unsigned char byArea = 0, byPerimeter = 0;
    imagepro_segm_get_findbyareaorlength(h, &byArea, &byPerimeter);
    const int minArea = imagepro_segm_get_Rangeminarea(h),
              maxArea = imagepro_segm_get_Rangemaxarea(h);
    for (const imagepro_contour& r : records) {
        NS_FUZZ_CHECK(r.centerX >= 0 && r.centerX < width && r.centerY >= 0 && r.centerY < height);
        NS_FUZZ_CHECK(r.area > 0 && r.area <= static_cast<double>(width) * height);
        NS_FUZZ_CHECK(r.perimeter > 0);
        NS_FUZZ_CHECK(!byArea || minArea < 0 || r.area >= minArea);
        NS_FUZZ_CHECK(!byArea || maxArea < 0 || r.area <= maxArea);
    }
    if (n > 0) {
        NS_FUZZ_CHECK(imagepro_segm_get_min_area(h) <= imagepro_segm_get_ave_area(h));
        NS_FUZZ_CHECK(imagepro_segm_get_ave_area(h) <= imagepro_segm_get_max_area(h));
    }
    NS_FUZZ_CHECK(imagepro_segm_delete(h) == IMAGEPRO_OK);
}
