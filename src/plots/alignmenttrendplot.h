#pragma once

#include "calibration/alignmentreadout.h"
#include "scene/scenealignment.h"

#include <QVector>
#include <QWidget>
#include <array>

class QLabel;
class QwtPlot;
class QwtPlotCurve;
class QwtPlotZoneItem;

// The four alignment readings over the last minute, one small plot per
// reading stacked top to bottom, each on its own unit with the indicator's
// tolerance shaded (green band inside yellow band, pale red outside), so that
// a crew sees an adjustment take effect as they turn the screw. Time runs
// along the bottom, in seconds before the newest reading.
class AlignmentTrendPlot : public QWidget
{
    Q_OBJECT

public:
    static constexpr double kSpanSeconds = 60.0;

    enum Axis
    {
        Vertical = 0,
        Roll = 1,
        Size = 2,
        Horizontal = 3,
    };

    explicit AlignmentTrendPlot(QWidget* parent = nullptr);
    ~AlignmentTrendPlot() override;

    // Adds a reading made at `seconds` (any steadily increasing clock) and
    // drops those more than a minute older. A reading earlier than the
    // newest one restarts the trend (the clock was restarted).
    void addReading(double seconds, const AlignmentReading& reading);
    // Adds a scene reading on the same clock, drawn as a second curve on the
    // vertical, roll and size plots (the scene has no horizontal reading).
    void addSceneReading(double seconds, const SceneReading& reading);
    // Shades the tolerance of each reading.
    void setBands(const ReadoutBands& bands);
    // Forgets every reading.
    void clear();

    int readingCount() const { return m_times.size(); }
    // The plot of one reading, for tests and screenshots.
    QwtPlot* plot(Axis axis) const { return m_plots[axis]; }
    // The values shown of one reading, oldest first, and their times in
    // seconds before the newest (0 for the newest, negative before).
    QVector<double> values(Axis axis) const { return m_values[axis]; }
    QVector<double> shownTimes() const;
    // The scene's values of one reading (none for Horizontal) and their times, likewise.
    QVector<double> sceneValues(Axis axis) const { return m_sceneValues[axis]; }
    QVector<double> shownSceneTimes() const;

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    // The plots share the height above the legend line equally.
    void resizeEvent(QResizeEvent* event) override;

private:
    void redraw();

    std::array<QwtPlot*, 4> m_plots{};
    QLabel* m_legend = nullptr;
    std::array<QwtPlotCurve*, 4> m_curves{};
    std::array<QwtPlotZoneItem*, 4> m_greenZones{};
    std::array<QwtPlotZoneItem*, 4> m_yellowZones{};
    std::array<double, 4> m_yellowReach{}; // the larger magnitude of the yellow band
    QVector<double> m_times;
    std::array<QVector<double>, 4> m_values;
    std::array<QwtPlotCurve*, 4> m_sceneCurves{};
    QVector<double> m_sceneTimes;
    std::array<QVector<double>, 4> m_sceneValues; // Horizontal stays empty
    // The newest time of either source: "now" on the time axis.
    double newest() const;
};
