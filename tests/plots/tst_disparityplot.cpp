// The histogram plot: one item per result, one column per whole disparity, and
// column colours read back from the rendered widget.

#include "plots/disparitylegend.h"
#include "plots/disparityplot.h"
#include "plots/disparityplothistogram.h"

#include <QtTest>
#include <qwt_plot_marker.h>
#include <qwt_scale_map.h>

namespace {

DisparityHistogramInfo histogramInfo(int minDisparity, int maxDisparity, const ParallaxLimits& limits,
                                     double height = 1.0)
{
    DisparityHistogramInfo info;
    info.histogram.assign(maxDisparity - minDisparity + 1, height);
    info.minDisparity = minDisparity;
    info.maxDisparity = maxDisparity;
    info.farDisparity = limits.farDisparity;
    info.screenDisparityLow = limits.screenDisparityLow;
    info.screenDisparityHigh = limits.screenDisparityHigh;
    info.nearDisparity = limits.nearDisparity;
    return info;
}

// The plot as the screen would show it.
class RenderedPlot
{
public:
    explicit RenderedPlot(const DisparityHistogramInfo& info) : m_info(info)
    {
        m_plot.resize(1400, 320);
        m_plot.setHistogram(info);
        m_plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_plot));
        m_plot.replot();
        m_canvas = m_plot.canvas()->grab().toImage();
    }

    QColor at(double disparity, double height) const
    {
        const int x = qRound(
            m_plot.canvasMap(QwtPlot::xBottom).transform(DisparityPlot::parallaxPosition(disparity, m_info)));
        const int y = qRound(m_plot.canvasMap(QwtPlot::yLeft).transform(height));
        return m_canvas.pixelColor(x, y);
    }

    DisparityHistogramInfo m_info;
    DisparityPlot m_plot;
    QImage m_canvas;
};

DisparityPlotHistogram* onlyHistogram(const DisparityPlot& plot)
{
    const QwtPlotItemList items = plot.itemList();
    if (items.size() != 1 || items.first()->rtti() != QwtPlotItem::Rtti_PlotHistogram)
        return nullptr;
    return dynamic_cast<DisparityPlotHistogram*>(items.first());
}

} // namespace

class TestDisparityPlot : public QObject
{
    Q_OBJECT
private slots:
    void newPlotIsEmptyWithWhiteCanvasAndNoLeftAxis()
    {
        DisparityPlot plot(nullptr);
        QVERIFY(plot.itemList().isEmpty());
        QVERIFY(!plot.axisEnabled(QwtPlot::yLeft));
        QVERIFY(plot.axisEnabled(QwtPlot::xBottom));
        QCOMPARE(plot.canvasBackground().color(), QColor(255, 255, 255, 255));
        QCOMPARE(plot.canvasBackground().style(), Qt::SolidPattern);
    }

    void axisRunsFromNearToFar()
    {
        DisparityPlot plot(nullptr);
        const QString title = plot.axisTitle(QwtPlot::xBottom).text();
        const int near = title.indexOf("near"), unit = title.indexOf("parallax, px of the full width"),
                  far = title.indexOf("far");
        // Negative parallax, in front of the screen, at the left end.
        QVERIFY2(near >= 0 && near < unit && unit < far, qPrintable(title));
    }

    void budgetLinesMarkNearestAndFarthest_data()
    {
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("nearestPercent");
        QTest::addColumn<double>("farthestPercent");
        QTest::addColumn<int>("mapWidth");
        QTest::addColumn<double>("nearestAt"); // parallax of the line, px of the full width
        QTest::addColumn<double>("farthestAt");
        QTest::addColumn<double>("column10At"); // where the column of map disparity 10 stands
        QTest::addColumn<QString>("nearestLabel");
        QTest::addColumn<QString>("farthestLabel");
        QTest::newRow("box in front, wall behind")
            << true << -2.0 << 4.0 << 1920 << -38.4 << 76.8 << -10.0 << "nearest -2.00 %"
            << "farthest 4.00 %";
        // A live analysis: a pixel of the 960-pixel map is two of the full width.
        QTest::newRow("live map 960 wide")
            << true << -1.25 << 2.5 << 960 << -24.0 << 48.0 << -20.0 << "nearest -1.25 %"
            << "farthest 2.50 %";
        QTest::newRow("nothing matched: no lines")
            << false << 0.0 << 0.0 << 1920 << 0.0 << 0.0 << -10.0 << QString() << QString();
    }
    void budgetLinesMarkNearestAndFarthest()
    {
        QFETCH(bool, valid);
        QFETCH(double, nearestPercent);
        QFETCH(double, farthestPercent);
        QFETCH(int, mapWidth);
        QFETCH(double, nearestAt);
        QFETCH(double, farthestAt);
        QFETCH(double, column10At);
        QFETCH(QString, nearestLabel);
        QFETCH(QString, farthestLabel);
        DisparityHistogramInfo info = histogramInfo(-64, 64, ParallaxLimits{-10, -2, 2, 10}, 0.5);
        info.budget.valid = valid;
        info.budget.nearestPercent = nearestPercent;
        info.budget.farthestPercent = farthestPercent;
        info.budget.mapWidth = mapWidth;
        info.budget.pictureWidth = 1920;
        DisparityPlot plot(nullptr);
        for (int result = 0; result < 2; ++result) { // a second result replaces the lines
            plot.setHistogram(info);
            QCOMPARE(plot.itemList(QwtPlotItem::Rtti_PlotHistogram).size(), 1);
            const QwtPlotItemList markers = plot.itemList(QwtPlotItem::Rtti_PlotMarker);
            QCOMPARE(markers.size(), valid ? 2 : 0);
            const QwtIntervalSample column = static_cast<const DisparityPlotHistogram*>(
                                                 plot.itemList(QwtPlotItem::Rtti_PlotHistogram).first())
                                                 ->sample(10 + 64);
            QVERIFY2(qAbs((column.interval.minValue() + column.interval.maxValue()) / 2 - column10At) < 1e-9,
                     qPrintable(QString::number(column.interval.minValue())));
            QMap<QString, double> lines;
            for (const QwtPlotItem* item : markers) {
                const auto* marker = static_cast<const QwtPlotMarker*>(item);
                QCOMPARE(marker->lineStyle(), QwtPlotMarker::VLine);
                lines.insert(marker->label().text(), marker->xValue());
            }
            if (!valid)
                continue;
            QCOMPARE(lines.keys(), (QStringList{farthestLabel, nearestLabel}));
            QVERIFY(qAbs(lines.value(nearestLabel) - nearestAt) < 1e-9);
            QVERIFY(qAbs(lines.value(farthestLabel) - farthestAt) < 1e-9);
        }
    }

    void legendsNameEveryColour_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("texts");
        const QStringList depths{"near: in front of the near limit", "screen plane", "between the limits",
                                 "far: behind the far limit"};
        QTest::newRow("coloured map")
            << int(DisparityLegend::Kind::ColoredMap) << depths + QStringList{"unmatched: no depth found"};
        // The histogram does not count unmatched pixels.
        QTest::newRow("histogram") << int(DisparityLegend::Kind::Histogram) << depths;
        QTest::newRow("grey map") << int(DisparityLegend::Kind::GreyMap)
                                  << QStringList{"far \u2192 near: dark \u2192 light", "unmatched: black"};
    }
    void legendsNameEveryColour()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, texts);
        DisparityLegend legend;
        legend.setKind(DisparityLegend::Kind(kind));
        QCOMPARE(legend.texts(), texts);
        legend.setHorizontal(true); // laid out again, the same entries
        QCOMPARE(legend.texts(), texts);
        // Every entry explains itself further, with the sign convention.
        const QList<QWidget*> rows = legend.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(rows.size(), texts.size());
        for (const QWidget* row : rows)
            QVERIFY(!row->toolTip().isEmpty());
    }

    void eachResultReplacesTheLastOne()
    {
        QWidget parent;
        auto* plot = new DisparityPlot(&parent);
        const ParallaxLimits limits = computeParallaxLimits(1920, -64, 64, 0, 0, 0);
        plot->setHistogram(histogramInfo(-64, 64, limits));
        QVERIFY(onlyHistogram(*plot));
        // The replaced item is deleted, not left behind: the sanitizer build reports leaks.
        plot->setHistogram(histogramInfo(0, 32, computeParallaxLimits(1920, 0, 32, 0, 0, 0), 0.5));
        const DisparityPlotHistogram* histogram = onlyHistogram(*plot);
        QVERIFY(histogram);
        QCOMPARE(int(histogram->dataSize()), 33);
    }

    void oneUnitWideColumnPerDisparity()
    {
        DisparityPlot plot(nullptr);
        DisparityHistogramInfo info =
            histogramInfo(-64, 64, computeParallaxLimits(1920, -64, 64, 0, 0, 0), 0.25);
        info.histogram[64 + 7] = 1.0;
        plot.setHistogram(info);
        const DisparityPlotHistogram* histogram = onlyHistogram(plot);
        QVERIFY(histogram);
        QCOMPARE(int(histogram->dataSize()), 129);
        for (int i = 0; i < 129; ++i) {
            const QwtIntervalSample sample = histogram->sample(i);
            // Parallax is the negative disparity: disparity i - 64 stands at 64 - i.
            QCOMPARE(sample.interval.minValue(), 64 - i - 0.5);
            QCOMPARE(sample.interval.maxValue(), 64 - i + 0.5);
            QCOMPARE(sample.interval.borderFlags(), QwtInterval::BorderFlags(QwtInterval::IncludeBorders));
            QCOMPARE(sample.value, info.histogram[i]);
        }
        QCOMPARE(histogram->boundingRect().top() + histogram->boundingRect().height(), 1.0);
    }

    void tallestColumnReachesOne()
    {
        DisparityHistogramInfo info =
            histogramInfo(-64, 64, computeParallaxLimits(1920, -64, 64, 0, 0, 0), 0.25);
        info.histogram[64 + 7] = 1.0;
        RenderedPlot rendered(info);
        const QColor white(255, 255, 255);
        QVERIFY(rendered.at(7, 0.97) != white);
        QCOMPARE(rendered.at(8, 0.97), white);
        QVERIFY(rendered.at(8, 0.2) != white);
        QCOMPARE(rendered.at(8, 0.3), white);
    }

    // Settings all 0 on -64..64: band -2..2, both limits at 0.
    void columnColorsForAllSettingsZero()
    {
        RenderedPlot rendered(histogramInfo(-64, 64, computeParallaxLimits(1920, -64, 64, 0, 0, 0)));
        QCOMPARE(rendered.at(-64, 0.5), QColor(32, 32, 63));
        QCOMPARE(rendered.at(-2, 0.5), QColor(125, 125, 249));
        QCOMPARE(rendered.at(2, 0.5), QColor(249, 49, 49));
        QCOMPARE(rendered.at(64, 0.5), QColor(63, 12, 12));
        int previousBlue = 0;
        int previousRed = 256;
        for (int d = -64; d <= 64; ++d) {
            const QColor c = rendered.at(d, 0.5);
            const QByteArray where = QByteArray::number(d);
            if (d >= -1 && d <= 1) {
                QVERIFY2(c == QColor(0, 204, 0), where);
            } else if (d < 0) { // blue, lightest next to the far limit
                QVERIFY2(c.red() == c.green() && c.blue() > c.red() && c.blue() >= previousBlue, where);
                previousBlue = c.blue();
            } else { // red, darkening away from the near limit
                QVERIFY2(c.green() == c.blue() && c.red() > c.green() && c.red() <= previousRed, where);
                previousRed = c.red();
            }
        }
    }

    // The plot colours whole disparities exactly as the map colours their sixteenths.
    void columnsMatchTheColoredMap_data()
    {
        QTest::addColumn<int>("minDisparity");
        QTest::addColumn<int>("maxDisparity");
        QTest::addColumn<int>("width");
        QTest::addColumn<double>("parallaxNear");
        QTest::addColumn<double>("parallaxScreen");
        QTest::addColumn<double>("parallaxFar");
        QTest::newRow("near -2 %, far 1 %, 1000 pixels") << -64 << 64 << 1000 << -2.0 << 0.0 << 1.0;
        QTest::newRow("screen off zero") << -64 << 64 << 1920 << -1.0 << 0.5 << 1.5;
        QTest::newRow("positive range, narrow band") << 16 << 48 << 1920 << -2.0 << -1.5 << -1.0;
        QTest::newRow("near limit past the range") << -32 << 32 << 1920 << -5.0 << 0.0 << 0.5;
    }
    void columnsMatchTheColoredMap()
    {
        QFETCH(int, minDisparity);
        QFETCH(int, maxDisparity);
        QFETCH(int, width);
        QFETCH(double, parallaxNear);
        QFETCH(double, parallaxScreen);
        QFETCH(double, parallaxFar);
        const ParallaxLimits limits = computeParallaxLimits(width, minDisparity, maxDisparity, parallaxNear,
                                                            parallaxScreen, parallaxFar);
        cv::Mat raw(1, maxDisparity - minDisparity + 1, CV_16SC1);
        for (int d = minDisparity; d <= maxDisparity; ++d)
            raw.at<int16_t>(0, d - minDisparity) = int16_t(d * 16);
        const cv::Mat map =
            colorizeDisparity(raw, minDisparity, maxDisparity, limits.farDisparity, limits.screenDisparityLow,
                              limits.screenDisparityHigh, limits.nearDisparity);

        RenderedPlot rendered(histogramInfo(minDisparity, maxDisparity, limits));
        QSet<QRgb> distinct;
        for (int d = minDisparity; d <= maxDisparity; ++d) {
            const cv::Vec3b bgr = map.at<cv::Vec3b>(0, d - minDisparity);
            QCOMPARE(rendered.at(d, 0.5), QColor(bgr[2], bgr[1], bgr[0]));
            distinct.insert(rendered.at(d, 0.5).rgb());
        }
        QVERIFY(distinct.size() > 10); // the columns are really coloured by class and shade
    }

    void emptyHistogramDrawsNothing()
    {
        DisparityHistogramInfo info;
        RenderedPlot rendered(info);
        QVERIFY(onlyHistogram(rendered.m_plot));
        QCOMPARE(rendered.m_canvas.pixelColor(rendered.m_canvas.rect().center()), QColor(255, 255, 255));
    }
};

QTEST_MAIN(TestDisparityPlot)
#include "tst_disparityplot.moc"
