#include "ui/resolution_dlg.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "document/scope_doc.h"
#include "settings/language_table.h"

CResolutionDlg::CResolutionDlg(CScopeDoc& doc, QWidget* parent) : QDialog(parent), m_doc(doc) {
    setObjectName(QStringLiteral("ResolutionDlg"));
    setWindowTitle(Translate(QStringLiteral("Resolution")));

    auto* group = new QGroupBox(Translate(QStringLiteral("Set Resolution")), this);
    m_r1280 = new QRadioButton(Translate(QStringLiteral("1280*1024")), group);
    m_r2048 = new QRadioButton(Translate(QStringLiteral("2048*1536")), group);
    auto* buttons = new QButtonGroup(this);
    buttons->addButton(m_r1280, 1);
    buttons->addButton(m_r2048, 3);
    if (QAbstractButton* current = buttons->button(doc.m_nSaveResolution))
        current->setChecked(true);
    connect(buttons, &QButtonGroup::idClicked, this,
            [this](int id) { m_doc.m_nSaveResolution = id; });

    // Room for the caption in the title bar, which the layout does not see.
    group->setMinimumWidth(group->fontMetrics().averageCharWidth() * 30);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_r1280);
    groupLayout->addWidget(m_r2048);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    m_ok = box->button(QDialogButtonBox::Ok);
    m_ok->setText(Translate(QStringLiteral("OK")));
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(box);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void RunResolutionDialog(CScopeDoc& doc, QWidget* parent) {
    CResolutionDlg dlg(doc, parent);
    dlg.exec();
}
