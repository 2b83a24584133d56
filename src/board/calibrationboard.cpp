#include "board/calibrationboard.h"

#include <algorithm>
#include <cmath>

// Layout, in units of the square side, relative to the outer top-left contact
// point. The pairs on horizontal outlines lie along the line (squares turned
// 45 degrees, touching tip to tip), those on vertical outlines likewise, so a
// pair reaches only half a diagonal to either side of its outline. Outlines of
// neighbouring rectangles are 1.25 apart vertically and 2.25 horizontally;
// along the top and bottom the pairs of the outer and inner rectangle alternate
// with those of the middle one every 2.25, so that no two pairs come closer
// than about 0.45 of a square while the card stays under ten squares high.
namespace {

constexpr double kHalfDiagonal = 0.70710678118654752;
constexpr double kColumnPitch = 2.25; // between contact columns on top and bottom edges
constexpr double kLineSpacing = 1.25; // between the horizontal outlines
constexpr int kColumns = 6;           // outer rectangle: 6 pitches wide
constexpr double kMargin = 0.4;       // white card around the outermost squares
// Hairline gap between the two squares of a pair: without it the squares
// merge after binarisation and are parted only by a later dilation.
constexpr double kContactGap = 0.03;

struct Pair
{
    cv::Point2d contact; // layout units
    bool alongX;         // squares left and right of the contact, else above and below
};

double outerWidth()
{
    return kColumns * kColumnPitch;
}
double outerHeight()
{
    return 6 * kLineSpacing;
}
// Corner pairs reach a whole diagonal beyond the outline sideways, half a diagonal up and down.
cv::Point2d originOffset()
{
    return cv::Point2d(2 * kHalfDiagonal + kMargin, kHalfDiagonal + kMargin);
}

std::vector<Pair> layout()
{
    std::vector<Pair> pairs;
    const double bottom = outerHeight();
    for (int i = 0; i <= kColumns; ++i) {
        const double x = i * kColumnPitch;
        if (i % 2 == 1) { // middle rectangle
            pairs.push_back({{x, kLineSpacing}, true});
            pairs.push_back({{x, bottom - kLineSpacing}, true});
            continue;
        }
        pairs.push_back({{x, 0.0}, true}); // outer rectangle
        pairs.push_back({{x, bottom}, true});
        if (i >= 2 && i <= kColumns - 2) { // inner rectangle
            pairs.push_back({{x, 2 * kLineSpacing}, true});
            pairs.push_back({{x, bottom - 2 * kLineSpacing}, true});
        }
    }
    const double middleY = bottom / 2;
    for (double x : {0.0, kColumnPitch, outerWidth() - kColumnPitch, outerWidth()})
        pairs.push_back({{x, middleY}, false});
    return pairs;
}

// ---- exact pixel coverage of convex polygons ----

using Polygon = std::vector<cv::Point2d>;

// The smallest upright box around the polygon's corners (not empty).
struct Bounds
{
    double minX, maxX, minY, maxY;
};
Bounds boundsOf(const Polygon& polygon)
{
    Bounds b{polygon[0].x, polygon[0].x, polygon[0].y, polygon[0].y};
    for (const cv::Point2d& p : polygon) {
        b.minX = std::min(b.minX, p.x);
        b.maxX = std::max(b.maxX, p.x);
        b.minY = std::min(b.minY, p.y);
        b.maxY = std::max(b.maxY, p.y);
    }
    return b;
}

double polygonArea(const Polygon& polygon)
{
    double twice = 0.0;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const cv::Point2d& a = polygon[i];
        const cv::Point2d& b = polygon[(i + 1) % polygon.size()];
        twice += a.x * b.y - a.y * b.x;
    }
    return 0.5 * twice;
}

// Edge lines of a counter-clockwise (positive area) convex polygon as
// normalised a*x + b*y + c >= 0 inside.
struct EdgeLine
{
    double a, b, c;
    double at(const cv::Point2d& p) const { return a * p.x + b * p.y + c; }
};

std::vector<EdgeLine> edgeLines(const Polygon& polygon)
{
    std::vector<EdgeLine> lines;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const cv::Point2d& p = polygon[i];
        const cv::Point2d& q = polygon[(i + 1) % polygon.size()];
        const double a = -(q.y - p.y);
        const double b = q.x - p.x;
        const double length = std::hypot(a, b);
        if (length <= 0.0)
            continue;
        lines.push_back({a / length, b / length, -(a * p.x + b * p.y) / length});
    }
    return lines;
}

// Area of the unit pixel square around (x, y) inside the polygon's edge lines.
double pixelCoverage(const std::vector<EdgeLine>& lines, double x, double y)
{
    Polygon clipped = {{x - 0.5, y - 0.5}, {x + 0.5, y - 0.5}, {x + 0.5, y + 0.5}, {x - 0.5, y + 0.5}};
    Polygon next;
    for (const EdgeLine& line : lines) {
        next.clear();
        for (size_t i = 0; i < clipped.size(); ++i) {
            const cv::Point2d& p = clipped[i];
            const cv::Point2d& q = clipped[(i + 1) % clipped.size()];
            const double dp = line.at(p);
            const double dq = line.at(q);
            if (dp >= 0)
                next.push_back(p);
            if ((dp >= 0) != (dq >= 0))
                next.push_back(p + (q - p) * (dp / (dp - dq)));
        }
        clipped.swap(next);
        if (clipped.size() < 3)
            return 0.0;
    }
    return std::fabs(polygonArea(clipped));
}

// Adds the polygon's coverage of each pixel to `coverage`, whose top-left
// pixel is `origin` in image coordinates.
void accumulateCoverage(Polygon polygon, cv::Mat1f& coverage, cv::Point origin)
{
    if (polygonArea(polygon) < 0)
        std::reverse(polygon.begin(), polygon.end());
    const std::vector<EdgeLine> lines = edgeLines(polygon);
    if (lines.size() < 3)
        return;

    const auto [minX, maxX, minY, maxY] = boundsOf(polygon);
    const int x0 = std::max(origin.x, int(std::floor(minX + 0.5)));
    const int x1 = std::min(origin.x + coverage.cols - 1, int(std::ceil(maxX - 0.5)));
    const int y0 = std::max(origin.y, int(std::floor(minY + 0.5)));
    const int y1 = std::min(origin.y + coverage.rows - 1, int(std::ceil(maxY - 0.5)));

    // A pixel whose centre lies further than half its diagonal from every edge
    // line is wholly inside or wholly outside.
    const double halfDiagonal = 0.7072;
    for (int y = y0; y <= y1; ++y) {
        float* row = coverage.ptr<float>(y - origin.y);
        for (int x = x0; x <= x1; ++x) {
            double nearest = 1e30;
            for (const EdgeLine& line : lines)
                nearest = std::min(nearest, line.at(cv::Point2d(x, y)));
            if (nearest <= -halfDiagonal)
                continue;
            row[x - origin.x] += nearest >= halfDiagonal ? 1.0f : float(pixelCoverage(lines, x, y));
        }
    }
}

} // namespace

CalibrationBoard::CalibrationBoard(double squareSize) : m_squareSize(squareSize) {}

CalibrationBoard CalibrationBoard::standard()
{
    return CalibrationBoard(22.0);
}

cv::Size2d CalibrationBoard::size() const
{
    const cv::Point2d offset = originOffset();
    return cv::Size2d((outerWidth() + 2 * offset.x) * m_squareSize,
                      (outerHeight() + 2 * offset.y) * m_squareSize);
}

std::vector<std::array<cv::Point2d, 4>> CalibrationBoard::squares() const
{
    std::vector<std::array<cv::Point2d, 4>> result;
    const cv::Point2d offset = originOffset();
    const double r = kHalfDiagonal;
    const double shift = r + kContactGap / 2;
    for (const Pair& pair : layout()) {
        const cv::Point2d axis = pair.alongX ? cv::Point2d(1, 0) : cv::Point2d(0, 1);
        for (int side : {-1, 1}) {
            const cv::Point2d centre = pair.contact + axis * (side * shift) + offset;
            std::array<cv::Point2d, 4> square = {centre + cv::Point2d(0, -r), centre + cv::Point2d(r, 0),
                                                 centre + cv::Point2d(0, r), centre + cv::Point2d(-r, 0)};
            for (cv::Point2d& corner : square)
                corner *= m_squareSize;
            result.push_back(square);
        }
    }
    return result;
}

std::vector<cv::Point2d> CalibrationBoard::contactPoints() const
{
    std::vector<cv::Point2d> result;
    const cv::Point2d offset = originOffset();
    for (const Pair& pair : layout())
        result.push_back((pair.contact + offset) * m_squareSize);
    return result;
}

std::vector<std::array<cv::Point2d, 4>> CalibrationBoard::rectangleCorners() const
{
    std::vector<std::array<cv::Point2d, 4>> result;
    const cv::Point2d offset = originOffset();
    for (int level = 0; level < 3; ++level) {
        const double left = level * kColumnPitch + offset.x;
        const double right = outerWidth() - level * kColumnPitch + offset.x;
        const double top = level * kLineSpacing + offset.y;
        const double bottom = outerHeight() - level * kLineSpacing + offset.y;
        std::array<cv::Point2d, 4> corners = {cv::Point2d(left, top), cv::Point2d(right, top),
                                              cv::Point2d(right, bottom), cv::Point2d(left, bottom)};
        for (cv::Point2d& corner : corners)
            corner *= m_squareSize;
        result.push_back(corners);
    }
    return result;
}

void CalibrationBoard::render(cv::Mat& image, const cv::Matx33d& boardToImage, double paper, double ink) const
{
    CV_Assert(image.depth() == CV_8U && (image.channels() == 1 || image.channels() == 3));

    const auto project = [&](const cv::Point2d& p) {
        const cv::Vec3d h = boardToImage * cv::Vec3d(p.x, p.y, 1.0);
        return cv::Point2d(h[0] / h[2], h[1] / h[2]);
    };

    const cv::Size2d card = size();
    const Polygon cardPolygon = {project({0, 0}), project({card.width, 0}),
                                 project({card.width, card.height}), project({0, card.height})};
    const auto [minX, maxX, minY, maxY] = boundsOf(cardPolygon);
    // Whole pixels touched by the card, clipped to the picture (also when far outside).
    const double limit = 1e6;
    const cv::Point topLeft(int(std::floor(std::max(minX, -limit))) - 1,
                            int(std::floor(std::max(minY, -limit))) - 1);
    const cv::Point bottomRight(int(std::ceil(std::min(maxX, limit))) + 2,
                                int(std::ceil(std::min(maxY, limit))) + 2);
    const cv::Rect area = cv::Rect(topLeft, bottomRight) & cv::Rect(0, 0, image.cols, image.rows);
    if (area.empty())
        return;

    cv::Mat1f cardCoverage(area.size(), 0.0f);
    cv::Mat1f inkCoverage(area.size(), 0.0f);
    accumulateCoverage(cardPolygon, cardCoverage, area.tl());
    for (const std::array<cv::Point2d, 4>& square : squares()) {
        Polygon polygon;
        for (const cv::Point2d& corner : square)
            polygon.push_back(project(corner));
        accumulateCoverage(polygon, inkCoverage, area.tl());
    }

    const int channels = image.channels();
    for (int y = 0; y < area.height; ++y) {
        uchar* pixel = image.ptr<uchar>(area.y + y) + area.x * channels;
        const float* cardRow = cardCoverage.ptr<float>(y);
        const float* inkRow = inkCoverage.ptr<float>(y);
        for (int x = 0; x < area.width; ++x, pixel += channels) {
            const double cardPart = std::min(1.0f, cardRow[x]);
            if (cardPart <= 0.0)
                continue;
            const double inkPart = std::min(double(inkRow[x]), cardPart);
            for (int c = 0; c < channels; ++c) {
                const double value =
                    pixel[c] * (1.0 - cardPart) + paper * (cardPart - inkPart) + ink * inkPart;
                pixel[c] = cv::saturate_cast<uchar>(value);
            }
        }
    }
}
