#include "comobject.h"

#include <cstring>
#include <string>

namespace cardcommon {

std::atomic<long>& liveObjectCounter()
{
    static std::atomic<long> counter{0};
    return counter;
}

BSTR makeBstr(const char* utf8)
{
    // Names are ASCII or UTF-8; decode to UTF-16, surrogate pairs above the BMP.
    std::u16string text;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8);
    while (*p) {
        char32_t c = *p++;
        int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        c &= more == 3 ? 0x07 : more == 2 ? 0x0F : more == 1 ? 0x1F : 0x7F;
        for (; more > 0 && (*p & 0xC0) == 0x80; --more)
            c = (c << 6) | (*p++ & 0x3F);
        if (c >= 0x10000) {
            c -= 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(c));
        }
    }
    auto* result = new char16_t[text.size() + 1];
    std::memcpy(result, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    ++liveObjectCounter();
    return result;
}

} // namespace cardcommon

void SysFreeString(BSTR string)
{
    if (!string)
        return;
    delete[] string;
    --cardcommon::liveObjectCounter();
}
