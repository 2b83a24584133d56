#include "app/cvmattoqimage.h"
#include "pipeline/logcategories.h"

#include <QVector>

namespace {

// One grey colour table for all one-channel images; filled on first use.
const QVector<QRgb>& greyColorTable()
{
    static const QVector<QRgb> table = [] {
        QVector<QRgb> entries;
        entries.reserve(256);
        for (int i = 0; i < 256; ++i)
            entries.append(0xFF000000u + static_cast<QRgb>(i) * 0x010101u);
        return entries;
    }();
    return table;
}

} // namespace

QImage cvMatToQImage(const cv::Mat& image)
{
    const int width = image.cols;
    const int height = image.rows;
    const int step = static_cast<int>(image.step);
    switch (image.type()) {
    case CV_8UC4:
        return QImage(image.data, width, height, step, QImage::Format_RGB32);
    case CV_8UC3:
        return QImage(image.data, width, height, step, QImage::Format_RGB888);
    case CV_8UC1: {
        QImage grey(image.data, width, height, step, QImage::Format_Indexed8);
        grey.setColorTable(greyColorTable());
        return grey;
    }
    default:
        qCWarning(lcWindow) << "cvMatToQImage() - cv::Mat image type not handled in switch:" << image.type();
        return QImage();
    }
}
