#pragma once

#include "pipeline/videoframe.h"

#include <QString>
#include <cstdint>
#include <deque>

// What the frames of the two inputs say as they arrive, kept apart from any
// widget so that known frames at known times test it: each input's frame rate
// as measured, the frames its time labels skip or that come late since the
// start, and, while pairing by time label waits, what it is waiting for.
// Times are milliseconds on one clock, from the start of capture.
class InputWatch
{
public:
    enum Side
    {
        Left,
        Right
    };

    // How long pairing may go without a pair, and an input without a frame
    // or a new time label, before the wait is explained.
    static constexpr int64_t kPatienceMs = 3000;

    // Everything forgotten: capture starts at atMs.
    void restart(int64_t atMs);
    void frameArrived(Side side, const VideoFrame& frame, int64_t atMs);
    // A left and a right frame with equal time labels were paired.
    void pairMade(int64_t atMs);
    // Pairing starts afresh (another tab's analysis): its patience counts from atMs.
    void expectPairsFrom(int64_t atMs);

    // "25.0 frames/s; since the start 3 frames skipped, 2 late", or why
    // there is no figure yet.
    QString inputSummary(Side side) const;
    // Empty while pairs keep coming; otherwise what pairing waits for.
    QString waitingReason(int64_t nowMs) const;

private:
    struct Input
    {
        // Arrival times of the last few seconds' frames.
        std::deque<int64_t> recent;
        int64_t frames = 0;
        int64_t lastArrival = -1;
        uint32_t lastLabel = 0;
        bool hasTimecode = false;
        // When the time label last changed.
        int64_t labelSince = -1;
        // The latest frame came from an input without signal.
        bool noSignal = false;
        // The highest frame number seen in a label, and the labels' frames
        // per second once a whole second has passed (0 until then).
        int highestFrameNumber = 0;
        int labelRate = 0;
        int64_t skipped = 0;
        int64_t late = 0;
    };

    // Frames per second over the last few seconds' arrivals; 0 when fewer than two.
    static double measuredRate(const Input& input);
    QString silenceReason(int64_t nowMs) const;
    QString labelReason(int64_t nowMs) const;

    Input m_inputs[2];
    int64_t m_start = 0;
    // The last pair, or when pairing started.
    int64_t m_quietSince = 0;
    bool m_running = false;
};
