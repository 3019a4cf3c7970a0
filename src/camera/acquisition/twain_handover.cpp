#include "camera/acquisition/twain_handover.h"

#include "document/scope_doc.h"

CScopeDoc* HandOverTwainImage(TW_HANDLE bitmap) {
    g_hTwainImage = bitmap;
    g_bTwainRequest = true;
    theApp().m_nNewDocKind = 1;
    CScopeDoc* doc = theApp().frame ? theApp().frame->NewDocument() : NewDocumentWithoutView();
    // Nothing may hold on to the bitmap, and a refused document must not leave the request
    // pending for the next capture.
    g_hTwainImage = nullptr;
    g_bTwainRequest = false;
    return doc;
}
