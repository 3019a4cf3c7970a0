#pragma once
// The image-list dialog shared by stitching, HDR and EDF (CStitchingDlg, CHDRDlg, CEDFDlg): two
// lists, the candidates ("Unselected image:") and the pictures to process in order ("Selected
// image:"), with "Loading...", "Add>>", "Add All>>", "Delete" and "Clean". The rows, the key
// sets, the button rules and the OK steps are CImageListModel's; this class shows them.

#include <QDialog>
#include <QStringList>
#include <functional>

#include "advanced/jobs/image_list.h"

class QListWidget;
class QPushButton;

class CImageListDlg : public QDialog {
    Q_OBJECT
public:
    // The pictures chosen by "Loading..." (the file dialog; tests and scripts replace it).
    using FileChooser = std::function<QStringList(QWidget* parent)>;

    CImageListDlg(const QString& title, QWidget* parent = nullptr);

    CImageListModel& Model() { return m_model; }
    QListWidget* LeftList() const { return m_left; }
    QListWidget* RightList() const { return m_right; }
    QPushButton* LoadingButton() const { return m_loading; }
    QPushButton* AddButton() const { return m_add; }
    QPushButton* AddAllButton() const { return m_addAll; }
    QPushButton* DeleteButton() const { return m_delete; }
    QPushButton* CleanButton() const { return m_clean; }
    QPushButton* OkButton() const { return m_ok; }
    void SetFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }

    // The file dialog of "Loading...": many files, bitmaps and JPEG pictures (and every other
    // kind the program reads).
    static QStringList ChooseFiles(QWidget* parent);

    void accept() override;

protected:
    // The OK step of the dialog's function, before the dialog closes.
    virtual void AcceptStep() = 0;

private:
    void Load();
    void AddSelected();
    void AddAll();
    void DeleteSelected();
    void Clean();
    // The lists after the model changed, then the buttons.
    void Refresh();
    void RefreshButtons();

    CImageListModel m_model;
    FileChooser m_chooser = &CImageListDlg::ChooseFiles;
    QListWidget* m_left = nullptr;
    QListWidget* m_right = nullptr;
    QPushButton* m_loading = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_addAll = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_clean = nullptr;
    QPushButton* m_ok = nullptr;
};

// "Stitching": file rows hand their paths, open pictures their pixels.
class CStitchingDlg : public CImageListDlg {
    Q_OBJECT
public:
    explicit CStitchingDlg(QWidget* parent = nullptr);

protected:
    void AcceptStep() override { Model().AcceptPaths(); }
};

// "HDR": as stitching.
class CHDRDlg : public CImageListDlg {
    Q_OBJECT
public:
    explicit CHDRDlg(QWidget* parent = nullptr);

protected:
    void AcceptStep() override { Model().AcceptPaths(); }
};

// "EDF": every row is written as a temporary BMP file for enfuse.
class CEDFDlg : public CImageListDlg {
    Q_OBJECT
public:
    explicit CEDFDlg(QWidget* parent = nullptr);

protected:
    void AcceptStep() override;
};
