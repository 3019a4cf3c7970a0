#pragma once
// The two check-box groups both save dialogs show: "Save with" (title, date) and
// "Save with(Still measurement)" (measurements, ruler).

class QCheckBox;
class QGroupBox;
class QWidget;

struct SaveWithGroups {
    QGroupBox* with = nullptr;
    QGroupBox* still = nullptr;
    QCheckBox* title = nullptr;
    QCheckBox* time = nullptr;
    QCheckBox* measure = nullptr;
    QCheckBox* ruler = nullptr;
};

SaveWithGroups MakeSaveWithGroups(QWidget* parent, bool title, bool time, bool measure, bool ruler);
