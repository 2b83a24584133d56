// duoscope-measure: the calibrator's analyses run on recorded footage,
// without a window. One line per measured frame (CSV or JSON lines), a
// summary at the end, and an exit status a script can test: 0 when every
// measured frame is within tolerance, 1 when some are not, 2 for a usage or
// input error, 130 when interrupted (what was measured so far is written).

#include "app/filewrite.h"
#include "footage.h"
#include "measurecolumns.h"
#include "measurerun.h"
#include "measuresummary.h"
#include "pipeline/heapsettings.h"
#include "version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <opencv2/core/utils/logger.hpp>
#include <unistd.h>

namespace {

constexpr int kWithinTolerance = 0;
constexpr int kOutsideTolerance = 1;
constexpr int kUsageOrInputError = 2;
constexpr int kInterrupted = 130; // 128 + SIGINT, as shells report it

std::atomic<bool> stopRequested{false};

void requestStop(int)
{
    stopRequested = true;
    // A second Ctrl+C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
}

int fail(const QString& message)
{
    QTextStream(stderr) << "duoscope-measure: " << message << "\n";
    return kUsageOrInputError;
}

struct Options
{
    FootageSettings footage;
    MeasureSettings measure;
    bool json = false;
    int every = 1;
    double durationSeconds = 0; // 0: to the end
    QString output;
    QString summary;
    bool quiet = false;
};

// The value of a numeric option, within [low, high]; false with a message.
bool numberOption(const QCommandLineParser& parser, const QString& name, double low, double high,
                  double& value, QString* error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const double parsed = parser.value(name).toDouble(&ok);
    if (!ok || !(parsed >= low && parsed <= high)) {
        *error = QStringLiteral("--%1 %2: give a number from %3 to %4")
                     .arg(name, parser.value(name))
                     .arg(low)
                     .arg(high);
        return false;
    }
    value = parsed;
    return true;
}

bool integerOption(const QCommandLineParser& parser, const QString& name, int low, int high, int& value,
                   QString* error)
{
    double parsed = value;
    if (!numberOption(parser, name, low, high, parsed, error))
        return false;
    if (parsed != std::floor(parsed)) {
        *error = QStringLiteral("--%1 %2: give a whole number").arg(name, parser.value(name));
        return false;
    }
    value = int(parsed);
    return true;
}

FrameTransform transformOptions(const QCommandLineParser& parser, const QString& camera)
{
    FrameTransform t;
    t.rotateLeft = parser.isSet(camera + "-rotate-left");
    t.rotateRight = parser.isSet(camera + "-rotate-right");
    t.rotate180 = parser.isSet(camera + "-rotate-180");
    t.flipHorizontal = parser.isSet(camera + "-flip-h");
    t.flipVertical = parser.isSet(camera + "-flip-v");
    return t;
}

void addOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Measures recorded stereo footage with the calibrator's own analyses: the calibration board's "
        "alignment readings, the depth budget and, for two video files, the cameras' time offset. One line "
        "per measured frame on standard output (or --output), a summary on standard error (or --summary). "
        "Exit status: 0 every measured frame within tolerance, 1 some outside, 2 usage or input error, "
        "130 interrupted."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("left"),
                                 QStringLiteral("The left camera's picture or video, or the one file that "
                                                "carries both views (with --layout)."));
    parser.addPositionalArgument(QStringLiteral("right"),
                                 QStringLiteral("The right camera's picture or video."),
                                 QStringLiteral("[right]"));
    const QList<QCommandLineOption> options{
        {QStringLiteral("layout"),
         QStringLiteral("One file carrying both views: side-by-side or under-over."),
         QStringLiteral("layout")},
        {QStringLiteral("no-full-size-halves"),
         QStringLiteral("The halves are full-size pictures next to each other; do not scale squeezed halves "
                        "back to the full picture.")},
        {QStringLiteral("format"), QStringLiteral("csv (default, a header line first) or json (JSON lines)."),
         QStringLiteral("format"), QStringLiteral("csv")},
        {QStringLiteral("every"), QStringLiteral("Measure every Nth frame (default 1)."),
         QStringLiteral("N")},
        {QStringLiteral("start"), QStringLiteral("Start this many seconds into the video(s)."),
         QStringLiteral("seconds")},
        {QStringLiteral("duration"), QStringLiteral("Measure this many seconds from the start."),
         QStringLiteral("seconds")},
        {QStringList{QStringLiteral("o"), QStringLiteral("output")},
         QStringLiteral("Write the lines to this file, which appears whole or not at all."),
         QStringLiteral("file")},
        {QStringLiteral("summary"),
         QStringLiteral("Write the summary to this file instead of standard error."), QStringLiteral("file")},
        {QStringLiteral("screen-width"),
         QStringLiteral("Width of the target screen the divergence is judged on, metres (default 12)."),
         QStringLiteral("metres")},
        {QStringLiteral("eye-separation"), QStringLiteral("The viewer's eye separation, mm (default 65)."),
         QStringLiteral("mm")},
        {QStringLiteral("min-disparity"), QStringLiteral("Smallest disparity searched, px (default -64)."),
         QStringLiteral("px")},
        {QStringLiteral("max-disparity"), QStringLiteral("Largest disparity searched, px (default 64)."),
         QStringLiteral("px")},
        {QStringLiteral("block-size"), QStringLiteral("Matcher block size, odd, 1 to 31 (default 11)."),
         QStringLiteral("px")},
        {QStringLiteral("no-scene"),
         QStringLiteral("Leave out the readings from the scene, for a run about a quarter quicker; their "
                        "columns stay empty.")},
        {QStringList{QStringLiteral("q"), QStringLiteral("quiet")}, QStringLiteral("No progress lines.")},
    };
    parser.addOptions(options);
    for (const QString& camera : {QStringLiteral("left"), QStringLiteral("right")}) {
        parser.addOption({camera + "-rotate-left", QStringLiteral("Turn the %1 picture left.").arg(camera)});
        parser.addOption(
            {camera + "-rotate-right", QStringLiteral("Turn the %1 picture right.").arg(camera)});
        parser.addOption({camera + "-rotate-180", QStringLiteral("Turn the %1 picture over.").arg(camera)});
        parser.addOption(
            {camera + "-flip-h", QStringLiteral("Mirror the %1 picture left to right.").arg(camera)});
        parser.addOption(
            {camera + "-flip-v", QStringLiteral("Mirror the %1 picture top to bottom.").arg(camera)});
    }
}

bool readOptions(const QCommandLineParser& parser, Options& o, QString* error)
{
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty() || files.size() > 2) {
        *error = QStringLiteral("give the left and right files, or one file with --layout (see --help)");
        return false;
    }
    o.footage.leftPath = files.at(0);
    o.footage.rightPath = files.value(1);
    PreprocessingSettings& layout = o.footage.layout;
    layout.inputMode = InputDouble;
    if (parser.isSet("layout")) {
        const QString name = parser.value("layout");
        if (name == QLatin1String("side-by-side"))
            layout.inputMode = InputSideBySide;
        else if (name == QLatin1String("under-over"))
            layout.inputMode = InputUnderOver;
        else {
            *error = QStringLiteral("--layout %1: give side-by-side or under-over").arg(name);
            return false;
        }
        if (files.size() == 2) {
            *error = QStringLiteral("--layout is for one file that carries both views, not for two files");
            return false;
        }
    } else if (files.size() == 1) {
        *error = QStringLiteral("one file: say how it carries both views with --layout side-by-side or "
                                "--layout under-over, or give the right camera's file too");
        return false;
    }
    layout.fullSizeHalves = !parser.isSet("no-full-size-halves");
    layout.left = transformOptions(parser, QStringLiteral("left"));
    layout.right = transformOptions(parser, QStringLiteral("right"));

    const QString format = parser.value("format");
    if (format != QLatin1String("csv") && format != QLatin1String("json")) {
        *error = QStringLiteral("--format %1: give csv or json").arg(format);
        return false;
    }
    o.json = format == QLatin1String("json");
    const double day = 24 * 3600.0;
    MeasureSettings& m = o.measure;
    if (!integerOption(parser, "every", 1, 100000, o.every, error) ||
        !numberOption(parser, "start", 0, 100 * day, o.footage.startSeconds, error) ||
        !numberOption(parser, "duration", 0, 100 * day, o.durationSeconds, error) ||
        !numberOption(parser, "screen-width", 0.1, 100, m.screenWidthMetres, error) ||
        !numberOption(parser, "eye-separation", 40, 90, m.eyeSeparationMm, error) ||
        !integerOption(parser, "min-disparity", -256, 256, m.minDisparity, error) ||
        !integerOption(parser, "max-disparity", -256, 256, m.maxDisparity, error) ||
        !integerOption(parser, "block-size", 1, 31, m.blockSize, error))
        return false;
    if (m.blockSize % 2 == 0 || (m.maxDisparity - m.minDisparity) % 16 != 0 ||
        m.maxDisparity <= m.minDisparity) {
        *error = QStringLiteral("the block size must be odd and the disparity range (--max-disparity less "
                                "--min-disparity) a positive multiple of 16");
        return false;
    }
    if (parser.isSet("duration") && !(o.durationSeconds > 0)) {
        *error = QStringLiteral("--duration must be longer than 0 s");
        return false;
    }
    o.output = parser.value("output");
    o.summary = parser.value("summary");
    // Checked before the run, which may take hours, not after it.
    for (const QString& file : {o.output, o.summary}) {
        const QFileInfo folder(QFileInfo(file).absolutePath());
        if (!file.isEmpty() && !(folder.isDir() && folder.isWritable())) {
            *error = QStringLiteral("%1: cannot write there: %2")
                         .arg(file, folder.isDir() ? QStringLiteral("no permission to write in its folder")
                                                   : QStringLiteral("its folder does not exist"));
            return false;
        }
    }
    m.scene = !parser.isSet("no-scene");
    o.quiet = parser.isSet("quiet");
    return true;
}

// "frame 250 of 1500 (17 %), 31.2 frames/s, 40 s left", every second once
// the run has taken a second.
class Progress
{
public:
    Progress(bool quiet, qint64 total) : quiet(quiet), total(total), terminal(::isatty(STDERR_FILENO) == 1)
    {
        clock.start();
    }

    void frameDone(qint64 done)
    {
        if (quiet || clock.elapsed() < nextReport)
            return;
        nextReport = clock.elapsed() + 1000;
        const double rate = done / (clock.elapsed() / 1000.0);
        QString line = QStringLiteral("frame %1").arg(done);
        if (total > 0)
            line += QStringLiteral(" of %1 (%2 %)").arg(total).arg(100 * done / total);
        line += QStringLiteral(", %1 frames/s").arg(rate, 0, 'f', 1);
        if (total > 0 && rate > 0)
            line += QStringLiteral(", %1 s left").arg(std::lround(std::max<qint64>(0, total - done) / rate));
        QTextStream(stderr) << line << (terminal ? "\x1b[K\r" : "\n");
        shown = true;
    }

    void finish()
    {
        if (shown && terminal)
            QTextStream(stderr) << "\x1b[K";
    }

private:
    bool quiet;
    qint64 total;
    bool terminal;
    bool shown = false;
    QElapsedTimer clock;
    qint64 nextReport = 1000;
};

} // namespace

int main(int argc, char* argv[])
{
    keepPicturesInHeap();
    QCoreApplication app(argc, argv);
    // OpenCV's readers report what they try and give up on: the message
    // below names the file and the reason once.
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    QCoreApplication::setApplicationName(QStringLiteral("duoscope-measure"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kDuoscopeVersion));
    QCommandLineParser parser;
    addOptions(parser);
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText() + QStringLiteral(" (see --help)"));
    if (parser.isSet("help"))
        parser.showHelp(0);
    if (parser.isSet("version"))
        parser.showVersion();

    Options options;
    QString error;
    if (!readOptions(parser, options, &error))
        return fail(error);
    Footage footage;
    if (!footage.open(options.footage, &error))
        return fail(error);

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);

    RunSettings run;
    run.measure = options.measure;
    run.every = options.every;
    qint64 toRead = footage.framesLeft();
    if (options.durationSeconds > 0) {
        run.maxFrames = std::llround(options.durationSeconds * footage.framesPerSecond());
        toRead = toRead > 0 ? std::min(toRead, run.maxFrames) : run.maxFrames;
    }
    QFile standardOutput;
    standardOutput.open(stdout, QIODevice::WriteOnly);
    QByteArray lines;
    auto emitLine = [&](const QByteArray& line) {
        if (options.output.isEmpty()) {
            standardOutput.write(line);
            standardOutput.flush();
        } else {
            lines += line;
        }
    };
    if (!options.json)
        emitLine(csvHeader());

    MeasureSummary summary;
    Progress progress(options.quiet, toRead);
    measureFootage(
        footage, run,
        [&](const FrameMeasurement& m) {
            emitLine(options.json ? jsonLine(m) : csvLine(m));
            summary.add(m);
        },
        [&](qint64 read) {
            progress.frameDone(read);
            return !stopRequested;
        });
    progress.finish();
    const bool interrupted = stopRequested;

    int status = summary.framesOutside() > 0 ? kOutsideTolerance : kWithinTolerance;
    if (!options.output.isEmpty() && !writeFileAtomically(options.output, lines, &error))
        status = fail(QStringLiteral("%1: cannot write the lines: %2").arg(options.output, error));
    const QString summaryText = summary.text(interrupted);
    if (options.summary.isEmpty())
        QTextStream(stderr) << summaryText;
    else if (!writeFileAtomically(options.summary, summaryText.toUtf8(), &error))
        status = fail(QStringLiteral("%1: cannot write the summary: %2").arg(options.summary, error));
    if (summary.frames() == 0 && status != kUsageOrInputError)
        status =
            fail(QStringLiteral("%1: no frame to measure in the range given").arg(options.footage.leftPath));
    if (interrupted && status != kUsageOrInputError)
        return kInterrupted;
    return status;
}
