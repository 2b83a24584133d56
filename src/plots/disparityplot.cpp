#include "plots/disparityplot.h"

#include "plots/disparityplothistogram.h"

#include <QBrush>
#include <QColor>
#include <QVector>

DisparityPlot::DisparityPlot(QWidget* parent) : QwtPlot(parent)
{
    setCanvasBackground(QBrush(QColor(255, 255, 255, 255)));
    enableAxis(QwtPlot::yLeft, false);
}

DisparityPlot::~DisparityPlot() = default;

void DisparityPlot::setHistogram(DisparityHistogramInfo info)
{
    detachItems(QwtPlotItem::Rtti_PlotItem, true);

    auto* histogram = new DisparityPlotHistogram;
    histogram->setDisparityLimits(info.minDisparity, info.maxDisparity, info.farDisparity,
                                  info.screenDisparityLow, info.screenDisparityHigh, info.nearDisparity);
    histogram->attach(this);

    QVector<QwtIntervalSample> samples;
    samples.reserve(int(info.histogram.size()));
    for (int i = 0; i < int(info.histogram.size()); ++i) {
        const double disparity = i + info.minDisparity;
        samples.append(QwtIntervalSample(info.histogram[i], disparity - 0.5, disparity + 0.5));
    }
    histogram->setSamples(samples);
    replot();
}
