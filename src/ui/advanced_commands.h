#pragma once
// The file-based commands of the Advanced menu: Stitching (32946), HDR on a still document
// (32941) and EDF (32944). Each shows its image-list dialog; with at least two pictures chosen
// it runs the job on a worker thread behind the modal progress dialog, then opens the result as
// a new document or tells why there is none.

class CMainFrame;
class CScopeDoc;

void RunStitchingCommand(CScopeDoc& doc, CMainFrame* frame);
void RunHdrCommand(CScopeDoc& doc, CMainFrame* frame);
void RunEdfCommand(CScopeDoc& doc, CMainFrame* frame);
