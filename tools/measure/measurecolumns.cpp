#include "measurecolumns.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <optional>

namespace {

Cell number(double value, int decimals)
{
    Cell cell;
    cell.kind = Cell::Kind::Number;
    cell.number = value;
    cell.decimals = decimals;
    return cell;
}

Cell integer(qint64 value)
{
    Cell cell;
    cell.kind = Cell::Kind::Integer;
    cell.number = double(value);
    return cell;
}

Cell flag(bool value)
{
    Cell cell;
    cell.kind = Cell::Kind::Flag;
    cell.number = value ? 1 : 0;
    return cell;
}

Cell text(const QString& value)
{
    Cell cell;
    cell.kind = Cell::Kind::Text;
    cell.text = value;
    return cell;
}

// A reading of the board, empty where the board was not found in both pictures.
template <typename Read> std::function<Cell(const FrameMeasurement&)> board(Read read)
{
    return [read](const FrameMeasurement& m) { return m.board ? read(*m.board) : Cell(); };
}

template <typename Read> std::function<Cell(const FrameMeasurement&)> budget(Read read)
{
    return [read](const FrameMeasurement& m) { return m.budget.valid ? read(m) : Cell(); };
}

// A reading from the scene, empty where the scene gave none or was not measured.
template <typename Read> std::function<Cell(const FrameMeasurement&)> scene(Read read)
{
    return [read](const FrameMeasurement& m) {
        return m.scene && m.scene->reading ? read(*m.scene->reading) : Cell();
    };
}

// Outside the green band the board's indicator has for the same reading.
template <typename Read>
std::function<bool(const FrameMeasurement&)> sceneOutside(Read band, double SceneReading::*value)
{
    return [band, value](const FrameMeasurement& m) {
        if (!m.scene || !m.scene->reading)
            return false;
        const ReadoutBand b = band(readoutBands(FullSizeScale()));
        const double v = (*m.scene->reading).*value;
        return v < b.greenLow || v > b.greenHigh;
    };
}

bool measuredSync(const FrameMeasurement& m)
{
    return m.sync && m.sync->measured();
}

std::vector<Column> makeColumns()
{
    using M = const FrameMeasurement&;
    using B = const BoardReadings&;
    using S = const SceneReading&;
    const auto red = [](IndicatorState s) { return s != IndicatorState::Green; };
    return {
        {"frame", [](M m) { return integer(m.frame); }},
        {"time", [](M m) { return m.seconds < 0 ? Cell() : number(m.seconds, 3); }},
        {"board_found", [](M m) { return flag(m.board.has_value()); }},
        {"board_found_left", [](M m) { return flag(m.boardFoundLeft); }},
        {"board_found_right", [](M m) { return flag(m.boardFoundRight); }},
        // The four indicators of the Camera Calibration tab, one measurement each.
        {"board_zoom", board([](B b) { return number(b.indicators.zoom, 4); })},
        {"board_rotation", board([](B b) { return number(b.indicators.rotation, 3); })},
        {"board_y_offset", board([](B b) { return integer(b.indicators.yOffset); })},
        {"board_x_offset", board([](B b) { return integer(b.indicators.xOffset); })},
        // The readout in units, right camera against the left.
        {"board_vertical_px", board([](B b) { return number(b.readout.verticalPixels, 2); }), "px",
         [red](M m) { return m.board && red(m.board->states.vertical); }},
        {"board_vertical_pct", board([](B b) { return number(b.readout.verticalPercent, 3); })},
        {"board_roll_deg", board([](B b) { return number(b.readout.rollDegrees, 3); }), "deg",
         [red](M m) { return m.board && red(m.board->states.roll); }},
        {"board_size_pct", board([](B b) { return number(b.readout.sizePercent, 3); }), "%",
         [red](M m) { return m.board && red(m.board->states.size); }},
        {"board_horizontal_px", board([](B b) { return number(b.readout.horizontalPixels, 2); }), "px",
         [red](M m) { return m.board && red(m.board->states.horizontal); }},
        {"board_horizontal_pct", board([](B b) { return number(b.readout.horizontalPercent, 3); })},
        // The same from what both cameras see, with what the reading rests on.
        {"scene_vertical_px", scene([](S s) { return number(s.verticalPixels, 2); }), "px",
         sceneOutside([](const ReadoutBands& b) { return b.vertical; }, &SceneReading::verticalPixels)},
        {"scene_roll_deg", scene([](S s) { return number(s.rollDegrees, 3); }), "deg",
         sceneOutside([](const ReadoutBands& b) { return b.roll; }, &SceneReading::rollDegrees)},
        {"scene_size_pct", scene([](S s) { return number(s.sizePercent, 3); }), "%",
         sceneOutside([](const ReadoutBands& b) { return b.size; }, &SceneReading::sizePercent)},
        {"scene_keystone_pan_px", scene([](S s) { return number(s.toeInPixels, 2); }), "px"},
        {"scene_keystone_tilt_px", scene([](S s) { return number(s.tiltPixels, 2); }), "px"},
        {"scene_inliers", [](M m) { return m.scene ? integer(m.scene->evidence.inliers) : Cell(); }},
        {"scene_reason",
         [](M m) { return m.scene ? text(m.scene->reading ? QString() : m.scene->reason) : Cell(); }},
        // The depth budget: parallax in percent of the width, negative in front of the screen.
        {"nearest_pct", budget([](M m) { return number(m.budget.nearestPercent, 3); }), "%"},
        {"farthest_pct", budget([](M m) { return number(m.budget.farthestPercent, 3); }), "%",
         [](M m) { return m.budget.valid && m.screen.diverges; }},
        {"nearest_px", budget([](M m) { return number(m.budget.nearestPixels(), 1); })},
        {"farthest_px", budget([](M m) { return number(m.budget.farthestPixels(), 1); })},
        {"farthest_mm", budget([](M m) { return number(m.screen.farthestMm, 1); })},
        {"diverges", budget([](M m) { return flag(m.screen.diverges); })},
        {"depth_reason",
         [](M m) {
             return text(m.budget.valid             ? QString()
                         : m.depthProblem.isEmpty() ? QStringLiteral("no pixel matched between the views")
                                                    : m.depthProblem);
         }},
        // Right camera late: positive.
        {"sync_offset_frames", [](M m) { return measuredSync(m) ? integer(m.sync->frames) : Cell(); },
         "frames", [](M m) { return measuredSync(m) && m.sync->frames != 0; }},
        {"sync_confidence", [](M m) { return measuredSync(m) ? number(m.sync->confidence, 2) : Cell(); }},
        {"sync_reason",
         [](M m) { return text(m.sync && !m.sync->measured() ? motionOffsetText(*m.sync) : QString()); }},
    };
}

QByteArray formatted(const Cell& cell)
{
    switch (cell.kind) {
    case Cell::Kind::Empty:
        return {};
    case Cell::Kind::Number: {
        const QByteArray text = QByteArray::number(cell.number, 'f', cell.decimals);
        // No "-0.00" for a value that rounds to zero.
        return text.toDouble() == 0.0 ? QByteArray::number(0.0, 'f', cell.decimals) : text;
    }
    case Cell::Kind::Integer:
    case Cell::Kind::Flag:
        return QByteArray::number(qint64(cell.number));
    case Cell::Kind::Text:
        break;
    }
    return cell.text.toUtf8();
}

QByteArray csvField(const Cell& cell)
{
    QByteArray field = formatted(cell);
    if (field.contains(',') || field.contains('"') || field.contains('\n')) {
        field.replace("\"", "\"\"");
        field = '"' + field + '"';
    }
    return field;
}

QByteArray jsonValue(const Cell& cell)
{
    switch (cell.kind) {
    case Cell::Kind::Empty:
        return "null";
    case Cell::Kind::Flag:
        return cell.number != 0 ? "true" : "false";
    case Cell::Kind::Text:
        if (cell.text.isEmpty())
            return "null";
        // An array of one string: Qt's own escaping, without the brackets.
        return QJsonDocument(QJsonArray{cell.text}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    default:
        return formatted(cell);
    }
}

} // namespace

const std::vector<Column>& measureColumns()
{
    static const std::vector<Column> columns = makeColumns();
    return columns;
}

QByteArray csvHeader()
{
    QByteArray line;
    for (const Column& column : measureColumns())
        line += (line.isEmpty() ? "" : ",") + QByteArray(column.name);
    return line + '\n';
}

QByteArray csvLine(const FrameMeasurement& measurement)
{
    QByteArray line;
    bool first = true;
    for (const Column& column : measureColumns()) {
        if (!first)
            line += ',';
        first = false;
        line += csvField(column.value(measurement));
    }
    return line + '\n';
}

QByteArray jsonLine(const FrameMeasurement& measurement)
{
    QByteArray line = "{";
    for (const Column& column : measureColumns()) {
        if (line.size() > 1)
            line += ',';
        line += '"' + QByteArray(column.name) + "\":" + jsonValue(column.value(measurement));
    }
    return line + "}\n";
}
