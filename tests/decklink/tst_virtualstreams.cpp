// Streaming from virtual cards: frame rate, timecodes, times, genlock,
// format changes, black frames and stopping against running callbacks.

#include "virtualclient.h"

#include <QtTest>
#include <atomic>
#include <memory>
#include <opencv2/imgproc.hpp>
#include <thread>

namespace {

bool configure(const QString& text)
{
    std::string error;
    const bool ok = virtualcards::configure(text.toStdString(), &error);
    if (!ok)
        qWarning("%s", error.c_str());
    return ok;
}

// Raw pixels of a frame, copied.
cv::Mat pixelsOf(IDeckLinkVideoFrame* frame)
{
    void* bytes = nullptr;
    frame->GetBytes(&bytes);
    return cv::Mat(static_cast<int>(frame->GetHeight()), static_cast<int>(frame->GetWidth()), CV_8UC2, bytes,
                   static_cast<size_t>(frame->GetRowBytes()))
        .clone();
}

class PreviewRecorder : public CountedDouble<IDeckLinkScreenPreviewCallback>
{
public:
    std::atomic<int> frames{0};
    HRESULT DrawFrame(IDeckLinkVideoFrame* frame) override
    {
        if (frame && frame->GetWidth() > 0)
            ++frames;
        return S_OK;
    }
};

} // namespace

class TestVirtualStreams : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        QVERIFY(virtualcards::configure("cards: []"));
        QCOMPARE(virtualcards::liveObjects(), 0L);
    }

    void frameRateTimecodesAndTimes()
    {
        QVERIFY(configure(
            "cards: [ { name: A, signal: hp50, timecodeStart: \"23:59:58:00\", source: { kind: bars } } ]"));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputRecorder recorder;
        InputHandle input(finder.card("A"));
        QCOMPARE(input.start(recorder, bmdModeHD720p50), S_OK);
        QVERIFY(recorder.waitForFrames(1));
        const SteadyClock::time_point first = recorder.frames().front().arrival;
        QVERIFY(QTest::qWaitFor(
            [&] { return recorder.frames().back().arrival - first >= std::chrono::seconds(4); }, 8000));
        QCOMPARE(input->StopStreams(), S_OK);
        const std::vector<ReceivedFrame> frames = recorder.frames();

        // Frame period from a straight-line fit of arrival times, so that one
        // late wake-up on a busy machine does not decide the result.
        double sumIndex = 0, sumTime = 0, sumIndexTime = 0, sumIndexSquared = 0;
        const double n = static_cast<double>(frames.size());
        for (size_t i = 0; i < frames.size(); ++i) {
            const double t = std::chrono::duration<double>(frames[i].arrival - first).count();
            sumIndex += i, sumTime += t, sumIndexTime += i * t, sumIndexSquared += double(i) * i;
        }
        const double period =
            (n * sumIndexTime - sumIndex * sumTime) / (n * sumIndexSquared - sumIndex * sumIndex);
        const double rate = 1.0 / period;
        QVERIFY2(std::abs(rate - 50.0) <= 0.02 * 50.0, qPrintable(QString("%1 frames per second").arg(rate)));
        QVERIFY(frames.size() >= 196);
        for (size_t i = 1; i < frames.size(); ++i) {
            const ReceivedFrame &previous = frames[i - 1], &frame = frames[i];
            QVERIFY(frame.hasTimecode);
            // One frame on, across seconds, minutes, hours and midnight.
            const long day = 24L * 3600 * 50;
            QCOMPARE((frame.timecodeFrames(50) - previous.timecodeFrames(50) + day) % day, 1L);
            QVERIFY(frame.frames < 50 && frame.seconds < 60 && frame.minutes < 60 && frame.hours < 24);
            QVERIFY(frame.hardwareTime > previous.hardwareTime);
            QCOMPARE(frame.hardwareTime - previous.hardwareTime, frame.hardwareDuration);
            QCOMPARE(frame.streamTime - previous.streamTime, frame.streamDuration);
        }
        QCOMPARE(frames.front().streamTime, BMDTimeValue(0));
        QCOMPARE(frames.front().hardwareDuration, BMDTimeValue(500)); // 1/50 s at 25000
        QVERIFY(frames.back().hours == 0 || frames.front().hours == 23);
    }

    void timesAtAnyTimeScale_data()
    {
        QTest::addColumn<qlonglong>("scale");
        QTest::newRow("25000") << 25000LL;
        QTest::newRow("90000") << 90000LL;
        QTest::newRow("nanoseconds") << 1000000000LL;
        QTest::newRow("30000") << 30000LL;
        QTest::newRow("seconds") << 1LL;
    }
    void timesAtAnyTimeScale()
    {
        QFETCH(qlonglong, scale);
        // 29.97 frames per second: 1001/30000 s per frame, not a whole number at most scales.
        QVERIFY(configure("cards: [ { name: A, signal: ntsc, source: { kind: bars } } ]"));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputRecorder recorder;
        InputHandle input(finder.card("A"));
        recorder.timeScale = scale;
        QCOMPARE(input.start(recorder, bmdModeNTSC), S_OK);
        QVERIFY(recorder.waitForFrames(6));
        input->StopStreams();
        const std::vector<ReceivedFrame> frames = recorder.frames();
        const auto exact = [&](long frame) { return static_cast<double>(frame) * 1001.0 * scale / 30000.0; };
        for (size_t k = 0; k < frames.size(); ++k) {
            const ReceivedFrame& frame = frames[k];
            QCOMPARE(frame.streamTime, BMDTimeValue(std::floor(exact(static_cast<long>(k)))));
            QCOMPARE(frame.streamDuration, BMDTimeValue(std::floor(exact(1))));
            QCOMPARE(frame.hardwareDuration, BMDTimeValue(std::floor(exact(1))));
            const double fromFirst = static_cast<double>(frame.hardwareTime - frames[0].hardwareTime);
            QVERIFY(std::abs(fromFirst - exact(static_cast<long>(k))) <= 1.0);
        }
    }

    void timecodeFormatsUserBitsAndStart()
    {
        QVERIFY(configure(R"yaml(
cards:
  - name: A
    signal: PALp
    timecodes: [vitc, "RP188 VITC2"]
    userBits: "0x87654321"
    timecodeStart: "10:00:00:00"
    source: { kind: bars }
  - { name: B, signal: PALp, timecodes: [], source: { kind: bars } }
)yaml"));
        CardFinder finder;
        QVERIFY(finder.waitForCards(2));
        for (const std::string name : {"A", "B"}) {
            InputRecorder recorder;
            InputHandle input(finder.card(name));
            std::mutex mutex;
            std::map<BMDTimecodeFormat, HRESULT> results;
            std::atomic<bool> consistent{true};
            recorder.onFrame = [&](IDeckLinkVideoInputFrame* frame) {
                std::lock_guard<std::mutex> lock(mutex);
                for (BMDTimecodeFormat format :
                     {bmdTimecodeVITC, bmdTimecodeVITCField2, bmdTimecodeRP188LTC, bmdTimecodeRP188VITC1,
                      bmdTimecodeRP188VITC2, bmdTimecodeSerial}) {
                    IDeckLinkTimecode* timecode = reinterpret_cast<IDeckLinkTimecode*>(1);
                    results[format] = frame->GetTimecode(format, &timecode);
                    if ((results[format] == S_OK) != (timecode != nullptr))
                        consistent = false; // a timecode exactly when S_OK, else null
                    if (timecode)
                        timecode->Release();
                }
            };
            recorder.timecodeFormat = bmdTimecodeVITC;
            QCOMPARE(input.start(recorder, bmdModePALp), S_OK);
            QVERIFY(recorder.waitForFrames(2));
            input->StopStreams();
            const ReceivedFrame frame = recorder.frames().front();
            const bool carries = name == "A";
            QVERIFY(consistent.load());
            QCOMPARE(frame.hasTimecode, carries);
            QCOMPARE(results[bmdTimecodeVITC] == S_OK, carries);
            QCOMPARE(results[bmdTimecodeRP188VITC2] == S_OK, carries);
            QCOMPARE(results[bmdTimecodeRP188LTC], S_FALSE);
            QCOMPARE(results[bmdTimecodeSerial], S_FALSE);
            if (carries) {
                QCOMPARE(frame.userBits, BMDTimecodeUserBits(0x87654321));
                QCOMPARE(int(frame.hours), 10);
                QCOMPARE(int(frame.minutes), 0);
                QVERIFY(frame.frames < 50);
            }
        }
    }

    void genlockedCardsShareInstantsAndTimecode()
    {
        QVERIFY(configure(R"yaml(
cards:
  - { name: L, signal: PALp, genlock: rig, source: { kind: bars } }
  - { name: R, signal: PALp, genlock: rig, source: { kind: bars } }
  - { name: Free, signal: PALp, timecodeStart: "01:00:00:00", source: { kind: bars } }
)yaml"));
        CardFinder finder;
        QVERIFY(finder.waitForCards(3));
        InputRecorder leftFrames, rightFrames, freeFrames;
        InputHandle left(finder.card("L")), right(finder.card("R")), free(finder.card("Free"));
        QCOMPARE(left.start(leftFrames, bmdModePALp), S_OK);
        QVERIFY(leftFrames.waitForFrames(5)); // the right card starts some frames later
        QCOMPARE(right.start(rightFrames, bmdModePALp), S_OK);
        QCOMPARE(free.start(freeFrames, bmdModePALp), S_OK);
        QVERIFY(rightFrames.waitForFrames(20));
        QVERIFY(freeFrames.waitForFrames(5));
        // On a busy machine one side may lag; its frames come all the same.
        const BMDTimeValue lastRight = rightFrames.frames()[19].hardwareTime;
        QVERIFY(QTest::qWaitFor([&] { return leftFrames.frames().back().hardwareTime >= lastRight; }, 10000));
        left->StopStreams();
        right->StopStreams();
        free->StopStreams();
        std::map<BMDTimeValue, long> leftByInstant;
        for (const ReceivedFrame& frame : leftFrames.frames())
            leftByInstant[frame.hardwareTime] = frame.timecodeFrames(50);
        int shared = 0;
        for (const ReceivedFrame& frame : rightFrames.frames()) {
            auto it = leftByInstant.find(frame.hardwareTime);
            if (it == leftByInstant.end())
                continue;
            ++shared;
            QCOMPARE(frame.timecodeFrames(50), it->second);
        }
        QVERIFY2(shared >= 15, qPrintable(QString::number(shared)));
        // A card on its own clock carries its own timecode.
        QCOMPARE(int(freeFrames.frames().front().hours), 1);
    }

    void formatChangeReportedOnceAndFollowed()
    {
        QVERIFY(configure(
            "cards: [ { name: A, modes: [ntsc, hp50, Hp25], signal: Hp25, source: { kind: bars } } ]"));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputRecorder recorder;
        InputHandle input(finder.card("A"));
        recorder.followInput = input.get();
        QCOMPARE(input.start(recorder, bmdModeNTSC, bmdVideoInputEnableFormatDetection), S_OK);
        QVERIFY(recorder.waitForFrames(3));
        QCOMPARE(recorder.formatChanges(), std::vector<BMDDisplayMode>{bmdModeHD1080p25});
        for (const ReceivedFrame& frame : recorder.frames()) {
            QCOMPARE(frame.width, 1920L);
            QCOMPARE(frame.height, 1080L);
            QCOMPARE(frame.rowBytes, 2 * 1920L);
            QCOMPARE(frame.pixelFormat, bmdFormat8BitYUV);
            QCOMPARE(frame.ancillaryPixelFormat, bmdFormat8BitYUV);
            QCOMPARE(frame.displayMode, bmdModeHD1080p25);
            QCOMPARE(frame.flags, bmdFrameFlagDefault);
        }

        // The camera is switched to 720p50 while the card streams.
        QVERIFY(virtualcards::setSignal("A", bmdModeHD720p50));
        QTRY_COMPARE(recorder.formatChanges().size(), size_t(2));
        const size_t before = recorder.frameCount();
        QVERIFY(recorder.waitForFrames(before + 5));
        QCOMPARE(recorder.formatChanges().back(), bmdModeHD720p50);
        const ReceivedFrame after = recorder.frames().back();
        QCOMPARE(after.width, 1280L);
        QCOMPARE(after.height, 720L);
        QCOMPARE(after.displayMode, bmdModeHD720p50);
        QCOMPARE(recorder.formatChanges().size(), size_t(2));
        QVERIFY(!virtualcards::setSignal("A", bmdModePAL)); // not a mode of this card
    }

    void formatChangeWaitsForACallback()
    {
        QVERIFY(configure(R"yaml(
cards:
  - { name: A, signal: Hp25, genlock: g, source: { kind: bars } }
  - { name: Clock, signal: Hp25, genlock: g, source: { kind: bars } }
)yaml"));
        CardFinder finder;
        QVERIFY(finder.waitForCards(2));
        InputRecorder recorder, ticks;
        InputHandle input(finder.card("A")), clock(finder.card("Clock"));
        // Streaming in another mode with nobody to tell.
        QCOMPARE(input->EnableVideoInput(bmdModeNTSC, bmdFormat8BitYUV, bmdVideoInputEnableFormatDetection),
                 S_OK);
        QCOMPARE(input->StartStreams(), S_OK);
        QCOMPARE(clock.start(ticks, bmdModeHD1080p25), S_OK);
        QVERIFY(ticks.waitForFrames(3));
        recorder.followInput = input.get();
        QCOMPARE(input->SetCallback(&recorder), S_OK);
        QVERIFY(recorder.waitForFrames(2));
        QCOMPARE(recorder.formatChanges(), std::vector<BMDDisplayMode>{bmdModeHD1080p25});
        QCOMPARE(recorder.frames().back().displayMode, bmdModeHD1080p25);
    }

    void blackFramesWithoutUsableSignal_data()
    {
        QTest::addColumn<QString>("signal");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("changes");
        QTest::newRow("other format, no detection") << "Hp25" << int(bmdModeNTSC) << 0 << 0;
        QTest::newRow("other format, not followed")
            << "Hp25" << int(bmdModeNTSC) << int(bmdVideoInputEnableFormatDetection) << 1;
        QTest::newRow("no signal") << "none" << int(bmdModeNTSC) << int(bmdVideoInputEnableFormatDetection)
                                   << 0;
    }
    void blackFramesWithoutUsableSignal()
    {
        QFETCH(QString, signal);
        QFETCH(int, mode);
        QFETCH(int, flags);
        QFETCH(int, changes);
        QVERIFY(configure(QString("cards: [ { name: A, signal: %1, source: { kind: bars } } ]").arg(signal)));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputRecorder recorder;
        InputHandle input(finder.card("A"));
        std::atomic<bool> black{true};
        recorder.onFrame = [&](IDeckLinkVideoInputFrame* frame) {
            const cv::Mat pixels = pixelsOf(frame);
            if (cv::countNonZero(pixels.reshape(1) !=
                                 cv::Mat(pixels.size(), CV_8UC2, cv::Scalar(128, 16)).reshape(1)))
                black = false;
        };
        QCOMPARE(
            input.start(recorder, static_cast<BMDDisplayMode>(mode), static_cast<BMDVideoInputFlags>(flags)),
            S_OK);
        QVERIFY(recorder.waitForFrames(4));
        input->StopStreams();
        QCOMPARE(int(recorder.formatChanges().size()), changes);
        QVERIFY(black.load());
        for (const ReceivedFrame& frame : recorder.frames()) {
            QCOMPARE(frame.width, 720L);
            QCOMPARE(frame.height, 486L);
            QCOMPARE(frame.flags, bmdFrameHasNoInputSource);
            QCOMPARE(frame.displayMode, bmdModeNTSC);
            QVERIFY(!frame.hasTimecode);
        }
    }

    void stopNeverRacesARunningCallback()
    {
        QVERIFY(configure("cards: [ { name: A, signal: PALp, source: { kind: bars } } ]"));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputHandle input(finder.card("A"));
        for (int round = 0; round < 10; ++round) {
            // Deleted right after the stop: a late callback would touch freed memory.
            auto recorder = std::make_unique<InputRecorder>();
            std::atomic<bool> inside{false};
            recorder->onFrame = [&](IDeckLinkVideoInputFrame*) {
                inside = true;
                // A slow client keeps the callback running while the stop comes.
                const auto until = SteadyClock::now() + std::chrono::milliseconds(3);
                while (SteadyClock::now() < until)
                    std::this_thread::yield();
                inside = false;
            };
            QCOMPARE(input.start(*recorder, bmdModePALp), S_OK);
            QVERIFY(recorder->waitForFrames(1 + round % 3));
            QCOMPARE(input->StopStreams(), S_OK);
            QVERIFY(!inside.load());
            QCOMPARE(input->SetCallback(nullptr), S_OK);
            QCOMPARE(recorder->refCount.load(), 1);
        }
    }

    void stopAndRestartFromWithinOwnCallback()
    {
        QVERIFY(configure(R"yaml(
cards:
  - { name: A, signal: PALp, genlock: g, source: { kind: bars } }
  - { name: Clock, signal: PALp, genlock: g, source: { kind: bars } }
)yaml"));
        CardFinder finder;
        QVERIFY(finder.waitForCards(2));
        InputRecorder recorder, ticks;
        InputHandle input(finder.card("A")), clock(finder.card("Clock"));
        std::atomic<int> stopResult{1};
        recorder.onFrame = [&](IDeckLinkVideoInputFrame*) {
            if (stopResult == 1)
                stopResult = input->StopStreams(); // must not wait for itself
        };
        QCOMPARE(input.start(recorder, bmdModePALp), S_OK);
        QTRY_COMPARE(stopResult.load(), int(S_OK));
        QCOMPARE(clock.start(ticks, bmdModePALp), S_OK);
        QVERIFY(ticks.waitForFrames(5)); // five frame periods: nothing more came from the stopped input
        QCOMPARE(recorder.frameCount(), size_t(1));
        QCOMPARE(input->StopStreams(), S_OK);
        QCOMPARE(input->StartStreams(), S_OK);
        QVERIFY(recorder.waitForFrames(3));
    }

    void lateClientLosesNoFrame()
    {
        QVERIFY(configure("cards: [ { name: A, signal: PALp, source: { kind: bars } } ]"));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputRecorder recorder;
        InputHandle input(finder.card("A"));
        recorder.onFrame = [&](IDeckLinkVideoInputFrame*) {
            if (recorder.frameCount() == 3) // one callback takes as long as 15 frames
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
        };
        QCOMPARE(input.start(recorder, bmdModePALp), S_OK);
        QVERIFY(recorder.waitForFrames(30));
        input->StopStreams();
        const std::vector<ReceivedFrame> frames = recorder.frames();
        for (size_t i = 1; i < frames.size(); ++i)
            QCOMPARE(frames[i].timecodeFrames(50) - frames[i - 1].timecodeFrames(50), 1L);
        // The frames held up meanwhile came at once after the slow callback:
        // ten of them in much less than their 200 ms.
        const auto burst = std::chrono::duration<double>(frames[14].arrival - frames[4].arrival).count();
        QVERIFY2(burst < 0.1, qPrintable(QString::number(burst)));
    }

    void burntInTimecodeChangesOnlyItsCorner()
    {
        QVERIFY(
            configure("cards: [ { name: A, signal: Hp25, burnInTimecode: true, source: { kind: bars } } ]"));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputRecorder recorder;
        InputHandle input(finder.card("A"));
        std::vector<cv::Mat> pictures;
        std::mutex mutex;
        recorder.onFrame = [&](IDeckLinkVideoInputFrame* frame) {
            std::lock_guard<std::mutex> lock(mutex);
            if (pictures.size() < 2)
                pictures.push_back(pixelsOf(frame));
        };
        QCOMPARE(input.start(recorder, bmdModeHD1080p25), S_OK);
        QVERIFY(recorder.waitForFrames(2));
        input->StopStreams();
        cv::Mat changed;
        cv::compare(pictures[0].reshape(1), pictures[1].reshape(1), changed, cv::CMP_NE);
        const cv::Rect where = cv::boundingRect(changed);
        QVERIFY(!where.empty());
        QVERIFY2(
            where.x < 2 * 1920 / 4 && where.br().x < 2 * 1920 / 3 && where.br().y < 1080 / 10,
            qPrintable(QString("%1,%2 %3x%4").arg(where.x).arg(where.y).arg(where.width).arg(where.height)));
    }

    void previewCallbackSeesFrames()
    {
        QVERIFY(configure("cards: [ { name: A, signal: PALp, source: { kind: bars } } ]"));
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputRecorder recorder;
        InputHandle input(finder.card("A"));
        PreviewRecorder preview;
        QCOMPARE(input->SetScreenPreviewCallback(&preview), S_OK);
        QCOMPARE(input.start(recorder, bmdModePALp), S_OK);
        QTRY_VERIFY(preview.frames.load() >= 3);
        input->StopStreams();
        QCOMPARE(input->SetScreenPreviewCallback(nullptr), S_OK);
        QCOMPARE(preview.refCount.load(), 1);
    }

    void cardReleasedFromWithinItsCallback()
    {
        QVERIFY(configure("cards: [ { name: A, signal: PALp, source: { kind: bars } } ]"));
        IDeckLink* card = nullptr;
        {
            CardFinder finder;
            QVERIFY(finder.waitForCards(1));
            card = finder.card("A");
            card->AddRef();
        }
        IDeckLinkInput* input = nullptr;
        QCOMPARE(card->QueryInterface(IID_IDeckLinkInput, reinterpret_cast<void**>(&input)), S_OK);
        card->Release();
        InputRecorder recorder;
        std::atomic<bool> released{false};
        recorder.onFrame = [&](IDeckLinkVideoInputFrame*) {
            if (released.exchange(true))
                return;
            // The card is pulled, and its last holder lets go of it from within its callback.
            virtualcards::pull("A");
            input->StopStreams();
            input->SetCallback(nullptr);
            input->Release();
        };
        QCOMPARE(input->SetCallback(&recorder), S_OK);
        QCOMPARE(input->EnableVideoInput(bmdModePALp, bmdFormat8BitYUV, 0), S_OK);
        QCOMPARE(input->StartStreams(), S_OK);
        QTRY_VERIFY(released.load());
        QTRY_COMPARE(virtualcards::liveObjects(), 0L);
        QTRY_COMPARE(recorder.refCount.load(), 1);
    }
};

QTEST_GUILESS_MAIN(TestVirtualStreams)
#include "tst_virtualstreams.moc"
