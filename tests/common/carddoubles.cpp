#include "common/carddoubles.h"

#include <cstring>
#include <string>

ConversionDouble* FakeDriver::conversion = nullptr;
DiscoveryDouble* FakeDriver::discovery = nullptr;
int FakeDriver::freedStrings = 0;
const char16_t* FakeDriver::messages = nullptr;

HRESULT DeckLinkDouble::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    IUnknown* found = nullptr;
    if (iid == IID_IDeckLinkInput && hasInput)
        found = &input;
    else if (iid == IID_IDeckLinkOutput && hasOutput)
        found = &output;
    else if (iid == IID_IDeckLinkAttributes && hasAttributes)
        found = &attributes;
    else if (iid == IID_IDeckLinkInputStatus && !status.problem.empty())
        found = &status;
    else if (iid == IID_IUnknown)
        found = this;
    if (!found)
        return E_NOINTERFACE;
    found->AddRef();
    *out = found;
    return S_OK;
}

namespace {

BSTR copyOf(const std::u16string& text)
{
    auto* copy = new char16_t[text.size() + 1];
    std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    return copy;
}

} // namespace

HRESULT DeckLinkDouble::GetDisplayName(BSTR* out)
{
    *out = nullptr;
    if (!hasName)
        return E_FAIL;
    *out = copyOf(name);
    return S_OK;
}

HRESULT InputStatusDouble::GetProblem(BSTR* text)
{
    *text = copyOf(problem);
    return S_OK;
}

HRESULT DeckLinkCreateInstance(const char* classId, REFIID iid, void** out)
{
    *out = nullptr;
    IUnknown* made = nullptr;
    if (std::strcmp(classId, CLSID_CDeckLinkVideoConversion) == 0 && iid == IID_IDeckLinkVideoConversion)
        made = FakeDriver::conversion;
    else if (std::strcmp(classId, CLSID_CDeckLinkDiscovery) == 0 && iid == IID_IDeckLinkDiscovery)
        made = FakeDriver::discovery;
    if (!made)
        return E_FAIL;
    made->AddRef();
    *out = made;
    return S_OK;
}

HRESULT DeckLinkGetDriverMessages(BSTR* messages)
{
    if (!messages)
        return E_POINTER;
    *messages = nullptr;
    if (!FakeDriver::messages)
        return S_FALSE;
    *messages = copyOf(FakeDriver::messages);
    return S_OK;
}

void SysFreeString(BSTR string)
{
    if (string)
        ++FakeDriver::freedStrings;
    delete[] string;
}
