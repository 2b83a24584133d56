#include "plots/disparityplothistogram.h"

#include "disparity/tesra_disparity_map.h"

#include <QBrush>
#include <QPainter>
#include <QPen>
#include <algorithm>

DisparityPlotHistogram::DisparityPlotHistogram() : QwtPlotHistogram(QString()) {}

DisparityPlotHistogram::~DisparityPlotHistogram() = default;

void DisparityPlotHistogram::setDisparityLimits(int minDisparity, int maxDisparity, int farDisparity,
                                                int screenDisparityLow, int screenDisparityHigh,
                                                int nearDisparity)
{
    this->minDisparity = minDisparity;
    this->maxDisparity = maxDisparity;
    this->farDisparity = farDisparity;
    this->screenDisparityLow = screenDisparityLow;
    this->screenDisparityHigh = screenDisparityHigh;
    this->nearDisparity = nearDisparity;
}

void DisparityPlotHistogram::drawSeries(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                                        const QRectF&, int from, int to) const
{
    const int samples = int(dataSize());
    if (!painter || samples == 0)
        return;
    if (to < 0 || to >= samples)
        to = samples - 1;
    from = std::max(from, 0);

    const ParallaxLimits limits{farDisparity, screenDisparityLow, screenDisparityHigh, nearDisparity};
    for (int column = from; column <= to; ++column) {
        const QwtIntervalSample s = sample(column);
        if (!s.interval.isValid())
            continue;
        // Column c shows disparity minDisparity + c in whole pixels.
        const DisparityColor color =
            disparityColor(minDisparity + column, 1, minDisparity, maxDisparity, limits);
        const QColor qcolor(color.red, color.green, color.blue);
        painter->setPen(QPen(qcolor));
        painter->setBrush(QBrush(qcolor));
        drawColumn(painter, columnRect(s, xMap, yMap), s);
    }
}
