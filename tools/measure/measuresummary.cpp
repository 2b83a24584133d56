#include "measuresummary.h"

#include "measurecolumns.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

bool summarised(const Column& column)
{
    return column.unit != nullptr;
}

QString when(qint64 frame, double seconds)
{
    return seconds < 0 ? QStringLiteral("frame %1").arg(frame)
                       : QStringLiteral("%1 s (frame %2)").arg(seconds, 0, 'f', 3).arg(frame);
}

} // namespace

double percentile(std::vector<double>& values, double percent)
{
    if (values.empty())
        return std::numeric_limits<double>::quiet_NaN();
    std::sort(values.begin(), values.end());
    const double rank = std::clamp(percent, 0.0, 100.0) * 0.01 * double(values.size() - 1);
    const size_t below = size_t(std::floor(rank));
    const size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (rank - double(below)) * (values[above] - values[below]);
}

MeasureSummary::MeasureSummary()
{
    for (const Column& column : measureColumns())
        if (summarised(column))
            readings.emplace_back();
}

void MeasureSummary::add(const FrameMeasurement& measurement)
{
    ++measuredFrames;
    bool anyOutside = false;
    size_t r = 0;
    for (const Column& column : measureColumns()) {
        if (!summarised(column))
            continue;
        Reading& reading = readings[r++];
        const Cell cell = column.value(measurement);
        if (cell.kind != Cell::Kind::Number && cell.kind != Cell::Kind::Integer)
            continue;
        reading.values.push_back(cell.number);
        const bool outside = column.outside && column.outside(measurement);
        reading.outside += outside ? 1 : 0;
        anyOutside = anyOutside || outside;
        // The worst frame: the largest reading among those outside tolerance,
        // or overall while none is.
        const double magnitude = std::abs(cell.number) + (outside ? 1e12 : 0.0);
        if (magnitude > reading.worst.magnitude)
            reading.worst = {magnitude, measurement.frame, measurement.seconds, cell.number};
    }
    outsideFrames += anyOutside ? 1 : 0;
}

QString MeasureSummary::text(bool interrupted) const
{
    QString out = QStringLiteral("%1 %2 measured%3.\n")
                      .arg(measuredFrames)
                      .arg(measuredFrames == 1 ? QStringLiteral("frame") : QStringLiteral("frames"))
                      .arg(interrupted ? QStringLiteral(", interrupted before the end") : QString());
    out += QStringLiteral("%1 %2 %3 %4 %5 %6 %7  %8\n")
               .arg(QStringLiteral("reading"), -22)
               .arg(QStringLiteral("unit"), -6)
               .arg(QStringLiteral("frames"), 7)
               .arg(QStringLiteral("median"), 9)
               .arg(QStringLiteral("5%"), 9)
               .arg(QStringLiteral("95%"), 9)
               .arg(QStringLiteral("outside"), 8)
               .arg(QStringLiteral("largest at"));
    size_t r = 0;
    for (const Column& column : measureColumns()) {
        if (!summarised(column))
            continue;
        const Reading& reading = readings[r++];
        std::vector<double> values = reading.values;
        QString line = QStringLiteral("%1 %2 %3 ")
                           .arg(QLatin1String(column.name), -22)
                           .arg(QLatin1String(column.unit), -6)
                           .arg(values.size(), 7);
        if (values.empty()) {
            out += line + QStringLiteral("not measured\n");
            continue;
        }
        const double median = percentile(values, 50), low = percentile(values, 5),
                     high = percentile(values, 95);
        line += QStringLiteral("%1 %2 %3 %4  %5: %6\n")
                    .arg(median, 9, 'f', 3)
                    .arg(low, 9, 'f', 3)
                    .arg(high, 9, 'f', 3)
                    .arg(column.outside ? QString::number(reading.outside) : QStringLiteral("-"), 8)
                    .arg(when(reading.worst.frame, reading.worst.seconds))
                    .arg(reading.worst.value, 0, 'f', 3);
        out += line;
    }
    if (outsideFrames == 0)
        out += QStringLiteral("Every measured frame is within tolerance.\n");
    else
        out += QStringLiteral("%1 of %2 frames outside tolerance (\"outside\" above): see those frames.\n")
                   .arg(outsideFrames)
                   .arg(measuredFrames);
    return out;
}
