#pragma once
// Counting on documents: a still picture's objects counted into a new "Counting n" document
// that owns the segmentation (CScopeDoc::m_hSegm), counting again in place on such a document,
// and the split mode's mouse, which draws separating lines through the segmentation. The
// settings dialog runs between CountingBegin and CountingAccepted (user-interface thread).

#include <QPoint>

#include "image/obj_image.h"

class CScopeDoc;

// The picture a new counting document counts (24 bits, the source document's size).
extern FCObjImage g_imgCountingSource;

// Before the settings dialog: a new counting starts from reset settings.
void CountingBegin(CScopeDoc& doc);
// After OK in the settings dialog: a document without segmentation hands its picture to a new
// counting document; a counting document counts again in place. False when nothing was counted
// (no picture; the document was refused; the library failed, the user was told why).
bool CountingAccepted(CScopeDoc& doc);
// The new document's part, when the new-document step finds g_bCountingRequest: segments
// g_imgCountingSource with g_CountingSettings into the document's pictures.
bool CountingCreateResult(CScopeDoc& doc);

// Split mode: window pixels, converted to picture pixels by the view's zoom.
void CountingSplitPress(CScopeDoc& doc, QPoint ptWnd);
void CountingSplitMove(CScopeDoc& doc, QPoint ptWnd);
// Ends the line, counts again and shows the result.
void CountingSplitRelease(CScopeDoc& doc);

// A picture out (3 * width bytes a row, bottom row first) as a 24-bit picture.
bool PictureFromSegmentation(const unsigned char* data, int width, int height, FCObjImage& into);
