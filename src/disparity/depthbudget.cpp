#include "disparity/depthbudget.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr int rawUnitsPerPixel = 16;
// The share of the counted pixels beyond each percentile of the budget.
constexpr double budgetTail = 0.01;

// How often each raw code from the lowest matched one upward occurs.
struct CodeCounts
{
    int lowestCode = 0;
    std::vector<int64_t> counts;
    int64_t total = 0;
};

CodeCounts countMatchedCodes(const cv::Mat& raw, int minDisparity)
{
    if (raw.type() != CV_16SC1)
        CV_Error(cv::Error::StsUnsupportedFormat,
                 "depthBudget - the raw disparity map must be 16-bit signed with one channel");
    constexpr int highestCode = std::numeric_limits<int16_t>::max();
    CodeCounts c;
    c.lowestCode =
        std::clamp(minDisparity * rawUnitsPerPixel, int(std::numeric_limits<int16_t>::min()), highestCode);
    c.counts.assign(size_t(highestCode - c.lowestCode + 1), 0);
    for (int y = 0; y < raw.rows; ++y) {
        const int16_t* in = raw.ptr<int16_t>(y);
        for (int x = 0; x < raw.cols; ++x)
            if (in[x] >= c.lowestCode)
                ++c.counts[size_t(in[x] - c.lowestCode)];
    }
    for (const int64_t n : c.counts)
        c.total += n;
    return c;
}

// The code at 0-based position `rank` of the sorted matched codes.
int codeAtRank(const CodeCounts& c, int64_t rank)
{
    int64_t seen = 0;
    for (size_t i = 0; i < c.counts.size(); ++i) {
        seen += c.counts[i];
        if (seen > rank)
            return c.lowestCode + int(i);
    }
    return c.lowestCode + int(c.counts.size()) - 1;
}

double percentileOf(const CodeCounts& c, double percent)
{
    if (c.total == 0)
        return std::numeric_limits<double>::quiet_NaN();
    const double rank = std::clamp(percent, 0.0, 100.0) * 0.01 * double(c.total - 1);
    const int64_t below = int64_t(std::floor(rank));
    const double fraction = rank - double(below);
    const int lower = codeAtRank(c, below);
    const int upper = fraction > 0 ? codeAtRank(c, below + 1) : lower;
    return (lower + fraction * (upper - lower)) / rawUnitsPerPixel;
}

// Removes the codes first..last from the counts; returns how many pixels had them.
int64_t takeCodes(CodeCounts& c, int first, int last)
{
    int64_t taken = 0;
    for (int code = std::max(first, c.lowestCode); code <= last; ++code) {
        const size_t i = size_t(code - c.lowestCode);
        if (i >= c.counts.size())
            break;
        taken += c.counts[i];
        c.counts[i] = 0;
    }
    c.total -= taken;
    return taken;
}

// As many pixels at an end as the percentile on that side leaves out: counted,
// they would put that side of the budget at the end.
bool reachesEnd(int64_t atEnd, int64_t matched)
{
    return matched > 0 && double(atEnd) >= budgetTail * double(matched);
}

QString millimetres(double mm, double comparedWith)
{
    // Whole millimetres, unless rounding would make the two look equal.
    if (std::round(mm) != std::round(comparedWith))
        return QString::number(std::round(mm), 'f', 0);
    return QString::number(mm, 'f', 1);
}

} // namespace

double disparityPercentile(const cv::Mat& raw, int minDisparity, double percent)
{
    return percentileOf(countMatchedCodes(raw, minDisparity), percent);
}

DepthBudget depthBudget(const cv::Mat& raw, int minDisparity, int maxDisparity)
{
    CodeCounts counts = countMatchedCodes(raw, minDisparity);
    DepthBudget budget;
    budget.pictureWidth = raw.cols;
    budget.mapWidth = raw.cols;
    budget.pixels = int64_t(raw.total());
    budget.matchedPixels = counts.total;
    // The matcher's largest disparity is maxDisparity - 1; within a pixel of
    // either end lie the pixels it could not place inside the range.
    const int64_t farEnd =
        takeCodes(counts, minDisparity * rawUnitsPerPixel, (minDisparity + 1) * rawUnitsPerPixel - 1);
    const int64_t nearEnd =
        takeCodes(counts, (maxDisparity - 2) * rawUnitsPerPixel + 1, (maxDisparity - 1) * rawUnitsPerPixel);
    budget.endPixels = farEnd + nearEnd;
    budget.reachesFarEnd = reachesEnd(farEnd, budget.matchedPixels);
    budget.reachesNearEnd = reachesEnd(nearEnd, budget.matchedPixels);
    budget.valid = counts.total > 0 && raw.cols > 0;
    if (!budget.valid)
        return budget;
    // Parallax is the negative disparity: the nearest parallax is the largest disparity.
    const double percentOfPixel = 100.0 / raw.cols;
    budget.nearestPercent = -percentileOf(counts, 100.0 * (1.0 - budgetTail)) * percentOfPixel;
    budget.farthestPercent = -percentileOf(counts, 100.0 * budgetTail) * percentOfPixel;
    return budget;
}

QString budgetBasis(const DepthBudget& budget)
{
    const auto share = [&](int64_t part) {
        return QString::number(budget.pixels > 0 ? 100.0 * double(part) / double(budget.pixels) : 0.0, 'f',
                               1);
    };
    QString basis =
        QStringLiteral("1st to 99th percentile of the %1 % of pixels matched inside the search range")
            .arg(share(budget.countedPixels()));
    if (budget.endPixels > 0)
        basis += QStringLiteral(" (%1 % at its ends left out)").arg(share(budget.endPixels));
    return basis;
}

QString searchRangeWarning(const DepthBudget& budget, int minDisparity, int maxDisparity)
{
    if (!budget.touchesSearchRange())
        return QString();
    QStringList ends;
    if (budget.reachesNearEnd)
        ends << QStringLiteral("the near end (max. disparity %1 px)").arg(maxDisparity);
    if (budget.reachesFarEnd)
        ends << QStringLiteral("the far end (min. disparity %1 px)").arg(minDisparity);
    return QStringLiteral("The scene reaches %1 of the search range: the budget may hold less than the "
                          "scene. Widen the range (Fit range) and analyse again.")
        .arg(ends.join(QStringLiteral(" and ")));
}

DisparityRange fittedRange(const DepthBudget& budget, int minDisparity, int maxDisparity)
{
    DisparityRange range{minDisparity, maxDisparity};
    if (!budget.valid || budget.pictureWidth <= 0)
        return range;
    constexpr int step = 16;
    const auto down = [](double value) { return int(std::floor(value / step)) * step; };
    const auto up = [](double value) { return int(std::ceil(value / step)) * step; };
    // Disparity is the negative parallax: the far side is the low end.
    const double farthest = -budget.farthestPixels();
    const double nearest = -budget.nearestPixels();
    const double margin = std::max(8.0, 0.1 * (nearest - farthest));
    const int widen = up(0.5 * (maxDisparity - minDisparity));
    range.minDisparity = budget.reachesFarEnd ? minDisparity - widen : down(farthest - margin);
    // The matcher's largest disparity is one below the maximum.
    range.maxDisparity = budget.reachesNearEnd ? maxDisparity + widen : up(nearest + margin + 1);
    range.minDisparity = std::clamp(range.minDisparity, -2032, 2032);
    range.maxDisparity = std::clamp(range.maxDisparity, range.minDisparity + step, 2048);
    return range;
}

ScreenBudget screenBudget(const DepthBudget& budget, double screenWidthMetres, double eyeSeparationMm)
{
    ScreenBudget screen;
    if (!budget.valid)
        return screen;
    const double mmPerPercent = screenWidthMetres * 10.0; // a percent of the width, in mm
    screen.nearestMm = budget.nearestPercent * mmPerPercent;
    screen.farthestMm = budget.farthestPercent * mmPerPercent;
    screen.totalMm = budget.totalPercent() * mmPerPercent;
    screen.diverges = screen.farthestMm > eyeSeparationMm;
    return screen;
}

QString screenName(double screenWidthMetres)
{
    return QString::number(screenWidthMetres, 'g', 4) + QStringLiteral(" m");
}

namespace {

// "an 8 m screen", "an 11 m screen", "a 12 m screen": the article as the number is spoken.
QString withArticle(const QString& name)
{
    const bool vowel = name.startsWith(QLatin1Char('8')) ||
                       ((name.startsWith(QLatin1String("11")) || name.startsWith(QLatin1String("18"))) &&
                        (name.size() == 2 || !name.at(2).isDigit()));
    return (vowel ? QStringLiteral("an ") : QStringLiteral("a ")) + name;
}

} // namespace

QString divergenceWarning(const DepthBudget& budget, double screenWidthMetres, double eyeSeparationMm)
{
    const ScreenBudget screen = screenBudget(budget, screenWidthMetres, eyeSeparationMm);
    if (!screen.diverges)
        return QString();
    return QStringLiteral("far background diverges on %1 screen: %2 mm > %3 mm")
        .arg(withArticle(screenName(screenWidthMetres)), millimetres(screen.farthestMm, eyeSeparationMm),
             QString::number(eyeSeparationMm, 'g', 4));
}

LiveScale liveScale(int pictureWidth, int minDisparity, int maxDisparity, int targetWidth)
{
    LiveScale scale;
    scale.minDisparity = minDisparity;
    scale.maxDisparity = maxDisparity;
    if (pictureWidth <= targetWidth || pictureWidth <= 0 || targetWidth <= 0)
        return scale;
    scale.factor = double(targetWidth) / pictureWidth;
    auto nearestStep = [&](int disparity) { return int(std::lround(disparity * scale.factor / 16.0)) * 16; };
    scale.minDisparity = nearestStep(minDisparity);
    scale.maxDisparity = nearestStep(maxDisparity);
    // The matcher needs at least one step of 16; widen toward the side that
    // rounding pulled in the most.
    if (scale.maxDisparity <= scale.minDisparity) {
        const double lowPull = scale.minDisparity - minDisparity * scale.factor;
        const double highPull = maxDisparity * scale.factor - scale.maxDisparity;
        if (highPull >= lowPull)
            scale.maxDisparity = scale.minDisparity + 16;
        else
            scale.minDisparity = scale.maxDisparity - 16;
    }
    return scale;
}
