#include "plots/disparityplot.h"

#include "plots/disparityplothistogram.h"

#include <QBrush>
#include <QColor>
#include <QPen>
#include <QVector>
#include <qwt_plot_marker.h>
#include <qwt_text.h>

namespace {

// A dashed vertical line at a disparity, labelled at its top.
void addBudgetLine(QwtPlot* plot, double disparity, const QString& label, Qt::Alignment side)
{
    auto* marker = new QwtPlotMarker(label);
    marker->setLineStyle(QwtPlotMarker::VLine);
    marker->setLinePen(QPen(Qt::black, 1.5, Qt::DashLine));
    marker->setXValue(disparity);
    QwtText text(label);
    text.setColor(Qt::black);
    text.setBackgroundBrush(QBrush(QColor(255, 255, 255, 200)));
    marker->setLabel(text);
    marker->setLabelAlignment(Qt::AlignTop | side);
    marker->setZ(30); // above the columns
    marker->attach(plot);
}

} // namespace

DisparityPlot::DisparityPlot(QWidget* parent) : QwtPlot(parent)
{
    setCanvasBackground(QBrush(QColor(255, 255, 255, 255)));
    enableAxis(QwtPlot::yLeft, false);
    // Far parallax is at negative disparities, so far sits at the left end.
    setAxisTitle(QwtPlot::xBottom,
                 QwtText(QStringLiteral("\u2190 far (behind the screen)      disparity, px      "
                                        "near (in front of the screen) \u2192")));
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

    const DepthBudget& budget = info.budget;
    if (budget.valid && budget.mapWidth > 0) {
        // The columns count pixels of the analysed map; parallax is the negative disparity.
        const double pixelsPerPercent = budget.mapWidth * 0.01;
        addBudgetLine(this, -budget.farthestPercent * pixelsPerPercent,
                      QStringLiteral("farthest %1 %").arg(budget.farthestPercent, 0, 'f', 2), Qt::AlignRight);
        addBudgetLine(this, -budget.nearestPercent * pixelsPerPercent,
                      QStringLiteral("nearest %1 %").arg(budget.nearestPercent, 0, 'f', 2), Qt::AlignLeft);
    }
    replot();
}
