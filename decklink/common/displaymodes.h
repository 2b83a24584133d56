#pragma once

// The display modes the cards know: the HD, 2K, 4K and SD modes the
// program names, with picture size and frame rate, in the order the cards
// list them.

#include "comobject.h"

#include <string>
#include <vector>

namespace cardcommon {

struct DisplayModeInfo
{
    BMDDisplayMode code;
    std::string name;
    int width;
    int height;
    BMDTimeValue frameDuration; // in units of timeScale
    BMDTimeScale timeScale;

    // Frames per second as counted by timecode (29.97 counts 30).
    int timecodeRate() const { return static_cast<int>((timeScale + frameDuration / 2) / frameDuration); }
};

const std::vector<DisplayModeInfo>& allDisplayModes();

// The mode with this code, or null.
const DisplayModeInfo* findDisplayMode(BMDDisplayMode code);

// The mode named by its four-character code ("Hp25", "pal ") or its name
// ("HD 1080p25"), or null.
const DisplayModeInfo* findDisplayMode(const std::string& codeOrName);

// "Hp25" for the code of HD 1080p25.
std::string fourCCText(uint32_t code);

class CardDisplayMode : public ComObject<IDeckLinkDisplayMode>
{
public:
    explicit CardDisplayMode(DisplayModeInfo mode) : m_mode(std::move(mode)) {}

    HRESULT GetName(BSTR* name) override;
    BMDDisplayMode GetDisplayMode() override { return m_mode.code; }
    long GetWidth() override { return m_mode.width; }
    long GetHeight() override { return m_mode.height; }
    HRESULT GetFrameRate(BMDTimeValue* frameDuration, BMDTimeScale* timeScale) override;

private:
    void* findInterface(REFIID) override { return nullptr; }
    const DisplayModeInfo m_mode;
};

class CardDisplayModeIterator : public ComObject<IDeckLinkDisplayModeIterator>
{
public:
    explicit CardDisplayModeIterator(std::vector<DisplayModeInfo> modes) : m_modes(std::move(modes)) {}
    explicit CardDisplayModeIterator(const std::vector<const DisplayModeInfo*>& modes);

    HRESULT Next(IDeckLinkDisplayMode** mode) override;

private:
    void* findInterface(REFIID) override { return nullptr; }
    std::vector<DisplayModeInfo> m_modes;
    size_t m_next = 0;
};

} // namespace cardcommon
