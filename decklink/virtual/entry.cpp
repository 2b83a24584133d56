// The virtual cards as the only driver of the program.

#include "driver.h"

HRESULT DeckLinkCreateInstance(const char* classId, REFIID iid, void** out)
{
    return virtualcards::createInstance(classId, iid, out);
}

HRESULT DeckLinkGetDriverMessages(BSTR* messages)
{
    if (!messages)
        return E_POINTER;
    *messages = nullptr;
    std::string text;
    for (const std::string& message : virtualcards::driverMessages())
        text += (text.empty() ? "" : "\n") + message;
    if (text.empty())
        return S_FALSE;
    *messages = virtualcards::makeBstr(text.c_str());
    return S_OK;
}
