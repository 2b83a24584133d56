// The disparity analysis as the user drives it: the settings check, the
// output directory, the live pair, live analysis, the results with their depth
// budget on the target screen, and their export.

#include "app/mainwindow.h"
#include "pipeline/logcategories.h"

#include "app/appnames.h"
#include "app/filewrite.h"
#include "app/rememberedcontrols.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QFileDialog>
#include <QSettings>
#include <QSignalBlocker>
#include <QStatusBar>
#include <cmath>
#include <opencv2/imgcodecs.hpp>
#include <utility>
#include <vector>

namespace {

// The target screens offered besides a custom width, in the order of the list.
constexpr double kScreenPresets[] = {1.4, 5.0, 12.0};
constexpr int kCustomScreen = 3;
// The largest preset by default: where divergence shows first.
constexpr double kDefaultScreenWidth = 12.0;
constexpr double kDefaultEyeSeparation = 65.0;
// Percent of the picture width.
constexpr double kLargestParallax = 100.0;

// What is wrong with the analysis settings; empty when the matcher can work
// with them and the parallax limits are in order.
QString disparitySettingsProblem(int minDisparity, int maxDisparity, int blockSize, double parallaxNear,
                                 double parallaxScreen, double parallaxFar)
{
    if ((minDisparity & 15) != 0)
        return QStringLiteral("Wrong value of minimum disparity\nShould be divisible by 16");
    if ((maxDisparity & 15) != 0)
        return QStringLiteral("Wrong value of maximum disparity\nShould be divisible by 16");
    if (blockSize % 2 == 0)
        return QStringLiteral("Wrong value of block size\nShould be an odd number");
    // The matcher searches the disparities from the minimum up to the maximum.
    if (maxDisparity <= minDisparity)
        return QStringLiteral(
            "Wrong value of maximum disparity\nShould be greater than the minimum disparity");
    // A parallax beyond the picture's width has no meaning; the boxes take
    // more, so that a value out of range is refused with a word, not cut short.
    const std::pair<const char*, double> parallaxes[] = {
        {"near", parallaxNear}, {"screen", parallaxScreen}, {"far", parallaxFar}};
    for (const auto& [name, value] : parallaxes)
        if (std::abs(value) > kLargestParallax)
            return QStringLiteral("Wrong value of parallax %1\nShould lie from -%2 % to %2 % of the picture "
                                  "width; %3 % is refused")
                .arg(QLatin1String(name))
                .arg(kLargestParallax)
                .arg(value);
    // Near, screen and far go from in front of the screen to behind it; equal
    // values are allowed, as in the defaults.
    if (parallaxNear > parallaxScreen)
        return QStringLiteral("Wrong value of parallax near\nShould not be greater than parallax screen");
    if (parallaxScreen > parallaxFar)
        return QStringLiteral("Wrong value of parallax far\nShould not be less than parallax screen");
    return QString();
}

// "ds_camera_calibrator_hhh_mm_ss_ff" + suffix, from the frame's time label.
QString resultFileName(const VideoFrame& frame, const char* suffix)
{
    QString name = QStringLiteral("ds_camera_calibrator_") + formatTimeWord(timeLabel(frame)) + suffix;
    return name.replace(QLatin1Char(':'), QLatin1Char('_'));
}

// Encodes in memory and writes the whole file or nothing: cv::imwrite can
// report success for a file the disk cut short.
bool writePng(const QString& path, const cv::Mat& image, QString& reason)
{
    // Without compression: the files are read back for measurements.
    const std::vector<int> parameters{cv::IMWRITE_PNG_COMPRESSION, 0};
    std::vector<uchar> encoded;
    try {
        if (!cv::imencode(".png", image, encoded, parameters)) {
            reason = QStringLiteral("the picture cannot be stored as PNG");
            return false;
        }
    } catch (const cv::Exception& error) {
        // An empty picture, or one the encoder refuses.
        qCWarning(lcWindow) << "writePng -" << path << error.what();
        reason = QStringLiteral("the picture cannot be stored as PNG");
        return false;
    }
    return writeFileAtomically(
        path, QByteArray::fromRawData(reinterpret_cast<const char*>(encoded.data()), int(encoded.size())),
        &reason);
}

const QString kWriteErrorTitle = QStringLiteral("Write error");
const QString kWriteErrorText = QStringLiteral("Cannot write results of disparity analysis");

QString signedNumber(double value, int decimals)
{
    return (value > 0 ? QStringLiteral("+") : QString()) + QString::number(value, 'f', decimals);
}

QString budgetFigures(const DepthBudget& b)
{
    return QStringLiteral("nearest %1 % (%2 px), farthest %3 % (%4 px), total %5 % (%6 px)")
        .arg(signedNumber(b.nearestPercent, 2), signedNumber(b.nearestPixels(), 1),
             signedNumber(b.farthestPercent, 2), signedNumber(b.farthestPixels(), 1),
             QString::number(b.totalPercent(), 'f', 2), QString::number(b.totalPixels(), 'f', 1));
}

QString screenFigures(const DepthBudget& b, double screenWidth, double eyeSeparation)
{
    const ScreenBudget screen = screenBudget(b, screenWidth, eyeSeparation);
    return QStringLiteral("nearest %1 mm, farthest %2 mm, total %3 mm")
        .arg(signedNumber(screen.nearestMm, 0), signedNumber(screen.farthestMm, 0),
             QString::number(screen.totalMm, 'f', 0));
}

} // namespace

MainWindow::AnalysisSettings MainWindow::analysisSettings() const
{
    AnalysisSettings s;
    s.parallaxNear = m_ui->box_ParallaxNear->value();
    s.parallaxScreen = m_ui->box_ParallaxScreen->value();
    s.parallaxFar = m_ui->box_ParallaxFar->value();
    s.outputColored = m_ui->chb_OutputColored->isChecked();
    s.minDisparity = m_ui->box_MinDisparity->value();
    s.maxDisparity = m_ui->box_MaxDisparity->value();
    s.blockSize = m_ui->box_BlockSize->value();
    return s;
}

void MainWindow::setUpDisparity()
{
    m_ui->wgt_DisparityHistogramLegend->setHorizontal(true);
    m_ui->wgt_DisparityHistogramLegend->setKind(DisparityLegend::Kind::Histogram);
    m_ui->lbl_DivergenceWarning->hide();

    // The target screen as last used; the list shows a preset when the width is one.
    QSettings settings(kOrganizationName, kApplicationName);
    bool ok = false;
    double width = settings.value(kTargetScreenWidthKey, kDefaultScreenWidth).toDouble(&ok);
    if (!ok || !(width >= m_ui->box_ScreenWidth->minimum() && width <= m_ui->box_ScreenWidth->maximum()))
        width = kDefaultScreenWidth;
    double eyes = settings.value(kEyeSeparationKey, kDefaultEyeSeparation).toDouble(&ok);
    if (!ok || !(eyes >= m_ui->box_EyeSeparation->minimum() && eyes <= m_ui->box_EyeSeparation->maximum()))
        eyes = kDefaultEyeSeparation;
    int preset = kCustomScreen;
    for (int i = 0; i < kCustomScreen; ++i)
        if (std::abs(kScreenPresets[i] - width) < 1e-9)
            preset = i;
    {
        const QSignalBlocker list(m_ui->cmb_TargetScreen), box(m_ui->box_ScreenWidth),
            eyeBox(m_ui->box_EyeSeparation);
        m_ui->cmb_TargetScreen->setCurrentIndex(preset);
        m_ui->box_ScreenWidth->setValue(width);
        m_ui->box_EyeSeparation->setValue(eyes);
    }
    m_ui->box_ScreenWidth->setEnabled(preset == kCustomScreen);

    // The analysis as it was last set up.
    rememberControls({{"Disparity/ParallaxNear", m_ui->box_ParallaxNear},
                      {"Disparity/ParallaxScreen", m_ui->box_ParallaxScreen},
                      {"Disparity/ParallaxFar", m_ui->box_ParallaxFar},
                      {"Disparity/MinDisparity", m_ui->box_MinDisparity},
                      {"Disparity/MaxDisparity", m_ui->box_MaxDisparity},
                      {"Disparity/BlockSize", m_ui->box_BlockSize},
                      {"Disparity/OutputColored", m_ui->chb_OutputColored}});

    for (QObject* box :
         {static_cast<QObject*>(m_ui->box_ParallaxNear), static_cast<QObject*>(m_ui->box_ParallaxScreen),
          static_cast<QObject*>(m_ui->box_ParallaxFar)})
        connect(box, SIGNAL(valueChanged(double)), this, SLOT(onLiveSettingsChanged()));
    for (QObject* box :
         {static_cast<QObject*>(m_ui->box_MinDisparity), static_cast<QObject*>(m_ui->box_MaxDisparity),
          static_cast<QObject*>(m_ui->box_BlockSize)})
        connect(box, SIGNAL(valueChanged(int)), this, SLOT(onLiveSettingsChanged()));
    connect(m_ui->chb_OutputColored, SIGNAL(toggled(bool)), this, SLOT(onLiveSettingsChanged()));
}

void MainWindow::on_btn_calcDisparityMap_clicked()
{
    const AnalysisSettings s = analysisSettings();
    const QString problem = disparitySettingsProblem(s.minDisparity, s.maxDisparity, s.blockSize,
                                                     s.parallaxNear, s.parallaxScreen, s.parallaxFar);
    if (!problem.isEmpty()) {
        onDisplayErrorMessage(QStringLiteral("Wrong settings"), problem);
        return;
    }
    m_requestedSettings = s;
    m_pipeline->disparityMap()->calculate(s.minDisparity, s.maxDisparity, s.blockSize, s.outputColored,
                                          s.parallaxNear, s.parallaxScreen, s.parallaxFar);
    // One analysis at a time: the button comes back with its result or failure.
    m_ui->btn_calcDisparityMap->setEnabled(false);
}

void MainWindow::on_btn_FitRange_clicked()
{
    const DepthBudget& b = m_shownAnalysis.budget;
    if (!m_analysisShown || !b.valid) {
        statusBar()->showMessage(
            QStringLiteral("Fit range needs a depth budget: press Analyze (or switch Live "
                           "on) with the scene in view first."));
        return;
    }
    const double toFullWidth = b.fullWidthPerMapPixel();
    const DisparityRange range = fittedRange(b, int(std::lround(m_shownAnalysis.minDisparity * toFullWidth)),
                                             int(std::lround(m_shownAnalysis.maxDisparity * toFullWidth)));
    const int low = std::max(range.minDisparity, m_ui->box_MinDisparity->minimum());
    const int high = std::min(range.maxDisparity, m_ui->box_MaxDisparity->maximum());
    // The maximum first when it rises, so that the two never cross on the way.
    if (high > m_ui->box_MaxDisparity->value()) {
        m_ui->box_MaxDisparity->setValue(high);
        m_ui->box_MinDisparity->setValue(low);
    } else {
        m_ui->box_MinDisparity->setValue(low);
        m_ui->box_MaxDisparity->setValue(high);
    }
    statusBar()->showMessage(QStringLiteral("Disparity range set to %1..%2 px from the last depth budget; "
                                            "press Analyze to measure with it.")
                                 .arg(low)
                                 .arg(high));
}

void MainWindow::on_chb_LiveAnalysis_toggled(bool on)
{
    if (!on) {
        m_pipeline->disparityMap()->stopLiveAnalysis();
        statusBar()->clearMessage();
        return;
    }
    const AnalysisSettings s = analysisSettings();
    const QString problem = disparitySettingsProblem(s.minDisparity, s.maxDisparity, s.blockSize,
                                                     s.parallaxNear, s.parallaxScreen, s.parallaxFar);
    if (!problem.isEmpty()) {
        {
            const QSignalBlocker blocker(m_ui->chb_LiveAnalysis);
            m_ui->chb_LiveAnalysis->setChecked(false);
        }
        onDisplayErrorMessage(QStringLiteral("Wrong settings"), problem);
        return;
    }
    m_pipeline->disparityMap()->startLiveAnalysis(s.minDisparity, s.maxDisparity, s.blockSize,
                                                  s.outputColored, s.parallaxNear, s.parallaxScreen,
                                                  s.parallaxFar);
}

void MainWindow::onLiveSettingsChanged()
{
    if (!m_ui->chb_LiveAnalysis->isChecked())
        return;
    const AnalysisSettings s = analysisSettings();
    const QString problem = disparitySettingsProblem(s.minDisparity, s.maxDisparity, s.blockSize,
                                                     s.parallaxNear, s.parallaxScreen, s.parallaxFar);
    // No box while the user is still typing: the settings being edited may
    // pass through wrong values on the way.
    if (!problem.isEmpty()) {
        statusBar()->showMessage(QStringLiteral("Live analysis keeps its last valid settings: ") +
                                 QString(problem).replace(QLatin1Char('\n'), QStringLiteral(". ")));
        return;
    }
    statusBar()->clearMessage();
    m_pipeline->disparityMap()->startLiveAnalysis(s.minDisparity, s.maxDisparity, s.blockSize,
                                                  s.outputColored, s.parallaxNear, s.parallaxScreen,
                                                  s.parallaxFar);
}

void MainWindow::switchLiveAnalysisOff()
{
    m_ui->chb_LiveAnalysis->setChecked(false);
    m_pipeline->disparityMap()->stopLiveAnalysis();
}

double MainWindow::targetScreenWidth() const
{
    return m_ui->box_ScreenWidth->value();
}

void MainWindow::on_cmb_TargetScreen_currentIndexChanged(int index)
{
    const bool custom = index < 0 || index >= kCustomScreen;
    m_ui->box_ScreenWidth->setEnabled(custom);
    if (!custom)
        m_ui->box_ScreenWidth->setValue(kScreenPresets[index]); // stored and shown by its own slot
}

void MainWindow::on_box_ScreenWidth_valueChanged(double metres)
{
    QSettings(kOrganizationName, kApplicationName).setValue(kTargetScreenWidthKey, metres);
    showDepthBudget();
}

void MainWindow::on_box_EyeSeparation_valueChanged(double millimetres)
{
    QSettings(kOrganizationName, kApplicationName).setValue(kEyeSeparationKey, millimetres);
    showDepthBudget();
}

QString MainWindow::askForOutputDirectory(const QString& current)
{
    return QFileDialog::getExistingDirectory(this, QStringLiteral("Use directory"), current,
                                             QFileDialog::ShowDirsOnly);
}

void MainWindow::on_btn_setDisparityOutputDir_clicked()
{
    chooseOutputDirectory(m_ui->lineEdit_disparityOutputDir->text());
}

QString MainWindow::chooseOutputDirectory(const QString& startAt)
{
    const QString chosen = QDir::fromNativeSeparators(askForOutputDirectory(startAt));
    if (chosen.isEmpty())
        return QString(); // cancelled
    QSettings(kOrganizationName, kApplicationName).setValue(kDisparityOutputDirKey, chosen);
    m_ui->lineEdit_disparityOutputDir->setText(chosen);
    return chosen;
}

void MainWindow::onDisparityPreview(VideoFrame leftFrame, VideoFrame rightFrame)
{
    qCDebug(lcWindow) << "onDisparityPreview - leftFrame.data ="
                      << static_cast<const void*>(leftFrame.image.data)
                      << "rightFrame.data =" << static_cast<const void*>(rightFrame.image.data);
    showFrame(leftFrame, m_ui->lbl_DisparityLivePreviewLeft);
    showFrame(rightFrame, m_ui->lbl_DisparityLivePreviewRight);
}

void MainWindow::onNewDisparityMapResults(VideoFrame leftRawFrame, VideoFrame rightRawFrame,
                                          VideoFrame disparityMap, DisparityHistogramInfo disparity_histogram)
{
    qCDebug(lcWindow) << "onNewDisparityMapResults - disparityMap.data ="
                      << static_cast<const void*>(disparityMap.image.data);
    showDisparityAnalysis(leftRawFrame, rightRawFrame, disparityMap, disparity_histogram, false);
    if (m_ui->grp_SaveResults->isChecked())
        saveDisparityResults(leftRawFrame, rightRawFrame, disparityMap, disparity_histogram);
    m_ui->btn_calcDisparityMap->setEnabled(true);
}

void MainWindow::onDisparityMapFailed(QString reason)
{
    onDisplayErrorMessage(QStringLiteral("Disparity analysis error"), reason);
    m_ui->btn_calcDisparityMap->setEnabled(true);
}

void MainWindow::onNewLiveDisparityMapResults(VideoFrame leftFrame, VideoFrame rightFrame,
                                              VideoFrame disparityMap,
                                              DisparityHistogramInfo disparity_histogram)
{
    // One sent just before Live went off, or before the tab was left.
    if (!m_ui->chb_LiveAnalysis->isChecked())
        return;
    showDisparityAnalysis(leftFrame, rightFrame, disparityMap, disparity_histogram, true);
}

void MainWindow::onLiveAnalysisFailed(QString reason)
{
    if (!m_ui->chb_LiveAnalysis->isChecked())
        return;
    switchLiveAnalysisOff();
    onDisplayErrorMessage(QStringLiteral("Disparity analysis error"),
                          reason + QStringLiteral("\nLive analysis has been switched off; switch it on again "
                                                  "once the cause is removed."));
}

void MainWindow::showDisparityAnalysis(const VideoFrame& left, const VideoFrame& right, const VideoFrame& map,
                                       const DisparityHistogramInfo& analysis, bool live)
{
    showImage(left.image, m_ui->lbl_DisparityInputImgL);
    showImage(right.image, m_ui->lbl_DisparityInputImgR);
    showImage(map.image, m_ui->lbl_DisparityMapResult);
    m_ui->wgt_DisparityMapLegend->setKind(map.image.channels() == 1 ? DisparityLegend::Kind::GreyMap
                                                                    : DisparityLegend::Kind::ColoredMap);
    m_ui->wgt_DisparityHistogram->setHistogram(analysis);
    m_analysisShown = true;
    m_shownAnalysis = analysis;
    m_shownAnalysisIsLive = live;
    m_shownAnalysisSize = QSize(map.image.cols, map.image.rows);
    showDepthBudget();
}

void MainWindow::showDepthBudget()
{
    if (!m_analysisShown)
        return; // the form's invitation to analyse stays
    const DepthBudget& b = m_shownAnalysis.budget;
    const QString head =
        m_shownAnalysisIsLive
            ? QStringLiteral("Live depth budget (analysed at %1 x %2 px, searched %3..%4 px; "
                             "pixel figures at full width)")
                  .arg(m_shownAnalysisSize.width())
                  .arg(m_shownAnalysisSize.height())
                  .arg(std::lround(m_shownAnalysis.minDisparity * b.fullWidthPerMapPixel()))
                  .arg(std::lround(m_shownAnalysis.maxDisparity * b.fullWidthPerMapPixel()))
            : QStringLiteral("Depth budget");
    if (!b.valid) {
        m_ui->lbl_DepthBudget->setText(head +
                                       QStringLiteral(": no pixel was matched. Check that both cameras "
                                                      "see the scene, and widen the disparity range."));
        m_ui->lbl_DivergenceWarning->clear();
        m_ui->lbl_DivergenceWarning->hide();
        return;
    }
    const double screen = targetScreenWidth();
    const double eyes = m_ui->box_EyeSeparation->value();
    m_ui->lbl_DepthBudget->setText(
        QStringLiteral("%1, %2 (negative: in front of the screen); %3:\n%4\nOn the %5 screen: %6")
            .arg(head, budgetBasis(b), correctionNote(m_shownAnalysis.correction), budgetFigures(b),
                 screenName(screen), screenFigures(b, screen, eyes)));
    QStringList warnings;
    const QString divergence = divergenceWarning(b, screen, eyes);
    if (!divergence.isEmpty())
        warnings << QStringLiteral("Warning: %1. Bring the background nearer to the screen: "
                                   "converge farther back or reduce the interaxial.")
                        .arg(divergence);
    const double toFullWidth = b.fullWidthPerMapPixel();
    const QString range = searchRangeWarning(b, int(std::lround(m_shownAnalysis.minDisparity * toFullWidth)),
                                             int(std::lround(m_shownAnalysis.maxDisparity * toFullWidth)));
    if (!range.isEmpty())
        warnings << QStringLiteral("Warning: ") + range;
    m_ui->lbl_DivergenceWarning->setText(warnings.join(QLatin1Char('\n')));
    m_ui->lbl_DivergenceWarning->setVisible(!warnings.isEmpty());
}

void MainWindow::saveDisparityResults(const VideoFrame& leftRawFrame, const VideoFrame& rightRawFrame,
                                      const VideoFrame& disparityMap, const DisparityHistogramInfo& analysis)
{
    // The directory is taken as typed; a missing one shows as write errors.
    // An empty one is not chosen yet (the files would land at the root of the
    // file system): ask for it first.
    QString directory = m_ui->lineEdit_disparityOutputDir->text();
    if (directory.trimmed().isEmpty()) {
        directory = chooseOutputDirectory(QDir::homePath());
        if (directory.isEmpty()) {
            onDisplayErrorMessage(kWriteErrorTitle,
                                  kWriteErrorText +
                                      QStringLiteral("\nNo output directory is chosen: choose one "
                                                     "with the \"...\" button beside the field."));
            return;
        }
    }
    // Each file that cannot be written gets its box, naming it and why.
    const auto writeError = [this](const QString& path, const QString& reason) {
        onDisplayErrorMessage(kWriteErrorTitle, kWriteErrorText + QLatin1Char('\n') +
                                                    QDir::toNativeSeparators(path) + QStringLiteral(": ") +
                                                    reason);
    };
    const std::pair<const VideoFrame*, const char*> files[] = {
        {&leftRawFrame, "_L.png"}, {&rightRawFrame, "_R.png"}, {&disparityMap, "_map.png"}};
    for (const auto& [frame, suffix] : files) {
        const QString path = directory + QLatin1Char('/') + resultFileName(*frame, suffix);
        QString reason;
        if (!writePng(path, frame->image, reason))
            writeError(path, reason);
    }

    const AnalysisSettings& s = m_requestedSettings;
    const DepthBudget& b = analysis.budget;
    const double screen = targetScreenWidth();
    const double eyes = m_ui->box_EyeSeparation->value();
    QStringList lines;
    lines << QStringLiteral("Depth budget of %1").arg(resultFileName(leftRawFrame, ""))
          << QStringLiteral("Settings: parallax near %1 %, screen %2 %, far %3 %; disparity %4..%5 px; "
                            "block size %6 px; %7 map")
                 .arg(QString::number(s.parallaxNear, 'f', 2), QString::number(s.parallaxScreen, 'f', 2),
                      QString::number(s.parallaxFar, 'f', 2))
                 .arg(analysis.minDisparity)
                 .arg(analysis.maxDisparity)
                 .arg(s.blockSize)
                 .arg(disparityMap.image.channels() == 1 ? QStringLiteral("grey")
                                                         : QStringLiteral("coloured"))
          << QStringLiteral("Picture width: %1 px").arg(leftRawFrame.image.cols)
          << QStringLiteral("Matched pixels: %1 of %2, of them %3 at the ends of the search range")
                 .arg(b.matchedPixels)
                 .arg(b.pixels)
                 .arg(b.endPixels)
          << QStringLiteral("Pixels counted: %1").arg(budgetBasis(b))
          << QStringLiteral("Correction: %1").arg(correctionNote(analysis.correction));
    if (b.touchesSearchRange())
        lines << QStringLiteral("Search range: %1")
                     .arg(searchRangeWarning(b, analysis.minDisparity, analysis.maxDisparity));
    if (b.valid) {
        lines << QStringLiteral("Nearest parallax (1st percentile): %1 % of the width, %2 px")
                     .arg(signedNumber(b.nearestPercent, 2), signedNumber(b.nearestPixels(), 1))
              << QStringLiteral("Farthest parallax (99th percentile): %1 % of the width, %2 px")
                     .arg(signedNumber(b.farthestPercent, 2), signedNumber(b.farthestPixels(), 1))
              << QStringLiteral("Total budget: %1 % of the width, %2 px")
                     .arg(QString::number(b.totalPercent(), 'f', 2),
                          QString::number(b.totalPixels(), 'f', 1));
    } else {
        lines << QStringLiteral("Nearest parallax: none, no pixel was matched")
              << QStringLiteral("Farthest parallax: none, no pixel was matched")
              << QStringLiteral("Total budget: none, no pixel was matched");
    }
    lines << QStringLiteral("Target screen: %1 wide, eye separation %2 mm")
                 .arg(screenName(screen), QString::number(eyes, 'g', 4));
    if (b.valid) {
        const QString warning = divergenceWarning(b, screen, eyes);
        lines << QStringLiteral("On the target screen: %1").arg(screenFigures(b, screen, eyes))
              << QStringLiteral("Divergence: %1").arg(warning.isEmpty() ? QStringLiteral("none") : warning);
    }
    const QString path = directory + QLatin1Char('/') + resultFileName(leftRawFrame, "_budget.txt");
    QString reason;
    // Complete or not at all: a half-written budget would pass for a whole one.
    if (!writeFileAtomically(path, (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8(), &reason))
        writeError(path, reason);
}
