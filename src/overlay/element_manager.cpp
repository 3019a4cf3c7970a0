#include "overlay/element_manager.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "document/prompt.h"
#include "image/obj_image.h"
#include "overlay/elements.h"

namespace {

bool IsCounterType(int t) {
    return t >= GVLType::kCounterCircle && t <= GVLType::kCounterHexagon;
}

// German and French language identifiers write ";" (their "," is the decimal separator).
bool UsesSemicolon(int nLangId) {
    static constexpr int kIds[] = {1031, 2055, 3079, 4103, 5127, 1036, 2060, 3084, 4108, 5132};
    return std::find(std::begin(kIds), std::end(kIds), nLangId) != std::end(kIds);
}

size_t BurnInStride(int nWidth) {
    return ((static_cast<size_t>(nWidth) * 24 + 31) / 32) * 4;
}

}  // namespace

size_t GVLBurnInBytes(int nWidth, int nHeight) {
    if (nWidth <= 0 || nHeight <= 0) return 0;
    return BurnInStride(nWidth) * static_cast<size_t>(nHeight);
}

CGVLElemMgr::CGVLElemMgr() {
    CreateLocked(kCreateRuler);
}

CGVLElemMgr::~CGVLElemMgr() = default;

void CGVLElemMgr::SetWindow(IGVLWindow* pWnd) {
    auto lock = Lock();
    m_pWnd = pWnd;
}

void CGVLElemMgr::SetPrompt(IScopePrompt* pPrompt) {
    auto lock = Lock();
    m_pPrompt = pPrompt;
}

CGVLShape* CGVLElemMgr::CreateElement(int nIndex) {
    auto lock = Lock();
    return CreateLocked(nIndex);
}

CGVLShape* CGVLElemMgr::CreateLocked(int nIndex) {
    if (nIndex == kCreateRuler && !m_arrElements.empty() &&
        m_arrElements[0]->GetType() == GVLType::kRuler)
        return m_arrElements[0].get();
    const uint32_t id = m_nNextID++;
    std::unique_ptr<CGVLShape> e;
    switch (nIndex) {
        case 0:
            e = std::make_unique<CGVLPoint>(this, id);
            break;
        case 1:
            e = std::make_unique<CGVLLine>(this, id);
            break;
        case 2:
            e = std::make_unique<CGVLAngle>(this, id);
            break;
        case 3:
            e = std::make_unique<CGVLRect>(this, id);
            break;
        case 4:
            e = std::make_unique<CGVLPolygon>(this, id);
            break;
        case 5:
            e = std::make_unique<CGVLCircle>(this, id);
            break;
        case 6:
            e = std::make_unique<CGVLCircleT>(this, id);
            break;
        case kCreateRuler:
            e = std::make_unique<CGVLRuler>(this, id);
            break;
        case kCreateCounter:
            e = std::make_unique<CGVLNo>(this, id);
            break;
        case kCreateArrow:
            e = std::make_unique<CGVLAnoArrow>(this, id);
            break;
        case kCreateText:
            e = std::make_unique<CGVLAnoText>(this, id);
            break;
        default:
            return nullptr;
    }
    m_arrElements.push_back(std::move(e));
    return m_arrElements.back().get();
}

int CGVLElemMgr::FindElement(uint32_t id) const {
    auto lock = Lock();
    for (size_t i = 0; i < m_arrElements.size(); ++i)
        if (m_arrElements[i]->GetID() == id) return static_cast<int>(i);
    return -1;
}

void CGVLElemMgr::DeleteElement(uint32_t id) {
    auto lock = Lock();
    const int i = FindElement(id);
    if (i < 0) return;
    CGVLShape* e = m_arrElements[static_cast<size_t>(i)].get();
    const int type = e->GetType();
    if (type == GVLType::kRuler) return;
    if (IsCounterType(type)) {
        const int k = static_cast<CGVLNo*>(e)->GetNumber();
        for (const auto& other : m_arrElements) {
            if (other.get() == e || other->GetType() != type) continue;
            auto* label = static_cast<CGVLNo*>(other.get());
            if (label->GetNumber() > k) label->SetNumber(label->GetNumber() - 1);
        }
        int& counter = m_nCounter[static_cast<size_t>(type - GVLType::kCounterCircle)];
        counter = std::max(counter - 1, 0);
    }
    m_arrElements.erase(m_arrElements.begin() + i);
}

void CGVLElemMgr::DeleteAll() {
    auto lock = Lock();
    DeleteAllLocked();
}

void CGVLElemMgr::DeleteAllLocked() {
    if (m_arrElements.size() > 1)
        m_arrElements.erase(m_arrElements.begin() + 1, m_arrElements.end());
    m_nCounter.fill(0);
    ElementInvalidateAll();
}

QPoint CGVLElemMgr::ToImage(QPoint ptWnd) const {
    return QPoint(static_cast<int>(static_cast<float>(ptWnd.x()) / m_fZoom),
                  static_cast<int>(static_cast<float>(ptWnd.y()) / m_fZoom));
}

void CGVLElemMgr::HandPress(CGVLShape* pElem, unsigned nFlags, QPoint pt, int nTool) {
    const uint32_t id = pElem->GetID();
    pElem->OnLButtonDown(nFlags, pt.x(), pt.y(), nTool);
    if (FindElement(id) >= 0) pElem->SetOrigin(m_ptOrigin);
}

void CGVLElemMgr::OnLButtonDown(unsigned nFlags, int nTool, QPoint ptWnd) {
    auto lock = Lock();
    for (const auto& e : m_arrElements) e->SetSelected(false);
    const QPoint pt = ToImage(ptWnd);
    switch (nTool) {
        case GVLTool::kPoint:
        case GVLTool::kLine:
        case GVLTool::kRect:
        case GVLTool::kCircle:
            HandPress(CreateLocked(nTool - 1), nFlags, pt, nTool);
            break;
        case GVLTool::kArrow:
            HandPress(CreateLocked(kCreateArrow), nFlags, pt, nTool);
            break;
        case GVLTool::kAngle:
        case GVLTool::kCircleT: {
            const int type = nTool == GVLTool::kAngle ? GVLType::kAngle : GVLType::kCircleT;
            for (const auto& e : m_arrElements) {
                if (e->IsDragging() && e->GetType() == type) {
                    e->OnLButtonDown(nFlags, pt.x(), pt.y(), nTool);
                    return;
                }
            }
            HandPress(CreateLocked(nTool - 1), nFlags, pt, nTool);
            break;
        }
        case GVLTool::kPolygon: {
            CGVLShape* last = m_arrElements.back().get();
            if (last->GetType() == GVLType::kPolygon &&
                !static_cast<CGVLPolygon*>(last)->IsClosed())
                last->OnLButtonDown(nFlags, pt.x(), pt.y(), nTool);
            else
                HandPress(CreateLocked(4), nFlags, pt, nTool);
            break;
        }
        case GVLTool::kCounterCircle:
        case GVLTool::kCounterRect:
        case GVLTool::kCounterTriangle:
        case GVLTool::kCounterHexagon: {
            auto* label = static_cast<CGVLNo*>(CreateLocked(kCreateCounter));
            HandPress(label, nFlags, pt, nTool);
            const int slot = nTool - GVLTool::kCounterCircle;
            label->SetNumber(++m_nCounter[static_cast<size_t>(slot)]);
            label->SetType(GVLType::kCounterCircle + slot);
            break;
        }
        case GVLTool::kText: {
            CGVLShape* text = CreateLocked(kCreateText);
            HandPress(text, nFlags, pt, nTool);
            const uint32_t id = text->GetID();
            lock.unlock();
            AskText(id);
            break;
        }
        case GVLTool::kNone:
        case GVLTool::kMove:
        case GVLTool::kDelete:
            // Last drawn is on top, so it is asked first. An element removed by the delete tool
            // answers -1, so one press removes everything under it.
            for (int i = ElementCount() - 1; i >= 0; --i) {
                if (i >= ElementCount()) continue;
                if (m_arrElements[static_cast<size_t>(i)]->OnLButtonDown(nFlags, pt.x(), pt.y(),
                                                                         nTool) != -1)
                    break;
            }
            break;
        default:
            break;
    }
}

void CGVLElemMgr::AskText(uint32_t id) {
    // The dialog runs without the lock, so the live picture keeps being drawn meanwhile.
    std::optional<QStringList> lines;
    IScopePrompt* prompt = nullptr;
    {
        auto lock = Lock();
        prompt = m_pPrompt;
    }
    if (prompt)
        lines = prompt->askLines(QStringLiteral("Input Text"),
                                 QStringLiteral("Text(New line by pressing Ctrl+Enter)"));
    auto lock = Lock();
    const int i = FindElement(id);
    if (i < 0) return;  // deleted while the dialog was open
    auto* text = static_cast<CGVLAnoText*>(m_arrElements[static_cast<size_t>(i)].get());
    if (lines) {
        text->SetTextLines(*lines);
        text->InvalidateArea();
    } else {
        text->InvalidateArea();
        m_arrElements.erase(m_arrElements.begin() + i);
    }
}

void CGVLElemMgr::OnLButtonUp(unsigned nFlags, int nTool, QPoint ptWnd) {
    auto lock = Lock();
    const QPoint pt = ToImage(ptWnd);
    for (int i = ElementCount() - 1; i >= 0; --i)
        if (i < ElementCount())
            m_arrElements[static_cast<size_t>(i)]->OnLButtonUp(nFlags, pt.x(), pt.y(), nTool);
}

void CGVLElemMgr::OnMouseMove(unsigned nFlags, int nTool, QPoint ptWnd) {
    auto lock = Lock();
    const QPoint pt = ToImage(ptWnd);
    for (int i = ElementCount() - 1; i >= 0; --i)
        if (i < ElementCount())
            m_arrElements[static_cast<size_t>(i)]->OnMouseMove(nFlags, pt.x(), pt.y(), nTool);
}

void CGVLElemMgr::OnRButtonDown(unsigned nFlags, int nTool, QPoint ptWnd) {
    auto lock = Lock();
    const QPoint pt = ToImage(ptWnd);
    for (int i = ElementCount() - 1; i >= 0; --i)
        if (i < ElementCount())
            m_arrElements[static_cast<size_t>(i)]->OnRButtonDown(nFlags, pt.x(), pt.y(), nTool);
}

void CGVLElemMgr::ToolChanging() {
    auto lock = Lock();
    for (int i = ElementCount() - 1; i >= 0; --i) {
        if (i >= ElementCount()) continue;
        CGVLShape* e = m_arrElements[static_cast<size_t>(i)].get();
        if (e->GetType() == GVLType::kPolygon) static_cast<CGVLPolygon*>(e)->FinishOrRemove();
    }
}

void CGVLElemMgr::SetOrigin(QPoint ptWnd) {
    auto lock = Lock();
    const QPoint origin = ToImage(ptWnd);
    if (origin == m_ptOrigin) return;
    m_ptOrigin = origin;
    for (const auto& e : m_arrElements) {
        e->SetOrigin(origin);
        e->InvalidateArea();
    }
}

QPoint CGVLElemMgr::GetOrigin() const {
    auto lock = Lock();
    return m_ptOrigin;
}

void CGVLElemMgr::DrawCross(COverlayDC& dc, int nWidth, int nHeight) const {
    if (!m_bCrossSolid && !m_bCrossDashed) return;
    dc.SetBackground(m_nFontBackground != 1);
    const QColor color = GVLColor(m_display.m_color_Ruler);
    dc.SetPen(color, 1, m_bCrossSolid ? GVLPenStyle::Solid : GVLPenStyle::Dashed);
    const int cx = nWidth / 2, cy = nHeight / 2;
    dc.Pixel(cx, cy, color);
    // Three pixels on each side of the centre stay free so the spot itself remains visible.
    dc.Line(cx, cy - 4, cx, 0);
    dc.Line(cx, cy + 4, cx, nHeight);
    dc.Line(cx - 4, cy, 0, cy);
    dc.Line(cx + 4, cy, nWidth, cy);
}

void CGVLElemMgr::Draw(QPainter& painter, int nWidth, int nHeight) {
    auto lock = Lock();
    painter.save();
    {
        COverlayDC dc(&painter);
        if (m_bShowRuler) m_arrElements[0]->Draw(dc);
        for (size_t i = 1; i < m_arrElements.size(); ++i) m_arrElements[i]->Draw(dc);
        DrawCross(dc, nWidth, nHeight);
    }
    painter.restore();
}

bool CGVLElemMgr::BurnIn(uint8_t* buffer, int nWidth, int nHeight,
                         const GVLBurnInOptions& options) {
    if (!buffer || nWidth <= 0 || nHeight <= 0) return false;
    const size_t stride = BurnInStride(nWidth);
    std::memset(buffer, 0, stride * static_cast<size_t>(nHeight));
    // Drawn straight into the caller's rows, top row first, then turned over: a separate
    // 32-bit surface would cost more in fresh pages than it saves in drawing.
    QImage surface(buffer, nWidth, nHeight, static_cast<qsizetype>(stride), QImage::Format_BGR888);
    if (surface.isNull()) return false;
    {
        auto lock = Lock();
        // Burn-in is always at picture scale, whatever the window shows.
        const float savedZoom = m_fZoom;
        m_fZoom = 1.0f;
        QPainter painter(&surface);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        {
            COverlayDC dc(&painter);
            dc.SetBackground(m_nFontBackground != 1);
            if (options.ruler) m_arrElements[0]->Draw(dc);
            if (options.measurements)
                for (size_t i = 1; i < m_arrElements.size(); ++i) m_arrElements[i]->Draw(dc);
            DrawCross(dc, nWidth, nHeight);
            dc.SelectFont(12, 7, 100);
            dc.SetTextColor(GVLColor(m_display.m_color_Text));
            dc.SetBackground(m_nFontBackground != 1);
            if (options.date) {
                const QDate d = options.today.isValid() ? options.today : QDate::currentDate();
                dc.Text(nWidth - 100, nHeight - 40,
                        QStringLiteral("%1-%2-%3").arg(d.year()).arg(d.month()).arg(d.day()));
            }
            if (options.title) dc.Text(nWidth - 100, nHeight - 60, options.titleText);
        }
        painter.end();
        m_fZoom = savedZoom;
    }
    std::vector<uint8_t> row(stride);
    for (int top = 0, bottom = nHeight - 1; top < bottom; ++top, --bottom) {
        uint8_t* a = buffer + stride * static_cast<size_t>(top);
        uint8_t* b = buffer + stride * static_cast<size_t>(bottom);
        std::memcpy(row.data(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, row.data(), stride);
    }
    return true;
}

bool GVLMergeBurnIn(FCObjImage& picture, const uint8_t* buffer) {
    if (!buffer || !picture.IsValid() || picture.ColorBits() != 24) return false;
    const int w = picture.Width(), h = picture.Height();
    const size_t stride = BurnInStride(w);
    for (int row = 0; row < h; ++row) {
        const uint8_t* src = buffer + stride * static_cast<size_t>(row);
        uint8_t* dst = picture.GetMemStart() +
                       static_cast<size_t>(picture.RowStride()) * static_cast<size_t>(row);
        for (int x = 0; x < w; ++x) {
            const uint8_t* s = src + 3 * x;
            if (s[0] | s[1] | s[2]) std::memcpy(dst + 3 * x, s, 3);
        }
    }
    return true;
}

QByteArray CGVLElemMgr::CsvTable(int nLangId) const {
    auto lock = Lock();
    const char sep = UsesSemicolon(nLangId) ? ';' : ',';
    QByteArray out;
    out += QByteArray("No.") + sep + "Type" + sep + "Result" + sep + "Unit\n";
    if (m_nPrecision < 1 || m_nPrecision > 5) return out;
    const QByteArray suffix = GVLUnitSuffix(m_calib.m_unit_Unit).toUtf8();
    const QByteArray area = suffix.isEmpty() ? suffix : suffix + '2';
    auto row = [&](int n, const char* type, double value, const QByteArray& unit) {
        out += QByteArray::number(n) + sep + type + sep + GVLFixed(value, m_nPrecision).toLatin1() +
               sep + unit + '\n';
    };
    int n = 0;
    for (size_t i = 1; i < m_arrElements.size(); ++i) {
        const CGVLShape* e = m_arrElements[i].get();
        switch (e->GetType()) {
            case GVLType::kLine:
                row(++n, "Line distance", e->GetLength(), suffix);
                break;
            case GVLType::kAngle:
                row(++n, "Angle", static_cast<const CGVLAngle*>(e)->GetAngle(), "degree");
                break;
            case GVLType::kRect:
                row(++n, "Rect area", e->GetArea(), area);
                break;
            case GVLType::kPolygon:
                row(++n, "Ploygon area", e->GetArea(), area);
                break;
            case GVLType::kCircle:
                ++n;
                row(n, "Circle radius", static_cast<const CGVLCircle*>(e)->GetRadius(), suffix);
                row(n, "Circle area", e->GetArea(), area);
                break;
            case GVLType::kCircleT:
                ++n;
                row(n, "Tri-circle radius", static_cast<const CGVLCircleT*>(e)->GetRadius(),
                    suffix);
                row(n, "Tri-circle area", e->GetArea(), area);
                break;
            default:
                break;
        }
    }
    return out;
}

bool CGVLElemMgr::ExportCsv(int nLangId) {
    IScopePrompt* prompt = nullptr;
    {
        auto lock = Lock();
        if (m_arrElements.size() < 2) return true;  // only the ruler
        prompt = m_pPrompt;
    }
    if (!prompt) return true;
    const QString defaultName =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
    std::optional<QString> path = prompt->chooseSaveFile(QStringLiteral("Save As"), defaultName,
                                                         QStringLiteral("CSV Files(*.csv)"));
    if (!path || path->isEmpty()) return true;
    if (QFileInfo(*path).suffix().isEmpty()) *path += QStringLiteral(".csv");
    const QByteArray table = CsvTable(nLangId);
    QFile file(*path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        prompt->message(
            QStringLiteral("Error"),
            QStringLiteral("Cannot create the file %1: %2").arg(*path, file.errorString()));
        return false;
    }
    if (file.write(table) != table.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.close();
        prompt->message(QStringLiteral("Error"),
                        QStringLiteral("Cannot write the file %1: %2").arg(*path, reason));
        return false;
    }
    file.close();
    return true;
}

GVLCalibration CGVLElemMgr::GetCalibration() const {
    auto lock = Lock();
    return m_calib;
}

void CGVLElemMgr::SetCalibration(const GVLCalibration& calib) {
    auto lock = Lock();
    m_calib = calib;
    ElementInvalidateAll();
}

GVLDisplay CGVLElemMgr::GetDisplay() const {
    auto lock = Lock();
    return m_display;
}

void CGVLElemMgr::SetDisplay(const GVLDisplay& display) {
    auto lock = Lock();
    m_display = display;
    ElementInvalidateAll();
}

int CGVLElemMgr::GetPrecision() const {
    auto lock = Lock();
    return m_nPrecision;
}

void CGVLElemMgr::SetPrecision(int n) {
    auto lock = Lock();
    m_nPrecision = n;
    ElementInvalidateAll();
}

int CGVLElemMgr::GetFontSize() const {
    auto lock = Lock();
    return m_nFontSize;
}

void CGVLElemMgr::SetFontSize(int n) {
    auto lock = Lock();
    m_nFontSize = n;
    ElementInvalidateAll();
}

int CGVLElemMgr::GetFontBackground() const {
    auto lock = Lock();
    return m_nFontBackground;
}

void CGVLElemMgr::SetFontBackground(int n) {
    auto lock = Lock();
    m_nFontBackground = n;
    ElementInvalidateAll();
}

float CGVLElemMgr::GetZoom() const {
    auto lock = Lock();
    return m_fZoom;
}

bool CGVLElemMgr::SetZoom(float fZoom) {
    if (!(fZoom > 0.0f) || !std::isfinite(fZoom)) return false;
    auto lock = Lock();
    m_fZoom = fZoom;
    return true;
}

bool CGVLElemMgr::IsRulerShown() const {
    auto lock = Lock();
    return m_bShowRuler;
}

void CGVLElemMgr::ShowRuler(bool bShow) {
    auto lock = Lock();
    m_bShowRuler = bShow;
    m_arrElements[0]->InvalidateArea();
}

void CGVLElemMgr::SetCross(bool bSolid, bool bDashed) {
    auto lock = Lock();
    m_bCrossSolid = bSolid;
    m_bCrossDashed = bDashed;
    ElementInvalidateAll();
}

bool CGVLElemMgr::IsCrossSolid() const {
    auto lock = Lock();
    return m_bCrossSolid;
}

bool CGVLElemMgr::IsCrossDashed() const {
    auto lock = Lock();
    return m_bCrossDashed;
}

void CGVLElemMgr::SetRulerPoints(QPoint p0, QPoint p1) {
    auto lock = Lock();
    CGVLShape* ruler = m_arrElements[0].get();
    ruler->InvalidateArea();
    ruler->SetPoint(0, p0.x(), p0.y());
    ruler->SetPoint(1, p1.x(), p1.y());
    ruler->InvalidateArea();
}

int CGVLElemMgr::GetCounter(int nType) const {
    auto lock = Lock();
    if (!IsCounterType(nType)) return 0;
    return m_nCounter[static_cast<size_t>(nType - GVLType::kCounterCircle)];
}

int CGVLElemMgr::ElementCount() const {
    auto lock = Lock();
    return static_cast<int>(m_arrElements.size());
}

CGVLShape* CGVLElemMgr::GetElement(int i) const {
    auto lock = Lock();
    if (i < 0 || i >= static_cast<int>(m_arrElements.size())) return nullptr;
    return m_arrElements[static_cast<size_t>(i)].get();
}

void CGVLElemMgr::ElementInvalidate(const QRect& rc, bool erase) const {
    if (m_pWnd) m_pWnd->InvalidateRect(rc, erase);
}

void CGVLElemMgr::ElementInvalidateAll() const {
    if (m_pWnd) m_pWnd->InvalidateAll();
}

void CGVLElemMgr::ElementRulerChanged() const {
    if (m_pWnd) m_pWnd->RulerChanged();
}
