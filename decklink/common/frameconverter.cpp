#include "frameconverter.h"

#include "cardframes.h"
#include "uyvyconversion.h"

#include <cstring>

namespace cardcommon {

namespace {

struct FrameView
{
    long width, height, rowBytes;
    BMDPixelFormat format;
    uint8_t* bytes;
};

bool view(IDeckLinkVideoFrame* frame, FrameView& result)
{
    void* bytes = nullptr;
    if (frame->GetBytes(&bytes) != S_OK || !bytes)
        return false;
    result = FrameView{frame->GetWidth(), frame->GetHeight(), frame->GetRowBytes(), frame->GetPixelFormat(),
                       static_cast<uint8_t*>(bytes)};
    const long needed = minimumRowBytes(result.format, result.width);
    return result.width > 0 && result.height > 0 && needed > 0 && result.rowBytes >= needed;
}

} // namespace

HRESULT convertFrame(IDeckLinkVideoFrame* source, IDeckLinkVideoFrame* destination)
{
    if (!source || !destination)
        return E_POINTER;
    FrameView in{}, out{};
    if (!view(source, in) || !view(destination, out) || in.width != out.width || in.height != out.height)
        return E_INVALIDARG;
    if (in.format == bmdFormat8BitYUV &&
        (out.format == bmdFormat8BitBGRA || out.format == bmdFormat8BitBGR)) {
        const int width = static_cast<int>(in.width), height = static_cast<int>(in.height);
        const auto* colours = dynamic_cast<const FrameColours*>(source);
        const std::optional<Colorimetry> told = colours ? colours->colorimetry() : std::nullopt;
        convertUyvy(in.bytes, static_cast<size_t>(in.rowBytes), out.bytes, static_cast<size_t>(out.rowBytes),
                    width, height, out.format == bmdFormat8BitBGR ? 3 : 4,
                    told.value_or(modeColorimetry(width, height)));
        return S_OK;
    }
    if (in.format == out.format) {
        const size_t rowBytes = static_cast<size_t>(minimumRowBytes(in.format, in.width));
        for (long y = 0; y < in.height; ++y)
            std::memmove(out.bytes + y * out.rowBytes, in.bytes + y * in.rowBytes, rowBytes);
        return S_OK;
    }
    return E_INVALIDARG;
}

} // namespace cardcommon
