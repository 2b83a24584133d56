#include "capture/decklinkdevicediscovery.h"
#include "pipeline/logcategories.h"

#include <QCoreApplication>
#include <algorithm>

DeckLinkDeviceDiscovery::DeckLinkDeviceDiscovery()
{
    qRegisterMetaType<IDeckLink*>("IDeckLink*");
    if (DeckLinkCreateInstance(CLSID_CDeckLinkDiscovery, IID_IDeckLinkDiscovery,
                               m_deckLinkDiscovery.receiveAny()) != S_OK ||
        !m_deckLinkDiscovery) {
        m_deckLinkDiscovery.reset();
        qCWarning(lcCapture) << "A DeckLink discovery instance could not be created.";
    }
}

QStringList DeckLinkDeviceDiscovery::driverMessages()
{
    BSTR text = nullptr;
    const HRESULT result = DeckLinkGetDriverMessages(&text);
    QStringList messages;
    if (result == S_OK && text)
        messages = QString::fromUtf16(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    SysFreeString(text);
    for (QString& message : messages)
        message = message.trimmed();
    messages.removeAll(QString());
    return messages;
}

DeckLinkDeviceDiscovery::~DeckLinkDeviceDiscovery()
{
    if (m_deckLinkDiscovery) {
        m_deckLinkDiscovery->UninstallDeviceNotifications();
        m_deckLinkDiscovery.reset();
    }
    releasePresentCards();
}

void DeckLinkDeviceDiscovery::releasePresentCards()
{
    // Cards whose removal is still queued are let go with the notifier's
    // pending calls; the cards still present are let go here.
    QCoreApplication::sendPostedEvents(&m_notifier, QEvent::MetaCall);
    std::vector<ComPtr<IDeckLink>> cards; // let go once the lock is given back
    std::lock_guard<std::mutex> lock(m_presentCardsMutex);
    cards.swap(m_presentCards);
}

bool DeckLinkDeviceDiscovery::accepts(REFIID iid) const
{
    return iid == IID_IDeckLinkDeviceNotificationCallback;
}

bool DeckLinkDeviceDiscovery::Enable()
{
    if (!m_deckLinkDiscovery)
        return false;
    return m_deckLinkDiscovery->InstallDeviceNotifications(this) == S_OK;
}

void DeckLinkDeviceDiscovery::Disable()
{
    if (m_deckLinkDiscovery)
        m_deckLinkDiscovery->UninstallDeviceNotifications();
    releasePresentCards();
}

HRESULT DeckLinkDeviceDiscovery::DeckLinkDeviceArrived(IDeckLink* deckLink)
{
    qCDebug(lcCapture) << "DeckLink device arrived " << static_cast<void*>(deckLink);
    {
        std::lock_guard<std::mutex> lock(m_presentCardsMutex);
        m_presentCards.push_back(ComPtr<IDeckLink>::share(deckLink));
    }
    emit m_notifier.deckLinkDeviceArrived(deckLink);
    return S_OK;
}

HRESULT DeckLinkDeviceDiscovery::DeckLinkDeviceRemoved(IDeckLink* deckLink)
{
    qCDebug(lcCapture) << "DeckLink device removed " << static_cast<void*>(deckLink);
    ComPtr<IDeckLink> card;
    {
        std::lock_guard<std::mutex> lock(m_presentCardsMutex);
        const auto held =
            std::find_if(m_presentCards.begin(), m_presentCards.end(),
                         [deckLink](const ComPtr<IDeckLink>& present) { return present.get() == deckLink; });
        if (held == m_presentCards.end())
            return S_OK; // never reported as arrived: nothing to hand on
        card = std::move(*held);
        m_presentCards.erase(held);
    }
    emit m_notifier.deckLinkDeviceRemoved(deckLink);
    // The removal reaches the GUI thread queued, after any queued arrival of
    // the same card; the card is let go only once the removal has been
    // delivered there, so no receiver meets a card that is already gone.
    QMetaObject::invokeMethod(
        &m_notifier, [card = std::move(card)]() mutable { card.reset(); }, Qt::QueuedConnection);
    return S_OK;
}
