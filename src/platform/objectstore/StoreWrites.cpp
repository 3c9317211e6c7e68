#include "platform/objectstore/StoreWrites.h"

#include "platform/objectstore/ExternalStorage.h"
#include "platform/objectstore/ModelStoreError.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

ConnectionWrites::ConnectionWrites(QSqlDatabase database, const QString &externalFolder)
    : m_database(std::move(database))
    , m_externalFolder(externalFolder)
{
}

ConnectionWrites::~ConnectionWrites() = default;

void ConnectionWrites::run(const QString &what, const QString &sql, const QVariantList &values)
{
    if (values.isEmpty()) {
        QSqlQuery query(m_database);
        query.setForwardOnly(true);
        if (!query.exec(sql))
            throw ModelStoreError::saveFailed(m_database, query.lastError(), what);
        return;
    }
    auto found = m_kept.find(sql);
    if (found == m_kept.end()) {
        auto query = std::make_unique<QSqlQuery>(m_database);
        query->setForwardOnly(true);
        if (!query->prepare(sql))
            throw ModelStoreError::saveFailed(m_database, query->lastError(), what);
        found = m_kept.emplace(sql, std::move(query)).first;
    }
    QSqlQuery &query = *found->second;
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), values.at(i));
    const bool done = query.exec();
    const std::optional<ModelStoreError> error =
        done ? std::nullopt : std::optional(ModelStoreError::saveFailed(m_database, query.lastError(), what));
    // A kept statement mustn't keep what it wrote (image bytes) in memory.
    query.finish();
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), QVariant());
    if (error)
        throw *error;
}

void ConnectionWrites::copyExternalFile(const QString &name, const QString &newName)
{
    const QString what = QCoreApplication::translate("ModelContext", "image bytes");
    if (m_externalFolder.isEmpty())
        throw ModelStoreError::saveFailed(QStringLiteral("the library keeps no files"), what);
    if (const std::optional<QString> error = ExternalStorage::copyFile(m_externalFolder, name, newName))
        throw ModelStoreError::saveFailed(*error, what);
    m_copies << newName;
}

void ConnectionWrites::syncCopies()
{
    if (!m_copies.isEmpty() && !ExternalStorage::syncFolder(m_externalFolder))
        throw ModelStoreError::saveFailed(QStringLiteral("cannot sync the folder %1").arg(m_externalFolder),
                                          QCoreApplication::translate("ModelContext", "image bytes"));
}

void ConnectionWrites::removeCopies()
{
    for (const QString &name : std::exchange(m_copies, {}))
        QFile::remove(m_externalFolder + QLatin1Char('/') + name);
}

void RecordedWrites::run(const QString &what, const QString &sql, const QVariantList &values)
{
    m_writes.emplace_back(Statement{what, sql, values});
}

void RecordedWrites::copyExternalFile(const QString &name, const QString &newName)
{
    m_writes.emplace_back(Copy{name, newName});
}

void RecordedWrites::replay(StoreWrites &target) const
{
    for (const auto &write : m_writes) {
        if (const auto *statement = std::get_if<Statement>(&write))
            target.run(statement->what, statement->sql, statement->values);
        else if (const auto *copy = std::get_if<Copy>(&write))
            target.copyExternalFile(copy->name, copy->newName);
    }
}
