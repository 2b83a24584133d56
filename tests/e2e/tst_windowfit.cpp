// The window on a set laptop, end to end on the virtual rig: it fits a
// 1280 x 720 screen on every tab while capture runs, a tab that waits for a
// pair says why, and a stop leaves nothing of the capture on screen.

#include "windowdriver.h"

#include <QCheckBox>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>

namespace {

constexpr int kWait = 30000; // generous for the sanitizer build
// The smallest screen the window is made for.
const QSize kLaptopScreen(1280, 720);

// Two free-running cameras whose timecodes are half a minute apart: their
// frames never carry equal time labels.
const char kTimecodesApart[] = R"yaml(
cards:
  - { name: L, timecodeStart: "00:00:47:00", source: { kind: rig, view: left } }
  - { name: R, timecodeStart: "00:00:17:00", source: { kind: rig, view: right } }
)yaml";

bool fits(const QSize& size)
{
    return size.width() <= kLaptopScreen.width() && size.height() <= kLaptopScreen.height();
}

QByteArray sizeText(const QSize& size)
{
    return QByteArray::number(size.width()) + " x " + QByteArray::number(size.height());
}

} // namespace

class TestWindowFit : public WindowTestCase
{
    Q_OBJECT

private slots:
    void twoCardsChooseDoubleInput()
    {
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(3), driver.problem());
        QVERIFY(driver.widget<QRadioButton>("rbn_DoubleInput")->isChecked());
        QVERIFY(driver.leftList()->currentIndex() != driver.rightList()->currentIndex());
    }

    void fitsALaptopScreenWhileCapturing_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("shows");
        QTest::newRow("acquisition") << "tabAcquisition"
                                     << "lbl_ImageLiveRight";
        QTest::newRow("calibration") << "tabCalibration"
                                     << "lbl_ImageResult";
        QTest::newRow("disparity, analysed") << "tabDepth"
                                             << "lbl_DisparityMapResult";
    }

    void fitsALaptopScreenWhileCapturing()
    {
        QFETCH(QString, tab);
        QFETCH(QString, shows);
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(3), driver.problem());
        QVERIFY2(fits(driver.window.minimumSizeHint()), sizeText(driver.window.minimumSizeHint()));

        driver.chooseDouble(0, 1);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        driver.tabs()->setCurrentWidget(driver.widget(tab.toLatin1().constData()));
        if (tab == QLatin1String("tabDepth")) {
            auto* analyze = driver.widget<QPushButton>("btn_calcDisparityMap");
            QTRY_VERIFY_WITH_TIMEOUT(analyze->isEnabled(), kWait);
            analyze->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(driver.showsPicture(shows.toLatin1().constData()), kWait);
        // The scene's readings are the readout's longest texts.
        if (tab == QLatin1String("tabCalibration"))
            QTRY_VERIFY_WITH_TIMEOUT(driver.label("lbl_SceneEvidence").contains(QStringLiteral("matches")),
                                     kWait);
        // The rows and texts the capture filled in are laid out by now.
        QCoreApplication::processEvents();
        const QSize minimum = driver.window.minimumSizeHint().expandedTo(driver.window.minimumSize());
        QVERIFY2(fits(minimum), sizeText(minimum));
        // On the laptop's screen the tab's control column scrolls down only:
        // nothing in it hides to the right.
        driver.window.showNormal();
        driver.window.resize(kLaptopScreen);
        QCoreApplication::processEvents();
        for (const QScrollArea* column :
             driver.widget(tab.toLatin1().constData())
                 ->findChildren<QScrollArea*>(QRegularExpression(QStringLiteral("^scroll_"))))
            QVERIFY2(column->horizontalScrollBar()->maximum() == 0,
                     qPrintable(QStringLiteral("%1 hides %2 px to the right")
                                    .arg(column->objectName())
                                    .arg(column->horizontalScrollBar()->maximum())));
        driver.click();
    }

    void waitingTabsSayWhy()
    {
        WindowOnCards driver(kTimecodesApart);
        QVERIFY2(driver.ready(2), driver.problem());
        driver.chooseDouble(0, 1);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        // Each input's rate is measured on the acquisition tab.
        QTRY_VERIFY_WITH_TIMEOUT(driver.label("lbl_rightFrames").contains(QStringLiteral("frames/s")), kWait);

        for (const char* tab : {"tabCalibration", "tabDepth"}) {
            driver.tabs()->setCurrentWidget(driver.widget(tab));
            const auto* line = driver.widget<QLabel>(
                tab == QByteArray("tabDepth") ? "lbl_DisparityWaiting" : "lbl_CalibrationWaiting");
            QTRY_VERIFY_WITH_TIMEOUT(!line->text().isEmpty(), kWait);
            // The cards' clocks start within a frame of each other.
            static const QRegularExpression reason(QStringLiteral(
                R"(^Waiting for a pair: the right input's timecode is (29|30) s behind the left \(right 000:00:)"));
            QVERIFY2(reason.match(line->text()).hasMatch(), qPrintable(line->text()));
        }
        driver.click();
        QVERIFY(driver.label("lbl_DisparityWaiting").isEmpty());
        QVERIFY(driver.label("lbl_rightFrames").isEmpty());
    }

    void stopLeavesNothingOfTheCapture()
    {
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(3), driver.problem());
        const QString invitation = driver.label("lbl_DepthBudget");
        driver.chooseDouble(0, 1);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        driver.tabs()->setCurrentWidget(driver.widget("tabDepth"));
        driver.widget<QCheckBox>("chb_LiveAnalysis")->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(driver.showsPicture("lbl_DisparityMapResult"), kWait);
        QVERIFY(driver.label("lbl_DepthBudget") != invitation);

        driver.click();
        for (const char* picture :
             {"lbl_DisparityLivePreviewLeft", "lbl_DisparityLivePreviewRight", "lbl_DisparityMapResult",
              "lbl_DisparityInputImgL", "lbl_DisparityInputImgR"})
            QVERIFY2(!driver.showsPicture(picture), picture);
        QCOMPARE(driver.label("lbl_DepthBudget"), invitation);
        for (const char* row : {"lbl_leftTimecode", "lbl_rightTimecode", "lbl_leftPixelFormat",
                                "lbl_rightStreamTime", "lbl_leftFrames"})
            QVERIFY2(driver.label(row).isEmpty(), row);
    }
};

QTEST_MAIN(TestWindowFit)
#include "tst_windowfit.moc"
