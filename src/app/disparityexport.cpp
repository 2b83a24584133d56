#include "app/disparityexport.h"
#include "pipeline/logcategories.h"

#include "app/appnames.h"
#include "app/budgettext.h"
#include "app/filewrite.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QSettings>
#include <opencv2/imgcodecs.hpp>
#include <utility>
#include <vector>

namespace {

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

// The lines of the budget file.
QStringList budgetLines(const VideoFrame& leftRawFrame, const VideoFrame& disparityMap,
                        const DisparityHistogramInfo& analysis, const DisparitySettings& s, double screen,
                        double eyes)
{
    const DepthBudget& b = analysis.budget;
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
    return lines;
}

} // namespace

DisparityExport::DisparityExport(Ui::MainWindow& form, DirectoryQuestion askForDirectory, QObject* parent)
    : QObject(parent), m_ui(form), m_askForDirectory(std::move(askForDirectory))
{
    QSettings settings(kOrganizationName, kApplicationName);
    m_ui.lineEdit_disparityOutputDir->setText(
        settings.value(kDisparityOutputDirKey, QDir::homePath()).toString());
    connect(m_ui.btn_setDisparityOutputDir, &QAbstractButton::clicked, this,
            [this] { chooseOutputDirectory(m_ui.lineEdit_disparityOutputDir->text()); });
}

QString DisparityExport::chooseOutputDirectory(const QString& startAt)
{
    const QString chosen = QDir::fromNativeSeparators(m_askForDirectory(startAt));
    if (chosen.isEmpty())
        return QString(); // cancelled
    QSettings(kOrganizationName, kApplicationName).setValue(kDisparityOutputDirKey, chosen);
    m_ui.lineEdit_disparityOutputDir->setText(chosen);
    return chosen;
}

void DisparityExport::save(const VideoFrame& leftRawFrame, const VideoFrame& rightRawFrame,
                           const VideoFrame& disparityMap, const DisparityHistogramInfo& analysis,
                           const DisparitySettings& settings)
{
    // The directory is taken as typed; a missing one shows as write errors.
    // An empty one is not chosen yet (the files would land at the root of the
    // file system): ask for it first.
    QString directory = m_ui.lineEdit_disparityOutputDir->text();
    if (directory.trimmed().isEmpty()) {
        directory = chooseOutputDirectory(QDir::homePath());
        if (directory.isEmpty()) {
            emit errorOccurred(kWriteErrorTitle,
                               kWriteErrorText + QStringLiteral("\nNo output directory is chosen: choose one "
                                                                "with the \"...\" button beside the field."));
            return;
        }
    }
    // Each file that cannot be written gets its box, naming it and why.
    const auto writeError = [this](const QString& path, const QString& reason) {
        emit errorOccurred(kWriteErrorTitle, kWriteErrorText + QLatin1Char('\n') +
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

    const QStringList lines = budgetLines(leftRawFrame, disparityMap, analysis, settings,
                                          m_ui.box_ScreenWidth->value(), m_ui.box_EyeSeparation->value());
    const QString path = directory + QLatin1Char('/') + resultFileName(leftRawFrame, "_budget.txt");
    QString reason;
    // Complete or not at all: a half-written budget would pass for a whole one.
    if (!writeFileAtomically(path, (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8(), &reason))
        writeError(path, reason);
}
