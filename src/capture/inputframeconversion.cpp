#include "capture/inputframeconversion.h"
#include "pipeline/logcategories.h"

#include <decklink/comptr.h>

#include <opencv2/imgproc.hpp>

namespace {

// Tried in this order; the first that the frame carries wins.
constexpr BMDTimecodeFormat timecodeFormatsByPreference[] = {
    bmdTimecodeVITC,       bmdTimecodeVITCField2, bmdTimecodeRP188LTC,
    bmdTimecodeRP188VITC1, bmdTimecodeRP188VITC2, bmdTimecodeSerial,
};

bool readTimecode(IDeckLinkVideoInputFrame* frame, BMDTimecodeFormat format, VideoFrame& result)
{
    ComPtr<IDeckLinkTimecode> timecode;
    if (frame->GetTimecode(format, timecode.receive()) != S_OK || !timecode)
        return false;
    uint8_t hours = 0, minutes = 0, seconds = 0, frames = 0;
    BMDTimecodeUserBits userBits = 0;
    const bool ok = timecode->GetComponents(&hours, &minutes, &seconds, &frames) == S_OK &&
                    timecode->GetTimecodeUserBits(&userBits) == S_OK;
    if (ok) {
        result.timecode = packTimeWord(hours, minutes, seconds, frames);
        result.timecodeUserBits = userBits;
    }
    return ok;
}

} // namespace

uint32_t timeWordFromTicks(BMDTimeValue ticks)
{
    const BMDTimeValue s = ticks / captureTimeScale;
    return packTimeWord(static_cast<uint32_t>(s / 3600), static_cast<uint32_t>((s / 60) % 60),
                        static_cast<uint32_t>(s % 60), static_cast<uint32_t>((ticks / 1000) % 25));
}

bool convertInputFrame(IDeckLinkVideoInputFrame* inputFrame, IDeckLinkOutput* output,
                       IDeckLinkVideoConversion* conversion, VideoFrame& result)
{
    if (!inputFrame)
        return false;

    result.noInputSignal = (inputFrame->GetFlags() & bmdFrameHasNoInputSource) != 0;
    result.timecodeFormat = 0;
    for (BMDTimecodeFormat format : timecodeFormatsByPreference) {
        if (readTimecode(inputFrame, format, result)) {
            result.timecodeFormat = format;
            break;
        }
    }

    BMDTimeValue frameTime = 0, frameDuration = 0;
    if (inputFrame->GetHardwareReferenceTimestamp(captureTimeScale, &frameTime, &frameDuration) != S_OK)
        frameTime = 0;
    result.hardwareReferenceTimestamp = timeWordFromTicks(frameTime);
    frameTime = 0;
    if (inputFrame->GetStreamTime(&frameTime, &frameDuration, captureTimeScale) != S_OK)
        frameTime = 0;
    result.streamTime = timeWordFromTicks(frameTime);

    ComPtr<IDeckLinkVideoFrameAncillary> ancillary;
    if (inputFrame->GetAncillaryData(ancillary.receive()) == S_OK && ancillary) {
        result.pixelFormat = ancillary->GetPixelFormat();
        result.displayMode = ancillary->GetDisplayMode();
    } else {
        qCWarning(lcCapture) << "GetAncillaryData - error";
    }

    const long width = inputFrame->GetWidth();
    const long height = inputFrame->GetHeight();
    ComPtr<IDeckLinkMutableVideoFrame> bgraFrame;
    const HRESULT created =
        output ? output->CreateVideoFrame(static_cast<int32_t>(width), static_cast<int32_t>(height),
                                          static_cast<int32_t>(4 * width), bmdFormat8BitBGRA,
                                          bmdFrameFlagDefault, bgraFrame.receive())
               : E_POINTER;
    if (created != S_OK || !bgraFrame) {
        // Without a frame to convert into there is no picture to deliver.
        qCWarning(lcCapture) << "Cannot create frame for conversion:" << created;
        return false;
    }

    const HRESULT converted = conversion ? conversion->ConvertFrame(inputFrame, bgraFrame.get()) : E_POINTER;
    if (converted != S_OK)
        qCWarning(lcCapture).noquote() << "Cannot convert frame: " + QString::number(converted);

    void* bytes = nullptr;
    const int rows = static_cast<int>(bgraFrame->GetHeight());
    const int cols = static_cast<int>(bgraFrame->GetWidth());
    if (bgraFrame->GetBytes(&bytes) != S_OK || !bytes || rows <= 0 || cols <= 0) {
        qCWarning(lcCapture) << "Cannot read converted frame:" << cols << "x" << rows;
        return false;
    }
    const cv::Mat bgra(rows, cols, CV_8UC4, bytes, static_cast<size_t>(4 * cols));
    cv::Mat bgr(rows, cols, CV_8UC3);
    cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
    result.image = bgr;

    qCDebug(lcCapture).noquote() << QString(48, QLatin1Char('='));
    qCDebug(lcCapture) << "cvOutputFrame.data = " << static_cast<const void*>(result.image.data);
    return true;
}
