// duoscope-board: writes the calibration board for printing, as a vector PDF
// and as a PNG, on A4, A3 or A2 paper (landscape), with a caption that gives
// the paper and the square size.

#include "board/calibrationboard.h"
#include "version.h"

#include <QCommandLineParser>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPolygonF>
#include <QTextStream>

#include <cstdio>

namespace {

struct Paper
{
    QString name;
    QPageSize::PageSizeId id;
    QSizeF size;       // landscape, millimetres
    double squareSize; // millimetres
};

// Square sizes chosen so that the card fills most of the sheet and leaves room for the caption.
const Paper kPapers[] = {
    {QStringLiteral("A4"), QPageSize::A4, QSizeF(297, 210), 16.0},
    {QStringLiteral("A3"), QPageSize::A3, QSizeF(420, 297), 22.0},
    {QStringLiteral("A2"), QPageSize::A2, QSizeF(594, 420), 32.0},
};

QString caption(const Paper& paper)
{
    return QStringLiteral("Duoscope calibration board  -  %1 landscape  -  squares %2 mm  -  print at 100 %, "
                          "do not fit to page")
        .arg(paper.name)
        .arg(paper.squareSize, 0, 'g', 3);
}

// Paints the sheet with `scale` device units per millimetre.
void paintSheet(QPainter& painter, const Paper& paper, double scale)
{
    const CalibrationBoard board(paper.squareSize);
    const cv::Size2d card = board.size();
    const double captionBand = 20.0;
    const QPointF origin((paper.size.width() - card.width) / 2,
                         (paper.size.height() - captionBand - card.height) / 2);

    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRectF(0, 0, paper.size.width() * scale, paper.size.height() * scale), Qt::white);

    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    for (const std::array<cv::Point2d, 4>& square : board.squares()) {
        QPolygonF polygon;
        for (const cv::Point2d& corner : square)
            polygon << (origin + QPointF(corner.x, corner.y)) * scale;
        painter.drawPolygon(polygon);
    }

    // Crop marks just outside the card's corners, for cutting it out and mounting it.
    QPen markPen(QColor(140, 140, 140));
    markPen.setWidthF(0.3 * scale);
    painter.setPen(markPen);
    const double gap = 2.0, length = 4.0;
    for (double x : {0.0, card.width})
        for (double y : {0.0, card.height}) {
            const QPointF corner = origin + QPointF(x, y);
            const double sx = x == 0.0 ? -1 : 1, sy = y == 0.0 ? -1 : 1;
            painter.drawLine((corner + QPointF(sx * gap, 0)) * scale,
                             (corner + QPointF(sx * (gap + length), 0)) * scale);
            painter.drawLine((corner + QPointF(0, sy * gap)) * scale,
                             (corner + QPointF(0, sy * (gap + length))) * scale);
        }

    QFont font(QStringLiteral("Sans"));
    font.setPixelSize(std::max(1, int(4.0 * scale)));
    painter.setFont(font);
    painter.setPen(QColor(60, 60, 60));
    const QRectF captionArea(0, (origin.y() + card.height + 4.0) * scale, paper.size.width() * scale,
                             8.0 * scale);
    painter.drawText(captionArea, Qt::AlignHCenter | Qt::AlignTop, caption(paper));
}

bool writePdf(const Paper& paper, const QString& path)
{
    QPdfWriter writer(path);
    writer.setCreator(QStringLiteral("duoscope-board"));
    writer.setTitle(caption(paper));
    writer.setResolution(1200);
    writer.setPageSize(QPageSize(paper.id));
    writer.setPageOrientation(QPageLayout::Landscape);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    paintSheet(painter, paper, writer.resolution() / 25.4);
    return painter.end();
}

bool writePng(const Paper& paper, const QString& path, int dpi)
{
    const double scale = dpi / 25.4;
    QImage image(qRound(paper.size.width() * scale), qRound(paper.size.height() * scale),
                 QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    {
        QPainter painter(&image);
        paintSheet(painter, paper, scale);
    }
    return image.convertToFormat(QImage::Format_Grayscale8).save(path, "PNG");
}

int fail(const QString& message)
{
    QTextStream(stderr) << "duoscope-board: " << message << "\n";
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    // Drawing needs no screen: run without one unless told otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("duoscope-board"));
    QGuiApplication::setApplicationVersion(QString::fromLatin1(kDuoscopeVersion));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes the Duoscope calibration board for printing: duoscope-board-<paper>.pdf (vector) "
        "and duoscope-board-<paper>.png, landscape, with a caption giving the paper and the square "
        "size. Print at 100 % scale."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption paperOption(QStringList{QStringLiteral("p"), QStringLiteral("paper")},
                                         QStringLiteral("Paper size: A4, A3 or A2 (default: all three)."),
                                         QStringLiteral("size"));
    const QCommandLineOption outputOption(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                          QStringLiteral("Directory to write to (default: the current one)."),
                                          QStringLiteral("dir"), QStringLiteral("."));
    const QCommandLineOption dpiOption(QStringLiteral("dpi"),
                                       QStringLiteral("Resolution of the PNG, 72 to 600 (default: 300)."),
                                       QStringLiteral("dots"), QStringLiteral("300"));
    parser.addOption(paperOption);
    parser.addOption(outputOption);
    parser.addOption(dpiOption);
    if (!parser.parse(app.arguments()))
        return fail(parser.errorText() + QStringLiteral(" (see --help)"));
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1' (see --help)")
                        .arg(parser.positionalArguments().first()));

    std::vector<Paper> papers;
    if (parser.isSet(paperOption)) {
        for (const QString& value : parser.values(paperOption)) {
            const auto paper = std::find_if(std::begin(kPapers), std::end(kPapers), [&](const Paper& p) {
                return p.name.compare(value, Qt::CaseInsensitive) == 0;
            });
            if (paper == std::end(kPapers))
                return fail(QStringLiteral("unknown paper size '%1': use A4, A3 or A2").arg(value));
            papers.push_back(*paper);
        }
    } else {
        papers.assign(std::begin(kPapers), std::end(kPapers));
    }

    bool dpiValid = false;
    const int dpi = parser.value(dpiOption).toInt(&dpiValid);
    if (!dpiValid || dpi < 72 || dpi > 600)
        return fail(QStringLiteral("--dpi must be a whole number from 72 to 600, not '%1'")
                        .arg(parser.value(dpiOption)));

    const QDir output(parser.value(outputOption));
    if (!output.exists())
        return fail(QStringLiteral("output directory '%1' does not exist").arg(parser.value(outputOption)));

    for (const Paper& paper : papers) {
        const QString base = output.filePath(QStringLiteral("duoscope-board-%1").arg(paper.name));
        if (!writePdf(paper, base + QStringLiteral(".pdf")))
            return fail(QStringLiteral("cannot write '%1.pdf'").arg(base));
        if (!writePng(paper, base + QStringLiteral(".png"), dpi))
            return fail(QStringLiteral("cannot write '%1.png'").arg(base));
        QTextStream(stdout) << "Wrote " << base << ".pdf and " << base << ".png (" << caption(paper) << ")\n";
    }
    return 0;
}
