#include "platform/FileReadError.h"

#include <cerrno>

FileReadError FileReadError::fromSystemError(int errorNumber, const QString &fileName)
{
    Reason reason = Reason::readFailed;
    switch (errorNumber) {
    case ENOENT:
    case ENOTDIR:
        reason = Reason::noSuchFile;
        break;
    case EACCES:
    case EPERM:
        reason = Reason::noPermission;
        break;
    case EISDIR:
        reason = Reason::notRegularFile;
        break;
    default:
        break;
    }
    return FileReadError{reason, fileName, errorNumber};
}

QString FileReadError::localizedDescription() const
{
    switch (reason) {
    case Reason::noSuchFile:
        return QStringLiteral("The file \u201C%1\u201D couldn\u2019t be opened because there is no such file.").arg(fileName);
    case Reason::noPermission:
        return QStringLiteral("The file \u201C%1\u201D couldn\u2019t be opened because you don\u2019t have permission to view it.")
            .arg(fileName);
    case Reason::changed:
        return QStringLiteral("The file \u201C%1\u201D couldn\u2019t be opened because it changed while it was read.")
            .arg(fileName);
    case Reason::notRegularFile:
    case Reason::readFailed:
        break;
    }
    return QStringLiteral("The file \u201C%1\u201D couldn\u2019t be opened.").arg(fileName);
}
