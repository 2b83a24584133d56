#pragma once

#include "scene/scenealignment.h"

#include <QObject>
#include <cstdint>
#include <optional>

class QCheckBox;
class QGridLayout;
class QLabel;

// The scene's part of the alignment readout, beside the board's: a column
// with the scene's vertical, roll and size readings, a row for each
// keystone, a line with the evidence (or the reason there is no reading),
// and the option to draw the inlier matches on the output image. The board's
// rows, states and actions stay as they are.
//
// The readout's grid holds, per reading, its caption, board value and state
// on one row and the action on the next (four readings from row 0). The
// scene adds a header row on top, a column after the states and its rows
// below.
class SceneReadout : public QObject
{
    Q_OBJECT
public:
    SceneReadout(QGridLayout* readout, QObject* parent);

    // Shows the measurement of the pair labelled `timeLabel`.
    void show(const SceneMeasurement& measurement, uint32_t timeLabel);
    // Back to nothing measured.
    void clear();

    // The latest measurement and its time label, none since the last clear.
    const std::optional<SceneMeasurement>& latest() const { return m_latest; }
    uint32_t latestTimeLabel() const { return m_latestLabel; }

    // Draws the latest inlier matches on a picture of the processed size,
    // when the option is on.
    void drawOverlay(cv::Mat& image) const;

    // For tests: the scene value of each reading, the evidence line, the option.
    QLabel* verticalValue() const { return m_vertical; }
    QLabel* rollValue() const { return m_roll; }
    QLabel* sizeValue() const { return m_size; }
    QLabel* toeInValue() const { return m_toeIn; }
    QLabel* tiltValue() const { return m_tilt; }
    QLabel* evidence() const { return m_evidence; }
    QCheckBox* overlay() const { return m_overlay; }

private:
    // No values, states or actions; `why` on the evidence line.
    void showNoReading(const QString& why);

    QLabel* m_header;
    QLabel* m_vertical;
    QLabel* m_roll;
    QLabel* m_size;
    QLabel* m_horizontal;
    QLabel* m_toeIn;
    QLabel* m_toeInState;
    QLabel* m_toeInAction;
    QLabel* m_tilt;
    QLabel* m_tiltState;
    QLabel* m_tiltAction;
    QLabel* m_evidence;
    QCheckBox* m_overlay;
    std::optional<SceneMeasurement> m_latest;
    uint32_t m_latestLabel = 0;
};
