#pragma once

// What a picture view draws, made once per shown frame: the pixmap of a
// picture already scaled to the view, and the text of a frame that carries
// no picture of its camera.

#include "pipeline/videoframe.h"

#include <QPixmap>
#include <QString>
#include <opencv2/core.hpp>

class QLabel;

// A grey (8-bit, one channel) or blue-green-red (8-bit, three channels)
// picture as a pixmap, in one pass over its pixels into the 32-bit format the
// screen draws without converting again. Any other picture gives a null
// pixmap.
QPixmap viewPixmap(const cv::Mat& fitted);

// Shows text in the label in place of a picture; a label that already shows
// it is left alone, so a view that says the same for every frame is laid out
// once.
void showViewText(QLabel* label, const QString& text);

// What a view says for a frame whose picture could not be converted, from
// the reason the frame carries.
QString unreadablePictureText(const QString& reason);
