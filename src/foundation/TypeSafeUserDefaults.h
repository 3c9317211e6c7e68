#pragma once

#include <QString>

#include <optional>

class UserDefaults;

// Typed reads of one key of the user defaults, afresh on every read.
class TypeSafeUserDefaults {
public:
    // Reads `defaults`, the application's standard defaults when none are given.
    explicit TypeSafeUserDefaults(QString key, UserDefaults *defaults = nullptr);

    QString key() const { return m_key; }

    // A missing key reads as none, false and 0.
    std::optional<QString> string() const;
    bool boolean() const;
    qint64 integer() const;
    double doubleValue() const;

private:
    UserDefaults &defaults() const;

    QString m_key;
    UserDefaults *m_defaults;
};
