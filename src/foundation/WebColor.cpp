#include "foundation/WebColor.h"

#include <QHash>

namespace {

constexpr bool tableIsInDeclarationOrder()
{
    for (std::size_t i = 0; i < webColorTable.size(); ++i) {
        if (static_cast<std::size_t>(webColorTable[i].color) != i)
            return false;
    }
    return true;
}
static_assert(tableIsInDeclarationOrder(), "each colour's row stands at its position in the enumeration");

} // namespace

QString rawValue(WebColor color)
{
    const std::string_view raw = webColorTable[static_cast<std::size_t>(color)].rawValue;
    return QString::fromLatin1(raw.data(), qsizetype(raw.size()));
}

std::optional<WebColor> webColorFromRawValue(const QString &rawValue)
{
    // Built once, on first use.
    static const QHash<QString, WebColor> byRawValue = [] {
        QHash<QString, WebColor> table;
        for (const WebColorRow &row : webColorTable)
            table.insert(::rawValue(row.color), row.color);
        return table;
    }();
    const auto it = byRawValue.constFind(rawValue);
    if (it == byRawValue.constEnd())
        return std::nullopt;
    return *it;
}

QString hexString(WebColor color)
{
    return QLatin1Char('#') + rawValue(color);
}
