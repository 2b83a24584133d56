#pragma once

#include "app/framepipeline.h"
#include "capture/cardlistmodel.h"
#include "capture/decklinkdevicediscovery.h"
#include <decklink/comptr.h>

#include <QObject>
#include <utility>

class QComboBox;
namespace Ui {
class MainWindow;
}

// The capture controls of the acquisition tab: the input lists that follow
// the cards (one card model behind the three of them), the display modes of
// the chosen cards, and starting and stopping capture, which feeds the
// pipeline. The window's child; tests find it by its type.
class CaptureControl : public QObject
{
    Q_OBJECT

public:
    CaptureControl(Ui::MainWindow& form, FramePipeline& pipeline, QObject* parent);
    // The lists stop reporting to the control before its card model goes.
    ~CaptureControl() override;

    // Switches card discovery on; false when no driver answers.
    bool startDiscovery();
    // First steps of closing: every capture stopped, discovery switched off.
    void tearDown();
    // Last step of closing, once the workers are gone: the lists let go of their devices.
    void releaseDevices();

    const CardListModel& cards() const { return m_cards; }

    // What "Stop capture" does: every card stopped, no card link left to the
    // pipeline; stopping and stopped are emitted before and after.
    void stopCapture();

signals:
    // A message box to show; returns once it is closed.
    void errorOccurred(const QString& title, const QString& message);
    // Capture is about to stop: the analyses that need it end.
    void stopping();
    // Capture has stopped; the views of the pictures it delivered are emptied.
    void stopped();
    // A failed start: the info rows of the sides it concerned (left, right) are emptied.
    void startFailed(bool left, bool right);
    // The device started for the left and/or right view; its first frame is yet to come.
    void deviceStarted(DeckLinkDevice* device, bool left, bool right);

public slots:
    void onDeckLinkDeviceArrived(IDeckLink* deckLink);
    void onDeckLinkDeviceRemoved(IDeckLink* deckLink);

private:
    SignalRoute discoveryRoute() const;
    // The device chosen in the list, held by the card model; null when none is.
    DeckLinkDevice* selected(const QComboBox* list) const;
    // The display-mode list beside an input list.
    QComboBox* displayModeList(const QComboBox* inputList) const;
    void setInputSelectionEnabled(bool enabled);
    // The display modes of the list's current card are offered beside it.
    void onNewDeviceSelected(QComboBox* list);
    void onStartClicked();
    void startCapture();
    // Starts the device in the mode chosen in modes. When it fails, capture
    // is stopped as a whole, the info rows of the device's sides (left,
    // right) are cleared, and the box titled title names the device.
    bool startDevice(DeckLinkDevice* device, const QComboBox* modes, const QString& title,
                     std::pair<bool, bool> sides);
    // The card of notifier could not follow its input: capture stops as a
    // whole and a box gives the reason. Ignored once the card is gone or stopped.
    void onCaptureStopped(const QObject* notifier, const QString& reason);

    Ui::MainWindow& m_ui;
    FramePipeline& m_pipeline;
    CardListModel m_cards;
    ComPtr<DeckLinkDeviceDiscovery> m_deviceDiscovery;
    // The user clicked an input mode; a second card no longer chooses double input.
    bool m_inputModeChosen = false;
};
