// The disparity analysis: matcher settings and refusals, the map on pairs of
// known disparity, the parallax limits, the colour classes and the histogram.

#include "disparity/tesra_disparity_map.h"

#include <QtTest>
#include <algorithm>
#include <opencv2/imgproc.hpp>

namespace {

// A blue-green-red pair of a random texture in which every point of the left
// image appears `disparity` pixels further left in the right image
// (disparity = left x - right x).
std::pair<cv::Mat, cv::Mat> shiftedTexturePair(cv::Size size, int disparity, uint64_t seed = 7)
{
    const int margin = std::abs(disparity);
    cv::Mat texture(size.height, size.width + 2 * margin, CV_8UC3);
    cv::RNG rng(seed);
    rng.fill(texture, cv::RNG::UNIFORM, 0, 256);
    cv::GaussianBlur(texture, texture, cv::Size(3, 3), 0);
    // Texture column t lies at x = t - margin on the left, t - margin - disparity on the right.
    return {texture.colRange(margin, margin + size.width).clone(),
            texture.colRange(margin + disparity, margin + disparity + size.width).clone()};
}

// One row holding the given raw values.
cv::Mat rawRow(const std::vector<int16_t>& values)
{
    return cv::Mat(values, true).reshape(1, 1);
}

cv::Vec3b colorizeOne(int16_t raw, int minDisparity, int maxDisparity, const ParallaxLimits& l)
{
    return colorizeDisparity(rawRow({raw}), minDisparity, maxDisparity, l.farDisparity, l.screenDisparityLow,
                             l.screenDisparityHigh, l.nearDisparity)
        .at<cv::Vec3b>(0, 0);
}

} // namespace

Q_DECLARE_METATYPE(cv::Vec3b)

class TestDisparityMap : public QObject
{
    Q_OBJECT
private slots:
    void matcherIsConfiguredFromTheSettings_data()
    {
        QTest::addColumn<int>("minDisparity");
        QTest::addColumn<int>("maxDisparity");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<int>("numDisparities");
        QTest::addColumn<int>("p1");
        QTest::addColumn<int>("p2");
        QTest::newRow("defaults") << -64 << 64 << 11 << 128 << 968 << 3872;
        QTest::newRow("small block") << 0 << 32 << 3 << 32 << 72 << 288;
        QTest::newRow("largest block") << -256 << 256 << 31 << 512 << 7688 << 30752;
    }
    void matcherIsConfiguredFromTheSettings()
    {
        QFETCH(int, minDisparity);
        QFETCH(int, maxDisparity);
        QFETCH(int, blockSize);
        const cv::Ptr<cv::StereoSGBM> matcher = createDisparityMatcher(minDisparity, maxDisparity, blockSize);
        QCOMPARE(matcher->getMinDisparity(), minDisparity);
        QTEST(matcher->getNumDisparities(), "numDisparities");
        QCOMPARE(matcher->getBlockSize(), blockSize);
        QTEST(matcher->getP1(), "p1");
        QTEST(matcher->getP2(), "p2");
        QCOMPARE(matcher->getDisp12MaxDiff(), 0);
        QCOMPARE(matcher->getPreFilterCap(), 31);
        QCOMPARE(matcher->getUniquenessRatio(), 1);
        QCOMPARE(matcher->getSpeckleWindowSize(), 0);
        QCOMPARE(matcher->getSpeckleRange(), 0);
        QCOMPARE(matcher->getMode(), int(cv::StereoSGBM::MODE_SGBM));
    }

    void badInputIsRefusedBeforeTheMatcherRuns_data()
    {
        QTest::addColumn<QSize>("leftSize");
        QTest::addColumn<int>("leftType");
        QTest::addColumn<QSize>("rightSize");
        QTest::addColumn<int>("rightType");
        QTest::addColumn<int>("minDisparity");
        QTest::addColumn<int>("maxDisparity");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<QString>("reason");
        const QSize size(64, 48);
        QTest::newRow("sizes differ")
            << size << CV_8UC3 << QSize(64, 47) << CV_8UC3 << -64 << 64 << 11 << "differ in size";
        QTest::newRow("types differ")
            << size << CV_8UC3 << size << CV_8UC4 << -64 << 64 << 11 << "differ in type";
        QTest::newRow("grey images") << size << CV_8UC1 << size << CV_8UC1 << -64 << 64 << 11
                                     << "three channels";
        QTest::newRow("empty images")
            << QSize() << CV_8UC3 << QSize() << CV_8UC3 << -64 << 64 << 11 << "empty";
        QTest::newRow("maximum below minimum")
            << size << CV_8UC3 << size << CV_8UC3 << 64 << -64 << 11 << "multiple of 16";
        QTest::newRow("empty range") << size << CV_8UC3 << size << CV_8UC3 << 16 << 16 << 11
                                     << "multiple of 16";
        QTest::newRow("range not a multiple of 16")
            << size << CV_8UC3 << size << CV_8UC3 << -64 << 60 << 11 << "multiple of 16";
        QTest::newRow("range beyond 16 bits")
            << size << CV_8UC3 << size << CV_8UC3 << -2048 << 0 << 11 << "-2047..2048";
        QTest::newRow("even block") << size << CV_8UC3 << size << CV_8UC3 << -64 << 64 << 12 << "odd number";
        QTest::newRow("block 0") << size << CV_8UC3 << size << CV_8UC3 << -64 << 64 << 0 << "odd number";
        QTest::newRow("negative block")
            << size << CV_8UC3 << size << CV_8UC3 << -64 << 64 << -3 << "odd number";
        QTest::newRow("block too large")
            << size << CV_8UC3 << size << CV_8UC3 << -64 << 64 << 33 << "odd number";
    }
    void badInputIsRefusedBeforeTheMatcherRuns()
    {
        QFETCH(QSize, leftSize);
        QFETCH(int, leftType);
        QFETCH(QSize, rightSize);
        QFETCH(int, rightType);
        QFETCH(int, minDisparity);
        QFETCH(int, maxDisparity);
        QFETCH(int, blockSize);
        QFETCH(QString, reason);
        const cv::Mat left(qMax(leftSize.height(), 0), qMax(leftSize.width(), 0), leftType,
                           cv::Scalar::all(90));
        const cv::Mat right(qMax(rightSize.height(), 0), qMax(rightSize.width(), 0), rightType,
                            cv::Scalar::all(90));
        try {
            computeDisparityMap(left, right, minDisparity, maxDisparity, blockSize);
            QFAIL("accepted");
        } catch (const cv::Exception& e) {
            QVERIFY2(QString::fromStdString(e.err).contains(reason), e.what());
        }
    }

    // Pairs of known disparity, across the searched range and at both of its ends.
    void mapAndHistogramFindTheKnownDisparity_data()
    {
        QTest::addColumn<int>("minDisparity");
        QTest::addColumn<int>("maxDisparity");
        QTest::addColumn<int>("shift");
        QTest::newRow("lowest searched") << -64 << 64 << -64;
        QTest::newRow("negative") << -64 << 64 << -37;
        QTest::newRow("zero") << -64 << 64 << 0;
        QTest::newRow("positive") << -64 << 64 << 21;
        QTest::newRow("highest searched") << -64 << 64 << 63;
        QTest::newRow("positive range, low end") << 16 << 48 << 16;
        QTest::newRow("positive range, high end") << 16 << 48 << 47;
        QTest::newRow("negative range") << -48 << -16 << -30;
    }
    void mapAndHistogramFindTheKnownDisparity()
    {
        QFETCH(int, minDisparity);
        QFETCH(int, maxDisparity);
        QFETCH(int, shift);
        const auto [left, right] = shiftedTexturePair(cv::Size(320, 96), shift);
        const cv::Mat raw = computeDisparityMap(left, right, minDisparity, maxDisparity, 11);
        QCOMPARE(raw.type(), CV_16SC1);
        QCOMPARE(raw.size(), left.size());

        const std::vector<double> histogram = disparityHistogram(raw, minDisparity, maxDisparity);
        QCOMPARE(int(histogram.size()), maxDisparity - minDisparity + 1);
        const auto peak = std::max_element(histogram.begin(), histogram.end());
        QCOMPARE(*peak, 1.0);
        QCOMPARE(int(peak - histogram.begin()) + minDisparity, shift);

        std::vector<int16_t> matched;
        std::copy_if(raw.begin<int16_t>(), raw.end<int16_t>(), std::back_inserter(matched),
                     [&](int16_t m) { return m >= minDisparity * 16; });
        QVERIFY(matched.size() > raw.total() / 2);
        std::nth_element(matched.begin(), matched.begin() + matched.size() / 2, matched.end());
        const double median = matched[matched.size() / 2] / 16.0;
        QVERIFY2(std::abs(median - shift) <= 1.0, qPrintable(QString::number(median)));
    }

    // The first channel of a frame is blue, yet the analysis weights it as red
    // (0.299) and the third as blue (0.114). With one texture per channel, each
    // at its own disparity, the heavier one decides the map.
    void greyConversionWeightsTheFirstChannelMost()
    {
        const cv::Size size(320, 96);
        const auto [firstLeft, firstRight] = shiftedTexturePair(size, 9, 1);
        const auto [thirdLeft, thirdRight] = shiftedTexturePair(size, -20, 2);
        const auto compose = [](const cv::Mat& first, const cv::Mat& third) {
            cv::Mat channels[3], a[3], b[3], image;
            cv::split(first, a);
            cv::split(third, b);
            channels[0] = a[0];
            channels[1] = cv::Mat(first.size(), CV_8UC1, cv::Scalar(128));
            channels[2] = b[0];
            cv::merge(channels, 3, image);
            return image;
        };
        const cv::Mat raw =
            computeDisparityMap(compose(firstLeft, thirdLeft), compose(firstRight, thirdRight), -64, 64, 11);
        const std::vector<double> histogram = disparityHistogram(raw, -64, 64);
        QCOMPARE(int(std::max_element(histogram.begin(), histogram.end()) - histogram.begin()) - 64, 9);
    }

    void parallaxLimits_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("minDisparity");
        QTest::addColumn<int>("maxDisparity");
        QTest::addColumn<double>("parallaxNear");
        QTest::addColumn<double>("parallaxScreen");
        QTest::addColumn<double>("parallaxFar");
        QTest::addColumn<int>("far");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::addColumn<int>("near");
        QTest::newRow("all 0, HD") << 1920 << -64 << 64 << 0.0 << 0.0 << 0.0 << 0 << -2 << 2 << 0;
        QTest::newRow("1000 pixels") << 1000 << -64 << 64 << -2.0 << 0.0 << 1.0 << -10 << -2 << 2 << 20;
        QTest::newRow("wide band, screen off zero")
            << 1000 << -64 << 64 << 0.0 << 1.0 << 0.0 << 0 << -12 << -7 << 0;
        QTest::newRow("narrow band, 48 searched")
            << 1000 << 0 << 48 << 0.0 << 1.0 << 0.0 << 0 << -11 << -9 << 0;
        QTest::newRow("narrow band, 16 searched")
            << 1920 << -16 << 0 << 0.0 << -0.5 << 0.0 << 0 << 8 << 10 << 0;
        QTest::newRow("truncated toward zero")
            << 1920 << -64 << 64 << 0.15 << 0.0 << -0.15 << 2 << -2 << 2 << -2;
    }
    void parallaxLimits()
    {
        QFETCH(int, width);
        QFETCH(int, minDisparity);
        QFETCH(int, maxDisparity);
        QFETCH(double, parallaxNear);
        QFETCH(double, parallaxScreen);
        QFETCH(double, parallaxFar);
        const ParallaxLimits limits = computeParallaxLimits(width, minDisparity, maxDisparity, parallaxNear,
                                                            parallaxScreen, parallaxFar);
        QTEST(limits.farDisparity, "far");
        QTEST(limits.screenDisparityLow, "low");
        QTEST(limits.screenDisparityHigh, "high");
        QTEST(limits.nearDisparity, "near");
    }

    // Settings near -2 %, screen 0 %, far 1 % on a 1000-pixel-wide picture,
    // range -64..64: far limit -10, band -2..2, near limit 20.
    void colorClassesOfTheThousandPixelExample_data()
    {
        QTest::addColumn<int>("raw");
        QTest::addColumn<cv::Vec3b>("bgr");
        QTest::newRow("unmatched") << -1040 << cv::Vec3b(0, 0, 0);
        QTest::newRow("far, end of range") << -1024 << cv::Vec3b(63, 32, 32);
        QTest::newRow("far, next to the limit") << -161 << cv::Vec3b(254, 127, 127);
        QTest::newRow("grey at the far limit") << -160 << cv::Vec3b(107, 107, 107);
        QTest::newRow("grey below the band") << -32 << cv::Vec3b(123, 123, 123);
        QTest::newRow("band, low end") << -31 << cv::Vec3b(0, 204, 0);
        QTest::newRow("band, high end") << 31 << cv::Vec3b(0, 204, 0);
        QTest::newRow("grey above the band") << 32 << cv::Vec3b(131, 131, 131);
        QTest::newRow("grey at the near limit") << 320 << cv::Vec3b(167, 167, 167);
        QTest::newRow("near, next to the limit") << 321 << cv::Vec3b(50, 50, 254);
        QTest::newRow("near, end of range") << 1024 << cv::Vec3b(12, 12, 63);
    }
    void colorClassesOfTheThousandPixelExample()
    {
        QFETCH(int, raw);
        const ParallaxLimits limits = computeParallaxLimits(1000, -64, 64, -2.0, 0.0, 1.0);
        QTEST(colorizeOne(int16_t(raw), -64, 64, limits), "bgr");
    }

    void allSettingsZeroLeaveNoGreyPixel()
    {
        const ParallaxLimits limits = computeParallaxLimits(1920, -64, 64, 0, 0, 0);
        std::vector<int16_t> codes;
        for (int m = -1024; m <= 1039; ++m) // every value the matcher gives a matched pixel
            codes.push_back(int16_t(m));
        const cv::Mat colored =
            colorizeDisparity(rawRow(codes), -64, 64, limits.farDisparity, limits.screenDisparityLow,
                              limits.screenDisparityHigh, limits.nearDisparity);
        int previousBlue = 0;
        int previousRed = 256;
        for (int i = 0; i < int(codes.size()); ++i) {
            const int m = codes[i];
            const cv::Vec3b c = colored.at<cv::Vec3b>(0, i);
            const QByteArray where = QByteArray::number(m);
            if (m >= -31 && m <= 31) {
                QVERIFY2(c == cv::Vec3b(0, 204, 0), where);
            } else if (m < 0) { // far: blue, lighter toward the limit
                QVERIFY2(c[1] == c[2] && c[0] > c[1] && c[0] >= previousBlue, where);
                previousBlue = c[0];
            } else { // near: red, darker away from the limit
                QVERIFY2(c[0] == c[1] && c[2] > c[1] && c[2] <= previousRed, where);
                previousRed = c[2];
            }
        }
        QCOMPARE(colored.at<cv::Vec3b>(0, 1024 - 32), cv::Vec3b(249, 125, 125));
        QCOMPARE(colored.at<cv::Vec3b>(0, 1024 + 32), cv::Vec3b(49, 49, 249));
    }

    // Ends of the range at a limit, channels beyond 0..255, unmatched pixels.
    void colorsStayDefined_data()
    {
        QTest::addColumn<int>("minDisparity");
        QTest::addColumn<int>("maxDisparity");
        QTest::addColumn<int>("far");
        QTest::addColumn<int>("near");
        QTest::addColumn<int>("raw");
        QTest::addColumn<cv::Vec3b>("bgr");
        QTest::newRow("far limit at the minimum, unmatched")
            << -64 << 64 << -64 << 0 << -1040 << cv::Vec3b(0, 0, 0);
        QTest::newRow("far limit at the minimum, matched")
            << -64 << 64 << -64 << 0 << -1008 << cv::Vec3b(1, 1, 1);
        QTest::newRow("far limit below the minimum") << -64 << 64 << -80 << 0 << -1040 << cv::Vec3b(0, 0, 0);
        QTest::newRow("near limit at the maximum") << -64 << 64 << 0 << 64 << 1030 << cv::Vec3b(12, 12, 63);
        QTest::newRow("near limit past the maximum") << -64 << 64 << 0 << 80 << 1300 << cv::Vec3b(12, 12, 63);
        QTest::newRow("grey above 255 saturates")
            << -64 << 64 << -10 << 100 << 1100 << cv::Vec3b(255, 255, 255);
        QTest::newRow("shade below 0 saturates") << -64 << 64 << 0 << 0 << 2048 << cv::Vec3b(0, 0, 0);
        QTest::newRow("unmatched, minimum 0") << 0 << 128 << 0 << 0 << -16 << cv::Vec3b(0, 0, 0);
        QTest::newRow("unmatched, far limit above it") << 16 << 48 << 32 << 48 << 240 << cv::Vec3b(0, 0, 0);
        QTest::newRow("empty range") << 16 << 16 << 0 << 16 << 256 << cv::Vec3b(0, 0, 0);
    }
    void colorsStayDefined()
    {
        QFETCH(int, minDisparity);
        QFETCH(int, maxDisparity);
        QFETCH(int, far);
        QFETCH(int, near);
        QFETCH(int, raw);
        const ParallaxLimits band = computeParallaxLimits(1920, minDisparity, maxDisparity, 0, 0, 0);
        const ParallaxLimits limits{far, band.screenDisparityLow, band.screenDisparityHigh, near};
        QTEST(colorizeOne(int16_t(raw), minDisparity, maxDisparity, limits), "bgr");
    }

    void colorizedMapKeepsShapeAndPositions()
    {
        cv::Mat raw(3, 5, CV_16SC1, cv::Scalar(0));
        raw.at<int16_t>(2, 4) = -1040;
        const cv::Mat colored = colorizeDisparity(raw(cv::Rect(1, 1, 4, 2)), -64, 64, 0, -2, 2, 0);
        QCOMPARE(colored.type(), CV_8UC3);
        QCOMPARE(colored.size(), cv::Size(4, 2));
        QCOMPARE(colored.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 204, 0));
        QCOMPARE(colored.at<cv::Vec3b>(1, 3), cv::Vec3b(0, 0, 0));
    }

    void grayMapSpansTheRawValues()
    {
        const cv::Mat gray = disparityToGray(rawRow({-1040, -1024, 7, 1039}));
        QCOMPARE(gray.type(), CV_8UC1);
        QCOMPARE(int(gray.at<uint8_t>(0, 0)), 0);
        QCOMPARE(int(gray.at<uint8_t>(0, 3)), 255);
        QVERIFY(gray.at<uint8_t>(0, 1) > 0 && gray.at<uint8_t>(0, 1) < gray.at<uint8_t>(0, 2));
    }

    void histogramBins_data()
    {
        QTest::addColumn<int>("minDisparity");
        QTest::addColumn<int>("maxDisparity");
        QTest::addColumn<QVector<int>>("raw");
        QTest::addColumn<QVector<int>>("countedIn"); // disparity of the bin of each matched raw value
        QTest::newRow("sixteenths truncate toward zero")
            << -64 << 64 << QVector<int>{-17, -15, 15, 17, -16, 16} << QVector<int>{-1, 0, 0, 1, -1, 1};
        QTest::newRow("ends of the range")
            << -64 << 64 << QVector<int>{-1024, -1009, 1023, 1039} << QVector<int>{-64, -63, 63, 64};
        QTest::newRow("above the range in the last bin")
            << -64 << 64 << QVector<int>{1040, 30000} << QVector<int>{64, 64};
        QTest::newRow("unmatched left out")
            << -64 << 64 << QVector<int>{-1040, -1025, -32768, 5} << QVector<int>{0};
        QTest::newRow("positive range") << 16 << 48 << QVector<int>{240, 256, 767} << QVector<int>{16, 47};
        QTest::newRow("normalised by the largest bin")
            << -64 << 64 << QVector<int>{-80, -1040, -80, 640, -1040, -1040, -80}
            << QVector<int>{-5, -5, 40, -5};
        QTest::newRow("nothing matched") << -64 << 64 << QVector<int>{-1040, -1025} << QVector<int>{};
    }
    void histogramBins()
    {
        QFETCH(int, minDisparity);
        QFETCH(int, maxDisparity);
        QFETCH(QVector<int>, raw);
        QFETCH(QVector<int>, countedIn);
        std::vector<int16_t> values(raw.begin(), raw.end());
        const std::vector<double> histogram = disparityHistogram(rawRow(values), minDisparity, maxDisparity);
        QCOMPARE(int(histogram.size()), maxDisparity - minDisparity + 1);

        std::vector<double> expected(histogram.size(), 0.0);
        for (int d : countedIn)
            expected[d - minDisparity] += 1.0;
        const double largest = *std::max_element(expected.begin(), expected.end());
        if (largest > 0)
            for (double& bin : expected)
                bin /= largest;
        QCOMPARE(QVector<double>(histogram.begin(), histogram.end()),
                 QVector<double>(expected.begin(), expected.end()));
    }

    void wrongRawMapsAreRefused()
    {
        const cv::Mat floats(2, 2, CV_32FC1, cv::Scalar(0));
        QVERIFY_EXCEPTION_THROWN(disparityHistogram(floats, -64, 64), cv::Exception);
        QVERIFY_EXCEPTION_THROWN(colorizeDisparity(floats, -64, 64, 0, -2, 2, 0), cv::Exception);
        const cv::Mat raw(2, 2, CV_16SC1, cv::Scalar(0));
        QVERIFY_EXCEPTION_THROWN(disparityHistogram(raw, 64, -64), cv::Exception);
    }
};

QTEST_GUILESS_MAIN(TestDisparityMap)
#include "tst_disparitymap.moc"
