#include "ui/child_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QMdiArea>
#include <QStyle>

#include <algorithm>
#include <vector>

#include "document/prompt.h"
#include "document/scope_doc.h"
#include "settings/language_table.h"
#include "ui/scope_view.h"

namespace {

std::vector<CChildFrame*>& Frames() {
    static std::vector<CChildFrame*> frames;
    return frames;
}

}  // namespace

CChildFrame::CChildFrame(std::unique_ptr<CScopeDoc> doc, QWidget* parent)
    : QMdiSubWindow(parent), m_doc(std::move(doc)) {
    setObjectName(QStringLiteral("ChildFrame"));
    setAttribute(Qt::WA_DeleteOnClose);
    // No system menu.
    setWindowFlags(windowFlags() & ~Qt::WindowSystemMenuHint);
    setSystemMenu(nullptr);
    m_view = new CScopeView(m_doc.get(), this);
    setWidget(m_view);
    setWindowTitle(m_doc->GetTitle());
    Frames().push_back(this);
    connect(this, &QMdiSubWindow::windowStateChanged, this,
            [this](Qt::WindowStates oldState, Qt::WindowStates newState) {
                if (!(oldState & Qt::WindowActive) && (newState & Qt::WindowActive)) OnActivated();
            });
}

CChildFrame::~CChildFrame() {
    auto& frames = Frames();
    frames.erase(std::remove(frames.begin(), frames.end(), this), frames.end());
    if (m_doc && m_bAccepted) m_doc->OnCloseDocument();
    // The view (and with it the camera of a live document) goes before its document.
    delete m_view;
    m_view = nullptr;
    m_doc.reset();
}

CChildFrame* CChildFrame::Create(const QString& path, QWidget* parent) {
    // A file always becomes a still document, whatever else is open.
    if (!path.isEmpty()) theApp().m_nNewDocKind = 1;
    auto* frame = new CChildFrame(std::make_unique<CScopeDoc>(), parent);
    CScopeDoc* doc = frame->Document();
    const bool ok = path.isEmpty() ? doc->OnNewDocument() : doc->OnOpenDocument(path);
    if (!ok) {
        frame->m_bAccepted = false;
        delete frame;
        return nullptr;
    }
    frame->InitialUpdate();
    return frame;
}

void CChildFrame::InitialUpdate() {
    m_view->OnInitialUpdate();
    UpdateTitle();
}

void CChildFrame::UpdateTitle() { setWindowTitle(m_doc->GetTitle()); }

CChildFrame* CChildFrame::ForDocument(const CScopeDoc* doc) {
    for (CChildFrame* f : Frames())
        if (f->Document() == doc) return f;
    return nullptr;
}

bool CChildFrame::event(QEvent* e) {
    // Image windows are always maximised inside the frame.
    if (e->type() == QEvent::Show && !(windowState() & Qt::WindowMaximized)) setWindowState(windowState() | Qt::WindowMaximized);
    return QMdiSubWindow::event(e);
}

bool CChildFrame::ConfirmClose() {
    if (!m_doc || !m_doc->IsModified()) return true;
    IScopePrompt* prompt = theApp().prompt;
    if (!prompt) return true;
    // The picture in question is the one in front.
    if (QMdiArea* area = mdiArea()) area->setActiveSubWindow(this);
    const QString text = Translate(QStringLiteral("The picture \"%1\" has not been saved. Save changes?"))
                             .replace(QStringLiteral("%1"), m_doc->GetTitle());
    switch (prompt->askSaveChanges(Translate(QStringLiteral("NorvaneScope")), text)) {
        case SaveChoice::Save:
            if (IScopeDocFrame* frame = theApp().frame) frame->RunWindowCommand(*m_doc, ID_FILE_SAVE_AS);
            return !m_doc->IsModified();
        case SaveChoice::Discard:
            m_doc->DiscardChanges();
            return true;
        case SaveChoice::Cancel:
            break;
    }
    return false;
}

void CChildFrame::closeEvent(QCloseEvent* e) {
    if (!ConfirmClose()) {
        e->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(e);
}

void CChildFrame::OnActivated() {
    if (!m_bIconSet && theApp().m_nNewDocKind == 1) {
        QIcon icon = QApplication::windowIcon();
        if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_FileIcon);
        setWindowIcon(icon);
        m_bIconSet = true;
        theApp().m_nNewDocKind = 0;
    }
    m_view->OnActivateView();
    emit activated(m_doc->m_nZoomIndex);
}
