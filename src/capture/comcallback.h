#pragma once

#include <decklink/DeckLinkAPI.h>

#include <atomic>

// The IUnknown part of an object the program hands to the driver (a callback):
// one interface, answered for IUnknown and for each identifier that the
// object accepts. Created with one reference, destroyed by the last Release.
template <class Interface> class ComCallback : public Interface
{
public:
    HRESULT QueryInterface(REFIID iid, void** out) final
    {
        if (!out)
            return E_INVALIDARG;
        *out = iid == IID_IUnknown || accepts(iid) ? static_cast<Interface*>(this) : nullptr;
        if (!*out)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() final { return static_cast<ULONG>(m_references.fetch_add(1) + 1); }
    ULONG Release() final
    {
        const int32_t left = m_references.fetch_sub(1) - 1;
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    ComCallback(const ComCallback&) = delete;
    ComCallback& operator=(const ComCallback&) = delete;

protected:
    ComCallback() = default;
    ~ComCallback() override = default;

    // Whether iid names the interface (under any of its versions).
    virtual bool accepts(REFIID iid) const = 0;

private:
    std::atomic<int32_t> m_references{1};
};
