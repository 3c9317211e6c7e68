#include "appkit/TokenAutoSelectStatus.h"

QString TokenAutoSelectStatus::description() const
{
    switch (value) {
    case disabled:
        return QStringLiteral("Disabled");
    case passive:
        return QStringLiteral("Passive");
    case standby1:
        return QStringLiteral("Standby 1");
    case standby2:
        return QStringLiteral("Standby 2");
    case active:
        return QStringLiteral("Active");
    }
    return {};
}

void TokenAutoSelectStatus::advance()
{
    if (value != disabled && value != active)
        value = Case(value + 1);
}
