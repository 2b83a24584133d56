#pragma once

#include "pipeline/videoframe.h"

#include <QSize>
#include <QString>
#include <opencv2/core.hpp>

class QLabel;

// The one way every picture of the window reaches a label.

// Fits the frame into the scroll area that holds the label and shows it
// there; one-channel frames in grey, three-channel frames as blue-green-red.
// An empty frame clears the label.
void showImage(const cv::Mat& frame, QLabel* label);
// showImage of the frame's picture, or the "No signal" text when the frame
// came from an input without signal.
void showFrame(const VideoFrame& frame, QLabel* label);
// What a view of an input without signal says, beginning "No signal".
QString noSignalText(uint32_t displayMode);
// What the view of a frame without signal says: noSignalText, or why its
// picture could not be read.
QString noSignalFrameText(const VideoFrame& frame);
// The source scaled, with its aspect ratio kept, to fit the box.
cv::Mat resizeToFit(const cv::Mat& source, QSize box);
