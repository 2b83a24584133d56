#include "app/alignmentlog.h"

#include "app/filewrite.h"
#include "pipeline/videoframe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using FileStatus = struct stat;

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

// Quoted: a reason is a sentence with commas.
QString quoted(QString text)
{
    return QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
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
    // Each number's column names its unit. The board indicators keep their
    // place and their values (1 - the mean area ratio, the angle difference,
    // sums of corner offsets), so files read by position read as before; the
    // scene's columns come after the board's, and the cameras' offset after
    // the scene's, for the same reason.
    return QStringLiteral("time_label,board_left,board_right,"
                          "zoom_1_minus_area_ratio,zoom_state,rotation_diff_deg,rotation_state,"
                          "y_offset_corner_sum_px,y_offset_state,x_offset_corner_sum_px,x_offset_state,"
                          "vertical_px,vertical_pct_of_height,roll_deg,size_diff_pct,horizontal_px,"
                          "horizontal_pct_of_width,"
                          "scene_time_label,scene_matches,scene_inliers,scene_cells,scene_residual_px,"
                          "scene_vertical_px,scene_vertical_pct_of_height,scene_roll_deg,scene_size_diff_pct,"
                          "scene_toe_in_px,scene_tilt_px,scene_reason,"
                          "sync_offset_frames,sync_confidence,sync_source,sync_reason\n");
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
        fields << quoted(entry.scene->reason);
    } else {
        for (int i = 0; i < 12; ++i)
            fields << QString();
    }
    // Right camera late: positive; the reason only where there is no figure.
    const SyncReading& sync = entry.sync;
    fields << (sync.frames ? QString::number(*sync.frames) : QString())
           << (sync.frames ? QString::number(sync.confidence, 'f', 2) : QString())
           << syncSourceName(sync.source)
           << (sync.frames || sync.text.isEmpty() ? QString() : quoted(sync.text));
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
    m_file = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_file < 0) {
        m_error = writeErrorText(errno);
        return false;
    }
    if (writeWhole(header()))
        return true;
    // A file without its header is no take log: none is left behind (only an
    // empty file of ours, never a device or what another program wrote).
    const QByteArray name = QFile::encodeName(path);
    FileStatus left{};
    if (::stat(name.constData(), &left) == 0 && S_ISREG(left.st_mode) && left.st_size == 0)
        ::unlink(name.constData());
    return false;
}

bool AlignmentLog::append(const AlignmentLogEntry& entry)
{
    if (m_file < 0) {
        m_error = QStringLiteral("no recording is running");
        return false;
    }
    const QString gone = fileGoneReason();
    if (!gone.isEmpty()) {
        fail(gone);
        return false;
    }
    if (!writeWhole(line(entry)))
        return false;
    ++m_lines;
    return true;
}

void AlignmentLog::stop()
{
    if (m_file >= 0)
        ::close(m_file);
    m_file = -1;
}

void AlignmentLog::fail(const QString& reason)
{
    m_error = reason;
    stop();
}

QString AlignmentLog::fileGoneReason() const
{
    FileStatus opened{};
    FileStatus named{};
    if (::fstat(m_file, &opened) != 0)
        return writeErrorText(errno);
    if (::stat(QFile::encodeName(m_path).constData(), &named) != 0)
        return errno == ENOENT || errno == ENOTDIR
                   ? QStringLiteral("the file or its folder was removed while recording; the lines written "
                                    "to it are gone")
                   : writeErrorText(errno);
    if (opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)
        return QStringLiteral("the file was replaced by another while recording; the lines written to it "
                              "are gone");
    return QString();
}

bool AlignmentLog::writeWhole(const QString& text)
{
    const off_t before = ::lseek(m_file, 0, SEEK_END);
    const QByteArray bytes = text.toUtf8();
    if (before >= 0 && writeAllBytes(m_file, bytes))
        return true;
    const int code = errno;
    // Whatever part of the line got in is taken back: the file holds whole lines.
    const bool cut = before < 0 || ::ftruncate(m_file, before) != 0;
    fail(writeErrorText(code) +
         (cut ? QStringLiteral("; the last line in the file is cut short") : QString()));
    return false;
}
