// Matrices wrapped for display, and the texts of the driver's codes.

#include "app/cvmattoqimage.h"
#include "capture/decklinkcodenames.h"
#include "common/messagelog.h"

#include <QtTest>
#include <decklink/DeckLinkAPI.h>

class TestDisplayConversion : public QObject
{
    Q_OBJECT
private slots:
    void greyMatrixUsesTheGreyTable()
    {
        const cv::Mat grey = (cv::Mat_<uint8_t>(2, 2) << 0, 128, 255, 7);
        const QImage image = cvMatToQImage(grey);
        QCOMPARE(image.format(), QImage::Format_Indexed8);
        QCOMPARE(image.colorCount(), 256);
        QCOMPARE(image.pixel(0, 0), 0xFF000000u);
        QCOMPARE(image.pixel(1, 0), 0xFF808080u);
        QCOMPARE(image.pixel(0, 1), 0xFFFFFFFFu);
        QCOMPARE(image.pixel(1, 1), 0xFF070707u);
        QCOMPARE(static_cast<const void*>(image.constBits()), static_cast<const void*>(grey.data)); // no copy
    }

    void threeChannelBytesAreShownInTheOrderTheyLie()
    {
        cv::Mat rgb(1, 2, CV_8UC3, cv::Scalar(0, 0, 0));
        rgb.at<cv::Vec3b>(0, 0) = {255, 0, 0};
        const QImage image = cvMatToQImage(rgb);
        QCOMPARE(image.format(), QImage::Format_RGB888);
        QCOMPARE(image.pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(image.pixel(1, 0), qRgb(0, 0, 0));
    }

    void fourChannelsAreRgb32()
    {
        cv::Mat bgra(1, 1, CV_8UC4, cv::Scalar(10, 20, 30, 255));
        const QImage image = cvMatToQImage(bgra);
        QCOMPARE(image.format(), QImage::Format_RGB32);
        QCOMPARE(image.pixel(0, 0), qRgb(30, 20, 10));
    }

    void rowStepIsKept_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("grey") << CV_8UC1;
        QTest::newRow("colour") << CV_8UC3;
        QTest::newRow("with alpha") << CV_8UC4;
    }
    void rowStepIsKept()
    {
        QFETCH(int, type);
        cv::Mat wide(10, 64, type, cv::Scalar::all(50));
        const cv::Mat view = wide(cv::Rect(3, 2, 20, 5));
        const QImage image = cvMatToQImage(view);
        QCOMPARE(image.width(), 20);
        QCOMPARE(image.height(), 5);
        QCOMPARE(image.bytesPerLine(), int(wide.step));
        QCOMPARE(static_cast<const void*>(image.constBits()), static_cast<const void*>(view.data));
    }

    void otherTypesGiveANullImage_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("16-bit") << CV_16UC1;
        QTest::newRow("float") << CV_32FC1;
        QTest::newRow("two channels") << CV_8UC2;
    }
    void otherTypesGiveANullImage()
    {
        QFETCH(int, type);
        MessageLog log;
        QVERIFY(cvMatToQImage(cv::Mat(3, 3, type, cv::Scalar::all(1))).isNull());
        QCOMPARE(
            log.count(
                QStringLiteral("cvMatToQImage() - cv::Mat image type not handled in switch: %1").arg(type)),
            1);
    }

    void codeNames_data()
    {
        QTest::addColumn<int>("table");
        QTest::addColumn<uint32_t>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("ARGB is the number 32") << 0 << 32u << "ARGB";
        QTest::newRow("2vuy") << 0 << 0x32767579u << "8-bit YUV (UYVY)";
        QTest::newRow("R10l ends in a capital I") << 0 << fourCC("R10l") << "10-bit RGBXLE (R10I)";
        QTest::newRow("v210") << 0 << fourCC("v210") << "10-bit YUV (v210)";
        QTest::newRow("unknown pixel format") << 0 << fourCC("yuv2") << "Unknown";
        QTest::newRow("hp59 without a point") << 1 << fourCC("hp59") << "HD 720p5994";
        QTest::newRow("Hp59 with a point") << 1 << fourCC("Hp59") << "HD 1080p59.94";
        QTest::newRow("pal ends in a space") << 1 << fourCC("pal ") << "PAL";
        QTest::newRow("pal and a zero byte") << 1 << 0x70616C00u << "Unknown";
        QTest::newRow("Hi60") << 1 << fourCC("Hi60") << "HD 1080i60";
        QTest::newRow("4d25") << 1 << fourCC("4d25") << "4KDCI 25";
        QTest::newRow("2k23") << 1 << fourCC("2k23") << "2K 23.98";
        QTest::newRow("no timecode") << 2 << 0u << "Unknown";
        QTest::newRow("rplt") << 2 << fourCC("rplt") << "RP188 LTC";
        QTest::newRow("vit2") << 2 << fourCC("vit2") << "VITC Field2";
        QTest::newRow("seri") << 2 << fourCC("seri") << "Serial";
    }
    void codeNames()
    {
        QFETCH(int, table);
        QFETCH(uint32_t, code);
        QFETCH(QString, text);
        const QString name = table == 0   ? pixelFormatToString(code)
                             : table == 1 ? displayModeToString(code)
                                          : timecodeFormatToString(code);
        QCOMPARE(name, text);
    }

    void everyDisplayModeHasItsOwnText()
    {
        const uint32_t modes[] = {
            bmdModeNTSC,        bmdModeNTSC2398,    bmdModeNTSCp,       bmdModePAL,
            bmdModePALp,        bmdModeHD720p50,    bmdModeHD720p5994,  bmdModeHD720p60,
            bmdModeHD1080p2398, bmdModeHD1080p24,   bmdModeHD1080p25,   bmdModeHD1080p2997,
            bmdModeHD1080p30,   bmdModeHD1080i50,   bmdModeHD1080i5994, bmdModeHD1080i6000,
            bmdModeHD1080p50,   bmdModeHD1080p5994, bmdModeHD1080p6000, bmdMode2k2398,
            bmdMode2k24,        bmdMode2k25,        bmdMode2kDCI2398,   bmdMode2kDCI24,
            bmdMode2kDCI25,     bmdMode4K2160p2398, bmdMode4K2160p24,   bmdMode4K2160p25,
            bmdMode4K2160p2997, bmdMode4K2160p30,   bmdMode4kDCI2398,   bmdMode4kDCI24,
            bmdMode4kDCI25};
        QSet<QString> texts;
        for (uint32_t mode : modes) {
            const QString text = displayModeToString(mode);
            QVERIFY2(text != "Unknown", qPrintable(QString::number(mode, 16)));
            texts.insert(text);
        }
        QCOMPARE(texts.size(), int(std::size(modes)));
    }
};

QTEST_GUILESS_MAIN(TestDisplayConversion)
#include "tst_displayconversion.moc"
