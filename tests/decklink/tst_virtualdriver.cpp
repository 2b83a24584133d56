// The virtual card driver through the driver interfaces: class creation,
// configuration, discovery, cards, faults and reference counting.

#include "virtualclient.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <fcntl.h>
#include <opencv2/imgcodecs.hpp>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Three cheap cards; C starts unplugged.
const char* const threeCards = R"yaml(
cards:
  - { name: A, signal: PALp, source: { kind: bars } }
  - { name: B, signal: PALp, source: { kind: bars } }
  - { name: C, signal: PALp, plugged: false, source: { kind: bars } }
)yaml";

const DeckLinkIID& interfaceNamed(const QString& name)
{
    if (name == "discovery")
        return IID_IDeckLinkDiscovery;
    if (name == "conversion")
        return IID_IDeckLinkVideoConversion;
    if (name == "input")
        return IID_IDeckLinkInput;
    return IID_IUnknown;
}

// What the driver writes to stderr while `action` runs.
std::string captureStandardError(const std::function<void()>& action)
{
    char path[] = "/tmp/virtualcards-stderr-XXXXXX";
    const int file = mkstemp(path);
    std::fflush(stderr);
    const int saved = dup(2);
    dup2(file, 2);
    action();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    char buffer[512];
    lseek(file, 0, SEEK_SET);
    for (ssize_t n; (n = read(file, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    close(file);
    unlink(path);
    return text;
}

bool configure(const char* text)
{
    std::string error;
    const bool ok = virtualcards::configure(text, &error);
    if (!ok)
        qWarning("%s", error.c_str());
    return ok;
}

} // namespace

class TestVirtualDriver : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        qunsetenv("DUOSCOPE_VIRTUAL_CARDS");
        // Every test releases what it obtained: once the cards are gone, nothing of the driver is left.
        QVERIFY(virtualcards::configure("cards: []"));
        QCOMPARE(virtualcards::liveObjects(), 0L);
    }

    void classCreation_data()
    {
        QTest::addColumn<QString>("configuration");
        QTest::addColumn<QByteArray>("classId");
        QTest::addColumn<QString>("interface");
        QTest::addColumn<int>("result");
        const QByteArray discovery = CLSID_CDeckLinkDiscovery, conversion = CLSID_CDeckLinkVideoConversion;
        QTest::newRow("discovery") << "cards" << discovery << "discovery" << int(S_OK);
        QTest::newRow("conversion") << "cards" << conversion << "conversion" << int(S_OK);
        QTest::newRow("class id in lower case") << "cards" << discovery.toLower() << "discovery" << int(S_OK);
        QTest::newRow("discovery as IUnknown") << "cards" << discovery << "unknown" << int(S_OK);
        QTest::newRow("interface the class lacks") << "cards" << discovery << "input" << int(E_NOINTERFACE);
        QTest::newRow("unknown class")
            << "cards" << QByteArray("{00000000-0000-0000-0000-000000000001}") << "unknown" << int(E_FAIL);
        QTest::newRow("discovery without driver") << "none" << discovery << "discovery" << int(E_FAIL);
        QTest::newRow("conversion without driver") << "none" << conversion << "conversion" << int(E_FAIL);
    }
    void classCreation()
    {
        QFETCH(QString, configuration);
        QFETCH(QByteArray, classId);
        QFETCH(QString, interface);
        QFETCH(int, result);
        QVERIFY(configure(configuration == "none" ? "none" : threeCards));
        QCOMPARE(virtualcards::isInstalled(), configuration != "none");
        void* object = reinterpret_cast<void*>(1);
        QCOMPARE(int(DeckLinkCreateInstance(classId.constData(), interfaceNamed(interface), &object)),
                 result);
        QCOMPARE(object != nullptr, result == S_OK);
        if (object)
            static_cast<IUnknown*>(object)->Release();
    }

    void classCreationWithoutOutPointer()
    {
        QCOMPARE(DeckLinkCreateInstance(CLSID_CDeckLinkDiscovery, IID_IDeckLinkDiscovery, nullptr),
                 E_INVALIDARG);
    }

    void badConfiguration_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("reason");
        QTest::newRow("unknown source kind") << "cards: [ { name: A, source: { kind: vidoe } } ]"
                                             << "cards[0].source.kind"
                                             << "\"vidoe\" is none of";
        QTest::newRow("missing image")
            << "cards: [ { name: A, source: { kind: image, file: /no/such.png } } ]"
            << "cards[0].source.file"
            << "no such file \"/no/such.png\"";
        QTest::newRow("missing video")
            << "cards: [ { name: A, source: { kind: video, file: /no/such.avi } } ]"
            << "cards[0].source.file"
            << "no such file";
        QTest::newRow("not an image") // this very program
            << QString("cards: [ { name: A, source: { kind: image, file: %1 } } ]")
                   .arg(QCoreApplication::applicationFilePath())
            << "cards[0].source.file"
            << "cannot read the image";
        QTest::newRow("right file of a pair missing")
            << "cards: [ { name: A, source: { kind: image, left: a.png } } ]"
            << "cards[0].source.right"
            << "missing";
        QTest::newRow("misspelt key") << "cards: [ { name: A, sigal: Hp25, source: { kind: bars } } ]"
                                      << "cards[0].sigal"
                                      << "unknown key";
        QTest::newRow("unknown mode") << "cards: [ { name: A, signal: Hp26, source: { kind: bars } } ]"
                                      << "cards[0].signal"
                                      << "unknown display mode \"Hp26\"";
        QTest::newRow("signal the card does not list")
            << "cards: [ { name: A, modes: [PALp], signal: Hp25, source: { kind: bars } } ]"
            << "cards[0].signal"
            << "does not list HD 1080p25";
        QTest::newRow("same name twice")
            << "cards: [ { name: A, source: { kind: bars } }, { name: A, source: { kind: bars } } ]"
            << "cards[1].name"
            << "another card";
        QTest::newRow("same name as shown") << "cards: [ { name: Bars, source: { kind: bars } }, { name: "
                                               "\"Bars (virtual)\", source: { kind: bars } } ]"
                                            << "cards[1].name"
                                            << "shows as \"Bars (virtual)\", as cards[0] does";
        QTest::newRow("a pipeline card named as a virtual one shows")
            << "cards: [ { name: Bars, source: { kind: bars } },"
               " { name: \"Bars (virtual)\", source: { kind: pipeline, description: videotestsrc } } ]"
            << "cards[1].name"
            << "shows as \"Bars (virtual)\", as cards[0] does";
        QTest::newRow("genlocked starts differ")
            << "cards: [ { name: A, genlock: g, timecodeStart: \"10:00:00:00\", source: { kind: bars } },"
               " { name: B, genlock: g, timecodeStart: \"11:00:00:00\", source: { kind: bars } } ]"
            << "cards[1].timecodeStart"
            << "differs";
        QTest::newRow("bad timecode start")
            << "cards: [ { name: A, timecodeStart: \"25:00:00:00\", source: { kind: bars } } ]"
            << "cards[0].timecodeStart"
            << "hh:mm:ss:ff";
        QTest::newRow("unknown fault in JSON")
            << R"({"cards": [{"name": "A", "faults": ["noInputs"], "source": {"kind": "bars"}}]})"
            << "cards[0].faults[0]"
            << "\"noInputs\" is none of";
        QTest::newRow("zoom out of range") << "rig: { right: { zoom: 0 } }\ncards: []"
                                           << "rig.right.zoom"
                                           << "out of range";
        QTest::newRow("no cards") << "rig: {}"
                                  << "cards"
                                  << "missing";
        QTest::newRow("not YAML") << "cards: [ { name: A"
                                  << ""
                                  << "not valid YAML or JSON: line 1: ";
        QTest::newRow("code starting with a digit unquoted")
            << "cards:\n  - { name: A, modes: [4k25], source: { kind: bars } }"
            << ""
            << "not valid YAML or JSON: line 2: ";
        QTest::newRow("not a boolean") << "cards: [ { name: A, plugged: maybe, source: { kind: bars } } ]"
                                       << "cards[0].plugged"
                                       << "expected true or false";
    }
    void badConfiguration()
    {
        QFETCH(QString, text);
        QFETCH(QString, key);
        QFETCH(QString, reason);
        QVERIFY(configure(threeCards));
        std::string error;
        QVERIFY(!virtualcards::configure(text.toStdString(), &error));
        const QString message = QString::fromStdString(error);
        QVERIFY2(message.contains(key.isEmpty() ? QString("configuration text: ") : key + ": "),
                 qPrintable(message));
        QVERIFY2(message.contains(reason), qPrintable(message));
        // Not half configured: the driver behaves as not installed.
        QVERIFY(!virtualcards::isInstalled());
        QVERIFY(virtualcards::presentCards().empty());
        IDeckLinkDiscovery* discovery = nullptr;
        QCOMPARE(DeckLinkCreateInstance(CLSID_CDeckLinkDiscovery, IID_IDeckLinkDiscovery,
                                        reinterpret_cast<void**>(&discovery)),
                 E_FAIL);
        QVERIFY(!discovery);
    }

    // What the variable names and what becomes of it, hostile files among them.
    void configurationFile_data()
    {
        // "content" is written to cards.yaml in a fresh directory, with %DIR% standing for that
        // directory, which also holds a still picture (still.png), a picture whose header claims
        // 100000 x 100000 pixels (huge.ppm), a FIFO (fifo) and a directory (folder).
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("variable"); // "file" for cards.yaml, a path, or another value
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QStringList>("message"); // fragments of the line on stderr
        const auto row = [](const char* name, const QString& content, const QString& variable, bool installed,
                            const QStringList& message) {
            QTest::newRow(name) << content << variable << installed << message;
        };
        const QString notInstalled = "; the driver is not installed\n";
        row("unset: built-in cards", "", "", true, {});
        row("none", "", "none", false, {});
        row("good file", threeCards, "file", true, {});
        row("missing file", "", "%DIR%/missing.yaml", false,
            {"virtual cards: ", "missing.yaml: no such file" + notInstalled});
        row("bad file", "cards: [ { name: A, source: { kind: vidoe } } ]", "file", false,
            {"cards.yaml: cards[0].source.kind: \"vidoe\" is none of", notInstalled});
        row("directory", "", "%DIR%/folder", false, {"folder: is a directory, not a file" + notInstalled});

        // Files that are no configuration: they must not block, nor be read without end.
        row("FIFO", "", "%DIR%/fifo", false, {"fifo: is not a regular file (a device, FIFO or socket)"});
        row("endless zeros", "", "/dev/zero", false, {"/dev/zero: is not a regular file"});
        row("endless random bytes", "", "/dev/urandom", false, {"/dev/urandom: is not a regular file"});
        row("read error", "", "/proc/self/mem", false,
            {"/proc/self/mem: cannot be read: Input/output error"});
        row("too large", "", "%DIR%/large.yaml", false, {"large.yaml: is too large (more than 4 MiB)"});
        row("endless file of /proc that tells no size", "", "/proc/self/pagemap", false,
            {"/proc/self/pagemap: is too large (more than 4 MiB)", notInstalled});

        // Nesting that would overflow the parser's stack.
        const int deep = 40000;
        row("deep brackets", "cards: " + QString(deep, '[') + QString(deep, ']'), "file", false,
            {"cards.yaml: line 1: nested deeper than 16 levels"});
        row("deep brackets in JSON", "{ \"cards\": " + QString(deep, '[') + QString(deep, ']') + " }", "file",
            false, {"line 1: nested deeper than 16 levels"});
        row("deep list items", "cards:\n  " + QString("- ").repeated(deep) + "x", "file", false,
            {"line 2: nested deeper than 16 levels"});
        QString indented = "rig:\n";
        for (int i = 1; i < 40; ++i)
            indented += QString(i, ' ') + "left:\n";
        row("deep indentation", indented, "file", false, {"line 17: nested deeper than 16 levels"});

        row("key missing in a map", "rig: { right: { : left } }\ncards: []", "file", false,
            {"line 1: a key is missing before \":\""});
        // Found by the fuzzer: OpenCV's parser never returned from this one.
        row("key missing at a line's start", "cards:\n  - { name: A, source: { kind: bars } }\n:\n  - x",
            "file", false, {"line 3: a key is missing before \":\""});
        row("deep list items without spaces", "cards: " + QString(deep, '-') + "x", "file", false,
            {"line 1: nested deeper than 16 levels"});

        // One document: OpenCV's parser loses its place in what follows its end, and never
        // returned from some of it (found by the fuzzer).
        row("dashes that are no document marker", QString(109, '-') + "e\n  -\n -\n\n -\n\no", "file", false,
            {"line 1: nested deeper than 16 levels"});
        row("second document", "cards: []\n---\ncards: []", "file", false,
            {"not valid YAML or JSON: line 2: a key may not start with \"-\""});
        row("text after the closing marker", "cards: []\n...\n-\n", "file", false,
            {"line 3: text after the end of the configuration"});
        row("text after the closing bracket", "{ cards: [] }\n-\n", "file", false,
            {"line 2: text after the end of the configuration"});
        row("JSON text after the closing brace", "{\"cards\": []} x", "file", false,
            {"line 1: text after the end of the configuration"});
        row("line indented less than the first", "# take 1\n  cards: []\nrig: {}", "file", false,
            {"line 3: indented less than the configuration's first line"});
        row("control character", "cards: []\n" + QString(QChar(0)) + "x", "file", false,
            {"line 2: a control character (byte 0x00); a configuration is plain text"});
        row("Windows line ends and a tab in a comment",
            "cards:\r\n  - { name: A, source: { kind: bars } } # the\tcamera\r\n", "file", true, {});
        row("tab as indentation", "cards:\n\t- { name: A, source: { kind: bars } }\n", "file", false,
            {"not valid YAML or JSON: line 2: a tab; indent with spaces"});
        row("escape by number", "cards: [ { name: \"A\\x41\", source: { kind: bars } } ]", "file", false,
            {"line 1: escapes by number (\\x, \\0 to \\7) are not read"});
        row("markers that open and close the document",
            "%YAML:1.0\n--- # take 1\ncards:\n  - [ a, b ]\n...\n# end\n", "file", false,
            {"cards[0]: expected a map"});

        // Numbers outside what the rig can render, and whole numbers beyond 32 bits.
        row("NaN", "rig: { interaxial: .nan }\ncards: []", "file", false,
            {"rig.interaxial: expected a finite number"});
        row("infinity", "rig:\n  fieldOfView: -.inf\ncards: []", "file", false,
            {"rig.fieldOfView: expected a finite number"});
        row("denormal distance", "rig: { boardDistance: 4.9e-324 }\ncards: []", "file", false,
            {"rig.boardDistance: out of range (0.1 to 100, or 0 for the default)"});
        row("whole number beyond 32 bits", "rig: { interaxial: 4294967326 }\ncards: []", "file", false,
            {"line 1: the whole number 4294967326 does not fit in 32 bits"});
        row("negative whole number beyond 32 bits", "rig:\n  right: { vertical: -2147483649 }\ncards: []",
            "file", false, {"line 2: the whole number -2147483649 does not fit in 32 bits"});
        row("hexadecimal beyond 32 bits",
            "cards: [ { name: A, userBits: 0x100000000, source: { kind: bars } } ]", "file", false,
            {"line 1: the whole number 0x100000000 does not fit in 32 bits"});
        row("JSON whole number beyond 32 bits",
            "{\"rig\":{\"interaxial\":99999999999999999999},\"cards\":[]}", "file", false,
            {"line 1: the whole number 99999999999999999999 does not fit in 32 bits"});
        // Sound files near those: none of these may be refused.
        row("limits and look-alikes",
            "rig: { interaxial: 1000, boardDistance: 0, convergence: 0.1, right: { vertical: -2147483648 } "
            "}\n"
            "cards:\n"
            "  - name: \"[[[[[[[[[[[[[[[[[[[[ 99999999999\"\n"
            "    userBits: 2147483647\n"
            "    source: { kind: bars }\n"
            "  - name: Take 12345678901 left # [[[[[[[[[[[[[[[[[[[[\n"
            "    timecodes: []\n"
            "    source: { kind: bars }\n",
            "file", false, {"rig.right.vertical: out of range (-10000 to 10000)"});
        row("sound look-alikes",
            "cards:\n"
            "  - name: \"[[[[[[[[[[[[[[[[[[[[ 99999999999\"\n"
            "    userBits: 2147483647\n"
            "    source: { kind: bars }\n"
            "  - name: Take 12345678901 left # [[[[[[[[[[[[[[[[[[[[\n"
            "    timecodeStart: \"09:59:59:24\"\n"
            "    source: { kind: bars }\n",
            "file", true, {});
        row("timecode start with a field beyond 32 bits",
            "cards: [ { name: A, timecodeStart: \"10:00:00:4294967296\", source: { kind: bars } } ]", "file",
            false, {"cards[0].timecodeStart: expected hh:mm:ss:ff"});

        // Many cards are read in one pass; a genlock group's start is checked against its first card's.
        QString many = "cards:\n";
        for (int i = 0; i < 20000; ++i)
            many += QString("  - { name: \"Card %1\", plugged: false, genlock: %2, timecodeStart: \"%3\", "
                            "source: { kind: bars } }\n")
                        .arg(i)
                        .arg(i % 2 ? "odd" : "even")
                        .arg(i == 19999 ? "11:00:00:00"
                             : i % 2    ? "10:00:00:00"
                                        : "09:00:00:00");
        row("many cards, the last one's start differs", many, "file", false,
            {"cards[19999].timecodeStart: differs from that of cards[1] in genlock group \"odd\""});

        // Pictures and videos named by the file.
        row("picture whose header claims 100000 x 100000",
            "cards: [ { name: A, source: { kind: image, file: huge.ppm } } ]", "file", false,
            {"cards[0].source.file: cannot read the image \"%DIR%/huge.ppm\": "});
        row("picture that is a FIFO", "cards: [ { name: A, source: { kind: image, file: fifo } } ]", "file",
            false, {"cards[0].source.file: \"%DIR%/fifo\" is not a regular file"});
        row("video that is a directory", "cards: [ { name: A, source: { kind: video, file: folder } } ]",
            "file", false, {"cards[0].source.file: \"%DIR%/folder\" is a directory"});
        // Read through the one backend that plays video files: probing the others left leaks behind.
        row("text as a video", "cards: [ { name: A, source: { kind: video, file: cards.yaml } } ]", "file",
            false, {"cards[0].source.file: cannot read the video \"%DIR%/cards.yaml\""});
        row("still picture as a video", "cards: [ { name: A, source: { kind: video, file: still.png } } ]",
            "file", false,
            {"\"%DIR%/still.png\" has a single frame: a still picture is a source of kind image"});
        row("still picture as a picture", "cards: [ { name: A, source: { kind: image, file: still.png } } ]",
            "file", true, {});
        row("XML", "<?xml version=\"1.0\"?><opencv_storage><cards></cards></opencv_storage>", "file", false,
            {"XML is not read; write the configuration in YAML or JSON"});
    }
    void configurationFile()
    {
        QFETCH(QString, content);
        QFETCH(QString, variable);
        QFETCH(bool, installed);
        QFETCH(QStringList, message);
        QTemporaryDir directory;
        const QString dir = directory.path();
        QVERIFY(QDir(dir).mkdir("folder"));
        QCOMPARE(mkfifo(QFile::encodeName(directory.filePath("fifo")).constData(), 0600), 0);
        QVERIFY(cv::imwrite(directory.filePath("still.png").toStdString(),
                            cv::Mat(48, 64, CV_8UC3, cv::Scalar(10, 20, 30))));
        QFile huge(directory.filePath("huge.ppm"));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        huge.write("P6\n100000 100000\n255\n");
        huge.write(QByteArray(3000, '\x7f'));
        huge.close();
        QFile large(directory.filePath("large.yaml"));
        QVERIFY(large.open(QIODevice::WriteOnly));
        QVERIFY(large.resize(4 * 1024 * 1024 + 1)); // sparse: costs no disk
        large.close();
        QFile out(directory.filePath("cards.yaml"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content.toUtf8());
        out.close();

        if (variable == "file")
            variable = out.fileName();
        qputenv("DUOSCOPE_VIRTUAL_CARDS", QString(variable).replace("%DIR%", dir).toUtf8());

        bool reloaded = false;
        const QString written =
            QString::fromStdString(captureStandardError([&] { reloaded = virtualcards::reload(); }));
        QCOMPARE(reloaded, installed);
        QCOMPARE(virtualcards::isInstalled(), installed);
        for (const QString& fragment : message)
            QVERIFY2(written.contains(QString(fragment).replace("%DIR%", dir)), qPrintable(written));
        if (message.isEmpty())
            QCOMPARE(written, QString());
        else
            QCOMPARE(written.count('\n'), 1); // one line that says it all

        // The same problem reaches the program, without the terminal's last words.
        BSTR messages = reinterpret_cast<BSTR>(&out);
        const HRESULT result = DeckLinkGetDriverMessages(&messages);
        const QString text = messages ? QString::fromUtf16(messages) : QString();
        SysFreeString(messages);
        QCOMPARE(result, message.isEmpty() ? S_FALSE : S_OK);
        QCOMPARE(messages == nullptr, message.isEmpty());
        for (QString fragment : message) {
            fragment.replace("%DIR%", dir).remove("; the driver is not installed\n");
            if (!fragment.isEmpty() && fragment != "virtual cards: ")
                QVERIFY2(text.contains(fragment), qPrintable(text));
        }
        QVERIFY2(!text.contains("not installed"), qPrintable(text));
    }

    void driverMessagesFollowTheLatestConfiguration()
    {
        std::string error;
        QVERIFY(!virtualcards::configure("cards: [ { name: A, bogus: 1 } ]", &error));
        BSTR messages = nullptr;
        QCOMPARE(DeckLinkGetDriverMessages(&messages), S_OK);
        QVERIFY(messages);
        QCOMPARE(QString::fromUtf16(messages), QString::fromStdString(error));
        SysFreeString(messages);

        QVERIFY(virtualcards::configure(threeCards));
        messages = reinterpret_cast<BSTR>(&error);
        QCOMPARE(DeckLinkGetDriverMessages(&messages), S_FALSE);
        QVERIFY(!messages);
        QCOMPARE(DeckLinkGetDriverMessages(nullptr), E_POINTER);
    }

    void documentedExamples()
    {
        QFile page(qEnvironmentVariable("DUOSCOPE_SOURCE_DIR") + "/docs/cards.md");
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(page.readAll());
        const QRegularExpression block("```(yaml|json)\\n(.*?)```",
                                       QRegularExpression::DotMatchesEverythingOption);
        int examples = 0;
        for (auto it = block.globalMatch(text); it.hasNext(); ++examples) {
            const QString example = it.next().captured(2);
            std::string error;
            // Keys and values must all be understood; only the example's own files are missing here.
            if (!virtualcards::configure(example.toStdString(), &error))
                QVERIFY2(QString::fromStdString(error).contains(QRegularExpression("no such file")),
                         qPrintable(QString::fromStdString(error) + "\n" + example));
        }
        QCOMPARE(examples, 6);
    }

    void builtInCards()
    {
        qunsetenv("DUOSCOPE_VIRTUAL_CARDS");
        QVERIFY(virtualcards::reload());
        const std::vector<std::string> expected = {"Virtual Card 1 (Left)", "Virtual Card 2 (Right)",
                                                   "Virtual Card 3 (Side by Side)"};
        QVERIFY(virtualcards::presentCards() == expected);
        CardFinder finder;
        QVERIFY(finder.waitForCards(3));
        const auto reports = finder.recorder().reports();
        for (size_t i = 0; i < expected.size(); ++i) {
            QVERIFY(reports[i].arrived);
            QCOMPARE(reports[i].name, expected[i]);
        }
    }

    void arrivalsPlugPullAndUninstall()
    {
        QVERIFY(configure(threeCards));
        CardFinder finder;
        QVERIFY(finder.waitForCards(2));
        auto reports = finder.recorder().reports();
        QCOMPARE(reports.size(), size_t(2));
        QVERIFY(reports[0].arrived && reports[1].arrived);
        QCOMPARE(reports[0].name, std::string("A"));
        QCOMPARE(reports[1].name, std::string("B"));

        QVERIFY(virtualcards::plug("C"));
        QVERIFY(!virtualcards::plug("C")); // already in
        QVERIFY(virtualcards::pull("A"));
        QVERIFY(!virtualcards::pull("A")); // already out
        QVERIFY(!virtualcards::pull("Z"));
        QVERIFY(finder.waitForCards(4));
        reports = finder.recorder().reports();
        QVERIFY(reports[2].arrived);
        QCOMPARE(reports[2].name, std::string("C"));
        QVERIFY(!reports[3].arrived);
        QCOMPARE(reports[3].card, reports[0].card);
        QVERIFY(virtualcards::presentCards() == (std::vector<std::string>{"B", "C"}));

        // A second listener serves as a barrier: once it has seen the later
        // plug and pull, the first (uninstalled) would have seen them too.
        CardFinder witness;
        QVERIFY(witness.waitForCards(2));
        QCOMPARE(finder.discovery()->UninstallDeviceNotifications(), S_OK);
        QCOMPARE(finder.discovery()->UninstallDeviceNotifications(), S_OK);
        QVERIFY(virtualcards::plug("A"));
        QVERIFY(virtualcards::pull("B"));
        QVERIFY(witness.waitForCards(4));
        QCOMPARE(finder.recorder().count(), size_t(4));
        // The driver gave back every reference to the callback it had taken.
        QCOMPARE(finder.recorder().refCount.load(), 1);
    }

    void installTwiceRefused()
    {
        QVERIFY(configure(threeCards));
        CardFinder finder;
        NotificationRecorder other;
        QCOMPARE(finder.discovery()->InstallDeviceNotifications(&other), E_ACCESSDENIED);
        QCOMPARE(finder.discovery()->InstallDeviceNotifications(nullptr), E_POINTER);
        QCOMPARE(other.refCount.load(), 1);
    }

    void uninstallFromWithinNotification()
    {
        QVERIFY(configure(threeCards));
        IDeckLinkDiscovery* discovery = nullptr;
        QCOMPARE(DeckLinkCreateInstance(CLSID_CDeckLinkDiscovery, IID_IDeckLinkDiscovery,
                                        reinterpret_cast<void**>(&discovery)),
                 S_OK);
        NotificationRecorder recorder;
        std::atomic<int> uninstalled{-1};
        recorder.hook = [&](bool, IDeckLink*) { uninstalled = discovery->UninstallDeviceNotifications(); };
        QCOMPARE(discovery->InstallDeviceNotifications(&recorder), S_OK);
        QTRY_COMPARE(uninstalled.load(), int(S_OK));
        CardFinder witness; // by the time it has both cards, B would have reached the first listener too
        QVERIFY(witness.waitForCards(2));
        QCOMPARE(recorder.count(), size_t(1));
        discovery->Release();
        QTRY_COMPARE(recorder.refCount.load(), 1);
    }

    void cardInterfaces()
    {
        QVERIFY(configure(threeCards));
        CardFinder finder;
        QVERIFY(finder.waitForCards(2));
        IDeckLink* card = finder.card("A");
        QVERIFY(card);
        QCOMPARE(card->QueryInterface(IID_IDeckLinkInput, nullptr), E_INVALIDARG);
        void* none = reinterpret_cast<void*>(1);
        QCOMPARE(card->QueryInterface(IID_IDeckLinkDiscovery, &none), E_NOINTERFACE);
        QVERIFY(!none);
        IUnknown* identity = nullptr;
        QCOMPARE(card->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
        // Every interface of a card is the same object.
        for (const DeckLinkIID* iid : {&IID_IDeckLinkInput, &IID_IDeckLinkOutput, &IID_IDeckLinkAttributes,
                                       &IID_IDeckLinkVideoConversion}) {
            IUnknown* object = nullptr;
            QCOMPARE(card->QueryInterface(*iid, reinterpret_cast<void**>(&object)), S_OK);
            IUnknown* sameIdentity = nullptr;
            QCOMPARE(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&sameIdentity)), S_OK);
            QCOMPARE(sameIdentity, identity);
            sameIdentity->Release();
            object->Release();
        }
        const ULONG count = identity->AddRef();
        QCOMPARE(identity->Release(), count - 1);
        identity->Release();
    }

    void displayModes_data()
    {
        QTest::addColumn<QString>("modes");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("all") << "" << QStringList();
        QTest::newRow("listed in any order") << "modes: [Hp50, \"pal \", \"4k25\", \"HD 1080p25\"]"
                                             << QStringList{"PAL", "HD 1080p25", "HD 1080p50", "4K 2160p25"};
    }
    void displayModes()
    {
        QFETCH(QString, modes);
        QFETCH(QStringList, names);
        const QString text = QString("cards: [ { name: A, %1%2 source: { kind: bars } } ]")
                                 .arg(modes, modes.isEmpty() ? "" : ",");
        QVERIFY(configure(text.toUtf8().constData()));
        if (names.isEmpty()) // the order of the program's name table
            names = QStringList{
                "NTSC",          "NTSC 23.98",    "NTSCp",         "PAL",           "PALp",
                "HD 720p50",     "HD 720p5994",   "HD 720p60",     "HD 1080p23.98", "HD 1080p24",
                "HD 1080p25",    "HD 1080p29.97", "HD 1080p30",    "HD 1080i50",    "HD 1080i59.94",
                "HD 1080i60",    "HD 1080p50",    "HD 1080p59.94", "HD 1080p60",    "2K 23.98",
                "2K 24",         "2K 25",         "2KDCI 23.98",   "2KDCI 24",      "2KDCI 25",
                "4K 2160p23.98", "4K 2160p24",    "4K 2160p25",    "4K 2160p29.97", "4K 2160p30",
                "4KDCI 23.98",   "4KDCI 24",      "4KDCI 25"};
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputHandle input(finder.card("A"));
        IDeckLinkDisplayModeIterator* iterator = nullptr;
        QCOMPARE(input->GetDisplayModeIterator(&iterator), S_OK);
        QStringList listed;
        IDeckLinkDisplayMode* mode = nullptr;
        while (iterator->Next(&mode) == S_OK) {
            BSTR name = nullptr;
            QCOMPARE(mode->GetName(&name), S_OK);
            listed << QString::fromUtf16(name);
            SysFreeString(name);
            BMDTimeValue duration = 0;
            BMDTimeScale scale = 0;
            QCOMPARE(mode->GetFrameRate(&duration, &scale), S_OK);
            if (mode->GetDisplayMode() == bmdModeHD1080p25) {
                QCOMPARE(mode->GetWidth(), 1920L);
                QCOMPARE(mode->GetHeight(), 1080L);
                QCOMPARE(duration, BMDTimeValue(1000));
                QCOMPARE(scale, BMDTimeScale(25000));
            }
            if (mode->GetDisplayMode() == bmdModePAL) {
                QCOMPARE(mode->GetWidth(), 720L);
                QCOMPARE(mode->GetHeight(), 576L);
            }
            mode->Release();
        }
        QVERIFY(!mode);
        QCOMPARE(iterator->Next(&mode), S_FALSE);
        iterator->Release();
        QCOMPARE(listed, names);
    }

    void attributes_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<int>("detection");
        QTest::newRow("default") << "" << 1;
        QTest::newRow("on") << "formatDetection: true," << 1;
        QTest::newRow("off") << "formatDetection: false," << 0;
    }
    void attributes()
    {
        QFETCH(QString, setting);
        QFETCH(int, detection);
        QVERIFY(
            configure(QString("cards: [ { name: A, %1 source: { kind: bars } } ]").arg(setting).toUtf8()));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        IDeckLinkAttributes* attributes = nullptr;
        QCOMPARE(
            finder.card("A")->QueryInterface(IID_IDeckLinkAttributes, reinterpret_cast<void**>(&attributes)),
            S_OK);
        BOOL value = -1;
        QCOMPARE(attributes->GetFlag(BMDDeckLinkSupportsInputFormatDetection, &value), S_OK);
        QCOMPARE(int(value), detection);
        QCOMPARE(attributes->GetFlag(fourCC("xxxx"), &value), E_INVALIDARG);
        attributes->Release();
    }

    void faults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("result");
        QTest::newRow("no input") << "noInput" << int(E_NOINTERFACE);
        QTest::newRow("no output") << "noOutput" << int(E_NOINTERFACE);
        QTest::newRow("no display name") << "noDisplayName" << int(E_FAIL);
        QTest::newRow("input in use") << "enableVideoInputFails" << int(E_ACCESSDENIED);
        QTest::newRow("start fails") << "startStreamsFails" << int(E_FAIL);
    }
    void faults()
    {
        QFETCH(QString, fault);
        QFETCH(int, result);
        QVERIFY(configure(QString("cards:\n"
                                  "  - { name: A, signal: PALp, faults: [%1], source: { kind: bars } }\n"
                                  "  - { name: B, signal: PALp, source: { kind: bars } }\n")
                              .arg(fault)
                              .toUtf8()));
        CardFinder finder;
        QVERIFY(finder.waitForCards(2));
        // The healthy card B does everything the faulty card A fails at.
        for (const std::string name : {"A", "B"}) {
            const bool faulty = name == "A";
            IDeckLink* card = finder.recorder().reports()[faulty ? 0 : 1].card; // A may hide its name
            QVERIFY(card);
            IUnknown* object = nullptr;
            HRESULT got = S_OK;
            if (fault == "noInput" || fault == "noOutput") {
                got = card->QueryInterface(fault == "noInput" ? IID_IDeckLinkInput : IID_IDeckLinkOutput,
                                           reinterpret_cast<void**>(&object));
                QCOMPARE(object != nullptr, !faulty);
                if (object)
                    object->Release();
            } else if (fault == "noDisplayName") {
                BSTR text = reinterpret_cast<BSTR>(1);
                got = card->GetDisplayName(&text);
                QCOMPARE(text != nullptr, !faulty);
                SysFreeString(text);
            } else {
                InputRecorder recorder;
                InputHandle input(card);
                QCOMPARE(input->SetCallback(&recorder), S_OK);
                got = input->EnableVideoInput(bmdModePALp, bmdFormat8BitYUV, 0);
                if (fault == "startStreamsFails") {
                    QCOMPARE(got, S_OK);
                    got = input->StartStreams();
                }
            }
            QCOMPARE(int(got), faulty ? result : int(S_OK));
        }
    }

    void inputStateChecks()
    {
        QVERIFY(configure("cards: [ { name: A, modes: [PALp, Hp25], signal: PALp, formatDetection: false,"
                          " source: { kind: bars } } ]"));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputRecorder recorder;
        InputHandle input(finder.card("A"));
        QCOMPARE(input->SetCallback(&recorder), S_OK);
        QCOMPARE(input->StartStreams(), E_ACCESSDENIED);                                        // not enabled
        QCOMPARE(input->EnableVideoInput(bmdModeHD1080p50, bmdFormat8BitYUV, 0), E_INVALIDARG); // not listed
        QCOMPARE(input->EnableVideoInput(bmdModePALp, bmdFormat10BitYUV, 0), E_INVALIDARG);
        QCOMPARE(input->EnableVideoInput(bmdModePALp, bmdFormat8BitYUV, bmdVideoInputEnableFormatDetection),
                 E_INVALIDARG); // the card cannot detect
        QCOMPARE(input->EnableVideoInput(bmdModePALp, bmdFormat8BitYUV, 0), S_OK);
        QCOMPARE(input->StartStreams(), S_OK);
        QCOMPARE(input->StartStreams(), E_ACCESSDENIED);
        QCOMPARE(input->EnableVideoInput(bmdModeHD1080p25, bmdFormat8BitYUV, 0), E_ACCESSDENIED);
        QCOMPARE(input->DisableVideoInput(), E_ACCESSDENIED);
        QVERIFY(recorder.waitForFrames(1));
        QCOMPARE(input->StopStreams(), S_OK);
        QCOMPARE(input->StopStreams(), S_OK);
        QCOMPARE(input->DisableVideoInput(), S_OK);
        QCOMPARE(input->StartStreams(), E_ACCESSDENIED);
        QCOMPARE(input->SetCallback(nullptr), S_OK);
        QCOMPARE(recorder.refCount.load(), 1);
    }

    void plugAndPullWhileStreaming()
    {
        QVERIFY(configure(threeCards));
        CardFinder finder;
        QVERIFY(finder.waitForCards(2));
        IDeckLink* first = finder.card("A");
        first->AddRef(); // held on after the pull, as the program does until it has stopped
        InputRecorder recorder;
        {
            InputHandle input(first);
            QCOMPARE(input.start(recorder, bmdModePALp), S_OK);
            QVERIFY(recorder.waitForFrames(3));
            QVERIFY(virtualcards::pull("A"));
            const size_t atPull = recorder.frameCount();
            QVERIFY(finder.waitForCards(3));
            QVERIFY(!finder.recorder().reports()[2].arrived);
            QCOMPARE(input->StartStreams(), E_FAIL); // the card is gone
            QCOMPARE(input->StopStreams(), S_OK);
            const size_t atStop = recorder.frameCount();
            QVERIFY(atStop <= atPull + 1); // at most the frame that was under way
            QCOMPARE(input->EnableVideoInput(bmdModePALp, bmdFormat8BitYUV, 0), E_FAIL);
            QCOMPARE(input->StartStreams(), E_FAIL);
            QVERIFY(recorder.waitForFrames(atStop + 1, 200) == false);
            QCOMPARE(recorder.frameCount(), atStop);
        }
        QVERIFY(virtualcards::plug("A"));
        QVERIFY(finder.waitForCards(4));
        IDeckLink* second = finder.card("A");
        QVERIFY(second && second != first);
        InputRecorder again;
        InputHandle input(second);
        QCOMPARE(input.start(again, bmdModePALp), S_OK);
        QVERIFY(again.waitForFrames(3));
        first->Release();
    }

    void objectsReleasedExactlyOnce()
    {
        // A correct client, as the program's capture device: every object it is handed it releases once.
        QVERIFY(configure(threeCards));
        const long before = virtualcards::liveObjects();
        NotificationRecorder notifications;
        InputRecorder recorder;
        IDeckLinkOutput* output = nullptr;
        IDeckLinkVideoConversion* conversion = nullptr;
        std::atomic<int> converted{0};
        recorder.onFrame = [&](IDeckLinkVideoInputFrame* frame) {
            IDeckLinkMutableVideoFrame* bgra = nullptr;
            if (output->CreateVideoFrame(frame->GetWidth(), frame->GetHeight(), 4 * frame->GetWidth(),
                                         bmdFormat8BitBGRA, bmdFrameFlagDefault, &bgra) == S_OK) {
                if (conversion->ConvertFrame(frame, bgra) == S_OK)
                    ++converted;
                bgra->Release();
            }
        };
        {
            IDeckLinkDiscovery* discovery = nullptr;
            QCOMPARE(DeckLinkCreateInstance(CLSID_CDeckLinkDiscovery, IID_IDeckLinkDiscovery,
                                            reinterpret_cast<void**>(&discovery)),
                     S_OK);
            QCOMPARE(DeckLinkCreateInstance(CLSID_CDeckLinkVideoConversion, IID_IDeckLinkVideoConversion,
                                            reinterpret_cast<void**>(&conversion)),
                     S_OK);
            QCOMPARE(discovery->InstallDeviceNotifications(&notifications), S_OK);
            QTRY_COMPARE(notifications.count(), size_t(2));
            IDeckLink* card = notifications.card("B");
            QCOMPARE(displayName(card), std::string("B"));
            QCOMPARE(card->QueryInterface(IID_IDeckLinkOutput, reinterpret_cast<void**>(&output)), S_OK);
            IDeckLinkAttributes* attributes = nullptr;
            QCOMPARE(card->QueryInterface(IID_IDeckLinkAttributes, reinterpret_cast<void**>(&attributes)),
                     S_OK);
            BOOL detection = 0;
            attributes->GetFlag(BMDDeckLinkSupportsInputFormatDetection, &detection);
            attributes->Release();
            {
                InputHandle input(card);
                recorder.followInput = input.get();
                QCOMPARE(input.start(recorder, bmdModeNTSC, bmdVideoInputEnableFormatDetection), S_OK);
                QVERIFY(recorder.waitForFrames(4));
                QCOMPARE(recorder.formatChanges().size(), size_t(1));
                QCOMPARE(input->SetScreenPreviewCallback(nullptr), S_OK);
            }
            QVERIFY(converted.load() >= 4);
            output->Release();
            conversion->Release();
            QCOMPARE(discovery->UninstallDeviceNotifications(), S_OK);
            QCOMPARE(discovery->Release(), 0u);
        }
        QCOMPARE(notifications.refCount.load(), 1);
        QCOMPARE(recorder.refCount.load(), 1);
        // What is left are the driver's own cards, which leave with the configuration (checked in cleanup).
        QVERIFY(virtualcards::liveObjects() >= before);
    }
};

QTEST_GUILESS_MAIN(TestVirtualDriver)
#include "tst_virtualdriver.moc"
