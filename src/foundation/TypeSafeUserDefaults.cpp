#include "foundation/TypeSafeUserDefaults.h"

#include "platform/UserDefaults.h"

#include <algorithm>
#include <cmath>

TypeSafeUserDefaults::TypeSafeUserDefaults(QString key, UserDefaults *defaults)
    : m_key(std::move(key)), m_defaults(defaults)
{
}

UserDefaults &TypeSafeUserDefaults::defaults() const
{
    return m_defaults ? *m_defaults : UserDefaults::standard();
}

std::optional<QString> TypeSafeUserDefaults::string() const
{
    return defaults().stringForKey(m_key);
}

bool TypeSafeUserDefaults::boolean() const
{
    return defaults().boolForKey(m_key);
}

qint64 TypeSafeUserDefaults::integer() const
{
    const QVariant value = defaults().object(m_key);
    bool ok = false;
    if (value.typeId() != QMetaType::Double && value.typeId() != QMetaType::Float) {
        const qint64 whole = value.toLongLong(&ok);
        if (ok)
            return whole;
    }
    // Fractions are cut off, as whole-number reads of stored numbers do.
    const double number = value.toDouble(&ok);
    return ok && std::isfinite(number) ? qint64(std::trunc(std::clamp(number, -9.2e18, 9.2e18))) : 0;
}

double TypeSafeUserDefaults::doubleValue() const
{
    bool ok = false;
    const double number = defaults().object(m_key).toDouble(&ok);
    return ok ? number : 0;
}
