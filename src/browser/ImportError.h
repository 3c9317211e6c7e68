#pragma once

#include <QString>

// Why a picked image file cannot be imported.
class ImportError {
public:
    enum class Kind {
        unsupportedImage, // the file's bytes are not an image; payload: the file name with its extension
    };

    static ImportError unsupportedImage(const QString &fileName) { return ImportError(Kind::unsupportedImage, fileName); }

    Kind kind() const { return m_kind; }
    QString fileName() const { return m_fileName; }

    // "Unsupported image: " followed directly by the file name.
    QString errorDescription() const { return QStringLiteral("Unsupported image: ") + m_fileName; }

    friend bool operator==(const ImportError &, const ImportError &) = default;

private:
    ImportError(Kind kind, const QString &fileName)
        : m_kind(kind)
        , m_fileName(fileName)
    {
    }

    Kind m_kind;
    QString m_fileName;
};
