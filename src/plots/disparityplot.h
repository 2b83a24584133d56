#pragma once

#include "disparity/tesra_disparity_map.h"

#include <qwt_plot.h>

// The histogram of the last disparity analysis as coloured columns on a white
// canvas, without a left axis. The bottom axis is parallax in pixels of the
// full picture width, with the budget's sign: near (negative, in front of the
// screen) on the left, far (positive, behind it) on the right, for a live
// analysis of a narrowed picture too. Two dashed lines mark the nearest and
// farthest parallax of the depth budget. Takes a parent widget so that a form can promote a plain
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

    // Where the column of a disparity of the analysed map stands on the axis.
    static double parallaxPosition(double disparity, const DisparityHistogramInfo& info);
};
