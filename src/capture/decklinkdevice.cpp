#include "capture/decklinkdevice.h"

#include "capture/inputframeconversion.h"

#include <QDebug>

DeckLinkDevice::DeckLinkDevice(IDeckLink* deckLink) : m_deckLink(deckLink)
{
    if (m_deckLink)
        m_deckLink->AddRef();
}

DeckLinkDevice::~DeckLinkDevice()
{
    if (m_deckLinkConversion)
        m_deckLinkConversion->Release();
    if (m_deckLinkOutput)
        m_deckLinkOutput->Release();
    if (m_deckLinkInput)
        m_deckLinkInput->Release();
    for (auto mode = m_displayModes.rbegin(); mode != m_displayModes.rend(); ++mode)
        (*mode)->Release();
    if (m_deckLink)
        m_deckLink->Release();
}

HRESULT DeckLinkDevice::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDeckLinkInputCallback || iid == IID_IDeckLinkInputCallback_v7) {
        *out = static_cast<IDeckLinkInputCallback*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG DeckLinkDevice::AddRef()
{
    return static_cast<ULONG>(++m_refCount);
}

ULONG DeckLinkDevice::Release()
{
    const int32_t count = --m_refCount;
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

bool DeckLinkDevice::Init()
{
    m_errorMessage = QStringLiteral("No Error");

    if (!m_deckLink ||
        m_deckLink->QueryInterface(IID_IDeckLinkInput, reinterpret_cast<void**>(&m_deckLinkInput)) != S_OK) {
        m_errorMessage = QStringLiteral("Cannot get interface for DeckLink input");
        return false;
    }
    qDebug() << "m_deckLinkInput (Init): " << static_cast<void*>(m_deckLinkInput);

    if (m_deckLink->QueryInterface(IID_IDeckLinkOutput, reinterpret_cast<void**>(&m_deckLinkOutput)) !=
        S_OK) {
        m_errorMessage = QStringLiteral("Cannot get interface for DeckLink output");
        return false;
    }

    if (DeckLinkCreateInstance(CLSID_CDeckLinkVideoConversion, IID_IDeckLinkVideoConversion,
                               reinterpret_cast<void**>(&m_deckLinkConversion)) != S_OK ||
        !m_deckLinkConversion) {
        m_errorMessage = QStringLiteral("Cannot get interface for DeckLink conversion");
        return false;
    }

    IDeckLinkAttributes* attributes = nullptr;
    if (m_deckLink->QueryInterface(IID_IDeckLinkAttributes, reinterpret_cast<void**>(&attributes)) == S_OK &&
        attributes) {
        if (attributes->GetFlag(BMDDeckLinkSupportsInputFormatDetection, &m_formatDetectionSupported) != S_OK)
            m_formatDetectionSupported = 0;
        attributes->Release();
    }

    IDeckLinkDisplayModeIterator* iterator = nullptr;
    if (m_deckLinkInput->GetDisplayModeIterator(&iterator) == S_OK && iterator) {
        IDeckLinkDisplayMode* mode = nullptr;
        while (iterator->Next(&mode) == S_OK && mode) {
            m_displayModes.push_back(mode);
            mode = nullptr;
        }
        iterator->Release();
    }

    BSTR name = nullptr;
    if (m_deckLink->GetDisplayName(&name) == S_OK && name) {
        m_deviceName = QString::fromUtf16(name);
        SysFreeString(name);
    } else {
        m_deviceName = QStringLiteral("DeckLink");
    }

    qDebug() << "DeckLinkDevice::Init() finished successfully";
    return true;
}

bool DeckLinkDevice::StartCapture(unsigned int modeIndex, bool followDetectedFormat)
{
    m_errorMessage = QStringLiteral("No Error");
    m_followDetectedFormat = followDetectedFormat;

    if (modeIndex >= m_displayModes.size() || !m_deckLinkInput) {
        m_errorMessage = QStringLiteral("An invalid display mode was selected.");
        return false;
    }

    m_deckLinkInput->SetCallback(this);
    const BMDVideoInputFlags flags =
        m_formatDetectionSupported == 1 ? bmdVideoInputEnableFormatDetection : bmdVideoInputFlagDefault;
    if (m_deckLinkInput->EnableVideoInput(m_displayModes[modeIndex]->GetDisplayMode(), bmdFormat8BitYUV,
                                          flags) != S_OK) {
        m_errorMessage =
            QStringLiteral("This application was unable to select the chosen video mode. Perhaps, "
                           "the selected device is currently in-use.");
        withdrawCallback();
        return false;
    }
    if (m_deckLinkInput->StartStreams() != S_OK) {
        m_errorMessage =
            QStringLiteral("This application was unable to start the capture. Perhaps, the selected "
                           "device is currently in-use.");
        withdrawCallback();
        return false;
    }
    m_capturing = true;
    return true;
}

void DeckLinkDevice::withdrawCallback()
{
    // The card holds a reference to its callback; left registered after a
    // failed start, that reference and the device's hold on the card would
    // keep each other alive once the window lets the device go.
    m_deckLinkInput->SetCallback(nullptr);
}

void DeckLinkDevice::StopCapture()
{
    m_errorMessage = QStringLiteral("No Error");
    if (m_deckLinkInput) {
        m_deckLinkInput->StopStreams();
        m_deckLinkInput->SetScreenPreviewCallback(nullptr);
        m_deckLinkInput->SetCallback(nullptr);
    }
    m_capturing = false;
}

HRESULT DeckLinkDevice::VideoInputFormatChanged(BMDVideoInputFormatChangedEvents /*events*/,
                                                IDeckLinkDisplayMode* newMode,
                                                BMDDetectedVideoInputFormatFlags /*detectedSignalFlags*/)
{
    if (!m_followDetectedFormat || !newMode || !m_deckLinkInput)
        return S_OK;
    // The card now carries another format: restart in it. Failures leave the
    // streams stopped and are not reported, as the card gives no other choice.
    m_deckLinkInput->StopStreams();
    if (m_deckLinkInput->EnableVideoInput(newMode->GetDisplayMode(), bmdFormat8BitYUV,
                                          bmdVideoInputEnableFormatDetection) != S_OK)
        return S_OK;
    m_deckLinkInput->StartStreams();
    return S_OK;
}

HRESULT DeckLinkDevice::VideoInputFrameArrived(IDeckLinkVideoInputFrame* videoFrame,
                                               IDeckLinkAudioInputPacket* /*audioPacket*/)
{
    VideoFrame frame;
    if (convertInputFrame(videoFrame, m_deckLinkOutput, m_deckLinkConversion, frame))
        emit m_notifier.newFrameArrived(frame);
    return S_OK;
}
