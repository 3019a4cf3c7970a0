#include "ui/image_picker_dlg.h"

#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "document/image_mix.h"
#include "image/image_draw.h"
#include "settings/app_folders.h"
#include "settings/language_table.h"

namespace {

QString Tr(const char* text) {
    return Translate(QString::fromUtf8(text));
}

QString& LastPathStore() {
    static QString path;
    return path;
}

QString WithNumber(const char* text, qint64 n) {
    return Tr(text).replace(QStringLiteral("%d"), QString::number(n));
}

}  // namespace

// ---- Preview panel ----

CImagePreviewPanel::CImagePreviewPanel(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QSize CImagePreviewPanel::sizeHint() const {
    return {240, heightForWidth(240)};
}

// Camera pictures are mostly 4:3: a panel of that shape wastes the least room.
int CImagePreviewPanel::heightForWidth(int width) const {
    return width * 3 / 4;
}

void CImagePreviewPanel::SetPicture(FCObjImage&& picture) {
    m_picture.Swap(picture);
    update();
}

void CImagePreviewPanel::paintEvent(QPaintEvent* e) {
    QFrame::paintEvent(e);
    QPainter p(this);
    const QRect rc = contentsRect();
    FCBufferedPainter buffered(&p, rc);
    buffered.painter()->fillRect(rc, Qt::white);
    DrawFitted(m_picture, buffered.painter(), rc);
    buffered.Flush();
}

// ---- Dialog ----

CImagePickerDlg::CImagePickerDlg(QWidget* parent) : QFileDialog(parent) {
    setObjectName(QStringLiteral("ImagePickerDlg"));
    // Our own widgets, so the preview panel can sit beside the file list.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setOption(QFileDialog::HideNameFilterDetails, true);
    setWindowTitle(Tr("Select Image"));
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    setNameFilters(NameFilters());
    selectNameFilter(NameFilters().front());
    setLabelText(QFileDialog::LookIn, Tr("Look in:"));
    setLabelText(QFileDialog::FileName, Tr("File name:"));
    setLabelText(QFileDialog::FileType, Tr("Files of type:"));
    setLabelText(QFileDialog::Accept, Tr("Open"));
    setLabelText(QFileDialog::Reject, Tr("Cancel"));

    m_panel = new CImagePreviewPanel(this);
    auto valueLabel = [this] {
        auto* label = new QLabel(this);
        label->setMinimumWidth(
            label->fontMetrics().horizontalAdvance(QStringLiteral("0000000 Byte")));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    };
    m_width = valueLabel();
    m_height = valueLabel();
    m_color = valueLabel();
    m_size = valueLabel();
    auto* values = new QFormLayout;
    values->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    values->addRow(Tr("Width :"), m_width);
    values->addRow(Tr("Height :"), m_height);
    values->addRow(Tr("Color :"), m_color);
    values->addRow(Tr("Size :"), m_size);
    auto* side = new QWidget(this);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->addWidget(m_panel);
    sideLayout->addLayout(values);
    sideLayout->addStretch(1);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(side, 0, grid->columnCount(), grid->rowCount(), 1);
    else
        layout()->addWidget(side);

    const QString last = LastPath();
    if (!last.isEmpty() && QFileInfo::exists(QFileInfo(last).absolutePath())) {
        setDirectory(QFileInfo(last).absolutePath());
        selectFile(QFileInfo(last).fileName());
    } else if (!g_strImageFolder.isEmpty() && QDir(g_strImageFolder).exists()) {
        setDirectory(g_strImageFolder);
    }
    connect(this, &QFileDialog::currentChanged, this,
            [this](const QString& path) { ShowPreviewFor(path); });
}

QStringList CImagePickerDlg::NameFilters() {
    // Linux names are case-sensitive; cameras often write upper-case extensions.
    auto patterns = [](std::initializer_list<const char*> extensions) {
        QStringList lower, upper;
        for (const char* e : extensions) {
            lower << QStringLiteral("*.") + QLatin1String(e);
            upper << QStringLiteral("*.") + QString::fromLatin1(e).toUpper();
        }
        return QStringLiteral("(") + (lower + upper).join(u' ') + QStringLiteral(")");
    };
    // First, and chosen: everything the program reads, so what it saved can be opened again.
    return {Tr("All pictures") + u' ' +
                patterns({"bmp", "jpg", "jpeg", "png", "tif", "tiff", "gif", "tga", "ico"}),
            Tr("Image File") + QStringLiteral(" (*.bmp, *.jpg) ") + patterns({"bmp", "jpg", "jpeg"})};
}

QString CImagePickerDlg::SizeText(qint64 bytes) {
    return bytes >= 1024 ? WithNumber("%d Kb", bytes / 1024) : WithNumber("%d Byte", bytes);
}

QString CImagePickerDlg::LastPath() {
    return LastPathStore();
}
void CImagePickerDlg::SetLastPath(const QString& path) {
    LastPathStore() = path;
}

bool CImagePickerDlg::ShowPreviewFor(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile()) return false;
    FCObjImage picture;
    if (!picture.LoadFromFile(path.toStdString())) return false;
    const int width = picture.Width(), height = picture.Height(), bits = picture.ColorBits();
    // The panel is small: keep a smooth reduction rather than the whole picture.
    const int longer = std::max(width, height);
    if (longer > kPreviewSide) {
        const double k = static_cast<double>(kPreviewSide) / longer;
        FCObjImage reduced;
        if (ResampleSmooth(picture, std::max(1, static_cast<int>(std::lround(width * k))),
                           std::max(1, static_cast<int>(std::lround(height * k))), reduced))
            picture.Swap(reduced);
    }
    m_panel->SetPicture(std::move(picture));
    m_width->setText(QString::number(width));
    m_height->setText(QString::number(height));
    m_color->setText(WithNumber("%d Bits", bits));
    m_size->setText(SizeText(info.size()));
    return true;
}

std::optional<QString> RunImagePicker(QWidget* parent) {
    CImagePickerDlg dlg(parent);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dlg.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
    CImagePickerDlg::SetLastPath(files.first());
    return files.first();
}
