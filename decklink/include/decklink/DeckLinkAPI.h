// The capture driver as the calibrator sees it: COM-style interfaces,
// identifiers, four-character codes and class creation. Declarations only; a
// driver library (decklink_drivers, the GStreamer and the virtual cards, or
// decklink_virtual alone) provides the objects and the few free functions at
// the end of this file.
//
// Conventions of these interfaces:
// - Every object starts with a reference count of 1; AddRef/Release change it
//   atomically and Release destroys the object when it reaches 0. Objects are
//   released, never deleted.
// - QueryInterface with a null out pointer gives E_INVALIDARG; otherwise it
//   stores null, and for IUnknown or an identifier the object implements it
//   stores the object, takes a reference and gives S_OK, else E_NOINTERFACE.
// - Interfaces handed out through out parameters carry a reference that the
//   caller releases.
// - Callbacks registered with the driver are called on the driver's threads.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------------------
// Basic types and result codes

using HRESULT = int32_t;
using ULONG = uint32_t;
using BOOL = int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// Interface identifier: a 128-bit GUID in its usual field layout.
struct DeckLinkIID
{
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
using REFIID = const DeckLinkIID&;

constexpr bool operator==(REFIID a, REFIID b)
{
    if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.data4[i] != b.data4[i])
            return false;
    return true;
}
constexpr bool operator!=(REFIID a, REFIID b) { return !(a == b); }

// Strings handed out by the driver (UTF-16, freed with SysFreeString).
using BSTR = char16_t*;

// Four-character codes, packed big-endian: fourCC("2vuy") == 0x32767579.
constexpr uint32_t fourCC(const char (&code)[5])
{
    return (static_cast<uint32_t>(static_cast<uint8_t>(code[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(code[3]));
}

using BMDPixelFormat = uint32_t;
using BMDDisplayMode = uint32_t;
using BMDTimecodeFormat = uint32_t;
using BMDTimecodeUserBits = uint32_t;
using BMDVideoInputFlags = uint32_t;
using BMDVideoInputFormatChangedEvents = uint32_t;
using BMDDetectedVideoInputFormatFlags = uint32_t;
using BMDFrameFlags = uint32_t;
using BMDDeckLinkAttributeID = uint32_t;
using BMDTimeValue = int64_t;
using BMDTimeScale = int64_t;

// Pixel formats
constexpr BMDPixelFormat bmdFormat8BitARGB = 32;
constexpr BMDPixelFormat bmdFormat8BitYUV = fourCC("2vuy");
constexpr BMDPixelFormat bmdFormat8BitBGRA = fourCC("BGRA");
constexpr BMDPixelFormat bmdFormat10BitRGBX = fourCC("R10b");
constexpr BMDPixelFormat bmdFormat10BitRGBXLE = fourCC("R10l");
constexpr BMDPixelFormat bmdFormat10BitRGB = fourCC("r210");
constexpr BMDPixelFormat bmdFormat10BitYUV = fourCC("v210");
// Not a format of a card's signal: the 8-bit BGR picture the program works in,
// three bytes per pixel. A conversion that knows it fills a program's picture
// from '2vuy' in one pass; one that does not refuses it (E_INVALIDARG).
constexpr BMDPixelFormat bmdFormat8BitBGR = fourCC("BGR3");

// Display modes
constexpr BMDDisplayMode bmdModeNTSC = fourCC("ntsc");
constexpr BMDDisplayMode bmdModeNTSC2398 = fourCC("nt23");
constexpr BMDDisplayMode bmdModeNTSCp = fourCC("ntsp");
constexpr BMDDisplayMode bmdModePAL = fourCC("pal ");
constexpr BMDDisplayMode bmdModePALp = fourCC("palp");
constexpr BMDDisplayMode bmdModeHD720p50 = fourCC("hp50");
constexpr BMDDisplayMode bmdModeHD720p5994 = fourCC("hp59");
constexpr BMDDisplayMode bmdModeHD720p60 = fourCC("hp60");
constexpr BMDDisplayMode bmdModeHD1080p2398 = fourCC("23ps");
constexpr BMDDisplayMode bmdModeHD1080p24 = fourCC("24ps");
constexpr BMDDisplayMode bmdModeHD1080p25 = fourCC("Hp25");
constexpr BMDDisplayMode bmdModeHD1080p2997 = fourCC("Hp29");
constexpr BMDDisplayMode bmdModeHD1080p30 = fourCC("Hp30");
constexpr BMDDisplayMode bmdModeHD1080i50 = fourCC("Hi50");
constexpr BMDDisplayMode bmdModeHD1080i5994 = fourCC("Hi59");
constexpr BMDDisplayMode bmdModeHD1080i6000 = fourCC("Hi60");
constexpr BMDDisplayMode bmdModeHD1080p50 = fourCC("Hp50");
constexpr BMDDisplayMode bmdModeHD1080p5994 = fourCC("Hp59");
constexpr BMDDisplayMode bmdModeHD1080p6000 = fourCC("Hp60");
constexpr BMDDisplayMode bmdMode2k2398 = fourCC("2k23");
constexpr BMDDisplayMode bmdMode2k24 = fourCC("2k24");
constexpr BMDDisplayMode bmdMode2k25 = fourCC("2k25");
constexpr BMDDisplayMode bmdMode2kDCI2398 = fourCC("2d23");
constexpr BMDDisplayMode bmdMode2kDCI24 = fourCC("2d24");
constexpr BMDDisplayMode bmdMode2kDCI25 = fourCC("2d25");
constexpr BMDDisplayMode bmdMode4K2160p2398 = fourCC("4k23");
constexpr BMDDisplayMode bmdMode4K2160p24 = fourCC("4k24");
constexpr BMDDisplayMode bmdMode4K2160p25 = fourCC("4k25");
constexpr BMDDisplayMode bmdMode4K2160p2997 = fourCC("4k29");
constexpr BMDDisplayMode bmdMode4K2160p30 = fourCC("4k30");
constexpr BMDDisplayMode bmdMode4kDCI2398 = fourCC("4d23");
constexpr BMDDisplayMode bmdMode4kDCI24 = fourCC("4d24");
constexpr BMDDisplayMode bmdMode4kDCI25 = fourCC("4d25");

// Timecode formats
constexpr BMDTimecodeFormat bmdTimecodeRP188VITC1 = fourCC("rpv1");
constexpr BMDTimecodeFormat bmdTimecodeRP188VITC2 = fourCC("rp12");
constexpr BMDTimecodeFormat bmdTimecodeRP188LTC = fourCC("rplt");
constexpr BMDTimecodeFormat bmdTimecodeVITC = fourCC("vitc");
constexpr BMDTimecodeFormat bmdTimecodeVITCField2 = fourCC("vit2");
constexpr BMDTimecodeFormat bmdTimecodeSerial = fourCC("seri");

// Video input flags
constexpr BMDVideoInputFlags bmdVideoInputFlagDefault = 0;
constexpr BMDVideoInputFlags bmdVideoInputEnableFormatDetection = 1;

// Events of VideoInputFormatChanged
constexpr BMDVideoInputFormatChangedEvents bmdVideoInputDisplayModeChanged = 1 << 0;
constexpr BMDVideoInputFormatChangedEvents bmdVideoInputFieldDominanceChanged = 1 << 1;
constexpr BMDVideoInputFormatChangedEvents bmdVideoInputColorspaceChanged = 1 << 2;

// Detected signal flags of VideoInputFormatChanged
constexpr BMDDetectedVideoInputFormatFlags bmdDetectedVideoInputYCbCr422 = 1 << 0;
constexpr BMDDetectedVideoInputFormatFlags bmdDetectedVideoInputRGB444 = 1 << 1;

// Frame flags
constexpr BMDFrameFlags bmdFrameFlagDefault = 0;
constexpr BMDFrameFlags bmdFrameHasNoInputSource = 1u << 31;

// Attributes
constexpr BMDDeckLinkAttributeID BMDDeckLinkSupportsInputFormatDetection = fourCC("infd");

// ---------------------------------------------------------------------------
// Identifiers

constexpr DeckLinkIID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr DeckLinkIID IID_IDeckLinkDiscovery = {0xCDBF631C, 0xBC76, 0x45FA, {0xB4, 0x4D, 0xC5, 0x50, 0x59, 0xBC, 0x61, 0x01}};
constexpr DeckLinkIID IID_IDeckLinkInput = {0xAF22762B, 0xDFAC, 0x4846, {0xAA, 0x79, 0xFA, 0x88, 0x83, 0x56, 0x09, 0x95}};
constexpr DeckLinkIID IID_IDeckLinkOutput = {0xCC5C8A6E, 0x3F2F, 0x4B3A, {0x87, 0xEA, 0xFD, 0x78, 0xAF, 0x30, 0x05, 0x64}};
constexpr DeckLinkIID IID_IDeckLinkVideoConversion = {0x3BBCB8A2, 0xDA2C, 0x42D9, {0xB5, 0xD8, 0x88, 0x08, 0x36, 0x44, 0xE9, 0x9A}};
constexpr DeckLinkIID IID_IDeckLinkAttributes = {0xABC11843, 0xD966, 0x44CB, {0x96, 0xE2, 0xA1, 0xCB, 0x5D, 0x31, 0x35, 0xC4}};
constexpr DeckLinkIID IID_IDeckLinkInputCallback = {0xDD04E5EC, 0x7415, 0x42AB, {0xAE, 0x4A, 0xE8, 0x0C, 0x4D, 0xFC, 0x04, 0x4A}};
// An older revision of the input callback interface; input callbacks answer it too.
constexpr DeckLinkIID IID_IDeckLinkInputCallback_v7 = {0xB002A1EC, 0x070D, 0x4288, {0x82, 0x89, 0xBD, 0x5D, 0x36, 0xE5, 0xFF, 0x0D}};
constexpr DeckLinkIID IID_IDeckLinkInputStatus = {0x5E0B8C2D, 0x41A7, 0x4F63, {0x9D, 0x18, 0x27, 0xC4, 0xE1, 0x0A, 0x6B, 0x93}};
constexpr DeckLinkIID IID_IDeckLinkDeviceNotificationCallback = {0x4997053B, 0x0ADF, 0x4CC8, {0xAC, 0x70, 0x7A, 0x50, 0xC4, 0xBE, 0x72, 0x8F}};

// Class identifiers, as strings for DeckLinkCreateInstance.
constexpr const char* CLSID_CDeckLinkDiscovery = "{1073A05C-D885-47E9-B3C6-129B3F9F648B}";
constexpr const char* CLSID_CDeckLinkVideoConversion = "{7DBBBB11-5B7B-467D-AEA4-CEA468FD368C}";

// ---------------------------------------------------------------------------
// Interfaces

class IUnknown
{
public:
    virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

class IDeckLinkTimecode : public IUnknown
{
public:
    virtual HRESULT GetComponents(uint8_t* hours, uint8_t* minutes, uint8_t* seconds, uint8_t* frames) = 0;
    virtual HRESULT GetTimecodeUserBits(BMDTimecodeUserBits* userBits) = 0;
};

class IDeckLinkVideoFrameAncillary : public IUnknown
{
public:
    virtual BMDPixelFormat GetPixelFormat() = 0;
    virtual BMDDisplayMode GetDisplayMode() = 0;
};

class IDeckLinkVideoFrame : public IUnknown
{
public:
    virtual long GetWidth() = 0;
    virtual long GetHeight() = 0;
    virtual long GetRowBytes() = 0;
    virtual BMDPixelFormat GetPixelFormat() = 0;
    virtual BMDFrameFlags GetFlags() = 0;
    virtual HRESULT GetBytes(void** buffer) = 0;
    virtual HRESULT GetTimecode(BMDTimecodeFormat format, IDeckLinkTimecode** timecode) = 0;
    virtual HRESULT GetAncillaryData(IDeckLinkVideoFrameAncillary** ancillary) = 0;
};

class IDeckLinkMutableVideoFrame : public IDeckLinkVideoFrame
{
public:
    virtual HRESULT SetFlags(BMDFrameFlags flags) = 0;
};

class IDeckLinkVideoInputFrame : public IDeckLinkVideoFrame
{
public:
    virtual HRESULT GetStreamTime(BMDTimeValue* frameTime, BMDTimeValue* frameDuration, BMDTimeScale timeScale) = 0;
    virtual HRESULT GetHardwareReferenceTimestamp(BMDTimeScale timeScale, BMDTimeValue* frameTime,
                                                  BMDTimeValue* frameDuration) = 0;
};

// Audio is not captured; the packet type exists because the frame callback carries one.
class IDeckLinkAudioInputPacket : public IUnknown
{
public:
    virtual long GetSampleFrameCount() = 0;
};

class IDeckLinkDisplayMode : public IUnknown
{
public:
    virtual HRESULT GetName(BSTR* name) = 0;
    virtual BMDDisplayMode GetDisplayMode() = 0;
    virtual long GetWidth() = 0;
    virtual long GetHeight() = 0;
    virtual HRESULT GetFrameRate(BMDTimeValue* frameDuration, BMDTimeScale* timeScale) = 0;
};

class IDeckLinkDisplayModeIterator : public IUnknown
{
public:
    // S_OK with a mode (one reference for the caller), S_FALSE past the last one.
    virtual HRESULT Next(IDeckLinkDisplayMode** mode) = 0;
};

class IDeckLinkInputCallback : public IUnknown
{
public:
    virtual HRESULT VideoInputFormatChanged(BMDVideoInputFormatChangedEvents events, IDeckLinkDisplayMode* newMode,
                                            BMDDetectedVideoInputFormatFlags detectedSignalFlags) = 0;
    virtual HRESULT VideoInputFrameArrived(IDeckLinkVideoInputFrame* videoFrame,
                                           IDeckLinkAudioInputPacket* audioPacket) = 0;
};

class IDeckLinkScreenPreviewCallback : public IUnknown
{
public:
    virtual HRESULT DrawFrame(IDeckLinkVideoFrame* frame) = 0;
};

class IDeckLinkInput : public IUnknown
{
public:
    virtual HRESULT GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator) = 0;
    virtual HRESULT SetScreenPreviewCallback(IDeckLinkScreenPreviewCallback* callback) = 0;
    virtual HRESULT EnableVideoInput(BMDDisplayMode mode, BMDPixelFormat format, BMDVideoInputFlags flags) = 0;
    virtual HRESULT DisableVideoInput() = 0;
    virtual HRESULT StartStreams() = 0;
    // Returns only when no callback of this input is running any more; called
    // from within such a callback (a format change), it does not wait for it.
    virtual HRESULT StopStreams() = 0;
    virtual HRESULT SetCallback(IDeckLinkInputCallback* callback) = 0;
};

// What the driver knows of an input beyond its result codes, in words a crew
// can act on. Cards of drivers that say nothing do not answer it.
class IDeckLinkInputStatus : public IUnknown
{
public:
    // Why the last EnableVideoInput or StartStreams failed, or why the frames
    // now come without a picture (bmdFrameHasNoInputSource): S_OK with the
    // text, which the caller frees with SysFreeString; S_FALSE with null when
    // the driver has nothing to say; E_POINTER for a null pointer.
    virtual HRESULT GetProblem(BSTR* text) = 0;
};

class IDeckLinkOutput : public IUnknown
{
public:
    virtual HRESULT CreateVideoFrame(int32_t width, int32_t height, int32_t rowBytes, BMDPixelFormat format,
                                     BMDFrameFlags flags, IDeckLinkMutableVideoFrame** frame) = 0;
};

class IDeckLinkVideoConversion : public IUnknown
{
public:
    virtual HRESULT ConvertFrame(IDeckLinkVideoFrame* source, IDeckLinkVideoFrame* destination) = 0;
};

class IDeckLinkAttributes : public IUnknown
{
public:
    virtual HRESULT GetFlag(BMDDeckLinkAttributeID id, BOOL* value) = 0;
};

class IDeckLink : public IUnknown
{
public:
    virtual HRESULT GetDisplayName(BSTR* name) = 0;
};

class IDeckLinkDeviceNotificationCallback : public IUnknown
{
public:
    virtual HRESULT DeckLinkDeviceArrived(IDeckLink* deckLink) = 0;
    virtual HRESULT DeckLinkDeviceRemoved(IDeckLink* deckLink) = 0;
};

class IDeckLinkDiscovery : public IUnknown
{
public:
    // Reports every card present, then later arrivals and removals, on a driver thread.
    virtual HRESULT InstallDeviceNotifications(IDeckLinkDeviceNotificationCallback* callback) = 0;
    // Returns only when no notification is running any more; none follows.
    virtual HRESULT UninstallDeviceNotifications() = 0;
};

// ---------------------------------------------------------------------------
// Free functions provided by the driver library

// Creates an instance of the class named by classId (a CLSID string above)
// and queries iid on it. On success *out holds the interface with one
// reference; on failure *out is null. E_FAIL when the driver is not installed.
HRESULT DeckLinkCreateInstance(const char* classId, REFIID iid, void** out);

// The driver's set-up problems (e.g. a configuration file that cannot be
// read): S_OK with one problem per line in *messages, or S_FALSE with null
// when there are none; E_POINTER for a null pointer. The caller frees the
// text with SysFreeString.
HRESULT DeckLinkGetDriverMessages(BSTR* messages);

// Frees a string handed out by the driver (GetDisplayName, GetName,
// GetProblem, DeckLinkGetDriverMessages). Null is allowed.
void SysFreeString(BSTR string);
