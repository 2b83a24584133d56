#include "sources.h"

#include "common.h"
#include "configuration/videofile.h"

#include <cmath>
#include <map>
#include <mutex>
#include <opencv2/imgproc.hpp>

namespace virtualcards {

namespace {

std::shared_ptr<const Picture> encode(const cv::Mat& bgr, std::vector<cv::Rect> views)
{
    auto picture = std::make_shared<Picture>();
    convertBgrToUyvy(bgr, picture->uyvy, colourMatrixFor(bgr.cols, bgr.rows));
    picture->views = std::move(views);
    return picture;
}

// `image` into `target`: whole with black bars, or stretched over it.
void placeScaled(const cv::Mat& image, cv::Mat target, Scaling scaling)
{
    cv::Rect area(0, 0, target.cols, target.rows);
    if (scaling == Scaling::Fit) {
        const double scale = std::min(static_cast<double>(target.cols) / image.cols,
                                      static_cast<double>(target.rows) / image.rows);
        const cv::Size size(std::max(1, static_cast<int>(std::lround(image.cols * scale))),
                            std::max(1, static_cast<int>(std::lround(image.rows * scale))));
        area = cv::Rect((target.cols - size.width) / 2, (target.rows - size.height) / 2, size.width,
                        size.height);
    }
    const bool shrinking = area.width < image.cols || area.height < image.rows;
    cv::Mat region = target(area);
    cv::resize(image, region, area.size(), 0, 0, shrinking ? cv::INTER_AREA : cv::INTER_LINEAR);
}

// Sources whose picture depends only on the display mode.
class StillSource : public Source
{
public:
    void prepare(const DisplayModeInfo& mode) override { picture(mode, 0.0); }
    std::shared_ptr<const Picture> picture(const DisplayModeInfo& mode, double) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto& picture = m_pictures[mode.code];
        if (!picture)
            picture = render(mode);
        return picture;
    }

protected:
    virtual std::shared_ptr<const Picture> render(const DisplayModeInfo& mode) const = 0;

private:
    std::mutex m_mutex;
    std::map<BMDDisplayMode, std::shared_ptr<const Picture>> m_pictures;
};

class RigSource : public StillSource
{
public:
    RigSource(RigView view, std::shared_ptr<const RigScene> scene) : m_view(view), m_scene(std::move(scene))
    {}

private:
    std::shared_ptr<const Picture> render(const DisplayModeInfo& mode) const override
    {
        const cv::Size size(mode.width, mode.height);
        const Layout layout = m_view == RigView::SideBySide  ? Layout::SideBySide
                              : m_view == RigView::UnderOver ? Layout::UnderOver
                                                             : Layout::Single;
        const std::vector<cv::Rect> areas = viewAreas(layout, size);
        cv::Mat bgr(size, CV_8UC3);
        for (size_t i = 0; i < areas.size(); ++i) {
            const bool left = layout == Layout::Single ? m_view == RigView::Left : i == 0;
            m_scene->render(left ? RigCamera::Left : RigCamera::Right, size, areas[i].size())
                .copyTo(bgr(areas[i]));
        }
        return encode(bgr, areas);
    }

    RigView m_view;
    std::shared_ptr<const RigScene> m_scene;
};

class BarsSource : public StillSource
{
    std::shared_ptr<const Picture> render(const DisplayModeInfo& mode) const override
    {
        // White, yellow, cyan, green, magenta, red, blue at 75%, in blue-green-red order.
        static const cv::Scalar bars[] = {{191, 191, 191}, {0, 191, 191}, {191, 191, 0}, {0, 191, 0},
                                          {191, 0, 191},   {0, 0, 191},   {191, 0, 0}};
        cv::Mat bgr(mode.height, mode.width, CV_8UC3);
        for (int i = 0; i < 7; ++i) {
            const int left = mode.width * i / 7, right = mode.width * (i + 1) / 7;
            bgr.colRange(left, right).setTo(bars[i]);
        }
        return encode(bgr, viewAreas(Layout::Single, bgr.size()));
    }
};

class ImageSource : public StillSource
{
public:
    explicit ImageSource(const SourceSettings& settings) : m_settings(settings) {}

private:
    std::shared_ptr<const Picture> render(const DisplayModeInfo& mode) const override
    {
        const std::vector<cv::Rect> areas = viewAreas(m_settings.layout, cv::Size(mode.width, mode.height));
        cv::Mat bgr(mode.height, mode.width, CV_8UC3, cv::Scalar::all(0));
        for (size_t i = 0; i < areas.size(); ++i)
            placeScaled(m_settings.images[i], bgr(areas[i]), m_settings.scaling);
        return encode(bgr, areas);
    }

    SourceSettings m_settings;
};

// Plays video files in a loop at their own frame rate. Frames are decoded as
// the signal reaches them; cards of one genlock group show the same frame at
// the same instant because the position follows the clock. A video whose
// frames cannot be counted (a container that loops into itself) is played as
// a stream: onwards from where it is, from its start again should it end.
// The files are opened by the first frame the card delivers, on the card's
// own thread, never while the driver is set up or a stream started.
class VideoSource : public Source
{
public:
    explicit VideoSource(const SourceSettings& settings) : m_settings(settings)
    {
        for (const std::string& file : settings.files)
            m_videos.push_back(std::make_unique<Video>(file));
    }

    std::shared_ptr<const Picture> picture(const DisplayModeInfo& mode, double seconds) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<int64_t> positions;
        for (const auto& video : m_videos)
            positions.push_back(video->positionAt(seconds));
        if (m_last && m_lastMode == mode.code && positions == m_lastPositions)
            return m_last;
        const std::vector<cv::Rect> areas = viewAreas(m_settings.layout, cv::Size(mode.width, mode.height));
        cv::Mat bgr(mode.height, mode.width, CV_8UC3, cv::Scalar::all(0));
        for (size_t i = 0; i < areas.size(); ++i) {
            const cv::Mat& frame = m_videos[i]->frameAt(positions[i]);
            if (!frame.empty())
                placeScaled(frame, bgr(areas[i]), m_settings.scaling);
        }
        m_last = encode(bgr, areas);
        m_lastMode = mode.code;
        m_lastPositions = positions;
        return m_last;
    }

private:
    class Video
    {
    public:
        explicit Video(std::string file) : m_file(std::move(file)) {}

        int64_t positionAt(double seconds)
        {
            open();
            // A frame instant that falls on a video frame shows that frame, whatever the rounding.
            const auto frame = static_cast<int64_t>(std::floor(seconds * m_fps + 1e-6));
            return m_stream ? frame : ((frame % m_count) + m_count) % m_count;
        }

        // The decoded frame at `position`; empty when the file cannot be read.
        const cv::Mat& frameAt(int64_t position)
        {
            // OpenCV throws for a file that turned bad since it was checked;
            // the card then shows black rather than taking the program down.
            try {
                if (m_stream)
                    readOn(position);
                else
                    decode(position);
            } catch (const cv::Exception&) {
                m_frame.release();
                m_decoded = -1;
            }
            return m_frame;
        }

    private:
        void open()
        {
            if (m_opened)
                return;
            m_opened = true;
            try {
                if (!openVideo(m_capture, m_file))
                    return;
                const double fps = m_capture.get(cv::CAP_PROP_FPS);
                m_fps = std::isfinite(fps) && fps > 0.0 ? fps : 25.0;
                const double count = m_capture.get(cv::CAP_PROP_FRAME_COUNT);
                m_count =
                    std::isfinite(count) && count > 0.0 && count < 1e12 ? static_cast<int64_t>(count) : 0;
                if (m_count <= 0) // the container does not say
                    m_count = countFrames(m_capture, CountLimits{});
                if (m_count <= 0) { // nor can it be counted: from the start, as a stream
                    m_stream = true;
                    openVideo(m_capture, m_file);
                }
            } catch (const cv::Exception&) {
                m_capture.release();
            }
            m_count = std::max<int64_t>(m_count, 1);
        }

        // Read on when the frame lies a little ahead, seek when it lies behind or far ahead.
        void decode(int64_t position)
        {
            if (position == m_decoded && !m_frame.empty())
                return;
            if (position < m_next || position - m_next > static_cast<int64_t>(2 * m_fps)) {
                m_capture.set(cv::CAP_PROP_POS_FRAMES, static_cast<double>(position));
                m_next = position;
            }
            while (m_next < position && m_capture.grab())
                ++m_next;
            if (m_capture.read(m_frame)) {
                m_decoded = m_next++;
            } else { // shorter than announced: the loop starts again here
                m_count = std::max<int64_t>(1, m_next);
                m_capture.set(cv::CAP_PROP_POS_FRAMES, 0);
                m_next = 0;
                if (m_capture.read(m_frame))
                    m_decoded = m_next++;
            }
        }

        // A stream goes only onwards: to the frame of `position`, passing over
        // at most two seconds of frames for one picture.
        void readOn(int64_t position)
        {
            if (position <= m_decoded && !m_frame.empty())
                return;
            const int64_t catchUp = static_cast<int64_t>(2 * m_fps);
            for (int64_t skip = m_decoded < 0 ? 0 : std::min(position - m_decoded - 1, catchUp); skip > 0;
                 --skip)
                if (!m_capture.grab())
                    break;
            if (!m_capture.read(m_frame) && !(openVideo(m_capture, m_file) && m_capture.read(m_frame))) {
                m_frame.release();
                return;
            }
            m_decoded = position;
        }

        const std::string m_file;
        cv::VideoCapture m_capture;
        bool m_opened = false;
        bool m_stream = false;
        double m_fps = 25.0;
        int64_t m_count = 1;
        int64_t m_next = 0;     // position of the next frame read
        int64_t m_decoded = -1; // position of m_frame
        cv::Mat m_frame;
    };

    SourceSettings m_settings;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<Video>> m_videos;
    std::shared_ptr<const Picture> m_last;
    BMDDisplayMode m_lastMode = 0;
    std::vector<int64_t> m_lastPositions;
};

} // namespace

std::vector<cv::Rect> viewAreas(Layout layout, cv::Size size)
{
    // Halves keep an even width, as 4:2:2 pixels come in pairs.
    switch (layout) {
    case Layout::SideBySide: {
        const int half = size.width / 4 * 2;
        return {cv::Rect(0, 0, half, size.height), cv::Rect(half, 0, size.width - half, size.height)};
    }
    case Layout::UnderOver: {
        const int half = size.height / 2;
        return {cv::Rect(0, 0, size.width, half), cv::Rect(0, half, size.width, size.height - half)};
    }
    default:
        return {cv::Rect(0, 0, size.width, size.height)};
    }
}

std::unique_ptr<Source> makeSource(const SourceSettings& settings, std::shared_ptr<const RigScene> rig)
{
    switch (settings.kind) {
    case SourceKind::Image:
        return std::make_unique<ImageSource>(settings);
    case SourceKind::Video:
        return std::make_unique<VideoSource>(settings);
    case SourceKind::Bars:
        return std::make_unique<BarsSource>();
    default:
        return std::make_unique<RigSource>(settings.view, std::move(rig));
    }
}

std::shared_ptr<const Picture> blackPicture(const DisplayModeInfo& mode)
{
    static std::mutex mutex;
    static std::map<BMDDisplayMode, std::shared_ptr<const Picture>> pictures;
    std::lock_guard<std::mutex> lock(mutex);
    auto& picture = pictures[mode.code];
    if (!picture) {
        auto black = std::make_shared<Picture>();
        black->uyvy.create(mode.height, mode.width, CV_8UC2);
        black->uyvy.setTo(cv::Scalar(128, 16)); // U/V 128, Y 16
        picture = black;
    }
    return picture;
}

} // namespace virtualcards
