#pragma once

// Conversions between 8-bit 4:2:2 'UYVY' pixels (the cards' '2vuy') and
// full-range BGR(A). Fixed point with lookup tables: within one step of the
// exact result, and fast enough to convert every captured frame.

#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>

namespace cardcommon {

enum class ColourMatrix
{
    Rec601,  // SD pictures
    Rec709,  // HD and larger
    Rec2020, // wide-gamut UHD
};

enum class ColourRange
{
    Video, // luma 16..235, chroma 16..240 (what cards send)
    Full,  // 0..255 (stills, web cameras)
};

struct Colorimetry
{
    ColourMatrix matrix = ColourMatrix::Rec709;
    ColourRange range = ColourRange::Video;
};

// The matrix a card's picture of this size is encoded with: Rec. 601 below
// 720 lines, Rec. 709 from 720.
ColourMatrix colourMatrixFor(int width, int height);

// The colours of a card's display mode, taken for a signal that does not say
// otherwise: the matrix of its size, video range.
Colorimetry modeColorimetry(int width, int height);

// UYVY rows (U Y0 V Y1 per pair of pixels) to BGR rows (channels 3) or to BGRA
// rows with alpha 255 (channels 4). An odd width keeps its last column: the
// source row holds a whole last pair, whose second pixel is dropped. Rows are
// converted in parallel stripes.
void convertUyvy(const uint8_t* source, size_t sourceRowBytes, uint8_t* destination,
                 size_t destinationRowBytes, int width, int height, int channels,
                 const Colorimetry& colorimetry);

// An 8-bit BGR picture of even width to UYVY (CV_8UC2). Each pair of pixels
// takes the chroma of its mean colour.
void convertBgrToUyvy(const cv::Mat& bgr, cv::Mat& uyvy, ColourMatrix matrix);

} // namespace cardcommon
