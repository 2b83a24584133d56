#pragma once

#include "app/framepipeline.h"
#include "capture/decklinkdevice.h"
#include "pipeline/videoframe.h"
#include <decklink/comptr.h>

#include <QObject>

class QLabel;
namespace Ui {
class MainWindow;
}

// The turn and flip the form sets for one camera's pictures.
FrameTransform formTransform(const Ui::MainWindow& form, FramePipeline::Side side);

// The acquisition tab's pictures and settings: the live views with each
// camera's info rows, and the input layout with each camera's turn and flip,
// sent whole to the pipeline's preprocessing whenever a box changes. The
// window's child; the pipeline's live-view route ends at its frame slots.
class AcquisitionTab : public QObject
{
    Q_OBJECT

public:
    AcquisitionTab(Ui::MainWindow& form, FramePipeline& pipeline, QObject* parent);

    // Empties the info rows of the left and/or right camera.
    void clearFrameInfo(bool left, bool right);
    // Empties both live views, once the frames already on their way are taken in,
    // and ends any wait for a first frame.
    void clearLiveViews();
    // The device has started for the left and/or right view: until it delivers
    // a frame, the views say they wait for it (with the driver's reason when it
    // gives one), and while it delivers only frames without signal they say so
    // beneath the "No signal" text.
    void awaitFirstFrame(DeckLinkDevice* device, bool left, bool right);

public slots:
    void onNewLeftRawFrameArrived(VideoFrame rawFrame);
    void onNewRightRawFrameArrived(VideoFrame rawFrame);
    // The layout and transforms as the boxes hold them, to the preprocessing threads.
    void reloadImageProcessingSettings();

private:
    // Shows the frame of a side (0 left, 1 right) with its wait, if any.
    void showSide(int side, const VideoFrame& frame);
    QString waitingText(int side) const;

    Ui::MainWindow& m_ui;
    // The started device whose first frame with a picture each view awaits.
    ComPtr<DeckLinkDevice> m_awaited[2];
    FramePipeline& m_pipeline;
};
