#include "foundation/Collections.h"

std::optional<QString> queryItemValue(const QList<URLQueryItem> &items, const QString &name)
{
    for (const URLQueryItem &item : items) {
        if (item.name == name)
            return item.value;
    }
    return std::nullopt;
}

const CharacterSet &bracketCharacters()
{
    static const CharacterSet brackets(QStringLiteral("()[]{}"));
    return brackets;
}

const CharacterSet &nonBracketCharacters()
{
    static const CharacterSet others = bracketCharacters().inverted();
    return others;
}
