#include "StoreTestSupport.h"

#include "model/AtlasImage.h"
#include "model/SaveOrRollBack.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray largeValue(int seed, qsizetype extra = 0)
{
    QByteArray bytes(ExternalStorage::fileThreshold + extra + seed, char('a' + seed));
    bytes[0] = char(seed);
    return bytes;
}

PreparedValues prepared(ModelContext &context, const QList<QByteArray> &values)
{
    QFuture<PreparedValues> future = context.prepareValues(values);
    future.waitForFinished();
    return future.result();
}

} // namespace

// Files of new large bytes written ahead of the save that stores them: the
// save takes them over as they are, and none is ever left without its row.
class PreparedFilesTest : public QObject {
    Q_OBJECT
private slots:
    void theSaveTakesThePreparedFiles_data()
    {
        // The values by number; -1: an equal copy of value 0, -2: value 0's
        // bytes taken as raw data.
        QTest::addColumn<QList<int>>("preparedValues");
        QTest::addColumn<QList<int>>("savedValues"); // the new images' bytes
        QTest::addColumn<bool>("dropFirst");            // the prepared files are let go before the save
        QTest::addColumn<int>("taken");

        QTest::newRow("every one") << QList<int>{0, 1, 2} << QList<int>{0, 1, 2} << false << 3;
        QTest::newRow("one left out") << QList<int>{0, 1, 2} << QList<int>{0, 2} << false << 2;
        QTest::newRow("listed twice, stored twice") << QList<int>{0, 0} << QList<int>{0, 0} << false << 2;
        QTest::newRow("listed once, stored twice") << QList<int>{0} << QList<int>{0, 0} << false << 1;
        QTest::newRow("equal bytes of another copy") << QList<int>{0} << QList<int>{-1} << false << 0;
        QTest::newRow("let go before the save") << QList<int>{0, 1} << QList<int>{0, 1} << true << 0;
        QTest::newRow("raw data, never prepared") << QList<int>{-2} << QList<int>{-2} << false << 0;
    }

    void theSaveTakesThePreparedFiles()
    {
        QFETCH(QList<int>, preparedValues);
        QFETCH(QList<int>, savedValues);
        QFETCH(bool, dropFirst);
        QTemporaryDir directory;
        const QString folder = directory.path();
        const QList<QByteArray> values{largeValue(0), largeValue(1), largeValue(2)};
        const QByteArray copy(values.first().constData(), values.first().size());
        const QByteArray raw = QByteArray::fromRawData(values.first().constData(), values.first().size());
        const auto value = [&](int number) { return number == -1 ? copy : number == -2 ? raw : values.at(number); };
        {
            auto container = makeTestContainer(folder);
            ModelContext &context = container->mainContext();
            QList<QByteArray> toPrepare{QByteArray("small, kept in the database")};
            for (int number : std::as_const(preparedValues))
                toPrepare << value(number);
            auto files = std::make_unique<PreparedValues>(prepared(context, toPrepare));
            QVERIFY(!files->error());
            const QStringList preparedNames = externalFileNames(folder);
            QCOMPARE(preparedNames.size(), preparedValues.count(-2) ? 0 : preparedValues.size());
            if (dropFirst) {
                files.reset();
                QCOMPARE(externalFileNames(folder), QStringList());
            }

            for (int number : std::as_const(savedValues))
                context.insert(imageWithBytes(value(number)));
            context.insert(imageWithBytes(QByteArray("small")));
            context.save();
            // The files written ahead keep the folder locked past the save
            // that took some: another program can't clear those left.
            QCOMPARE(filesLocked(folder), !dropFirst && !preparedValues.contains(-2));
            files.reset();
            // Exactly the files the rows name are left, the prepared ones
            // among them that the save took.
            const QStringList referenced = storedFileNames(folder);
            QCOMPARE(externalFileNames(folder), referenced);
            // The folder's lock is let go with the last holder.
            QVERIFY(!filesLocked(folder));
            const QSet<QString> prepared(preparedNames.cbegin(), preparedNames.cend());
            QTEST(int(QSet<QString>(referenced.cbegin(), referenced.cend()).intersect(prepared).size()), "taken");
        }
        auto container = makeTestContainer(folder);
        const QList<AtlasImage *> images = container->mainContext().fetch<AtlasImage>();
        QCOMPARE(images.size(), savedValues.size() + 1);
        for (qsizetype i = 0; i < savedValues.size(); ++i)
            QCOMPARE(images.at(i)->imageData(), values.at(std::max(0, savedValues.at(i))));
    }

    void aFailedSaveGivesItsFilesBack_data()
    {
        QTest::addColumn<int>("then"); // 0 saved again, 1 let go, 2 let go while the failing save runs
        QTest::newRow("saved again") << 0;
        QTest::newRow("let go") << 1;
        QTest::newRow("let go while the failing save runs") << 2;
    }

    // Files that the caller wrote (PreparedFiles) go back to their holder
    // when the save that took them fails: a later save takes them again,
    // and they go with the holder, as do their records.
    void aFailedSaveGivesItsFilesBack()
    {
        QFETCH(int, then);
        QTemporaryDir directory;
        const QString folder = directory.path();
        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        const QList<QByteArray> values{largeValue(0), largeValue(1)};
        std::optional<PreparedValues> held;
        QStringList names;
        {
            std::optional<PreparedFiles> files = context.prepareFiles();
            QVERIFY(files);
            for (const QByteArray &bytes : values) {
                const std::unique_ptr<PreparedFiles::Writer> writer = files->create();
                QVERIFY(writer && writer->write(bytes) && writer->complete());
                names << writer->name();
            }
            held = files->offer();
        }
        QVERIFY(!held->error());
        const auto insertImages = [&] {
            for (const QString &name : std::as_const(names))
                context.insert(imageWithBytes(std::nullopt))->setImageDataFile(name);
        };
        FailingWrites failing(folder);
        failing.set(true);
        insertImages();
        if (then == 2) {
            std::optional<std::optional<ModelStoreError>> outcome;
            saveOrRollBackInBackground(context, nullptr, {},
                                       [&outcome](const std::optional<ModelStoreError> &error) { outcome = error; });
            held.reset();
            QTRY_VERIFY(outcome.has_value());
            QVERIFY(outcome->has_value());
        } else {
            QVERIFY(saveOrRollBack(context));
        }
        failing.set(false);
        QCOMPARE(externalFileNames(folder).size(), then == 2 ? 0 : 2);
        if (then == 0) {
            insertImages();
            const std::optional<ModelStoreError> error = saveOrRollBack(context);
            QVERIFY2(!error, error ? qPrintable(error->description()) : "");
        }
        held.reset();
        QCOMPARE(externalFileNames(folder), storedFileNames(folder));
        QCOMPARE(storedFileNames(folder).size(), then == 0 ? 2 : 0);
        QCOMPARE(QDir(externalFolderOf(folder) + QStringLiteral("/.staged")).entryList(QDir::Files | QDir::Hidden),
                 QStringList());
        const std::unique_ptr<ModelContainer> reopened = makeTestContainer(folder);
        const QList<AtlasImage *> stored = reopened->mainContext().fetch<AtlasImage>();
        QCOMPARE(stored.size(), then == 0 ? 2 : 0);
        for (qsizetype i = 0; i < stored.size(); ++i)
            QCOMPARE(stored.at(i)->imageData(), std::optional<QByteArray>(values.at(i)));
    }

    void aFailedPreparationLeavesNothing_data()
    {
        QTest::addColumn<bool>("folderBlocked"); // else the disk fills up after the first files
        QTest::newRow("no folder for the files") << true;
        QTest::newRow("disk full half-way") << false;
    }

    void aFailedPreparationLeavesNothing()
    {
        QFETCH(bool, folderBlocked);
        QTemporaryDir directory;
        const QString folder = directory.path();
        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        const QString filesFolder = externalFolderOf(folder);
        QFile blocker(filesFolder);
        if (folderBlocked)
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QList<QByteArray> values{largeValue(0), largeValue(1), largeValue(2, 4 * ExternalStorage::fileThreshold)};
        {
            std::optional<FileSizeLimit> limit;
            if (!folderBlocked)
                limit.emplace(2 * ExternalStorage::fileThreshold);
            const PreparedValues files = prepared(context, values);
            QVERIFY(files.error());
            QCOMPARE(files.error()->code(), ModelStoreError::Code::saveFailed);
            QVERIFY(!files.error()->description().isEmpty());
        }
        QCOMPARE(externalFileNames(folder), QStringList());
        QVERIFY(!filesLocked(folder));
        if (folderBlocked)
            QVERIFY(blocker.remove());
        // Nothing is held: the same values are stored by a plain save.
        for (const QByteArray &bytes : values)
            context.insert(imageWithBytes(bytes));
        context.save();
        QCOMPARE(externalFileNames(folder).size(), values.size());
    }
};

QTEST_GUILESS_MAIN(PreparedFilesTest)
#include "tst_preparedfiles.moc"
