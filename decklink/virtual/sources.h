#pragma once

// What a card's input carries: the synthetic rig, still images or video
// files, arranged as one view or two (side by side, under/over) and scaled
// to the signal. Stills are rendered once per display mode and then reused.

#include "common.h"
#include "rigscene.h"

#include <memory>
#include <opencv2/core.hpp>
#include <vector>

namespace virtualcards {

struct Picture
{
    cv::Mat uyvy;                // CV_8UC2, the mode's size
    std::vector<cv::Rect> views; // where each camera's view lies
};

class Source
{
public:
    virtual ~Source() = default;
    // The picture of a frame of `mode` taken `seconds` after the card's clock
    // origin. Safe to call from several threads.
    virtual std::shared_ptr<const Picture> picture(const DisplayModeInfo& mode, double seconds) = 0;
    // Makes ahead what the first frames of `mode` need, where that waits on
    // nothing outside the program: a still picture is rendered, a video waits
    // for its first frame.
    virtual void prepare(const DisplayModeInfo&) {}
};

std::unique_ptr<Source> makeSource(const SourceSettings& settings, std::shared_ptr<const RigScene> rig);

// The picture of an input without a usable signal.
std::shared_ptr<const Picture> blackPicture(const DisplayModeInfo& mode);

// The areas of each view of a layout in a picture of `size`.
std::vector<cv::Rect> viewAreas(Layout layout, cv::Size size);

} // namespace virtualcards
