// The branch of the pipeline chosen by tab, the input layout and rotate and flip
// settings pushed into the preprocessing threads, and the panels of the
// calibration and disparity tabs that can be shown and hidden.

#include "app/mainwindow.h"
#include "pipeline/logcategories.h"

#include "ui_mainwindow.h"

#include <QAbstractButton>
#include <QStyle>
#include <algorithm>
#include <iterator>

void MainWindow::setUpPipeline()
{
    const QIcon shown = style()->standardIcon(QStyle::SP_DialogYesButton);
    m_ui->btn_CalibrationDetailsShowHide->setIcon(shown);
    m_ui->btn_DisparityDetailsShowHide->setIcon(shown);
    m_ui->btn_DisparityPreviewShowHide->setIcon(shown);

    const QAbstractButton* settingsButtons[] = {
        m_ui->rbn_SingleInput,       m_ui->rbn_DoubleInput,          m_ui->radio_Identical,
        m_ui->radio_SideBySide,      m_ui->radio_UnderOver,          m_ui->sett_LeftRotateLeft,
        m_ui->sett_LeftRotateRight,  m_ui->sett_LeftRotate180,       m_ui->sett_LeftFlipHorizontal,
        m_ui->sett_LeftFlipVertical, m_ui->sett_RightRotateLeft,     m_ui->sett_RightRotateRight,
        m_ui->sett_RightRotate180,   m_ui->sett_RightFlipHorizontal, m_ui->sett_RightFlipVertical,
        m_ui->chb_FullSizeHalves};
    for (const QAbstractButton* button : settingsButtons)
        connect(button, SIGNAL(toggled(bool)), this, SLOT(reloadImageProcessingSettings()));

    m_pipeline = new FramePipeline(this, this);
    m_pipeline->setObjectName(QStringLiteral("framePipeline"));
    reloadImageProcessingSettings();
}

void MainWindow::reloadImageProcessingSettings()
{
    int inputMode = InputUnderOver;
    if (m_ui->rbn_DoubleInput->isChecked())
        inputMode = InputDouble;
    else if (m_ui->radio_Identical->isChecked())
        inputMode = InputIdentical;
    else if (m_ui->radio_SideBySide->isChecked())
        inputMode = InputSideBySide;

    FrameTransform left;
    left.rotateLeft = m_ui->sett_LeftRotateLeft->isChecked();
    left.rotateRight = m_ui->sett_LeftRotateRight->isChecked();
    left.rotate180 = m_ui->sett_LeftRotate180->isChecked();
    left.flipHorizontal = m_ui->sett_LeftFlipHorizontal->isChecked();
    left.flipVertical = m_ui->sett_LeftFlipVertical->isChecked();
    FrameTransform right;
    right.rotateLeft = m_ui->sett_RightRotateLeft->isChecked();
    right.rotateRight = m_ui->sett_RightRotateRight->isChecked();
    right.rotate180 = m_ui->sett_RightRotate180->isChecked();
    right.flipHorizontal = m_ui->sett_RightFlipHorizontal->isChecked();
    right.flipVertical = m_ui->sett_RightFlipVertical->isChecked();

    m_pipeline->setPreprocessingSettings(inputMode, left, right, m_ui->chb_FullSizeHalves->isChecked());
}

void MainWindow::on_tabWidget_currentChanged(int index)
{
    qCDebug(lcWindow) << "ON_TABWIDGET_CURRENTCHANGED";
    if (index != 2)
        switchLiveAnalysisOff(); // live analysis belongs to the disparity tab
    // Results of an earlier visit are history; the tab shows the present.
    if (index == 1)
        clearCalibrationResults();
    if (!m_pipeline->isFed())
        return;
    using Branch = FramePipeline::Branch;
    static const Branch branchOfTab[] = {Branch::LiveViews, Branch::Calibration, Branch::Disparity};
    m_pipeline->switchTo(index >= 0 && index < int(std::size(branchOfTab)) ? branchOfTab[index]
                                                                           : Branch::None);
}

namespace {

// Hides a shown panel or shows a hidden one, with the icon of the new state
// on its button. Whether the panel is shown is its own state, not whether its
// tab is on screen. True when the panel was hidden.
bool togglePanel(QWidget* panel, QAbstractButton* button, const QStyle* style)
{
    const bool hide = !panel->isHidden();
    panel->setVisible(!hide);
    button->setIcon(style->standardIcon(hide ? QStyle::SP_DialogNoButton : QStyle::SP_DialogYesButton));
    return hide;
}

} // namespace

void MainWindow::on_btn_CalibrationDetailsShowHide_clicked()
{
    togglePanel(m_ui->frm_ProcessedView, m_ui->btn_CalibrationDetailsShowHide, style());
}

void MainWindow::on_btn_DisparityDetailsShowHide_clicked()
{
    adjustDisparityOutputStretch(
        togglePanel(m_ui->tab_DisparityDetails, m_ui->btn_DisparityDetailsShowHide, style()));
}

void MainWindow::on_btn_DisparityPreviewShowHide_clicked()
{
    adjustDisparityOutputStretch(
        togglePanel(m_ui->frm_DisparityLiveView, m_ui->btn_DisparityPreviewShowHide, style()));
}

void MainWindow::adjustDisparityOutputStretch(bool panelHidden)
{
    QSizePolicy policy = m_ui->frm_DisparityImgOutput->sizePolicy();
    policy.setVerticalStretch(std::clamp(policy.verticalStretch() + (panelHidden ? 1 : -1), 0, 255));
    m_ui->frm_DisparityImgOutput->setSizePolicy(policy);
}
