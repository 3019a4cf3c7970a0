#pragma once
// The hand-over of one acquired picture to a new still document: the bitmap waits in
// g_hTwainImage, g_bTwainRequest is set, the next document is to be a still one, and the
// framework's new-document step runs (the program's frame makes a window for it; without one the
// document is made without a view). The document is built before this returns, so the caller
// may free the bitmap right after.

#include "camera/acquisition/twain_protocol.h"

class CScopeDoc;

// The new document, or null when none was made.
CScopeDoc* HandOverTwainImage(TW_HANDLE bitmap);
