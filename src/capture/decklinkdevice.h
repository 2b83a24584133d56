#pragma once

#include "capture/comcallback.h"
#include "capture/inputframeconversion.h"
#include "pipeline/videoframe.h"
#include <decklink/comptr.h>

#include <QMutex>
#include <QObject>
#include <QString>
#include <atomic>
#include <vector>

// Emits the frames of one capture device. Lives in the GUI thread and emits
// from the driver's capture thread, so receivers get the frames queued.
class DeckLinkDeviceQtNotifier : public QObject
{
    Q_OBJECT
signals:
    void newFrameArrived(VideoFrame frame);
    // The card could not restart in its input's new format: capture has
    // stopped on the card. reason names the card and the format.
    void captureStopped(QString reason);
};

// One input of a capture card: holds the card's interfaces, lists its display
// modes, starts and stops capture, restarts it on a detected format change and
// turns every captured frame into a VideoFrame that its notifier emits.
// Reference counted: created with one reference, destroyed by the last Release.
class DeckLinkDevice : public ComCallback<IDeckLinkInputCallback>
{
public:
    explicit DeckLinkDevice(IDeckLink* deckLink);

    HRESULT VideoInputFormatChanged(BMDVideoInputFormatChangedEvents events, IDeckLinkDisplayMode* newMode,
                                    BMDDetectedVideoInputFormatFlags detectedSignalFlags) override;
    HRESULT VideoInputFrameArrived(IDeckLinkVideoInputFrame* videoFrame,
                                   IDeckLinkAudioInputPacket* audioPacket) override;

    // Obtains the card's interfaces, display modes and name. On false,
    // GetErrorMessage says what is missing.
    bool Init();
    // Starts capture in the card's mode at modeIndex (a position in
    // GetDisplayModes). When followDetectedFormat is set and the card can
    // detect its input's format, it switches to the format detected; else it
    // stays in the mode given, and a signal in another format gives frames
    // flagged as without input.
    bool StartCapture(unsigned int modeIndex, bool followDetectedFormat);
    void StopCapture();

    const QString& GetDeviceName() const { return m_deviceName; }
    // The card's display modes, in the card's order; filled by Init.
    const std::vector<BMDDisplayMode>& GetDisplayModes() const { return m_displayModeCodes; }
    bool SupportsFormatDetection() const { return m_formatDetectionSupported == 1; }
    bool IsCapturing() const { return m_capturing; }
    IDeckLink* GetDeckLink() const { return m_deckLink.get(); }
    QString GetErrorMessage() const { return m_errorMessage; }
    // What the driver says went wrong with the input; empty when it says nothing.
    QString driverProblem() const;
    DeckLinkDeviceQtNotifier* notifier() { return &m_notifier; }

protected:
    ~DeckLinkDevice() override = default;
    bool accepts(REFIID iid) const override;

private:
    // Unregisters the device from its card after a failed start.
    void withdrawCallback();
    // The error text of a failed start: the driver's cause, then the step that failed.
    QString startFailure(const QString& step, HRESULT result) const;
    DeckLinkDeviceQtNotifier m_notifier;
    QString m_deviceName;
    // Let go in the reverse order: the card last.
    ComPtr<IDeckLink> m_deckLink;
    ComPtr<IDeckLinkInput> m_deckLinkInput;
    std::vector<ComPtr<IDeckLinkDisplayMode>> m_displayModes;
    std::vector<BMDDisplayMode> m_displayModeCodes;
    BOOL m_formatDetectionSupported = 0;
    bool m_capturing = false;
    std::atomic<bool> m_followDetectedFormat{false};
    QString m_errorMessage;
    ComPtr<IDeckLinkOutput> m_deckLinkOutput;
    ComPtr<IDeckLinkVideoConversion> m_deckLinkConversion;
    // What the card's frames are converted into, used again once let go.
    PicturePool m_pictures;
    QMutex m_faultMutex;
    QString m_reportedFault; // the last picture fault logged, under m_faultMutex
};
