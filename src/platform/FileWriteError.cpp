#include "platform/FileWriteError.h"

#include <QFileDevice>

#include <cerrno>
#include <cstring>

namespace {

QString systemText(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

} // namespace

QString FileWriteError::reasonFor(int errorNumber)
{
    if (errorNumber == ENOSPC)
        return QStringLiteral("There isn\u2019t enough space on the disk");
    return systemText(errorNumber);
}

QString FileWriteError::reasonFor(const QFileDevice &file)
{
    // Qt words a failure of the system by the system's own text.
    const QString text = file.errorString();
    return text == systemText(ENOSPC) ? reasonFor(ENOSPC) : text;
}

QString FileWriteError::sentence(const QString &reason)
{
    QString text = reason.trimmed();
    if (text.isEmpty())
        return text;
    text[0] = text.at(0).toUpper();
    if (!text.endsWith(QLatin1Char('.')))
        text += QLatin1Char('.');
    return text;
}
