// The card list behind the window's three input lists: what it shows, and
// that it holds each device by one reference, however rows come and go.

#include "capture/cardlistmodel.h"
#include "common/carddoubles.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QtTest>

namespace {

struct Cards
{
    DeckLinkDouble deckLink[3];
    ConversionDouble conversion;

    Cards()
    {
        FakeDriver::conversion = &conversion;
        const char16_t* names[] = {u"Card A", u"Card B", u"Card C"};
        for (int i = 0; i < 3; ++i)
            deckLink[i].name = names[i];
    }
    ~Cards() { FakeDriver::conversion = nullptr; }

    // A device of the card as the window makes one: initialised, so named.
    ComPtr<DeckLinkDevice> device(int i)
    {
        auto device = ComPtr<DeckLinkDevice>::adopt(new DeckLinkDevice(&deckLink[i]));
        if (!device->Init())
            qFatal("card %d: %s", i, qPrintable(device->GetErrorMessage()));
        return device;
    }
    // Whether the card is held by a device still (the test's own reference aside).
    bool held(int i) const { return deckLink[i].refCount.load() > 1; }
};

QStringList shown(const QComboBox& list)
{
    QStringList entries;
    for (int row = 0; row < list.count(); ++row)
        entries << list.itemText(row);
    return entries;
}

} // namespace

class TestCardListModel : public QObject
{
    Q_OBJECT
private slots:
    // Rows appended, taken from the middle, the end and a row that is not
    // there, then cleared: the lists on the model follow every step, a list's
    // choice stays on its card while others go, and each device is let go
    // exactly when the model (or whoever took it) lets go of it.
    void rowsComeAndGoWithTheirReferences()
    {
        Cards cards;
        {
            CardListModel model;
            QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
            QComboBox left, right;
            left.setModel(&model);
            right.setModel(&model);
            for (int i = 0; i < 3; ++i)
                model.append(cards.device(i));
            QCOMPARE(shown(left), (QStringList{"Card A", "Card B", "Card C"}));
            QCOMPARE(shown(right), shown(left));
            right.setCurrentIndex(2);
            QCOMPARE(model.rowOf(&cards.deckLink[1]), 1);
            QVERIFY(!model.anyCapturing());

            {
                ComPtr<DeckLinkDevice> taken = model.take(1);
                QVERIFY(taken);
                QCOMPARE(taken->GetDeckLink(), &cards.deckLink[1]);
                // The taker holds the device now; the lists no longer show it.
                QVERIFY(cards.held(1));
                QCOMPARE(shown(left), (QStringList{"Card A", "Card C"}));
                QCOMPARE(right.currentText(), QStringLiteral("Card C"));
                QCOMPARE(model.rowOf(&cards.deckLink[1]), -1);
                QCOMPARE(model.rowOf(&cards.deckLink[2]), 1);
            }
            QVERIFY(!cards.held(1));

            QVERIFY(!model.take(2));
            QVERIFY(!model.take(-1));
            QVERIFY(!model.device(5));
            QVERIFY(!model.data(model.index(0), Qt::UserRole).isValid());

            model.take(1);
            QVERIFY(!cards.held(2));
            QCOMPARE(shown(right), QStringList{"Card A"});

            model.append(cards.device(2));
            model.clear();
            QCOMPARE(left.count(), 0);
            QVERIFY(!cards.held(0) && !cards.held(2));
            model.append(cards.device(0));
        }
        // The model lets go of what it still holds when it goes.
        QVERIFY(!cards.held(0));
    }
};

QTEST_MAIN(TestCardListModel)
#include "tst_cardlistmodel.moc"
