#pragma once

#include <QtGlobal>
#include <optional>

// Keeps the scene measurements to five a second on average, whatever the
// frame rate, without losing the instants of a 25 frames-per-second signal
// to the jitter of their delivery: each pair taken moves the next turn on by
// kIntervalMs from the turn it took (not from its arrival), and a pair that
// arrives up to kEarlyMs before its turn is taken. A pair the worker refuses
// because it is still measuring is not taken, and does not move the turn on.
class ScenePacer
{
public:
    static constexpr qint64 kIntervalMs = 200;
    static constexpr qint64 kEarlyMs = 40;

    // Whether a pair arriving at nowMs (any steady clock) may be measured.
    bool isDue(qint64 nowMs) const;
    // The pair arriving at nowMs is being measured.
    void taken(qint64 nowMs);

private:
    std::optional<qint64> nextTurn;
};
