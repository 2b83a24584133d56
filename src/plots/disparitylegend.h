#pragma once

#include <QWidget>

class QBoxLayout;

// What the colours of the disparity map and histogram mean: a swatch and a
// few words per class, so that no depth is told by colour alone.
class DisparityLegend : public QWidget
{
public:
    enum class Kind
    {
        ColoredMap, // near, screen, between the limits, far, unmatched
        GreyMap,    // the grey ramp from far to near, unmatched
        Histogram,  // as the coloured map; unmatched pixels are not counted
    };

    // Takes a parent widget so that a form can promote a plain widget to it.
    explicit DisparityLegend(QWidget* parent = nullptr);

    void setKind(Kind kind);
    Kind kind() const { return m_kind; }
    // Entries side by side (under the histogram) or one under another (beside the map).
    void setHorizontal(bool horizontal);

    // The entries' texts in their order, as shown.
    QStringList texts() const;

private:
    void rebuild();

    Kind m_kind = Kind::ColoredMap;
    bool m_horizontal = false;
    QBoxLayout* m_layout = nullptr;
};
