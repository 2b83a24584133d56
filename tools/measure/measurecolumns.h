#pragma once

// The columns of duoscope-measure's output, named once: scripts read them by
// these names, so a name, once released, stays. A value that was not
// measured is empty in CSV and null in JSON.

#include "framemeasurement.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

struct Cell
{
    enum class Kind
    {
        Empty,
        Number,
        Integer,
        Flag,
        Text,
    };
    Kind kind = Kind::Empty;
    double number = 0; // Number, Integer, Flag (0 or 1)
    int decimals = 0;  // of a Number
    QString text;
};

struct Column
{
    const char* name;
    std::function<Cell(const FrameMeasurement&)> value;
    // Readings the summary reports: a unit for its table, and, where the
    // calibrator has a tolerance for it, whether a frame lies outside.
    const char* unit = nullptr;
    std::function<bool(const FrameMeasurement&)> outside = {};
};

const std::vector<Column>& measureColumns();

QByteArray csvHeader();
QByteArray csvLine(const FrameMeasurement& measurement);
QByteArray jsonLine(const FrameMeasurement& measurement);
