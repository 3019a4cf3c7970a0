#include "ui/progress_dlg.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "settings/app_folders.h"
#include "settings/language_table.h"

CProgressDlg::CProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("ProgressDlg"));
    setWindowTitle(QString::fromUtf8(kBrandTitle));
    setModal(true);
    m_text = new QLabel(Translate(QStringLiteral("Please wait...")), this);
    m_text->setWordWrap(true);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setMinimumWidth(m_bar->fontMetrics().averageCharWidth() * 40);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

void CProgressDlg::setRange(int minimum, int maximum) {
    if (minimum > maximum) return;
    m_bar->setRange(minimum, maximum);
}

void CProgressDlg::setValue(int position) {
    if (position < m_bar->minimum() || position > m_bar->maximum()) return;
    m_bar->setValue(position);
}

void CProgressDlg::setText(const QString& text) {
    m_text->setText(text);
}

void CProgressDlg::finish() {
    m_finished = true;
    if (isVisible()) done(QDialog::Accepted);
}

void CProgressDlg::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            e->accept();  // consumed: only the running function ends the dialog
            return;
        default:
            QDialog::keyPressEvent(e);
    }
}

void CProgressDlg::closeEvent(QCloseEvent* e) {
    if (m_finished)
        QDialog::closeEvent(e);
    else
        e->ignore();
}

void CProgressDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (m_finished)
        QMetaObject::invokeMethod(
            this, [this] { done(QDialog::Accepted); }, Qt::QueuedConnection);
}
