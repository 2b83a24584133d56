#include "calibration/detectedrectangle.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <utility>

bool isValidQuad(const std::vector<cv::Point2f>& points, bool checkAspect, int level)
{
    const float maxCosine = level == 0 ? 0.3f : 0.1f;
    const float sideTolerance = level == 0 ? 0.3f : 0.05f;

    if (points.size() != 4)
        return false;
    if (!cv::isContourConvex(points))
        return false;

    // Vertex 0 is not examined: a convex quadrilateral with three right angles has a fourth.
    float largestCosine = 0.0f;
    for (int k = 1; k < 4; ++k) {
        const cv::Point2f vertex = points[k];
        const cv::Point2f u = points[(k + 1) % 4] - vertex;
        const cv::Point2f v = points[k - 1] - vertex;
        const double uu = double(u.x) * u.x + double(u.y) * u.y;
        const double vv = double(v.x) * v.x + double(v.y) * v.y;
        const double cosine = (double(u.x) * v.x + double(u.y) * v.y) / std::sqrt(uu * vv + 1e-10);
        largestCosine = std::max(largestCosine, float(std::fabs(cosine)));
    }
    if (largestCosine > maxCosine)
        return false;

    if (checkAspect) {
        const float e = float(cv::norm(points[0] - points[1]));
        const float g = float(cv::norm(points[1] - points[2]));
        return std::fabs(1.0f - e / g) <= sideTolerance;
    }
    return true;
}

bool DetectedRectangle::setCorners(const std::vector<cv::Point2f>& points)
{
    if (points.size() != 4 || !isValidQuad(points, false, 1))
        return false;

    double sumX = 0.0;
    double sumY = 0.0;
    for (const cv::Point2f& p : points) {
        sumX += p.x;
        sumY += p.y;
    }
    m_center = cv::Point2f(float(sumX / points.size()), float(sumY / points.size()));

    std::vector<std::pair<float, cv::Point2f>> byAngle;
    byAngle.reserve(points.size());
    for (const cv::Point2f& p : points)
        byAngle.emplace_back(std::atan2(p.y - m_center.y, p.x - m_center.x), p);
    std::sort(byAngle.begin(), byAngle.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    m_corners.clear();
    for (const auto& entry : byAngle)
        m_corners.push_back(entry.second);
    return true;
}

bool DetectedRectangle::setCorners(const std::vector<cv::Point>& points)
{
    std::vector<cv::Point2f> floatPoints;
    floatPoints.reserve(points.size());
    for (const cv::Point& p : points)
        floatPoints.emplace_back(float(p.x), float(p.y));
    return setCorners(floatPoints);
}

void DetectedRectangle::setRefinedCorners(const std::vector<cv::Point2f>& points)
{
    if (points.size() == m_corners.size())
        m_corners = points;
}

double DetectedRectangle::area() const
{
    return m_corners.empty() ? 0.0 : cv::contourArea(m_corners, false);
}

cv::Vec4i DetectedRectangle::dominantEdge() const
{
    if (m_corners.size() < 3)
        return cv::Vec4i();
    // cvRound rounds halves to even.
    const cv::Point p0(cvRound(m_corners[0].x), cvRound(m_corners[0].y));
    const cv::Point p1(cvRound(m_corners[1].x), cvRound(m_corners[1].y));
    const cv::Point p2(cvRound(m_corners[2].x), cvRound(m_corners[2].y));
    if (cv::norm(p0 - p1) > cv::norm(p1 - p2))
        return cv::Vec4i(p0.x, p0.y, p1.x, p1.y);
    return cv::Vec4i(p1.x, p1.y, p2.x, p2.y);
}

double DetectedRectangle::angle() const
{
    const cv::Vec4i edge = dominantEdge();
    return std::atan2(double(edge[3] - edge[1]), double(edge[2] - edge[0])) * 57.29577951308232;
}
