#pragma once

#include "app/framepipeline.h"
#include "pipeline/videoframe.h"

#include <QObject>

class QLabel;
namespace Ui {
class MainWindow;
}

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
    // Empties both live views, once the frames already on their way are taken in.
    void clearLiveViews();

public slots:
    void onNewLeftRawFrameArrived(VideoFrame rawFrame);
    void onNewRightRawFrameArrived(VideoFrame rawFrame);
    // The layout and transforms as the boxes hold them, to the preprocessing threads.
    void reloadImageProcessingSettings();

private:
    Ui::MainWindow& m_ui;
    FramePipeline& m_pipeline;
};
