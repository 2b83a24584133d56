#include "rigscene.h"

#include <algorithm>
#include <cmath>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

namespace virtualcards {

namespace {

constexpr double degree = M_PI / 180.0;

// Picture width for which textures carry about one texel per pixel.
constexpr double referenceWidth = 1920.0;
constexpr double maxTexels = 2.0e6;

enum TextureStyle
{
    Blobs,
    Bricks,
    Planks,
};

// Rich, non-repeating texture in muted colours around `base`, so that the
// disparity matcher finds every patch and the picture still looks like a set.
cv::Mat makeTexture(cv::Size size, uint64_t seed, int style, cv::Scalar base)
{
    cv::RNG rng(seed);
    cv::Mat texture(size, CV_8UC3, base);
    const auto colour = [&](double spread) {
        const double light = rng.gaussian(spread);
        cv::Scalar c;
        for (int i = 0; i < 3; ++i)
            c[i] = std::clamp(base[i] + light + rng.gaussian(spread / 3), 0.0, 255.0);
        return c;
    };
    const int unit = std::max(4, std::min(size.width, size.height) / 24);
    if (style == Bricks) {
        texture.setTo(cv::Scalar(165, 175, 180)); // mortar
        const int brickH = unit, brickW = 2 * unit;
        for (int y = 0, row = 0; y < size.height; y += brickH, ++row)
            for (int x = -(row % 2) * brickW / 2; x < size.width; x += brickW)
                cv::rectangle(texture, cv::Rect(x + 2, y + 2, brickW - 4, brickH - 4), colour(22),
                              cv::FILLED);
    } else if (style == Planks) {
        // Boards running away from the camera, with grain along them.
        const int width = std::max(6, size.width / 40);
        for (int x = 0; x < size.width; x += width) {
            cv::rectangle(texture, cv::Rect(x, 0, width - 2, size.height), colour(18), cv::FILLED);
            for (int k = 0; k < size.height / 6; ++k) {
                const int gx = x + rng.uniform(0, width - 2);
                const int gy = rng.uniform(0, size.height);
                cv::line(texture, {gx, gy}, {gx, gy + rng.uniform(unit, 6 * unit)}, colour(30), 1,
                         cv::LINE_AA);
            }
        }
    } else {
        const int count = size.area() / (unit * unit) * 6;
        for (int k = 0; k < count; ++k)
            cv::circle(texture, {rng.uniform(0, size.width), rng.uniform(0, size.height)},
                       rng.uniform(unit / 6 + 1, unit), colour(45), cv::FILLED);
    }
    cv::Mat grain(size, CV_8UC3);
    rng.fill(grain, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(24));
    cv::add(texture, grain, texture);
    cv::subtract(texture, cv::Scalar::all(12), texture);
    // Smooths the edges and what the warp would otherwise alias where a plane recedes.
    cv::GaussianBlur(texture, texture, cv::Size(3, 3), 0.7);
    return texture;
}

} // namespace

RigScene::RigScene(const RigSettings& rig) : m_rig(rig), m_board(CalibrationBoard::standard())
{
    const cv::Size2d card = m_board.size() * 0.001; // metres
    const double halfView = std::tan(rig.fieldOfView * degree / 2.0);
    m_boardDistance = rig.boardDistance > 0.0 ? rig.boardDistance : card.width / (0.4 * 2.0 * halfView);
    m_convergence = rig.convergence > 0.0 ? rig.convergence : m_boardDistance;
    // Upright and square to the cameras, its centre on the rig's axis.
    m_boardOrigin = cv::Vec3d(-card.width / 2.0, -card.height / 2.0, m_boardDistance);
}

void RigScene::build() const
{
    const RigSettings& rig = m_rig;

    // Everything scales with the board distance, so the picture keeps its look.
    const double d = m_boardDistance;
    const double halfView = std::tan(rig.fieldOfView * degree / 2.0);
    const double floorLevel = 0.5 * d; // below the cameras
    const double wallDepth = 3.6 * d;
    const double wallHalfWidth = 1.6 * wallDepth * halfView;
    const double wallTop = -1.2 * wallDepth * halfView;
    const cv::Vec3d x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);

    // Colours in blue, green, red order.
    addPlane({-wallHalfWidth, wallTop, wallDepth}, x, y, 2 * wallHalfWidth, floorLevel - wallTop, 11, Bricks,
             {70, 90, 150});
    // The floor is out of sight nearer than about 1.6 board distances.
    const double floorStart = 1.6 * d;
    addPlane({-wallHalfWidth, floorLevel, wallDepth}, x, -z, 2 * wallHalfWidth, wallDepth - floorStart, 12,
             Planks, {60, 105, 140});
    // Boxes and a hanging panel between the board and the wall, and one box in front of the board.
    addPlane({-0.95 * d, -0.5 * d, 2.6 * d}, x, y, 0.4 * d, 0.45 * d, 13, Blobs, {140, 120, 90});
    addPlane({0.3 * d, -0.05 * d, 2.0 * d}, x, y, 0.35 * d, floorLevel + 0.05 * d, 14, Blobs, {90, 140, 120});
    addPlane({-0.55 * d, -0.2 * d, 1.4 * d}, x, y, 0.28 * d, floorLevel + 0.2 * d, 15, Blobs, {80, 110, 170});
    addPlane({0.13 * d, 0.08 * d, 0.7 * d}, x, y, 0.2 * d, floorLevel, 16, Blobs, {150, 100, 130});

    cv::parallel_for_(cv::Range(0, static_cast<int>(m_planes.size())), [this](const cv::Range& range) {
        for (int i = range.start; i < range.end; ++i) {
            Plane& plane = m_planes[static_cast<size_t>(i)];
            plane.texture = makeTexture(plane.textureSize, plane.seed, plane.style, plane.colour);
        }
    });
}

void RigScene::addPlane(cv::Vec3d origin, cv::Vec3d across, cv::Vec3d down, double width, double height,
                        uint64_t seed, int style, cv::Scalar colour) const
{
    // About one texel per pixel of a full HD picture where the plane is nearest,
    // within a budget that keeps the scene quick to make.
    const double nearest = std::max(0.1 * m_boardDistance, std::min(origin[2], (origin + down * height)[2]));
    double pixelsPerMetre = referenceWidth / 2.0 / std::tan(m_rig.fieldOfView * degree / 2.0) / nearest;
    pixelsPerMetre = std::min(pixelsPerMetre, std::sqrt(maxTexels / (width * height)));
    const cv::Size size(std::max(16, static_cast<int>(width * pixelsPerMetre)),
                        std::max(16, static_cast<int>(height * pixelsPerMetre)));
    m_planes.push_back(
        Plane{origin, across, down, width, height, nearest, cv::Mat(), size, seed, style, colour});
}

cv::Matx33d RigScene::toImage(const cv::Vec3d& origin, const cv::Vec3d& across, const cv::Vec3d& down,
                              RigCamera camera, cv::Size fullSize, cv::Size size) const
{
    const bool left = camera == RigCamera::Left;
    const CameraMisalignment& off = left ? m_rig.left : m_rig.right;
    const double half = m_rig.interaxial / 2000.0;
    const cv::Vec3d centre(left ? -half : half, 0, 0);

    // Parallel cameras whose pictures are shifted so that they meet at the
    // convergence distance: disparities without the keystone of turned-in cameras.
    const double f = fullSize.width / 2.0 / std::tan(m_rig.fieldOfView * degree / 2.0);
    const double cx = fullSize.width / 2.0, cy = fullSize.height / 2.0;
    const double shift = (left ? -1 : 1) * f * half / m_convergence;
    const cv::Matx33d intrinsics(f, 0, cx + shift, 0, f, cy, 0, 0, 1);
    // Zoom and roll about the picture's centre, then the offsets; then the squeeze of the signal.
    const double c = std::cos(off.roll * degree) * off.zoom, s = std::sin(off.roll * degree) * off.zoom;
    const cv::Matx33d misalignment(c, -s, cx + off.horizontal - c * cx + s * cy, s, c,
                                   cy + off.vertical - s * cx - c * cy, 0, 0, 1);
    const cv::Matx33d squeeze(static_cast<double>(size.width) / fullSize.width, 0, 0, 0,
                              static_cast<double>(size.height) / fullSize.height, 0, 0, 0, 1);

    const cv::Vec3d t = origin - centre;
    const cv::Matx33d onPlane(across[0], down[0], t[0], across[1], down[1], t[1], across[2], down[2], t[2]);
    return squeeze * misalignment * intrinsics * onPlane;
}

cv::Mat RigScene::render(RigCamera camera, cv::Size fullSize, cv::Size size) const
{
    std::call_once(m_built, [this] { build(); });
    cv::Mat view(size, CV_8UC3, cv::Scalar(70, 60, 50));
    bool boardDrawn = false;
    for (const Plane& plane : m_planes) {
        // Far to near: the board goes in before the first object in front of it.
        if (!boardDrawn && plane.nearest < m_boardDistance) {
            drawBoard(view, camera, fullSize);
            boardDrawn = true;
        }
        const cv::Vec3d across = plane.across * (plane.width / plane.texture.cols);
        const cv::Vec3d down = plane.down * (plane.height / plane.texture.rows);
        const cv::Matx33d toView = toImage(plane.origin, across, down, camera, fullSize, size);
        // Only where the plane lies: elsewhere the warp would also paint the
        // horizon of a receding plane, where its mapping degenerates.
        std::vector<cv::Point2f> corners;
        const float w = static_cast<float>(plane.texture.cols), h = static_cast<float>(plane.texture.rows);
        cv::perspectiveTransform(std::vector<cv::Point2f>{{0, 0}, {w, 0}, {w, h}, {0, h}}, corners,
                                 cv::Mat(toView));
        const cv::Rect area = cv::boundingRect(corners) & cv::Rect(cv::Point(), size);
        if (area.empty())
            continue;
        const cv::Matx33d toArea = cv::Matx33d(1, 0, -area.x, 0, 1, -area.y, 0, 0, 1) * toView;
        cv::Mat region = view(area);
        cv::warpPerspective(plane.texture, region, cv::Mat(toArea), area.size(), cv::INTER_LINEAR,
                            cv::BORDER_TRANSPARENT);
    }
    if (!boardDrawn)
        drawBoard(view, camera, fullSize);
    return view;
}

void RigScene::drawBoard(cv::Mat& view, RigCamera camera, cv::Size fullSize) const
{
    // Board millimetres to metres in the scene; a lit card, not paper white.
    const cv::Vec3d across(0.001, 0, 0), down(0, 0.001, 0);
    m_board.render(view, toImage(m_boardOrigin, across, down, camera, fullSize, view.size()), 225.0, 30.0);
}

} // namespace virtualcards
