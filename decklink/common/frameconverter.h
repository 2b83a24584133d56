#pragma once

// Frame conversion: '2vuy' to 'BGRA' or to the program's 8-bit BGR, in the
// colours the card's frame was encoded with (its source's, else its display
// mode's: Rec. 709 for HD and larger, Rec. 601 for SD, video range), to full
// range; and copies between equal formats.

#include "comobject.h"

namespace cardcommon {

HRESULT convertFrame(IDeckLinkVideoFrame* source, IDeckLinkVideoFrame* destination);

class FrameConverter : public ComObject<IDeckLinkVideoConversion>
{
public:
    HRESULT ConvertFrame(IDeckLinkVideoFrame* source, IDeckLinkVideoFrame* destination) override
    {
        return convertFrame(source, destination);
    }

private:
    void* findInterface(REFIID iid) override
    {
        return iid == IID_IDeckLinkVideoConversion ? static_cast<IDeckLinkVideoConversion*>(this) : nullptr;
    }
};

} // namespace cardcommon
