// The disparity tab: the settings check, the live pair, live analysis, the
// results with their depth budget on the target screen.

#include "app/disparitytab.h"
#include "pipeline/logcategories.h"

#include "app/appnames.h"
#include "app/budgettext.h"
#include "app/frameview.h"
#include "app/panelstyle.h"
#include "app/rememberedcontrols.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QLabel>
#include <QSettings>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>

namespace {

// The target screens offered besides a custom width, in the order of the list.
constexpr double kScreenPresets[] = {1.4, 5.0, 12.0};
constexpr int kCustomScreen = 3;
// The largest preset by default: where divergence shows first.
constexpr double kDefaultScreenWidth = 12.0;
constexpr double kDefaultEyeSeparation = 65.0;

} // namespace

DisparityTab::DisparityTab(Ui::MainWindow& form, FramePipeline& pipeline,
                           DisparityExport::DirectoryQuestion askForDirectory, QObject* parent)
    : QObject(parent), m_ui(form), m_pipeline(pipeline), m_export(form, std::move(askForDirectory))
{
    setObjectName(QStringLiteral("disparityTab"));
    connect(&m_export, &DisparityExport::errorOccurred, this, &DisparityTab::errorOccurred);
    m_ui.wgt_DisparityHistogramLegend->setHorizontal(true);
    m_ui.wgt_DisparityHistogramLegend->setKind(DisparityLegend::Kind::Histogram);
    m_ui.lbl_DivergenceWarning->hide();
    m_budgetInvitation = m_ui.lbl_DepthBudget->text();
    makeColumnScrollable(m_ui.horizontalLayout_Depth, m_ui.verticalLayout_DepthControls);
    addWaitingLine(*m_pipeline.monitor(), m_ui.verticalLayout_DepthViews,
                   QStringLiteral("lbl_DisparityWaiting"));
    restoreTargetScreen();
    // The analysis as it was last set up.
    rememberControls({{"Disparity/ParallaxNear", m_ui.box_ParallaxNear},
                      {"Disparity/ParallaxScreen", m_ui.box_ParallaxScreen},
                      {"Disparity/ParallaxFar", m_ui.box_ParallaxFar},
                      {"Disparity/MinDisparity", m_ui.box_MinDisparity},
                      {"Disparity/MaxDisparity", m_ui.box_MaxDisparity},
                      {"Disparity/BlockSize", m_ui.box_BlockSize},
                      {"Disparity/OutputColored", m_ui.chb_OutputColored}});

    const std::pair<QWidget*, QAbstractButton*> panels[] = {
        {m_ui.tab_DisparityDetails, m_ui.btn_DisparityDetailsShowHide},
        {m_ui.frm_DisparityLiveView, m_ui.btn_DisparityPreviewShowHide}};
    for (const auto& [panel, button] : panels) {
        markPanelShown(button);
        connect(button, &QAbstractButton::clicked, this, [this, panel = panel, button = button] {
            adjustDisparityOutputStretch(togglePanel(panel, button));
        });
    }

    for (QDoubleSpinBox* box : {m_ui.box_ParallaxNear, m_ui.box_ParallaxScreen, m_ui.box_ParallaxFar})
        connect(box, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                &DisparityTab::onLiveSettingsChanged);
    for (QSpinBox* box : {m_ui.box_MinDisparity, m_ui.box_MaxDisparity, m_ui.box_BlockSize})
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, &DisparityTab::onLiveSettingsChanged);
    connect(m_ui.chb_OutputColored, &QAbstractButton::toggled, this, &DisparityTab::onLiveSettingsChanged);
    connect(m_ui.btn_calcDisparityMap, &QAbstractButton::clicked, this, &DisparityTab::onAnalyzeClicked);
    connect(m_ui.btn_FitRange, &QAbstractButton::clicked, this, &DisparityTab::onFitRangeClicked);
    connect(m_ui.chb_LiveAnalysis, &QAbstractButton::toggled, this, &DisparityTab::onLiveToggled);
    connect(m_ui.cmb_TargetScreen, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &DisparityTab::onTargetScreenChosen);
    connect(m_ui.box_ScreenWidth, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            [this](double m) {
                QSettings(kOrganizationName, kApplicationName).setValue(kTargetScreenWidthKey, m);
                showDepthBudget();
            });
    connect(m_ui.box_EyeSeparation, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            [this](double mm) {
                QSettings(kOrganizationName, kApplicationName).setValue(kEyeSeparationKey, mm);
                showDepthBudget();
            });
}

void DisparityTab::restoreTargetScreen()
{
    // The list shows a preset when the width is one.
    QSettings settings(kOrganizationName, kApplicationName);
    bool ok = false;
    double width = settings.value(kTargetScreenWidthKey, kDefaultScreenWidth).toDouble(&ok);
    if (!ok || !(width >= m_ui.box_ScreenWidth->minimum() && width <= m_ui.box_ScreenWidth->maximum()))
        width = kDefaultScreenWidth;
    double eyes = settings.value(kEyeSeparationKey, kDefaultEyeSeparation).toDouble(&ok);
    if (!ok || !(eyes >= m_ui.box_EyeSeparation->minimum() && eyes <= m_ui.box_EyeSeparation->maximum()))
        eyes = kDefaultEyeSeparation;
    int preset = kCustomScreen;
    for (int i = 0; i < kCustomScreen; ++i)
        if (std::abs(kScreenPresets[i] - width) < 1e-9)
            preset = i;
    const QSignalBlocker list(m_ui.cmb_TargetScreen), box(m_ui.box_ScreenWidth),
        eyeBox(m_ui.box_EyeSeparation);
    m_ui.cmb_TargetScreen->setCurrentIndex(preset);
    m_ui.box_ScreenWidth->setValue(width);
    m_ui.box_EyeSeparation->setValue(eyes);
    m_ui.box_ScreenWidth->setEnabled(preset == kCustomScreen);
}

DisparitySettings DisparityTab::formSettings() const
{
    DisparitySettings s;
    s.parallaxNear = m_ui.box_ParallaxNear->value();
    s.parallaxScreen = m_ui.box_ParallaxScreen->value();
    s.parallaxFar = m_ui.box_ParallaxFar->value();
    s.outputColored = m_ui.chb_OutputColored->isChecked();
    s.minDisparity = m_ui.box_MinDisparity->value();
    s.maxDisparity = m_ui.box_MaxDisparity->value();
    s.blockSize = m_ui.box_BlockSize->value();
    return s;
}

void DisparityTab::onAnalyzeClicked()
{
    const DisparitySettings settings = formSettings();
    const QString problem = disparitySettingsProblem(settings);
    if (!problem.isEmpty()) {
        emit errorOccurred(QStringLiteral("Wrong settings"), problem);
        return;
    }
    m_requestedSettings = settings;
    m_pipeline.disparityMap()->calculate(settings);
    // One analysis at a time: the button comes back with its result or failure.
    m_ui.btn_calcDisparityMap->setEnabled(false);
}

void DisparityTab::onFitRangeClicked()
{
    if (!m_shown || !m_shown->analysis.budget.valid) {
        m_ui.statusBar->showMessage(QStringLiteral("Fit range needs a depth budget: press Analyze (or switch "
                                                   "Live on) with the scene in view first."));
        return;
    }
    const DepthBudget& b = m_shown->analysis.budget;
    const double toFullWidth = b.fullWidthPerMapPixel();
    const DisparityRange range =
        fittedRange(b, int(std::lround(m_shown->analysis.minDisparity * toFullWidth)),
                    int(std::lround(m_shown->analysis.maxDisparity * toFullWidth)));
    const int low = std::max(range.minDisparity, m_ui.box_MinDisparity->minimum());
    const int high = std::min(range.maxDisparity, m_ui.box_MaxDisparity->maximum());
    // The maximum first when it rises, so that the two never cross on the way.
    if (high > m_ui.box_MaxDisparity->value()) {
        m_ui.box_MaxDisparity->setValue(high);
        m_ui.box_MinDisparity->setValue(low);
    } else {
        m_ui.box_MinDisparity->setValue(low);
        m_ui.box_MaxDisparity->setValue(high);
    }
    m_ui.statusBar->showMessage(QStringLiteral("Disparity range set to %1..%2 px from the last depth budget; "
                                               "press Analyze to measure with it.")
                                    .arg(low)
                                    .arg(high));
}

void DisparityTab::onLiveToggled(bool on)
{
    if (!on) {
        m_pipeline.disparityMap()->stopLiveAnalysis();
        m_ui.statusBar->clearMessage();
        return;
    }
    const DisparitySettings settings = formSettings();
    const QString problem = disparitySettingsProblem(settings);
    if (!problem.isEmpty()) {
        {
            const QSignalBlocker blocker(m_ui.chb_LiveAnalysis);
            m_ui.chb_LiveAnalysis->setChecked(false);
        }
        emit errorOccurred(QStringLiteral("Wrong settings"), problem);
        return;
    }
    m_pipeline.disparityMap()->startLiveAnalysis(settings);
}

void DisparityTab::onLiveSettingsChanged()
{
    if (!m_ui.chb_LiveAnalysis->isChecked())
        return;
    const DisparitySettings settings = formSettings();
    const QString problem = disparitySettingsProblem(settings);
    // No box while the user is still typing: the settings being edited may
    // pass through wrong values on the way.
    if (!problem.isEmpty()) {
        m_ui.statusBar->showMessage(QStringLiteral("Live analysis keeps its last valid settings: ") +
                                    QString(problem).replace(QLatin1Char('\n'), QStringLiteral(". ")));
        return;
    }
    m_ui.statusBar->clearMessage();
    m_pipeline.disparityMap()->startLiveAnalysis(settings);
}

void DisparityTab::switchLiveAnalysisOff()
{
    m_ui.chb_LiveAnalysis->setChecked(false);
    m_pipeline.disparityMap()->stopLiveAnalysis();
}

void DisparityTab::onTargetScreenChosen(int index)
{
    const bool custom = index < 0 || index >= kCustomScreen;
    m_ui.box_ScreenWidth->setEnabled(custom);
    if (!custom)
        m_ui.box_ScreenWidth->setValue(kScreenPresets[index]); // stored and shown by its own slot
}

void DisparityTab::adjustDisparityOutputStretch(bool panelHidden)
{
    QSizePolicy policy = m_ui.frm_DisparityImgOutput->sizePolicy();
    policy.setVerticalStretch(std::clamp(policy.verticalStretch() + (panelHidden ? 1 : -1), 0, 255));
    m_ui.frm_DisparityImgOutput->setSizePolicy(policy);
}

void DisparityTab::onDisparityPreview(VideoFrame leftFrame, VideoFrame rightFrame)
{
    qCDebug(lcWindow) << "onDisparityPreview - leftFrame.data ="
                      << static_cast<const void*>(leftFrame.image.data)
                      << "rightFrame.data =" << static_cast<const void*>(rightFrame.image.data);
    showFrame(leftFrame, m_ui.lbl_DisparityLivePreviewLeft);
    showFrame(rightFrame, m_ui.lbl_DisparityLivePreviewRight);
    m_pipeline.monitor()->onPairMade();
}

void DisparityTab::clearLiveResults()
{
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    showImage(cv::Mat(), m_ui.lbl_DisparityLivePreviewLeft);
    showImage(cv::Mat(), m_ui.lbl_DisparityLivePreviewRight);
    if (!m_shown || !m_shown->live)
        return;
    m_shown.reset();
    for (QLabel* picture :
         {m_ui.lbl_DisparityInputImgL, m_ui.lbl_DisparityInputImgR, m_ui.lbl_DisparityMapResult})
        showImage(cv::Mat(), picture);
    m_ui.wgt_DisparityHistogram->setHistogram(DisparityHistogramInfo());
    m_ui.lbl_DepthBudget->setText(m_budgetInvitation);
    m_ui.lbl_DivergenceWarning->clear();
    m_ui.lbl_DivergenceWarning->hide();
}

void DisparityTab::onNewDisparityMapResults(VideoFrame leftRawFrame, VideoFrame rightRawFrame,
                                            VideoFrame disparityMap,
                                            DisparityHistogramInfo disparity_histogram)
{
    qCDebug(lcWindow) << "onNewDisparityMapResults - disparityMap.data ="
                      << static_cast<const void*>(disparityMap.image.data);
    showDisparityAnalysis(leftRawFrame, rightRawFrame, disparityMap, disparity_histogram, false);
    if (m_ui.grp_SaveResults->isChecked())
        m_export.save(leftRawFrame, rightRawFrame, disparityMap, disparity_histogram, m_requestedSettings);
    m_ui.btn_calcDisparityMap->setEnabled(true);
}

void DisparityTab::onDisparityMapFailed(QString reason)
{
    emit errorOccurred(QStringLiteral("Disparity analysis error"), reason);
    m_ui.btn_calcDisparityMap->setEnabled(true);
}

void DisparityTab::onNewLiveDisparityMapResults(VideoFrame leftFrame, VideoFrame rightFrame,
                                                VideoFrame disparityMap,
                                                DisparityHistogramInfo disparity_histogram)
{
    // One sent just before Live went off, or before the tab was left.
    if (!m_ui.chb_LiveAnalysis->isChecked())
        return;
    showDisparityAnalysis(leftFrame, rightFrame, disparityMap, disparity_histogram, true);
}

void DisparityTab::onLiveAnalysisFailed(QString reason)
{
    if (!m_ui.chb_LiveAnalysis->isChecked())
        return;
    switchLiveAnalysisOff();
    emit errorOccurred(QStringLiteral("Disparity analysis error"),
                       reason + QStringLiteral("\nLive analysis has been switched off; switch it on again "
                                               "once the cause is removed."));
}

void DisparityTab::showDisparityAnalysis(const VideoFrame& left, const VideoFrame& right,
                                         const VideoFrame& map, const DisparityHistogramInfo& analysis,
                                         bool live)
{
    showImage(left.image, m_ui.lbl_DisparityInputImgL);
    showImage(right.image, m_ui.lbl_DisparityInputImgR);
    showImage(map.image, m_ui.lbl_DisparityMapResult);
    m_ui.wgt_DisparityMapLegend->setKind(map.image.channels() == 1 ? DisparityLegend::Kind::GreyMap
                                                                   : DisparityLegend::Kind::ColoredMap);
    m_ui.wgt_DisparityHistogram->setHistogram(analysis);
    m_shown = ShownAnalysis{analysis, live, QSize(map.image.cols, map.image.rows)};
    showDepthBudget();
}

void DisparityTab::showDepthBudget()
{
    if (!m_shown)
        return; // the form's invitation to analyse stays
    const DepthBudget& b = m_shown->analysis.budget;
    const QString head =
        m_shown->live ? QStringLiteral("Live depth budget (analysed at %1 x %2 px, searched %3..%4 px; "
                                       "pixel figures at full width)")
                            .arg(m_shown->size.width())
                            .arg(m_shown->size.height())
                            .arg(std::lround(m_shown->analysis.minDisparity * b.fullWidthPerMapPixel()))
                            .arg(std::lround(m_shown->analysis.maxDisparity * b.fullWidthPerMapPixel()))
                      : QStringLiteral("Depth budget");
    if (!b.valid) {
        m_ui.lbl_DepthBudget->setText(head + QStringLiteral(": no pixel was matched. Check that both cameras "
                                                            "see the scene, and widen the disparity range."));
        m_ui.lbl_DivergenceWarning->clear();
        m_ui.lbl_DivergenceWarning->hide();
        return;
    }
    const double screen = m_ui.box_ScreenWidth->value();
    const double eyes = m_ui.box_EyeSeparation->value();
    m_ui.lbl_DepthBudget->setText(
        QStringLiteral("%1, %2 (negative: in front of the screen); %3:\n%4\nOn the %5 screen: %6")
            .arg(head, budgetBasis(b), correctionNote(m_shown->analysis.correction), budgetFigures(b),
                 screenName(screen), screenFigures(b, screen, eyes)));
    QStringList warnings;
    const QString divergence = divergenceWarning(b, screen, eyes);
    if (!divergence.isEmpty())
        warnings << QStringLiteral("Warning: %1. Bring the background nearer to the screen: "
                                   "converge farther back or reduce the interaxial.")
                        .arg(divergence);
    const double toFullWidth = b.fullWidthPerMapPixel();
    const QString range =
        searchRangeWarning(b, int(std::lround(m_shown->analysis.minDisparity * toFullWidth)),
                           int(std::lround(m_shown->analysis.maxDisparity * toFullWidth)));
    if (!range.isEmpty())
        warnings << QStringLiteral("Warning: ") + range;
    m_ui.lbl_DivergenceWarning->setText(warnings.join(QLatin1Char('\n')));
    m_ui.lbl_DivergenceWarning->setVisible(!warnings.isEmpty());
}
