#include "timecodeoverlay.h"

#include <map>
#include <memory>
#include <mutex>
#include <opencv2/imgproc.hpp>

namespace virtualcards {

TimecodeOverlay::TimecodeOverlay(int pictureHeight, ColourMatrix matrix)
{
    const int height = std::max(12, pictureHeight / 30);
    const int font = cv::FONT_HERSHEY_SIMPLEX;
    int baseline = 0;
    const double scale = 0.65 * height / cv::getTextSize("0", font, 1.0, 2, &baseline).height;
    const int thickness = std::max(1, height / 14);
    const cv::Size digit = cv::getTextSize("0", font, scale, thickness, &baseline);
    m_cell = cv::Size((digit.width + height / 6 + 1) / 2 * 2, height);
    for (const char* text : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", ":"}) {
        cv::Mat bgr(m_cell, CV_8UC3, cv::Scalar::all(24));
        const cv::Size size = cv::getTextSize(text, font, scale, thickness, &baseline);
        cv::putText(bgr, text, {(m_cell.width - size.width) / 2, (m_cell.height + size.height) / 2}, font,
                    scale, cv::Scalar::all(235), thickness, cv::LINE_AA);
        cv::Mat uyvy;
        convertBgrToUyvy(bgr, uyvy, matrix);
        m_glyphs.push_back(uyvy);
    }
}

void TimecodeOverlay::draw(cv::Mat& uyvy, const cv::Rect& area, const TimecodeValue& timecode) const
{
    const int margin = m_cell.height / 2 / 2 * 2;
    const cv::Point origin(area.x + margin + area.x % 2, area.y + margin);
    const cv::Rect text(origin, cv::Size(11 * m_cell.width, m_cell.height));
    if ((text & area) != text)
        return;
    const uint8_t parts[] = {timecode.hours, timecode.minutes, timecode.seconds, timecode.frames};
    int x = origin.x;
    const auto put = [&](int glyph) {
        m_glyphs[glyph].copyTo(uyvy(cv::Rect(x, origin.y, m_cell.width, m_cell.height)));
        x += m_cell.width;
    };
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            put(10);
        put(parts[i] / 10 % 10);
        put(parts[i] % 10);
    }
}

const TimecodeOverlay& timecodeOverlay(int pictureHeight, ColourMatrix matrix)
{
    static std::mutex mutex;
    static std::map<std::pair<int, ColourMatrix>, std::unique_ptr<TimecodeOverlay>> overlays;
    std::lock_guard<std::mutex> lock(mutex);
    auto& overlay = overlays[{pictureHeight, matrix}];
    if (!overlay)
        overlay = std::make_unique<TimecodeOverlay>(pictureHeight, matrix);
    return *overlay;
}

} // namespace virtualcards
