#pragma once

#include "app/syncreading.h"
#include "calibration/alignmentreadout.h"
#include "calibration/calibrationindicators.h"
#include "scene/scenealignment.h"

#include <QString>
#include <cstdint>
#include <optional>

// One paired measurement of the calibration tab as the take log keeps it.
struct AlignmentLogEntry
{
    uint32_t timeLabel = 0;
    bool boardLeft = false;
    bool boardRight = false;
    // What the four indicators show, none when they read "UNDEFINED".
    std::optional<CalibrationAverages> indicators;
    // The readout's averages, none when nothing was measured.
    std::optional<AlignmentReading> readout;
    // The latest scene measurement and the time label of its pair (the scene
    // is measured at its own pace), none before the first.
    std::optional<SceneMeasurement> scene;
    uint32_t sceneTimeLabel = 0;
    // The cameras' offset as last measured.
    SyncReading sync;
};

// The take log: one CSV file per recording, one line per paired measurement,
// each line handed to the system as it is written so that a crash loses at
// most the line being written. Numbers use a dot, whatever the locale.
//
// Nothing is lost without a word: a line the disk takes only in part is taken
// back, so the file holds whole lines only; a file removed or replaced while
// recording stops the recording instead of lines going nowhere; a file that
// could not take its header is removed, not left empty. The reasons name the
// system's cause ("the disk is full").
class AlignmentLog
{
public:
    AlignmentLog() = default;
    AlignmentLog(const AlignmentLog&) = delete;
    AlignmentLog& operator=(const AlignmentLog&) = delete;
    ~AlignmentLog() { stop(); }

    // "ds_camera_calibrator_<hhh_mm_ss_ff>_alignment.csv" of a time label.
    static QString fileName(uint32_t timeLabel);
    static QString header();
    static QString line(const AlignmentLogEntry& entry);

    // Starts a recording in directory, named after the time label of its
    // first line. A file of that name is never overwritten: the recording
    // then goes to "..._alignment_2.csv" and so on. False, with errorString,
    // when the file cannot be made or the header not written.
    bool start(const QString& directory, uint32_t timeLabel);
    // Starts a recording in exactly this file (created or emptied).
    bool startFile(const QString& path);
    // Writes and flushes one line. False, with errorString, when it could not
    // be written; the recording is then stopped.
    bool append(const AlignmentLogEntry& entry);
    void stop();

    bool isRecording() const { return m_file >= 0; }
    // The file of the recording, also after it stopped.
    QString filePath() const { return m_path; }
    int lineCount() const { return m_lines; }
    QString errorString() const { return m_error; }

private:
    // Writes the whole text or, taking back what got in, nothing; stops the
    // recording on failure.
    bool writeWhole(const QString& text);
    // Why the open file is no longer the one at m_path; empty while it is.
    QString fileGoneReason() const;
    void fail(const QString& reason);

    int m_file = -1;
    QString m_path;
    QString m_error;
    int m_lines = 0;
};
