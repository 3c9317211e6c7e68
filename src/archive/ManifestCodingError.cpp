#include "archive/ManifestCodingError.h"

namespace {
QString where(const QString &codingPath)
{
    return codingPath.isEmpty() ? QStringLiteral("the top level") : QStringLiteral("\u201C%1\u201D").arg(codingPath);
}
} // namespace

QString ManifestDecodingError::description() const
{
    switch (kind) {
    case Kind::invalidJson:
        return QStringLiteral("The library.json manifest isn't valid JSON (%1).").arg(detail);
    case Kind::keyNotFound:
        return QStringLiteral("The library.json manifest lacks the required key \u201C%1\u201D at %2.")
            .arg(detail, where(codingPath));
    case Kind::valueNotFound:
        return QStringLiteral("The library.json manifest has null where a value is required at %1.")
            .arg(where(codingPath));
    case Kind::typeMismatch:
        return QStringLiteral("The library.json manifest has a value of the wrong type at %1: expected %2.")
            .arg(where(codingPath), detail);
    case Kind::dataCorrupted:
        return QStringLiteral("The library.json manifest has an invalid value at %1: expected %2.")
            .arg(where(codingPath), detail);
    }
    return {};
}

QString ManifestEncodingError::description() const
{
    return QStringLiteral("The library.json manifest can't be written: the value at \u201C%1\u201D %2.")
        .arg(codingPath, reason);
}
