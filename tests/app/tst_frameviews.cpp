// Frames fitted into their views, the info texts, and the logos that follow
// the size of their labels.

#include "app/frameview.h"
#include "app/mainwindow.h"
#include "common/mainwindowprobe.h"
#include "common/messagelog.h"
#include "common/privatesettings.h"

#include <QLabel>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtTest>
#include <decklink/DeckLinkAPI.h>
#include <memory>

Q_DECLARE_METATYPE(cv::Mat)

namespace {

// A picture label in a scroll area as the form arranges it, with a viewport of the given size.
struct PictureView
{
    std::unique_ptr<QScrollArea> area = std::make_unique<QScrollArea>();
    QLabel* label = nullptr;

    explicit PictureView(QSize viewport)
    {
        area->setFrameShape(QFrame::NoFrame);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area->setWidgetResizable(true);
        auto* content = new QWidget;
        auto* layout = new QVBoxLayout(content);
        layout->setContentsMargins(9, 9, 9, 9);
        label = new QLabel(content);
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
        area->setWidget(content);
        area->resize(viewport);
        area->show();
    }
};

QRgb centrePixel(const QLabel* label)
{
    const QImage image = label->pixmap(Qt::ReturnByValue).toImage();
    return image.pixel(image.width() / 2, image.height() / 2);
}

} // namespace

class TestFrameViews : public QObject
{
    Q_OBJECT

    PrivateSettings m_settings;

private slots:
    void initTestCase() { QVERIFY(m_settings.isValid()); }

    void resizeToFitKeepsTheAspectRatio_data()
    {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("width limits") << QSize(1920, 1080) << QSize(960, 720) << QSize(960, 540);
        QTest::newRow("height limits, truncated") << QSize(1920, 1080) << QSize(1000, 500) << QSize(888, 500);
        QTest::newRow("portrait") << QSize(1080, 1920) << QSize(960, 540) << QSize(303, 540);
        QTest::newRow("enlarged") << QSize(320, 180) << QSize(960, 720) << QSize(960, 540);
        QTest::newRow("same size") << QSize(640, 480) << QSize(640, 480) << QSize(640, 480);
        QTest::newRow("thin keeps a pixel") << QSize(1, 4000) << QSize(100, 100) << QSize(1, 100);
        QTest::newRow("no room") << QSize(1920, 1080) << QSize(0, 500) << QSize(0, 0);
    }
    void resizeToFitKeepsTheAspectRatio()
    {
        QFETCH(QSize, source);
        QFETCH(QSize, box);
        QFETCH(QSize, expected);
        const cv::Mat frame(source.height(), source.width(), CV_8UC3, cv::Scalar(1, 2, 3));
        const cv::Mat fitted = resizeToFit(frame, box);
        QCOMPARE(QSize(fitted.cols, fitted.rows), expected);
        if (!fitted.empty()) {
            QCOMPARE(fitted.type(), frame.type());
            QCOMPARE(fitted.at<cv::Vec3b>(fitted.rows / 2, fitted.cols / 2), cv::Vec3b(1, 2, 3));
        }
    }

    void resizeToFitKeepsThePicture()
    {
        // Left half black, right half white: the halves stay where they were.
        cv::Mat frame(1080, 1920, CV_8UC1, cv::Scalar(0));
        frame.colRange(960, 1920).setTo(255);
        const cv::Mat fitted = resizeToFit(frame, QSize(960, 720));
        QCOMPARE(int(fitted.at<uint8_t>(270, 240)), 0);
        QCOMPARE(int(fitted.at<uint8_t>(270, 720)), 255);
        // Bilinear: the seam is a blend, not a jump between neighbours only.
        QVERIFY(fitted.at<uint8_t>(270, 479) <= fitted.at<uint8_t>(270, 480));
    }

    void showImageFitsTheScrollArea_data()
    {
        QTest::addColumn<QSize>("viewport");
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QSize>("expected");
        // The layout of the scroll area's content keeps 9 pixels on each side.
        QTest::newRow("960 x 720 box") << QSize(978, 738) << QSize(1920, 1080) << QSize(960, 540);
        QTest::newRow("1000 x 500 box") << QSize(1018, 518) << QSize(1920, 1080) << QSize(888, 500);
        QTest::newRow("small frame grows") << QSize(978, 738) << QSize(192, 108) << QSize(960, 540);
    }
    void showImageFitsTheScrollArea()
    {
        QFETCH(QSize, viewport);
        QFETCH(QSize, frame);
        QFETCH(QSize, expected);
        PictureView view(viewport);
        QCOMPARE(view.area->viewport()->size(), viewport);
        showImage(cv::Mat(frame.height(), frame.width(), CV_8UC3, cv::Scalar::all(128)), view.label);
        QCOMPARE(view.label->pixmap(Qt::ReturnByValue).size(), expected);
    }

    void showImageShowsTrueColors_data()
    {
        QTest::addColumn<cv::Mat>("frame");
        QTest::addColumn<QRgb>("expected");
        QTest::newRow("grey") << cv::Mat(108, 192, CV_8UC1, cv::Scalar(77)) << qRgb(77, 77, 77);
        QTest::newRow("blue-green-red")
            << cv::Mat(108, 192, CV_8UC3, cv::Scalar(10, 20, 200)) << qRgb(200, 20, 10);
        QTest::newRow("pure blue") << cv::Mat(108, 192, CV_8UC3, cv::Scalar(255, 0, 0)) << qRgb(0, 0, 255);
    }
    void showImageShowsTrueColors()
    {
        QFETCH(cv::Mat, frame);
        QFETCH(QRgb, expected);
        PictureView view(QSize(400, 300));
        showImage(frame, view.label);
        QCOMPARE(centrePixel(view.label), expected);
    }

    void showImageClearsTheLabel_data()
    {
        QTest::addColumn<cv::Mat>("frame");
        QTest::newRow("empty") << cv::Mat();
        QTest::newRow("no rows") << cv::Mat(0, 100, CV_8UC3);
        QTest::newRow("four channels") << cv::Mat(108, 192, CV_8UC4, cv::Scalar::all(9));
        QTest::newRow("two channels") << cv::Mat(108, 192, CV_8UC2, cv::Scalar::all(9));
        QTest::newRow("16-bit grey") << cv::Mat(108, 192, CV_16UC1, cv::Scalar(9));
    }
    void showImageClearsTheLabel()
    {
        QFETCH(cv::Mat, frame);
        MessageLog quiet;
        PictureView view(QSize(400, 300));
        showImage(cv::Mat(108, 192, CV_8UC3, cv::Scalar::all(50)), view.label);
        QVERIFY(!view.label->pixmap(Qt::ReturnByValue).isNull());
        showImage(frame, view.label);
        QVERIFY(view.label->pixmap(Qt::ReturnByValue).isNull());
        QVERIFY(view.label->text().isEmpty());
    }

    void liveViewsFillTheirScrollAreas_data()
    {
        QTest::addColumn<bool>("left");
        QTest::newRow("left") << true;
        QTest::newRow("right") << false;
    }
    void liveViewsFillTheirScrollAreas()
    {
        QFETCH(bool, left);
        MainWindow window;
        QLoggingCategory::setFilterRules("duoscope.window.debug=true");
        MessageLog log;
        VideoFrame frame;
        frame.image = cv::Mat(1080, 1920, CV_8UC3, cv::Scalar(0, 255, 0));
        const char* slot = left ? "onNewLeftRawFrameArrived" : "onNewRightRawFrameArrived";
        QVERIFY(QMetaObject::invokeMethod(&MainWindowProbe(window).acquisition(), slot,
                                          Q_ARG(VideoFrame, frame)));

        auto* area = window.findChild<QScrollArea*>(left ? "scrollArea_LiveLeft" : "scrollArea_LiveRight");
        auto* view = window.findChild<QLabel*>(left ? "lbl_ImageLiveLeft" : "lbl_ImageLiveRight");
        const QSize box = area->viewport()->size() - QSize(18, 18);
        const QSize shown = view->pixmap(Qt::ReturnByValue).size();
        QCOMPARE(shown, QSize(1920, 1080).scaled(box, Qt::KeepAspectRatio));
        QCOMPARE(centrePixel(view), qRgb(0, 255, 0));
        QVERIFY(window.findChild<QLabel*>(left ? "lbl_ImageLiveRight" : "lbl_ImageLiveLeft")
                    ->pixmap(Qt::ReturnByValue)
                    .isNull());

        const QString address = QString::number(reinterpret_cast<quintptr>(frame.image.data), 16);
        QLoggingCategory::setFilterRules(QString());
        QCOMPARE(log.lines(), QStringList{QString("%1 - rawFrame.data = 0x%2").arg(slot, address)});
    }

    // A line per frame is for a bug report, not for every run: the window's
    // category writes it only when switched on.
    void frameLinesAreWrittenOnlyWhenSwitchedOn_data()
    {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<int>("lines");
        QTest::newRow("as installed") << "" << 0;
        QTest::newRow("the window's debug lines") << "duoscope.window.debug=true" << 1;
        QTest::newRow("all of the program's") << "duoscope.*.debug=true" << 1;
        QTest::newRow("another category") << "duoscope.capture.debug=true" << 0;
        QTest::newRow("all debug lines, the program's off") << "*.debug=true\nduoscope.*.debug=false" << 0;
    }
    void frameLinesAreWrittenOnlyWhenSwitchedOn()
    {
        QFETCH(QString, rules);
        QFETCH(int, lines);
        MainWindow window;
        QLoggingCategory::setFilterRules(rules);
        MessageLog log;
        VideoFrame frame;
        frame.image = cv::Mat(36, 64, CV_8UC3, cv::Scalar::all(7));
        MainWindowProbe(window).acquisition().onNewLeftRawFrameArrived(frame);
        MainWindowProbe(window).acquisition().onNewRightRawFrameArrived(frame);
        QLoggingCategory::setFilterRules(QString());
        QCOMPARE(log.count("RawFrameArrived - rawFrame.data ="), 2 * lines);
    }

    void infoLabelsShowTheFrameWords_data()
    {
        QTest::addColumn<bool>("left");
        QTest::addColumn<VideoFrame>("frame");
        QTest::addColumn<QStringList>("texts");
        VideoFrame capture;
        capture.pixelFormat = bmdFormat8BitYUV;
        capture.displayMode = bmdModeHD1080p25;
        capture.timecode = packTimeWord(1, 2, 3, 4);
        capture.timecodeUserBits = 0xABCD;
        capture.timecodeFormat = bmdTimecodeRP188LTC;
        capture.hardwareReferenceTimestamp = packTimeWord(255, 59, 59, 29);
        capture.streamTime = packTimeWord(0, 0, 7, 0);
        const QStringList captureTexts{"8-bit YUV (UYVY)", "HD 1080p25",   "001:02:03:04", "abcd",
                                       "RP188 LTC",        "255:59:59:29", "000:00:07:00"};
        // A frame without timecode and with codes outside the tables.
        VideoFrame bare;
        bare.pixelFormat = 0x12345678;
        bare.displayMode = 0;
        const QStringList bareTexts{"Unknown", "Unknown",      "000:00:00:00", "0",
                                    "Unknown", "000:00:00:00", "000:00:00:00"};
        QTest::newRow("left") << true << capture << captureTexts;
        QTest::newRow("right") << false << capture << captureTexts;
        QTest::newRow("left, no timecode") << true << bare << bareTexts;
        QTest::newRow("right, no timecode") << false << bare << bareTexts;
    }
    void infoLabelsShowTheFrameWords()
    {
        QFETCH(bool, left);
        QFETCH(VideoFrame, frame);
        QFETCH(QStringList, texts);
        MainWindow window;
        MessageLog quiet;
        frame.image = cv::Mat(36, 64, CV_8UC3, cv::Scalar::all(9));
        QVERIFY(QMetaObject::invokeMethod(&MainWindowProbe(window).acquisition(),
                                          left ? "onNewLeftRawFrameArrived" : "onNewRightRawFrameArrived",
                                          Q_ARG(VideoFrame, frame)));
        const char* const fields[] = {"PixelFormat",      "DisplayMode",    "Timecode",
                                      "TimecodeUserBits", "TimecodeFormat", "HardwareReferenceTimestamp",
                                      "StreamTime"};
        for (int i = 0; i < 7; ++i) {
            const QString own = QString("lbl_%1%2").arg(left ? "left" : "right", fields[i]);
            const QString other = QString("lbl_%1%2").arg(left ? "right" : "left", fields[i]);
            QCOMPARE(window.findChild<QLabel*>(own)->text(), texts[i]);
            QVERIFY(window.findChild<QLabel*>(other)->text().isEmpty());
        }
    }

    void logoIsTheProgramsPicture()
    {
        MainWindow window; // registers the resources
        const QImage logo(QStringLiteral(":/resources/duoscope-512.png"));
        QCOMPARE(logo.size(), QSize(512, 512));
        QVERIFY(logo.hasAlphaChannel());
        QCOMPARE(qAlpha(logo.pixel(0, 0)), 0);       // transparent corner
        QCOMPARE(qAlpha(logo.pixel(186, 108)), 255); // the opaque rim of the left lens
    }

    void logosFollowTheSizeOfTheirLabels()
    {
        MainWindow window;
        auto* tabs = window.findChild<QTabWidget*>("tabWidget");
        const char* const logos[] = {"lbl_duoscopeLogo", "lbl_duoscopeLogo_2", "lbl_duoscopeLogo_3"};
        auto fits = [](const QLabel* label) {
            const QSize pixmap = label->pixmap(Qt::ReturnByValue).size();
            const int side = qMin(label->width(), label->height());
            return pixmap == QSize(side, side) && side > 0;
        };
        for (int index = 0; index < 3; ++index) {
            tabs->setCurrentIndex(index);
            auto* logo = window.findChild<QLabel*>(logos[index]);
            QTRY_VERIFY2(fits(logo), logos[index]);
        }
        // A larger window gives the logos more room; they scale with it.
        auto* logo = window.findChild<QLabel*>(logos[2]);
        const int before = logo->pixmap(Qt::ReturnByValue).width();
        window.showNormal();
        window.resize(1900, 1600);
        QTRY_VERIFY(logo->pixmap(Qt::ReturnByValue).width() > before);
        QTRY_VERIFY(fits(logo));
    }
};

QTEST_MAIN(TestFrameViews)
#include "tst_frameviews.moc"
