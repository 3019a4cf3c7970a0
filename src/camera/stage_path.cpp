#include "camera/stage_path.h"

#include <QList>

#include <cmath>

namespace {
constexpr double kMaxPathMicrons = 1e7;
constexpr size_t kMaxPathPoints = 100000;
}  // namespace

std::optional<std::vector<StagePoint>> ParseStagePath(const QByteArray& text, QString* error) {
    auto fail = [error](int line, const QString& why) -> std::optional<std::vector<StagePoint>> {
        if (error) *error = line > 0 ? QStringLiteral("line %1: %2").arg(line).arg(why) : why;
        return std::nullopt;
    };
    std::vector<StagePoint> path;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (const qsizetype hash = line.indexOf('#'); hash >= 0) line.truncate(hash);
        line.replace(',', ' ');
        line = line.simplified();
        if (line.isEmpty()) continue;
        const QList<QByteArray> parts = line.split(' ');
        const int number = static_cast<int>(i + 1);
        if (parts.size() != 2) return fail(number, QStringLiteral("expected two numbers, X Y in micrometres"));
        bool okX = false, okY = false;
        const double x = parts[0].toDouble(&okX), y = parts[1].toDouble(&okY);
        if (!okX || !okY) return fail(number, QStringLiteral("not a number"));
        if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > kMaxPathMicrons ||
            std::fabs(y) > kMaxPathMicrons)
            return fail(number, QStringLiteral("point beyond the stage's travel"));
        if (path.size() >= kMaxPathPoints) return fail(number, QStringLiteral("more than 100000 points"));
        path.push_back({x, y});
    }
    if (path.empty()) return fail(0, QStringLiteral("the path has no point"));
    return path;
}
