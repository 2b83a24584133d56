#pragma once

// Conversions between 8-bit 4:2:2 'UYVY' video-range pixels (the cards'
// '2vuy') and full-range BGR(A). Fixed point with lookup tables: within one
// step of the exact result, and fast enough to convert every captured frame.

#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>

namespace cardcommon {

enum class ColourMatrix
{
    Rec601, // SD pictures
    Rec709, // HD and larger
};

// The matrix a picture of this size is encoded with.
ColourMatrix colourMatrixFor(int width, int height);

// UYVY rows (U Y0 V Y1 per pair of pixels; even width) to BGRA rows with
// alpha 255. Rows are converted in parallel stripes.
void convertUyvyToBgra(const uint8_t* source, size_t sourceRowBytes, uint8_t* destination,
                       size_t destinationRowBytes, int width, int height, ColourMatrix matrix);

// An 8-bit BGR picture of even width to UYVY (CV_8UC2). Each pair of pixels
// takes the chroma of its mean colour.
void convertBgrToUyvy(const cv::Mat& bgr, cv::Mat& uyvy, ColourMatrix matrix);

} // namespace cardcommon
