// Card discovery against a double of the driver that reports from its own thread.

#include "capture/decklinkdevicediscovery.h"
#include "common/carddoubles.h"
#include "common/messagelog.h"

#include <QSignalSpy>
#include <QtTest>
#include <thread>

namespace {

// Calls the notification callback from a thread of its own, as a driver does.
void reportFromDriverThread(IDeckLinkDeviceNotificationCallback* callback, IDeckLink* card, bool arrived)
{
    std::thread([=] {
        if (arrived)
            callback->DeckLinkDeviceArrived(card);
        else
            callback->DeckLinkDeviceRemoved(card);
    }).join();
}

} // namespace

class TestDeckLinkDeviceDiscovery : public QObject
{
    Q_OBJECT
private slots:
    void withoutDriverNothingIsReported()
    {
        MessageLog log;
        FakeDriver::discovery = nullptr;
        auto* discovery = new DeckLinkDeviceDiscovery;
        QCOMPARE(log.count("A DeckLink discovery instance could not be created."), 1);
        QVERIFY(!discovery->Enable());
        discovery->Disable(); // nothing to uninstall
        QCOMPARE(discovery->Release(), 0u);
    }

    void driverMessagesAreOnePerLine_data()
    {
        QTest::addColumn<QString>("text"); // "<null>": the driver has none
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("none") << "<null>" << QStringList();
        QTest::newRow("one") << "cards.yaml: cards[0].bogus: unknown key"
                             << QStringList{"cards.yaml: cards[0].bogus: unknown key"};
        QTest::newRow("two, last line ended") << "a.yaml: bad\r\nsrc 2: no device\n"
                                              << QStringList{"a.yaml: bad", "src 2: no device"};
        QTest::newRow("blank lines only") << "\n \n" << QStringList();
    }
    void driverMessagesAreOnePerLine()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, messages);
        const std::u16string copy = text.toStdU16String();
        FakeDriver::messages = text == "<null>" ? nullptr : copy.c_str();
        const int freed = FakeDriver::freedStrings;
        QCOMPARE(DeckLinkDeviceDiscovery::driverMessages(), messages);
        QCOMPARE(FakeDriver::freedStrings - freed, text == "<null>" ? 0 : 1);
        FakeDriver::messages = nullptr;
    }

    void refusedNotificationsFailEnable()
    {
        DiscoveryDouble driver;
        driver.installResult = E_FAIL;
        FakeDriver::discovery = &driver;
        auto* discovery = new DeckLinkDeviceDiscovery;
        QVERIFY(!discovery->Enable());
        discovery->Release();
        FakeDriver::discovery = nullptr;
        QCOMPARE(driver.refCount.load(), 1); // the interface obtained was released
    }

    void cardsReachTheGuiThreadAndAreHeldUntilTheirRemovalIsDelivered()
    {
        DiscoveryDouble driver;
        FakeDriver::discovery = &driver;
        auto* discovery = new DeckLinkDeviceDiscovery;
        QVERIFY(discovery->Enable());
        QVERIFY(driver.callback);

        QSignalSpy arrived(discovery->notifier(), SIGNAL(deckLinkDeviceArrived(IDeckLink*)));
        QSignalSpy removed(discovery->notifier(), SIGNAL(deckLinkDeviceRemoved(IDeckLink*)));
        DeckLinkDouble first, second;
        QObject receiver; // a receiver in the GUI thread, as the window is
        QList<IDeckLink*> seen;
        QList<int> countsSeen;
        connect(discovery->notifier(), &DeckLinkDiscoveryQtNotifier::deckLinkDeviceRemoved, &receiver,
                [&](IDeckLink* card) {
                    QCOMPARE(QThread::currentThread(), QCoreApplication::instance()->thread());
                    seen << card;
                    countsSeen << static_cast<DeckLinkDouble*>(card)->refCount.load();
                });

        reportFromDriverThread(driver.callback, &first, true);
        reportFromDriverThread(driver.callback, &second, true);
        QCOMPARE(first.refCount.load(), 2); // held while present
        QCOMPARE(arrived.count(), 2);
        QCOMPARE(arrived.at(0).at(0).value<IDeckLink*>(), static_cast<IDeckLink*>(&first));
        QCOMPARE(arrived.at(1).at(0).value<IDeckLink*>(), static_cast<IDeckLink*>(&second));

        reportFromDriverThread(driver.callback, &first, false);
        QCOMPARE(removed.count(), 1);
        QTRY_COMPARE(seen, QList<IDeckLink*>{&first});
        QCOMPARE(countsSeen, QList<int>{2});    // still held when the removal was delivered
        QTRY_COMPARE(first.refCount.load(), 1); // and let go right after
        QCOMPARE(second.refCount.load(), 2);

        // A removal still queued when discovery is switched off lets its card
        // go too, and so does switching off with a card still present.
        DeckLinkDouble third;
        reportFromDriverThread(driver.callback, &third, true);
        reportFromDriverThread(driver.callback, &second, false);
        QCOMPARE(third.refCount.load(), 2);
        discovery->Disable();
        QCOMPARE(second.refCount.load(), 1);
        QCOMPARE(third.refCount.load(), 1);
        QCOMPARE(driver.callback, nullptr);
        discovery->Release();
        FakeDriver::discovery = nullptr;
        QCOMPARE(driver.uninstalls, 2); // by Disable and on destruction
        QCOMPARE(driver.refCount.load(), 1);
    }

    void answersItsInterfaces()
    {
        FakeDriver::discovery = nullptr;
        MessageLog quiet;
        auto* discovery = new DeckLinkDeviceDiscovery;
        void* out = reinterpret_cast<void*>(1);
        QCOMPARE(discovery->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
        QCOMPARE(discovery->QueryInterface(IID_IDeckLinkInputCallback, &out), E_NOINTERFACE);
        QCOMPARE(out, nullptr);
        QCOMPARE(discovery->QueryInterface(IID_IDeckLinkDeviceNotificationCallback, &out), S_OK);
        QCOMPARE(out, static_cast<void*>(static_cast<IDeckLinkDeviceNotificationCallback*>(discovery)));
        QCOMPARE(discovery->Release(), 1u);
        QCOMPARE(discovery->Release(), 0u);
    }
};

QTEST_GUILESS_MAIN(TestDeckLinkDeviceDiscovery)
#include "tst_decklinkdevicediscovery.moc"
