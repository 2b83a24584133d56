// The alignment readout on the built-in virtual rig, whose right camera is
// rolled 0.3 degree clockwise on screen, 2 px low and 1 % zoomed in: the
// readings, the take log, and the orientation warning for each wrong
// rotate/flip setting of the right camera (and none for the right one).

#include "app/alignmentlog.h"
#include "common/modalanswerer.h"
#include "plots/alignmenttrendplot.h"
#include "windowdriver.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTemporaryDir>

namespace {

constexpr int kWait = 30000;

// The number a readout text starts with ("2.0 px (...)", "0.30 deg").
double leadingNumber(const QString& text)
{
    return text.section(QLatin1Char(' '), 0, 0).toDouble();
}

} // namespace

class TestAlignment : public WindowTestCase
{
    Q_OBJECT

private slots:
    void readoutLogAndOrientationOnTheRig()
    {
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QTemporaryDir output;
        QVERIFY(output.isValid());
        QVERIFY2(driver.ready(3), driver.problem());
        driver.chooseDouble(0, 1);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        driver.widget<QLineEdit>("lineEdit_disparityOutputDir")->setText(output.path());
        driver.tabs()->setCurrentIndex(1);
        QTest::mouseClick(driver.widget<QPushButton>("btn_AlignmentRecord"), Qt::LeftButton);

        // Three readings in the window: the readout averages the rig itself.
        auto* trend = driver.widget<AlignmentTrendPlot>("wgt_AlignmentTrend");
        QTRY_VERIFY_WITH_TIMEOUT(trend->readingCount() >= 3, kWait);
        const double vertical = leadingNumber(driver.label("lbl_AlignVerticalValue"));
        const double roll = leadingNumber(driver.label("lbl_AlignRollValue"));
        const double size = leadingNumber(driver.label("lbl_AlignSizeValue"));
        qInfo("readout: vertical %s, roll %s, size %s, horizontal %s",
              qPrintable(driver.label("lbl_AlignVerticalValue")),
              qPrintable(driver.label("lbl_AlignRollValue")), qPrintable(driver.label("lbl_AlignSizeValue")),
              qPrintable(driver.label("lbl_AlignHorizontalValue")));
        QVERIFY(qAbs(vertical - 2.0) <= 0.2);
        QVERIFY(qAbs(roll - 0.3) <= 0.03);
        QVERIFY(qAbs(size - 1.0) <= 0.1);
        QVERIFY(driver.label("lbl_AlignVerticalAction").startsWith("Right camera: tilt down"));
        QVERIFY(driver.label("lbl_AlignRollAction").endsWith("deg clockwise"));
        QVERIFY(driver.label("lbl_AlignSizeAction").startsWith("Right camera: zoom out"));
        QCOMPARE(driver.label("lbl_AlignHorizontalState"), QStringLiteral("OK"));

        // The scene's column beside the board's: the same rig, the same readings.
        QTRY_VERIFY_WITH_TIMEOUT(driver.label("lbl_SceneVerticalValue") != QStringLiteral("-"), kWait);
        qInfo("scene: vertical %s, roll %s, size %s, toe-in %s, tilt %s; %s",
              qPrintable(driver.label("lbl_SceneVerticalValue")),
              qPrintable(driver.label("lbl_SceneRollValue")), qPrintable(driver.label("lbl_SceneSizeValue")),
              qPrintable(driver.label("lbl_SceneToeInValue")), qPrintable(driver.label("lbl_SceneTiltValue")),
              qPrintable(driver.label("lbl_SceneEvidence")));
        QVERIFY(qAbs(leadingNumber(driver.label("lbl_SceneVerticalValue")) - 2.0) <= 0.2);
        QVERIFY(qAbs(leadingNumber(driver.label("lbl_SceneRollValue")) - 0.3) <= 0.03);
        QVERIFY(qAbs(leadingNumber(driver.label("lbl_SceneSizeValue")) - 1.0) <= 0.1);
        QCOMPARE(driver.label("lbl_SceneToeInState"), QStringLiteral("OK"));
        QVERIFY(driver.label("lbl_SceneHeader").contains(QRegularExpression("scene: \\d+ matches")));
        QVERIFY(driver.label("lbl_SceneEvidence").startsWith("Scene: "));
        QTRY_VERIFY_WITH_TIMEOUT(!trend->sceneValues(AlignmentTrendPlot::Roll).isEmpty(), kWait);

        // Right settings: no warning.
        auto* warning = driver.widget<QLabel>("lbl_OrientationWarning");
        QVERIFY(warning->isHidden());

        // Each wrong setting of the right camera, put right again in turn.
        const std::pair<const char*, const char*> wrong[] = {
            {"sett_RightFlipHorizontal", "Right picture looks mirrored left-right: untick Flip horizontal"},
            {"sett_RightFlipVertical", "Right picture looks mirrored top-bottom: untick Flip vertical"},
            {"sett_RightRotate180", "Right picture looks turned 180 degrees: untick Rotate 180"},
        };
        for (const auto& [box, advice] : wrong) {
            auto* check = driver.widget<QCheckBox>(box);
            check->setChecked(true);
            QTRY_VERIFY_WITH_TIMEOUT(!warning->isHidden() && warning->text().contains(advice), kWait);
            check->setChecked(false);
            QTRY_VERIFY_WITH_TIMEOUT(warning->isHidden(), kWait);
        }

        // The take log: one file, a header and a line per paired result.
        QTest::mouseClick(driver.widget<QPushButton>("btn_AlignmentRecord"), Qt::LeftButton);
        const QStringList files = QDir(output.path()).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY2(QRegularExpression("^ds_camera_calibrator_\\d{3}_\\d\\d_\\d\\d_\\d\\d_alignment\\.csv$")
                     .match(files[0])
                     .hasMatch(),
                 qPrintable(files[0]));
        QFile file(QDir(output.path()).filePath(files[0]));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QVERIFY(lines.size() >= 4);
        QCOMPARE(lines[0] + '\n', AlignmentLog::header());
        QVERIFY(lines[1].contains(",yes,yes,"));
        // The scene's fields after the board's: lines with a scene reading have
        // an empty reason (those while a picture was flipped give one), before
        // the cameras' offset: frames, confidence, source and reason.
        QVERIFY(!lines
                     .filter(QRegularExpression(
                         ",\"\",(-?\\d+)?,(\\d\\.\\d\\d)?,(timecode|motion)?,(\"(?:[^\"]|\"\")*\")?$"))
                     .isEmpty());
        QVERIFY(driver.answerer.titles().isEmpty());
        driver.click();
    }
};

QTEST_MAIN(TestAlignment)
#include "tst_alignment.moc"
