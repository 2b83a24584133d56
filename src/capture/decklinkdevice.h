#pragma once

#include "pipeline/videoframe.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <decklink/DeckLinkAPI.h>
#include <vector>

// Emits the frames of one capture device. Lives in the GUI thread and emits
// from the driver's capture thread, so receivers get the frames queued.
class DeckLinkDeviceQtNotifier : public QObject
{
    Q_OBJECT
signals:
    void newFrameArrived(VideoFrame frame);
};

// One input of a capture card: holds the card's interfaces, lists its display
// modes, starts and stops capture, restarts it on a detected format change and
// turns every captured frame into a VideoFrame that its notifier emits.
// Reference counted: created with one reference, destroyed by the last Release.
class DeckLinkDevice : public IDeckLinkInputCallback
{
public:
    explicit DeckLinkDevice(IDeckLink* deckLink);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT VideoInputFormatChanged(BMDVideoInputFormatChangedEvents events, IDeckLinkDisplayMode* newMode,
                                    BMDDetectedVideoInputFormatFlags detectedSignalFlags) override;
    HRESULT VideoInputFrameArrived(IDeckLinkVideoInputFrame* videoFrame,
                                   IDeckLinkAudioInputPacket* audioPacket) override;

    // Obtains the card's interfaces, display modes and name. On false,
    // GetErrorMessage says what is missing.
    bool Init();
    bool StartCapture(unsigned int modeIndex, bool followDetectedFormat);
    void StopCapture();

    const QString& GetDeviceName() const { return m_deviceName; }
    bool IsCapturing() const { return m_capturing; }
    IDeckLink* GetDeckLink() const { return m_deckLink; }
    QString GetErrorMessage() const { return m_errorMessage; }
    DeckLinkDeviceQtNotifier* notifier() { return &m_notifier; }

protected:
    ~DeckLinkDevice() override;

private:
    // Unregisters the device from its card after a failed start.
    void withdrawCallback();

    std::atomic<int32_t> m_refCount{1};
    DeckLinkDeviceQtNotifier m_notifier;
    QString m_deviceName;
    IDeckLink* m_deckLink = nullptr;
    IDeckLinkInput* m_deckLinkInput = nullptr;
    std::vector<IDeckLinkDisplayMode*> m_displayModes;
    BOOL m_formatDetectionSupported = 0;
    bool m_capturing = false;
    std::atomic<bool> m_followDetectedFormat{false};
    QString m_errorMessage;
    IDeckLinkOutput* m_deckLinkOutput = nullptr;
    IDeckLinkVideoConversion* m_deckLinkConversion = nullptr;
};
