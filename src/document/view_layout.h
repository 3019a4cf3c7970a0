#pragma once
// The arithmetic of an image view: the zoom list, fitting into the client area, where the picture
// window goes, the grey margins around it and the letterboxed full-screen picture; and the still
// picture as the overlay window paints it. Window-free so it is testable and measurable on its own.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>

class CGVLElemMgr;
class FCObjImage;
class QPainter;

inline constexpr int kZoomListCount = 11;
inline constexpr int kZoomFitIndex = 10;
inline constexpr int kZoom100Index = 4;

// The zoom box's text of an entry (untranslated; "" outside the list).
QString ZoomText(int index);
// The display scale of a fixed entry 0..9; 0 for "fit" and outside the list.
float ZoomFixedScale(int index);

// The picture's size on screen for a zoom entry. Fitting needs a frame width and a client area;
// without them (and outside the list) the previous display size stays.
QSize ZoomDisplaySize(int index, QSize frame, QSize client, QSize previous);

struct ViewLayout {
    QSize display;      // the picture's size on screen
    float scale = 1.0f; // the element manager's display scale
    QSize scroll;       // the scrolling range
    QPoint centre;      // centring offsets while the picture is smaller than the client area
    QRect window;       // the picture window in content coordinates (before scrolling)
    QPoint origin;      // the element manager's drawing origin
};

// The layout numbers for a zoom entry, frame size and client size. previous is the layout in
// force, kept in part when fitting has nothing to fit. coverView: the picture window covers the
// whole view (automatic stitching).
ViewLayout ComputeViewLayout(int zoomIndex, QSize frame, QSize client, const ViewLayout& previous,
                             bool coverView = false);

// The four grey rectangles painted around the picture (left, top, right, bottom).
std::array<QRect, 4> GreyMarginRects(QSize display, QSize client);

// Where a frame goes on a screen in full screen: fitted with its aspect ratio, centred.
QRect FullScreenRect(QSize frame, QSize screen);

// Where a printed picture goes on a page of the given size (device pixels, origin at the
// printable area's top-left): at its physical size (picture pixels over its dots per inch, in
// device dots) when that fits, else scaled down with its aspect ratio kept until it fits.
QRect PrintedRect(QSize picture, QSizeF pictureDpi, QSizeF deviceDpi, QSize page);

// The picture in drawing form: RGB32, top row first. Null for an invalid picture.
QImage PictureToRgb32(const FCObjImage& img);
// DIB rows (bottom row first, rows padded to 4 bytes) of 24 or 32 bits into an RGB32 picture of
// the same size, top row first; dst is reallocated only when its size changes. False for other
// depths or bad sizes.
bool DibToRgb32(const uint8_t* bits, int width, int height, int bitCount, QImage& dst);

// A still picture at its display size. The conversion to drawing form and the scaling are done
// once and reused while the picture and the display size stay: a repaint is then one copy.
class CDisplayPicture {
public:
    // Draws the exposed part of the picture shown at (0, 0) with the display size. False (nothing
    // drawn) when the picture is invalid or the display empty.
    bool Draw(QPainter& painter, const FCObjImage& img, QSize display, const QRect& exposed);
    // Forget the cached forms: the next draw converts the picture again.
    void Invalidate();
    // The cached display picture (null while enlarging: drawn from the source then).
    const QImage& Scaled() const { return m_scaled; }

private:
    bool PrepareSource(const FCObjImage& img);
    bool PrepareScaled(QSize display);

    struct Key {
        const void* bits = nullptr;
        int width = 0, height = 0, bitCount = 0;
        uint64_t sample = 0;
        bool operator==(const Key&) const = default;
    };
    Key m_key;
    QImage m_source;  // RGB32, top row first, picture size
    QImage m_scaled;  // RGB32, display size
    QSize m_scaledSize;
};

// The overlay window's whole paint: the exposed part of the picture at the display size, grey
// where there is no picture, the overlay on top. False when only grey was painted.
bool PaintStill(QPainter& painter, CDisplayPicture& cache, const FCObjImage& img, CGVLElemMgr& overlay,
                QSize display, const QRect& exposed);
