#include "plots/alignmenttrendplot.h"

#include <QLabel>
#include <QPen>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_zoneitem.h>
#include <qwt_text.h>

namespace {

const char* const kTitles[4] = {"Vertical offset (px, right lower +)", "Roll (deg, right clockwise +)",
                                "Size difference (%, right larger +)",
                                "Horizontal offset (px, right further right +)"};

QwtText smallText(const QString& text, int pointSize)
{
    QwtText result(text);
    QFont font = result.font();
    font.setPointSize(pointSize);
    result.setFont(font);
    return result;
}

// Readings older than the span before `newest` are dropped from the front
// (of the values of each axis that has any).
void dropOlderThanSpan(QVector<double>& times, std::array<QVector<double>, 4>& values, double newest)
{
    int old = 0;
    while (old < times.size() && times[old] < newest - AlignmentTrendPlot::kSpanSeconds)
        ++old;
    if (old == 0)
        return;
    times.remove(0, old);
    for (QVector<double>& axis : values)
        if (!axis.isEmpty())
            axis.remove(0, old);
}

} // namespace

AlignmentTrendPlot::AlignmentTrendPlot(QWidget* parent) : QWidget(parent)
{
    for (int a = 0; a < 4; ++a) {
        auto* plot = new QwtPlot(this);
        plot->setAutoReplot(false);
        plot->setTitle(smallText(QString::fromLatin1(kTitles[a]), 8));
        plot->setCanvasBackground(QColor(250, 210, 210)); // outside the yellow band: red
        for (int axis : {QwtPlot::xBottom, QwtPlot::yLeft}) {
            QFont font = plot->axisFont(axis);
            font.setPointSize(7);
            plot->setAxisFont(axis, font);
        }
        plot->setAxisScale(QwtPlot::xBottom, -kSpanSeconds, 0.0, 10.0);
        // Few labels: the plots are small, the bands tell the limits.
        plot->setAxisMaxMajor(QwtPlot::yLeft, 3);
        plot->setAxisMaxMinor(QwtPlot::yLeft, 2);
        // Only the lowest plot names the time axis; the others share it.
        if (a == 3)
            plot->setAxisTitle(QwtPlot::xBottom, smallText(QStringLiteral("seconds before now"), 7));

        auto* yellow = new QwtPlotZoneItem;
        yellow->setOrientation(Qt::Horizontal);
        yellow->setBrush(QColor(255, 235, 120));
        yellow->setZ(1);
        yellow->attach(plot);
        auto* green = new QwtPlotZoneItem;
        green->setOrientation(Qt::Horizontal);
        green->setBrush(QColor(150, 225, 150));
        green->setZ(2);
        green->attach(plot);

        auto* zero = new QwtPlotMarker;
        zero->setLineStyle(QwtPlotMarker::HLine);
        zero->setLinePen(QColor(60, 120, 60), 1, Qt::DashLine);
        zero->setYValue(0.0);
        zero->setZ(3);
        zero->attach(plot);

        auto* curve = new QwtPlotCurve;
        curve->setPen(QColor(20, 20, 120), 2);
        curve->setRenderHint(QwtPlotItem::RenderAntialiased, true);
        curve->setZ(4);
        curve->attach(plot);

        auto* scene = new QwtPlotCurve;
        scene->setPen(QColor(200, 90, 0), 2, Qt::DashLine);
        scene->setRenderHint(QwtPlotItem::RenderAntialiased, true);
        scene->setZ(5);
        scene->attach(plot);

        m_plots[size_t(a)] = plot;
        m_curves[size_t(a)] = curve;
        m_sceneCurves[size_t(a)] = scene;
        m_greenZones[size_t(a)] = green;
        m_yellowZones[size_t(a)] = yellow;
    }
    m_legend = new QLabel(
        QStringLiteral(
            "Solid blue: board; dashed orange: scene. Bands: green = OK, yellow = CLOSE, outside = "
            "ADJUST (the indicators' limits)"),
        this);
    m_legend->setWordWrap(true);
    QFont font = m_legend->font();
    font.setPointSize(7);
    m_legend->setFont(font);
    setBands(readoutBands({}));
}

AlignmentTrendPlot::~AlignmentTrendPlot() = default;

namespace {
constexpr int kMinimumPlotHeight = 90;
constexpr int kGap = 2;
} // namespace

QSize AlignmentTrendPlot::minimumSizeHint() const
{
    return QSize(200, 4 * (kMinimumPlotHeight + kGap) + m_legend->heightForWidth(200));
}

QSize AlignmentTrendPlot::sizeHint() const
{
    return QSize(360, 4 * (130 + kGap) + m_legend->heightForWidth(360));
}

void AlignmentTrendPlot::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int w = width();
    const int legendHeight = m_legend->heightForWidth(w);
    const int plotHeight = std::max(0, (height() - legendHeight) / 4 - kGap);
    for (int a = 0; a < 4; ++a)
        m_plots[size_t(a)]->setGeometry(0, a * (plotHeight + kGap), w, plotHeight);
    m_legend->setGeometry(0, 4 * (plotHeight + kGap), w, legendHeight);
}

void AlignmentTrendPlot::setBands(const ReadoutBands& bands)
{
    const ReadoutBand* perAxis[4] = {&bands.vertical, &bands.roll, &bands.size, &bands.horizontal};
    bool changed = false;
    for (size_t a = 0; a < 4; ++a) {
        const QwtInterval green(perAxis[a]->greenLow, perAxis[a]->greenHigh);
        const QwtInterval yellow(perAxis[a]->yellowLow, perAxis[a]->yellowHigh);
        if (m_greenZones[a]->interval() == green && m_yellowZones[a]->interval() == yellow)
            continue;
        m_greenZones[a]->setInterval(green);
        m_yellowZones[a]->setInterval(yellow);
        m_yellowReach[a] = std::max(std::fabs(yellow.minValue()), std::fabs(yellow.maxValue()));
        changed = true;
    }
    // The window sets the bands with every reading: redrawn only when they move.
    if (changed)
        redraw();
}

void AlignmentTrendPlot::addReading(double seconds, const AlignmentReading& reading)
{
    if (!m_times.isEmpty() && seconds < m_times.back())
        clear();
    m_times.push_back(seconds);
    m_values[Vertical].push_back(reading.verticalPixels);
    m_values[Roll].push_back(reading.rollDegrees);
    m_values[Size].push_back(reading.sizePercent);
    m_values[Horizontal].push_back(reading.horizontalPixels);

    dropOlderThanSpan(m_times, m_values, seconds);
    redraw();
}

void AlignmentTrendPlot::addSceneReading(double seconds, const SceneReading& reading)
{
    if (!m_sceneTimes.isEmpty() && seconds < m_sceneTimes.back())
        clear();
    m_sceneTimes.push_back(seconds);
    m_sceneValues[Vertical].push_back(reading.verticalPixels);
    m_sceneValues[Roll].push_back(reading.rollDegrees);
    m_sceneValues[Size].push_back(reading.sizePercent);
    dropOlderThanSpan(m_sceneTimes, m_sceneValues, seconds);
    redraw();
}

void AlignmentTrendPlot::clear()
{
    m_times.clear();
    m_sceneTimes.clear();
    for (QVector<double>& values : m_values)
        values.clear();
    for (QVector<double>& values : m_sceneValues)
        values.clear();
    redraw();
}

double AlignmentTrendPlot::newest() const
{
    double newest = m_times.isEmpty() ? 0.0 : m_times.back();
    if (!m_sceneTimes.isEmpty())
        newest = m_times.isEmpty() ? m_sceneTimes.back() : std::max(newest, m_sceneTimes.back());
    return newest;
}

QVector<double> AlignmentTrendPlot::shownTimes() const
{
    QVector<double> times = m_times;
    for (double& t : times)
        t -= newest();
    return times;
}

QVector<double> AlignmentTrendPlot::shownSceneTimes() const
{
    QVector<double> times = m_sceneTimes;
    for (double& t : times)
        t -= newest();
    return times;
}

void AlignmentTrendPlot::redraw()
{
    const QVector<double> times = shownTimes();
    const QVector<double> sceneTimes = shownSceneTimes();
    for (size_t a = 0; a < 4; ++a) {
        m_curves[a]->setSamples(times, m_values[a]);
        m_sceneCurves[a]->setSamples(m_sceneValues[a].isEmpty() ? QVector<double>() : sceneTimes,
                                     m_sceneValues[a]);
        // The bands stay in sight, and so does every reading.
        double reach = 1.4 * m_yellowReach[a];
        for (const QVector<double>* values : {&m_values[a], &m_sceneValues[a]})
            for (double v : *values)
                if (std::isfinite(v))
                    reach = std::max(reach, 1.1 * std::fabs(v));
        if (!(reach > 0))
            reach = 1.0;
        m_plots[a]->setAxisScale(QwtPlot::yLeft, -reach, reach);
        m_plots[a]->replot();
    }
}
