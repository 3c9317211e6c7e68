#pragma once

#include <QDebug>
#include <QList>
#include <QString>

#include <algorithm>
#include <concepts>
#include <optional>

// A stack: look at, push and pop its top element.
template <typename S>
concept Stackable = requires(S stack, const S &constStack, const typename S::Element &element) {
    { constStack.peek() } -> std::same_as<std::optional<typename S::Element>>;
    stack.push(element, true, std::optional<qsizetype>());
    { stack.pop() } -> std::same_as<std::optional<typename S::Element>>;
};

// Whether the stack has no top element.
template <Stackable S>
bool isEmpty(const S &stack)
{
    return !stack.peek().has_value();
}

// A last-in, first-out stack, optionally free of duplicates and bounded in size.
template <typename T>
class Stack {
public:
    using Element = T;

    qsizetype count() const { return m_storage.size(); }
    // Bottom first.
    const QList<Element> &all() const { return m_storage; }
    bool isEmpty() const { return ::isEmpty(*this); }

    std::optional<Element> peek() const
    {
        if (m_storage.isEmpty())
            return std::nullopt;
        return m_storage.last();
    }

    // Puts `element` on top. With `unique`, an equal element lower down is
    // removed first; with `maximum`, the oldest elements go so that at most
    // that many remain (a maximum below 1 counts as 1).
    void push(const Element &element, bool unique = false, std::optional<qsizetype> maximum = std::nullopt)
    {
        if (unique)
            m_storage.removeOne(element);
        if (maximum) {
            const qsizetype keep = std::max<qsizetype>(*maximum, 1) - 1;
            if (m_storage.size() >= keep)
                m_storage = m_storage.mid(m_storage.size() - keep);
        }
        m_storage.append(element);
    }

    std::optional<Element> pop()
    {
        if (m_storage.isEmpty())
            return std::nullopt;
        return m_storage.takeLast();
    }

    void removeAll() { m_storage = QList<Element>(); }

    // The elements as a list literal, bottom first: "[1, 2, 3]".
    QString description() const
    {
        QString text;
        QDebug(&text).nospace() << m_storage;
        return text.mid(text.indexOf(QLatin1Char('(')) + 1).chopped(1).prepend(QLatin1Char('[')).append(QLatin1Char(']'));
    }

    friend bool operator==(const Stack &, const Stack &) = default;

private:
    QList<Element> m_storage;
};
