#include "displaymodes.h"

namespace cardcommon {

const std::vector<DisplayModeInfo>& allDisplayModes()
{
    static const std::vector<DisplayModeInfo> modes = {
        {bmdModeNTSC, "NTSC", 720, 486, 1001, 30000},
        {bmdModeNTSC2398, "NTSC 23.98", 720, 486, 1001, 24000},
        {bmdModeNTSCp, "NTSCp", 720, 486, 1001, 60000},
        {bmdModePAL, "PAL", 720, 576, 1000, 25000},
        {bmdModePALp, "PALp", 720, 576, 1000, 50000},
        {bmdModeHD720p50, "HD 720p50", 1280, 720, 1000, 50000},
        {bmdModeHD720p5994, "HD 720p5994", 1280, 720, 1001, 60000},
        {bmdModeHD720p60, "HD 720p60", 1280, 720, 1000, 60000},
        {bmdModeHD1080p2398, "HD 1080p23.98", 1920, 1080, 1001, 24000},
        {bmdModeHD1080p24, "HD 1080p24", 1920, 1080, 1000, 24000},
        {bmdModeHD1080p25, "HD 1080p25", 1920, 1080, 1000, 25000},
        {bmdModeHD1080p2997, "HD 1080p29.97", 1920, 1080, 1001, 30000},
        {bmdModeHD1080p30, "HD 1080p30", 1920, 1080, 1000, 30000},
        {bmdModeHD1080i50, "HD 1080i50", 1920, 1080, 1000, 25000},
        {bmdModeHD1080i5994, "HD 1080i59.94", 1920, 1080, 1001, 30000},
        {bmdModeHD1080i6000, "HD 1080i60", 1920, 1080, 1000, 30000},
        {bmdModeHD1080p50, "HD 1080p50", 1920, 1080, 1000, 50000},
        {bmdModeHD1080p5994, "HD 1080p59.94", 1920, 1080, 1001, 60000},
        {bmdModeHD1080p6000, "HD 1080p60", 1920, 1080, 1000, 60000},
        {bmdMode2k2398, "2K 23.98", 2048, 1556, 1001, 24000},
        {bmdMode2k24, "2K 24", 2048, 1556, 1000, 24000},
        {bmdMode2k25, "2K 25", 2048, 1556, 1000, 25000},
        {bmdMode2kDCI2398, "2KDCI 23.98", 2048, 1080, 1001, 24000},
        {bmdMode2kDCI24, "2KDCI 24", 2048, 1080, 1000, 24000},
        {bmdMode2kDCI25, "2KDCI 25", 2048, 1080, 1000, 25000},
        {bmdMode4K2160p2398, "4K 2160p23.98", 3840, 2160, 1001, 24000},
        {bmdMode4K2160p24, "4K 2160p24", 3840, 2160, 1000, 24000},
        {bmdMode4K2160p25, "4K 2160p25", 3840, 2160, 1000, 25000},
        {bmdMode4K2160p2997, "4K 2160p29.97", 3840, 2160, 1001, 30000},
        {bmdMode4K2160p30, "4K 2160p30", 3840, 2160, 1000, 30000},
        {bmdMode4kDCI2398, "4KDCI 23.98", 4096, 2160, 1001, 24000},
        {bmdMode4kDCI24, "4KDCI 24", 4096, 2160, 1000, 24000},
        {bmdMode4kDCI25, "4KDCI 25", 4096, 2160, 1000, 25000},
    };
    return modes;
}

const DisplayModeInfo* findDisplayMode(BMDDisplayMode code)
{
    for (const DisplayModeInfo& mode : allDisplayModes())
        if (mode.code == code)
            return &mode;
    return nullptr;
}

std::string fourCCText(uint32_t code)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text.push_back(static_cast<char>((code >> shift) & 0xFF));
    return text;
}

const DisplayModeInfo* findDisplayMode(const std::string& codeOrName)
{
    for (const DisplayModeInfo& mode : allDisplayModes())
        if (codeOrName == mode.name || codeOrName == fourCCText(mode.code))
            return &mode;
    return nullptr;
}

HRESULT CardDisplayMode::GetName(BSTR* name)
{
    if (!name)
        return E_POINTER;
    *name = makeBstr(m_mode.name.c_str());
    return S_OK;
}

HRESULT CardDisplayMode::GetFrameRate(BMDTimeValue* frameDuration, BMDTimeScale* timeScale)
{
    if (!frameDuration || !timeScale)
        return E_POINTER;
    *frameDuration = m_mode.frameDuration;
    *timeScale = m_mode.timeScale;
    return S_OK;
}

CardDisplayModeIterator::CardDisplayModeIterator(const std::vector<const DisplayModeInfo*>& modes)
{
    for (const DisplayModeInfo* mode : modes)
        m_modes.push_back(*mode);
}

HRESULT CardDisplayModeIterator::Next(IDeckLinkDisplayMode** mode)
{
    if (!mode)
        return E_POINTER;
    *mode = nullptr;
    if (m_next >= m_modes.size())
        return S_FALSE;
    *mode = new CardDisplayMode(m_modes[m_next++]);
    return S_OK;
}

} // namespace cardcommon
