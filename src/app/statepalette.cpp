#include "app/statepalette.h"

#include <QBrush>

const QPalette& statePalette(IndicatorState state)
{
    auto solid = [](Qt::GlobalColor colour) {
        QPalette palette;
        palette.setBrush(QPalette::All, QPalette::Window, QBrush(colour, Qt::SolidPattern));
        return palette;
    };
    static const QPalette green = solid(Qt::green);
    static const QPalette yellow = solid(Qt::yellow);
    static const QPalette red = solid(Qt::red);
    switch (state) {
    case IndicatorState::Green:
        return green;
    case IndicatorState::Yellow:
        return yellow;
    case IndicatorState::Red:
        break;
    }
    return red;
}
