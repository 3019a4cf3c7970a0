#pragma once
// CSaveAsDlg: saves a document's picture under a chosen name, folder and type, with the chosen
// overlay parts burned in and, for JPEG files, the description as summary information. Opens
// with the SaveAs group's last choices and stores them again on OK.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class CScopeDoc;

class CSaveAsDlg : public QDialog {
    Q_OBJECT
public:
    enum ImageType { kBmp, kJpg, kPng, kPcx, kTif, kTga, kTypeCount };

    explicit CSaveAsDlg(CScopeDoc& doc, QWidget* parent = nullptr);

    // The name offered for a document title: "cells.bmp" gives "cells", "HDR" stays "HDR".
    static QString DefaultFileName(const QString& title);
    // ".bmp", ".jpg", ... for the checked type; ".bmp" when none is checked.
    QString Extension() const;
    // Folder, separator, file name and extension.
    QString TargetPath() const;
    // The file was written by the last OK.
    bool Saved() const { return m_bSaved; }

    // OK: checks the folder and name, stores the choices, asks before replacing a file, saves
    // and closes (also when the user keeps the existing file).
    void accept() override;
    // The "..." button: the folder browser.
    void Browse();

    QLineEdit* FileNameEdit() const { return m_name; }
    QLineEdit* FolderEdit() const { return m_folder; }
    QToolButton* BrowseButton() const { return m_browse; }
    QRadioButton* TypeRadio(int type) const { return m_types[type]; }
    QCheckBox* TitleCheck() const { return m_withTitle; }
    QCheckBox* TimeCheck() const { return m_withTime; }
    QCheckBox* MeasureCheck() const { return m_withMeasure; }
    QCheckBox* RulerCheck() const { return m_withRuler; }
    QLineEdit* TitleEdit() const { return m_title; }
    QLineEdit* AuthorEdit() const { return m_author; }
    QLineEdit* SubjectEdit() const { return m_subject; }
    QPlainTextEdit* CommentEdit() const { return m_comment; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    CScopeDoc& m_doc;
    bool m_bSaved = false;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_folder = nullptr;
    QToolButton* m_browse = nullptr;
    QRadioButton* m_types[kTypeCount] = {};
    QCheckBox* m_withTitle = nullptr;
    QCheckBox* m_withTime = nullptr;
    QCheckBox* m_withMeasure = nullptr;
    QCheckBox* m_withRuler = nullptr;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_author = nullptr;
    QLineEdit* m_subject = nullptr;
    QPlainTextEdit* m_comment = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

// What the saving and processing dialogs tell and ask: through the application's prompt when
// one is set, else in message boxes over parent. Caption and text come translated already.
void DialogMessage(QWidget* parent, const QString& caption, const QString& text);
bool DialogAskYesNo(QWidget* parent, const QString& caption, const QString& text);

// Commands 57604, 32859 and 32860. True when the picture was written.
bool RunSaveAsDialog(CScopeDoc& doc, QWidget* parent);
