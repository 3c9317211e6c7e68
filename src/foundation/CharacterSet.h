#pragma once

#include <QSet>
#include <QString>

// A set of Unicode code points, possibly the inverse of the ones listed.
class CharacterSet {
public:
    CharacterSet() = default;
    // The code points of `characters`.
    explicit CharacterSet(const QString &characters);

    bool contains(char32_t codePoint) const { return m_members.contains(codePoint) != m_inverted; }
    // Every code point that this set does not hold.
    CharacterSet inverted() const;

private:
    QSet<char32_t> m_members;
    bool m_inverted = false;
};
