#include "calibration/alignmentreadout.h"

#include <cmath>
#include <complex>

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

using Complex = std::complex<double>;

// A corner in full-size pixels, relative to the picture's centre, as x + iy
// (y pointing down, so a positive turn is clockwise on screen).
Complex fromCentre(const cv::Point2f& corner, cv::Point2d centre, FullSizeScale scale)
{
    return {corner.x * scale.x - centre.x, corner.y * scale.y - centre.y};
}

} // namespace

std::optional<AlignmentReading> measureAlignment(const DetectedRectangles& left,
                                                 const DetectedRectangles& right, cv::Size pictureSize,
                                                 FullSizeScale scale)
{
    if (left.empty() || left.size() != right.size() || pictureSize.width <= 0 || pictureSize.height <= 0 ||
        !(scale.x > 0) || !(scale.y > 0))
        return std::nullopt;
    const double fullWidth = pictureSize.width * scale.x;
    const double fullHeight = pictureSize.height * scale.y;
    const cv::Point2d centre(fullWidth / 2.0, fullHeight / 2.0);

    std::vector<Complex> l;
    std::vector<Complex> r;
    for (size_t i = 0; i < left.size(); ++i) {
        const std::vector<cv::Point2f>& a = left[i].corners();
        const std::vector<cv::Point2f>& b = right[i].corners();
        if (a.empty() || a.size() != b.size())
            return std::nullopt;
        for (size_t k = 0; k < a.size(); ++k) {
            l.push_back(fromCentre(a[k], centre, scale));
            r.push_back(fromCentre(b[k], centre, scale));
        }
    }

    // Least-squares similarity r = alpha * l + beta over all corner pairs,
    // with alpha = s * e^(i roll) and beta the offset of the picture's centre:
    //   alpha = sum (r_k - mean r) * conj(l_k - mean l) / sum |l_k - mean l|^2
    //   beta  = mean r - alpha * mean l
    Complex meanL = 0;
    Complex meanR = 0;
    for (size_t k = 0; k < l.size(); ++k) {
        meanL += l[k];
        meanR += r[k];
    }
    meanL /= double(l.size());
    meanR /= double(r.size());
    Complex cross = 0;
    double spread = 0;
    for (size_t k = 0; k < l.size(); ++k) {
        cross += (r[k] - meanR) * std::conj(l[k] - meanL);
        spread += std::norm(l[k] - meanL);
    }
    // Corners that all coincide (or are not numbers) give no turn or scale.
    if (!(spread > 1e-9) || !std::isfinite(spread))
        return std::nullopt;
    const Complex alpha = cross / spread;
    const Complex beta = meanR - alpha * meanL;
    if (!(std::abs(alpha) > 0) || !std::isfinite(std::abs(alpha)) || !std::isfinite(std::abs(beta)))
        return std::nullopt;

    AlignmentReading reading;
    // Offset: where the centre of the left picture lands in the right one.
    reading.verticalPixels = beta.imag();
    reading.verticalPercent = 100.0 * beta.imag() / fullHeight;
    reading.horizontalPixels = beta.real();
    reading.horizontalPercent = 100.0 * beta.real() / fullWidth;
    // Roll: the turn of the fit, clockwise on screen positive.
    reading.rollDegrees = std::arg(alpha) * kDegreesPerRadian;
    // Size: the scale of the fit less one; 1.01 (right 1 % larger) reads 1.
    reading.sizePercent = 100.0 * (std::abs(alpha) - 1.0);
    return reading;
}

AlignmentReading AlignmentHistory::add(const AlignmentReading& reading)
{
    readings[position] = reading;
    position = (position + 1) % 3;
    filled = std::min(filled + 1, 3);

    AlignmentReading mean;
    for (int i = 0; i < filled; ++i) {
        mean.verticalPixels += readings[i].verticalPixels;
        mean.verticalPercent += readings[i].verticalPercent;
        mean.rollDegrees += readings[i].rollDegrees;
        mean.sizePercent += readings[i].sizePercent;
        mean.horizontalPixels += readings[i].horizontalPixels;
        mean.horizontalPercent += readings[i].horizontalPercent;
    }
    mean.verticalPixels /= filled;
    mean.verticalPercent /= filled;
    mean.rollDegrees /= filled;
    mean.sizePercent /= filled;
    mean.horizontalPixels /= filled;
    mean.horizontalPercent /= filled;
    return mean;
}

void AlignmentHistory::clear()
{
    readings = {};
    position = 0;
    filled = 0;
}

AlignmentStates alignmentStates(const CalibrationAverages& averages)
{
    AlignmentStates states;
    states.vertical = indicatorState(averages.yOffset, kYOffsetLimits);
    states.roll = indicatorState(averages.rotation, kRotationLimits);
    states.size = indicatorState(averages.zoom, kZoomLimits);
    states.horizontal = indicatorState(averages.xOffset, kXOffsetLimits);
    return states;
}

ReadoutBands readoutBands(FullSizeScale scale)
{
    // The offset indicators sum the four corners of processed pixels: a limit
    // of 2 is half a processed pixel, times the scale to the full picture.
    auto offset = [](IndicatorLimits limits, double fullPerProcessed) {
        const double green = limits.green / 4.0 * fullPerProcessed;
        const double yellow = limits.yellow / 4.0 * fullPerProcessed;
        return ReadoutBand{-green, green, -yellow, yellow};
    };
    // The zoom indicator is 1 - (left area / right area) = 1 - 1/s^2 for a
    // right picture s times the left: |1 - 1/s^2| <= limit holds for s from
    // 1/sqrt(1 + limit) to 1/sqrt(1 - limit).
    auto size = [](IndicatorLimits limits) {
        auto percent = [](double s) { return 100.0 * (s - 1.0); };
        return ReadoutBand{
            percent(1.0 / std::sqrt(1.0 + limits.green)), percent(1.0 / std::sqrt(1.0 - limits.green)),
            percent(1.0 / std::sqrt(1.0 + limits.yellow)), percent(1.0 / std::sqrt(1.0 - limits.yellow))};
    };
    ReadoutBands bands;
    bands.vertical = offset(kYOffsetLimits, scale.y);
    bands.horizontal = offset(kXOffsetLimits, scale.x);
    // The rotation indicator is the difference of the edge angles, in degrees.
    bands.roll = {-kRotationLimits.green, kRotationLimits.green, -kRotationLimits.yellow,
                  kRotationLimits.yellow};
    bands.size = size(kZoomLimits);
    return bands;
}

QString stateWord(IndicatorState state)
{
    switch (state) {
    case IndicatorState::Green:
        return QStringLiteral("OK");
    case IndicatorState::Yellow:
        return QStringLiteral("CLOSE");
    case IndicatorState::Red:
        break;
    }
    return QStringLiteral("ADJUST");
}

QString stateName(IndicatorState state)
{
    switch (state) {
    case IndicatorState::Green:
        return QStringLiteral("green");
    case IndicatorState::Yellow:
        return QStringLiteral("yellow");
    case IndicatorState::Red:
        break;
    }
    return QStringLiteral("red");
}

namespace {

QString fixed(double value, int decimals)
{
    // No "-0.00" for a value that rounds to zero.
    const QString text = QString::number(value, 'f', decimals);
    return text.toDouble() == 0.0 ? QString::number(0.0, 'f', decimals) : text;
}

// "Right camera: <what> OK" when the axis is green, else the move that
// brings the reading back to zero: `positive` when the reading is above zero.
QString action(IndicatorState state, const QString& axis, double value, const QString& positive,
               const QString& negative, const QString& amount)
{
    if (state == IndicatorState::Green)
        return QStringLiteral("Right camera: %1 OK, leave it").arg(axis);
    return QStringLiteral("Right camera: %1 %2").arg(value > 0 ? positive : negative, amount);
}

} // namespace

ReadoutTexts readoutTexts(const AlignmentReading& reading, const AlignmentStates& states)
{
    ReadoutTexts texts;
    texts.vertical = QStringLiteral("%1 px (%2 % of height)")
                         .arg(fixed(reading.verticalPixels, 1), fixed(reading.verticalPercent, 2));
    texts.roll = QStringLiteral("%1 deg").arg(fixed(reading.rollDegrees, 2));
    texts.size = QStringLiteral("%1 %").arg(fixed(reading.sizePercent, 2));
    texts.horizontal = QStringLiteral("%1 px (%2 % of width)")
                           .arg(fixed(reading.horizontalPixels, 1), fixed(reading.horizontalPercent, 2));

    // The right picture sitting low means the camera looks too high: tilting
    // it down raises the picture.
    const QString pixels = QStringLiteral("%1 px").arg(fixed(std::fabs(reading.verticalPixels), 1));
    texts.verticalAction = action(states.vertical, QStringLiteral("height"), reading.verticalPixels,
                                  QStringLiteral("tilt down"), QStringLiteral("tilt up"), pixels);
    // A picture turned clockwise comes from a camera rolled anticlockwise (seen
    // from behind it): turning the camera clockwise brings it back.
    texts.rollAction = action(
        states.roll, QStringLiteral("roll"), reading.rollDegrees, QStringLiteral("roll"),
        QStringLiteral("roll"),
        QStringLiteral("%1 deg %2")
            .arg(fixed(std::fabs(reading.rollDegrees), 2),
                 reading.rollDegrees > 0 ? QStringLiteral("clockwise") : QStringLiteral("anticlockwise")));
    // A larger right picture: that camera is zoomed in further (or its focus
    // breathes); zooming it out brings the sizes together.
    texts.sizeAction =
        action(states.size, QStringLiteral("size"), reading.sizePercent, QStringLiteral("zoom out"),
               QStringLiteral("zoom in"),
               QStringLiteral("%1 % (or check focus)").arg(fixed(std::fabs(reading.sizePercent), 2)));
    // The right picture further right: that camera looks too far left, so
    // panning it right moves the picture back; zero converges on the board.
    texts.horizontalAction =
        action(states.horizontal, QStringLiteral("convergence"), reading.horizontalPixels,
               QStringLiteral("pan right"), QStringLiteral("pan left"),
               QStringLiteral("%1 px").arg(fixed(std::fabs(reading.horizontalPixels), 1)));
    return texts;
}
