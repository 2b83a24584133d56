// Frame conversion shared by the drivers, through the virtual cards: '2vuy'
// (4:2:2) to 'BGRA' or to the program's BGR (full range), in the colours the
// card's frame says, else Rec. 709 video range for HD and larger and Rec. 601
// for SD; odd widths.

#include "common/cardframes.h"
#include "virtualclient.h"

#include <QScopeGuard>
#include <QtTest>
#include <opencv2/imgproc.hpp>

namespace {

using cardcommon::Colorimetry;
using cardcommon::ColourMatrix;
using cardcommon::ColourRange;

struct Standard
{
    double kr, kb;
};
constexpr Standard rec709{0.2126, 0.0722};
constexpr Standard rec601{0.299, 0.114};
constexpr Standard rec2020{0.2627, 0.0593};

// The exact conversion of one pixel, rounded and clipped: blue, green, red.
// Video range spans 219 luma and 224 chroma codes from 16, full range 255 from 0.
cv::Vec3b reference(int y, int cb, int cr, const Standard& s, bool fullRange = false)
{
    const double kg = 1.0 - s.kr - s.kb;
    const double lumaScale = fullRange ? 1.0 : 255.0 / 219.0, chromaScale = fullRange ? 2.0 : 255.0 / 112.0;
    const double luma = (y - (fullRange ? 0 : 16)) * lumaScale, u = (cb - 128) * chromaScale,
                 v = (cr - 128) * chromaScale;
    const double red = luma + v * (1.0 - s.kr);
    const double green = luma - u * (1.0 - s.kb) * s.kb / kg - v * (1.0 - s.kr) * s.kr / kg;
    const double blue = luma + u * (1.0 - s.kb);
    return cv::Vec3b(cv::saturate_cast<uint8_t>(blue), cv::saturate_cast<uint8_t>(green),
                     cv::saturate_cast<uint8_t>(red));
}

IDeckLinkVideoConversion* createConversion()
{
    IDeckLinkVideoConversion* conversion = nullptr;
    DeckLinkCreateInstance(CLSID_CDeckLinkVideoConversion, IID_IDeckLinkVideoConversion,
                           reinterpret_cast<void**>(&conversion));
    return conversion;
}

// Converts UYVY pixels through the driver into BGRA.
HRESULT convert(const cv::Mat& uyvy, cv::Mat& bgra)
{
    IDeckLinkVideoConversion* conversion = createConversion();
    if (!conversion)
        return E_FAIL;
    InputFrameDouble source;
    source.pixels = uyvy;
    MutableFrameDouble destination;
    destination.format = bmdFormat8BitBGRA;
    destination.pixels = cv::Mat(uyvy.rows, uyvy.cols, CV_8UC4, cv::Scalar::all(7));
    const HRESULT result = conversion->ConvertFrame(&source, &destination);
    conversion->Release();
    bgra = destination.pixels;
    return result;
}

class ShortRowsFrame : public InputFrameDouble
{
public:
    long GetRowBytes() override { return 2 * pixels.cols - 2; }
};

// A card's frame that says which colours its pixels encode.
// A frame of odd width whose rows end in a whole pair, as GStreamer lays them out.
class OddWidthFrame : public InputFrameDouble
{
public:
    long GetWidth() override { return pixels.cols - 1; }
};

class ColouredFrame : public InputFrameDouble, public cardcommon::FrameColours
{
public:
    std::optional<Colorimetry> colours;
    std::optional<Colorimetry> colorimetry() const override { return colours; }
};

// Converts through the driver into a fresh picture of the given format.
cv::Mat convertInto(IDeckLinkVideoFrame& source, BMDPixelFormat format)
{
    IDeckLinkVideoConversion* conversion = createConversion();
    MutableFrameDouble destination;
    destination.format = format;
    destination.pixels = cv::Mat(static_cast<int>(source.GetHeight()), static_cast<int>(source.GetWidth()),
                                 format == bmdFormat8BitBGR ? CV_8UC3 : CV_8UC4, cv::Scalar::all(7));
    const HRESULT result = conversion->ConvertFrame(&source, &destination);
    conversion->Release();
    return result == S_OK ? destination.pixels : cv::Mat();
}

// UYVY codes of every kind, out-of-range ones too (results clip).
cv::Mat randomUyvy(int rows, int cols, int seed)
{
    cv::Mat uyvy(rows, cols, CV_8UC2);
    cv::RNG(seed).fill(uyvy, cv::RNG::UNIFORM, 0, 256);
    return uyvy;
}

} // namespace

class TestFrameConverter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(virtualcards::configure("cards: []")); }
    void cleanup() { QCOMPARE(virtualcards::liveObjects(), 0L); }

    void colourBars_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QVector<int>>(
            "codes"); // Y, Cb, Cr per bar: white, yellow, cyan, green, magenta, red, blue
        QTest::newRow("Rec. 709, HD")
            << QSize(14, 720) << QVector<int>{180, 128, 128, 168, 44, 136, 145, 147, 44,  133, 63,
                                              52,  63,  193, 204, 51, 109, 212, 28,  212, 120};
        QTest::newRow("Rec. 709, 4K")
            << QSize(14, 2160) << QVector<int>{180, 128, 128, 168, 44, 136, 145, 147, 44,  133, 63,
                                               52,  63,  193, 204, 51, 109, 212, 28,  212, 120};
        QTest::newRow("Rec. 601, PAL")
            << QSize(14, 576) << QVector<int>{180, 128, 128, 162, 44, 142, 131, 156, 44,  112, 72,
                                              58,  84,  184, 198, 65, 100, 212, 35,  212, 114};
        QTest::newRow("Rec. 601, NTSC")
            << QSize(14, 486) << QVector<int>{180, 128, 128, 162, 44, 142, 131, 156, 44,  112, 72,
                                              58,  84,  184, 198, 65, 100, 212, 35,  212, 114};
    }
    void colourBars()
    {
        QFETCH(QSize, size);
        QFETCH(QVector<int>, codes);
        const Standard& standard = size.height() >= 720 ? rec709 : rec601;
        // One bar per pixel pair, repeated down the picture.
        cv::Mat uyvy(size.height(), size.width(), CV_8UC2);
        for (int bar = 0; bar < 7; ++bar)
            for (int y = 0; y < uyvy.rows; ++y) {
                uint8_t* pair = uyvy.ptr<uint8_t>(y) + 4 * bar;
                pair[0] = codes[3 * bar + 1], pair[1] = codes[3 * bar], pair[2] = codes[3 * bar + 2],
                pair[3] = codes[3 * bar];
            }
        cv::Mat bgra;
        QCOMPARE(convert(uyvy, bgra), S_OK);
        const cv::Vec3b ideal[] = {{191, 191, 191}, {0, 191, 191}, {191, 191, 0}, {0, 191, 0},
                                   {191, 0, 191},   {0, 0, 191},   {191, 0, 0}};
        for (int bar = 0; bar < 7; ++bar) {
            const cv::Vec3b expected =
                reference(codes[3 * bar], codes[3 * bar + 1], codes[3 * bar + 2], standard);
            for (int y : {0, size.height() - 1})
                for (int x : {2 * bar, 2 * bar + 1}) {
                    const cv::Vec4b got = bgra.at<cv::Vec4b>(y, x);
                    for (int c = 0; c < 3; ++c) {
                        QVERIFY2(std::abs(got[c] - expected[c]) <= 1,
                                 qPrintable(QString("bar %1 channel %2: %3, exact %4")
                                                .arg(bar)
                                                .arg(c)
                                                .arg(got[c])
                                                .arg(expected[c])));
                        // The bars decode to 75% colours only with the right coefficients.
                        QVERIFY2(std::abs(got[c] - ideal[bar][c]) <= 3,
                                 qPrintable(QString("bar %1 channel %2: %3").arg(bar).arg(c).arg(got[c])));
                    }
                    QCOMPARE(int(got[3]), 255);
                }
        }
    }

    void everyCodeWithinOneOfExact_data()
    {
        QTest::addColumn<QSize>("size");
        // The widest vectors the processor has, or OpenCV's optimisations
        // off: the 128-bit ones.
        QTest::addColumn<bool>("widest");
        for (const bool widest : {true, false}) {
            const char* vectors = widest ? "widest vectors" : "128-bit vectors";
            QTest::addRow("HD, 50 pairs, %s", vectors) << QSize(100, 720) << widest;
            QTest::addRow("SD, 51 pairs, %s", vectors) << QSize(102, 576) << widest;
            QTest::addRow("HD, 2 pairs, %s", vectors) << QSize(4, 1080) << widest;
        }
    }
    void everyCodeWithinOneOfExact()
    {
        QFETCH(QSize, size);
        QFETCH(bool, widest);
        cv::setUseOptimized(widest);
        const auto restore = qScopeGuard([] { cv::setUseOptimized(true); });
        const Standard& standard = size.height() >= 720 ? rec709 : rec601;
        cv::Mat uyvy(size.height(), size.width(), CV_8UC2);
        cv::RNG rng(size.width());
        rng.fill(uyvy, cv::RNG::UNIFORM, 0, 256); // out-of-range codes too: results clip
        cv::Mat bgra;
        QCOMPARE(convert(uyvy, bgra), S_OK);
        int worst = 0;
        for (int y = 0; y < uyvy.rows; ++y)
            for (int x = 0; x < uyvy.cols; ++x) {
                const uint8_t* pair = uyvy.ptr<uint8_t>(y) + 4 * (x / 2);
                const cv::Vec3b expected = reference(pair[1 + 2 * (x % 2)], pair[0], pair[2], standard);
                const cv::Vec4b got = bgra.at<cv::Vec4b>(y, x);
                for (int c = 0; c < 3; ++c)
                    worst = std::max(worst, std::abs(got[c] - expected[c]));
                QCOMPARE(int(got[3]), 255);
            }
        QVERIFY2(worst <= 1, qPrintable(QString::number(worst)));
    }

    void standardDefinitionAgreesWithOpenCv()
    {
        cv::Mat uyvy(486, 720, CV_8UC2);
        cv::RNG(7).fill(uyvy, cv::RNG::UNIFORM, 16, 241);
        cv::Mat ours, theirs, difference;
        QCOMPARE(convert(uyvy, ours), S_OK);
        cv::cvtColor(uyvy, theirs, cv::COLOR_YUV2BGRA_UYVY);
        cv::absdiff(ours, theirs, difference);
        double largest = 0;
        cv::minMaxLoc(difference.reshape(1), nullptr, &largest);
        QVERIFY(largest <= 1);
    }

    void coloursTheFrameSays_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("said");
        QTest::addColumn<int>("matrix");
        QTest::addColumn<bool>("fullRange");
        const int rec601 = int(ColourMatrix::Rec601), rec709 = int(ColourMatrix::Rec709),
                  rec2020 = int(ColourMatrix::Rec2020);
        QTest::newRow("Rec. 601, video range") << 6 << true << rec601 << false;
        QTest::newRow("Rec. 601, full range") << 6 << true << rec601 << true;
        QTest::newRow("Rec. 709, video range") << 6 << true << rec709 << false;
        QTest::newRow("Rec. 709, full range") << 6 << true << rec709 << true;
        QTest::newRow("Rec. 2020, video range") << 6 << true << rec2020 << false;
        QTest::newRow("Rec. 2020, full range") << 6 << true << rec2020 << true;
        QTest::newRow("Rec. 601 said by an HD frame") << 720 << true << rec601 << false;
        QTest::newRow("unsaid, HD: Rec. 709, video range") << 720 << false << rec709 << false;
        QTest::newRow("unsaid, SD: Rec. 601, video range") << 576 << false << rec601 << false;
    }
    void coloursTheFrameSays()
    {
        QFETCH(int, height);
        QFETCH(bool, said);
        QFETCH(int, matrix);
        QFETCH(bool, fullRange);
        ColouredFrame frame;
        frame.pixels = randomUyvy(height, 70, matrix * 2 + fullRange); // 32 pairs in vectors, 3 one by one
        if (said)
            frame.colours =
                Colorimetry{ColourMatrix(matrix), fullRange ? ColourRange::Full : ColourRange::Video};
        const Standard& standard = matrix == int(ColourMatrix::Rec601)   ? rec601
                                   : matrix == int(ColourMatrix::Rec709) ? rec709
                                                                         : rec2020;
        for (BMDPixelFormat format : {bmdFormat8BitBGR, bmdFormat8BitBGRA}) {
            const cv::Mat picture = convertInto(frame, format);
            QVERIFY(!picture.empty());
            int worst = 0;
            for (int y = 0; y < picture.rows; ++y)
                for (int x = 0; x < picture.cols; ++x) {
                    const uint8_t* pair = frame.pixels.ptr<uint8_t>(y) + 4 * (x / 2);
                    const cv::Vec3b expected =
                        reference(pair[1 + 2 * (x % 2)], pair[0], pair[2], standard, fullRange);
                    const uint8_t* got = picture.ptr<uint8_t>(y) + x * picture.channels();
                    for (int c = 0; c < 3; ++c)
                        worst = std::max(worst, std::abs(got[c] - expected[c]));
                }
            QVERIFY2(worst <= 1, qPrintable(QString("worst difference %1").arg(worst)));
        }
    }

    void onePassAgreesWithTheTwoPasses_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("1080p") << QSize(1920, 1080);
        QTest::newRow("1919 x 1079") << QSize(1919, 1079);
        QTest::newRow("34 x 2: vectors and a tail") << QSize(34, 2);
        QTest::newRow("3 x 3") << QSize(3, 3);
        QTest::newRow("1 x 1") << QSize(1, 1);
    }
    void onePassAgreesWithTheTwoPasses()
    {
        // The program's BGR straight from '2vuy' is the BGRA picture without its alpha.
        QFETCH(QSize, size);
        OddWidthFrame odd;
        InputFrameDouble even;
        IDeckLinkVideoFrame* source = &even;
        const cv::Mat uyvy = randomUyvy(size.height(), size.width() + size.width() % 2, size.width());
        if (size.width() % 2 == 1) {
            odd.pixels = uyvy;
            source = &odd;
        } else {
            even.pixels = uyvy;
        }
        const cv::Mat bgr = convertInto(*source, bmdFormat8BitBGR);
        const cv::Mat bgra = convertInto(*source, bmdFormat8BitBGRA);
        QCOMPARE(bgr.size(), cv::Size(size.width(), size.height()));
        cv::Mat twoPasses;
        cv::cvtColor(bgra, twoPasses, cv::COLOR_BGRA2BGR);
        QCOMPARE(cv::norm(bgr, twoPasses, cv::NORM_INF), 0.0);
    }

    void oddWidthsKeepTheirLastColumn_data()
    {
        QTest::addColumn<int>("width");
        QTest::newRow("1919") << 1919;
        QTest::newRow("3") << 3;
        QTest::newRow("1") << 1;
    }
    void oddWidthsKeepTheirLastColumn()
    {
        // The last column is the first pixel of the row's last pair: the
        // picture one pixel wider, less its last column.
        QFETCH(int, width);
        const cv::Mat uyvy = randomUyvy(3, width + 1, width);
        OddWidthFrame odd;
        odd.pixels = uyvy;
        InputFrameDouble wider;
        wider.pixels = uyvy;
        const cv::Mat picture = convertInto(odd, bmdFormat8BitBGR);
        const cv::Mat widerPicture = convertInto(wider, bmdFormat8BitBGR);
        QCOMPARE(picture.cols, width);
        // Within one step: where the rows differ in length, a pair may be
        // decoded by the vector path in one and one by one in the other.
        QVERIFY(cv::norm(picture, widerPicture.colRange(0, width), cv::NORM_INF) <= 1.0);
    }

    void paddedRowsKeepTheirPadding()
    {
        cv::Mat wideIn(576, 800, CV_8UC2, cv::Scalar(128, 235)),
            wideOut(576, 760, CV_8UC4, cv::Scalar::all(9));
        IDeckLinkVideoConversion* conversion = createConversion();
        InputFrameDouble source;
        source.pixels = wideIn.colRange(0, 720); // row bytes 1600
        MutableFrameDouble destination;
        destination.format = bmdFormat8BitBGRA;
        destination.pixels = wideOut.colRange(0, 720); // row bytes 3040
        QCOMPARE(conversion->ConvertFrame(&source, &destination), S_OK);
        conversion->Release();
        QCOMPARE(cv::countNonZero(wideOut.colRange(0, 720).reshape(1) != 255), 0); // white
        QCOMPARE(cv::countNonZero(wideOut.colRange(720, 760).reshape(1) != 9), 0);
    }

    void refusedConversions_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("result");
        QTest::newRow("sizes differ") << "sizes" << int(E_INVALIDARG);
        QTest::newRow("BGRA to 2vuy") << "formats" << int(E_INVALIDARG);
        QTest::newRow("rows too short") << "rows" << int(E_INVALIDARG);
        QTest::newRow("no frame") << "null" << int(E_POINTER);
        QTest::newRow("BGRA copy") << "copy" << int(S_OK);
    }
    void refusedConversions()
    {
        QFETCH(QString, kind);
        QFETCH(int, result);
        ShortRowsFrame shortRows;
        InputFrameDouble source;
        MutableFrameDouble destination;
        source.pixels = cv::Mat(16, 16, CV_8UC2, cv::Scalar(128, 100));
        destination.format = bmdFormat8BitBGRA;
        destination.pixels = cv::Mat(16, 16, CV_8UC4, cv::Scalar::all(0));
        IDeckLinkVideoFrame* in = &source;
        IDeckLinkVideoFrame* out = &destination;
        if (kind == "sizes") {
            destination.pixels = cv::Mat(16, 14, CV_8UC4);
        } else if (kind == "formats") {
            source.format = bmdFormat8BitBGRA;
            source.pixels = cv::Mat(16, 16, CV_8UC4);
            destination.format = bmdFormat8BitYUV;
            destination.pixels = cv::Mat(16, 16, CV_8UC2);
        } else if (kind == "rows") {
            shortRows.pixels = source.pixels;
            in = &shortRows;
        } else if (kind == "null") {
            out = nullptr;
        } else if (kind == "copy") {
            source.format = bmdFormat8BitBGRA;
            source.pixels = cv::Mat(16, 16, CV_8UC4, cv::Scalar(1, 2, 3, 4));
        }
        IDeckLinkVideoConversion* conversion = createConversion();
        QCOMPARE(int(conversion->ConvertFrame(in, out)), result);
        conversion->Release();
        if (kind == "copy")
            QCOMPARE(destination.pixels.at<cv::Vec4b>(15, 15), cv::Vec4b(1, 2, 3, 4));
    }

    void createdFrames_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("rowBytes");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("result");
        QTest::newRow("BGRA") << 1920 << 1080 << 4 * 1920 << int(bmdFormat8BitBGRA) << int(S_OK);
        QTest::newRow("BGRA, padded rows") << 100 << 10 << 512 << int(bmdFormat8BitBGRA) << int(S_OK);
        QTest::newRow("2vuy") << 720 << 576 << 1440 << int(bmdFormat8BitYUV) << int(S_OK);
        QTest::newRow("2vuy, odd width ending in a whole pair")
            << 721 << 576 << 1444 << int(bmdFormat8BitYUV) << int(S_OK);
        QTest::newRow("2vuy, odd width without its last pair")
            << 721 << 576 << 1442 << int(bmdFormat8BitYUV) << int(E_INVALIDARG);
        QTest::newRow("program BGR") << 1919 << 4 << 3 * 1919 << int(bmdFormat8BitBGR) << int(S_OK);
        QTest::newRow("rows too short") << 100 << 10 << 399 << int(bmdFormat8BitBGRA) << int(E_INVALIDARG);
        QTest::newRow("no pixels") << 0 << 10 << 0 << int(bmdFormat8BitBGRA) << int(E_INVALIDARG);
        QTest::newRow("unknown format") << 16 << 16 << 64 << int(bmdFormat10BitYUV) << int(E_INVALIDARG);
    }
    void createdFrames()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, rowBytes);
        QFETCH(int, format);
        QFETCH(int, result);
        QVERIFY(virtualcards::configure("cards: [ { name: A, source: { kind: bars } } ]"));
        {
            CardFinder finder;
            QVERIFY(finder.waitForCards(1));
            IDeckLinkOutput* output = nullptr;
            QCOMPARE(finder.card("A")->QueryInterface(IID_IDeckLinkOutput, reinterpret_cast<void**>(&output)),
                     S_OK);
            IDeckLinkMutableVideoFrame* frame = reinterpret_cast<IDeckLinkMutableVideoFrame*>(1);
            QCOMPARE(
                int(output->CreateVideoFrame(width, height, rowBytes, static_cast<BMDPixelFormat>(format),
                                             bmdFrameFlagDefault, &frame)),
                result);
            QCOMPARE(frame != nullptr, result == S_OK);
            if (frame) {
                QCOMPARE(frame->GetWidth(), long(width));
                QCOMPARE(frame->GetHeight(), long(height));
                QCOMPARE(frame->GetRowBytes(), long(rowBytes));
                QCOMPARE(frame->GetPixelFormat(), BMDPixelFormat(format));
                void* bytes = nullptr;
                QCOMPARE(frame->GetBytes(&bytes), S_OK);
                static_cast<uint8_t*>(bytes)[rowBytes * height - 1] = 1; // the whole buffer is there
                QCOMPARE(frame->SetFlags(bmdFrameHasNoInputSource), S_OK);
                QCOMPARE(frame->GetFlags(), bmdFrameHasNoInputSource);
                IDeckLinkTimecode* timecode = nullptr;
                QVERIFY(frame->GetTimecode(bmdTimecodeRP188LTC, &timecode) != S_OK && !timecode);
                frame->Release();
            }
            output->Release();
        }
        QVERIFY(virtualcards::configure("cards: []"));
    }

    void barsFromACardDecodeToTheirColours_data()
    {
        QTest::addColumn<QString>("signal");
        QTest::addColumn<int>("mode");
        QTest::newRow("HD") << "Hp25" << int(bmdModeHD1080p25);
        QTest::newRow("SD") << "PALp" << int(bmdModePALp);
    }
    void barsFromACardDecodeToTheirColours()
    {
        // The card encodes its picture and its conversion decodes it: what a camera sent comes out.
        QFETCH(QString, signal);
        QFETCH(int, mode);
        QVERIFY(virtualcards::configure(
            QString("cards: [ { name: A, signal: %1, source: { kind: bars } } ]").arg(signal).toStdString()));
        cv::Mat picture;
        {
            CardFinder finder;
            QVERIFY(finder.waitForCards(1));
            IDeckLinkVideoConversion* conversion = nullptr;
            QCOMPARE(finder.card("A")->QueryInterface(IID_IDeckLinkVideoConversion,
                                                      reinterpret_cast<void**>(&conversion)),
                     S_OK);
            InputRecorder recorder;
            InputHandle input(finder.card("A"));
            std::mutex mutex;
            recorder.onFrame = [&](IDeckLinkVideoInputFrame* frame) {
                MutableFrameDouble bgra;
                bgra.format = bmdFormat8BitBGRA;
                bgra.pixels = cv::Mat(static_cast<int>(frame->GetHeight()),
                                      static_cast<int>(frame->GetWidth()), CV_8UC4);
                if (conversion->ConvertFrame(frame, &bgra) == S_OK) {
                    std::lock_guard<std::mutex> lock(mutex);
                    picture = bgra.pixels;
                }
            };
            QCOMPARE(input.start(recorder, static_cast<BMDDisplayMode>(mode)), S_OK);
            QVERIFY(recorder.waitForFrames(1));
            input->StopStreams();
            conversion->Release();
        }
        QVERIFY(virtualcards::configure("cards: []"));
        QVERIFY(!picture.empty());
        const cv::Vec3b ideal[] = {{191, 191, 191}, {0, 191, 191}, {191, 191, 0}, {0, 191, 0},
                                   {191, 0, 191},   {0, 0, 191},   {191, 0, 0}};
        for (int bar = 0; bar < 7; ++bar) {
            const cv::Vec4b got = picture.at<cv::Vec4b>(picture.rows / 2, picture.cols * (2 * bar + 1) / 14);
            for (int c = 0; c < 3; ++c)
                QVERIFY2(std::abs(got[c] - ideal[bar][c]) <= 2,
                         qPrintable(QString("bar %1 channel %2: %3").arg(bar).arg(c).arg(got[c])));
        }
    }
};

QTEST_GUILESS_MAIN(TestFrameConverter)
#include "tst_frameconverter.moc"
