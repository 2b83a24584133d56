#pragma once

#include "app/inputwatch.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QBoxLayout;
class QLabel;

// The input watch (inputwatch.h) in the GUI thread, fed while capture runs:
// the cards' frames as they arrive, the pairs that pairing makes. Twice a
// second it reports each input's frame rate and missing frames, and what
// pairing waits for; at the stop, empty texts.
class InputMonitor : public QObject
{
    Q_OBJECT

public:
    explicit InputMonitor(QObject* parent);

    // Capture starts: the watch forgets the last capture.
    void start();
    // Capture stopped: the reports are emptied.
    void stop();
    // Another analysis starts pairing.
    void expectPairs();

public slots:
    void onLeftFrameArrived(VideoFrame frame);
    void onRightFrameArrived(VideoFrame frame);
    void onPairMade();

signals:
    // Per input, "25.0 frames/s; since the start 0 frames skipped, 0 late".
    void inputsSummarised(const QString& left, const QString& right);
    // Empty while pairs keep coming.
    void waitingChanged(const QString& reason);

private:
    void report();

    InputWatch m_watch;
    QElapsedTimer m_clock;
    QTimer m_tick;
};

// Puts a line at the top of a tab's views that says what pairing waits for;
// empty while nothing is waited for. Its width follows the views, so a long
// reason wraps rather than widening the window.
QLabel* addWaitingLine(const InputMonitor& monitor, QBoxLayout* views, const QString& objectName);
