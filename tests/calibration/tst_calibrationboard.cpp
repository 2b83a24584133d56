// The printable board: a layout the detector can take apart, drawn with
// true sub-pixel geometry, and the program that writes it for printing.

#include "board/calibrationboard.h"
#include "calibration/tesra_board_detector.h"
#include "common/boardscene.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

// Distance between two convex polygons that do not overlap (corner to edge).
double polygonDistance(const std::array<cv::Point2d, 4>& a, const std::array<cv::Point2d, 4>& b)
{
    const auto pointToSegment = [](cv::Point2d p, cv::Point2d s, cv::Point2d e) {
        const cv::Point2d d = e - s;
        const double t = std::clamp((p - s).dot(d) / d.dot(d), 0.0, 1.0);
        return cv::norm(p - (s + d * t));
    };
    double best = 1e30;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            best = std::min(best, pointToSegment(a[i], b[j], b[(j + 1) % 4]));
            best = std::min(best, pointToSegment(b[j], a[i], a[(i + 1) % 4]));
        }
    return best;
}

} // namespace

class TestCalibrationBoard : public QObject
{
    Q_OBJECT
private slots:
    void layoutSuitsTheDetector()
    {
        const CalibrationBoard board = CalibrationBoard::standard();
        const double s = board.squareSize();
        const auto squares = board.squares();
        const auto contacts = board.contactPoints();
        QVERIFY(contacts.size() >= 20);
        QCOMPARE(squares.size(), 2 * contacts.size()); // at least 30 squares of one size
        const cv::Rect2d card(0, 0, board.size().width, board.size().height);

        for (size_t i = 0; i < squares.size(); ++i) {
            for (int k = 0; k < 4; ++k) {
                QCOMPARE(cv::norm(squares[i][k] - squares[i][(k + 1) % 4]), s);
                const cv::Point2d c = squares[i][k];
                QVERIFY2(c.x > 0.3 * s && c.y > 0.3 * s && c.x < card.width - 0.3 * s &&
                             c.y < card.height - 0.3 * s,
                         "squares keep a white margin on the card");
            }
            for (size_t j = i + 1; j < squares.size(); ++j) {
                const double gap = polygonDistance(squares[i], squares[j]);
                if (j == i + 1 && i % 2 == 0) {
                    // The two squares of a pair: a hairline apart, their contact in the middle.
                    QVERIFY(gap > 0.0 && gap < 0.05 * s);
                    cv::Point2d centres(0, 0);
                    for (int k = 0; k < 4; ++k)
                        centres += (squares[i][k] + squares[j][k]) / 8.0;
                    QVERIFY(cv::norm(centres - contacts[i / 2]) < 1e-9);
                } else {
                    QVERIFY2(gap > 0.4 * s, "pairs keep apart, beyond any link distance");
                }
            }
        }
    }

    // Every contact point lies on one outline; the outlines are nested with
    // room to spare for the 10-pixel removal band.
    void contactPointsOutlineThreeNestedRectangles()
    {
        const CalibrationBoard board = CalibrationBoard::standard();
        const double s = board.squareSize();
        const auto rectangles = board.rectangleCorners();
        QCOMPARE(rectangles.size(), size_t(3));
        const std::vector<cv::Point2d> contacts = board.contactPoints();
        int onOutline[3] = {0, 0, 0};
        for (const cv::Point2d& c : contacts) {
            int outlines = 0;
            for (int r = 0; r < 3; ++r) {
                const auto& k = rectangles[r];
                const bool onEdge = ((std::fabs(c.y - k[0].y) < 1e-9 || std::fabs(c.y - k[2].y) < 1e-9) &&
                                     c.x >= k[0].x - 1e-9 && c.x <= k[1].x + 1e-9) ||
                                    ((std::fabs(c.x - k[0].x) < 1e-9 || std::fabs(c.x - k[1].x) < 1e-9) &&
                                     c.y >= k[0].y - 1e-9 && c.y <= k[2].y + 1e-9);
                if (onEdge) {
                    ++outlines;
                    ++onOutline[r];
                }
            }
            QCOMPARE(outlines, 1);
        }
        for (int r = 0; r < 3; ++r) {
            QVERIFY(onOutline[r] >= 4);
            for (const cv::Point2d& corner : rectangles[r]) // every corner is a contact point
                QVERIFY(std::any_of(contacts.begin(), contacts.end(),
                                    [&](const cv::Point2d& c) { return cv::norm(c - corner) < 1e-9; }));
            if (r > 0) {
                QVERIFY(rectangles[r][0].x - rectangles[r - 1][0].x >= 1.2 * s);
                QVERIFY(rectangles[r][0].y - rectangles[r - 1][0].y >= 1.2 * s);
                QVERIFY(rectangles[r - 1][2].x - rectangles[r][2].x >= 1.2 * s);
                QVERIFY(rectangles[r - 1][2].y - rectangles[r][2].y >= 1.2 * s);
            }
            // Listed TL, TR, BR, BL.
            QVERIFY(rectangles[r][0].x < rectangles[r][1].x && rectangles[r][1].y < rectangles[r][2].y);
            QVERIFY(rectangles[r][3].x < rectangles[r][2].x && rectangles[r][0].y < rectangles[r][3].y);
        }
    }

    // Exact coverage: the ink in the picture equals the squares' area, and
    // pixels off the card keep their value.
    void renderingCoversTrueAreas_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("scale");
        QTest::addColumn<double>("offset");
        QTest::newRow("grey, whole pixels") << 1 << 2.0 << 40.0;
        QTest::newRow("colour, fractional scale and offset") << 3 << 1.37 << 40.3;
    }
    void renderingCoversTrueAreas()
    {
        QFETCH(int, channels);
        QFETCH(double, scale);
        QFETCH(double, offset);
        const CalibrationBoard board(20.0);
        cv::Mat picture(cv::Size(cvCeil(board.size().width * scale + 2 * offset),
                                 cvCeil(board.size().height * scale + 2 * offset)),
                        CV_8UC(channels), cv::Scalar::all(77));
        const cv::Matx33d toImage(scale, 0, offset, 0, scale, offset, 0, 0, 1);
        board.render(picture, toImage, 255.0, 0.0);

        cv::Mat grey;
        if (channels == 3)
            cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
        else
            grey = picture;
        QCOMPARE(int(grey.at<uchar>(0, 0)), 77);
        QCOMPARE(int(grey.at<uchar>(grey.rows - 1, grey.cols - 1)), 77);
        QCOMPARE(int(grey.at<uchar>(cvRound(offset + 2), cvRound(offset + 2))), 255);

        // Ink inside the card: (255 - value) / 255 summed over the card.
        const cv::Rect cardPixels(cvFloor(offset) + 1, cvFloor(offset) + 1,
                                  cvFloor(board.size().width * scale) - 2,
                                  cvFloor(board.size().height * scale) - 2);
        cv::Mat ink;
        grey(cardPixels).convertTo(ink, CV_64F, -1.0 / 255.0, 1.0);
        const double inkArea = cv::sum(ink)[0];
        const double squaresArea = board.squares().size() * std::pow(board.squareSize() * scale, 2);
        QVERIFY2(std::fabs(inkArea - squaresArea) < 0.002 * squaresArea,
                 qPrintable(QStringLiteral("%1 against %2").arg(inkArea).arg(squaresArea)));
    }

    void writesPrintableFilesThatAreDetected_data()
    {
        QTest::addColumn<QString>("paper");
        QTest::addColumn<QString>("caption");
        QTest::newRow("A4") << "A4"
                            << "squares 16 mm";
        QTest::newRow("A3") << "A3"
                            << "squares 22 mm";
        QTest::newRow("A2") << "A2"
                            << "squares 32 mm";
    }
    void writesPrintableFilesThatAreDetected()
    {
        QFETCH(QString, paper);
        QFETCH(QString, caption);
        QTemporaryDir dir;
        QProcess tool;
        tool.start(QStringLiteral(DUOSCOPE_BOARD_TOOL),
                   {QStringLiteral("--paper"), paper, QStringLiteral("--output"), dir.path(),
                    QStringLiteral("--dpi"), QStringLiteral("150")});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        QVERIFY(QString::fromUtf8(tool.readAllStandardOutput()).contains(caption));

        QFile pdf(dir.filePath(QStringLiteral("duoscope-board-%1.pdf").arg(paper)));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");
        QVERIFY(pdf.size() > 2000);

        const cv::Mat sheet = cv::imread(
            dir.filePath(QStringLiteral("duoscope-board-%1.png").arg(paper)).toStdString(), cv::IMREAD_COLOR);
        QVERIFY(!sheet.empty());
        QVERIFY(sheet.cols > sheet.rows); // landscape
        // The sheet filmed head-on, filling the height of a 1920 x 1080 frame.
        const double fit = std::min(1920.0 / sheet.cols, 1080.0 / sheet.rows);
        cv::Mat scaled;
        cv::resize(sheet, scaled, cv::Size(), fit, fit, cv::INTER_AREA);
        cv::Mat frame(1080, 1920, CV_8UC3, cv::Scalar::all(90));
        scaled.copyTo(
            frame(cv::Rect((1920 - scaled.cols) / 2, (1080 - scaled.rows) / 2, scaled.cols, scaled.rows)));
        std::vector<DetectedRectangle> rectangles;
        QVERIFY(findTesraBoard(frame, rectangles));
    }

    void badArgumentsAreRefusedClearly_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown paper") << QStringList{"--paper", "A5"} << "unknown paper size 'A5'";
        QTest::newRow("unknown option") << QStringList{"--colour"} << "Unknown option 'colour'";
        QTest::newRow("bad resolution") << QStringList{"--dpi", "many"} << "--dpi must be a whole number";
        QTest::newRow("missing directory")
            << QStringList{"--output", "/nonexistent/boards"} << "does not exist";
        QTest::newRow("stray argument") << QStringList{"board.pdf"} << "unexpected argument 'board.pdf'";
    }
    void badArgumentsAreRefusedClearly()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QProcess tool;
        tool.setWorkingDirectory(dir.path());
        tool.start(QStringLiteral(DUOSCOPE_BOARD_TOOL), arguments);
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 2);
        QVERIFY(QString::fromUtf8(tool.readAllStandardError()).contains(message));
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    }

    void helpDescribesTheOptions()
    {
        QProcess tool;
        tool.start(QStringLiteral(DUOSCOPE_BOARD_TOOL), {QStringLiteral("--help")});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        const QString help = QString::fromUtf8(tool.readAllStandardOutput());
        QVERIFY(help.contains("--paper") && help.contains("--output") && help.contains("A4, A3 or A2"));
    }
};

QTEST_GUILESS_MAIN(TestCalibrationBoard)
#include "tst_calibrationboard.moc"
