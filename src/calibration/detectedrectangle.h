#pragma once

#include <QMetaType>
#include <opencv2/core.hpp>
#include <vector>

// One rectangle of the calibration board as found in a picture: four corners
// in image pixels, ordered by their angle around the centre, so that an
// upright rectangle lists top-left, top-right, bottom-right, bottom-left.
class DetectedRectangle
{
public:
    DetectedRectangle() = default;

    const std::vector<cv::Point2f>& corners() const { return m_corners; }
    // Mean of the corners as they were stored by setCorners (refinement leaves it).
    cv::Point2f center() const { return m_center; }

    // Stores a nearly right-angled convex quadrilateral and orders its corners.
    // Refuses anything else and then leaves the rectangle unchanged.
    bool setCorners(const std::vector<cv::Point2f>& points);
    bool setCorners(const std::vector<cv::Point>& points);

    // Moves the stored corners to refined positions of the same corners: order
    // and centre stay as they are. Ignored unless there are as many points.
    void setRefinedCorners(const std::vector<cv::Point2f>& points);

    // Unsigned area of the corner polygon.
    double area() const;
    // The longer of the edges corner 0-1 and corner 1-2, in whole pixels, as
    // x1, y1, x2, y2; zero without at least three corners.
    cv::Vec4i dominantEdge() const;
    // Direction of the dominant edge in degrees, in (-180, 180].
    double angle() const;

private:
    std::vector<cv::Point2f> m_corners;
    cv::Point2f m_center;
};

Q_DECLARE_METATYPE(std::vector<DetectedRectangle>)

// The quadrilateral test shared by the rectangles and the board detector:
// exactly four points, convex, corners 1 to 3 near a right angle (|cos| at most
// 0.3 at level 0, 0.1 at level 1) and, with checkAspect, the side 0-1 within 30
// (level 0) or 5 (level 1) percent of the side 1-2, measured against the latter.
bool isValidQuad(const std::vector<cv::Point2f>& points, bool checkAspect, int level);
