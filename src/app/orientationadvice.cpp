#include "app/orientationadvice.h"

namespace {

QString advice(const QString& side, const QString& looks, const QString& what)
{
    return QStringLiteral("%1 picture looks %2: %3 (%4 camera, Acquisition tab)")
        .arg(side, looks, what, side);
}

// One flip: the side that has the box ticked alone is the one set by mistake.
QString flipAdvice(const QString& looks, const QString& box, bool leftTicked, bool rightTicked)
{
    if (leftTicked && !rightTicked)
        return advice(QStringLiteral("Left"), looks, QStringLiteral("untick ") + box);
    if (rightTicked)
        return advice(QStringLiteral("Right"), looks, QStringLiteral("untick ") + box);
    return advice(QStringLiteral("Right"), looks, QStringLiteral("tick ") + box);
}

} // namespace

QString orientationAdvice(PictureOrientation verdict, const FrameTransform& left, const FrameTransform& right)
{
    const QString flipHorizontal = QStringLiteral("Flip horizontal");
    const QString flipVertical = QStringLiteral("Flip vertical");
    switch (verdict) {
    case PictureOrientation::AsIs:
        return QString();
    case PictureOrientation::MirroredLeftRight:
        return flipAdvice(QStringLiteral("mirrored left-right"), flipHorizontal, left.flipHorizontal,
                          right.flipHorizontal);
    case PictureOrientation::MirroredTopBottom:
        return flipAdvice(QStringLiteral("mirrored top-bottom"), flipVertical, left.flipVertical,
                          right.flipVertical);
    case PictureOrientation::Turned180:
        break;
    }
    const QString looks = QStringLiteral("turned 180 degrees");
    const bool leftTurned = left.rotate180 || (left.flipHorizontal && left.flipVertical);
    const bool rightTurned = right.rotate180 || (right.flipHorizontal && right.flipVertical);
    if (leftTurned && !rightTurned)
        return advice(QStringLiteral("Left"), looks,
                      left.rotate180 ? QStringLiteral("untick Rotate 180")
                                     : QStringLiteral("untick Flip horizontal and Flip vertical"));
    if (right.rotate180)
        return advice(QStringLiteral("Right"), looks, QStringLiteral("untick Rotate 180"));
    if (rightTurned)
        return advice(QStringLiteral("Right"), looks,
                      QStringLiteral("untick Flip horizontal and Flip vertical"));
    return advice(QStringLiteral("Right"), looks, QStringLiteral("tick Rotate 180"));
}
