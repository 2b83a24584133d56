#pragma once

#include <QObject>
#include <vector>

// One connection of a route, written once as data and used both to make and
// to break it: the sender's signal to the receiver's slot, by signature strings
// (SIGNAL/SLOT), connected automatically (queued across threads).
struct SignalLink
{
    const QObject* sender;
    const char* signal;
    const QObject* receiver;
    const char* slot;

    // Made at most once, however often asked for. The handle breaks the link
    // even after either end is gone; it is empty when the link already existed.
    QMetaObject::Connection make() const
    {
        return QObject::connect(sender, signal, receiver, slot,
                                static_cast<Qt::ConnectionType>(Qt::AutoConnection | Qt::UniqueConnection));
    }
    void cut() const { QObject::disconnect(sender, signal, receiver, slot); }
};

using SignalRoute = std::vector<SignalLink>;

inline void makeRoute(const SignalRoute& route)
{
    for (const SignalLink& link : route)
        link.make();
}

inline void cutRoute(const SignalRoute& route)
{
    for (const SignalLink& link : route)
        link.cut();
}
