#include "browser/ImportError.h"

QString ImportError::errorDescription() const
{
    switch (m_kind) {
    case Kind::unsupportedImage:
        break;
    case Kind::tooManyPixels:
        return QStringLiteral("\u201C%1\u201D is larger than 16,384 \u00D7 16,384 pixels.").arg(m_fileName);
    case Kind::fileTooLarge:
        return QStringLiteral("\u201C%1\u201D is too large to be an image of at most 16,384 \u00D7 16,384 pixels.")
            .arg(m_fileName);
    case Kind::notEnoughMemory:
        return QStringLiteral("There isn\u2019t enough memory to import \u201C%1\u201D.").arg(m_fileName);
    }
    return QStringLiteral("Unsupported image: ") + m_fileName;
}
