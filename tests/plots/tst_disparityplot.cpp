// The histogram plot: one item per result, one column per whole disparity, and
// column colours read back from the rendered widget.

#include "plots/disparityplot.h"
#include "plots/disparityplothistogram.h"

#include <QtTest>
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
    explicit RenderedPlot(const DisparityHistogramInfo& info)
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
        const int x = qRound(m_plot.canvasMap(QwtPlot::xBottom).transform(disparity));
        const int y = qRound(m_plot.canvasMap(QwtPlot::yLeft).transform(height));
        return m_canvas.pixelColor(x, y);
    }

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
            QCOMPARE(sample.interval.minValue(), i - 64 - 0.5);
            QCOMPARE(sample.interval.maxValue(), i - 64 + 0.5);
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
