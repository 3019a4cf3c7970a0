#pragma once
// The image picker of File Open: a file dialog titled "Select Image" with a panel beside the
// file list that previews the selected picture and shows its width, height, depth and file
// size. The last chosen file is remembered while the program runs.

#include <QFileDialog>
#include <QFrame>
#include <optional>

#include "image/obj_image.h"

class QLabel;

// File Open: the chosen file, or nothing when the user cancelled. The caller opens it.
std::optional<QString> RunImagePicker(QWidget* parent);

// The picture drawn fitted on white.
class CImagePreviewPanel : public QFrame {
    Q_OBJECT
public:
    explicit CImagePreviewPanel(QWidget* parent = nullptr);
    void SetPicture(FCObjImage&& picture);
    const FCObjImage& Picture() const { return m_picture; }
    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    FCObjImage m_picture;
};

class CImagePickerDlg : public QFileDialog {
    Q_OBJECT
public:
    // Longest side kept for the preview; larger pictures are reduced once when selected.
    static constexpr int kPreviewSide = 512;

    explicit CImagePickerDlg(QWidget* parent = nullptr);

    // "All pictures" (every format the program reads, the default), then "Image File (*.bmp,
    // *.jpg)" for BMP and JPEG files; extensions in either letter case.
    static QStringList NameFilters();
    // "N Kb" from 1024 bytes on (whole kilobytes), else "N Byte".
    static QString SizeText(qint64 bytes);
    // The file chosen last in this run (empty before the first).
    static QString LastPath();
    static void SetLastPath(const QString& path);

    // Reads the file into the preview and fills the values; false, leaving both as they were,
    // when it cannot be read as a picture.
    bool ShowPreviewFor(const QString& path);

    CImagePreviewPanel* PreviewPanel() const { return m_panel; }
    QLabel* WidthValue() const { return m_width; }
    QLabel* HeightValue() const { return m_height; }
    QLabel* ColorValue() const { return m_color; }
    QLabel* SizeValue() const { return m_size; }

private:
    CImagePreviewPanel* m_panel = nullptr;
    QLabel* m_width = nullptr;
    QLabel* m_height = nullptr;
    QLabel* m_color = nullptr;
    QLabel* m_size = nullptr;
};
