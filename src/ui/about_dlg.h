#pragma once
// CAboutDlg: the program's icon, version, notice and warning. Every text comes through the
// language table, so a language file supplies the real version, years and warning paragraph.

#include <QDialog>

class QLabel;
class QPushButton;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // "Copyright (C) <brand key> <years>".
    static QString NoticeText();

    QLabel* VersionLabel() const { return m_version; }
    QLabel* NoticeLabel() const { return m_notice; }
    QLabel* WarningLabel() const { return m_warning; }
    QPushButton* OkButton() const { return m_ok; }

private:
    QLabel* m_version = nullptr;
    QLabel* m_notice = nullptr;
    QLabel* m_warning = nullptr;
    QPushButton* m_ok = nullptr;
};
