#pragma once

#include <QImage>
#include <opencv2/core.hpp>

// Wraps an 8-bit matrix of 1, 3 or 4 channels in a QImage without copying:
// the caller keeps the matrix alive while the image is used. Three-channel
// bytes are shown in the order they lie (first byte as red). Other types give
// a null image and a warning.
QImage cvMatToQImage(const cv::Mat& image);
