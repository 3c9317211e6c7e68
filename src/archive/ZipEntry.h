#pragma once

#include <QByteArray>
#include <QHashFunctions>
#include <QString>

// One named blob of bytes to be written into a zip archive. `path` is the
// entry name exactly as written, with "/" as the separator.
struct ZipEntry {
    QString path;
    QByteArray data;

    friend bool operator==(const ZipEntry &, const ZipEntry &) = default;
};

inline size_t qHash(const ZipEntry &entry, size_t seed = 0)
{
    return qHashMulti(seed, entry.path, entry.data);
}
