// The GStreamer cards through the program's composed driver, on real
// GStreamer: pipeline cards made of videotestsrc and timecodestamper, format
// changes, failing pipelines, a capture-card source with no card, the device
// monitor on a machine without devices, names beside the virtual cards;
// pictures of odd widths and a still's colours through the card's conversion.

#include "gstreamer/modes.h"
#include "virtualclient.h"

#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <decklink/drivers.h>
#include <decklink/gstreamercards.h>
#include <mutex>
#include <opencv2/imgcodecs.hpp>
#include <set>

namespace {

// A pipeline card in the configuration format.
QString pipelineCard(const QString& name, const QString& description, const QString& extra = QString())
{
    QString quoted = description;
    quoted.replace('"', "\\\"");
    return QStringLiteral("  - { name: \"%1\", source: { kind: pipeline, description: \"%2\" }%3 }\n")
        .arg(name, quoted, extra.isEmpty() ? QString() : ", " + extra);
}

bool configure(const QString& cards)
{
    std::string error;
    const QString text = cards.startsWith("[") ? "cards: " + cards : "cards:\n" + cards;
    const bool ok = virtualcards::configure(text.toStdString(), &error);
    if (!ok)
        qWarning("%s", error.c_str());
    return ok;
}

QString testSource(const QString& pattern, int width, int height, const QString& rate)
{
    return QStringLiteral(
               "videotestsrc pattern=%1 ! video/x-raw,width=%2,height=%3,framerate=%4 ! timecodestamper")
        .arg(pattern)
        .arg(width)
        .arg(height)
        .arg(rate);
}

std::string allDriverMessages()
{
    BSTR text = nullptr;
    if (DeckLinkGetDriverMessages(&text) != S_OK || !text)
        return {};
    const std::string result = QString::fromUtf16(text).toStdString();
    SysFreeString(text);
    return result;
}

// The driver's message that starts with `prefix`, the latest if several do.
QString messageStarting(const QString& prefix)
{
    const QStringList messages = QString::fromStdString(allDriverMessages()).split('\n');
    for (auto message = messages.rbegin(); message != messages.rend(); ++message)
        if (message->startsWith(prefix))
            return *message;
    return QString();
}

constexpr BMDTimeScale nanoseconds = 1000000000;

// A picture with a signal from a pipeline card of the given size at 25 frames
// per second, converted by the card into the program's BGR; empty if none came.
cv::Mat convertedPicture(const QString& description, int width, int height)
{
    if (!configure(pipelineCard("Camera", description)))
        return {};
    cv::Mat picture;
    CardFinder finder;
    if (!finder.waitForCards(1))
        return {};
    IDeckLink* card = finder.card("Camera");
    IDeckLinkVideoConversion* conversion = nullptr;
    if (card->QueryInterface(IID_IDeckLinkVideoConversion, reinterpret_cast<void**>(&conversion)) != S_OK)
        return {};
    std::mutex mutex;
    InputRecorder recorder;
    recorder.onFrame = [&](IDeckLinkVideoInputFrame* frame) {
        MutableFrameDouble bgr;
        bgr.format = bmdFormat8BitBGR;
        bgr.pixels = cv::Mat(height, width, CV_8UC3, cv::Scalar::all(7));
        if (!(frame->GetFlags() & bmdFrameHasNoInputSource) && frame->GetWidth() == width &&
            frame->GetHeight() == height && conversion->ConvertFrame(frame, &bgr) == S_OK) {
            std::lock_guard<std::mutex> lock(mutex);
            picture = bgr.pixels;
        }
    };
    {
        // The card follows the stream into the mode it makes up for the stream's size.
        InputHandle input(card);
        recorder.followInput = input.get();
        if (input.start(recorder, bmdModeHD1080p25, bmdVideoInputEnableFormatDetection) == S_OK)
            QTest::qWaitFor(
                [&] {
                    std::lock_guard<std::mutex> lock(mutex);
                    return !picture.empty();
                },
                10000);
        input->StopStreams();
        recorder.followInput = nullptr;
    }
    conversion->Release();
    std::lock_guard<std::mutex> lock(mutex);
    return picture;
}

} // namespace

class TestGStreamerCards : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(gstreamercards::isAvailable());
        QVERIFY(configure("[]"));
    }

    void cleanup()
    {
        decklinkdrivers::setVirtualCardsShown(true);
        QVERIFY(virtualcards::configure("cards: []"));
        QVERIFY(gstreamercards::presentCards().empty());
        QTRY_COMPARE(gstreamercards::liveObjects(), 0L);
    }

    void framesOfAPipelineCard_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<BMDDisplayMode>("mode");
        QTest::addColumn<long>("width");
        QTest::addColumn<long>("height");
        QTest::addColumn<int>("timecodeRate");
        QTest::addColumn<int>("luma");

        QTest::newRow("1080p25 white")
            << testSource("white", 1920, 1080, "25/1") << bmdModeHD1080p25 << 1920L << 1080L << 25 << 235;
        QTest::newRow("720p50 black")
            << testSource("black", 1280, 720, "50/1") << bmdModeHD720p50 << 1280L << 720L << 50 << 16;
        QTest::newRow("720p59.94 from I420")
            << "videotestsrc pattern=white ! "
               "video/x-raw,format=I420,width=1280,height=720,framerate=60000/1001 ! "
               "timecodestamper"
            << bmdModeHD720p5994 << 1280L << 720L << 60 << 235;
    }
    void framesOfAPipelineCard()
    {
        QFETCH(QString, description);
        QFETCH(BMDDisplayMode, mode);
        QFETCH(long, width);
        QFETCH(long, height);
        QFETCH(int, timecodeRate);
        QFETCH(int, luma);
        QVERIFY(configure(pipelineCard("Camera", description)));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        IDeckLink* card = finder.card("Camera");
        QVERIFY(card);

        InputRecorder recorder;
        recorder.timeScale = nanoseconds;
        std::atomic<int> centreLuma{-1};
        recorder.onFrame = [&](IDeckLinkVideoInputFrame* frame) {
            void* bytes = nullptr;
            if (frame->GetBytes(&bytes) == S_OK && bytes)
                centreLuma = static_cast<const uint8_t*>(
                    bytes)[frame->GetHeight() / 2 * frame->GetRowBytes() + frame->GetWidth() + 1];
        };
        {
            InputHandle input(card);
            QCOMPARE(input.start(recorder, mode), S_OK);
            QVERIFY(recorder.waitForFrames(8));
            QCOMPARE(input->StopStreams(), S_OK);
        }
        const auto frames = recorder.frames();
        const BMDTimeValue duration = frames.front().streamDuration;
        QVERIFY(duration > 0);
        for (size_t i = 0; i < frames.size(); ++i) {
            const ReceivedFrame& f = frames[i];
            QCOMPARE(f.width, width);
            QCOMPARE(f.height, height);
            QVERIFY(f.rowBytes >= 2 * width);
            QCOMPARE(f.pixelFormat, bmdFormat8BitYUV);
            QCOMPARE(f.displayMode, mode);
            QCOMPARE(f.flags, bmdFrameFlagDefault);
            QVERIFY(f.hasTimecode);
            QCOMPARE(f.userBits, 0u);
            if (i == 0)
                continue;
            // One frame apart on every time line: timecode, stream time, the shared clock.
            QCOMPARE(f.timecodeFrames(timecodeRate) - frames[i - 1].timecodeFrames(timecodeRate), 1L);
            QVERIFY(qAbs(f.streamTime - frames[i - 1].streamTime - duration) <= 1);
            QVERIFY(qAbs(f.hardwareTime - frames[i - 1].hardwareTime - duration) <= 1);
        }
        QCOMPARE(frames.front().timecodeFrames(timecodeRate), 0L); // timecodestamper starts at 00:00:00:00
        QVERIFY(qAbs(centreLuma - luma) <= 1);
    }

    void captureCardFollowsAFormatChange_data()
    {
        QTest::addColumn<bool>("detection");
        QTest::newRow("with format detection") << true;
        QTest::newRow("without") << false;
    }
    void captureCardFollowsAFormatChange()
    {
        QFETCH(bool, detection);
        // A camera switched from 1080p25 to 720p50 after ten frames.
        const QString description =
            "videotestsrc num-buffers=10 ! video/x-raw,width=1920,height=1080,framerate=25/1 ! c. "
            "videotestsrc ! video/x-raw,width=1280,height=720,framerate=50/1 ! c. "
            "concat name=c ! timecodestamper";
        QVERIFY(configure(pipelineCard("Camera", description)));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputRecorder recorder;
        {
            InputHandle input(finder.card("Camera"));
            recorder.followInput = input.get();
            QCOMPARE(
                input.start(recorder, bmdModeHD1080p25, detection ? bmdVideoInputEnableFormatDetection : 0),
                S_OK);
            if (detection)
                QVERIFY(QTest::qWaitFor(
                    [&] { return recorder.frameCount() > 0 && recorder.frames().back().width == 1280; },
                    10000));
            else
                QVERIFY(QTest::qWaitFor(
                    [&] { return recorder.frameCount() > 0 && recorder.frames().back().flags != 0; }, 10000));
            QVERIFY(recorder.waitForFrames(recorder.frameCount() + 3));
            QCOMPARE(input->StopStreams(), S_OK);
            recorder.followInput = nullptr;
        }
        const auto frames = recorder.frames();
        QCOMPARE(recorder.formatChanges(),
                 detection ? std::vector<BMDDisplayMode>{bmdModeHD720p50} : std::vector<BMDDisplayMode>{});
        QCOMPARE(frames.front().width, 1920L);
        QCOMPARE(frames.front().flags, bmdFrameFlagDefault);
        bool changed = false;
        for (const ReceivedFrame& f : frames) {
            if (f.flags != 0) {
                // Without signal in the enabled mode (or while the machine stalls): black, no timecode.
                QCOMPARE(f.flags, bmdFrameHasNoInputSource);
                QVERIFY(!f.hasTimecode);
                QCOMPARE(f.width, changed && detection ? 1280L : 1920L);
                changed = changed || !detection;
                continue;
            }
            const bool newSize = f.width == 1280;
            // With detection every frame after the change is of the new mode; without, none has a picture.
            QVERIFY(!changed || (detection && newSize));
            changed = changed || newSize;
            QCOMPARE(f.displayMode, newSize ? bmdModeHD720p50 : bmdModeHD1080p25);
            QCOMPARE(f.height, newSize ? 720L : 1080L);
        }
        QVERIFY(changed);
    }

    void aStreamThatEndsLeavesACardWithoutSignal()
    {
        QVERIFY(configure(
            pipelineCard("Short", "videotestsrc num-buffers=3 ! "
                                  "video/x-raw,width=1280,height=720,framerate=50/1 ! timecodestamper")));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputRecorder recorder;
        {
            InputHandle input(finder.card("Short"));
            QCOMPARE(input.start(recorder, bmdModeHD720p50), S_OK);
            QVERIFY(recorder.waitForFrames(5));
            QCOMPARE(input->StopStreams(), S_OK);
        }
        const auto frames = recorder.frames();
        for (size_t i = 0; i < frames.size(); ++i) {
            QCOMPARE(frames[i].flags, i < 3 ? bmdFrameFlagDefault : bmdFrameHasNoInputSource);
            QCOMPARE(frames[i].hasTimecode, i < 3);
            QCOMPARE(frames[i].width, 1280L);
        }
        QVERIFY(allDriverMessages().find("\"Short\" lost its signal: the stream ended") != std::string::npos);
    }

    void aCardThatCannotStartSaysWhy_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("cause");
        QTest::addColumn<bool>("foundUnstarted"); // by the check of the description, before any start
        QTest::addColumn<QString>("absent");
        QTest::newRow("syntax error") << "videotestsrc ! ! videotestsrc"
                                      << "syntax error" << true << QString();
        QTest::newRow("missing element")
            << "nosuchvideosource"
            << "no element \"nosuchvideosource\"; \"nosuchvideosource\" is in none" << true << QString();
        QTest::newRow("bad property value, element installed")
            << "videotestsrc pattern=nosuch"
            << "could not set property \"pattern\"" << true << "Debian package";
        QTest::newRow("sink element")
            << "videotestsrc ! tee name=t ! queue ! fakesink t. ! queue"
            << "holds the sink element \"fakesink\", which would write" << true << QString();
        QTest::newRow("named sink elements")
            << "videotestsrc ! tee name=t ! queue ! fakesink name=out t. ! queue ! filesink "
               "location=/dev/null"
            << "holds the sink elements \"fakesink\" (out), \"filesink\"" << true << QString();
        QTest::newRow("a sink at the end") << "videotestsrc ! autovideosink"
                                           << "holds the sink element \"autovideosink\"" << true << QString();
        QTest::newRow("capture card without a card")
            << "decklinkvideosrc"
            << "card vendor's desktop driver installed?" << false << QString();
        QTest::newRow("no video") << "audiotestsrc"
                                  << "could not link" << false << QString();
    }
    void aCardThatCannotStartSaysWhy()
    {
        QFETCH(QString, description);
        QFETCH(QString, cause);
        QFETCH(bool, foundUnstarted);
        QFETCH(QString, absent);
        // Named after the case, so that its messages are told from those of the cases before.
        const QString name = QTest::currentDataTag();
        const QString prefix = "\"" + name + "\" cannot start: ";
        QVERIFY(configure(pipelineCard(name, description) +
                          pipelineCard("Sound", testSource("black", 320, 240, "25/1"))));
        QCOMPARE(messageStarting(prefix).contains(cause), foundUnstarted);
        CardFinder finder;
        QVERIFY(finder.waitForCards(foundUnstarted ? 1 : 2));
        // A description found wrong by the check makes no card: the problem says why, the card is not
        // listed, and the card beside it is.
        const std::vector<std::string> listed = foundUnstarted
                                                    ? std::vector<std::string>{"Sound"}
                                                    : std::vector<std::string>{name.toStdString(), "Sound"};
        QCOMPARE(gstreamercards::presentCards(), listed);
        QCOMPARE(finder.card(name.toStdString()) == nullptr, foundUnstarted);
        if (foundUnstarted) {
            const QString message = messageStarting(prefix);
            if (!absent.isEmpty())
                QVERIFY2(!message.contains(absent), qPrintable(message));
            return;
        }
        InputRecorder recorder;
        QString told;
        {
            InputHandle input(finder.card(name.toStdString()));
            QCOMPARE(input.start(recorder, bmdModeHD1080p25), E_FAIL);
            // The card stays usable: the next start fails the same way, and nothing streams.
            QCOMPARE(input->StartStreams(), E_FAIL);
            QCOMPARE(input->StopStreams(), S_OK);
            // The card itself tells the cause, as the driver's messages do.
            IDeckLinkInputStatus* status = nullptr;
            QCOMPARE(finder.card(name.toStdString())
                         ->QueryInterface(IID_IDeckLinkInputStatus, reinterpret_cast<void**>(&status)),
                     S_OK);
            BSTR text = nullptr;
            QCOMPARE(status->GetProblem(&text), S_OK);
            told = QString::fromUtf16(text);
            SysFreeString(text);
            status->Release();
        }
        QCOMPARE(recorder.frameCount(), size_t(0));
        const QString message = messageStarting(prefix);
        QVERIFY2(message.contains(cause), qPrintable(message));
        QCOMPARE(prefix + told, message);
        if (!absent.isEmpty())
            QVERIFY2(!message.contains(absent), qPrintable(message));
    }

    void aSinkInTheDescriptionWritesNothing()
    {
        QTemporaryDir directory;
        const QString target = directory.filePath("take.mov");
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("the crew's file");
        file.close();
        QVERIFY(configure(pipelineCard(
            "Tee", "videotestsrc ! tee name=t ! queue ! filesink location=" + target + " t. ! queue")));
        CardFinder finder;
        QVERIFY(finder.discovery());
        // The card is not made, so nothing can start it.
        QVERIFY(gstreamercards::presentCards().empty());
        QVERIFY(messageStarting("\"Tee\" cannot start: ").contains("filesink"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("the crew's file"));
    }

    void aSourceThatSendsNothingStartsWithoutSignal()
    {
        // A valve that never opens: the start does not wait for a first frame, the card runs without
        // signal, and a stop ends it.
        QVERIFY(configure(pipelineCard("Valve", "videotestsrc ! valve drop=true")));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputRecorder recorder;
        {
            InputHandle input(finder.card("Valve"));
            QCOMPARE(input.start(recorder, bmdModeHD1080p25), S_OK);
            QVERIFY(recorder.waitForFrames(2));
            QCOMPARE(input->StopStreams(), S_OK);
        }
        for (const ReceivedFrame& frame : recorder.frames())
            QCOMPARE(frame.flags, bmdFrameHasNoInputSource);
    }

    void aFormatThatChangesOnEveryFrameStillGivesPictures()
    {
        // Pictures of two sizes in turn: each frame reveals a change, and is delivered in its format.
        QTemporaryDir directory;
        for (int i = 0; i < 2; ++i)
            QVERIFY(
                cv::imwrite(directory.filePath(QString("f%1.png").arg(i)).toStdString(),
                            cv::Mat(i == 0 ? 48 : 96, i == 0 ? 64 : 128, CV_8UC3, cv::Scalar(0, 128, 255))));
        QVERIFY(configure(pipelineCard("Changing", "multifilesrc location=" + directory.filePath("f%d.png") +
                                                       " loop=true caps=image/png,framerate=25/1 ! pngdec")));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputRecorder recorder;
        {
            InputHandle input(finder.card("Changing"));
            recorder.followInput = input.get();
            QCOMPARE(input.start(recorder, bmdModeHD1080p25, bmdVideoInputEnableFormatDetection), S_OK);
            QVERIFY(QTest::qWaitFor(
                [&] {
                    const auto frames = recorder.frames();
                    return std::count_if(frames.begin(), frames.end(), [](const ReceivedFrame& f) {
                               return f.flags == bmdFrameFlagDefault;
                           }) >= 10;
                },
                10000));
            QCOMPARE(input->StopStreams(), S_OK);
            recorder.followInput = nullptr;
        }
        QVERIFY(recorder.formatChanges().size() >= 10);
        std::set<long> widths;
        for (const ReceivedFrame& frame : recorder.frames())
            if (frame.flags == bmdFrameFlagDefault)
                widths.insert(frame.width);
        QCOMPARE(widths, (std::set<long>{64, 128}));
    }

    void buffersSmallerThanTheirFormatGiveNoSignalWithTheReason()
    {
        QVERIFY(configure(pipelineCard("Short buffers",
                                       "videotestsrc ! video/x-raw,format=UYVY,width=64,height=48 ! "
                                       "capssetter caps=video/x-raw,width=128,height=96")));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputRecorder recorder;
        {
            InputHandle input(finder.card("Short buffers"));
            recorder.followInput = input.get();
            QCOMPARE(input.start(recorder, bmdModeHD1080p25, bmdVideoInputEnableFormatDetection), S_OK);
            QVERIFY(recorder.waitForFrames(3));
            QCOMPARE(input->StopStreams(), S_OK);
            recorder.followInput = nullptr;
        }
        QCOMPARE(recorder.formatChanges().size(), size_t(1));
        for (const ReceivedFrame& frame : recorder.frames())
            QCOMPARE(frame.flags, bmdFrameHasNoInputSource);
        const std::string messages = allDriverMessages();
        QVERIFY2(messages.find("\"Short buffers\" cannot be read: its buffers hold 6144 bytes where 128 x 96 "
                               "pixels in UYVY take 24576") != std::string::npos,
                 messages.c_str());
    }

    void packageHints_data()
    {
        QTest::addColumn<QString>("element");
        QTest::addColumn<QString>("package");
        QTest::newRow("capture cards") << "decklinkvideosrc"
                                       << "gstreamer1.0-plugins-bad";
        QTest::newRow("V4L2") << "v4l2src"
                              << "gstreamer1.0-plugins-good";
        QTest::newRow("H.264") << "avdec_h264"
                               << "gstreamer1.0-libav";
        QTest::newRow("test pictures") << "videotestsrc"
                                       << "gstreamer1.0-plugins-base";
    }
    void packageHints()
    {
        QFETCH(QString, element);
        QFETCH(QString, package);
        const std::string text = gstreamercards::withPackageHint("no element", {element.toStdString()});
        QCOMPARE(QString::fromStdString(text),
                 QStringLiteral("no element; install the Debian package %1 (it has \"%2\")")
                     .arg(package, element));
    }

    void stoppedCardsSendNothingMore()
    {
        QVERIFY(configure(pipelineCard("A", testSource("black", 1280, 720, "50/1")) +
                          pipelineCard("B", testSource("white", 1280, 720, "50/1"))));
        CardFinder finder;
        QVERIFY(finder.waitForCards(2));
        InputRecorder a, b;
        std::atomic<bool> stopped{false};
        std::atomic<int> afterStop{0};
        a.onFrame = [&](IDeckLinkVideoInputFrame*) { afterStop += stopped ? 1 : 0; };
        InputHandle inputA(finder.card("A"));
        InputHandle inputB(finder.card("B"));
        for (int round = 0; round < 3; ++round) {
            stopped = false;
            const size_t before = a.frameCount();
            QCOMPARE(inputA.start(a, bmdModeHD720p50), S_OK);
            QVERIFY(a.waitForFrames(before + 3));
            QCOMPARE(inputA->StopStreams(), S_OK);
            stopped = true;
            // B streams meanwhile: time passes in which A would have sent frames.
            const size_t beforeB = b.frameCount();
            QCOMPARE(inputB.start(b, bmdModeHD720p50), S_OK);
            QVERIFY(b.waitForFrames(beforeB + 10));
            QCOMPARE(inputB->StopStreams(), S_OK);
        }
        QCOMPARE(afterStop.load(), 0);
        // Both cards ran on one clock: B's frames of each round come after A's frames of that round.
        QVERIFY(b.frames().back().hardwareTime > a.frames().back().hardwareTime);
    }

    void freeRunningCardsShareFramePeriods()
    {
        // Two cameras without timecode, started one after the other: on the shared clock their frames
        // of one frame period carry one hardware time, the start of that period.
        QVERIFY(configure(
            pipelineCard("A",
                         "videotestsrc is-live=true ! video/x-raw,width=1280,height=720,framerate=50/1") +
            pipelineCard("B",
                         "videotestsrc is-live=true ! video/x-raw,width=1280,height=720,framerate=50/1")));
        CardFinder finder;
        QVERIFY(finder.waitForCards(2));
        InputRecorder a, b;
        a.timeScale = b.timeScale = nanoseconds;
        {
            InputHandle inputA(finder.card("A"));
            InputHandle inputB(finder.card("B"));
            QCOMPARE(inputA.start(a, bmdModeHD720p50), S_OK);
            QVERIFY(a.waitForFrames(2));
            QCOMPARE(inputB.start(b, bmdModeHD720p50), S_OK);
            QVERIFY(b.waitForFrames(10));
            QCOMPARE(inputB->StopStreams(), S_OK);
            QCOMPARE(inputA->StopStreams(), S_OK);
        }
        std::set<BMDTimeValue> timesOfA;
        for (const ReceivedFrame& f : a.frames()) {
            QVERIFY(!f.hasTimecode);
            QCOMPARE(f.hardwareTime % 20000000, BMDTimeValue(0));
            timesOfA.insert(f.hardwareTime);
        }
        int shared = 0;
        for (const ReceivedFrame& f : b.frames())
            shared += timesOfA.count(f.hardwareTime) ? 1 : 0;
        QVERIFY2(shared >= 8, qPrintable(QString::number(shared)));
    }

    // The rules of the input calls, the same whichever driver has the card.
    void bothDriversKeepTheInputRules_data()
    {
        QTest::addColumn<QString>("card");
        QTest::addColumn<QString>("name");
        const QString settings = "modes: [PALp, Hp25], formatDetection: false";
        QTest::newRow("virtual card")
            << "  - { name: Bars, " + settings + ", signal: PALp, source: { kind: bars } }\n"
            << "Bars (virtual)";
        QTest::newRow("pipeline card")
            << pipelineCard("Camera", testSource("black", 720, 576, "25/1"), settings) << "Camera";
    }
    void bothDriversKeepTheInputRules()
    {
        QFETCH(QString, card);
        QFETCH(QString, name);
        QVERIFY(configure(card));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputRecorder recorder;
        InputHandle input(finder.card(name.toStdString()));
        QCOMPARE(input->SetCallback(&recorder), S_OK);
        QCOMPARE(input->StartStreams(), E_ACCESSDENIED); // not enabled
        QCOMPARE(input->StopStreams(), S_OK);            // stopped already
        QCOMPARE(input->EnableVideoInput(bmdModeHD1080p50, bmdFormat8BitYUV, 0), E_INVALIDARG); // not listed
        QCOMPARE(input->EnableVideoInput(bmdModePALp, bmdFormat8BitBGRA, 0), E_INVALIDARG);
        QCOMPARE(input->EnableVideoInput(bmdModePALp, bmdFormat8BitYUV, bmdVideoInputEnableFormatDetection),
                 E_INVALIDARG); // the card cannot detect
        QCOMPARE(input->EnableVideoInput(bmdModePALp, bmdFormat8BitYUV, 0), S_OK);
        QCOMPARE(input->StartStreams(), S_OK);
        QCOMPARE(input->StartStreams(), E_ACCESSDENIED); // started twice
        QCOMPARE(input->EnableVideoInput(bmdModeHD1080p25, bmdFormat8BitYUV, 0), E_ACCESSDENIED);
        QCOMPARE(input->DisableVideoInput(), E_ACCESSDENIED);
        QVERIFY(recorder.waitForFrames(1));
        QCOMPARE(input->StopStreams(), S_OK);
        QCOMPARE(input->StopStreams(), S_OK);
        QCOMPARE(input->EnableVideoInput(bmdModeHD1080p25, bmdFormat8BitYUV, 0), S_OK);
        QCOMPARE(input->DisableVideoInput(), S_OK);
        QCOMPARE(input->StartStreams(), E_ACCESSDENIED); // disabled
        QCOMPARE(input->EnableVideoInput(bmdModePALp, bmdFormat8BitYUV, 0), S_OK);
        // The card leaves while the client still holds it.
        QVERIFY(configure("[]"));
        QCOMPARE(input->StartStreams(), E_FAIL);
        QCOMPARE(input->EnableVideoInput(bmdModePALp, bmdFormat8BitYUV, 0), E_FAIL);
        QCOMPARE(input->SetCallback(nullptr), S_OK);
    }

    void namesTellRealFromVirtual_data()
    {
        QTest::addColumn<bool>("virtualShown");
        QTest::newRow("virtual cards shown") << true;
        QTest::newRow("virtual cards hidden") << false;
    }
    void namesTellRealFromVirtual()
    {
        QFETCH(bool, virtualShown);
        decklinkdrivers::setVirtualCardsShown(virtualShown);
        QVERIFY(configure("  - { name: \"Left\", source: { kind: bars } }\n"
                          "  - { name: \"Virtual Right\", source: { kind: bars } }\n" +
                          pipelineCard("Camera A", testSource("black", 1280, 720, "50/1"))));
        CardFinder finder;
        QVERIFY(finder.waitForCards(virtualShown ? 3 : 1));
        QVERIFY(finder.card("Camera A"));
        QCOMPARE(finder.card("Left (virtual)") != nullptr, virtualShown);
        QCOMPARE(finder.card("Virtual Right") != nullptr, virtualShown);
        QVERIFY(!finder.card("Left"));
    }

    void deviceMonitorStartsAndStopsCleanly()
    {
        // No pipeline cards, no virtual cards: whatever devices the machine has, and on CI none.
        QVERIFY(configure("[]"));
        for (int round = 0; round < 2; ++round) {
            CardFinder finder;
            QVERIFY(finder.discovery());
            const auto devices = gstreamercards::presentCards();
            for (const NotificationRecorder::Report& report : finder.recorder().reports())
                QVERIFY(report.arrived);
            QVERIFY(finder.recorder().count() <= devices.size());
        }
        // Devices are watched only while notifications are installed.
        QVERIFY(gstreamercards::presentCards().empty());
    }

    void picturesOfOddSizesConvert_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("1919 x 1079") << 1919 << 1079;
        QTest::newRow("3 x 3") << 3 << 3;
        QTest::newRow("1 x 1") << 1 << 1;
    }
    void picturesOfOddSizesConvert()
    {
        // White to the last column: nothing left black, nothing left unconverted.
        // From I420, so that the pipeline's own conversion writes the chroma of
        // the last pair (videotestsrc painting UYVY itself leaves its V at 0).
        QFETCH(int, width);
        QFETCH(int, height);
        const cv::Mat picture = convertedPicture(
            QStringLiteral(
                "videotestsrc pattern=white ! video/x-raw,format=I420,width=%1,height=%2,framerate=25/1")
                .arg(width)
                .arg(height),
            width, height);
        QVERIFY(!picture.empty());
        double darkest = 0;
        cv::minMaxLoc(picture.reshape(1), &darkest);
        QVERIFY2(darkest >= 254, qPrintable(QString::number(darkest)));
    }

    void aStillComesBackInItsColours()
    {
        // A decoded JPEG is full-range Rec. 601: the card's picture agrees
        // with OpenCV's decoding of the same file.
        QTemporaryDir directory;
        QVERIFY(directory.isValid());
        cv::Mat still(1080, 1920, CV_8UC3);
        for (int y = 0; y < still.rows; ++y)
            for (int x = 0; x < still.cols; ++x)
                still.at<cv::Vec3b>(y, x) = cv::Vec3b(x * 255 / still.cols, y * 255 / still.rows,
                                                      255 - (x + y) * 255 / (still.cols + still.rows));
        const QString path = directory.filePath("still.jpg");
        QVERIFY(cv::imwrite(path.toStdString(), still, {cv::IMWRITE_JPEG_QUALITY, 95}));
        const cv::Mat picture = convertedPicture(
            QStringLiteral(
                "filesrc location=%1 ! jpegdec idct-method=islow ! imagefreeze ! video/x-raw,framerate=25/1")
                .arg(path),
            still.cols, still.rows);
        QVERIFY(!picture.empty());
        const cv::Mat decoded = cv::imread(path.toStdString(), cv::IMREAD_COLOR);
        cv::Mat difference;
        cv::absdiff(picture, decoded, difference);
        const cv::Scalar mean = cv::mean(difference);
        for (int c = 0; c < 3; ++c)
            QVERIFY2(mean[c] < 1.0,
                     qPrintable(QString("channel %1: mean difference %2").arg(c).arg(mean[c])));
    }

    void modesFromCaps_data()
    {
        QTest::addColumn<QString>("caps");
        QTest::addColumn<QStringList>("modes");
        QTest::newRow("1080p25") << "video/x-raw,width=1920,height=1080,framerate=25/1"
                                 << QStringList{"HD 1080p25"};
        QTest::newRow("1080i50 counts frames")
            << "video/x-raw,width=1920,height=1080,framerate=25/1,interlace-mode=interleaved"
            << QStringList{"HD 1080i50"};
        QTest::newRow("a list of rates") << "video/x-raw,width=1280,height=720,framerate={ 60000/1001, 50/1 }"
                                         << QStringList{"HD 720p50", "HD 720p5994"};
        QTest::newRow("sizes no mode names") << "video/x-raw,width=1024,height=768,framerate=30/1; "
                                                "video/x-raw,width=640,height=480,framerate=30000/1001"
                                             << QStringList{"1024x768p30", "640x480p29.97"};
        QTest::newRow("compressed and ranges left out")
            << "image/jpeg,width=1920,height=1080,framerate=30/1; video/x-raw,width=[1,4096],height=[1,2160],"
               "framerate=30/1; video/x-raw,width=3840,height=2160,framerate=[1/1,30/1]"
            << QStringList{};
        QTest::newRow("the program's order first")
            << "video/x-raw,width=800,height=600,framerate=25/1; "
               "video/x-raw,width=3840,height=2160,framerate=25/1; "
               "video/x-raw,width=720,height=576,framerate=25/1,interlace-mode=interleaved"
            << QStringList{"PAL", "4K 2160p25", "800x600p25"};
    }
    void modesFromCaps()
    {
        QFETCH(QString, caps);
        QFETCH(QStringList, modes);
        GstCaps* parsed = gst_caps_from_string(caps.toUtf8().constData());
        QVERIFY(parsed);
        QStringList names;
        std::vector<BMDDisplayMode> codes;
        for (const auto& mode : gstreamercards::modesOfCaps(parsed)) {
            names << QString::fromStdString(mode.name);
            codes.push_back(mode.code);
        }
        gst_caps_unref(parsed);
        QCOMPARE(names, modes);
        // Each mode has a code of its own, and the same size and rate get the same code again.
        std::sort(codes.begin(), codes.end());
        QVERIFY(std::adjacent_find(codes.begin(), codes.end()) == codes.end());
        QCOMPARE(gstreamercards::modeOf(1024, 768, 30, 1, false).code,
                 gstreamercards::modeOf(1024, 768, 30, 1, false).code);
    }
};

QTEST_GUILESS_MAIN(TestGStreamerCards)
#include "tst_gstreamercards.moc"
