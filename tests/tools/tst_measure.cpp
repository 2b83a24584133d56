// duoscope-measure as a crew runs it: pictures and videos of the board and
// of moving scenes written here, the program run on them, its lines, summary
// and exit status read back.

#include "common/boardscene.h"
#include "common/programrun.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace {

const cv::Size kPicture(1280, 720);

ProgramResult run(const QStringList& arguments)
{
    QProcess process;
    return runProgram(process, QStringLiteral(DUOSCOPE_MEASURE), arguments, 120000);
}

// The lines of CSV output as maps from column name to value.
QList<QMap<QString, QString>> csvRows(const QString& text)
{
    QStringList lines = text.split('\n', Qt::SkipEmptyParts);
    QList<QMap<QString, QString>> rows;
    if (lines.isEmpty())
        return rows;
    const QStringList names = lines.takeFirst().split(',');
    for (const QString& line : lines) {
        const QStringList values = line.split(',');
        QMap<QString, QString> row;
        for (int i = 0; i < names.size(); ++i)
            row[names[i]] = values.value(i);
        rows << row;
    }
    return rows;
}

cv::Mat boardPicture(double centreY, double roll = 0)
{
    BoardPose pose;
    pose.heightFraction = 0.5;
    pose.centre = {0.5, centreY};
    pose.roll = roll;
    return renderBoardScene(CalibrationBoard::standard(), kPicture, pose);
}

// A textured scene with squares wandering over it, at `frame`.
cv::Mat movingScene(int frame, cv::Size size)
{
    cv::RNG texture(11);
    cv::Mat view(size, CV_8UC3);
    texture.fill(view, cv::RNG::UNIFORM, 40, 200);
    cv::GaussianBlur(view, view, cv::Size(0, 0), 2);
    for (int i = 0; i < 3; ++i) {
        cv::Mat patch(size.height / 4, size.height / 4, CV_8UC3);
        texture.fill(patch, cv::RNG::UNIFORM, 0, 255);
        const int x = int(size.width * (0.4 + 0.3 * std::sin(0.13 * frame * (i + 1) + i)));
        const int y = int(size.height * (0.35 + 0.25 * std::cos(0.09 * frame * (i + 2))));
        patch.copyTo(view(cv::Rect(x, y, patch.cols, patch.rows)));
    }
    return view;
}

// A Motion-JPEG video of `frames` pictures made by `picture`.
template <typename Picture>
bool writeVideo(const QString& path, int frames, double rate, cv::Size size, Picture picture)
{
    cv::VideoWriter writer(path.toStdString(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), rate, size);
    if (!writer.isOpened())
        return false;
    for (int k = 0; k < frames; ++k)
        writer.write(picture(k));
    return true;
}

} // namespace

class TestMeasure : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const cv::Mat level = boardPicture(0.5);
        QVERIFY(cv::imwrite(path("left.png").toStdString(), level));
        QVERIFY(cv::imwrite(path("same.png").toStdString(), level));
        // The right camera's picture 8 px lower: outside the vertical tolerance.
        QVERIFY(cv::imwrite(path("low.png").toStdString(), boardPicture(0.5 + 8.0 / kPicture.height)));
        // Both views squeezed side by side into one picture, as a 3D camera sends them.
        cv::Mat halves[2];
        cv::resize(level, halves[0], cv::Size(kPicture.width / 2, kPicture.height), 0, 0, cv::INTER_AREA);
        cv::resize(boardPicture(0.5 + 8.0 / kPicture.height), halves[1], halves[0].size(), 0, 0,
                   cv::INTER_AREA);
        cv::Mat sideBySide;
        cv::hconcat(halves[0], halves[1], sideBySide);
        QVERIFY(cv::imwrite(path("sbs.png").toStdString(), sideBySide));
        // A scene with detail everywhere, the right camera's picture 4 px lower.
        cv::Mat texture(kPicture.height + 4, kPicture.width, CV_8UC3, cv::Scalar::all(128));
        cv::RNG shapes(17);
        for (int i = 0; i < 600; ++i) {
            const cv::Point at(shapes.uniform(0, texture.cols), shapes.uniform(0, texture.rows));
            const cv::Scalar grey = cv::Scalar::all(shapes.uniform(0, 256));
            if (i % 2)
                cv::circle(texture, at, shapes.uniform(4, 30), grey, cv::FILLED);
            else
                cv::rectangle(texture, cv::Rect(at, cv::Size(shapes.uniform(6, 50), shapes.uniform(6, 50))),
                              grey, cv::FILLED);
        }
        QVERIFY(cv::imwrite(path("scene-left.png").toStdString(),
                            texture(cv::Rect(0, 4, kPicture.width, kPicture.height))));
        QVERIFY(cv::imwrite(path("scene-low.png").toStdString(),
                            texture(cv::Rect(0, 0, kPicture.width, kPicture.height))));
        cv::Mat small;
        cv::resize(level, small, cv::Size(640, 360));
        QVERIFY(cv::imwrite(path("small.png").toStdString(), small));

        const cv::Size video(320, 180);
        auto scene = [&](int frame) { return movingScene(frame, video); };
        // The right camera 2 frames behind the left: it shows frame k - 2 at k.
        QVERIFY(writeVideo(path("left.avi"), 75, 25, video, [&](int k) { return scene(k + 2); }));
        QVERIFY(writeVideo(path("late.avi"), 75, 25, video, scene));
        QVERIFY(writeVideo(path("still.avi"), 75, 25, video, [&](int) { return scene(0); }));
        QVERIFY(writeVideo(path("rate30.avi"), 75, 30, video, scene));
        QFile garbage(path("damaged.avi"));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(4096, 'x'));
    }

    void refusesWhatItCannotMeasure_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing file")
            << QStringList{"nowhere.avi", "late.avi"} << "nowhere.avi: no such file";
        QTest::newRow("unreadable file") << QStringList{"damaged.avi", "late.avi"}
                                         << "damaged.avi: not a picture or video that this machine can read";
        QTest::newRow("shorter than the start")
            << QStringList{"left.avi", "late.avi", "--start", "10"}
            << "left.avi: the video is 3.00 s long (75 frames), shorter than the start";
        QTest::newRow("different sizes") << QStringList{"left.png", "small.png"}
                                         << "the pictures differ in size (1280 x 720 and 640 x 360)";
        QTest::newRow("different rates") << QStringList{"left.avi", "rate30.avi"}
                                         << "the videos run at different rates (25 and 30 frames/s)";
        QTest::newRow("picture and video")
            << QStringList{"left.png", "late.avi"} << "one is a picture, the other a video";
        QTest::newRow("one file without layout") << QStringList{"sbs.png"} << "--layout side-by-side";
        QTest::newRow("unknown layout") << QStringList{"sbs.png", "--layout", "diagonal"}
                                        << "--layout diagonal: give side-by-side or under-over";
        QTest::newRow("no number") << QStringList{"left.avi", "late.avi", "--every", "x"}
                                   << "--every x: give a number from 1 to 100000";
        QTest::newRow("output into a missing folder")
            << QStringList{"left.png", "same.png", "--output", "missing/lines.csv"}
            << "its folder does not exist";
        QTest::newRow("picture with a start")
            << QStringList{"left.png", "same.png", "--start", "1"} << "a picture has no time";
    }

    void refusesWhatItCannotMeasure()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        for (QString& argument : arguments)
            if (argument.endsWith(".avi") || argument.endsWith(".png") || argument.endsWith(".csv"))
                argument = path(argument);
        const ProgramResult result = run(arguments);
        QCOMPARE(result.exitCode, 2);
        // One line that says who speaks, the file and the reason. (OpenCV's
        // GStreamer reader may add a line of its own when it gives up on a file.)
        const QStringList lines = result.err.split('\n', Qt::SkipEmptyParts);
        const auto said = std::find_if(lines.begin(), lines.end(), [](const QString& line) {
            return line.startsWith("duoscope-measure: ");
        });
        QVERIFY2(said != lines.end() && said->contains(message), qPrintable(result.err));
    }

    void readsTheBoard_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<double>("verticalPixels");
        QTest::newRow("level pictures") << QStringList{"left.png", "same.png"} << 0 << 0.0;
        QTest::newRow("right picture 8 px low") << QStringList{"left.png", "low.png"} << 1 << 8.0;
        QTest::newRow("side by side, squeezed halves")
            << QStringList{"sbs.png", "--layout", "side-by-side"} << 1 << 8.0;
        // Both pictures mirrored alike: the board still lies 8 px lower on the right.
        QTest::newRow("both flipped left to right")
            << QStringList{"left.png", "low.png", "--left-flip-h", "--right-flip-h"} << 1 << 8.0;
        // Only the right one turned over: its board now lies 8 px higher.
        QTest::newRow("right turned over, left flipped top to bottom")
            << QStringList{"left.png", "low.png", "--left-flip-v", "--right-flip-v"} << 1 << -8.0;
    }

    void readsTheBoard()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(double, verticalPixels);
        for (QString& argument : arguments)
            if (argument.endsWith(".png"))
                argument = path(argument);
        const ProgramResult result = run(arguments << "-q");
        QCOMPARE(result.exitCode, exitCode);
        const auto rows = csvRows(result.out);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0]["frame"], QStringLiteral("0"));
        QCOMPARE(rows[0]["time"], QString());
        QCOMPARE(rows[0]["board_found"], QStringLiteral("1"));
        QVERIFY2(std::abs(rows[0]["board_vertical_px"].toDouble() - verticalPixels) < 0.5,
                 qPrintable(rows[0]["board_vertical_px"]));
        QVERIFY(std::abs(rows[0]["board_roll_deg"].toDouble()) < 0.1);
        QCOMPARE(rows[0]["sync_offset_frames"], QString()); // pictures: not measured
        QVERIFY(result.err.contains("board_vertical_px"));
        QVERIFY(result.err.contains(exitCode == 0 ? "Every measured frame is within tolerance"
                                                  : "1 of 1 frames outside tolerance"));
    }

    void readsTheScene()
    {
        const ProgramResult result = run({path("scene-left.png"), path("scene-low.png"), "-q"});
        const auto rows = csvRows(result.out);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0]["board_found"], QStringLiteral("0"));
        QCOMPARE(rows[0]["board_vertical_px"], QString());
        QCOMPARE(rows[0]["scene_reason"], QString());
        QVERIFY2(std::abs(rows[0]["scene_vertical_px"].toDouble() - 4.0) < 0.5,
                 qPrintable(rows[0]["scene_vertical_px"]));
        QVERIFY(std::abs(rows[0]["scene_roll_deg"].toDouble()) < 0.1);
        QVERIFY(rows[0]["scene_inliers"].toInt() > 20);
        // 4 px is outside the vertical tolerance of 0.5 px.
        QCOMPARE(result.exitCode, 1);
    }

    // Without the scene its columns are not measured: empty in CSV, null in
    // JSON, and its 4 px no longer count against the tolerance.
    void leavesOutTheScene_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("csv") << "csv";
        QTest::newRow("json") << "json";
    }

    void leavesOutTheScene()
    {
        QFETCH(QString, format);
        const ProgramResult result =
            run({path("scene-left.png"), path("scene-low.png"), "--no-scene", "--format", format, "-q"});
        QCOMPARE(result.exitCode, 0);
        const QStringList scene{"scene_vertical_px",     "scene_roll_deg",         "scene_size_pct",
                                "scene_keystone_pan_px", "scene_keystone_tilt_px", "scene_inliers",
                                "scene_reason"};
        if (format == "csv") {
            const auto rows = csvRows(result.out);
            QCOMPARE(rows.size(), 1);
            for (const QString& column : scene) {
                QVERIFY2(rows[0].contains(column), qPrintable(column));
                QCOMPARE(rows[0][column], QString());
            }
            QCOMPARE(rows[0]["board_found"], QStringLiteral("0"));
            return;
        }
        const QJsonObject line = QJsonDocument::fromJson(result.out.trimmed().toUtf8()).object();
        for (const QString& column : scene) {
            QVERIFY2(line.contains(column), qPrintable(column));
            QVERIFY2(line[column].isNull(), qPrintable(column));
        }
        QCOMPARE(line["board_found"], QJsonValue(false));
    }

    void measuresTheCamerasOffset_data()
    {
        QTest::addColumn<QString>("right");
        QTest::addColumn<QString>("offset");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("right 2 frames late") << "late.avi"
                                             << "2"
                                             << "" << 1;
        QTest::newRow("in step") << "left.avi"
                                 << "0"
                                 << "" << 0;
        QTest::newRow("still scene") << "still.avi"
                                     << ""
                                     << "unknown: the scene is still" << 0;
    }

    void measuresTheCamerasOffset()
    {
        QFETCH(QString, right);
        QFETCH(QString, offset);
        QFETCH(QString, reason);
        QFETCH(int, exitCode);
        const QString left = right == "still.avi" ? "still.avi" : "left.avi";
        const ProgramResult result =
            run({path(left), path(right), "--every", "10", "--format", "json", "-q"});
        QCOMPARE(result.exitCode, exitCode);
        const QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 8); // frames 0, 10, ... 70
        const QJsonObject first = QJsonDocument::fromJson(lines.first().toUtf8()).object();
        QCOMPARE(first["sync_reason"].toString(), "unknown: too few frames yet");
        QVERIFY(first["sync_offset_frames"].isNull());
        const QJsonObject last = QJsonDocument::fromJson(lines.last().toUtf8()).object();
        QCOMPARE(last["frame"].toInt(), 70);
        QCOMPARE(last["time"].toDouble(), 2.8);
        QCOMPARE(last["sync_offset_frames"].isNull() ? QString()
                                                     : QString::number(last["sync_offset_frames"].toInt()),
                 offset);
        QCOMPARE(last["sync_reason"].isNull() ? QString() : last["sync_reason"].toString(), reason);
        QVERIFY(last["board_found"].isBool());
        QVERIFY(last["board_vertical_px"].isNull());
    }

    void cutsTheRange_data()
    {
        QTest::addColumn<QStringList>("range");
        QTest::addColumn<QStringList>("frames");
        QTest::newRow("every 20th") << QStringList{"--every", "20"} << QStringList{"0", "20", "40", "60"};
        QTest::newRow("from 2 s") << QStringList{"--start", "2", "--every", "5"}
                                  << QStringList{"50", "55", "60", "65", "70"};
        QTest::newRow("1 s from 1 s") << QStringList{"--start", "1", "--duration", "1", "--every", "10"}
                                      << QStringList{"25", "35", "45"};
    }

    void cutsTheRange()
    {
        QFETCH(QStringList, range);
        QFETCH(QStringList, frames);
        const QString output = path("range.csv");
        const ProgramResult result =
            run(QStringList{path("still.avi"), path("still.avi"), "-q", "--output", output} + range);
        QCOMPARE(result.exitCode, 0);
        QVERIFY(result.out.isEmpty()); // the lines went to the file
        QFile file(output);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList got;
        for (const auto& row : csvRows(QString::fromUtf8(file.readAll())))
            got << row["frame"];
        QCOMPARE(got, frames);
    }

    void anInterruptedRunKeepsWhatItMeasured()
    {
        // A long run: 600 frames, every one measured.
        const cv::Size size(640, 360);
        QVERIFY(writeVideo(path("long.avi"), 600, 25, size, [&](int k) { return movingScene(k, size); }));
        const QString output = path("interrupted.csv");
        QProcess process;
        process.start(QStringLiteral(DUOSCOPE_MEASURE),
                      {path("long.avi"), "--layout", "side-by-side", "--output", output, "--summary",
                       path("summary.txt")});
        // Progress lines come once the run has taken a second.
        process.setReadChannel(QProcess::StandardError);
        bool progress = false;
        while (!progress && process.waitForReadyRead(60000))
            progress = process.readAll().contains("frames/s");
        QVERIFY(progress);
        process.terminate();
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 130);
        QFile file(output);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto rows = csvRows(QString::fromUtf8(file.readAll()));
        QVERIFY(!rows.isEmpty());
        QVERIFY(rows.size() < 600);
        QCOMPARE(rows.last()["frame"].toInt(), rows.size() - 1);
        QFile summary(path("summary.txt"));
        QVERIFY(summary.open(QIODevice::ReadOnly));
        QVERIFY(summary.readAll().contains("interrupted before the end"));
    }

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

QTEST_MAIN(TestMeasure)
#include "tst_measure.moc"
