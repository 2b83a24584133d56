#pragma once

// Doubles of a card (IDeckLink with input, output and attributes) and of the
// driver's free functions, for the capture device tests.

#include "common/framedoubles.h"

#include <string>

class DisplayModeDouble : public CountedDouble<IDeckLinkDisplayMode>
{
public:
    explicit DisplayModeDouble(BMDDisplayMode m) : mode(m) {}
    BMDDisplayMode mode;
    HRESULT GetName(BSTR* name) override
    {
        *name = nullptr;
        return E_NOTIMPL;
    }
    BMDDisplayMode GetDisplayMode() override { return mode; }
    long GetWidth() override { return 1920; }
    long GetHeight() override { return 1080; }
    HRESULT GetFrameRate(BMDTimeValue* duration, BMDTimeScale* scale) override
    {
        *duration = 1000;
        *scale = 25000;
        return S_OK;
    }
};

class ModeIteratorDouble : public CountedDouble<IDeckLinkDisplayModeIterator>
{
public:
    std::vector<DisplayModeDouble*> modes;
    size_t next = 0;
    HRESULT Next(IDeckLinkDisplayMode** mode) override
    {
        *mode = nullptr;
        if (next >= modes.size())
            return S_FALSE;
        modes[next]->AddRef();
        *mode = modes[next++];
        return S_OK;
    }
};

class InputDouble : public CountedDouble<IDeckLinkInput>
{
public:
    std::vector<std::unique_ptr<DisplayModeDouble>> modes;
    std::vector<std::unique_ptr<ModeIteratorDouble>> iterators;
    std::vector<std::string> calls;
    IDeckLinkInputCallback* callback = nullptr;
    BMDDisplayMode enabledMode = 0;
    BMDPixelFormat enabledFormat = 0;
    BMDVideoInputFlags enabledFlags = 0xFFFF;
    bool enableFails = false;
    bool startFails = false;

    HRESULT GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator) override
    {
        auto it = std::make_unique<ModeIteratorDouble>();
        for (auto& mode : modes)
            it->modes.push_back(mode.get());
        *iterator = it.get();
        iterators.push_back(std::move(it));
        return S_OK;
    }
    HRESULT SetScreenPreviewCallback(IDeckLinkScreenPreviewCallback*) override
    {
        calls.push_back("SetScreenPreviewCallback");
        return S_OK;
    }
    HRESULT EnableVideoInput(BMDDisplayMode mode, BMDPixelFormat format, BMDVideoInputFlags flags) override
    {
        calls.push_back("EnableVideoInput");
        enabledMode = mode, enabledFormat = format, enabledFlags = flags;
        return enableFails ? E_ACCESSDENIED : S_OK;
    }
    HRESULT DisableVideoInput() override
    {
        calls.push_back("DisableVideoInput");
        return S_OK;
    }
    HRESULT StartStreams() override
    {
        calls.push_back("StartStreams");
        return startFails ? E_FAIL : S_OK;
    }
    HRESULT StopStreams() override
    {
        calls.push_back("StopStreams");
        return S_OK;
    }
    HRESULT SetCallback(IDeckLinkInputCallback* cb) override
    {
        calls.push_back(cb ? "SetCallback" : "SetCallback(null)");
        callback = cb;
        return S_OK;
    }
};

class AttributesDouble : public CountedDouble<IDeckLinkAttributes>
{
public:
    BOOL detection = 1;
    bool fails = false;
    HRESULT GetFlag(BMDDeckLinkAttributeID id, BOOL* value) override
    {
        if (fails || id != BMDDeckLinkSupportsInputFormatDetection)
            return E_FAIL;
        *value = detection;
        return S_OK;
    }
};

// The driver's account of its input; answered only where `problem` is set.
class InputStatusDouble : public CountedDouble<IDeckLinkInputStatus>
{
public:
    std::u16string problem;
    HRESULT GetProblem(BSTR* text) override;
};

class DeckLinkDouble : public CountedDouble<IDeckLink>
{
public:
    InputDouble input;
    OutputDouble output;
    AttributesDouble attributes;
    InputStatusDouble status;
    bool hasInput = true, hasOutput = true, hasAttributes = true;
    std::u16string name = u"Card A";
    bool hasName = true;

    HRESULT QueryInterface(REFIID iid, void** out) override;
    HRESULT GetDisplayName(BSTR* out) override;
};

class DiscoveryDouble : public CountedDouble<IDeckLinkDiscovery>
{
public:
    IDeckLinkDeviceNotificationCallback* callback = nullptr;
    HRESULT installResult = S_OK;
    int uninstalls = 0;

    HRESULT InstallDeviceNotifications(IDeckLinkDeviceNotificationCallback* cb) override
    {
        if (installResult != S_OK)
            return installResult;
        cb->AddRef();
        callback = cb;
        return S_OK;
    }
    HRESULT UninstallDeviceNotifications() override
    {
        ++uninstalls;
        if (callback)
            callback->Release();
        callback = nullptr;
        return S_OK;
    }
};

// What the driver's free functions do in these tests: the classes they hand
// out (null: creation fails, as without the driver).
struct FakeDriver
{
    static ConversionDouble* conversion;
    static DiscoveryDouble* discovery;
    static int freedStrings;
    // The set-up problems the driver reports; null: none.
    static const char16_t* messages;
};
