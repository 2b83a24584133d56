#pragma once

#include "capture/comcallback.h"
#include <decklink/comptr.h>

#include <QObject>
#include <QStringList>
#include <mutex>
#include <vector>

Q_DECLARE_METATYPE(IDeckLink*)

// Emits the cards that the driver reports. Lives in the GUI thread and emits
// from the driver's thread, so receivers in the GUI thread get queued calls.
class DeckLinkDiscoveryQtNotifier : public QObject
{
    Q_OBJECT
signals:
    void deckLinkDeviceArrived(IDeckLink* deckLink);
    void deckLinkDeviceRemoved(IDeckLink* deckLink);
};

// Listens for capture cards appearing and disappearing. Every card present
// when notifications are enabled is reported as an arrival, later ones as
// they come. A card reported as arrived is held (one reference) until its
// removal has been delivered to the receivers in the GUI thread, so a queued
// arrival or removal never refers to a card that is gone.
// Reference counted: created with one reference, destroyed by the last Release.
class DeckLinkDeviceDiscovery : public ComCallback<IDeckLinkDeviceNotificationCallback>
{
public:
    DeckLinkDeviceDiscovery();

    HRESULT DeckLinkDeviceArrived(IDeckLink* deckLink) override;
    HRESULT DeckLinkDeviceRemoved(IDeckLink* deckLink) override;

    // False when the driver is missing or refuses the notifications.
    bool Enable();
    // Stops the notifications and lets go of every card held; called in the
    // GUI thread. Receivers keep references of their own to cards they use.
    void Disable();

    DeckLinkDiscoveryQtNotifier* notifier() { return &m_notifier; }

    // The driver's set-up problems, one per entry (e.g. a configuration file
    // it cannot read); empty when it has none, or when there is no driver.
    static QStringList driverMessages();

protected:
    ~DeckLinkDeviceDiscovery() override;
    bool accepts(REFIID iid) const override;

private:
    void releasePresentCards();

    ComPtr<IDeckLinkDiscovery> m_deckLinkDiscovery;
    DeckLinkDiscoveryQtNotifier m_notifier;
    // Cards reported as arrived and not yet removed.
    std::mutex m_presentCardsMutex;
    std::vector<ComPtr<IDeckLink>> m_presentCards;
};
