#include "foundation/AttributedString.h"

AttributedString::AttributedString(const QString &text, const QVariantMap &attributes) : string(text)
{
    if (!text.isEmpty() && !attributes.isEmpty())
        runs.append({0, text.size(), attributes});
}

void AttributedString::append(const AttributedString &other)
{
    for (Run run : other.runs) {
        run.start += string.size();
        runs.append(run);
    }
    string += other.string;
}

AttributedString joined(const QList<AttributedString> &pieces, const AttributedString &separator)
{
    AttributedString result;
    for (const AttributedString &piece : pieces) {
        if (result.length() >= 1)
            result.append(separator);
        result.append(piece);
    }
    return result;
}

AttributedString joined(const QList<AttributedString> &pieces, const QString &separator)
{
    return joined(pieces, AttributedString(separator));
}
