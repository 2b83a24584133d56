#include "app/rememberedcontrols.h"

#include "app/appnames.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QSettings>
#include <QSpinBox>

namespace {

void store(const char* key, const QVariant& value)
{
    QSettings(kOrganizationName, kApplicationName).setValue(key, value);
}

void restore(const QSettings& settings, const RememberedControl& remembered)
{
    const QVariant stored = settings.value(remembered.key);
    if (!stored.isValid())
        return;
    bool ok = false;
    if (auto* whole = qobject_cast<QSpinBox*>(remembered.control)) {
        const int value = stored.toInt(&ok);
        if (ok && value >= whole->minimum() && value <= whole->maximum())
            whole->setValue(value);
    } else if (auto* real = qobject_cast<QDoubleSpinBox*>(remembered.control)) {
        const double value = stored.toDouble(&ok);
        if (ok && value >= real->minimum() && value <= real->maximum())
            real->setValue(value);
    } else if (auto* check = qobject_cast<QCheckBox*>(remembered.control)) {
        const QString word = stored.toString();
        if (word == QLatin1String("true") || word == QLatin1String("false"))
            check->setChecked(word == QLatin1String("true"));
    }
}

} // namespace

void rememberControls(std::initializer_list<RememberedControl> controls)
{
    const QSettings settings(kOrganizationName, kApplicationName);
    for (const RememberedControl& remembered : controls) {
        restore(settings, remembered);
        const char* key = remembered.key;
        if (auto* whole = qobject_cast<QSpinBox*>(remembered.control))
            QObject::connect(whole, QOverload<int>::of(&QSpinBox::valueChanged), whole,
                             [key](int value) { store(key, value); });
        else if (auto* real = qobject_cast<QDoubleSpinBox*>(remembered.control))
            QObject::connect(real, QOverload<double>::of(&QDoubleSpinBox::valueChanged), real,
                             [key](double value) { store(key, value); });
        else if (auto* check = qobject_cast<QCheckBox*>(remembered.control))
            QObject::connect(check, &QCheckBox::toggled, check, [key](bool on) { store(key, on); });
    }
}
