#pragma once

// The callbacks a client installed on a card's input, as every driver holds
// them: one reference each while installed; taken for a delivery, so that the
// client may replace or drop them, or release the card, from within a call;
// never called and never released under the stream's lock, as their code is
// the client's.

#include "displaymodes.h"

#include <decklink/comptr.h>
#include <mutex>

namespace cardcommon {

class InputCallbacks
{
public:
    // The callbacks installed at one moment, held for one delivery.
    struct Held
    {
        ComPtr<IDeckLinkInputCallback> callback;
        ComPtr<IDeckLinkScreenPreviewCallback> preview;

        explicit operator bool() const { return callback || preview; }
        // The frame to the callback, then to the preview.
        void deliver(IDeckLinkVideoInputFrame* frame) const;
        // A detected format to the callback; false when there is none.
        bool formatChanged(const DisplayModeInfo& mode) const;
    };

    void setCallback(IDeckLinkInputCallback* callback);
    void setPreview(IDeckLinkScreenPreviewCallback* preview);
    Held hold() const;
    // Lets go of both (the card goes away).
    void drop();

private:
    mutable std::mutex m_mutex;
    ComPtr<IDeckLinkInputCallback> m_callback;
    ComPtr<IDeckLinkScreenPreviewCallback> m_preview;
};

} // namespace cardcommon
