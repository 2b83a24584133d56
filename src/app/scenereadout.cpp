#include "app/scenereadout.h"
#include "app/panelstyle.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// The readout's columns, and where the scene's go.
constexpr int kCaptionColumn = 0;
constexpr int kBoardColumn = 1;
constexpr int kStateColumn = 2;
constexpr int kSceneColumn = 3;
constexpr int kBoardRows = 8; // four readings, each with its action row

// Every item of the grid one row down, to make room for a header.
void moveRowsDown(QGridLayout* grid)
{
    struct Placed
    {
        QLayoutItem* item;
        int row, column, rows, columns;
    };
    std::vector<Placed> placed;
    while (grid->count() > 0) {
        Placed p{nullptr, 0, 0, 0, 0};
        grid->getItemPosition(0, &p.row, &p.column, &p.rows, &p.columns);
        p.item = grid->takeAt(0);
        placed.push_back(p);
    }
    for (const Placed& p : placed)
        grid->addItem(p.item, p.row + 1, p.column, p.rows, p.columns);
}

QLabel* addLabel(QGridLayout* grid, int row, int column, const QString& name, const QString& text = QString(),
                 int columns = 1)
{
    auto* label = new QLabel(text);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The readout fits a laptop's screen: a long reading takes a second line.
    label->setWordWrap(true);
    grid->addWidget(label, row, column, 1, columns);
    return label;
}

QString fixed(double value, int decimals)
{
    const QString text = QString::number(value, 'f', decimals);
    return text.toDouble() == 0.0 ? QString::number(0.0, 'f', decimals) : text;
}

// A keystone against the vertical tolerance: it is a vertical difference in
// pixels, at the picture's edge.
IndicatorState keystoneState(double pixels, const ReadoutBand& band)
{
    if (pixels >= band.greenLow && pixels <= band.greenHigh)
        return IndicatorState::Green;
    if (pixels >= band.yellowLow && pixels <= band.yellowHigh)
        return IndicatorState::Yellow;
    return IndicatorState::Red;
}

void showState(QLabel* label, IndicatorState state)
{
    label->setPalette(statePalette(state));
    label->setAutoFillBackground(true);
    label->setText(stateWord(state));
}

} // namespace

SceneReadout::SceneReadout(QGridLayout* readout, QObject* parent) : QObject(parent)
{
    moveRowsDown(readout);
    addLabel(readout, 0, kBoardColumn, "lbl_BoardHeader", QStringLiteral("<b>board</b>"));
    m_header = addLabel(readout, 0, kSceneColumn, "lbl_SceneHeader");
    // Beside the board's vertical, roll, size and horizontal values.
    m_vertical = addLabel(readout, 1, kSceneColumn, "lbl_SceneVerticalValue");
    m_roll = addLabel(readout, 3, kSceneColumn, "lbl_SceneRollValue");
    m_size = addLabel(readout, 5, kSceneColumn, "lbl_SceneSizeValue");
    m_horizontal = addLabel(readout, 7, kSceneColumn, "lbl_SceneHorizontalValue",
                            QStringLiteral("board only (the scene's depth)"));

    // A row for each keystone: caption, no board value, state, scene value; its action below.
    const struct
    {
        const char* caption;
        const char* name;
        QLabel** state;
        QLabel** value;
        QLabel** action;
    } keystones[] = {{"Toe-in keystone:", "ToeIn", &m_toeInState, &m_toeIn, &m_toeInAction},
                     {"Tilt keystone:", "Tilt", &m_tiltState, &m_tilt, &m_tiltAction}};
    int row = kBoardRows + 1;
    for (const auto& keystone : keystones) {
        const QString name = QStringLiteral("lbl_Scene") + QLatin1String(keystone.name);
        addLabel(readout, row, kCaptionColumn, name + "Caption", QString::fromLatin1(keystone.caption));
        addLabel(readout, row, kBoardColumn, QString(), QStringLiteral("-"));
        *keystone.state = addLabel(readout, row, kStateColumn, name + "State");
        *keystone.value = addLabel(readout, row, kSceneColumn, name + "Value");
        *keystone.action = addLabel(readout, row + 1, kCaptionColumn, name + "Action", QString(), 4);
        row += 2;
    }
    m_evidence = addLabel(readout, row, kCaptionColumn, "lbl_SceneEvidence", QString(), 4);
    // Short enough for the readout to fit a laptop's screen.
    m_overlay = new QCheckBox(QStringLiteral("Draw the scene's matches: green OK, yellow close, red adjust"));
    m_overlay->setObjectName(QStringLiteral("chk_SceneOverlay"));
    readout->addWidget(m_overlay, row + 1, kCaptionColumn, 1, 4);
    clear();
}

void SceneReadout::show(const SceneMeasurement& measurement, uint32_t timeLabel)
{
    m_latest = measurement;
    m_latestLabel = timeLabel;
    const SceneEvidence& e = measurement.evidence;
    m_header->setText(QStringLiteral("<b>scene: %1 matches</b>").arg(e.matches));
    if (!measurement.reading) {
        showNoReading(measurement.reason);
        return;
    }
    const SceneReading& r = *measurement.reading;
    // The board's formats, for the same units and signs.
    AlignmentReading asBoard;
    asBoard.verticalPixels = r.verticalPixels;
    asBoard.verticalPercent = r.verticalPercent;
    asBoard.rollDegrees = r.rollDegrees;
    asBoard.sizePercent = r.sizePercent;
    const ReadoutTexts texts = readoutTexts(asBoard, AlignmentStates());
    m_vertical->setText(texts.vertical);
    m_roll->setText(texts.roll);
    m_size->setText(texts.size);
    m_toeIn->setText(QStringLiteral("%1 px at the corners").arg(fixed(r.toeInPixels, 1)));
    m_tilt->setText(QStringLiteral("%1 px at top and bottom").arg(fixed(r.tiltPixels, 1)));

    const ReadoutBand band = readoutBands(FullSizeScale()).vertical;
    const IndicatorState toeIn = keystoneState(r.toeInPixels, band);
    const IndicatorState tilt = keystoneState(r.tiltPixels, band);
    showState(m_toeInState, toeIn);
    showState(m_tiltState, tilt);
    // Toed in (positive): the cameras look towards each other; panning the
    // right camera right makes them parallel again. Tilted up (positive):
    // tilting the right camera down.
    m_toeInAction->setText(toeIn == IndicatorState::Green
                               ? QStringLiteral("Right camera: toe-in OK, leave it")
                               : QStringLiteral("Right camera: %1 (%2 px keystone at the corners)")
                                     .arg(r.toeInPixels > 0 ? QStringLiteral("toed in, pan right")
                                                            : QStringLiteral("toed out, pan left"),
                                          fixed(std::fabs(r.toeInPixels), 1)));
    m_tiltAction->setText(tilt == IndicatorState::Green
                              ? QStringLiteral("Right camera: tilt keystone OK, leave it")
                              : QStringLiteral("Right camera: %1 (%2 px keystone at top and bottom)")
                                    .arg(r.tiltPixels > 0 ? QStringLiteral("tilted up, tilt down")
                                                          : QStringLiteral("tilted down, tilt up"),
                                         fixed(std::fabs(r.tiltPixels), 1)));
    m_evidence->setText(
        QStringLiteral("Scene: %1 matches, %2 fit the misalignment within %3 px, over %4 of 16 "
                       "areas of the picture")
            .arg(e.matches)
            .arg(e.inliers)
            .arg(fixed(e.residualPixels, 2))
            .arg(e.coveredCells));
}

void SceneReadout::clear()
{
    m_latest.reset();
    m_latestLabel = 0;
    m_header->setText(QStringLiteral("<b>scene</b>"));
    showNoReading(QStringLiteral("Scene: nothing measured yet"));
}

void SceneReadout::showNoReading(const QString& why)
{
    for (QLabel* value : {m_vertical, m_roll, m_size, m_toeIn, m_tilt})
        value->setText(QStringLiteral("-"));
    for (QLabel* state : {m_toeInState, m_tiltState}) {
        state->setText(QString());
        state->setAutoFillBackground(false);
    }
    m_toeInAction->clear();
    m_tiltAction->clear();
    m_evidence->setText(why);
}

void SceneReadout::drawOverlay(cv::Mat& image) const
{
    if (!m_overlay->isChecked() || !m_latest || image.empty())
        return;
    drawSceneMatches(image, *m_latest, readoutBands(FullSizeScale()).vertical);
}
