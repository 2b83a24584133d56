#include "app/inputmonitor.h"

#include "capture/decklinkcodenames.h"

#include <QBoxLayout>
#include <QLabel>

namespace {

constexpr int kReportIntervalMs = 500;

} // namespace

InputMonitor::InputMonitor(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("inputMonitor"));
    m_tick.setInterval(kReportIntervalMs);
    connect(&m_tick, &QTimer::timeout, this, &InputMonitor::report);
}

void InputMonitor::start()
{
    m_clock.start();
    m_watch.restart(0);
    m_timecodes.restart();
    m_motion.reset();
    m_tick.start();
    report();
}

void InputMonitor::stop()
{
    m_tick.stop();
    m_watch = InputWatch();
    m_timecodes.restart();
    m_motion.reset();
    report();
}

void InputMonitor::expectPairs()
{
    if (m_clock.isValid())
        m_watch.expectPairsFrom(m_clock.elapsed());
}

void InputMonitor::onLeftFrameArrived(VideoFrame frame)
{
    if (!m_tick.isActive())
        return;
    m_watch.frameArrived(InputWatch::Left, frame, m_clock.elapsed());
    m_timecodes.frameArrived(false, frame, m_clock.elapsed());
    m_displayMode = frame.displayMode;
}

void InputMonitor::onRightFrameArrived(VideoFrame frame)
{
    if (!m_tick.isActive())
        return;
    m_watch.frameArrived(InputWatch::Right, frame, m_clock.elapsed());
    m_timecodes.frameArrived(true, frame, m_clock.elapsed());
}

void InputMonitor::onMotionOffset(MotionOffset offset)
{
    if (m_tick.isActive())
        m_motion = offset;
}

void InputMonitor::onPairMade()
{
    if (m_tick.isActive())
        m_watch.pairMade(m_clock.elapsed());
}

void InputMonitor::report()
{
    emit inputsSummarised(m_watch.inputSummary(InputWatch::Left), m_watch.inputSummary(InputWatch::Right));
    emit waitingChanged(m_watch.waitingReason(m_tick.isActive() ? m_clock.elapsed() : 0));
    if (!m_tick.isActive()) {
        m_sync = SyncReading();
        emit syncChanged(QString());
        return;
    }
    const std::optional<TimecodeSync::Reading> timecode =
        m_oneCard ? std::nullopt : m_timecodes.reading(m_clock.elapsed());
    m_sync = syncReading(timecode, m_motion, displayModeFrameRate(m_displayMode));
    emit syncChanged(syncLine(m_sync));
}

QLabel* addWaitingLine(const InputMonitor& monitor, QBoxLayout* views, const QString& objectName)
{
    auto* line = new QLabel(views->parentWidget());
    line->setObjectName(objectName);
    line->setWordWrap(true);
    line->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // Its line is kept when empty, so the pictures do not move as a wait begins and ends.
    line->setMinimumHeight(line->fontMetrics().height());
    views->insertWidget(0, line);
    QObject::connect(&monitor, &InputMonitor::waitingChanged, line, &QLabel::setText);
    return line;
}
