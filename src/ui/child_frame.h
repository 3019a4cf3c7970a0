#pragma once
// CChildFrame: one image window inside the main frame's MDI area. It owns its document (closing
// the window runs the document's close step and destroys it) and holds the document's one view.

#include <QMdiSubWindow>
#include <memory>

class CScopeDoc;
class CScopeView;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    // Builds the view for the document; the view runs the document's live-or-still decision.
    // The caller then runs the document's new or open step and InitialUpdate(). Deletes itself
    // when closed; its destruction runs the document's close step and destroys the document.
    explicit CChildFrame(std::unique_ptr<CScopeDoc> doc, QWidget* parent = nullptr);
    ~CChildFrame() override;

    // The framework's whole sequence for a new document (path empty) or an opened file:
    // document, frame and view, the new or open step, the initial update. Null when the document
    // was refused (nothing is left behind). The caller adds the frame to its MDI area and shows it.
    static CChildFrame* Create(const QString& path = {}, QWidget* parent = nullptr);

    CScopeDoc* Document() const { return m_doc.get(); }
    CScopeView* View() const { return m_view; }
    // The view's initial update (after the document's new or open step).
    void InitialUpdate();
    // The window title from the document's title.
    void UpdateTitle();

    // The frame showing this document, or null.
    static CChildFrame* ForDocument(const CScopeDoc* doc);

    // Asks before unsaved work goes (Save / Discard / Cancel, through the prompt): true when the
    // window may close. Save runs Save As; a save that did not happen keeps the window.
    bool ConfirmClose();

    // The first activation while the next document was to hold a still picture set the icon.
    bool IconSet() const { return m_bIconSet; }

signals:
    // The window became the active one; the main frame selects this zoom index in its box.
    void activated(int zoomIndex);

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void OnActivated();

    std::unique_ptr<CScopeDoc> m_doc;
    CScopeView* m_view = nullptr;
    bool m_bIconSet = false;
    bool m_bAccepted = true;  // false: the new or open step refused the document
};
