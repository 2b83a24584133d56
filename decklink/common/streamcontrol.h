#pragma once

// The input calls as every driver's capture stream answers them: the
// arguments EnableVideoInput takes, the state errors of enable, disable,
// start and stop with their HRESULTs, and the installed callbacks. A driver's
// stream adds how it finds a mode, whether it streams, and how it begins and
// ends a stream.
//
//   enable   a mode the card does not list, a pixel format other than 8-bit
//            YUV, a flag other than format detection, or detection on a card
//            without it: E_INVALIDARG; the card gone: E_FAIL; streaming:
//            E_ACCESSDENIED
//   disable  streaming: E_ACCESSDENIED
//   start    the card gone: E_FAIL; not enabled, or streaming: E_ACCESSDENIED
//   stop     S_OK, streaming or not

#include "displaymodes.h"
#include "inputcallbacks.h"

#include <mutex>

namespace cardcommon {

class StreamControl
{
public:
    StreamControl(const StreamControl&) = delete;
    StreamControl& operator=(const StreamControl&) = delete;

    HRESULT enable(BMDDisplayMode code, BMDPixelFormat format, BMDVideoInputFlags flags);
    HRESULT disable();
    HRESULT start();
    // Returns when no callback runs any more, unless called from within the
    // stream's own callback: then the stream ends after the call.
    HRESULT stop();
    void setCallback(IDeckLinkInputCallback* callback);
    void setPreviewCallback(IDeckLinkScreenPreviewCallback* callback);

protected:
    explicit StreamControl(bool formatDetection) : m_formatDetection(formatDetection) {}
    virtual ~StreamControl() = default;

    // What a driver does in its own way; those named ...Locked are called with m_mutex held.
    // A failure of the card itself before any check (an injected fault); S_OK for none. Outside the
    // lock, so a start may also make ready what its first frames need.
    virtual HRESULT enableFault() { return S_OK; }
    virtual HRESULT prepareStart() { return S_OK; }
    // The card's mode of this code, or null; the mode lives as long as the stream.
    virtual const DisplayModeInfo* findModeLocked(BMDDisplayMode code) const = 0;
    virtual bool streamingLocked() const = 0;
    // After an enable that succeeded.
    virtual void enabledLocked() {}
    // Before the state checks of a start: a stream whose loop is still ending may wait for it.
    virtual void settleLocked(std::unique_lock<std::mutex>& lock) { (void)lock; }
    // The checks passed: the stream begins (or fails to, with its HRESULT).
    virtual HRESULT beginLocked(std::unique_lock<std::mutex>& lock) = 0;
    // The stream ends, or goes on ending after the callback it is called from.
    virtual void endLocked(std::unique_lock<std::mutex>& lock) = 0;

    std::mutex m_mutex;
    // Under m_mutex
    bool m_present = true;                   // false once the card has gone
    const DisplayModeInfo* m_mode = nullptr; // the enabled mode; null when not enabled
    bool m_detection = false;                // format detection enabled with it
    InputCallbacks m_callbacks;

private:
    const bool m_formatDetection;
};

} // namespace cardcommon
