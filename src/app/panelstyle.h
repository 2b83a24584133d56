#pragma once

#include "calibration/calibrationindicators.h"

#include <QPalette>

class QAbstractButton;
class QBoxLayout;
class QLayout;
class QWidget;

// Looks the tabs share: the colour behind a state's word, and panels that
// their button shows and hides.

// The background of a label that says a state (green, yellow or red); the
// label also says the state in words.
const QPalette& statePalette(IndicatorState state);

// Hides a shown panel or shows a hidden one, with the icon of the new state
// on its button. Whether the panel is shown is its own state, not whether its
// tab is on screen. True when the panel was hidden.
bool togglePanel(QWidget* panel, QAbstractButton* button);
// The icon of a shown panel on its button.
void markPanelShown(QAbstractButton* button);

// Puts a column of controls, an item of row, into a scroll area in its place
// and with its stretch: a screen too low for the column scrolls it instead of
// growing the window. The area keeps the column's width, and at least the
// width of minimumCharacters average characters for texts that arrive later.
void makeColumnScrollable(QBoxLayout* row, QLayout* column, int minimumCharacters = 0);
