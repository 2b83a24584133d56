// The analysis tabs on the built-in virtual rig: the calibration tab finds the
// board in both cameras and measures the rig's misalignment; the disparity tab
// analyses a pair, saves it under its timecode, and its histogram and depth
// budget show the depths of the scene; live analysis runs while the tab is
// shown and capture runs.

#include "board/calibrationboard.h"
#include "common/mainwindowprobe.h"
#include "common/modalanswerer.h"
#include "plots/disparityplot.h"
#include "windowdriver.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRegularExpression>
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

// The rig's two cameras without any misalignment: the default right camera's
// zoom would add a disparity that grows toward the picture's edges.
const char kAlignedRig[] = R"yaml(
cards:
  - { name: L, genlock: g, source: { kind: rig, view: left } }
  - { name: R, genlock: g, source: { kind: rig, view: right } }
)yaml";

// Parallax, in percent of the picture width, of a point at `depth` board
// distances in the rig: cameras 30 mm apart converge on the board, which
// fills 40 % of the width. The board's parallax is 0.
double rigParallaxPercent(double depth)
{
    const double boardWidth = CalibrationBoard::standard().size().width / 1000.0; // metres
    return 100.0 * 0.4 * 0.030 / boardWidth * (1.0 - 1.0 / depth);
}

// The rig puts its wall at 3.6 board distances and its nearest box at 0.7.
const double kWallParallax = rigParallaxPercent(3.6);
const double kNearestBoxParallax = rigParallaxPercent(0.7);

// Nearest and farthest parallax, in percent, as the budget line reads them.
bool readBudget(const QString& text, double& nearest, double& farthest)
{
    static const QRegularExpression figures(R"(nearest ([-+]?\d+\.\d+) % \(.*farthest ([-+]?\d+\.\d+) % \()");
    const QRegularExpressionMatch match = figures.match(text);
    if (!match.hasMatch())
        return false;
    nearest = match.captured(1).toDouble();
    farthest = match.captured(2).toDouble();
    return true;
}

QColor background(const QLabel* label)
{
    return label->palette().color(QPalette::Window);
}

} // namespace

class TestTabs : public WindowTestCase
{
    Q_OBJECT

private slots:
    void calibrationMeasuresTheRigsMisalignment()
    {
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(), driver.problem());
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
        QVERIFY(driver.answerer.titles().isEmpty());
    }

    void depthBudgetReachesFromTheNearestBoxToTheWall()
    {
        WindowOnCards driver(kAlignedRig);
        QTemporaryDir output;
        QVERIFY2(driver.ready(2), driver.problem());
        driver.chooseDouble(0, 1);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        driver.tabs()->setCurrentIndex(2);
        driver.widget<QLineEdit>("lineEdit_disparityOutputDir")->setText(output.path());
        driver.widget<QGroupBox>("grp_SaveResults")->setChecked(true);

        QTest::mouseClick(driver.widget<QPushButton>("btn_calcDisparityMap"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(QDir(output.path()).entryList({"*_budget.txt"}, QDir::Files).size(), 1,
                                  kWait);
        const QString shown = driver.label("lbl_DepthBudget");
        double nearest = 0, farthest = 0;
        QVERIFY2(readBudget(shown, nearest, farthest), qPrintable(shown));
        const QString report = QString("budget %1 % to %2 %, rig %3 % to %4 %")
                                   .arg(nearest)
                                   .arg(farthest)
                                   .arg(kNearestBoxParallax)
                                   .arg(kWallParallax);
        qInfo("%s", qPrintable(report));
        // Within 0.1 % of the picture width.
        QVERIFY2(qAbs(nearest - kNearestBoxParallax) <= 0.1, qPrintable(report));
        QVERIFY2(qAbs(farthest - kWallParallax) <= 0.1, qPrintable(report));

        // The file beside the pictures says the same.
        QFile file(QDir(output.path()).filePath(QDir(output.path()).entryList({"*_budget.txt"}).first()));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString written = QString::fromUtf8(file.readAll());
        QVERIFY2(written.contains(QString("Nearest parallax (1st percentile): %1 % of the width")
                                      .arg((nearest > 0 ? "+" : "") + QString::number(nearest, 'f', 2))),
                 qPrintable(written));
        QVERIFY(driver.answerer.titles().isEmpty());
    }

    void liveAnalysisRunsWhileTheTabIsShownAndCaptureRuns()
    {
        WindowOnCards driver(kAlignedRig);
        QVERIFY2(driver.ready(2), driver.problem());
        driver.chooseDouble(0, 1);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        driver.tabs()->setCurrentIndex(2);
        auto* live = driver.widget<QCheckBox>("chb_LiveAnalysis");
        auto* budget = driver.widget<QLabel>("lbl_DepthBudget");
        auto* analyze = driver.widget<QPushButton>("btn_calcDisparityMap");

        for (const bool leaveTheTab : {true, false}) {
            live->setChecked(true);
            // Several analyses follow one another, each shown as it comes.
            for (int analysis = 0; analysis < 3; ++analysis) {
                budget->clear();
                QTRY_VERIFY_WITH_TIMEOUT(budget->text().startsWith("Live depth budget"), kWait);
            }
            const QString shown = budget->text();
            QVERIFY2(shown.contains("analysed at 960 x 540 px, searched -64..64 px"), qPrintable(shown));
            double nearest = 0, farthest = 0;
            QVERIFY2(readBudget(shown, nearest, farthest), qPrintable(shown));
            const QString report = QString("live budget %1 % to %2 %, rig %3 % to %4 %")
                                       .arg(nearest)
                                       .arg(farthest)
                                       .arg(kNearestBoxParallax)
                                       .arg(kWallParallax);
            qInfo("%s", qPrintable(report));
            // On half-size pictures, as close as the full-size analysis.
            QVERIFY2(qAbs(nearest - kNearestBoxParallax) <= 0.1, qPrintable(report));
            QVERIFY2(qAbs(farthest - kWallParallax) <= 0.1, qPrintable(report));
            QVERIFY(analyze->isEnabled());

            if (leaveTheTab) {
                driver.tabs()->setCurrentIndex(0);
                QVERIFY(!live->isChecked());
                budget->clear();
                driver.tabs()->setCurrentIndex(2);
            } else {
                driver.click(); // stop capture
                QVERIFY(!live->isChecked());
                budget->clear();
            }
            // The worker has stopped, and a result already on its way is not shown.
            QVERIFY(!MainWindowProbe(driver.window).pipeline().disparityMap()->isLiveAnalysisOn());
            QCoreApplication::processEvents();
            QVERIFY(budget->text().isEmpty());
        }
        QVERIFY(driver.answerer.titles().isEmpty());
    }

    void disparityAnalysisIsSavedUnderItsTimecode()
    {
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QTemporaryDir output;
        QVERIFY(output.isValid());
        QVERIFY2(driver.ready(), driver.problem());
        startDoubleCapture(driver);
        driver.tabs()->setCurrentIndex(2);
        driver.widget<QLineEdit>("lineEdit_disparityOutputDir")->setText(output.path());
        driver.widget<QGroupBox>("grp_SaveResults")->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(driver.showsPicture("lbl_DisparityLivePreviewLeft") &&
                                     driver.showsPicture("lbl_DisparityLivePreviewRight"),
                                 kWait);

        QTest::mouseClick(driver.widget<QPushButton>("btn_calcDisparityMap"), Qt::LeftButton);
        // The three pictures and the depth budget beside them.
        QTRY_COMPARE_WITH_TIMEOUT(QDir(output.path()).entryList(QDir::Files).size(), 4, kWait);
        QVERIFY(driver.showsPicture("lbl_DisparityMapResult"));
        const QStringList files = QDir(output.path()).entryList({"*.png"}, QDir::Files, QDir::Name);
        const QRegularExpression name("^ds_camera_calibrator_(\\d{3}_\\d\\d_\\d\\d_\\d\\d)_(L|R|map)\\.png$");
        const QString stem = name.match(files.value(0)).captured(1);
        QVERIFY2(!stem.isEmpty(), qPrintable(files.join(", ")));
        const QString prefix = "ds_camera_calibrator_" + stem;
        QCOMPARE(files, (QStringList{prefix + "_L.png", prefix + "_R.png", prefix + "_map.png"}));
        QCOMPARE(QDir(output.path()).entryList({"*.txt"}, QDir::Files), QStringList{prefix + "_budget.txt"});
        for (const QString& file : files)
            QVERIFY(!QImage(QDir(output.path()).filePath(file)).isNull());

        // The histogram's highest column lies among the depths of the scene:
        // from the nearest box (under 1.5% of the width in front of the
        // screen) to the wall (a little over 2% behind it).
        auto* plot = driver.window.findChild<DisparityPlot*>("wgt_DisparityHistogram");
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
        QVERIFY(driver.answerer.titles().isEmpty());
    }
};

QTEST_MAIN(TestTabs)
#include "tst_tabs.moc"
