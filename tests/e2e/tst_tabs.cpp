// The analysis tabs on the built-in virtual rig: the calibration tab finds the
// board in both cameras and measures the rig's misalignment; the disparity tab
// analyses a pair, saves it under its timecode, and its histogram shows the
// depths of the scene.

#include "common/modalanswerer.h"
#include "common/privatesettings.h"
#include "plots/disparityplot.h"
#include "windowdriver.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <qwt_plot_histogram.h>

namespace {

constexpr int kWait = 30000;

// Cards 1 and 2 carry the left and right camera; the right one is turned by
// 0.3 degrees, 2 pixels low and 1% zoomed in.
void startDoubleCapture(WindowDriver& driver)
{
    QVERIFY(waitForCards(driver, 3));
    driver.chooseDouble(0, 1);
    driver.click();
    QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
}

QColor background(const QLabel* label)
{
    return label->palette().color(QPalette::Window);
}

} // namespace

class TestTabs : public QObject
{
    Q_OBJECT

    PrivateSettings m_settings;

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        silenceFrameLog();
    }

    void cleanup() { verifyEveryCardReleased(); }

    void calibrationMeasuresTheRigsMisalignment()
    {
        QVERIFY(virtualcards::configure(virtualcards::defaultConfiguration()));
        ModalAnswerer answerer;
        MainWindow window;
        WindowDriver driver(window);
        startDoubleCapture(driver);
        driver.tabs()->setCurrentIndex(1);

        QTRY_VERIFY_WITH_TIMEOUT(driver.showsPicture("lbl_ImageProcessedLeft") &&
                                     driver.showsPicture("lbl_ImageProcessedRight") &&
                                     driver.showsPicture("lbl_ImageResult"),
                                 kWait);
        // The indicators average the last three measurements; once three pairs
        // with the board in both views have come in, they show the rig.
        bool ok = false;
        QTRY_VERIFY_WITH_TIMEOUT((driver.label("lbl_RotationTxt").toDouble(&ok), ok) &&
                                     qAbs(qAbs(driver.label("lbl_RotationTxt").toDouble()) - 0.3) < 0.1,
                                 kWait);
        qInfo("indicators: zoom %s, rotation %s, y offset %s, x offset %s",
              qPrintable(driver.label("lbl_zoomTxt")), qPrintable(driver.label("lbl_RotationTxt")),
              qPrintable(driver.label("lbl_yOffsetTxt")), qPrintable(driver.label("lbl_xOffsetTxt")));
        QCOMPARE(background(driver.widget<QLabel>("lbl_RotationTxt")), QColor(Qt::yellow));
        QCOMPARE(background(driver.widget<QLabel>("lbl_yOffsetTxt")), QColor(Qt::red));
        QCOMPARE(background(driver.widget<QLabel>("lbl_zoomTxt")), QColor(Qt::yellow));
        QVERIFY(answerer.titles().isEmpty());
    }

    void disparityAnalysisIsSavedUnderItsTimecode()
    {
        QVERIFY(virtualcards::configure(virtualcards::defaultConfiguration()));
        QTemporaryDir output;
        QVERIFY(output.isValid());
        ModalAnswerer answerer;
        MainWindow window;
        WindowDriver driver(window);
        startDoubleCapture(driver);
        driver.tabs()->setCurrentIndex(2);
        driver.widget<QLineEdit>("lineEdit_disparityOutputDir")->setText(output.path());
        driver.widget<QGroupBox>("grp_SaveResults")->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(driver.showsPicture("lbl_DisparityLivePreviewLeft") &&
                                     driver.showsPicture("lbl_DisparityLivePreviewRight"),
                                 kWait);

        QTest::mouseClick(driver.widget<QPushButton>("btn_calcDisparityMap"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(QDir(output.path()).entryList(QDir::Files).size(), 3, kWait);
        QVERIFY(driver.showsPicture("lbl_DisparityMapResult"));
        const QStringList files = QDir(output.path()).entryList(QDir::Files, QDir::Name);
        const QRegularExpression name("^ds_camera_calibrator_(\\d{3}_\\d\\d_\\d\\d_\\d\\d)_(L|R|map)\\.png$");
        const QString stem = name.match(files.value(0)).captured(1);
        QVERIFY2(!stem.isEmpty(), qPrintable(files.join(", ")));
        const QString prefix = "ds_camera_calibrator_" + stem;
        QCOMPARE(files, (QStringList{prefix + "_L.png", prefix + "_R.png", prefix + "_map.png"}));
        for (const QString& file : files)
            QVERIFY(!QImage(QDir(output.path()).filePath(file)).isNull());

        // The histogram's highest column lies among the depths of the scene:
        // from the nearest box (under 1.5% of the width in front of the
        // screen) to the wall (a little over 2% behind it).
        auto* plot = dynamic_cast<DisparityPlot*>(window.findChild<QWidget*>("wgt_DisparityHistogram"));
        QVERIFY(plot);
        const QwtPlotItemList histograms = plot->itemList(QwtPlotItem::Rtti_PlotHistogram);
        QCOMPARE(histograms.size(), 1);
        const auto* histogram = static_cast<const QwtPlotHistogram*>(histograms.first());
        QVERIFY(histogram->dataSize() > 0);
        QwtIntervalSample peak = histogram->sample(0);
        for (size_t i = 1; i < histogram->dataSize(); ++i)
            if (histogram->sample(i).value > peak.value)
                peak = histogram->sample(i);
        const double width = 1920;
        qInfo("histogram peak at %g px", peak.interval.minValue());
        QVERIFY(peak.interval.minValue() >= -0.015 * width - 1);
        QVERIFY(peak.interval.maxValue() <= 0.025 * width + 1);
        QVERIFY(answerer.titles().isEmpty());
    }
};

QTEST_MAIN(TestTabs)
#include "tst_tabs.moc"
