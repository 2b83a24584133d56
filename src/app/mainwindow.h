#pragma once

#include "app/alignmentlog.h"
#include "app/framepipeline.h"
#include "app/scenereadout.h"
#include "calibration/alignmentreadout.h"
#include "calibration/calibrationindicators.h"
#include "capture/decklinkdevice.h"
#include "capture/decklinkdevicediscovery.h"
#include "pipeline/videoframe.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMutex>
#include <QSize>
#include <QStringList>
#include <opencv2/core.hpp>
#include <utility>

class QComboBox;
class QLabel;

namespace Ui {
class MainWindow;
}

// The program's only window. It owns the form and the latest frames, shows
// every picture and status text, and is where the user starts and stops work.
// Its implementation is split by concern: construction and the error dialog
// (mainwindow.cpp), frame views and status labels (mainwindow_frameviews.cpp),
// capture control (mainwindow_capture.cpp), the routing of the pipeline by tab
// (mainwindow_pipeline.cpp), the calibration results and accuracy indicators
// (mainwindow_calibration.cpp), the alignment readout, trend, take log and
// orientation check under them (mainwindow_alignment.cpp) and the disparity
// analysis (mainwindow_disparity.cpp).
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Shows a critical message box over the window and returns once it is
    // closed: the one way errors reach the user.
    void onDisplayErrorMessage(const QString& title, const QString& message);

    // Fits the frame into the scroll area that holds the label and shows it
    // there; one-channel frames in grey, three-channel frames as blue-green-red.
    // An empty frame clears the label.
    static void showImage(const cv::Mat& frame, QLabel* label);
    // showImage of the frame's picture, or the "No signal" text when the
    // frame came from an input without signal.
    static void showFrame(const VideoFrame& frame, QLabel* label);
    // What a view of an input without signal says, beginning "No signal".
    static QString noSignalText(uint32_t displayMode);
    // The source scaled, with its aspect ratio kept, to fit the box.
    static cv::Mat resizeToFit(const cv::Mat& source, QSize box);

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Empties the alignment readout, its trend and the orientation warning,
    // and forgets the readings they average: called where the indicators are
    // cleared. A running recording goes on.
    void clearAlignment();

public slots:
    void onDeckLinkDeviceArrived(IDeckLink* deckLink);
    void onDeckLinkDeviceRemoved(IDeckLink* deckLink);
    void onNewLeftRawFrameArrived(VideoFrame rawFrame);
    void onNewRightRawFrameArrived(VideoFrame rawFrame);
    void onNewLeftCalibrationResultsArrived(VideoFrame rawFrame, VideoFrame processedFrame,
                                            std::vector<DetectedRectangle> rectangles);
    void onNewRightCalibrationResultsArrived(VideoFrame rawFrame, VideoFrame processedFrame,
                                             std::vector<DetectedRectangle> rectangles);
    // The scene measurement of a pair: shown beside the board's readings.
    void onNewSceneResults(VideoFrame leftFrame, VideoFrame rightFrame, SceneMeasurement measurement);
    void reloadImageProcessingSettings();
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

private slots:
    void on_btn_StartCapture_clicked();
    void on_cmb_SingleInput_currentIndexChanged(int index);
    void on_cmb_LeftCameraInput_currentIndexChanged(int index);
    void on_cmb_RightCameraInput_currentIndexChanged(int index);
    void on_tabWidget_currentChanged(int index);
    void on_btn_calcDisparityMap_clicked();
    void on_btn_FitRange_clicked();
    void on_btn_setDisparityOutputDir_clicked();
    void on_btn_CalibrationDetailsShowHide_clicked();
    void on_btn_DisparityDetailsShowHide_clicked();
    void on_btn_DisparityPreviewShowHide_clicked();
    void on_btn_AlignmentRecord_toggled(bool checked);
    void on_chb_LiveAnalysis_toggled(bool on);
    void on_cmb_TargetScreen_currentIndexChanged(int index);
    void on_box_ScreenWidth_valueChanged(double metres);
    void on_box_EyeSeparation_valueChanged(double millimetres);
    // The analysis settings changed while Live is on: live analysis follows
    // them while they are valid.
    void onLiveSettingsChanged();
    void on_actionQuit_triggered();
    void on_actionAbout_triggered();

protected:
    // Asks the user for the directory the disparity results go to, starting at
    // current; an empty answer when the user cancels.
    virtual QString askForOutputDirectory(const QString& current);

private:
    // Tests reach the indicator history through it.
    friend class MainWindowProbe;

    // Construction step of the frame views: the logo labels scale the logo
    // whenever they are resized.
    void setUpLogos();
    // Construction step of the pipeline: the panel icons, the settings
    // connections and the frame pipeline.
    void setUpPipeline();
    // Construction step of capture: the input controls and card discovery.
    void setUpCapture();
    // The driver's state in the status bar: its set-up problems (also in a
    // message box once the window is up), or the hint to install it.
    void showDriverState(bool driverPresent, const QStringList& problems);
    // Discovery's card reports to the window.
    SignalRoute discoveryRoute() const;
    // First steps of closing: every capture stopped, discovery switched off.
    void tearDownCapture();
    // Last step of capture on closing: the lists let go of their devices.
    void releaseDevices();
    // Position of the card's entry in the input lists, -1 if it has none.
    int listPosition(IDeckLink* deckLink) const;
    void setInputSelectionEnabled(bool enabled);
    // The display-mode list beside an input list.
    QComboBox* displayModeList(const QComboBox* inputList) const;
    bool anyDeviceCapturing() const;
    // Makes the current entry of list the selected device.
    void onNewDeviceSelected(QComboBox* list, DeckLinkDevice*& selected);
    void startCapture();
    // Starts the device in the mode chosen in modes. When it fails, capture
    // is stopped as a whole, the info rows of the device's sides (left,
    // right) are cleared, and the box titled title names the device.
    bool startDevice(DeckLinkDevice* device, const QComboBox* modes, const QString& title,
                     std::pair<bool, bool> sides);
    void stopCapture();
    // A capturing device's card could not follow its input: capture stops as
    // a whole and a box gives the reason.
    void onCaptureStopped(DeckLinkDevice* device, const QString& reason);
    // Empties the info rows of the left and/or right camera.
    void clearFrameInfo(bool left, bool right);
    // The info rows of a frame from an input without signal say so.
    static void showNoSignalInfo(QLabel* displayModeRow, QLabel* timecodeRow, uint32_t displayMode);
    void updateLeftFrameInfo(uint32_t pixelFormat, uint32_t displayMode, uint32_t timecode,
                             uint32_t timecodeUserBits, uint32_t timecodeFormat,
                             uint32_t hardwareReferenceTimestamp, uint32_t streamTime);
    void updateRightFrameInfo(uint32_t pixelFormat, uint32_t displayMode, uint32_t timecode,
                              uint32_t timecodeUserBits, uint32_t timecodeFormat,
                              uint32_t hardwareReferenceTimestamp, uint32_t streamTime);

    // Gives the disparity map the room of a panel that was hidden (or takes it back).
    void adjustDisparityOutputStretch(bool panelHidden);

    // Empties the calibration tab: views, output image, indicators and the
    // line under them; the indicator history starts afresh. Results already
    // on their way are taken in first, so none lands after the clearing.
    void clearCalibrationResults();
    // Shows both processed views and updates the indicators once the stored
    // left and right results belong to the same instant.
    void showCalibrationResultsWhenPaired();
    // The output image and the four indicators from the stored results; false
    // when the results cannot be compared and the indicators read "UNDEFINED".
    bool updateCalibrationIndicators();
    // The alignment readout, its trend, the take log and the orientation
    // check from the stored results, after the indicators were updated
    // (measured: they were computed, not set to "UNDEFINED").
    void updateAlignment(bool measured);
    // Writes the line of this update when recording; a failure stops the
    // recording and says why beside the Record button.
    void logAlignment(const std::optional<AlignmentReading>& reading);
    // "Recording 12 measurement lines (and the header line) to <file>".
    QString recordedLines(const QString& verb) const;
    void stopAlignmentRecording(const QString& status);
    void checkOrientationAtMostTwiceASecond();

    // The analysis settings as the disparity tab's boxes hold them.
    struct AnalysisSettings
    {
        double parallaxNear = 0, parallaxScreen = 0, parallaxFar = 0;
        bool outputColored = true;
        int minDisparity = -64, maxDisparity = 64, blockSize = 11;
    };
    AnalysisSettings analysisSettings() const;
    // Construction step of the disparity tab: legends, the target screen from
    // the settings store, live analysis following the settings.
    void setUpDisparity();
    // Asks for the output directory, starting at `startAt`; stores and shows
    // the answer. Empty when cancelled.
    QString chooseOutputDirectory(const QString& startAt);
    // Writes the two pictures and the map as PNG files named after their time
    // labels, and the depth budget as a text file beside them, each whole or
    // not at all, with one error box per file that cannot be written.
    void saveDisparityResults(const VideoFrame& leftRawFrame, const VideoFrame& rightRawFrame,
                              const VideoFrame& disparityMap, const DisparityHistogramInfo& analysis);
    // Shows an analysis's map, pictures, histogram and budget.
    void showDisparityAnalysis(const VideoFrame& left, const VideoFrame& right, const VideoFrame& map,
                               const DisparityHistogramInfo& analysis, bool live);
    // The budget of the shown analysis on the current target screen.
    void showDepthBudget();
    double targetScreenWidth() const;
    // Live off, as leaving the tab or stopping capture does.
    void switchLiveAnalysisOff();

    Ui::MainWindow* m_ui;
    // Held for the whole body of every slot that stores frames, so that a
    // slot's frames and labels change together.
    QMutex m_mutex;
    VideoFrame m_leftRawFrame;
    VideoFrame m_rightRawFrame;
    VideoFrame m_leftProcessedFrame;
    VideoFrame m_rightProcessedFrame;
    ComPtr<DeckLinkDeviceDiscovery> m_deviceDiscovery;
    // The devices chosen in the three input lists; the lists own them.
    DeckLinkDevice* m_deckLinkLeftSelectedDevice = nullptr;
    DeckLinkDevice* m_deckLinkRightSelectedDevice = nullptr;
    DeckLinkDevice* m_deckLinkSingleSelectedDevice = nullptr;
    // The workers, created once with the window, a child of it. Capture feeds
    // them; which of them get the frames follows the tab while capture is on.
    FramePipeline* m_pipeline = nullptr;
    // The latest detection of each side, outermost rectangle first.
    std::vector<DetectedRectangle> m_leftRectangles;
    std::vector<DetectedRectangle> m_rightRectangles;
    // Started afresh by a capture stop and by each visit of the calibration tab.
    IndicatorHistory m_indicatorHistory;
    // What the indicators showed at their last completed update.
    CalibrationAverages m_indicatorAverages;
    // The readout's readings, in step with the indicator history.
    AlignmentHistory m_alignmentHistory;
    // Time of the readings on the trend, from the window's creation.
    QElapsedTimer m_alignmentClock;
    // Since the last orientation check; invalid before the first.
    QElapsedTimer m_orientationClock;
    AlignmentLog m_alignmentLog;
    // The scene's column, rows and overlay in the alignment readout.
    SceneReadout* m_sceneReadout = nullptr;
    // The settings of the analysis asked for with Analyze; its budget file names them.
    AnalysisSettings m_requestedSettings;
    // The analysis whose budget is shown, whether it was live, and its picture size.
    bool m_analysisShown = false;
    DisparityHistogramInfo m_shownAnalysis;
    bool m_shownAnalysisIsLive = false;
    QSize m_shownAnalysisSize;
};
