#include "ui/save_with_groups.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QVBoxLayout>

#include "settings/language_table.h"

namespace {

QGroupBox* Group(QWidget* parent, const char* caption, const char* first, const char* second, bool firstOn,
                 bool secondOn, QCheckBox** firstBox, QCheckBox** secondBox) {
    auto* group = new QGroupBox(Translate(QString::fromUtf8(caption)), parent);
    *firstBox = new QCheckBox(Translate(QString::fromUtf8(first)), group);
    *secondBox = new QCheckBox(Translate(QString::fromUtf8(second)), group);
    (*firstBox)->setChecked(firstOn);
    (*secondBox)->setChecked(secondOn);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(*firstBox);
    layout->addWidget(*secondBox);
    layout->addStretch(1);
    return group;
}

}  // namespace

SaveWithGroups MakeSaveWithGroups(QWidget* parent, bool title, bool time, bool measure, bool ruler) {
    SaveWithGroups g;
    g.with = Group(parent, "Save with", "Title", "Data/Time", title, time, &g.title, &g.time);
    g.still = Group(parent, "Save with(Still measurement)", "Measure", "Ruler", measure, ruler, &g.measure,
                    &g.ruler);
    return g;
}
