#include "scene/scenealignment.h"

#include "pipeline/logcategories.h"
#include "scene/scenefeatures.h"
#include "scene/scenefit.h"

#include <cmath>
#include <set>

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

// What a reading needs; below any of these there is no reading.
// Distinctive points in each picture and matches between them: fewer, and a
// handful of mismatches could carry the fit.
constexpr int kMinPoints = 60;
constexpr int kMinMatches = 40;
// Where the pictures share a scene, a third or more of the points match:
// this many points with too few matches are two different scenes.
constexpr int kPlentyOfPoints = 4 * kMinMatches;
// Matches the fit explains, in number and as a share of all matches: two
// unrelated pictures give matches that agree on nothing.
constexpr int kMinInliers = 30;
constexpr double kMinInlierShare = 0.3;
// A second group of matches that agrees on another misalignment, this large
// against the first group in matches or in the area it covers (cells of a
// kRivalGrid x kRivalGrid grid), makes the reading doubtful. The area counts
// too because a finely textured object gives more matches for its size than
// the set behind it: over half the picture, it can outnumber the set and be
// taken for the rig. On a still scene the leftover matches cover about a
// quarter of the first group's area at most.
constexpr double kRivalShare = 0.5;
constexpr int kRivalGrid = 8;
// A match agrees with the fit when its vertical error is within this many
// pixels of the working picture (detectors place points to about a third of
// one).
constexpr double kInlierWorkingPixels = 1.5;
// How much of the picture the inliers cover, in cells of a 4 x 4 grid: roll
// needs them spread across, size down, the keystones both.
constexpr int kGrid = 4;
constexpr int kMinCells = 5;
constexpr int kMinColumns = 3;
constexpr int kMinRows = 2;
// Beyond these the two pictures are not one rig's views a screw can bring
// together (a camera mounted upside down without the picture turned, another
// scene): the fit would still give numbers, wrong ones.
constexpr double kMaxRollDegrees = 10.0;
constexpr double kMaxSizePercent = 20.0;
constexpr double kMaxVerticalPercent = 20.0;

SceneMeasurement refused(SceneFailure failure, const QString& why, const SceneEvidence& evidence)
{
    SceneMeasurement measurement;
    measurement.failure = failure;
    measurement.reason = QStringLiteral("No scene reading: %1").arg(why);
    measurement.evidence = evidence;
    qCDebug(lcCalibration) << "scene:" << measurement.reason;
    return measurement;
}

// A working-picture position in the processed picture (pixel centres).
cv::Point2f processed(const cv::Point2f& working, double factor)
{
    return {static_cast<float>((working.x + 0.5) / factor - 0.5),
            static_cast<float>((working.y + 0.5) / factor - 0.5)};
}

struct Coverage
{
    int cells = 0, columns = 0, rows = 0;
};

// The column and row of a grid x grid grid over the picture a point is in.
cv::Point cellOf(const cv::Point2d& point, cv::Size2d picture, int grid)
{
    return {std::clamp(static_cast<int>(point.x * grid / picture.width), 0, grid - 1),
            std::clamp(static_cast<int>(point.y * grid / picture.height), 0, grid - 1)};
}

Coverage coverage(const std::vector<SceneMatch>& inliers, cv::Size picture)
{
    std::set<int> cells, columns, rows;
    for (const SceneMatch& match : inliers) {
        const cv::Point cell = cellOf(match.left, picture, kGrid);
        cells.insert(cell.y * kGrid + cell.x);
        columns.insert(cell.x);
        rows.insert(cell.y);
    }
    return {static_cast<int>(cells.size()), static_cast<int>(columns.size()), static_cast<int>(rows.size())};
}

// The cells of a kRivalGrid x kRivalGrid grid over the picture that hold
// one of the chosen points.
int rivalGridCells(const std::vector<cv::Point2d>& points, const std::vector<int>& chosen, cv::Size2d picture)
{
    std::set<int> cells;
    for (int k : chosen) {
        const cv::Point cell = cellOf(points[static_cast<size_t>(k)], picture, kRivalGrid);
        cells.insert(cell.y * kRivalGrid + cell.x);
    }
    return static_cast<int>(cells.size());
}

// The readings from the fitted coefficients (see scenefit.cpp): the slope
// across is tan(roll), the slope down s / cos(roll) - 1, each over half the
// picture.
SceneReading readingFrom(const VerticalModel& model, cv::Size2d fullSize)
{
    SceneReading reading;
    const double roll = std::atan(model.across / (fullSize.width / 2.0));
    const double size = (1.0 + model.down / (fullSize.height / 2.0)) * std::cos(roll);
    reading.verticalPixels = model.offset;
    reading.verticalPercent = 100.0 * model.offset / fullSize.height;
    // y points down, so a positive slope across (the right side lower) is a
    // clockwise turn on screen, as the board readout's roll.
    reading.rollDegrees = roll * kDegreesPerRadian;
    reading.sizePercent = 100.0 * (size - 1.0);
    reading.toeInPixels = model.toeIn;
    reading.tiltPixels = model.tilt;
    return reading;
}

} // namespace

SceneMeasurement measureScene(const cv::Mat& left, const cv::Mat& right, FullSizeScale scale,
                              const SceneOptions& options)
{
    SceneEvidence evidence;
    if (left.empty() || right.empty())
        return refused(SceneFailure::NoPictures, QStringLiteral("a picture is missing"), evidence);
    if (left.size() != right.size() || left.type() != right.type() || left.depth() != CV_8U ||
        (left.channels() != 1 && left.channels() != 3 && left.channels() != 4) || !(scale.x > 0) ||
        !(scale.y > 0))
        return refused(SceneFailure::NoPictures,
                       QStringLiteral("the two pictures differ in size or kind (%1 x %2 and %3 x %4)")
                           .arg(left.cols)
                           .arg(left.rows)
                           .arg(right.cols)
                           .arg(right.rows),
                       evidence);

    double factor = 1.0;
    const SceneFeatures leftFeatures =
        detectSceneFeatures(workingPicture(left, options.workingWidth, factor), options.detector);
    const SceneFeatures rightFeatures =
        detectSceneFeatures(workingPicture(right, options.workingWidth, factor), options.detector);
    evidence.leftPoints = static_cast<int>(leftFeatures.keypoints.size());
    evidence.rightPoints = static_cast<int>(rightFeatures.keypoints.size());
    if (std::min(evidence.leftPoints, evidence.rightPoints) < kMinPoints)
        return refused(SceneFailure::TooLittleTexture,
                       QStringLiteral("too little texture (%1 distinctive points left, %2 right, %3 needed); "
                                      "aim at a detailed part of the set")
                           .arg(evidence.leftPoints)
                           .arg(evidence.rightPoints)
                           .arg(kMinPoints),
                       evidence);

    const SceneMatches matches = matchSceneFeatures(leftFeatures, rightFeatures, options.detector);
    evidence.matches = static_cast<int>(matches.left.size());
    if (evidence.matches < kMinMatches) {
        // Many points that each look like several others: a repeating
        // pattern (a fence, a tiled wall, a screen door), not a lack of detail.
        if (matches.lookAlike >= kMinMatches && matches.lookAlike > 2 * evidence.matches)
            return refused(
                SceneFailure::RepetitivePattern,
                QStringLiteral("the picture repeats one pattern (%1 points look alike, %2 matches); "
                               "aim at a less regular part of the set")
                    .arg(matches.lookAlike)
                    .arg(evidence.matches),
                evidence);
        // Plenty of points on both sides that do not find each other: the
        // cameras see different things.
        if (std::min(evidence.leftPoints, evidence.rightPoints) >= kPlentyOfPoints)
            return refused(SceneFailure::NoOverlap,
                           QStringLiteral("the two pictures have few points in common (%1 matches of %2 "
                                          "points); check that both cameras see the same scene")
                               .arg(evidence.matches)
                               .arg(std::min(evidence.leftPoints, evidence.rightPoints)),
                           evidence);
        return refused(SceneFailure::TooLittleTexture,
                       QStringLiteral("too few matches (%1, %2 needed); aim at a detailed part of the set")
                           .arg(evidence.matches)
                           .arg(kMinMatches),
                       evidence);
    }

    const cv::Size2d fullSize(left.cols * scale.x, left.rows * scale.y);
    std::vector<cv::Point2d> leftFull;
    std::vector<cv::Point2d> rightFull;
    std::vector<SceneMatch> all;
    for (size_t k = 0; k < matches.left.size(); ++k) {
        const SceneMatch match{processed(matches.left[k], factor), processed(matches.right[k], factor), 0.0};
        leftFull.emplace_back(match.left.x * scale.x, match.left.y * scale.y);
        rightFull.emplace_back(match.right.x * scale.x, match.right.y * scale.y);
        all.push_back(match);
    }
    const double threshold = kInlierWorkingPixels / factor * scale.y;
    const std::optional<VerticalFit> fit = fitVerticalModel(leftFull, rightFull, fullSize, threshold);

    SceneMeasurement measurement;
    if (fit) {
        double squares = 0;
        for (int k : fit->inliers) {
            SceneMatch match = all[static_cast<size_t>(k)];
            match.residualPixels = fit->residuals[static_cast<size_t>(k)];
            squares += match.residualPixels * match.residualPixels;
            measurement.inliers.push_back(match);
        }
        evidence.inliers = static_cast<int>(fit->inliers.size());
        evidence.residualPixels = evidence.inliers > 0 ? std::sqrt(squares / evidence.inliers) : 0.0;
    }
    // The matches the fit left out, fitted on their own: mismatches agree on
    // nothing, but a large object that moved between the two exposures (or a
    // picture of a picture) agrees on its own misalignment. When that group
    // rivals the first, either could be the rig: no reading.
    if (fit && static_cast<int>(fit->inliers.size()) >= kMinInliers) {
        std::vector<cv::Point2d> restLeft;
        std::vector<cv::Point2d> restRight;
        std::vector<bool> used(leftFull.size(), false);
        for (int k : fit->inliers)
            used[static_cast<size_t>(k)] = true;
        for (size_t k = 0; k < used.size(); ++k)
            if (!used[k]) {
                restLeft.push_back(leftFull[k]);
                restRight.push_back(rightFull[k]);
            }
        const std::optional<VerticalFit> rival = fitVerticalModel(restLeft, restRight, fullSize, threshold);
        const int rivalInliers = rival ? static_cast<int>(rival->inliers.size()) : 0;
        const bool rivalsInArea = rival && rivalGridCells(restLeft, rival->inliers, fullSize) >=
                                               kRivalShare * rivalGridCells(leftFull, fit->inliers, fullSize);
        if (rivalInliers >= kMinInliers && (rivalInliers >= kRivalShare * evidence.inliers || rivalsInArea)) {
            SceneMeasurement none = refused(
                SceneFailure::Disagreement,
                QStringLiteral("two parts of the picture disagree (%1 and %2 matches), as when a large "
                               "object moves; measure again when it has passed")
                    .arg(evidence.inliers)
                    .arg(rivalInliers),
                evidence);
            none.inliers = std::move(measurement.inliers);
            return none;
        }
    }

    const Coverage covered = coverage(measurement.inliers, left.size());
    evidence.coveredCells = covered.cells;

    if (!fit || evidence.inliers < kMinInliers || evidence.inliers < kMinInlierShare * evidence.matches) {
        SceneMeasurement none =
            refused(SceneFailure::NoOverlap,
                    QStringLiteral("the two pictures do not agree (%1 of %2 matches fit one misalignment); "
                                   "check that both cameras see the same scene")
                        .arg(evidence.inliers)
                        .arg(evidence.matches),
                    evidence);
        none.inliers = std::move(measurement.inliers);
        return none;
    }
    if (covered.cells < kMinCells || covered.columns < kMinColumns || covered.rows < kMinRows) {
        SceneMeasurement none =
            refused(SceneFailure::OneRegion,
                    QStringLiteral("matches in one part of the picture only (%1 of 16 areas); "
                                   "aim at a scene with detail across the frame")
                        .arg(covered.cells),
                    evidence);
        none.inliers = std::move(measurement.inliers);
        return none;
    }

    const SceneReading reading = readingFrom(fit->model, fullSize);
    if (!(std::fabs(reading.rollDegrees) <= kMaxRollDegrees) ||
        !(std::fabs(reading.sizePercent) <= kMaxSizePercent) ||
        !(std::fabs(reading.verticalPercent) <= kMaxVerticalPercent)) {
        SceneMeasurement none = refused(
            SceneFailure::NoOverlap,
            QStringLiteral("the pictures differ more than a rig's two cameras can (roll %1 deg, size %2 %); "
                           "check that both cameras see the same scene, the same way up")
                .arg(reading.rollDegrees, 0, 'f', 1)
                .arg(reading.sizePercent, 0, 'f', 1),
            evidence);
        none.inliers = std::move(measurement.inliers);
        return none;
    }
    measurement.reading = reading;
    measurement.evidence = evidence;
    return measurement;
}
