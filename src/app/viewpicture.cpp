#include "app/viewpicture.h"

#include <QImage>
#include <QLabel>
#include <opencv2/imgproc.hpp>
#include <utility>

QPixmap viewPixmap(const cv::Mat& fitted)
{
    if (fitted.empty() || fitted.depth() != CV_8U || (fitted.channels() != 1 && fitted.channels() != 3))
        return QPixmap();
    // RGB32 lies in memory as blue, green, red, 255: the picture is written
    // straight into the image that becomes the pixmap.
    QImage image(fitted.cols, fitted.rows, QImage::Format_RGB32);
    cv::Mat pixels(fitted.rows, fitted.cols, CV_8UC4, image.bits(),
                   static_cast<size_t>(image.bytesPerLine()));
    cv::cvtColor(fitted, pixels, fitted.channels() == 1 ? cv::COLOR_GRAY2BGRA : cv::COLOR_BGR2BGRA);
    return QPixmap::fromImage(std::move(image), Qt::NoFormatConversion);
}

void showViewText(QLabel* label, const QString& text)
{
    // A label showing a picture has no text.
    if (label->text() == text)
        return;
    label->setWordWrap(true);
    label->setText(text);
}

QString unreadablePictureText(const QString& reason)
{
    return QStringLiteral("No signal\n\n%1 Set the source to another picture size or format, or choose "
                          "another input.")
        .arg(reason);
}
