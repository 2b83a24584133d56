#pragma once

#include "app/inputwatch.h"
#include "app/syncreading.h"
#include "app/timecodesync.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QBoxLayout;
class QLabel;

// The input watch (inputwatch.h) in the GUI thread, fed while capture runs:
// the cards' frames as they arrive, the pairs that pairing makes. Twice a
// second it reports each input's frame rate and missing frames, what
// pairing waits for, and the cameras' offset (by timecode, or from the
// motion estimates it is given); at the stop, empty texts.
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
    // Both sides are fed by one card (a side-by-side or under/over signal),
    // whose timecode says nothing of the offset between its halves.
    void setOneCardForBoth(bool oneCard) { m_oneCard = oneCard; }
    // The offset as last reported.
    const SyncReading& sync() const { return m_sync; }

public slots:
    void onLeftFrameArrived(VideoFrame frame);
    void onRightFrameArrived(VideoFrame frame);
    void onPairMade();
    void onMotionOffset(MotionOffset offset);

signals:
    // Per input, "25.0 frames/s; since the start 0 frames skipped, 0 late".
    void inputsSummarised(const QString& left, const QString& right);
    // Empty while pairs keep coming.
    void waitingChanged(const QString& reason);
    // "Camera sync by timecode: right 1 frame late (40 ms)"; empty when capture stops.
    void syncChanged(const QString& line);

private:
    void report();

    InputWatch m_watch;
    TimecodeSync m_timecodes;
    std::optional<MotionOffset> m_motion;
    SyncReading m_sync;
    uint32_t m_displayMode = 0; // of the left input's newest frame
    bool m_oneCard = false;
    QElapsedTimer m_clock;
    QTimer m_tick;
};

// Puts a line at the top of a tab's views that says what pairing waits for;
// empty while nothing is waited for. Its width follows the views, so a long
// reason wraps rather than widening the window.
QLabel* addWaitingLine(const InputMonitor& monitor, QBoxLayout* views, const QString& objectName);
