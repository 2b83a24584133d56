#include "common/framedoubles.h"

#include <opencv2/imgproc.hpp>

HRESULT ConversionDouble::ConvertFrame(IDeckLinkVideoFrame* source, IDeckLinkVideoFrame* destination)
{
    ++calls;
    if (fails)
        return E_FAIL;
    void* in = nullptr;
    void* out = nullptr;
    if (source->GetBytes(&in) != S_OK || destination->GetBytes(&out) != S_OK)
        return E_FAIL;
    const int rows = static_cast<int>(source->GetHeight());
    const int cols = static_cast<int>(source->GetWidth());
    const cv::Mat uyvy(rows, cols, CV_8UC2, in, static_cast<size_t>(source->GetRowBytes()));
    cv::Mat bgra(rows, cols, CV_8UC4, out, static_cast<size_t>(destination->GetRowBytes()));
    cv::cvtColor(uyvy, bgra, cv::COLOR_YUV2BGRA_UYVY);
    return S_OK;
}
