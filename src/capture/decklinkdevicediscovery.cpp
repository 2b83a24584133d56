#include "capture/decklinkdevicediscovery.h"

#include <QCoreApplication>
#include <QDebug>
#include <algorithm>

DeckLinkDeviceDiscovery::DeckLinkDeviceDiscovery()
{
    qRegisterMetaType<IDeckLink*>("IDeckLink*");
    if (DeckLinkCreateInstance(CLSID_CDeckLinkDiscovery, IID_IDeckLinkDiscovery,
                               reinterpret_cast<void**>(&m_deckLinkDiscovery)) != S_OK ||
        !m_deckLinkDiscovery) {
        m_deckLinkDiscovery = nullptr;
        qDebug() << "A DeckLink discovery instance could not be created.";
    }
}

DeckLinkDeviceDiscovery::~DeckLinkDeviceDiscovery()
{
    if (m_deckLinkDiscovery) {
        m_deckLinkDiscovery->UninstallDeviceNotifications();
        m_deckLinkDiscovery->Release();
        m_deckLinkDiscovery = nullptr;
    }
    releasePresentCards();
}

void DeckLinkDeviceDiscovery::releasePresentCards()
{
    // Cards whose removal is still queued are let go with the notifier's
    // pending calls; the cards still present are let go here.
    QCoreApplication::sendPostedEvents(&m_notifier, QEvent::MetaCall);
    std::vector<IDeckLink*> cards;
    {
        std::lock_guard<std::mutex> lock(m_presentCardsMutex);
        cards.swap(m_presentCards);
    }
    for (IDeckLink* card : cards)
        card->Release();
}

HRESULT DeckLinkDeviceDiscovery::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDeckLinkDeviceNotificationCallback) {
        *out = static_cast<IDeckLinkDeviceNotificationCallback*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG DeckLinkDeviceDiscovery::AddRef()
{
    return static_cast<ULONG>(++m_refCount);
}

ULONG DeckLinkDeviceDiscovery::Release()
{
    const int32_t count = --m_refCount;
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
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
    qDebug() << "DeckLink device arrived " << static_cast<void*>(deckLink);
    deckLink->AddRef();
    {
        std::lock_guard<std::mutex> lock(m_presentCardsMutex);
        m_presentCards.push_back(deckLink);
    }
    emit m_notifier.deckLinkDeviceArrived(deckLink);
    return S_OK;
}

HRESULT DeckLinkDeviceDiscovery::DeckLinkDeviceRemoved(IDeckLink* deckLink)
{
    qDebug() << "DeckLink device removed " << static_cast<void*>(deckLink);
    {
        std::lock_guard<std::mutex> lock(m_presentCardsMutex);
        const auto held = std::find(m_presentCards.begin(), m_presentCards.end(), deckLink);
        if (held == m_presentCards.end())
            return S_OK; // never reported as arrived: nothing to hand on
        m_presentCards.erase(held);
    }
    emit m_notifier.deckLinkDeviceRemoved(deckLink);
    // The removal reaches the GUI thread queued, after any queued arrival of
    // the same card; the card is let go only once the removal has been
    // delivered there, so no receiver meets a card that is already gone.
    QMetaObject::invokeMethod(
        &m_notifier, [deckLink] { deckLink->Release(); }, Qt::QueuedConnection);
    return S_OK;
}
