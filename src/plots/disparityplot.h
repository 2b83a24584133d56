#pragma once

#include "disparity/tesra_disparity_map.h"

#include <qwt_plot.h>

// The histogram of the last disparity analysis as coloured columns on a white
// canvas, without a left axis. The bottom axis runs from far (left) to near
// (right); two dashed lines mark the nearest and farthest parallax of the
// depth budget. Takes a parent widget so that a form can promote a plain
// widget to it.
class DisparityPlot : public QwtPlot
{
    Q_OBJECT

public:
    explicit DisparityPlot(QWidget* parent = nullptr);
    ~DisparityPlot() override;

    // Replaces the shown histogram and budget lines (the plot never holds more
    // than one histogram) and redraws.
    void setHistogram(DisparityHistogramInfo info);
};
