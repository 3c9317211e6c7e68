#include "platform/objectstore/StoreWrites.h"

#include "platform/FileWriteError.h"
#include "platform/objectstore/ExternalStorage.h"
#include "platform/objectstore/ModelStoreError.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

#include <cerrno>

ConnectionWrites::ConnectionWrites(QSqlDatabase database, ExternalStorage &external)
    : m_database(std::move(database))
    , m_external(external)
    , m_externalFolder(external.folder())
{
}

ConnectionWrites::~ConnectionWrites()
{
    // Copies of a save that neither committed nor rolled back are not the
    // store's.
    removeCopies();
}

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

void ConnectionWrites::copyExternalFiles(const QList<ExternalFileCopy> &copies)
{
    if (copies.isEmpty())
        return;
    const QString what = QCoreApplication::translate("ModelContext", "image bytes");
    if (m_externalFolder.isEmpty())
        throw ModelStoreError::saveFailed(QStringLiteral("the library keeps no files"), what);
    // No other process takes the copies for orphans before the commit.
    if (!m_locked) {
        QString whyNot;
        if (!m_external.lock(&whyNot))
            throw ModelStoreError::saveFailed(whyNot, what);
        m_locked = true;
    }
    QStringList names;
    for (const ExternalFileCopy &copy : copies)
        names << copy.newName;
    if (const std::optional<QString> failed = StagingRecord::add(m_record, m_externalFolder, names))
        throw ModelStoreError::saveFailed(*failed, what);
    for (const ExternalFileCopy &copy : copies) {
        if (const std::optional<QString> failed = ExternalStorage::copyFile(m_externalFolder, copy.name, copy.newName))
            throw ModelStoreError::saveFailed(*failed, what);
        m_copies << copy.newName;
    }
}

void ConnectionWrites::syncCopies()
{
    if (!m_copies.isEmpty() && !ExternalStorage::syncFolder(m_externalFolder))
        throw ModelStoreError::saveFailed(FileWriteError::reasonFor(errno),
                                          QCoreApplication::translate("ModelContext", "image bytes"));
}

void ConnectionWrites::removeCopies()
{
    for (const QString &name : std::exchange(m_copies, {}))
        QFile::remove(m_externalFolder + QLatin1Char('/') + name);
    endCopies();
}

void ConnectionWrites::keepCopies()
{
    m_copies.clear();
    endCopies();
}

void ConnectionWrites::endCopies()
{
    m_record.reset();
    if (std::exchange(m_locked, false))
        m_external.unlock();
}

void RecordedWrites::run(const QString &what, const QString &sql, const QVariantList &values)
{
    m_writes.emplace_back(Statement{what, sql, values});
}

void RecordedWrites::copyExternalFiles(const QList<ExternalFileCopy> &copies)
{
    m_writes.emplace_back(copies);
}

void RecordedWrites::replay(StoreWrites &target) const
{
    for (const auto &write : m_writes) {
        if (const auto *statement = std::get_if<Statement>(&write))
            target.run(statement->what, statement->sql, statement->values);
        else if (const auto *copies = std::get_if<QList<ExternalFileCopy>>(&write))
            target.copyExternalFiles(*copies);
    }
}
