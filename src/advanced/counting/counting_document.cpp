#include "advanced/counting/counting_document.h"

#include <cstring>

#include "advanced/counting/counting_settings.h"
#include "advanced/imagepro_segm.h"
#include "document/prompt.h"
#include "document/scope_doc.h"
#include "overlay/element_manager.h"
#include "settings/language_table.h"

FCObjImage g_imgCountingSource;

namespace {

IScopeDocFrame& Frame() {
    static IScopeDocFrame none;
    return theApp().frame ? *theApp().frame : none;
}

// The library's reason, under the caption information and input problems get.
void TellFailure() {
    if (theApp().prompt)
        theApp().prompt->message(Translate(QStringLiteral("Hint")),
                                 QString::fromUtf8(imagepro_last_error()));
}

void ShowPicture(CScopeDoc& doc, FCObjImage&& picture) {
    doc.m_image = std::move(picture);
    doc.m_imageOriginal = doc.m_image;
    *doc.m_pCxImage = doc.m_image;
    doc.m_nFrameWidth = doc.m_image.Width();
    doc.m_nFrameHeight = doc.m_image.Height();
}

// Finds the objects again and shows the drawn result as the document's picture.
bool Recount(CScopeDoc& doc) {
    const int h = doc.m_hSegm;
    const int w = doc.m_image.Width(), ht = doc.m_image.Height();
    FCObjImage result;
    if (imagepro_segm_findcontour(h) != IMAGEPRO_OK ||
        !PictureFromSegmentation(imagepro_segm_getdata(h), w, ht, result)) {
        TellFailure();
        return false;
    }
    ShowPicture(doc, std::move(result));
    Frame().Repaint(doc);
    return true;
}

QPoint ToImage(const CScopeDoc& doc, QPoint ptWnd) {
    const float zoom = doc.ElemMgr().GetZoom();
    return QPoint(static_cast<int>(static_cast<float>(ptWnd.x()) / zoom),
                  static_cast<int>(static_cast<float>(ptWnd.y()) / zoom));
}

}  // namespace

bool PictureFromSegmentation(const unsigned char* data, int width, int height, FCObjImage& into) {
    if (!data || width <= 0 || height <= 0) return false;
    FCObjImage picture;
    if (!picture.AllocateForOverwrite(width, height, 24)) return false;
    const size_t row = static_cast<size_t>(width) * 3;
    // Rows of the picture out are packed; the picture's rows are padded to 4 bytes.
    for (int r = 0; r < height; ++r)
        std::memcpy(picture.GetMemStart() + static_cast<size_t>(r) * picture.RowStride(),
                    data + static_cast<size_t>(r) * row, row);
    picture.ZeroRowPadding();
    into.Swap(picture);
    return true;
}

void CountingBegin(CScopeDoc& doc) {
    if (!doc.m_hSegm) g_CountingSettings.Reset();
}

bool CountingAccepted(CScopeDoc& doc) {
    if (doc.m_hSegm) {
        ApplyCountingSettings(doc.m_hSegm, g_CountingSettings);
        return Recount(doc);
    }
    if (!doc.m_image.IsValid()) return false;
    FCObjImage source = doc.m_image;
    source.ToTrueColor24();
    g_imgCountingSource.Swap(source);
    theApp().m_nNewDocKind = 1;
    g_bCountingRequest = true;
    const CScopeDoc* created = Frame().NewDocument();
    // A refused document must not leave the request for whatever document comes next.
    g_bCountingRequest = false;
    g_imgCountingSource.Release();
    return created != nullptr;
}

bool CountingCreateResult(CScopeDoc& doc) {
    const FCObjImage& source = g_imgCountingSource;
    if (!source.IsValid() || source.ColorBits() != 24) return false;
    if (!doc.m_hSegm) doc.m_hSegm = imagepro_segm_new();
    const int h = doc.m_hSegm;
    if (!h || imagepro_segm_readdata(h, source.GetMemStart(), source.Width(), source.Height()) !=
                  IMAGEPRO_OK) {
        TellFailure();
        ShowPicture(doc, FCObjImage(source));
        return false;
    }
    ApplyCountingSettings(h, g_CountingSettings);
    FCObjImage result;
    if (imagepro_segm_findcontour(h) != IMAGEPRO_OK ||
        !PictureFromSegmentation(imagepro_segm_getdata(h), source.Width(), source.Height(),
                                 result)) {
        TellFailure();
        ShowPicture(doc, FCObjImage(source));
        return false;
    }
    ShowPicture(doc, std::move(result));
    return true;
}

void CountingSplitPress(CScopeDoc& doc, QPoint ptWnd) {
    if (doc.m_hSegm) {
        const QPoint p = ToImage(doc, ptWnd);
        imagepro_segm_mouse_Ldown(doc.m_hSegm, p.x(), p.y());
    }
    doc.m_bSplitDrawing = true;
}

void CountingSplitMove(CScopeDoc& doc, QPoint ptWnd) {
    if (!doc.m_hSegm) return;
    const QPoint p = ToImage(doc, ptWnd);
    imagepro_segm_mouse_move(doc.m_hSegm, p.x(), p.y());
}

void CountingSplitRelease(CScopeDoc& doc) {
    if (!doc.m_hSegm) return;
    doc.m_bSplitDrawing = false;
    imagepro_segm_mouse_Lup(doc.m_hSegm);
    Recount(doc);
}
