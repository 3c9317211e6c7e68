#pragma once

#include <QString>

// Why a picked image file cannot be imported.
class ImportError {
public:
    enum class Kind {
        unsupportedImage, // the file's bytes are not an image that decodes
        tooManyPixels,    // an image, larger than the largest the application shows
        fileTooLarge,     // more bytes than any image the application shows takes
        notEnoughMemory,  // the file could not be held in memory
    };

    // Each carries the file name with its extension.
    static ImportError unsupportedImage(const QString &fileName) { return ImportError(Kind::unsupportedImage, fileName); }
    static ImportError tooManyPixels(const QString &fileName) { return ImportError(Kind::tooManyPixels, fileName); }
    static ImportError fileTooLarge(const QString &fileName) { return ImportError(Kind::fileTooLarge, fileName); }
    static ImportError notEnoughMemory(const QString &fileName) { return ImportError(Kind::notEnoughMemory, fileName); }

    Kind kind() const { return m_kind; }
    QString fileName() const { return m_fileName; }

    // "Unsupported image: " followed directly by the file name; for a
    // picture refused for its size, that size limit.
    QString errorDescription() const;

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
