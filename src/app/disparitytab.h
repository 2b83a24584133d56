#pragma once

#include "app/disparityexport.h"
#include "app/framepipeline.h"
#include "disparity/disparitysettings.h"

#include <QObject>
#include <QSize>
#include <QString>
#include <optional>

namespace Ui {
class MainWindow;
}

// The disparity tab as the user drives it: the analysis settings, checked
// and sent whole to the worker (Analyze, or Live while it is on), the live
// pair, the results with their depth budget on the target screen, and their
// export. The window's child; the pipeline's disparity route ends at its slots.
class DisparityTab : public QObject
{
    Q_OBJECT

public:
    DisparityTab(Ui::MainWindow& form, FramePipeline& pipeline,
                 DisparityExport::DirectoryQuestion askForDirectory, QObject* parent);

    // The analysis settings as the tab's boxes hold them.
    DisparitySettings formSettings() const;
    // Live off, as leaving the tab or stopping capture does.
    void switchLiveAnalysisOff();
    // Capture stopped: the live pair goes, and a live analysis with its
    // pictures, histogram and budget; an analysis asked for with Analyze stays.
    // Results already on their way are taken in first.
    void clearLiveResults();

signals:
    void errorOccurred(const QString& title, const QString& message);

public slots:
    void onDisparityPreview(VideoFrame leftFrame, VideoFrame rightFrame);
    void onNewDisparityMapResults(VideoFrame leftRawFrame, VideoFrame rightRawFrame, VideoFrame disparityMap,
                                  DisparityHistogramInfo disparity_histogram);
    // A requested analysis that could not be done: the reason is shown and
    // the analysis can be asked for again.
    void onDisparityMapFailed(QString reason);
    // A live analysis: shown as a result is, never saved; ignored once Live is off.
    void onNewLiveDisparityMapResults(VideoFrame leftFrame, VideoFrame rightFrame, VideoFrame disparityMap,
                                      DisparityHistogramInfo disparity_histogram);
    // Live analysis could not go on: Live is switched off and the reason shown.
    void onLiveAnalysisFailed(QString reason);

private:
    // Target screen as last used, from the settings store.
    void restoreTargetScreen();
    void onAnalyzeClicked();
    // The search range drawn to the shown budget (widened where it reached an
    // end); said in the status bar, or that there is no budget yet.
    void onFitRangeClicked();
    void onLiveToggled(bool on);
    // The analysis settings changed while Live is on: live analysis follows
    // them while they are valid.
    void onLiveSettingsChanged();
    void onTargetScreenChosen(int index);
    // Gives the disparity map the room of a panel that was hidden (or takes it back).
    void adjustDisparityOutputStretch(bool panelHidden);
    // Shows an analysis's map, pictures, histogram and budget.
    void showDisparityAnalysis(const VideoFrame& left, const VideoFrame& right, const VideoFrame& map,
                               const DisparityHistogramInfo& analysis, bool live);
    // The budget of the shown analysis on the current target screen.
    void showDepthBudget();

    Ui::MainWindow& m_ui;
    FramePipeline& m_pipeline;
    DisparityExport m_export;
    // The settings of the analysis asked for with Analyze; its budget file names them.
    DisparitySettings m_requestedSettings;
    // The analysis whose budget is shown, whether it was live, and its map's size.
    struct ShownAnalysis
    {
        DisparityHistogramInfo analysis;
        bool live = false;
        QSize size;
    };
    std::optional<ShownAnalysis> m_shown;
    // The form's budget line before any analysis, shown again once a live one is cleared.
    QString m_budgetInvitation;
};
