// What the virtual cards carry from still images and video files: layouts,
// scaling, looping, and file names relative to the configuration file.

#include "virtualclient.h"

#include <QTemporaryDir>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace {

const cv::Vec3b red(0, 0, 255), blue(255, 0, 0), black(0, 0, 0);

// The first picture card A delivers in PALp (720 x 576), decoded to BGR.
cv::Mat firstPicture()
{
    cv::Mat picture;
    CardFinder finder;
    if (!finder.waitForCards(1))
        return picture;
    IDeckLinkVideoConversion* conversion = nullptr;
    finder.card("A")->QueryInterface(IID_IDeckLinkVideoConversion, reinterpret_cast<void**>(&conversion));
    InputRecorder recorder;
    InputHandle input(finder.card("A"));
    std::mutex mutex;
    recorder.onFrame = [&](IDeckLinkVideoInputFrame* frame) {
        MutableFrameDouble bgra;
        bgra.format = bmdFormat8BitBGRA;
        bgra.pixels =
            cv::Mat(static_cast<int>(frame->GetHeight()), static_cast<int>(frame->GetWidth()), CV_8UC4);
        conversion->ConvertFrame(frame, &bgra);
        std::lock_guard<std::mutex> lock(mutex);
        if (picture.empty())
            cv::cvtColor(bgra.pixels, picture, cv::COLOR_BGRA2BGR);
    };
    if (input.start(recorder, bmdModePALp) == S_OK)
        recorder.waitForFrames(1);
    input->StopStreams();
    conversion->Release();
    std::lock_guard<std::mutex> lock(mutex);
    return picture;
}

bool near(const cv::Vec3b& a, const cv::Vec3b& b)
{
    for (int c = 0; c < 3; ++c)
        if (std::abs(a[c] - b[c]) > 6)
            return false;
    return true;
}

} // namespace

Q_DECLARE_METATYPE(cv::Vec3b)

class TestVirtualSources : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        cv::imwrite(path("red.png"), cv::Mat(400, 400, CV_8UC3, cv::Scalar(0, 0, 255)));
        cv::imwrite(path("blue.png"), cv::Mat(400, 400, CV_8UC3, cv::Scalar(255, 0, 0)));
    }
    void cleanup()
    {
        qunsetenv("DUOSCOPE_VIRTUAL_CARDS");
        QVERIFY(virtualcards::configure("cards: []"));
        QCOMPARE(virtualcards::liveObjects(), 0L);
    }

    void stillImages_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QList<QPoint>>("points");
        QTest::addColumn<QList<cv::Vec3b>>("colours");
        // A square picture in a 720 x 576 signal.
        QTest::newRow("one picture, fit")
            << "file: red.png" << QList<QPoint>{{360, 288}, {100, 288}, {40, 288}, {700, 10}}
            << QList<cv::Vec3b>{red, red, black, black};
        QTest::newRow("one picture, stretched")
            << "file: red.png, scaling: stretch" << QList<QPoint>{{360, 288}, {5, 5}, {714, 570}}
            << QList<cv::Vec3b>{red, red, red};
        QTest::newRow("side by side")
            << "left: red.png, right: blue.png" << QList<QPoint>{{180, 288}, {540, 288}, {180, 30}}
            << QList<cv::Vec3b>{red, blue, black};
        QTest::newRow("side by side, stretched")
            << "left: red.png, right: blue.png, scaling: stretch"
            << QList<QPoint>{{180, 30}, {540, 30}, {357, 288}, {362, 288}}
            << QList<cv::Vec3b>{red, blue, red, blue};
        QTest::newRow("under/over") << "left: red.png, right: blue.png, layout: underOver"
                                    << QList<QPoint>{{360, 144}, {360, 432}, {10, 144}}
                                    << QList<cv::Vec3b>{red, blue, black};
    }
    void stillImages()
    {
        QFETCH(QString, source);
        QFETCH(QList<QPoint>, points);
        QFETCH(QList<cv::Vec3b>, colours);
        // Relative names are found beside the configuration file.
        QFile file(m_files.filePath("cards.yaml"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QString("cards: [ { name: A, signal: PALp, source: { kind: image, %1 } } ]")
                       .arg(source)
                       .toUtf8());
        file.close();
        qputenv("DUOSCOPE_VIRTUAL_CARDS", file.fileName().toUtf8());
        QVERIFY(virtualcards::reload());
        const cv::Mat picture = firstPicture();
        QCOMPARE(picture.cols, 720);
        for (int i = 0; i < points.size(); ++i) {
            const cv::Vec3b got = picture.at<cv::Vec3b>(points[i].y(), points[i].x());
            QVERIFY2(near(got, colours[i]), qPrintable(QString("at %1,%2: %3 %4 %5")
                                                           .arg(points[i].x())
                                                           .arg(points[i].y())
                                                           .arg(got[0])
                                                           .arg(got[1])
                                                           .arg(got[2])));
        }
    }

    void videoLoopsAtItsFrameRate_data()
    {
        QTest::addColumn<QString>("signal");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("repeats");  // signal frames per frame of the clip
        QTest::addColumn<bool>("endless"); // played through a list that names itself after the clip
        QTest::newRow("25 frames per second") << "PAL" << int(bmdModePAL) << 1 << false;
        QTest::newRow("50 frames per second") << "PALp" << int(bmdModePALp) << 2 << false;
        // Its frames cannot be counted: played as a stream, without holding up the driver.
        QTest::newRow("a video that never ends") << "PAL" << int(bmdModePAL) << 1 << true;
    }
    void videoLoopsAtItsFrameRate()
    {
        QFETCH(QString, signal);
        QFETCH(int, mode);
        QFETCH(int, repeats);
        QFETCH(bool, endless);
        // Six frames of distinct colours at 25 frames per second, played in a 25 frames per second signal.
        cv::VideoWriter writer(path("clip.avi"), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25,
                               cv::Size(64, 48));
        if (!writer.isOpened())
            QSKIP("No video encoder here to make the clip");
        std::vector<cv::Vec3b> shades;
        for (int i = 0; i < 6; ++i) {
            shades.emplace_back(40 * i, 255 - 40 * i, 128);
            writer.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar(shades.back())));
        }
        writer.release();
        QFile list(m_files.filePath("loop.ffconcat"));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("ffconcat version 1.0\nfile 'clip.avi'\nfile 'loop.ffconcat'\n");
        list.close();
        const std::string file = path(endless ? "loop.ffconcat" : "clip.avi");
        QVERIFY(virtualcards::configure("cards: [ { name: A, signal: " + signal.toStdString() +
                                        ", source: { kind: video, file: " + file + " } } ]"));
        // The driver answers while the card's video is opened and looked through.
        CardFinder finder;
        QVERIFY(finder.waitForCards(1));
        InputRecorder recorder;
        InputHandle input(finder.card("A"));
        std::mutex mutex;
        std::vector<int> shown; // index of the shade each frame shows
        recorder.onFrame = [&](IDeckLinkVideoInputFrame* frame) {
            void* bytes = nullptr;
            frame->GetBytes(&bytes);
            const uint8_t* centre = static_cast<uint8_t*>(bytes) +
                                    frame->GetHeight() / 2 * frame->GetRowBytes() + frame->GetWidth();
            // Shades differ in luma by more than 20 codes: the nearest tells which.
            int best = 0;
            for (int i = 0; i < 6; ++i) {
                const cv::Vec3b& s = shades[static_cast<size_t>(i)];
                const cv::Vec3b& b = shades[static_cast<size_t>(best)];
                const auto luma = [](const cv::Vec3b& c) {
                    return 16 + (0.114 * c[0] + 0.587 * c[1] + 0.299 * c[2]) * 219 / 255;
                };
                if (std::abs(luma(s) - centre[1]) < std::abs(luma(b) - centre[1]))
                    best = i;
            }
            std::lock_guard<std::mutex> lock(mutex);
            shown.push_back(best);
        };
        QCOMPARE(input.start(recorder, static_cast<BMDDisplayMode>(mode)), S_OK);
        QCOMPARE(virtualcards::presentCards(), std::vector<std::string>{"A"});
        QVERIFY(recorder.waitForFrames(8 * static_cast<size_t>(repeats) + 2));
        input->StopStreams();
        std::lock_guard<std::mutex> lock(mutex);
        // Runs of equal frames, each the next of the clip; inner runs as long as the rates say.
        std::vector<std::pair<int, int>> runs; // shade, length
        for (int shade : shown) {
            if (!runs.empty() && runs.back().first == shade)
                ++runs.back().second;
            else
                runs.emplace_back(shade, 1);
        }
        QVERIFY(runs.size() >= 8); // past the end of the clip and round again
        // A stream goes on from where counting its frames left it and only onwards: a machine that falls
        // behind the clock skips frames rather than slowing the video. Most steps are to the next frame.
        size_t next = 0;
        for (size_t i = 1; i < runs.size(); ++i) {
            const bool toTheNext = runs[i].first == (runs[i - 1].first + 1) % 6;
            next += toTheNext ? 1 : 0;
            if (endless)
                continue;
            QVERIFY(toTheNext);
            if (i + 1 < runs.size())
                QCOMPARE(runs[i].second, repeats);
        }
        QVERIFY2(next * 2 >= runs.size(), qPrintable(QString::number(next)));
    }

private:
    std::string path(const char* name) const { return m_files.filePath(name).toStdString(); }
    QTemporaryDir m_files;
};

QTEST_GUILESS_MAIN(TestVirtualSources)
#include "tst_virtualsources.moc"
