#pragma once

// The footage duoscope-measure reads: two pictures, two video files (left
// and right), or one picture or video file that carries both views side by
// side or under/over. Pictures are read with OpenCV's image readers, videos
// with its video readers (FFmpeg and GStreamer on Debian), so whatever those
// read on this machine can be measured.

#include "preprocessing/imgpreprocessingthread.h"

#include <QString>
#include <memory>
#include <opencv2/core.hpp>

struct FootageSettings
{
    QString leftPath;
    QString rightPath; // empty: leftPath carries both views, as `layout` says
    // InputSideBySide or InputUnderOver for one file, InputDouble for two,
    // with the turn, flip and full-size halves options of the window.
    PreprocessingSettings layout;
    double startSeconds = 0;
};

// One instant of the footage: both cameras' pictures, ready to measure.
struct FootagePair
{
    qint64 frame = 0;    // counted from the file's first frame
    double seconds = -1; // from the file's start; negative for pictures
    cv::Mat left;
    cv::Mat right;
};

class Footage
{
public:
    Footage();
    ~Footage();

    // Opens the files and skips to the start. False with a message that names
    // the file and the reason: missing, not readable as a picture or video,
    // two files of different kinds, sizes or frame rates, shorter than the
    // start.
    bool open(const FootageSettings& settings, QString* error);

    bool isVideo() const;
    bool hasTwoFiles() const;
    double framesPerSecond() const; // 0 for pictures
    // Frames from the start to the end of the shorter file; 0 when the
    // readers cannot tell.
    qint64 framesLeft() const;

    // The next instant. With `pictures` false the frame is decoded and
    // counted but its pictures are left empty, which is much cheaper. False
    // at the end of the (shorter) file.
    bool next(FootagePair& pair, bool pictures = true);

private:
    struct Source;
    std::unique_ptr<Source> left;
    std::unique_ptr<Source> right;
    PreprocessingSettings layout;
    qint64 frame = 0;
    qint64 total = 0;
    bool stillUnread = false; // pictures: the one pair not yet given out
};
