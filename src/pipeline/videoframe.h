#pragma once

#include <QMetaType>
#include <QString>
#include <cstdint>
#include <opencv2/core.hpp>

// The record in which every picture travels through the program: the picture,
// the seven 32-bit words read from the card with it and whether the input had
// a signal. Copies share the pixel buffer (cv::Mat reference counting).
//
// The three time words (timecode, hardwareReferenceTimestamp, streamTime) pack
// hours, minutes, seconds and frames into bytes 0 to 3, hours in the lowest.
struct VideoFrame
{
    cv::Mat image;
    uint32_t pixelFormat = 0;
    uint32_t displayMode = 0;
    uint32_t timecode = 0;
    uint32_t timecodeUserBits = 0;
    uint32_t timecodeFormat = 0;
    uint32_t hardwareReferenceTimestamp = 0;
    uint32_t streamTime = 0;
    // The card had no signal on its input for this frame: the picture is
    // black filler, not what a camera sent.
    bool noInputSignal = false;
    // Why, when more is known than that the input has no signal (a picture
    // the program cannot convert); empty otherwise.
    QString noSignalReason;
};

Q_DECLARE_METATYPE(VideoFrame)

// Packs hours, minutes, seconds and frames into a time word (each kept to 8 bits).
constexpr uint32_t packTimeWord(uint32_t hours, uint32_t minutes, uint32_t seconds, uint32_t frames)
{
    return (hours & 0xFFu) | (minutes & 0xFFu) << 8 | (seconds & 0xFFu) << 16 | (frames & 0xFFu) << 24;
}

// The hours, minutes and seconds of a time word, as whole seconds.
constexpr int64_t timeWordSeconds(uint32_t word)
{
    return int64_t(word & 0xFFu) * 3600 + int64_t(word >> 8 & 0xFFu) * 60 + int64_t(word >> 16 & 0xFFu);
}

// The frames byte (byte 3) of a time word.
constexpr int timeWordFrames(uint32_t word)
{
    return int(word >> 24);
}

// The time label of a frame: its timecode when one was found (timecodeFormat
// not 0), else its hardware reference timestamp. Left and right frames of the
// same instant carry equal labels; the label also names exported files.
inline uint32_t timeLabel(const VideoFrame& frame)
{
    return frame.timecodeFormat != 0 ? frame.timecode : frame.hardwareReferenceTimestamp;
}

// The frames byte (byte 3) of the time label.
inline uint8_t timeLabelFrameNumber(const VideoFrame& frame)
{
    return static_cast<uint8_t>(timeWordFrames(timeLabel(frame)));
}

inline bool haveSameTimeLabel(const VideoFrame& a, const VideoFrame& b)
{
    return timeLabel(a) == timeLabel(b);
}

// "hhh:mm:ss:ff" of a time word: hours with at least three digits, the rest with two.
QString formatTimeWord(uint32_t word);
