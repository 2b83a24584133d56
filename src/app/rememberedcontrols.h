#pragma once

// Controls whose values the program keeps between starts in its settings
// store: spin boxes (whole and decimal) and check boxes.

#include <QWidget>
#include <initializer_list>

struct RememberedControl
{
    const char* key; // in the settings store
    QWidget* control;
};

// Gives each control its stored value, when one is stored that the control
// can hold (a value outside its range or of the wrong kind is ignored, the
// control keeps its own), and stores every change from now on.
void rememberControls(std::initializer_list<RememberedControl> controls);
