// The capture device against doubles of a card and of the driver.

#include "capture/decklinkdevice.h"
#include "common/carddoubles.h"
#include "common/messagelog.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

struct Card
{
    DeckLinkDouble deckLink;
    ConversionDouble conversion;

    Card()
    {
        for (BMDDisplayMode mode : {bmdModeNTSC, bmdModePAL, bmdModeHD1080p25})
            deckLink.input.modes.push_back(std::make_unique<DisplayModeDouble>(mode));
        FakeDriver::conversion = &conversion;
        FakeDriver::freedStrings = 0;
    }
    ~Card() { FakeDriver::conversion = nullptr; }
};

} // namespace

class TestDeckLinkDevice : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<VideoFrame>("VideoFrame"); }

    void initReportsWhatIsMissing_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::addColumn<QString>("message");
        QTest::newRow("input") << "input"
                               << "Cannot get interface for DeckLink input";
        QTest::newRow("output") << "output"
                                << "Cannot get interface for DeckLink output";
        QTest::newRow("conversion") << "conversion"
                                    << "Cannot get interface for DeckLink conversion";
    }
    void initReportsWhatIsMissing()
    {
        QFETCH(QString, missing);
        QFETCH(QString, message);
        Card card;
        card.deckLink.hasInput = missing != "input";
        card.deckLink.hasOutput = missing != "output";
        if (missing == "conversion")
            FakeDriver::conversion = nullptr;
        auto* device = new DeckLinkDevice(&card.deckLink);
        QVERIFY(!device->Init());
        QCOMPARE(device->GetErrorMessage(), message);
        QCOMPARE(device->Release(), 0u);
        // Whatever Init obtained before failing is released with the device.
        QCOMPARE(card.deckLink.refCount.load(), 1);
        QCOMPARE(card.deckLink.input.refCount.load(), 1);
        QCOMPARE(card.deckLink.output.refCount.load(), 1);
        QCOMPARE(card.conversion.refCount.load(), 1);
    }

    void initReadsNameModesAndDetection_data()
    {
        QTest::addColumn<bool>("hasName");
        QTest::addColumn<bool>("hasAttributes");
        QTest::addColumn<bool>("flagFails");
        QTest::addColumn<QString>("name");
        QTest::addColumn<uint32_t>("flags");
        QTest::newRow("named, detecting") << true << true << false << "Card A" << 1u;
        QTest::newRow("no name") << false << true << false << "DeckLink" << 1u;
        QTest::newRow("no attributes") << true << false << false << "Card A" << 0u;
        QTest::newRow("flag unreadable") << true << true << true << "Card A" << 0u;
    }
    void initReadsNameModesAndDetection()
    {
        QFETCH(bool, hasName);
        QFETCH(bool, hasAttributes);
        QFETCH(bool, flagFails);
        QFETCH(QString, name);
        QFETCH(uint32_t, flags);
        Card card;
        card.deckLink.hasName = hasName;
        card.deckLink.hasAttributes = hasAttributes;
        card.deckLink.attributes.fails = flagFails;
        auto* device = new DeckLinkDevice(&card.deckLink);
        QVERIFY(device->Init());
        QCOMPARE(device->GetErrorMessage(), QStringLiteral("No Error"));
        QCOMPARE(device->GetDeviceName(), name);
        QCOMPARE(FakeDriver::freedStrings, hasName ? 1 : 0);
        QCOMPARE(card.deckLink.attributes.refCount.load(), 1);
        QCOMPARE(card.deckLink.input.iterators.front()->refCount.load(), 0);
        QCOMPARE(device->GetDisplayModes(),
                 (std::vector<BMDDisplayMode>{bmdModeNTSC, bmdModePAL, bmdModeHD1080p25}));
        QCOMPARE(device->SupportsFormatDetection(), flags == 1u);

        QVERIFY(device->StartCapture(2, true));
        QVERIFY(device->IsCapturing());
        QCOMPARE(card.deckLink.input.enabledMode, bmdModeHD1080p25);
        QCOMPARE(card.deckLink.input.enabledFormat, bmdFormat8BitYUV);
        QCOMPARE(card.deckLink.input.enabledFlags, flags);
        QCOMPARE(card.deckLink.input.callback, static_cast<IDeckLinkInputCallback*>(device));

        device->StopCapture();
        QVERIFY(!device->IsCapturing());
        QCOMPARE(card.deckLink.input.callback, nullptr);
        QCOMPARE(device->Release(), 0u);
        for (auto& mode : card.deckLink.input.modes)
            QCOMPARE(mode->refCount.load(), 1);
        QCOMPARE(card.deckLink.refCount.load(), 1);
        QCOMPARE(card.deckLink.input.refCount.load(), 1);
        QCOMPARE(card.conversion.refCount.load(), 1);
    }

    void startCaptureFailures_data()
    {
        QTest::addColumn<unsigned>("modeIndex");
        QTest::addColumn<bool>("enableFails");
        QTest::addColumn<bool>("startFails");
        QTest::addColumn<QString>("driverProblem");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("calls");
        const QStringList enableCalls{"SetCallback", "EnableVideoInput", "SetCallback(null)"};
        const QStringList startCalls{"SetCallback", "EnableVideoInput", "StartStreams", "SetCallback(null)"};
        QTest::newRow("mode index = mode count")
            << 3u << false << false << QString() << "An invalid display mode was selected." << QStringList{};
        QTest::newRow("card in use")
            << 0u << true << false << QString()
            << "This application was unable to select the chosen video mode. Perhaps, "
               "the selected device is currently in-use."
            << enableCalls;
        QTest::newRow("streams refused") << 0u << false << true << QString()
                                         << "This application was unable to start the capture. Perhaps, the "
                                            "selected device is currently in-use."
                                         << startCalls;
        // The driver's cause leads; refused as busy (E_ACCESSDENIED), the card may still be in use.
        QTest::newRow("busy, with the driver's cause")
            << 0u << true << false << "the device is open in another program"
            << "the device is open in another program\nThis application was unable to select the chosen "
               "video mode. Perhaps, the selected device is currently in-use."
            << enableCalls;
        QTest::newRow("missing element, with the driver's cause")
            << 0u << false << true
            << "no element \"avdec_h264\"; install the Debian package gstreamer1.0-libav"
            << "no element \"avdec_h264\"; install the Debian package gstreamer1.0-libav\nThis application "
               "was "
               "unable to start the capture."
            << startCalls;
    }
    void startCaptureFailures()
    {
        QFETCH(unsigned, modeIndex);
        QFETCH(bool, enableFails);
        QFETCH(bool, startFails);
        QFETCH(QString, driverProblem);
        QFETCH(QString, message);
        QFETCH(QStringList, calls);
        Card card;
        card.deckLink.status.problem = driverProblem.toStdU16String();
        card.deckLink.input.enableFails = enableFails;
        card.deckLink.input.startFails = startFails;
        auto* device = new DeckLinkDevice(&card.deckLink);
        QVERIFY(device->Init());
        QVERIFY(!device->StartCapture(modeIndex, true));
        QCOMPARE(device->GetErrorMessage(), message);
        QVERIFY(!device->IsCapturing());
        QStringList made;
        for (const std::string& call : card.deckLink.input.calls)
            made << QString::fromStdString(call);
        QCOMPARE(made, calls);
        // The card keeps no reference to a device that does not capture.
        QCOMPARE(card.deckLink.input.callback, nullptr);
        device->Release();
        QCOMPARE(card.deckLink.status.refCount.load(), 1);
    }

    void stopWithoutCaptureSaysNoError()
    {
        Card card;
        auto* device = new DeckLinkDevice(&card.deckLink);
        device->StopCapture(); // before Init: no input interface yet
        QCOMPARE(device->GetErrorMessage(), QStringLiteral("No Error"));
        QVERIFY(!device->IsCapturing());
        device->Release();
    }

    void formatChangeRestartsOnlyWhenFollowing_data()
    {
        QTest::addColumn<bool>("follow");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("following") << true << QStringList{"StopStreams", "EnableVideoInput", "StartStreams"};
        QTest::newRow("not following") << false << QStringList{};
    }
    void formatChangeRestartsOnlyWhenFollowing()
    {
        QFETCH(bool, follow);
        QFETCH(QStringList, calls);
        Card card;
        card.deckLink.attributes.detection = 0; // started without detection flags...
        auto* device = new DeckLinkDevice(&card.deckLink);
        QVERIFY(device->Init());
        QVERIFY(device->StartCapture(0, follow));
        card.deckLink.input.calls.clear();
        DisplayModeDouble detected(bmdModeHD1080i50);
        QCOMPARE(device->VideoInputFormatChanged(bmdVideoInputDisplayModeChanged, &detected, 0), S_OK);
        QStringList made;
        for (const std::string& call : card.deckLink.input.calls)
            made << QString::fromStdString(call);
        QCOMPARE(made, calls);
        if (follow) { // ...but a detected format is always followed with detection on
            QCOMPARE(card.deckLink.input.enabledMode, bmdModeHD1080i50);
            QCOMPARE(card.deckLink.input.enabledFlags, bmdVideoInputEnableFormatDetection);
        }
        QVERIFY(device->IsCapturing());
        device->StopCapture();
        device->Release();
    }

    void aFormatTheCardCannotRestartInStopsCaptureWithAReason_data()
    {
        QTest::addColumn<bool>("enableFails");
        QTest::addColumn<bool>("startFails");
        QTest::newRow("the new format cannot be enabled") << true << false;
        QTest::newRow("the streams do not start again") << false << true;
        QTest::newRow("the restart goes through") << false << false;
    }
    void aFormatTheCardCannotRestartInStopsCaptureWithAReason()
    {
        QFETCH(bool, enableFails);
        QFETCH(bool, startFails);
        Card card;
        auto* device = new DeckLinkDevice(&card.deckLink);
        QVERIFY(device->Init());
        QVERIFY(device->StartCapture(0, true));
        QSignalSpy stopped(device->notifier(), &DeckLinkDeviceQtNotifier::captureStopped);
        card.deckLink.input.enableFails = enableFails;
        card.deckLink.input.startFails = startFails;
        DisplayModeDouble detected(bmdModeHD1080i50);
        QCOMPARE(device->VideoInputFormatChanged(bmdVideoInputDisplayModeChanged, &detected, 0), S_OK);
        QCOMPARE(stopped.size(), enableFails || startFails ? 1 : 0);
        if (!stopped.isEmpty()) {
            const QString reason = stopped.first().first().toString();
            QVERIFY2(reason.startsWith(device->GetDeviceName() + ": the input changed to HD 1080i50 "),
                     qPrintable(reason));
        }
        device->StopCapture();
        device->Release();
    }

    void aChosenModeIsKeptWithoutDetection_data()
    {
        QTest::addColumn<int>("detection"); // the card's attribute
        QTest::addColumn<bool>("follow");
        QTest::addColumn<uint32_t>("flags");
        QTest::newRow("detecting card, auto") << 1 << true << 1u;
        QTest::newRow("detecting card, chosen mode") << 1 << false << 0u;
        QTest::newRow("card without detection, auto") << 0 << true << 0u;
        QTest::newRow("card without detection, chosen mode") << 0 << false << 0u;
    }
    void aChosenModeIsKeptWithoutDetection()
    {
        QFETCH(int, detection);
        QFETCH(bool, follow);
        QFETCH(uint32_t, flags);
        Card card;
        card.deckLink.attributes.detection = detection;
        auto* device = new DeckLinkDevice(&card.deckLink);
        QVERIFY(device->Init());
        QVERIFY(device->StartCapture(1, follow));
        QCOMPARE(card.deckLink.input.enabledMode, bmdModePAL);
        QCOMPARE(card.deckLink.input.enabledFlags, flags);
        QVERIFY(!device->StartCapture(3, follow));
        QCOMPARE(device->GetErrorMessage(), QStringLiteral("An invalid display mode was selected."));
        device->StopCapture();
        device->Release();
    }

    void referenceCountingAndInterfaces()
    {
        Card card;
        auto* device = new DeckLinkDevice(&card.deckLink);
        QCOMPARE(card.deckLink.refCount.load(), 2); // the device holds the card
        QCOMPARE(device->AddRef(), 2u);
        QCOMPARE(device->Release(), 1u);

        void* out = reinterpret_cast<void*>(1);
        QCOMPARE(device->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
        QCOMPARE(device->QueryInterface(IID_IDeckLinkOutput, &out), E_NOINTERFACE);
        QCOMPARE(out, nullptr);
        for (const DeckLinkIID& iid :
             {IID_IUnknown, IID_IDeckLinkInputCallback, IID_IDeckLinkInputCallback_v7}) {
            QCOMPARE(device->QueryInterface(iid, &out), S_OK);
            QCOMPARE(out, static_cast<void*>(static_cast<IDeckLinkInputCallback*>(device)));
            QCOMPARE(device->Release(), 1u);
        }
        QCOMPARE(device->Release(), 0u);
        QCOMPARE(card.deckLink.refCount.load(), 1);
    }

    // Every holder lets go of exactly the reference it took or was handed.
    void theReferenceHolderReleasesOnce()
    {
        TimecodeDouble first, second; // the test holds one reference of each
        {
            auto held = ComPtr<IDeckLinkTimecode>::share(&first);
            QCOMPARE(first.refCount.load(), 2);
            ComPtr<IDeckLinkTimecode> moved(std::move(held));
            QVERIFY(!held);
            QCOMPARE(moved.get(), &first);
            QCOMPARE(first.refCount.load(), 2);

            held = ComPtr<IDeckLinkTimecode>::share(&second);
            moved = std::move(held); // the first goes, the second moves on
            QCOMPARE(first.refCount.load(), 1);
            QCOMPARE(second.refCount.load(), 2);

            // An out parameter: what was held goes before the call hands out another.
            first.AddRef();
            *moved.receive() = &first;
            QCOMPARE(second.refCount.load(), 1);
            QCOMPARE(first.refCount.load(), 2);
            moved.reset();
            moved.reset();
            QCOMPARE(first.refCount.load(), 1);

            second.AddRef();
            auto adopted = ComPtr<IDeckLinkTimecode>::adopt(&second);
            QCOMPARE(second.refCount.load(), 2);
        }
        QCOMPARE(first.refCount.load(), 1);
        QCOMPARE(second.refCount.load(), 1);
    }

    void eachArrivingFrameIsEmittedOnce()
    {
        Card card;
        auto* device = new DeckLinkDevice(&card.deckLink);
        QVERIFY(device->Init());
        QSignalSpy spy(device->notifier(), SIGNAL(newFrameArrived(VideoFrame)));
        InputFrameDouble frame;
        frame.pixels = cv::Mat(6, 8, CV_8UC2, cv::Scalar(128, 200));
        frame.addTimecode(bmdTimecodeRP188LTC, 10, 20, 30, 12);
        QCOMPARE(device->VideoInputFrameArrived(&frame, nullptr), S_OK);
        QCOMPARE(device->VideoInputFrameArrived(nullptr, nullptr), S_OK);
        QCOMPARE(spy.count(), 1);
        const auto delivered = spy.at(0).at(0).value<VideoFrame>();
        QCOMPARE(delivered.image.size(), cv::Size(8, 6));
        QCOMPARE(delivered.timecode, packTimeWord(10, 20, 30, 12));
        QCOMPARE(delivered.timecodeFormat, bmdTimecodeRP188LTC);
        device->Release();
    }

    void aPictureFaultIsLoggedOncePerFault()
    {
        // Every frame still reaches the views, which say why; the log names
        // the fault when it begins, not for each frame.
        MessageLog log;
        Card card;
        auto* device = new DeckLinkDevice(&card.deckLink);
        QVERIFY(device->Init());
        QSignalSpy spy(device->notifier(), SIGNAL(newFrameArrived(VideoFrame)));
        InputFrameDouble frame;
        frame.pixels = cv::Mat(6, 8, CV_8UC2, cv::Scalar(128, 200));
        const QList<bool> failing = {true, true, true, false, true, true};
        for (bool fails : failing) {
            card.conversion.fails = fails;
            QCOMPARE(device->VideoInputFrameArrived(&frame, nullptr), S_OK);
        }
        QCOMPARE(spy.count(), failing.size());
        for (int i = 0; i < failing.size(); ++i)
            QCOMPARE(spy.at(i).at(0).value<VideoFrame>().noInputSignal, failing.at(i));
        QCOMPARE(log.count("The card cannot convert its 8 x 6"), 2);
        device->Release();
    }
};

QTEST_GUILESS_MAIN(TestDeckLinkDevice)
#include "tst_decklinkdevice.moc"
