#include "plots/disparitylegend.h"

#include "disparity/tesra_disparity_map.h"

#include <QBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>

namespace {

struct Entry
{
    QString text;
    QString toolTip;
    // Colours of the swatch from its left to its right edge: one for a flat
    // swatch, several for a shaded one.
    QVector<QColor> shades;
};

QColor colorOf(const DisparityColor& c)
{
    return QColor(c.red, c.green, c.blue);
}

// Shades of one class taken from the colour rule itself, so the legend cannot
// drift from the map: a range -100..100 with the limits far -50 and near 50,
// and a screen band -10..10 unless the band is left out.
QVector<QColor> shadesOf(int from, int to, bool withScreenBand = true)
{
    const ParallaxLimits limits =
        withScreenBand ? ParallaxLimits{-50, -10, 10, 50} : ParallaxLimits{-50, 0, 0, 50};
    QVector<QColor> shades;
    for (int i = 0; i < 8; ++i)
        shades << colorOf(disparityColor(from + (to - from) * i / 7, 1, -100, 100, limits));
    return shades;
}

QVector<Entry> entriesOf(DisparityLegend::Kind kind)
{
    const QString sign =
        QStringLiteral("Parallax is negative in front of the screen and positive behind it.");
    if (kind == DisparityLegend::Kind::GreyMap)
        return {{QStringLiteral("far \u2192 near: dark \u2192 light"),
                 QStringLiteral("The grey map stretches the disparities of the picture from black (farthest) "
                                "to white (nearest)."),
                 {Qt::black, Qt::darkGray, Qt::gray, Qt::lightGray, Qt::white}},
                {QStringLiteral("unmatched: black"),
                 QStringLiteral("Pixels without a match share the darkest value."),
                 {Qt::black}}};
    QVector<Entry> entries{
        {QStringLiteral("near: in front of the near limit"),
         QStringLiteral("Red: nearer than the near limit; darker the farther beyond it. ") + sign,
         shadesOf(51, 100)},
        {QStringLiteral("screen plane"), QStringLiteral("Green: at the screen parallax. ") + sign,
         shadesOf(0, 0)},
        {QStringLiteral("between the limits"),
         QStringLiteral("Grey: between the far and near limits, off the screen plane; lighter is nearer. ") +
             sign,
         shadesOf(-49, 49, false)},
        {QStringLiteral("far: behind the far limit"),
         QStringLiteral("Blue: farther than the far limit; darker the farther beyond it. ") + sign,
         shadesOf(-51, -100)}};
    if (kind == DisparityLegend::Kind::ColoredMap)
        entries.push_back({QStringLiteral("unmatched: no depth found"),
                           QStringLiteral("Black: the matcher found no match for these pixels (no texture, "
                                          "or hidden from one camera)."),
                           {Qt::black}});
    return entries;
}

QPixmap swatch(const QVector<QColor>& shades)
{
    QPixmap pixmap(28, 14);
    QPainter painter(&pixmap);
    if (shades.size() == 1) {
        painter.fillRect(pixmap.rect(), shades.first());
    } else {
        QLinearGradient gradient(0, 0, pixmap.width(), 0);
        for (int i = 0; i < shades.size(); ++i)
            gradient.setColorAt(double(i) / (shades.size() - 1), shades[i]);
        painter.fillRect(pixmap.rect(), gradient);
    }
    painter.setPen(Qt::darkGray);
    painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return pixmap;
}

} // namespace

DisparityLegend::DisparityLegend(QWidget* parent) : QWidget(parent)
{
    rebuild();
}

void DisparityLegend::setKind(Kind kind)
{
    if (kind == m_kind)
        return;
    m_kind = kind;
    rebuild();
}

void DisparityLegend::setHorizontal(bool horizontal)
{
    if (horizontal == m_horizontal)
        return;
    m_horizontal = horizontal;
    rebuild();
}

QStringList DisparityLegend::texts() const
{
    QStringList texts;
    for (const QLabel* label : findChildren<QLabel*>(QStringLiteral("legendText")))
        texts << label->text();
    return texts;
}

void DisparityLegend::rebuild()
{
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        delete child;
    delete m_layout;
    m_layout = new QBoxLayout(m_horizontal ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this);
    m_layout->setContentsMargins(2, 2, 2, 2);
    m_layout->setSpacing(m_horizontal ? 12 : 4);
    for (const Entry& entry : entriesOf(m_kind)) {
        auto* row = new QWidget(this);
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        auto* box = new QLabel(row);
        box->setPixmap(swatch(entry.shades));
        auto* text = new QLabel(entry.text, row);
        text->setObjectName(QStringLiteral("legendText"));
        rowLayout->addWidget(box);
        rowLayout->addWidget(text);
        rowLayout->addStretch();
        row->setToolTip(entry.toolTip);
        m_layout->addWidget(row);
    }
    m_layout->addStretch();
}
