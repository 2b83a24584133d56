#include "inputcallbacks.h"

namespace cardcommon {

namespace {

// Replaces the held object under the lock; the one replaced is released after it, with no lock held.
template <class Interface> void replace(std::mutex& mutex, ComPtr<Interface>& slot, Interface* next)
{
    ComPtr<Interface> replacement = ComPtr<Interface>::share(next);
    std::lock_guard<std::mutex> lock(mutex);
    std::swap(slot, replacement);
}

} // namespace

void InputCallbacks::Held::deliver(IDeckLinkVideoInputFrame* frame) const
{
    if (callback)
        callback->VideoInputFrameArrived(frame, nullptr);
    if (preview)
        preview->DrawFrame(frame);
}

bool InputCallbacks::Held::formatChanged(const DisplayModeInfo& mode) const
{
    if (!callback)
        return false;
    const auto detected = ComPtr<IDeckLinkDisplayMode>::adopt(new CardDisplayMode(mode));
    callback->VideoInputFormatChanged(bmdVideoInputDisplayModeChanged, detected.get(),
                                      bmdDetectedVideoInputYCbCr422);
    return true;
}

void InputCallbacks::setCallback(IDeckLinkInputCallback* callback)
{
    replace(m_mutex, m_callback, callback);
}

void InputCallbacks::setPreview(IDeckLinkScreenPreviewCallback* preview)
{
    replace(m_mutex, m_preview, preview);
}

InputCallbacks::Held InputCallbacks::hold() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return Held{ComPtr<IDeckLinkInputCallback>::share(m_callback.get()),
                ComPtr<IDeckLinkScreenPreviewCallback>::share(m_preview.get())};
}

void InputCallbacks::drop()
{
    ComPtr<IDeckLinkInputCallback> callback;
    ComPtr<IDeckLinkScreenPreviewCallback> preview;
    std::lock_guard<std::mutex> lock(m_mutex);
    std::swap(callback, m_callback);
    std::swap(preview, m_preview);
}

} // namespace cardcommon
