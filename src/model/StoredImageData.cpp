#include "model/StoredImageData.h"

#include <QAtomicInteger>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

std::optional<QByteArray> readFile(const QString &path, qint64 count)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    const qint64 size = count < 0 ? qint64(info.st_size) : qMin<qint64>(count, info.st_size);
    QByteArray bytes(size, Qt::Uninitialized);
    qint64 filled = 0;
    while (filled < size) {
        const ssize_t got = ::read(fd, bytes.data() + filled, size_t(size - filled));
        if (got > 0)
            filled += got;
        else if (got == 0 || errno != EINTR)
            return std::nullopt; // an error, or the file shrank
    }
    return bytes;
}

} // namespace

StoredImageDataReader::StoredImageDataReader()
{
    static QAtomicInteger<int> counter;
    m_connectionName = QStringLiteral("veloran-image-reader-%1").arg(counter.fetchAndAddRelaxed(1));
}

StoredImageDataReader::~StoredImageDataReader()
{
    if (!m_databasePath.isEmpty()) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool StoredImageDataReader::open(const QString &databasePath)
{
    if (m_databasePath == databasePath)
        return QSqlDatabase::database(m_connectionName, false).isOpen();
    if (!m_databasePath.isEmpty())
        return false; // one store per reader
    m_databasePath = databasePath;
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    database.setDatabaseName(databasePath);
    database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    return database.open();
}

std::optional<QByteArray> StoredImageDataReader::queryRow(const StoredImageData &data, const QString &sql)
{
    if (!open(data.m_path))
        return std::nullopt;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return std::nullopt;
    query.addBindValue(data.m_key);
    if (!query.exec() || !query.next())
        return std::nullopt;
    const QVariant value = query.value(0);
    return value.isNull() ? QByteArray("", 0) : value.toByteArray();
}

std::optional<qint64> StoredImageDataReader::size(const StoredImageData &data)
{
    switch (data.m_kind) {
    case StoredImageData::Kind::memory:
        return data.m_bytes.size();
    case StoredImageData::Kind::file: {
        struct stat info {};
        if (::stat(QFile::encodeName(data.m_path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
            return std::nullopt;
        return qint64(info.st_size);
    }
    case StoredImageData::Kind::databaseRow: {
        const std::optional<QByteArray> length =
            queryRow(data, QStringLiteral("SELECT CAST(length(bytes) AS TEXT) FROM ImageData WHERE imageKey = ?"));
        if (!length)
            return std::nullopt;
        bool ok = false;
        const qint64 value = length->toLongLong(&ok);
        return ok ? std::optional(value) : std::nullopt;
    }
    case StoredImageData::Kind::unreadable:
        break;
    }
    return std::nullopt;
}

std::optional<QByteArray> StoredImageDataReader::read(const StoredImageData &data, qint64 count)
{
    switch (data.m_kind) {
    case StoredImageData::Kind::memory:
        return count < 0 ? data.m_bytes : data.m_bytes.left(count);
    case StoredImageData::Kind::file:
        return readFile(data.m_path, count);
    case StoredImageData::Kind::databaseRow:
        if (count < 0)
            return queryRow(data, QStringLiteral("SELECT bytes FROM ImageData WHERE imageKey = ?"));
        return queryRow(data, QStringLiteral("SELECT substr(bytes, 1, %1) FROM ImageData WHERE imageKey = ?").arg(count));
    case StoredImageData::Kind::unreadable:
        break;
    }
    return std::nullopt;
}

std::optional<EncodedImage> StoredImageDataReader::encodedImage(const StoredImageData &data)
{
    if (data.m_kind == StoredImageData::Kind::file) {
        const std::optional<qint64> bytes = size(data);
        if (!bytes || *bytes == 0)
            return std::nullopt;
        return EncodedImage::fromFile(data.m_path);
    }
    const std::optional<QByteArray> bytes = read(data);
    if (!bytes || bytes->isEmpty())
        return std::nullopt;
    return EncodedImage::fromBytes(*bytes);
}
