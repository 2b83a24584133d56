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
    const bool bgr = destination->GetPixelFormat() == bmdFormat8BitBGR;
    if (bgr && !knowsProgramBgr)
        return E_INVALIDARG;
    const int rows = static_cast<int>(source->GetHeight());
    const int cols = static_cast<int>(source->GetWidth());
    const cv::Mat uyvy(rows, cols, CV_8UC2, in, static_cast<size_t>(source->GetRowBytes()));
    cv::Mat picture(rows, cols, bgr ? CV_8UC3 : CV_8UC4, out,
                    static_cast<size_t>(destination->GetRowBytes()));
    cv::cvtColor(uyvy, picture, bgr ? cv::COLOR_YUV2BGR_UYVY : cv::COLOR_YUV2BGRA_UYVY);
    return S_OK;
}
