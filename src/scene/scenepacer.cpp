#include "scene/scenepacer.h"

#include <algorithm>

bool ScenePacer::isDue(qint64 nowMs) const
{
    return !nextTurn || nowMs >= *nextTurn - kEarlyMs;
}

void ScenePacer::taken(qint64 nowMs)
{
    // After a pause (no pairs, or a busy worker) the turns start again from
    // this pair, so that the missed ones do not come as a burst.
    nextTurn = std::max(nextTurn.value_or(nowMs), nowMs - kEarlyMs) + kIntervalMs;
}
