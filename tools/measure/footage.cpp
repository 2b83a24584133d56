#include "footage.h"

#include <QFileInfo>
#include <cmath>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

struct Footage::Source
{
    QString path;
    bool video = false;
    cv::Mat still;
    cv::VideoCapture capture;
    cv::Mat pending; // decoded at open, not yet given out
    cv::Size size;
    double framesPerSecond = 0;
    qint64 frameCount = 0; // 0: unknown

    bool open(QString* error)
    {
        const QFileInfo file(path);
        if (!file.exists())
            return fail(error, QStringLiteral("no such file"));
        if (file.isDir())
            return fail(error, QStringLiteral("a folder, not a file"));
        if (!file.isReadable())
            return fail(error, QStringLiteral("no permission to read it"));
        const std::string name = QFile::encodeName(path).toStdString();
        if (cv::haveImageReader(name)) {
            still = cv::imread(name, cv::IMREAD_COLOR);
            if (still.empty())
                return fail(error, QStringLiteral("looks like a picture but cannot be decoded (damaged?)"));
            size = still.size();
            return true;
        }
        // The two media engines that read files, FFmpeg first: letting OpenCV
        // try every backend also probes camera buses (IEEE 1394, USB) for a
        // file name and leaks what those libraries allocate on the way.
        const auto opens = [&](int backend) { return capture.open(name, backend) && capture.read(pending); };
        if (!(opens(cv::CAP_FFMPEG) || opens(cv::CAP_GSTREAMER)) || pending.empty())
            return fail(error, QStringLiteral("not a picture or video that this machine can read"));
        video = true;
        size = pending.size();
        framesPerSecond = capture.get(cv::CAP_PROP_FPS);
        if (!(framesPerSecond > 0) || !std::isfinite(framesPerSecond))
            return fail(error, QStringLiteral("the video does not say its frame rate"));
        frameCount = std::max<qint64>(0, qint64(capture.get(cv::CAP_PROP_FRAME_COUNT)));
        return true;
    }

    // Makes `frame` (counted from 0) the next one read.
    bool skipTo(qint64 frame, QString* error)
    {
        if (frame <= 0)
            return true;
        pending.release();
        qint64 at = 1;
        while (at < frame && capture.grab())
            ++at;
        if (at == frame && capture.read(pending) && !pending.empty())
            return true;
        return fail(error, QStringLiteral("the video is %1 s long (%2 frames), shorter than the start")
                               .arg(at / framesPerSecond, 0, 'f', 2)
                               .arg(at));
    }

    bool next(cv::Mat& image, bool decode)
    {
        if (!pending.empty()) {
            image = pending;
            pending.release();
            return true;
        }
        if (decode)
            return capture.read(image) && !image.empty();
        image.release();
        return capture.grab();
    }

    bool fail(QString* error, const QString& reason) const
    {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, reason);
        return false;
    }
};

Footage::Footage() = default;
Footage::~Footage() = default;

bool Footage::open(const FootageSettings& settings, QString* error)
{
    layout = settings.layout;
    left = std::make_unique<Source>();
    left->path = settings.leftPath;
    if (!left->open(error))
        return false;
    if (!settings.rightPath.isEmpty()) {
        right = std::make_unique<Source>();
        right->path = settings.rightPath;
        if (!right->open(error))
            return false;
        auto both = [&](const QString& what) {
            *error = QStringLiteral("%1 and %2: %3").arg(left->path, right->path, what);
            return false;
        };
        if (left->video != right->video)
            return both(
                QStringLiteral("one is a picture, the other a video; give two pictures or two videos"));
        if (left->size != right->size)
            return both(QStringLiteral("the pictures differ in size (%1 x %2 and %3 x %4): their pixels do "
                                       "not compare")
                            .arg(left->size.width)
                            .arg(left->size.height)
                            .arg(right->size.width)
                            .arg(right->size.height));
        // Within a thousandth: 29.97 and 30000/1001 are one rate.
        if (left->video && std::abs(left->framesPerSecond / right->framesPerSecond - 1.0) > 1e-3)
            return both(QStringLiteral("the videos run at different rates (%1 and %2 frames/s): their frames "
                                       "cannot be paired")
                            .arg(left->framesPerSecond, 0, 'g', 5)
                            .arg(right->framesPerSecond, 0, 'g', 5));
    }
    if (!left->video) {
        if (settings.startSeconds > 0) {
            *error = QStringLiteral("%1: a picture has no time; --start and --duration need videos")
                         .arg(left->path);
            return false;
        }
        stillUnread = true;
        total = 1;
        return true;
    }
    frame = qint64(std::llround(settings.startSeconds * left->framesPerSecond));
    if (!left->skipTo(frame, error) || (right && !right->skipTo(frame, error)))
        return false;
    total = left->frameCount;
    if (right && right->frameCount > 0)
        total = total > 0 ? std::min(total, right->frameCount) : right->frameCount;
    total = total > frame ? total - frame : 0;
    return true;
}

bool Footage::isVideo() const
{
    return left && left->video;
}

bool Footage::hasTwoFiles() const
{
    return right != nullptr;
}

double Footage::framesPerSecond() const
{
    return left ? left->framesPerSecond : 0;
}

qint64 Footage::framesLeft() const
{
    return total;
}

bool Footage::next(FootagePair& pair, bool pictures)
{
    if (!left)
        return false;
    cv::Mat first, second;
    if (!left->video) {
        if (!stillUnread)
            return false;
        stillUnread = false;
        first = left->still.clone();
        if (right)
            second = right->still.clone();
        pair.seconds = -1;
    } else {
        if (!left->next(first, pictures) || (right && !right->next(second, pictures)))
            return false;
        pair.seconds = frame / left->framesPerSecond;
    }
    pair.frame = frame++;
    if (!pictures || first.empty()) {
        pair.left.release();
        pair.right.release();
        return true;
    }
    pair.left = cameraPicture(first, layout, 0);
    pair.right = cameraPicture(right ? second : first, layout, 1);
    return true;
}
