// The card configuration reader on its own: which cards are the virtual
// driver's and which the GStreamer driver's, what a configuration that cannot
// be used leaves, and that the configured cards are read once, on first use,
// unless a configuration was given before.

#include "configuration/configuredcards.h"

#include <QtTest>

namespace {

QStringList virtualNames(const cardconfig::Configuration& configuration)
{
    QStringList names;
    for (const cardconfig::CardSettings& card : configuration.cards)
        names << QString::fromStdString(card.name);
    return names;
}

QStringList pipelineNames(const cardconfig::Configuration& configuration)
{
    QStringList names;
    for (const cardconfig::PipelineCardSettings& card : configuration.pipelineCards)
        names << QString::fromStdString(card.name);
    return names;
}

// Records what a program's driver was handed.
struct Applied
{
    QList<QStringList> virtualCards;
    cardconfig::ConfigurationOnce once{[this](const cardconfig::ConfiguredCards& cards) {
        virtualCards << virtualNames(cards.configuration);
    }};
};

} // namespace

class TestCardConfiguration : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { qunsetenv("DUOSCOPE_VIRTUAL_CARDS"); }

    void eachDriverGetsItsCards_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QStringList>("virtualCards");
        QTest::addColumn<QStringList>("pipelineCards");
        QTest::addColumn<QString>("problem");

        const QString bars = "{ name: Bars, source: { kind: bars } }";
        const QString camera = "{ name: Camera, source: { kind: pipeline, description: videotestsrc } }";
        QTest::newRow("both kinds, in the file's order")
            << "cards: [ " + camera + ", " + bars + ", { name: Rig, source: { kind: rig } } ]" << true
            << QStringList{"Bars", "Rig"} << QStringList{"Camera"} << QString();
        QTest::newRow("a pipeline card not plugged in is not made")
            << "cards: [ " + bars +
                   ", { name: Later, plugged: false, source: { kind: pipeline, description: videotestsrc } } "
                   "]"
            << true << QStringList{"Bars"} << QStringList{} << QString();
        QTest::newRow("pipeline cards alone")
            << "cards: [ " + camera + " ]" << true << QStringList{} << QStringList{"Camera"} << QString();
        QTest::newRow("none") << "none" << false << QStringList{} << QStringList{} << QString();
        // Half a configuration would mislead: neither driver gets any card of it.
        QTest::newRow("one name for a virtual and a pipeline card")
            << "cards: [ " + camera + ", { name: Camera, source: { kind: bars } } ]" << false << QStringList{}
            << QStringList{} << "configuration text: cards[1].name: another card has the name \"Camera\"";
        QTest::newRow("a key a pipeline card does not take")
            << "cards: [ " + bars +
                   ", { name: Camera, genlock: rig, source: { kind: pipeline, description: videotestsrc } } ]"
            << false << QStringList{} << QStringList{} << "configuration text: cards[1].genlock: ";
    }
    void eachDriverGetsItsCards()
    {
        QFETCH(QString, text);
        QFETCH(bool, installed);
        QFETCH(QStringList, virtualCards);
        QFETCH(QStringList, pipelineCards);
        QFETCH(QString, problem);
        const cardconfig::ConfiguredCards cards = cardconfig::readConfigurationText(text.toStdString());
        QVERIFY2(QString::fromStdString(cards.problem).startsWith(problem) &&
                     cards.problem.empty() == problem.isEmpty(),
                 cards.problem.c_str());
        QCOMPARE(cards.configuration.installed, installed);
        QCOMPARE(virtualNames(cards.configuration), virtualCards);
        QCOMPARE(pipelineNames(cards.configuration), pipelineCards);
        for (const cardconfig::CardSettings& card : cards.configuration.cards)
            QVERIFY(card.source.kind != cardconfig::SourceKind::Pipeline);
    }

    void aPipelineCardKeepsWhatTheFileSays()
    {
        const cardconfig::ConfiguredCards cards = cardconfig::readConfigurationText(
            "cards: [ { name: Camera, modes: [Hp25, hp50], formatDetection: false, timecodes: [rp12],"
            " source: { kind: pipeline, description: \"videotestsrc ! timecodestamper\" } } ]");
        QCOMPARE(cards.configuration.pipelineCards.size(), size_t(1));
        const cardconfig::PipelineCardSettings& card = cards.configuration.pipelineCards.front();
        QCOMPARE(card.description, std::string("videotestsrc ! timecodestamper"));
        QCOMPARE(card.modes.size(), size_t(2));
        QCOMPARE(card.modes.front()->code, bmdModeHD720p50); // in the cards' order, not the file's
        QCOMPARE(card.modes.back()->code, bmdModeHD1080p25);
        QVERIFY(!card.formatDetection);
        QCOMPARE(card.timecodes, std::vector<BMDTimecodeFormat>{bmdTimecodeRP188VITC2});
    }

    void theConfiguredCardsAreReadOnFirstUse_data()
    {
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QList<QStringList>>("applied");
        const QStringList configured{"Virtual Card 1 (Left)", "Virtual Card 2 (Right)",
                                     "Virtual Card 3 (Side by Side)"};
        QTest::newRow("read once") << QStringList{"load", "load"} << QList<QStringList>{configured};
        QTest::newRow("a configuration given first stays")
            << QStringList{"replace", "load"} << QList<QStringList>{{"Given"}};
        QTest::newRow("and one given later replaces")
            << QStringList{"load", "replace", "load"} << QList<QStringList>{configured, {"Given"}};
    }
    void theConfiguredCardsAreReadOnFirstUse()
    {
        QFETCH(QStringList, calls);
        QFETCH(QList<QStringList>, applied);
        Applied driver;
        for (const QString& call : calls) {
            if (call == "load")
                driver.once.load();
            else
                QVERIFY(driver.once.replace("cards: [ { name: Given, source: { kind: bars } } ]", nullptr));
        }
        QCOMPARE(driver.virtualCards, applied);
    }
};

QTEST_GUILESS_MAIN(TestCardConfiguration)
#include "tst_cardconfiguration.moc"
