#include "app/frameview.h"

#include "app/viewpicture.h"
#include "capture/decklinkcodenames.h"

#include <QLabel>
#include <QLayout>
#include <QPixmap>
#include <QScrollArea>
#include <algorithm>
#include <opencv2/imgproc.hpp>

namespace {

// The room a picture label has: the viewport of its scroll area (label ->
// content widget -> viewport -> scroll area) less the margins of the content
// layout. A label outside a scroll area keeps its own size.
QSize viewBox(const QLabel* label)
{
    const QWidget* content = label->parentWidget();
    const QWidget* viewport = content ? content->parentWidget() : nullptr;
    if (!viewport || !qobject_cast<const QScrollArea*>(viewport->parentWidget()))
        return label->size();
    QSize box = viewport->size();
    if (const QLayout* layout = content->layout()) {
        const QMargins margins = layout->contentsMargins();
        box -= QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
    }
    return box;
}

} // namespace

QString noSignalText(uint32_t displayMode)
{
    return QStringLiteral(
               "No signal\n\nNothing readable reaches the input (set to %1): check the camera and its "
               "cable, or choose the camera's display mode (or Auto-detect).")
        .arg(displayModeToString(displayMode));
}

QString noSignalFrameText(const VideoFrame& frame)
{
    return frame.noSignalReason.isEmpty() ? noSignalText(frame.displayMode)
                                          : unreadablePictureText(frame.noSignalReason);
}

void showFrame(const VideoFrame& frame, QLabel* label)
{
    // The black filler of an input without signal would pass for a picture.
    if (frame.noInputSignal) {
        showViewText(label, noSignalFrameText(frame));
        return;
    }
    showImage(frame.image, label);
}

void showImage(const cv::Mat& frame, QLabel* label)
{
    if (!frame.data || frame.empty()) {
        label->clear();
        return;
    }
    // Scaling first keeps the cost of the conversion to the size of the
    // view, whatever the size of the capture.
    label->setPixmap(viewPixmap(resizeToFit(frame, viewBox(label))));
}

cv::Mat resizeToFit(const cv::Mat& source, QSize box)
{
    cv::Mat resized;
    if (source.empty() || box.isEmpty())
        return resized;
    const double scale = std::min(double(box.width()) / source.cols, double(box.height()) / source.rows);
    // A very thin picture keeps at least one pixel across instead of vanishing.
    const int width = std::max(1, int(source.cols * scale));
    const int height = std::max(1, int(source.rows * scale));
    cv::resize(source, resized, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
    return resized;
}
