#include "ui/ruler_setting_dlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <unordered_map>

#include "document/scope_doc.h"
#include "overlay/calibration.h"
#include "overlay/element_manager.h"
#include "overlay/ruler_file.h"
#include "overlay/shape.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "settings/language_table.h"
#include "ui/scope_view.h"

namespace {

constexpr const char* kMagnificationNames[CRulerSettingDlg::kMagnifications] = {
    "4 X", "10 X", "20 X", "40 X", "60 X", "100 X"};

QString Tr(const char* text) {
    return Translate(QString::fromLatin1(text));
}

QLineEdit* ValueEdit(QWidget* parent, const char* name, int chars, bool readOnly) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setReadOnly(readOnly);
    const QFontMetrics fm(edit->font());
    edit->setMinimumWidth(fm.horizontalAdvance(QString(chars, QLatin1Char('0'))) + 12);
    return edit;
}

// The documents' dialogs. A QPointer turns null when the dialog goes with its view, so an entry
// never outlives its dialog, and a later document at the same address finds nothing.
std::unordered_map<const CScopeDoc*, QPointer<CRulerSettingDlg>>& Dialogs() {
    static std::unordered_map<const CScopeDoc*, QPointer<CRulerSettingDlg>> dialogs;
    return dialogs;
}

}  // namespace

CRulerSettingDlg::CRulerSettingDlg(CScopeDoc* doc, QWidget* parent) : QDialog(parent), m_pDoc(doc) {
    setObjectName(QStringLiteral("RulerSettingDlg"));
    setWindowTitle(Tr("Ruler Setting"));
    setModal(false);
    const CAppSettings::MeasureDlgSetting& s = theSettings.measureDlg;
    m_strXReal = s.XUnit.left(kMaxPhysicalLength);
    m_strYReal = s.YUnit.left(kMaxPhysicalLength);
    m_strXPerPixel = m_strYPerPixel = QStringLiteral("10.00");

    // Real results: units per pixel.
    auto* results = new QGroupBox(Tr("Real Results"), this);
    m_editXPerPixel = ValueEdit(results, "XPerPixel", 14, true);
    m_editYPerPixel = ValueEdit(results, "YPerPixel", 14, true);
    m_labelXPerPixel = new QLabel(results);
    m_labelYPerPixel = new QLabel(results);
    auto* resultsGrid = new QGridLayout(results);
    resultsGrid->addWidget(new QLabel(Tr("X-Ruler"), results), 0, 0);
    resultsGrid->addWidget(m_editXPerPixel, 0, 1);
    resultsGrid->addWidget(m_labelXPerPixel, 0, 2);
    resultsGrid->addWidget(new QLabel(Tr("Y-Ruler"), results), 1, 0);
    resultsGrid->addWidget(m_editYPerPixel, 1, 1);
    resultsGrid->addWidget(m_labelYPerPixel, 1, 2);

    // Physical ruler: the unit and the arms' physical lengths.
    auto* physical = new QGroupBox(Tr("Physical Ruler"), this);
    m_listUnit = new QComboBox(physical);
    m_listUnit->setObjectName(QStringLiteral("Unit"));
    for (int u = 0; u < kGVLUnitCount; ++u) m_listUnit->addItem(Translate(GVLUnitName(u)));
    m_editXReal = ValueEdit(physical, "XReal", 14, false);
    m_editYReal = ValueEdit(physical, "YReal", 14, false);
    m_editXReal->setMaxLength(kMaxPhysicalLength);
    m_editYReal->setMaxLength(kMaxPhysicalLength);
    m_labelXUnit = new QLabel(physical);
    m_labelYUnit = new QLabel(physical);
    auto* physicalGrid = new QGridLayout(physical);
    physicalGrid->addWidget(new QLabel(Tr("Ruler Unit"), physical), 0, 0);
    physicalGrid->addWidget(m_listUnit, 0, 1, Qt::AlignLeft);
    physicalGrid->addWidget(new QLabel(Tr("X-Ruler Unit"), physical), 1, 0);
    physicalGrid->addWidget(m_editXReal, 1, 1);
    physicalGrid->addWidget(m_labelXUnit, 1, 2);
    physicalGrid->addWidget(new QLabel(Tr("Y-Ruler Unit"), physical), 2, 0);
    physicalGrid->addWidget(m_editYReal, 2, 1);
    physicalGrid->addWidget(m_labelYUnit, 2, 2);

    // Both upper groups line up their value column.
    int labelWidth = 0;
    for (QGridLayout* grid : {resultsGrid, physicalGrid})
        for (int r = 0; r < grid->rowCount(); ++r)
            if (QLayoutItem* item = grid->itemAtPosition(r, 0))
                labelWidth = std::max(labelWidth, item->widget()->sizeHint().width());
    int unitWidth = 0;
    for (QLabel* l : {m_labelXPerPixel, m_labelYPerPixel, m_labelXUnit, m_labelYUnit}) {
        for (int u = 0; u < kGVLUnitCount; ++u)
            unitWidth = std::max({unitWidth, l->fontMetrics().horizontalAdvance(Translate(
                                                 GVLUnitName(u) + QStringLiteral("/pixel")))});
    }
    for (QGridLayout* grid : {resultsGrid, physicalGrid}) {
        grid->setColumnMinimumWidth(0, labelWidth);
        grid->setColumnMinimumWidth(2, unitWidth);
        grid->setColumnStretch(1, 1);
    }

    // Image ruler: the pixel values, read only.
    auto* pixels = new QGroupBox(Tr("Image Ruler(pixel)"), this);
    m_editXStart = ValueEdit(pixels, "XStart", 6, true);
    m_editXEnd = ValueEdit(pixels, "XEnd", 6, true);
    m_editXLength = ValueEdit(pixels, "XLength", 6, true);
    m_editYStart = ValueEdit(pixels, "YStart", 6, true);
    m_editYEnd = ValueEdit(pixels, "YEnd", 6, true);
    m_editYLength = ValueEdit(pixels, "YLength", 6, true);
    auto* pixelGrid = new QGridLayout(pixels);
    const struct {
        const char* label;
        QLineEdit* edit;
    } pixelCells[2][3] = {
        {{"X-Start", m_editXStart}, {"X-End", m_editXEnd}, {"X-Length", m_editXLength}},
        {{"Y-Start", m_editYStart}, {"Y-End", m_editYEnd}, {"Y-Length", m_editYLength}},
    };
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c) {
            pixelGrid->addWidget(new QLabel(Tr(pixelCells[r][c].label), pixels), r, 2 * c);
            pixelGrid->addWidget(pixelCells[r][c].edit, r, 2 * c + 1);
            pixelGrid->setColumnStretch(2 * c + 1, 1);
        }

    // Magnification: only remembered; the ruler files keep each objective's calibration.
    auto* magnification = new QGroupBox(Tr("Magnification"), this);
    m_listMagnification = new QComboBox(magnification);
    m_listMagnification->setObjectName(QStringLiteral("Magnification"));
    for (const char* name : kMagnificationNames) m_listMagnification->addItem(Tr(name));
    auto* magnificationLayout = new QHBoxLayout(magnification);
    magnificationLayout->addWidget(m_listMagnification);
    magnificationLayout->addStretch(1);

    // Buttons: the file and "Y = X" actions on the left, OK and Cancel on the right.
    auto* yEqualsX = new QPushButton(Tr("Y = X"), this);
    yEqualsX->setObjectName(QStringLiteral("YEqualsX"));
    auto* save = new QPushButton(Tr("Save"), this);
    save->setObjectName(QStringLiteral("Save"));
    auto* load = new QPushButton(Tr("Load"), this);
    load->setObjectName(QStringLiteral("Load"));
    for (QPushButton* b : {yEqualsX, save, load}) b->setAutoDefault(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(Tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(Tr("Cancel"));
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(yEqualsX);
    buttonRow->addWidget(save);
    buttonRow->addWidget(load);
    buttonRow->addStretch(1);
    buttonRow->addWidget(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(results);
    layout->addWidget(physical);
    layout->addWidget(pixels);
    layout->addWidget(magnification);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Filled from the settings before the signals are connected: filling changes nothing.
    const int unit = s.Unit >= 0 && s.Unit < kGVLUnitCount ? s.Unit : 0;
    m_listUnit->setCurrentIndex(unit);
    m_listMagnification->setCurrentIndex(
        s.Magnification >= 0 && s.Magnification < kMagnifications ? s.Magnification : 0);
    UpdateUnitLabels();
    ShowValues();

    // The physical length is what the user comes to type.
    m_editXReal->setFocus();

    connect(m_listUnit, &QComboBox::currentIndexChanged, this, &CRulerSettingDlg::OnUnitChanged);
    connect(m_listMagnification, &QComboBox::currentIndexChanged, this,
            &CRulerSettingDlg::OnMagnificationChanged);
    connect(m_editXReal, &QLineEdit::textEdited, this, &CRulerSettingDlg::OnXRealEdited);
    connect(m_editYReal, &QLineEdit::textEdited, this, &CRulerSettingDlg::OnYRealEdited);
    connect(yEqualsX, &QPushButton::clicked, this, &CRulerSettingDlg::YEqualsX);
    connect(save, &QPushButton::clicked, this, &CRulerSettingDlg::OnSaveClicked);
    connect(load, &QPushButton::clicked, this, &CRulerSettingDlg::OnLoadClicked);
    connect(buttons, &QDialogButtonBox::accepted, this, &CRulerSettingDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CRulerSettingDlg::reject);
}

CScopeDoc* CRulerSettingDlg::Doc() const {
    // A dialog that outlived its document (one without a view) touches nothing.
    const auto& docs = CScopeDoc::AllDocuments();
    return std::find(docs.begin(), docs.end(), m_pDoc) != docs.end() ? m_pDoc : nullptr;
}

void CRulerSettingDlg::ShowValues() {
    auto set = [](QLineEdit* edit, const QString& text) {
        // Only a real change: the user's cursor stays where it is while typing.
        if (edit->text() != text) edit->setText(text);
    };
    set(m_editXPerPixel, m_strXPerPixel);
    set(m_editYPerPixel, m_strYPerPixel);
    set(m_editXReal, m_strXReal);
    set(m_editYReal, m_strYReal);
    set(m_editXStart, QString::number(m_nXStart));
    set(m_editXEnd, QString::number(m_nXEnd));
    set(m_editXLength, QString::number(m_nXLength));
    set(m_editYStart, QString::number(m_nYStart));
    set(m_editYEnd, QString::number(m_nYEnd));
    set(m_editYLength, QString::number(m_nYLength));
}

void CRulerSettingDlg::UpdateUnitLabels() {
    const int unit = SelectedUnit();
    const QString name = Translate(GVLUnitName(unit));
    const QString perPixel = Translate(GVLUnitName(unit) + QStringLiteral("/pixel"));
    m_labelXPerPixel->setText(perPixel);
    m_labelYPerPixel->setText(perPixel);
    m_labelXUnit->setText(name);
    m_labelYUnit->setText(name);
}

int CRulerSettingDlg::SelectedUnit() const {
    const int unit = m_listUnit->currentIndex();
    return unit >= 0 ? unit : 0;
}

void CRulerSettingDlg::RefreshFromRuler() {
    CScopeDoc* doc = Doc();
    if (!doc) return;
    CGVLElemMgr& mgr = doc->ElemMgr();
    QPoint p0, p1;
    {
        auto lock = mgr.Lock();
        const CGVLShape* ruler = mgr.ElementCount() > 0 ? mgr.GetElement(0) : nullptr;
        if (!ruler || ruler->GetType() != GVLType::kRuler || ruler->PointCount() != 2) return;
        p0 = *ruler->GetPoint(0);
        p1 = *ruler->GetPoint(1);
    }
    m_nXStart = p1.x();
    m_nXEnd = p0.x();
    m_nXLength = p0.x() - p1.x();
    m_nYStart = p0.y();
    m_nYEnd = p1.y();
    m_nYLength = p1.y() - p0.y();
    CAppSettings::Measure& m = theSettings.measure;
    m.m_nXStart = m_nXStart;
    m.m_nXEnd = m_nXEnd;
    m.m_nYStart = m_nYStart;
    m.m_nYEnd = m_nYEnd;
    theSettings.measureDlg.X_RulerLength = m_nXLength;
    theSettings.measureDlg.Y_RulerLength = m_nYLength;
    m_strXPerPixel = RulerPerPixelText(m_strXReal, m_nXLength);
    m_strYPerPixel = RulerPerPixelText(m_strYReal, m_nYLength);
    ShowValues();
}

void CRulerSettingDlg::Apply() {
    RefreshFromRuler();
    CScopeDoc* doc = Doc();
    if (!doc) return;
    GVLCalibration calib;
    calib.m_unit_Unit = SelectedUnit();
    calib.m_unit_dcxPerPixel = RulerPhysicalValue(m_strXPerPixel);
    calib.m_unit_dcyPerPixel = RulerPhysicalValue(m_strYPerPixel);
    calib.m_unit_dcxReal = RulerPhysicalValue(m_strXReal);
    calib.m_unit_dcyReal = RulerPhysicalValue(m_strYReal);
    doc->ElemMgr().SetCalibration(calib);
    Repaint();
}

void CRulerSettingDlg::Repaint() {
    CScopeDoc* doc = Doc();
    if (!doc) return;
    if (IScopeDocFrame* frame = theApp().frame) frame->Repaint(*doc);
}

void CRulerSettingDlg::OnUnitChanged(int index) {
    UpdateUnitLabels();
    if (index >= 0) theSettings.measureDlg.Unit = index;
}

void CRulerSettingDlg::OnMagnificationChanged(int index) {
    if (index >= 0) theSettings.measureDlg.Magnification = index;
}

void CRulerSettingDlg::OnXRealEdited(const QString& text) {
    m_strXReal = text;
    m_strXPerPixel = RulerPerPixelText(m_strXReal, m_nXLength);
    ShowValues();
    theSettings.measureDlg.XUnit = text;
}

void CRulerSettingDlg::OnYRealEdited(const QString& text) {
    m_strYReal = text;
    m_strYPerPixel = RulerPerPixelText(m_strYReal, m_nYLength);
    ShowValues();
    theSettings.measureDlg.YUnit = text;
}

void CRulerSettingDlg::YEqualsX() {
    m_strYPerPixel = m_strXPerPixel;
    m_strYReal = m_strXReal;
    m_nYLength = m_nXLength;
    // Values from a damaged file can be far out: no int overflow.
    m_nYEnd =
        static_cast<int>(std::clamp<qint64>(qint64(m_nYStart) + m_nXLength, INT_MIN, INT_MAX));
    ShowValues();
    if (CScopeDoc* doc = Doc())
        doc->ElemMgr().SetRulerPoints(QPoint(m_nXEnd, m_nYStart), QPoint(m_nXStart, m_nYEnd));
    Apply();
    theSettings.measureDlg.YUnit = m_editYReal->text();
}

void CRulerSettingDlg::accept() {
    Apply();
    hide();
    setResult(QDialog::Accepted);
}

void CRulerSettingDlg::reject() {
    Apply();
    hide();
    setResult(QDialog::Rejected);
}

void CRulerSettingDlg::changeEvent(QEvent* e) {
    QDialog::changeEvent(e);
    // Coming to the front by other means than a click (the keyboard, the window list, the
    // Calibration command) shows the ruler the dialog is about.
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && Doc() &&
        QGuiApplication::mouseButtons() == Qt::NoButton) {
        Doc()->ElemMgr().ShowRuler(true);
        Repaint();
    }
}

RulerFileData CRulerSettingDlg::FileData() const {
    RulerFileData d;
    d.xPerPixel = m_strXPerPixel;
    d.yPerPixel = m_strYPerPixel;
    d.xReal = m_strXReal;
    d.yReal = m_strYReal;
    d.xStart = m_nXStart;
    d.xEnd = m_nXEnd;
    d.xLength = m_nXLength;
    d.yStart = m_nYStart;
    d.yEnd = m_nYEnd;
    d.yLength = m_nYLength;
    d.unit = SelectedUnit();
    return d;
}

void CRulerSettingDlg::ReportFileError(const char* text, const QString& path,
                                       const QString& error) {
    // On the heap for the same reason as the file dialogs.
    QPointer<QMessageBox> box =
        new QMessageBox(QMessageBox::Warning, windowTitle(),
                        Tr(text).arg(QDir::toNativeSeparators(path)) + QLatin1Char('\n') + error,
                        QMessageBox::Ok, this);
    box->button(QMessageBox::Ok)->setText(Tr("OK"));
    box->exec();
    delete box;
}

bool CRulerSettingDlg::SaveToFile(const QString& path) {
    QString error;
    if (WriteRulerFile(path, FileData(), &error)) return true;
    ReportFileError("The file %1 could not be written.", path, error);
    return false;
}

bool CRulerSettingDlg::LoadFromFile(const QString& path) {
    QString error;
    const std::optional<RulerFileData> data = ReadRulerFile(path, &error);
    if (!data) {
        ReportFileError("The file %1 could not be opened.", path, error);
        return false;
    }
    // The ruler stays where the user laid it: its arms now measure in the loaded calibration
    // (the file's physical lengths over its pixel lengths). Only a ruler without arms to keep
    // takes the file's, with its corner at (100, 100).
    QPoint p0, p1;
    bool keep = false;
    if (CScopeDoc* doc = Doc()) {
        auto lock = doc->ElemMgr().Lock();
        const CGVLShape* ruler = doc->ElemMgr().ElementCount() > 0 ? doc->ElemMgr().GetElement(0) : nullptr;
        if (ruler && ruler->GetType() == GVLType::kRuler && ruler->PointCount() == 2) {
            p0 = *ruler->GetPoint(0);
            p1 = *ruler->GetPoint(1);
            keep = p0.x() - p1.x() > 0 && p1.y() - p0.y() > 0;
        }
    }
    if (keep) {
        auto measured = [](const QString& physical, int fileLength, int armLength) {
            return QString::number(RulerUnitsPerPixel(physical, fileLength) * armLength, 'g', 10);
        };
        m_strXReal = measured(data->xReal, data->xLength, p0.x() - p1.x()).left(kMaxPhysicalLength);
        m_strYReal = measured(data->yReal, data->yLength, p1.y() - p0.y()).left(kMaxPhysicalLength);
    } else {
        m_strXReal = data->xReal.left(kMaxPhysicalLength);
        m_strYReal = data->yReal.left(kMaxPhysicalLength);
        m_strXPerPixel = data->xPerPixel;
        m_strYPerPixel = data->yPerPixel;
        m_nXStart = data->xStart;
        m_nXEnd = data->xEnd;
        m_nXLength = data->xLength;
        m_nYStart = data->yStart;
        m_nYEnd = data->yEnd;
        m_nYLength = data->yLength;
    }
    // A unit the list does not have (a damaged file) leaves the unit as it is.
    if (data->unit >= 0 && data->unit < kGVLUnitCount) m_listUnit->setCurrentIndex(data->unit);
    UpdateUnitLabels();
    ShowValues();
    // The dialog's last state, as if typed: a new document's dialog starts from it.
    theSettings.measureDlg.XUnit = m_strXReal;
    theSettings.measureDlg.YUnit = m_strYReal;
    theSettings.measureDlg.Unit = SelectedUnit();
    if (!keep)
        if (CScopeDoc* doc = Doc())
            doc->ElemMgr().SetRulerPoints(QPoint(m_nXEnd, m_nYStart), QPoint(m_nXStart, m_nYEnd));
    RefreshFromRuler();
    Apply();
    return true;
}

QString CRulerSettingDlg::RulerFolder() {
    const QString folder = g_strDataFolder + QStringLiteral("nrrdata/");
    return QFileInfo(folder).isDir() ? folder : g_strDataFolder;
}

namespace {

// A file dialog for ruler files: default extension "nrr", starting in the ruler folder. Made on
// the heap: should its parent go while it is open (the document closed), it goes with it.
QString AskRulerFile(QWidget* parent, bool save, const QString& folder) {
    QPointer<QFileDialog> dlg =
        new QFileDialog(parent, save ? Tr("Save") : Tr("Load"), folder,
                        Tr("Ruler Data Files") + QStringLiteral(" (*.nrr)"));
    dlg->setObjectName(QStringLiteral("RulerFileDialog"));
    dlg->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dlg->setDefaultSuffix(QStringLiteral("nrr"));
    const bool ok = dlg->exec() == QDialog::Accepted;
    if (!dlg) return {};
    const QStringList files = dlg->selectedFiles();
    delete dlg;
    return ok && !files.isEmpty() ? files.front() : QString();
}

}  // namespace

void CRulerSettingDlg::OnSaveClicked() {
    QPointer<CRulerSettingDlg> self(this);
    const QString path = AskRulerFile(this, true, RulerFolder());
    if (self && !path.isEmpty()) SaveToFile(path);
}

void CRulerSettingDlg::OnLoadClicked() {
    QPointer<CRulerSettingDlg> self(this);
    const QString path = AskRulerFile(this, false, RulerFolder());
    if (self && !path.isEmpty()) LoadFromFile(path);
}

void CRulerSettingDlg::PlaceOnScreen() {
    ensurePolished();
    adjustSize();
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->geometry();
    const QSize outer = frameGeometry().size();
    move(area.right() + 1 - kScreenRightGap - outer.width(), area.top() + kScreenTopGap);
}

// ---- The documents' dialogs ----

CRulerSettingDlg* RulerSettingDialogFor(const CScopeDoc& doc) {
    auto& dialogs = Dialogs();
    const auto it = dialogs.find(&doc);
    if (it == dialogs.end()) return nullptr;
    if (!it->second) {
        dialogs.erase(it);
        return nullptr;
    }
    return it->second.data();
}

void ReleaseRulerSettingDialog(const CScopeDoc& doc) {
    auto& dialogs = Dialogs();
    const auto it = dialogs.find(&doc);
    if (it == dialogs.end()) return;
    delete it->second.data();
    dialogs.erase(it);
}

void ToggleRulerSettingDialog(CScopeDoc& doc, QWidget* parent) {
    CRulerSettingDlg* dlg = RulerSettingDialogFor(doc);
    if (!doc.m_bCalibrationShown) {
        if (dlg) dlg->hide();
        return;
    }
    if (!dlg) {
        // The view owns the dialog, so it goes with the view, before the document.
        CScopeView* view = CScopeView::ForDocument(&doc);
        dlg = new CRulerSettingDlg(&doc, view ? static_cast<QWidget*>(view) : parent);
        Dialogs()[&doc] = dlg;
        const CScopeDoc* key = &doc;
        QObject::connect(dlg, &QObject::destroyed, [key, dlg] {
            auto& dialogs = Dialogs();
            const auto it = dialogs.find(key);
            if (it != dialogs.end() && (!it->second || it->second.data() == dlg)) dialogs.erase(it);
        });
        if (view)
            QObject::connect(view, &CScopeView::rulerChanged, dlg,
                             &CRulerSettingDlg::RefreshFromRuler);
        dlg->RefreshFromRuler();
        dlg->Apply();
        // Placed once it has its final size, which it has only once shown.
        dlg->show();
        dlg->PlaceOnScreen();
    }
    dlg->show();
    dlg->raise();
    dlg->activateWindow();
}

void RulerChangedForDocument(CScopeDoc& doc) {
    if (CRulerSettingDlg* dlg = RulerSettingDialogFor(doc)) dlg->RefreshFromRuler();
}
