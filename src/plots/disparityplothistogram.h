#pragma once

#include <qwt_plot_histogram.h>

// The histogram item of the disparity plot: one column per whole disparity,
// coloured with the parallax classes of the coloured disparity map.
class DisparityPlotHistogram : public QwtPlotHistogram
{
public:
    DisparityPlotHistogram();
    ~DisparityPlotHistogram() override;

    void setDisparityLimits(int minDisparity, int maxDisparity, int farDisparity, int screenDisparityLow,
                            int screenDisparityHigh, int nearDisparity);

    // Draws every column in its class colour; the item's style is not used.
    void drawSeries(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                    const QRectF& canvasRect, int from, int to) const override;

private:
    int32_t minDisparity = 0;
    int32_t maxDisparity = 0;
    int32_t farDisparity = 0;
    int32_t screenDisparityLow = 0;
    int32_t screenDisparityHigh = 0;
    int32_t nearDisparity = 0;
};
