#pragma once

// Checks that two frames carry the same seven words (format codes, timecode
// and its user bits and format, hardware and stream times).

#include "pipeline/videoframe.h"

#include <QtTest>

inline void compareFrameWords(const VideoFrame& a, const VideoFrame& b)
{
    QCOMPARE(a.pixelFormat, b.pixelFormat);
    QCOMPARE(a.displayMode, b.displayMode);
    QCOMPARE(a.timecode, b.timecode);
    QCOMPARE(a.timecodeUserBits, b.timecodeUserBits);
    QCOMPARE(a.timecodeFormat, b.timecodeFormat);
    QCOMPARE(a.hardwareReferenceTimestamp, b.hardwareReferenceTimestamp);
    QCOMPARE(a.streamTime, b.streamTime);
}
