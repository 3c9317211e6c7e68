#include "foundation/CharacterSet.h"

#include <QList>

CharacterSet::CharacterSet(const QString &characters)
{
    for (const char32_t codePoint : characters.toUcs4())
        m_members.insert(codePoint);
}

CharacterSet CharacterSet::inverted() const
{
    CharacterSet result = *this;
    result.m_inverted = !m_inverted;
    return result;
}
