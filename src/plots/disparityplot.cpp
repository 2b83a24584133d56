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
    // The parallax convention of the budget and the limits: negative in front
    // of the screen (left), positive behind it (right).
    setAxisTitle(QwtPlot::xBottom,
                 QwtText(QStringLiteral("\u2190 near (in front of the screen)      parallax, px of the full "
                                        "width      far (behind the screen) \u2192")));
}

DisparityPlot::~DisparityPlot() = default;

double DisparityPlot::parallaxPosition(double disparity, const DisparityHistogramInfo& info)
{
    return -disparity * info.budget.fullWidthPerMapPixel();
}

void DisparityPlot::setHistogram(DisparityHistogramInfo info)
{
    detachItems(QwtPlotItem::Rtti_PlotItem, true);

    auto* histogram = new DisparityPlotHistogram;
    histogram->setDisparityLimits(info.minDisparity, info.maxDisparity, info.farDisparity,
                                  info.screenDisparityLow, info.screenDisparityHigh, info.nearDisparity);
    histogram->attach(this);

    // Column i counts disparity minDisparity + i of the analysed map; a
    // narrowed live map's pixel is several pixels of the full width.
    QVector<QwtIntervalSample> samples;
    samples.reserve(int(info.histogram.size()));
    const double halfColumn = 0.5 * info.budget.fullWidthPerMapPixel();
    for (int i = 0; i < int(info.histogram.size()); ++i) {
        const double parallax = parallaxPosition(i + info.minDisparity, info);
        samples.append(QwtIntervalSample(info.histogram[i], parallax - halfColumn, parallax + halfColumn));
    }
    histogram->setSamples(samples);

    const DepthBudget& budget = info.budget;
    if (budget.valid && budget.pictureWidth > 0) {
        addBudgetLine(this, budget.farthestPixels(),
                      QStringLiteral("farthest %1 %").arg(budget.farthestPercent, 0, 'f', 2), Qt::AlignLeft);
        addBudgetLine(this, budget.nearestPixels(),
                      QStringLiteral("nearest %1 %").arg(budget.nearestPercent, 0, 'f', 2), Qt::AlignRight);
    }
    replot();
}
