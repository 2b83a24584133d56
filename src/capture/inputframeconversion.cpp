#include "capture/inputframeconversion.h"
#include "pipeline/logcategories.h"

#include "capture/comcallback.h"
#include "capture/decklinkcodenames.h"
#include <decklink/comptr.h>

#include <opencv2/imgproc.hpp>

namespace {

// The program's BGR picture handed to the card's conversion as the frame to
// convert into, so that the card writes the picture where the program keeps it.
class PictureFrame : public ComCallback<IDeckLinkVideoFrame>
{
public:
    explicit PictureFrame(cv::Mat picture) : m_picture(std::move(picture)) {}
    long GetWidth() override { return m_picture.cols; }
    long GetHeight() override { return m_picture.rows; }
    long GetRowBytes() override { return static_cast<long>(m_picture.step); }
    BMDPixelFormat GetPixelFormat() override { return bmdFormat8BitBGR; }
    BMDFrameFlags GetFlags() override { return bmdFrameFlagDefault; }
    HRESULT GetBytes(void** buffer) override
    {
        if (!buffer)
            return E_POINTER;
        *buffer = m_picture.data;
        return S_OK;
    }
    HRESULT GetTimecode(BMDTimecodeFormat, IDeckLinkTimecode** timecode) override
    {
        if (!timecode)
            return E_POINTER;
        *timecode = nullptr;
        return S_FALSE;
    }
    HRESULT GetAncillaryData(IDeckLinkVideoFrameAncillary** ancillary) override
    {
        if (!ancillary)
            return E_POINTER;
        *ancillary = nullptr;
        return S_FALSE;
    }

protected:
    bool accepts(REFIID) const override { return false; }

private:
    cv::Mat m_picture;
};

QString errorCode(HRESULT result)
{
    return QStringLiteral("0x%1").arg(static_cast<uint32_t>(result), 8, 16, QLatin1Char('0'));
}

// The card's picture as BGR, or an empty picture with the reason in fault.
cv::Mat convertPicture(IDeckLinkVideoInputFrame* frame, IDeckLinkOutput* output,
                       IDeckLinkVideoConversion* conversion, PicturePool* pool, QString& fault)
{
    const long width = frame->GetWidth();
    const long height = frame->GetHeight();
    const QString picture = QStringLiteral("its %1 x %2 %3 picture")
                                .arg(width)
                                .arg(height)
                                .arg(pixelFormatToString(frame->GetPixelFormat()));
    if (width <= 0 || height <= 0 || !conversion) {
        fault = QStringLiteral("The card cannot convert %1.").arg(picture);
        return {};
    }
    cv::Mat bgr = pool ? pool->take(static_cast<int>(height), static_cast<int>(width))
                       : cv::Mat(static_cast<int>(height), static_cast<int>(width), CV_8UC3);
    const auto target = ComPtr<PictureFrame>::adopt(new PictureFrame(bgr));
    if (conversion->ConvertFrame(frame, target.get()) == S_OK)
        return bgr;

    // A card that does not know the program's BGR converts to its own BGRA.
    ComPtr<IDeckLinkMutableVideoFrame> bgraFrame;
    const HRESULT created =
        output ? output->CreateVideoFrame(static_cast<int32_t>(width), static_cast<int32_t>(height),
                                          static_cast<int32_t>(4 * width), bmdFormat8BitBGRA,
                                          bmdFrameFlagDefault, bgraFrame.receive())
               : E_POINTER;
    if (created != S_OK || !bgraFrame) {
        fault = QStringLiteral("The card gives no frame to convert %1 into (error %2).")
                    .arg(picture, errorCode(created));
        return {};
    }
    const HRESULT converted = conversion->ConvertFrame(frame, bgraFrame.get());
    void* bytes = nullptr;
    if (converted != S_OK || bgraFrame->GetBytes(&bytes) != S_OK || !bytes ||
        bgraFrame->GetWidth() != width || bgraFrame->GetHeight() != height ||
        bgraFrame->GetRowBytes() < 4 * width) {
        fault = QStringLiteral("The card cannot convert %1 (error %2).").arg(picture, errorCode(converted));
        return {};
    }
    const cv::Mat bgra(bgr.rows, bgr.cols, CV_8UC4, bytes, static_cast<size_t>(bgraFrame->GetRowBytes()));
    cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
    return bgr;
}

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

// Enough for the frames on their way through the pipeline at once; more are
// made, unpooled, while all are held.
constexpr size_t kPooledPictures = 4;

} // namespace

cv::Mat PicturePool::take(int rows, int cols)
{
    QMutexLocker lock(&m_mutex);
    if (m_pictures.empty() || m_pictures.front().rows != rows || m_pictures.front().cols != cols) {
        // The first frame, or the input changed its format: the old pictures
        // go as their holders let go. All are made at once, so that the
        // memory a capture takes is settled from its first frame on.
        m_pictures.clear();
        for (size_t i = 0; i < kPooledPictures; ++i)
            m_pictures.emplace_back(rows, cols, CV_8UC3);
    }
    for (const cv::Mat& picture : m_pictures) {
        // Held by the pool alone: no other thread can reach it, so it can be written.
        if (__atomic_load_n(&picture.u->refcount, __ATOMIC_ACQUIRE) == 1)
            return picture;
    }
    return cv::Mat(rows, cols, CV_8UC3);
}

uint32_t timeWordFromTicks(BMDTimeValue ticks)
{
    const BMDTimeValue s = ticks / captureTimeScale;
    return packTimeWord(static_cast<uint32_t>(s / 3600), static_cast<uint32_t>((s / 60) % 60),
                        static_cast<uint32_t>(s % 60), static_cast<uint32_t>((ticks / 1000) % 25));
}

bool convertInputFrame(IDeckLinkVideoInputFrame* inputFrame, IDeckLinkOutput* output,
                       IDeckLinkVideoConversion* conversion, VideoFrame& result, PicturePool* pool)
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

    result.noSignalReason.clear();
    result.image = convertPicture(inputFrame, output, conversion, pool, result.noSignalReason);
    if (result.image.empty()) {
        // Whatever the buffer holds is not a picture of the camera.
        result.noInputSignal = true;
        const long width = inputFrame->GetWidth(), height = inputFrame->GetHeight();
        if (width > 0 && height > 0)
            result.image = cv::Mat::zeros(static_cast<int>(height), static_cast<int>(width), CV_8UC3);
    }

    qCDebug(lcCapture).noquote() << QString(48, QLatin1Char('='));
    qCDebug(lcCapture) << "cvOutputFrame.data = " << static_cast<const void*>(result.image.data);
    return true;
}
