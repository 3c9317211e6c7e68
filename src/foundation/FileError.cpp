#include "foundation/FileError.h"

#include <cstring>

FileError FileError::fromSystemError(const QString &path, const QString &operation, int errorNumber)
{
    return {path,
            QStringLiteral("%1 \u201C%2\u201D: %3").arg(operation, path, QString::fromLocal8Bit(std::strerror(errorNumber))),
            errorNumber};
}
