#include "app/alignmentlog.h"

#include "pipeline/videoframe.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

} // namespace

QString AlignmentLog::fileName(uint32_t timeLabel)
{
    QString name = QStringLiteral("ds_camera_calibrator_") + formatTimeWord(timeLabel) +
                   QStringLiteral("_alignment.csv");
    return name.replace(QLatin1Char(':'), QLatin1Char('_'));
}

QString AlignmentLog::header()
{
    return QStringLiteral(
        "time_label,board_left,board_right,"
        "zoom,zoom_state,rotation,rotation_state,y_offset,y_offset_state,x_offset,x_offset_state,"
        "vertical_px,vertical_pct_of_height,roll_deg,size_diff_pct,horizontal_px,"
        "horizontal_pct_of_width,"
        // Appended after the board's, so that readers of older files find theirs where they were.
        "scene_time_label,scene_matches,scene_inliers,scene_cells,scene_residual_px,scene_vertical_px,"
        "scene_vertical_pct_of_height,scene_roll_deg,scene_size_diff_pct,scene_toe_in_px,scene_tilt_px,"
        "scene_reason\n");
}

QString AlignmentLog::line(const AlignmentLogEntry& entry)
{
    QStringList fields{formatTimeWord(entry.timeLabel), yesNo(entry.boardLeft), yesNo(entry.boardRight)};
    if (entry.indicators) {
        const CalibrationAverages& a = *entry.indicators;
        fields << number(a.zoom) << stateName(indicatorState(a.zoom, kZoomLimits)) << number(a.rotation)
               << stateName(indicatorState(a.rotation, kRotationLimits)) << QString::number(a.yOffset)
               << stateName(indicatorState(a.yOffset, kYOffsetLimits)) << QString::number(a.xOffset)
               << stateName(indicatorState(a.xOffset, kXOffsetLimits));
    } else {
        // As the indicators read: no values, "UNDEFINED" states.
        for (int i = 0; i < 4; ++i)
            fields << QString() << QStringLiteral("undefined");
    }
    if (entry.readout) {
        const AlignmentReading& r = *entry.readout;
        fields << number(r.verticalPixels) << number(r.verticalPercent) << number(r.rollDegrees)
               << number(r.sizePercent) << number(r.horizontalPixels) << number(r.horizontalPercent);
    } else {
        for (int i = 0; i < 6; ++i)
            fields << QString();
    }
    if (entry.scene) {
        const SceneEvidence& e = entry.scene->evidence;
        fields << formatTimeWord(entry.sceneTimeLabel) << QString::number(e.matches)
               << QString::number(e.inliers) << QString::number(e.coveredCells) << number(e.residualPixels);
        if (entry.scene->reading) {
            const SceneReading& r = *entry.scene->reading;
            fields << number(r.verticalPixels) << number(r.verticalPercent) << number(r.rollDegrees)
                   << number(r.sizePercent) << number(r.toeInPixels) << number(r.tiltPixels);
        } else {
            for (int i = 0; i < 6; ++i)
                fields << QString();
        }
        // Quoted: the reason is a sentence with commas.
        QString reason = entry.scene->reason;
        fields << QLatin1Char('"') + reason.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                      QLatin1Char('"');
    } else {
        for (int i = 0; i < 12; ++i)
            fields << QString();
    }
    return fields.join(QLatin1Char(',')) + QLatin1Char('\n');
}

bool AlignmentLog::start(const QString& directory, uint32_t timeLabel)
{
    stop();
    m_error.clear();
    const QDir dir(directory);
    if (directory.isEmpty() || !dir.exists()) {
        m_path.clear();
        m_error = directory.isEmpty()
                      ? QStringLiteral("no output directory is set")
                      : QStringLiteral("the output directory %1 does not exist").arg(directory);
        return false;
    }
    const QString base = fileName(timeLabel);
    QString path = dir.filePath(base);
    for (int n = 2; QFileInfo::exists(path); ++n) {
        QString numbered = base;
        numbered.insert(numbered.size() - 4, QStringLiteral("_%1").arg(n));
        path = dir.filePath(numbered);
    }
    return startFile(path);
}

bool AlignmentLog::startFile(const QString& path)
{
    stop();
    m_error.clear();
    m_path = path;
    m_lines = 0;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        m_error = m_file.errorString();
        return false;
    }
    return writeFlushed(header());
}

bool AlignmentLog::append(const AlignmentLogEntry& entry)
{
    if (!m_file.isOpen()) {
        m_error = QStringLiteral("no recording is running");
        return false;
    }
    if (!writeFlushed(line(entry)))
        return false;
    ++m_lines;
    return true;
}

void AlignmentLog::stop()
{
    if (m_file.isOpen())
        m_file.close();
}

bool AlignmentLog::writeFlushed(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    if (m_file.write(bytes) != bytes.size() || !m_file.flush()) {
        m_error = m_file.errorString();
        // What could not be written is gone; a half line must not be followed
        // by more lines, so the recording ends here.
        m_file.close();
        return false;
    }
    return true;
}
