#pragma once
// CGVLElemMgr: the overlay of one document. It owns the elements (element 0 is always the
// calibration ruler), the calibration and colours they share, the counter numbering and the
// centre cross lines; it routes mouse events by the current tool, draws the overlay on screen,
// burns it into a picture buffer and exports the measurements as CSV.
//
// Threads: the live window draws on the camera thread while the user interface edits. Every
// public operation takes the manager's lock, so a draw sees either the state before an edit or
// after it, and an element is never destroyed while it is being drawn. The lock is recursive
// because elements call back into the manager (Remove) while a mouse event holds it.

#include <QDate>
#include <QPoint>
#include <QRect>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "overlay/calibration.h"
#include "overlay/shape.h"

class QPainter;
class IScopePrompt;

// The display window as the overlay sees it. Called on the thread that edits the overlay.
class IGVLWindow {
public:
    virtual ~IGVLWindow() = default;
    // Window pixels; erase false keeps the background (nothing is repainted below).
    virtual void InvalidateRect(const QRect& rc, bool erase) = 0;
    virtual void InvalidateAll() = 0;
    // The ruler moved or changed the calibration: a ruler-setting dialog should refresh.
    virtual void RulerChanged() = 0;
};

struct GVLBurnInOptions {
    bool measurements = false;
    bool ruler = false;
    bool date = false;
    bool title = false;
    QString titleText;
    QDate today;  // the date written; invalid means the local date of the call
};

class CGVLElemMgr {
public:
    // Creation indices (type code minus one).
    static constexpr int kCreateRuler = 8;
    static constexpr int kCreateCounter = 10;
    static constexpr int kCreateArrow = 14;
    static constexpr int kCreateText = 16;

    CGVLElemMgr();
    ~CGVLElemMgr();
    CGVLElemMgr(const CGVLElemMgr&) = delete;
    CGVLElemMgr& operator=(const CGVLElemMgr&) = delete;

    void SetWindow(IGVLWindow* pWnd);
    // Asked for the text of new text elements and for the CSV file; none answers Cancel.
    void SetPrompt(IScopePrompt* pPrompt);

    // Appends a new element of the creation index and returns it; none for an unknown index.
    // The ruler exists from the start: index 8 returns it instead of making a second one.
    CGVLShape* CreateElement(int nIndex);
    int FindElement(uint32_t id) const;
    // Destroys the element with this identity and renumbers counters; the ruler stays.
    void DeleteElement(uint32_t id);
    // Everything but the ruler; the counters start again at 1.
    void DeleteAll();

    // Window pixels; the manager divides by the zoom.
    void OnLButtonDown(unsigned nFlags, int nTool, QPoint ptWnd);
    void OnLButtonUp(unsigned nFlags, int nTool, QPoint ptWnd);
    void OnMouseMove(unsigned nFlags, int nTool, QPoint ptWnd);
    void OnRButtonDown(unsigned nFlags, int nTool, QPoint ptWnd);
    // The current tool is about to change: a polygon still being drawn is finished or removed.
    void ToolChanging();

    // The display origin as a window offset.
    void SetOrigin(QPoint ptWnd);
    QPoint GetOrigin() const;

    // The overlay over a window of W x H pixels.
    void Draw(QPainter& painter, int nWidth, int nHeight);
    // Clears 'buffer' (H bottom-up rows of W 24-bit pixels, rows padded to 4 bytes) and draws
    // the chosen parts into it at zoom 1. Pixels left at (0, 0, 0) carry no overlay.
    bool BurnIn(uint8_t* buffer, int nWidth, int nHeight, const GVLBurnInOptions& options);

    // The CSV table: ";" for the German and French language identifiers, "," otherwise.
    QByteArray CsvTable(int nLangId) const;
    // Asks for a file through the prompt and writes the table. false when the file could not
    // be written (the user was told); true otherwise, also when there was nothing to export or
    // the user cancelled.
    bool ExportCsv(int nLangId);

    // Shared settings.
    GVLCalibration GetCalibration() const;
    void SetCalibration(const GVLCalibration& calib);
    GVLDisplay GetDisplay() const;
    void SetDisplay(const GVLDisplay& display);
    int GetPrecision() const;
    void SetPrecision(int n);
    int GetFontSize() const;
    void SetFontSize(int n);
    int GetFontBackground() const;
    void SetFontBackground(int n);
    float GetZoom() const;
    // Zooms that are not positive and finite are refused.
    bool SetZoom(float fZoom);
    bool IsRulerShown() const;
    void ShowRuler(bool bShow);
    void SetCross(bool bSolid, bool bDashed);
    bool IsCrossSolid() const;
    bool IsCrossDashed() const;
    // Ruler end points p0 = (X end, Y start), p1 = (X start, Y end).
    void SetRulerPoints(QPoint p0, QPoint p1);
    int GetCounter(int nType) const;

    // Direct access to the elements. Hold Lock() while reading them from another thread.
    std::unique_lock<std::recursive_mutex> Lock() const { return std::unique_lock(m_mutex); }
    int ElementCount() const;
    CGVLShape* GetElement(int i) const;

    // Used by the elements (under the lock).
    void ElementInvalidate(const QRect& rc, bool erase) const;
    void ElementInvalidateAll() const;
    void ElementRulerChanged() const;
    GVLCalibration* CalibrationBlock() { return &m_calib; }
    float CurZoom() const { return m_fZoom; }
    int CurPrecision() const { return m_nPrecision; }
    int CurFontSize() const { return m_nFontSize; }
    int CurFontBackground() const { return m_nFontBackground; }
    bool CurRulerShown() const { return m_bShowRuler; }
    GVLDisplay* DisplayBlock() { return &m_display; }

private:
    CGVLShape* CreateLocked(int nIndex);
    void DrawCross(COverlayDC& dc, int nWidth, int nHeight) const;
    void DeleteAllLocked();
    QPoint ToImage(QPoint ptWnd) const;
    void HandPress(CGVLShape* pElem, unsigned nFlags, QPoint pt, int nTool);
    void AskText(uint32_t id);

    mutable std::recursive_mutex m_mutex;
    std::vector<std::unique_ptr<CGVLShape>> m_arrElements;
    GVLCalibration m_calib;
    GVLDisplay m_display;
    IGVLWindow* m_pWnd = nullptr;
    IScopePrompt* m_pPrompt = nullptr;
    QPoint m_ptOrigin;
    bool m_bShowRuler = false;
    bool m_bCrossSolid = false;
    bool m_bCrossDashed = false;
    std::array<int, 4> m_nCounter{};
    int m_nPrecision = 2;
    int m_nFontSize = 2;
    int m_nFontBackground = 0;
    float m_fZoom = 1.0f;
    // Identities only need to be unique among live elements; a tick count is not.
    uint32_t m_nNextID = 1;
};

// Copies every burn-in pixel that is not (0, 0, 0) into a 24-bit picture of the same size.
bool GVLMergeBurnIn(class FCObjImage& picture, const uint8_t* buffer);
// Bytes of the burn-in buffer for W x H.
size_t GVLBurnInBytes(int nWidth, int nHeight);
