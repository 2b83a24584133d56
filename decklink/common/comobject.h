#pragma once

// Reference counting and interface lookup shared by every object the driver
// hands out. Counts start at 1, change atomically, and the object deletes
// itself when the last reference goes. Every live object (and every string
// handed out) is counted, so tests can see that a client released all of them.

#include <decklink/DeckLinkAPI.h>

#include <atomic>

namespace cardcommon {

// Objects and strings of the driver that exist right now.
std::atomic<long>& liveObjectCounter();

// Primary is the interface that stands for IUnknown (the object's identity);
// Others are further interfaces of the same object.
template <class Primary, class... Others> class ComObject : public Primary, public Others...
{
public:
    HRESULT QueryInterface(REFIID iid, void** out) final
    {
        if (!out)
            return E_INVALIDARG;
        *out = nullptr;
        void* found = iid == IID_IUnknown ? static_cast<Primary*>(this) : findInterface(iid);
        if (!found)
            return E_NOINTERFACE;
        AddRef();
        *out = found;
        return S_OK;
    }
    ULONG AddRef() final { return static_cast<ULONG>(++m_refCount); }
    ULONG Release() final
    {
        const int32_t count = --m_refCount;
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }

    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

protected:
    ComObject() { ++liveObjectCounter(); }
    ~ComObject() override { --liveObjectCounter(); }

    // The interface named by iid (IUnknown aside), or null.
    virtual void* findInterface(REFIID iid) = 0;

private:
    std::atomic<int32_t> m_refCount{1};
};

// A driver-owned UTF-16 copy of text (UTF-8 in), freed by SysFreeString.
BSTR makeBstr(const char* utf8);

} // namespace cardcommon
