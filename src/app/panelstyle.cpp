#include "app/panelstyle.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

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

bool togglePanel(QWidget* panel, QAbstractButton* button)
{
    const bool hide = !panel->isHidden();
    panel->setVisible(!hide);
    button->setIcon(
        button->style()->standardIcon(hide ? QStyle::SP_DialogNoButton : QStyle::SP_DialogYesButton));
    return hide;
}

void markPanelShown(QAbstractButton* button)
{
    button->setIcon(button->style()->standardIcon(QStyle::SP_DialogYesButton));
}

void makeColumnScrollable(QBoxLayout* row, QLayout* column, int minimumCharacters)
{
    const int index = row->indexOf(column);
    const int stretch = row->stretch(index);
    row->removeItem(column);
    column->setParent(nullptr);
    auto* area = new QScrollArea(row->parentWidget());
    area->setObjectName(QStringLiteral("scroll_") + column->objectName());
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    auto* content = new QWidget(area);
    content->setLayout(column);
    area->setWidget(content);
    const int textWidth = content->fontMetrics().averageCharWidth() * minimumCharacters;
    area->setMinimumWidth(std::max(content->minimumSizeHint().width(), textWidth) +
                          area->verticalScrollBar()->sizeHint().width());
    row->insertWidget(index, area, stretch);
}
