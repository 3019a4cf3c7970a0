#include "ui/about_dlg.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/language_table.h"
#include "ui/main_frame.h"

QString CAboutDlg::NoticeText() {
    return QStringLiteral("Copyright (C) ") + g_strBrandKey + u' ' +
           Translate(QStringLiteral("Year-Year"));
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutDlg"));
    setWindowTitle(Translate(QStringLiteral("About")));
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/icons/norvanescope.svg")).pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);
    m_version = new QLabel(Translate(QStringLiteral("Version")), this);
    m_notice = new QLabel(NoticeText(), this);
    m_warning = new QLabel(Translate(QStringLiteral("WARNING:")), this);
    m_warning->setWordWrap(true);
    m_warning->setFixedWidth(360);
    m_ok = new QPushButton(Translate(QStringLiteral("OK")), this);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(m_version);
    texts->addWidget(m_notice);
    texts->addSpacing(8);
    texts->addWidget(m_warning);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
