#include "calibration/tesra_board_detector.h"

#include "calibration/boardquad.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <opencv2/imgproc/imgproc_c.h>

namespace {

// The name under which the detector reports its errors.
const char* const kSourceFile = "..\\src\\tesra_board_detector";

constexpr int kMinContactPoints = 20;

// The contour search of cv::findContours without its per-contour copies: a
// noisy binarisation has tens of thousands of speckle contours, of which only
// the few large ones are ever read. Same contours, same order.
class ContourSearch
{
public:
    ContourSearch() : m_storage(cvCreateMemStorage(0)) {}
    ~ContourSearch() { cvReleaseMemStorage(&m_storage); }
    ContourSearch(const ContourSearch&) = delete;
    ContourSearch& operator=(const ContourSearch&) = delete;

    // `padded` holds the picture inside a one-pixel border of zeros (the
    // search alters it); positions are given in the picture proper.
    template <typename Visit> void run(cv::Mat& padded, Visit visit)
    {
        cvClearMemStorage(m_storage);
        CvMat header = cvMat(padded);
        CvSeq* first = nullptr;
        cvFindContours(&header, m_storage, &first, sizeof(CvContour), CV_RETR_CCOMP, CV_CHAIN_APPROX_SIMPLE,
                       cvPoint(-1, -1));
        if (!first)
            return;
        CvSeq* all = cvTreeToNodeSeq(first, sizeof(CvSeq), m_storage);
        CvSeqReader reader;
        cvStartReadSeq(all, &reader);
        for (int i = 0; i < all->total; ++i) {
            CvSeq* contour = nullptr;
            CV_READ_SEQ_ELEM(contour, reader);
            visit(*reinterpret_cast<CvContour*>(contour));
        }
    }

    static void points(CvContour& contour, std::vector<cv::Point>& out)
    {
        out.resize(size_t(contour.total));
        if (!out.empty())
            cvCvtSeqToArray(reinterpret_cast<CvSeq*>(&contour), out.data());
    }

private:
    CvMemStorage* m_storage;
};

// A picture with a one-pixel border of zeros around it, as the contour search needs.
class PaddedPicture
{
public:
    explicit PaddedPicture(cv::Size size)
        : m_padded(size.height + 2, size.width + 2, CV_8U, cv::Scalar(0)),
          m_inner(m_padded(cv::Rect(1, 1, size.width, size.height)))
    {}
    cv::Mat& padded() { return m_padded; }
    cv::Mat& inner() { return m_inner; }
    // The contour search marks what it visits: load the picture afresh for each search.
    void load(const cv::Mat& picture) { picture.copyTo(m_inner); }

private:
    cv::Mat m_padded;
    cv::Mat m_inner;
};

// Contour area cannot exceed that of the bounding box through the outermost point positions.
double boundingArea(const CvContour& contour)
{
    return double(contour.rect.width - 1) * double(contour.rect.height - 1);
}

float cornerDistance(const cv::Point& a, const cv::Point& b)
{
    const double dx = a.x - b.x;
    const double dy = a.y - b.y;
    return float(std::sqrt(dx * dx + dy * dy));
}

} // namespace

int cvCheckChessboard(const cv::Mat& grey)
{
    if (grey.channels() > 1)
        cv::error(cv::Error::BadNumChannels, "supports single-channel images only", "cvCheckChessboard",
                  kSourceFile, __LINE__);
    if (grey.depth() != CV_8U)
        cv::error(cv::Error::BadDepth, "supports depth=8 images only", "cvCheckChessboard", kSourceFile,
                  __LINE__);
    if (grey.empty())
        return 0;

    // Light areas grow, so dark squares that touch at their corners come apart.
    cv::Mat dilated;
    cv::dilate(grey, dilated, cv::Mat(), cv::Point(-1, -1), 3);

    const float minBox = std::max(10.0f, 0.01f * float(std::max(grey.cols, grey.rows)));
    const float maxSizeRatio = 1.3f;
    const size_t minRun = 30;

    // A level at or below the darkest pixel leaves nothing, one at or above the
    // brightest pixel leaves one blob: neither can show 30 squares.
    double darkest = 0.0;
    double brightest = 0.0;
    cv::minMaxLoc(dilated, &darkest, &brightest);

    PaddedPicture binary(grey.size());
    ContourSearch search;
    std::vector<cv::Point> points;
    std::vector<float> sizes;
    for (int level = 30; level <= 210; level += 10) {
        if (level < darkest || level >= brightest)
            continue;
        cv::threshold(dilated, binary.inner(), level, 255, cv::THRESH_BINARY_INV);

        sizes.clear();
        search.run(binary.padded(), [&](CvContour& contour) {
            // The box around a contour is no longer than the diagonal of its bounding rectangle.
            const double w = contour.rect.width - 1;
            const double h = contour.rect.height - 1;
            if (w * w + h * h < double(minBox) * double(minBox))
                return;
            ContourSearch::points(contour, points);
            const cv::RotatedRect box = cv::minAreaRect(points);
            const float size = std::max(box.size.width, box.size.height);
            const float aspect = box.size.width / std::max(box.size.height, 1.0f);
            if (size >= minBox && aspect >= 0.5f && aspect <= 2.0f)
                sizes.push_back(size);
        });
        std::sort(sizes.begin(), sizes.end());

        for (size_t i = 0; i < sizes.size(); ++i) {
            size_t j = i + 1;
            while (j < sizes.size() && sizes[j] / sizes[i] <= maxSizeRatio)
                ++j;
            if (j - i >= minRun)
                return 1;
        }
    }
    return 0;
}

QuadAreaLimits quadAreaLimits(cv::Size imageSize)
{
    const float side = 0.01f * float(std::max(imageSize.width, imageSize.height));
    const float maxSide = 0.05f * float(imageSize.width);
    return {side < 10.0f ? 100.0f : side * side, maxSide * maxSide};
}

int thresholdBlockSize(cv::Size imageSize, int pass)
{
    const double fraction = pass == 1 ? 0.1 : 0.2;
    return cvRound(std::min(imageSize.width, imageSize.height) * fraction) | 1;
}

bool makeQuad(const std::vector<cv::Point>& approxContour, BoardQuad& quad)
{
    std::vector<cv::Point2f> points;
    for (const cv::Point& p : approxContour)
        points.emplace_back(float(p.x), float(p.y));
    if (!isValidQuad(points, true, 0))
        return false;
    CV_Assert(approxContour.size() == 4);

    quad = BoardQuad();
    float minEdge = FLT_MAX;
    for (int i = 0; i < 4; ++i) {
        quad.corners[i] = approxContour[i];
        minEdge = std::min(minEdge, cornerDistance(approxContour[i], approxContour[(i + 1) % 4]));
    }
    quad.minEdgeLength = minEdge;
    return true;
}

namespace {

void findQuadsInPadded(cv::Mat& padded, const QuadAreaLimits& limits, ContourSearch& search,
                       std::vector<BoardQuad>& quads)
{
    std::vector<cv::Point> contour;
    std::vector<cv::Point> approx;
    std::vector<cv::Point> again;
    search.run(padded, [&](CvContour& found) {
        // Speckle: a contour no larger than its bounding box cannot pass the area limit.
        if (boundingArea(found) <= limits.minArea)
            return;
        ContourSearch::points(found, contour);
        const float area = float(cv::contourArea(contour, false));
        if (!(area > limits.minArea && area < limits.maxArea))
            return;
        for (int level = 1; level <= 7; ++level) {
            cv::approxPolyDP(contour, approx, level, true);
            if (approx.size() == 4)
                break;
            cv::approxPolyDP(approx, again, level, true);
            approx.swap(again);
            if (approx.size() == 4)
                break;
        }
        BoardQuad quad;
        if (makeQuad(approx, quad))
            quads.push_back(quad);
    });
}

} // namespace

std::vector<BoardQuad> findQuads(const cv::Mat& binary, const QuadAreaLimits& limits)
{
    PaddedPicture picture(binary.size());
    picture.load(binary);
    ContourSearch search;
    std::vector<BoardQuad> quads;
    findQuadsInPadded(picture.padded(), limits, search, quads);
    return quads;
}

void linkQuads(std::vector<BoardQuad>& quads, int dilation)
{
    const float maxLinkDistance = float(5 * dilation);
    const int count = int(quads.size());
    for (int q = 0; q < count; ++q) {
        for (int i = 0; i < 4; ++i) {
            if (quads[q].neighbors[i] >= 0)
                continue;
            const cv::Point p = quads[q].corners[i];

            float best = FLT_MAX;
            int closest = -1;
            int closestCorner = -1;
            for (int r = 0; r < count; ++r) {
                if (r == q)
                    continue;
                const float ratio = quads[q].minEdgeLength / quads[r].minEdgeLength;
                if (ratio < 0.5f || ratio > 2.0f)
                    continue;
                for (int j = 0; j < 4; ++j) {
                    if (quads[r].neighbors[j] >= 0)
                        continue;
                    const float dist = cornerDistance(p, quads[r].corners[j]);
                    if (dist < best) {
                        best = dist;
                        closest = r;
                        closestCorner = j;
                    }
                }
            }
            if (closest < 0)
                continue;

            BoardQuad& quad = quads[q];
            BoardQuad& other = quads[closest];
            const cv::Point c = other.corners[closestCorner];

            bool refused = false;
            for (int k = 0; k < 4 && !refused; ++k)
                refused = quad.neighbors[k] == closest || cornerDistance(c, quad.corners[k]) < best;
            refused = refused || quad.neighborCount > 3 || other.neighborCount > 3;
            for (int k = 0; k < other.neighborCount && k < 4 && !refused; ++k)
                refused = other.neighbors[k] == q;
            for (int t = 0; t < count && !refused; ++t) {
                if (t == q || t == closest)
                    continue;
                for (int j = 0; j < 4 && !refused; ++j)
                    refused = quads[t].neighbors[j] < 0 && cornerDistance(c, quads[t].corners[j]) < best;
            }
            if (refused || cornerDistance(p, c) > maxLinkDistance)
                continue;

            quad.neighborCount++;
            quad.neighbors[i] = closest;
            other.neighborCount++;
            other.neighbors[closestCorner] = q;
        }
    }
}

void collectContactPoints(std::vector<BoardQuad>& quads, std::vector<cv::Point>& contactPoints)
{
    std::vector<int> group;
    std::vector<std::pair<int, int>> stack; // quad, next neighbour slot
    int groupIndex = 0;
    for (size_t seed = 0; seed < quads.size(); ++seed) {
        if (quads[seed].neighborCount <= 0 || quads[seed].groupIndex >= 0)
            continue;

        // Depth first: each newly reached neighbour is expanded at once.
        quads[seed].groupIndex = groupIndex;
        group.assign(1, int(seed));
        stack.assign(1, {int(seed), 0});
        while (!stack.empty()) {
            auto& [current, slot] = stack.back();
            if (slot == 4) {
                stack.pop_back();
                continue;
            }
            const int n = quads[current].neighbors[slot++];
            if (n >= 0 && quads[n].neighborCount > 0 && quads[n].groupIndex < 0) {
                quads[n].groupIndex = groupIndex;
                group.push_back(n);
                stack.emplace_back(n, 0);
            }
        }

        if (group.size() == 2) {
            const BoardQuad& a = quads[group[0]];
            const BoardQuad& b = quads[group[1]];
            const float ratio = a.minEdgeLength / b.minEdgeLength;
            if (ratio >= 0.7f && ratio <= 1.4f) {
                // The centre of each quad is the middle of its diagonal 0-2; the
                // contact point is the middle between the two centres.
                const int x =
                    ((a.corners[0].x + a.corners[2].x) / 2 + (b.corners[0].x + b.corners[2].x) / 2) / 2;
                const int y =
                    ((a.corners[0].y + a.corners[2].y) / 2 + (b.corners[0].y + b.corners[2].y) / 2) / 2;
                contactPoints.emplace_back(x, y);
            }
        }
        ++groupIndex;
    }
}

std::vector<DetectedRectangle> peelRectangles(const std::vector<cv::Point>& contactPoints)
{
    std::vector<DetectedRectangle> rectangles;
    std::vector<cv::Point> remaining = contactPoints;
    std::vector<cv::Point> hull;
    std::vector<cv::Point> approx;
    while (!remaining.empty()) {
        cv::convexHull(remaining, hull, false, true);
        const double eps = 0.02 * cv::arcLength(hull, true);
        cv::approxPolyDP(hull, approx, eps, true);

        DetectedRectangle rectangle;
        if (!rectangle.setCorners(approx))
            break;

        // Everything within 10 pixels of an edge line belongs to this outline.
        const size_t n = approx.size();
        for (size_t c = 0; c < n; ++c) {
            const cv::Point a = approx[c];
            const cv::Point b = approx[(c + 1) % n];
            const double length = std::hypot(double(b.x - a.x), double(b.y - a.y));
            remaining.erase(std::remove_if(remaining.begin(), remaining.end(),
                                           [&](const cv::Point& p) {
                                               if (p == a)
                                                   return true;
                                               const double cross = double(p.x - a.x) * (b.y - a.y) -
                                                                    double(p.y - a.y) * (b.x - a.x);
                                               const int distance = int(cross / length);
                                               return distance > -10 && distance < 10;
                                           }),
                            remaining.end());
        }
        rectangles.push_back(rectangle);
    }
    return rectangles;
}

bool findTesraBoard(const cv::Mat& image, std::vector<DetectedRectangle>& rectangles)
{
    rectangles.clear();
    if (image.depth() != CV_8U || image.channels() == 2)
        cv::error(cv::Error::StsUnsupportedFormat, "Only 8-bit grayscale or color images are supported",
                  "findTesraBoard", kSourceFile, __LINE__);
    if (image.empty())
        return false;

    cv::Mat grey;
    if (image.channels() > 1)
        cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
    else
        grey = image;
    cv::GaussianBlur(grey, grey, cv::Size(3, 3), 0, 0, cv::BORDER_DEFAULT);

    if (cvCheckChessboard(grey) <= 0)
        return false;

    const cv::Size size = grey.size();
    const QuadAreaLimits limits = quadAreaLimits(size);
    cv::Mat threshold;
    PaddedPicture work(size);
    ContourSearch search;
    std::vector<BoardQuad> quads;
    std::vector<cv::Point> contactPoints;
    bool found = false;
    for (int pass = 0; pass < 3 && !found; ++pass) {
        const int blockSize = thresholdBlockSize(size, pass);
        const double offset = (pass / 2) * 5;
        cv::adaptiveThreshold(grey, threshold, 255, cv::ADAPTIVE_THRESH_MEAN_C, cv::THRESH_BINARY, blockSize,
                              offset);
        for (int dilation = 1; dilation <= 7 && !found; ++dilation) {
            // d - 1 dilations of the threshold image: one more than the attempt before.
            if (dilation > 1)
                cv::dilate(threshold, threshold, cv::Mat());
            work.load(threshold);
            // Squares cut by the picture's edge still get closed outlines.
            cv::rectangle(work.inner(), cv::Point(0, 0), cv::Point(size.width - 1, size.height - 1),
                          cv::Scalar(255), 3, cv::LINE_8);

            quads.clear();
            findQuadsInPadded(work.padded(), limits, search, quads);
            contactPoints.clear();
            if (!quads.empty()) {
                linkQuads(quads, dilation);
                collectContactPoints(quads, contactPoints);
            }
            if (int(contactPoints.size()) >= kMinContactPoints) {
                rectangles = peelRectangles(contactPoints);
                found = rectangles.size() == 3;
            }
        }
    }
    if (!found)
        return false;

    for (DetectedRectangle& rectangle : rectangles) {
        std::vector<cv::Point2f> corners = rectangle.corners();
        cv::cornerSubPix(grey, corners, cv::Size(5, 5), cv::Size(-1, -1),
                         cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 15, 0.1));
        rectangle.setRefinedCorners(corners);
    }
    return true;
}
