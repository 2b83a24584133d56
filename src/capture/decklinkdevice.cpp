#include "capture/decklinkdevice.h"
#include "pipeline/logcategories.h"

#include "capture/decklinkcodenames.h"
#include "capture/inputframeconversion.h"

#include <utility>

namespace {

// Keeps the name and frame rate the driver gives the mode, for the modes it makes up.
void rememberName(IDeckLinkDisplayMode* mode)
{
    BSTR name = nullptr;
    if (mode->GetName(&name) != S_OK || !name)
        return;
    BMDTimeValue duration = 0;
    BMDTimeScale scale = 0;
    const double framesPerSecond = mode->GetFrameRate(&duration, &scale) == S_OK && duration > 0
                                       ? double(scale) / double(duration)
                                       : 0.0;
    rememberDisplayMode(mode->GetDisplayMode(), QString::fromUtf16(name), framesPerSecond);
    SysFreeString(name);
}

} // namespace

DeckLinkDevice::DeckLinkDevice(IDeckLink* deckLink) : m_deckLink(ComPtr<IDeckLink>::share(deckLink)) {}

bool DeckLinkDevice::accepts(REFIID iid) const
{
    return iid == IID_IDeckLinkInputCallback || iid == IID_IDeckLinkInputCallback_v7;
}

bool DeckLinkDevice::Init()
{
    m_errorMessage = QStringLiteral("No Error");

    if (!m_deckLink || m_deckLink->QueryInterface(IID_IDeckLinkInput, m_deckLinkInput.receiveAny()) != S_OK) {
        m_errorMessage = QStringLiteral("Cannot get interface for DeckLink input");
        return false;
    }
    qCDebug(lcCapture) << "m_deckLinkInput (Init): " << static_cast<void*>(m_deckLinkInput.get());

    if (m_deckLink->QueryInterface(IID_IDeckLinkOutput, m_deckLinkOutput.receiveAny()) != S_OK) {
        m_errorMessage = QStringLiteral("Cannot get interface for DeckLink output");
        return false;
    }

    if (DeckLinkCreateInstance(CLSID_CDeckLinkVideoConversion, IID_IDeckLinkVideoConversion,
                               m_deckLinkConversion.receiveAny()) != S_OK ||
        !m_deckLinkConversion) {
        m_errorMessage = QStringLiteral("Cannot get interface for DeckLink conversion");
        return false;
    }

    ComPtr<IDeckLinkAttributes> attributes;
    if (m_deckLink->QueryInterface(IID_IDeckLinkAttributes, attributes.receiveAny()) == S_OK && attributes &&
        attributes->GetFlag(BMDDeckLinkSupportsInputFormatDetection, &m_formatDetectionSupported) != S_OK)
        m_formatDetectionSupported = 0;

    ComPtr<IDeckLinkDisplayModeIterator> iterator;
    if (m_deckLinkInput->GetDisplayModeIterator(iterator.receive()) == S_OK && iterator) {
        ComPtr<IDeckLinkDisplayMode> mode;
        while (iterator->Next(mode.receive()) == S_OK && mode) {
            rememberName(mode.get());
            m_displayModeCodes.push_back(mode->GetDisplayMode());
            m_displayModes.push_back(std::move(mode));
        }
    }

    BSTR name = nullptr;
    if (m_deckLink->GetDisplayName(&name) == S_OK && name) {
        m_deviceName = QString::fromUtf16(name);
        SysFreeString(name);
    } else {
        m_deviceName = QStringLiteral("DeckLink");
    }

    qCDebug(lcCapture) << "DeckLinkDevice::Init() finished successfully";
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
    // A mode the crew chose is kept: without detection the card cannot be
    // talked into another format behind its back.
    const BMDVideoInputFlags flags = m_formatDetectionSupported == 1 && followDetectedFormat
                                         ? bmdVideoInputEnableFormatDetection
                                         : bmdVideoInputFlagDefault;
    HRESULT result = m_deckLinkInput->EnableVideoInput(m_displayModes[modeIndex]->GetDisplayMode(),
                                                       bmdFormat8BitYUV, flags);
    if (result != S_OK) {
        m_errorMessage = startFailure(
            QStringLiteral("This application was unable to select the chosen video mode."), result);
        withdrawCallback();
        return false;
    }
    result = m_deckLinkInput->StartStreams();
    if (result != S_OK) {
        m_errorMessage =
            startFailure(QStringLiteral("This application was unable to start the capture."), result);
        withdrawCallback();
        return false;
    }
    m_capturing = true;
    return true;
}

QString DeckLinkDevice::startFailure(const QString& step, HRESULT result) const
{
    // The driver's own cause leads (a missing element, a refused connection); a card refused as busy,
    // or one whose driver says nothing, may be in use elsewhere.
    const QString cause = driverProblem();
    const QString inUse = QStringLiteral("Perhaps, the selected device is currently in-use.");
    if (cause.isEmpty())
        return step + QLatin1Char(' ') + inUse;
    return cause + QStringLiteral("\n") + step +
           (result == E_ACCESSDENIED ? QLatin1Char(' ') + inUse : QString());
}

QString DeckLinkDevice::driverProblem() const
{
    ComPtr<IDeckLinkInputStatus> status;
    BSTR text = nullptr;
    if (m_deckLink->QueryInterface(IID_IDeckLinkInputStatus, status.receiveAny()) != S_OK || !status ||
        status->GetProblem(&text) != S_OK || !text) {
        SysFreeString(text);
        return {};
    }
    const QString problem = QString::fromUtf16(text);
    SysFreeString(text);
    return problem;
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
    if (newMode)
        rememberName(newMode);
    if (!m_followDetectedFormat || !newMode || !m_deckLinkInput)
        return S_OK;
    // The card now carries another format: restart in it. A failure leaves
    // the streams stopped, which the window hears of.
    m_deckLinkInput->StopStreams();
    if (m_deckLinkInput->EnableVideoInput(newMode->GetDisplayMode(), bmdFormat8BitYUV,
                                          bmdVideoInputEnableFormatDetection) != S_OK ||
        m_deckLinkInput->StartStreams() != S_OK)
        emit m_notifier.captureStopped(
            QStringLiteral("%1: the input changed to %2 and the card could not restart in it, so capture "
                           "has stopped. Start capture again, or choose the camera's display mode.")
                .arg(m_deviceName, displayModeToString(newMode->GetDisplayMode())));
    return S_OK;
}

HRESULT DeckLinkDevice::VideoInputFrameArrived(IDeckLinkVideoInputFrame* videoFrame,
                                               IDeckLinkAudioInputPacket* /*audioPacket*/)
{
    VideoFrame frame;
    if (!convertInputFrame(videoFrame, m_deckLinkOutput.get(), m_deckLinkConversion.get(), frame,
                           &m_pictures))
        return S_OK;
    {
        // Once per fault, not once per frame: the views show it on every frame.
        QMutexLocker lock(&m_faultMutex);
        if (frame.noSignalReason != std::exchange(m_reportedFault, frame.noSignalReason) &&
            !frame.noSignalReason.isEmpty())
            qCWarning(lcCapture).noquote() << m_deviceName + QStringLiteral(": ") + frame.noSignalReason;
    }
    emit m_notifier.newFrameArrived(frame);
    return S_OK;
}
