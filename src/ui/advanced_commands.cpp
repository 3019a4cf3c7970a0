#include "ui/advanced_commands.h"

#include <QPointer>
#include <QProgressBar>
#include <memory>

#include "advanced/jobs/file_jobs.h"
#include "document/prompt.h"
#include "document/scope_doc.h"
#include "ui/image_list_dlg.h"
#include "ui/main_frame.h"
#include "ui/progress_dlg.h"

namespace {

// Posted messages to the progress dialog: queued calls that arrive on its thread; once the
// dialog is gone they are dropped.
class DialogProgress : public IJobProgress {
public:
    explicit DialogProgress(CProgressDlg* dlg) : m_dlg(dlg) {}
    void Post(int percent) override {
        QMetaObject::invokeMethod(m_dlg, "setValue", Qt::QueuedConnection, Q_ARG(int, percent));
    }
    void Close() override { QMetaObject::invokeMethod(m_dlg, "finish", Qt::QueuedConnection); }

private:
    CProgressDlg* m_dlg;
};

void RunFileJob(FileJobKind kind, CImageListDlg& dlg, CMainFrame* frame) {
    if (dlg.exec() != QDialog::Accepted || dlg.Model().m_nSelected < 2) return;
    CProgressDlg progressDlg(frame);
    DialogProgress progress(&progressDlg);
    auto job = std::make_unique<CFileJob>(kind, dlg.Model(), progress);
    const bool started = job->Start();
    if (started) progressDlg.exec();
    job->Finish();
    if (started && job->Succeeded()) {
        theApp().m_nNewDocKind = 1;
        if (frame) frame->OpenDocumentFile(job->ResultPath());
        return;
    }
    if (!job->MessageText().isEmpty() && theApp().prompt)
        theApp().prompt->message(job->MessageCaption(), job->MessageText());
}

}  // namespace

void RunStitchingCommand(CScopeDoc&, CMainFrame* frame) {
    CStitchingDlg dlg(frame);
    RunFileJob(FileJobKind::Stitching, dlg, frame);
}

void RunHdrCommand(CScopeDoc& doc, CMainFrame* frame) {
    if (doc.m_bLive) return;  // live HDR runs on a document of its own
    CHDRDlg dlg(frame);
    RunFileJob(FileJobKind::Hdr, dlg, frame);
}

void RunEdfCommand(CScopeDoc&, CMainFrame* frame) {
    CEDFDlg dlg(frame);
    RunFileJob(FileJobKind::Edf, dlg, frame);
}
