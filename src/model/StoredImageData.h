#pragma once

#include "platform/ImageDecoder.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Where the bytes of one image are kept, as a value that any thread can read
// from: in memory (bytes not saved yet, or already loaded), in a file of the
// store's folder, or in a row of the store's database file. Made on the main
// thread by AtlasImage::storedImageData(), read by a StoredImageDataReader.
class StoredImageData {
public:
    static StoredImageData inMemory(const QByteArray &bytes) { return {Kind::memory, bytes, {}, 0}; }
    static StoredImageData file(const QString &path) { return {Kind::file, {}, path, 0}; }
    static StoredImageData databaseRow(const QString &databasePath, qint64 imageKey)
    {
        return {Kind::databaseRow, {}, databasePath, imageKey};
    }
    // Bytes the store says it holds but can't give.
    static StoredImageData unreadable() { return {Kind::unreadable, {}, {}, 0}; }

private:
    friend class StoredImageDataReader;

    enum class Kind { memory, file, databaseRow, unreadable };

    StoredImageData(Kind kind, const QByteArray &bytes, const QString &path, qint64 key)
        : m_kind(kind), m_bytes(bytes), m_path(path), m_key(key)
    {
    }

    Kind m_kind;
    QByteArray m_bytes;
    QString m_path; // the file, or the database file
    qint64 m_key;   // the image's row in the database
};

// Reads stored image data on the thread that made it, through a read-only
// connection of its own to the store's database (opened when first needed,
// closed with the reader). Bytes that can't be reached, because their file
// or row is gone or unreadable, read as none.
class StoredImageDataReader {
public:
    StoredImageDataReader();
    ~StoredImageDataReader();

    StoredImageDataReader(const StoredImageDataReader &) = delete;
    StoredImageDataReader &operator=(const StoredImageDataReader &) = delete;

    // The bytes' length, without reading them.
    std::optional<qint64> size(const StoredImageData &data);
    // The first `count` bytes (fewer when there are fewer), or all of them
    // when `count` is negative.
    std::optional<QByteArray> read(const StoredImageData &data, qint64 count = -1);
    // The bytes as ImageDecoder takes them: a file named, not read (a
    // large scan need never be held whole), other bytes read. None when
    // they can't be reached or there are none (zero bytes).
    std::optional<EncodedImage> encodedImage(const StoredImageData &data);

private:
    // The reader's connection to `databasePath`, opened on first use.
    bool open(const QString &databasePath);
    std::optional<QByteArray> queryRow(const StoredImageData &data, const QString &sql);

    QString m_connectionName;
    QString m_databasePath;
};
