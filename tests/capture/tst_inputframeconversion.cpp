// Reading a captured frame into a VideoFrame, with doubles of the driver objects.

#include "capture/inputframeconversion.h"
#include "common/framedoubles.h"
#include "common/messagelog.h"

#include <QtTest>
#include <opencv2/imgproc.hpp>

namespace {

// A UYVY picture with texture in every channel.
cv::Mat uyvyPattern(int rows, int cols)
{
    cv::Mat uyvy(rows, cols, CV_8UC2);
    for (int r = 0; r < rows; ++r) {
        auto* p = uyvy.ptr<uint8_t>(r);
        for (int c = 0; c < cols * 2; ++c)
            p[c] = static_cast<uint8_t>(16 + (r * 7 + c * 13) % 220);
    }
    return uyvy;
}

struct Rig
{
    InputFrameDouble frame;
    OutputDouble output;
    ConversionDouble conversion;
    VideoFrame result;

    Rig(int rows = 4, int cols = 8) { frame.pixels = uyvyPattern(rows, cols); }
    bool convert() { return convertInputFrame(&frame, &output, &conversion, result); }
};

} // namespace

class TestInputFrameConversion : public QObject
{
    Q_OBJECT
private slots:
    void picksTheFirstTimecodeFormatThatReads_data()
    {
        QTest::addColumn<QList<uint32_t>>("carried");
        QTest::addColumn<uint32_t>("failing");
        QTest::addColumn<uint32_t>("expected");
        QTest::newRow("VITC over RP188 LTC")
            << QList<uint32_t>{bmdTimecodeRP188LTC, bmdTimecodeVITC} << 0u << uint32_t(bmdTimecodeVITC);
        QTest::newRow("field 2 over LTC") << QList<uint32_t>{bmdTimecodeRP188LTC, bmdTimecodeVITCField2} << 0u
                                          << uint32_t(bmdTimecodeVITCField2);
        QTest::newRow("serial alone")
            << QList<uint32_t>{bmdTimecodeSerial} << 0u << uint32_t(bmdTimecodeSerial);
        QTest::newRow("VITC1 before VITC2") << QList<uint32_t>{bmdTimecodeRP188VITC2, bmdTimecodeRP188VITC1}
                                            << 0u << uint32_t(bmdTimecodeRP188VITC1);
        QTest::newRow("unreadable VITC skipped")
            << QList<uint32_t>{bmdTimecodeVITC, bmdTimecodeRP188LTC} << uint32_t(bmdTimecodeVITC)
            << uint32_t(bmdTimecodeRP188LTC);
        QTest::newRow("none") << QList<uint32_t>{} << 0u << 0u;
    }
    void picksTheFirstTimecodeFormatThatReads()
    {
        QFETCH(QList<uint32_t>, carried);
        QFETCH(uint32_t, failing);
        QFETCH(uint32_t, expected);
        Rig rig;
        uint8_t n = 1;
        for (uint32_t format : carried) {
            TimecodeDouble& tc = rig.frame.addTimecode(format, n, n + 1, n + 2, n + 3, 0xABC0u + n);
            tc.userBitsFail = format == failing;
            n += 10;
        }
        QVERIFY(rig.convert());
        QCOMPARE(rig.result.timecodeFormat, expected);
        if (expected != 0) {
            const TimecodeDouble& tc = *rig.frame.timecodes.at(expected);
            QCOMPARE(rig.result.timecode, packTimeWord(tc.hours, tc.minutes, tc.seconds, tc.frames));
            QCOMPARE(rig.result.timecodeUserBits, tc.userBits);
        }
        QVERIFY(!rig.result.image.empty()); // delivered with or without a timecode
        // Formats are asked for in order up to the first that reads; every
        // timecode obtained is released once, the later ones are never obtained.
        const auto& asked = rig.frame.timecodeRequests;
        for (auto& [format, tc] : rig.frame.timecodes) {
            const bool obtained = std::find(asked.begin(), asked.end(), format) != asked.end();
            QCOMPARE(tc->refCount.load(), obtained ? 0 : 1);
        }
        const std::vector<BMDTimecodeFormat> order = {bmdTimecodeVITC,       bmdTimecodeVITCField2,
                                                      bmdTimecodeRP188LTC,   bmdTimecodeRP188VITC1,
                                                      bmdTimecodeRP188VITC2, bmdTimecodeSerial};
        QVERIFY(std::equal(asked.begin(), asked.end(), order.begin()));
    }

    void convertsTimesToHoursMinutesSecondsFrames_data()
    {
        QTest::addColumn<qint64>("ticks");
        QTest::addColumn<uint32_t>("expected");
        QTest::newRow("1:01:01:05") << qint64(25000LL * 3661 + 5000) << packTimeWord(1, 1, 1, 5);
        QTest::newRow("hours kept to 8 bits") << qint64(25000LL * 1000000) << packTimeWord(21, 46, 40, 0);
        QTest::newRow("last frame of a second") << qint64(25000LL * 59 + 24999) << packTimeWord(0, 0, 59, 24);
        QTest::newRow("zero") << qint64(0) << 0u;
    }
    void convertsTimesToHoursMinutesSecondsFrames()
    {
        QFETCH(qint64, ticks);
        QFETCH(uint32_t, expected);
        Rig rig;
        rig.frame.hardwareTime = ticks;
        rig.frame.streamTime = ticks;
        QVERIFY(rig.convert());
        QCOMPARE(rig.result.hardwareReferenceTimestamp, expected);
        QCOMPARE(rig.result.streamTime, expected);
    }

    void missingTimesReadZero()
    {
        Rig rig;
        rig.frame.hardwareTime = rig.frame.streamTime = 25000LL * 3661;
        rig.frame.hardwareTimeFails = rig.frame.streamTimeFails = true;
        QVERIFY(rig.convert());
        QCOMPARE(rig.result.hardwareReferenceTimestamp, 0u);
        QCOMPARE(rig.result.streamTime, 0u);
    }

    void readsFormatCodesFromAncillaryData()
    {
        Rig rig;
        rig.frame.ancillary->pixelFormat = bmdFormat10BitYUV;
        rig.frame.ancillary->displayMode = bmdModeHD1080i50;
        QVERIFY(rig.convert());
        QCOMPARE(rig.result.pixelFormat, bmdFormat10BitYUV);
        QCOMPARE(rig.result.displayMode, bmdModeHD1080i50);
        QCOMPARE(rig.frame.ancillary->refCount.load(), 0);
    }

    void readsWhetherTheInputHasASignal_data()
    {
        QTest::addColumn<uint32_t>("flags");
        QTest::addColumn<bool>("noSignal");
        QTest::newRow("signal") << uint32_t(bmdFrameFlagDefault) << false;
        QTest::newRow("no input source") << uint32_t(bmdFrameHasNoInputSource) << true;
        QTest::newRow("no input source among other flags") << uint32_t(bmdFrameHasNoInputSource | 1u) << true;
        QTest::newRow("other flags only") << 1u << false;
    }
    void readsWhetherTheInputHasASignal()
    {
        QFETCH(uint32_t, flags);
        QFETCH(bool, noSignal);
        Rig rig;
        rig.frame.flags = flags;
        rig.result.noInputSignal = !noSignal; // a reused record is overwritten
        QVERIFY(rig.convert());
        QCOMPARE(rig.result.noInputSignal, noSignal);
        QVERIFY(!rig.result.image.empty()); // the (black) picture still comes
    }

    void missingAncillaryDataIsLogged()
    {
        MessageLog log;
        Rig rig;
        rig.frame.ancillary.reset();
        QVERIFY(rig.convert());
        QCOMPARE(log.count("GetAncillaryData - error"), 1);
    }

    void picture1080pIsContinuousBgrOfTheConvertedFrame_data()
    {
        QTest::addColumn<bool>("onePass");
        QTest::newRow("the card writes the program's BGR") << true;
        QTest::newRow("through the card's BGRA") << false;
    }
    void picture1080pIsContinuousBgrOfTheConvertedFrame()
    {
        QFETCH(bool, onePass);
        Rig rig(1080, 1920);
        rig.conversion.knowsProgramBgr = onePass;
        QVERIFY(rig.convert());
        const cv::Mat& image = rig.result.image;
        QCOMPARE(image.rows, 1080);
        QCOMPARE(image.cols, 1920);
        QCOMPARE(image.type(), CV_8UC3);
        QVERIFY(image.isContinuous());
        QVERIFY(!rig.result.noInputSignal);

        cv::Mat expected;
        cv::cvtColor(rig.frame.pixels, expected, cv::COLOR_YUV2BGR_UYVY);
        QCOMPARE(cv::norm(image, expected, cv::NORM_INF), 0.0);
        QVERIFY(cv::norm(image, cv::NORM_INF) > 0); // the picture is not blank
        // One pass needs no frame of the card's; the other lets go of the one it made.
        QCOMPARE(rig.output.created.size(), size_t(onePass ? 0 : 1));
        QCOMPARE(rig.conversion.calls, onePass ? 1 : 2);
        if (!onePass) {
            QVERIFY(image.data != rig.output.created.front()->pixels.data); // own buffer, not the driver's
            QCOMPARE(rig.output.created.front()->refCount.load(), 0);
        }
    }

    void unconvertiblePictureArrivesAsNoSignalWithItsReason_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("conversion fails")
            << "conversion"
            << "The card cannot convert its 8 x 4 8-bit YUV (UYVY) picture (error 0x80004005).";
        QTest::newRow("no frame to convert into")
            << "output"
            << "The card gives no frame to convert its 8 x 4 8-bit YUV (UYVY) picture into";
        QTest::newRow("no conversion") << "none"
                                       << "The card cannot convert its 8 x 4";
        QTest::newRow("no pixels") << "empty"
                                   << "The card cannot convert its 0 x 0";
    }
    void unconvertiblePictureArrivesAsNoSignalWithItsReason()
    {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        Rig rig;
        rig.frame.addTimecode(bmdTimecodeVITC, 1, 2, 3, 4);
        rig.conversion.knowsProgramBgr = false;
        rig.conversion.fails = fault == "conversion";
        rig.output.fails = fault == "output";
        if (fault == "empty")
            rig.frame.pixels = cv::Mat();
        VideoFrame& result = rig.result;
        result.image = cv::Mat(4, 8, CV_8UC3, cv::Scalar::all(99)); // a reused record is overwritten
        const bool delivered =
            fault == "none" ? convertInputFrame(&rig.frame, &rig.output, nullptr, result) : rig.convert();
        QVERIFY(delivered);
        QVERIFY(result.noInputSignal);
        QVERIFY2(result.noSignalReason.startsWith(reason), qPrintable(result.noSignalReason));
        QCOMPARE(result.timecodeFormat, uint32_t(bmdTimecodeVITC)); // the words still come
        if (fault == "empty") {
            QVERIFY(result.image.empty());
        } else {
            // Black of the frame's size, never what the buffer held.
            QCOMPARE(result.image.size(), cv::Size(8, 4));
            QCOMPARE(cv::countNonZero(result.image.reshape(1)), 0);
        }
        for (const auto& made : rig.output.created)
            QCOMPARE(made->refCount.load(), 0);
        // The next frame that converts clears the reason.
        rig.conversion.fails = rig.output.fails = false;
        rig.frame.pixels = uyvyPattern(4, 8);
        QVERIFY(rig.convert());
        QVERIFY(!result.noInputSignal);
        QVERIFY(result.noSignalReason.isEmpty());
    }

    // Frames converted through a pool: a picture still held downstream is
    // never written again; once let go it is used again; a new format gets
    // pictures of its size.
    void pooledPicturesAreWrittenOnlyOnceLetGo()
    {
        Rig rig(4, 8);
        PicturePool pool;
        std::vector<cv::Mat> held;
        for (int i = 0; i < 12; ++i) {
            VideoFrame frame;
            QVERIFY(convertInputFrame(&rig.frame, &rig.output, &rig.conversion, frame, &pool));
            for (const cv::Mat& earlier : held)
                QVERIFY(frame.image.data != earlier.data);
            held.push_back(frame.image);
        }
        cv::Mat expected;
        cv::cvtColor(rig.frame.pixels, expected, cv::COLOR_YUV2BGR_UYVY);
        for (const cv::Mat& picture : held)
            QCOMPARE(cv::norm(picture, expected, cv::NORM_INF), 0.0);

        const uchar* const letGo = held[3].data;
        held.erase(held.begin() + 3);
        QCOMPARE(pool.take(4, 8).data, letGo);

        const cv::Mat other = pool.take(2, 6);
        QCOMPARE(other.size(), cv::Size(6, 2));
        QCOMPARE(other.type(), CV_8UC3);
    }

    void nullFrameDeliversNothing()
    {
        Rig rig;
        VideoFrame result;
        QVERIFY(!convertInputFrame(nullptr, &rig.output, &rig.conversion, result));
        QVERIFY(result.image.empty());
        QCOMPARE(rig.conversion.calls, 0);
    }

    void framesOfOneTimeLabelHelper()
    {
        VideoFrame withTimecode;
        withTimecode.timecodeFormat = bmdTimecodeRP188LTC;
        withTimecode.timecode = packTimeWord(10, 20, 30, 12);
        withTimecode.hardwareReferenceTimestamp = packTimeWord(1, 1, 1, 1);
        VideoFrame withoutTimecode;
        withoutTimecode.timecode = packTimeWord(9, 9, 9, 9);
        withoutTimecode.hardwareReferenceTimestamp = packTimeWord(10, 20, 30, 12);
        QCOMPARE(timeLabel(withTimecode), packTimeWord(10, 20, 30, 12));
        QVERIFY(haveSameTimeLabel(withTimecode, withoutTimecode));
        QCOMPARE(int(timeLabelFrameNumber(withTimecode)), 12);
        QCOMPARE(formatTimeWord(packTimeWord(1, 2, 3, 4)), QStringLiteral("001:02:03:04"));
        QCOMPARE(formatTimeWord(packTimeWord(255, 59, 59, 24)), QStringLiteral("255:59:59:24"));
    }
};

QTEST_GUILESS_MAIN(TestInputFrameConversion)
#include "tst_inputframeconversion.moc"
