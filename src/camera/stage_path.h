#pragma once
// Stage points and the path file that lists them, for scripted stage moves.

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

struct StagePoint {
    double x = 0;  // micrometres
    double y = 0;
    bool operator==(const StagePoint&) const = default;
};

// A path file: one "X Y" point in micrometres per line (blanks, tabs or one comma between the
// two numbers), '#' starts a comment, blank lines are skipped. Nothing, with the line number and
// the reason in *error, for anything else, for a point beyond +-1e7 um or more than 100000
// points; an empty path is an error too.
std::optional<std::vector<StagePoint>> ParseStagePath(const QByteArray& text, QString* error = nullptr);
