#include "StoreTestSupport.h"

#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "platform/objectstore/ExternalStorage.h"
#include "platform/objectstore/ModelContext.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSignalSpy>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

using Change = std::function<void(ModelContext &)>;

// Every row of the store in `folder` as text, identifiers and dates left
// out (new objects get their own) and files named by their bytes' digest.
QStringList storedRows(const QString &folder)
{
    QStringList rows;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("rows"));
        database.setDatabaseName(QDir(folder).filePath(QStringLiteral("default.store")));
        if (!database.open())
            qFatal("cannot open the store");
        for (const char *table : {"Series", "AtlasImage", "ImageData", "ImageFile", "PointAnnotation", "RegionAnnotation"}) {
            QSqlQuery query(database);
            if (!query.exec(QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(QLatin1String(table))))
                continue;
            while (query.next()) {
                QStringList values{QLatin1String(table)};
                const QSqlRecord record = query.record();
                for (int i = 0; i < record.count(); ++i) {
                    if (record.fieldName(i) == QLatin1String("id") || record.fieldName(i) == QLatin1String("createdAt"))
                        continue;
                    QString value = query.value(i).toString();
                    if (record.fieldName(i) == QLatin1String("fileName")) {
                        QFile file(QDir(externalFolderOf(folder)).filePath(value));
                        value = file.open(QIODevice::ReadOnly)
                            ? QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex())
                            : QStringLiteral("missing");
                    }
                    values << value;
                }
                rows << values.join(QLatin1Char('|'));
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("rows"));
    return rows;
}

bool copyFolder(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QFileInfo &entry : QDir(from).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QString target = QDir(to).filePath(entry.fileName());
        if (entry.isDir() ? !copyFolder(entry.filePath(), target) : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

AtlasImage *imageTitled(ModelContext &context, const QString &title)
{
    for (AtlasImage *image : context.fetch<AtlasImage>()) {
        if (image->title() == title)
            return image;
    }
    return nullptr;
}

// Saves in the background and waits for the answer.
std::optional<ModelStoreError> saveInBackground(ModelContext &context, const ModelContext::AddRows &addRows = {})
{
    QObject receiver;
    bool answered = false;
    std::optional<ModelStoreError> error;
    context.saveInBackground(&receiver, addRows, [&](const std::optional<ModelStoreError> &outcome) {
        answered = true;
        error = outcome;
    });
    if (!QTest::qWaitFor([&] { return answered; }, 10000))
        qFatal("the save never answered");
    return error;
}

// Saves in place; the error it throws.
std::optional<ModelStoreError> saveInPlace(ModelContext &context, const ModelContext::AddRows &addRows = {})
{
    try {
        context.save(addRows);
    } catch (const ModelStoreError &error) {
        return error;
    }
    return std::nullopt;
}

const QByteArray large(300 * 1024, 'L'); // kept in a file

} // namespace

// Saves whose rows a worker writes on a connection of its own, while the
// context is held.
class BackgroundSaveTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> directory;
    QString folder;

    // A library of two series, one with a point and a region, bytes in the
    // database and in a file.
    void makeLibrary()
    {
        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        Series *first = context.insert(Series::make(QStringLiteral("First")));
        Series *second = context.insert(Series::make(QStringLiteral("Second")));
        for (int i = 0; i < 3; ++i) {
            auto image = imageWithBytes(i == 2 ? large : QByteArray(10, char('a' + i)), QStringLiteral("f%1").arg(i));
            image->setSeries(first);
            image->setSortIndex(i);
            PointAnnotation::make(QStringLiteral("p%1").arg(i))->setImage(image.get());
        }
        auto other = imageWithBytes(large + "2", QStringLiteral("s0"));
        other->setSeries(second);
        RegionAnnotation::make(QStringLiteral("r"), {}, std::nullopt, {{0.1, 0.1}, {0.5, 0.2}, {0.3, 0.6}})
            ->setImage(other.get());
        context.save();
    }

private slots:
    void init()
    {
        directory = std::make_unique<QTemporaryDir>();
        folder = directory->path() + QStringLiteral("/library");
        makeLibrary();
    }

    // The same change saved in place and in the background stores the same
    // rows and files.
    void storesWhatASaveInPlaceStores_data()
    {
        QTest::addColumn<Change>("change");
        QTest::newRow("new images, in the database and in a file") << Change([](ModelContext &context) {
            auto image = context.insert(imageWithBytes(QByteArray("new"), QStringLiteral("n1")));
            PointAnnotation::make(QStringLiteral("np"))->setImage(image);
            context.insert(imageWithBytes(large + "new", QStringLiteral("n2")));
        });
        QTest::newRow("changed values and bytes") << Change([](ModelContext &context) {
            imageTitled(context, QStringLiteral("f0"))->setTitle(QStringLiteral("renamed"));
            imageTitled(context, QStringLiteral("f1"))->setImageData(large + "replaced");
            imageTitled(context, QStringLiteral("f2"))->setImageData(QByteArray("small now"));
        });
        QTest::newRow("a series deleted with its images, unread") << Change([](ModelContext &context) {
            context.deleteObject(context.fetch<Series>().first());
        });
        QTest::newRow("images deleted, their annotations read") << Change([](ModelContext &context) {
            AtlasImage *image = imageTitled(context, QStringLiteral("s0"));
            QCOMPARE(image->regions().size(), 1);
            context.deleteObject(image);
            context.deleteObject(imageTitled(context, QStringLiteral("f2")));
        });
    }

    void storesWhatASaveInPlaceStores()
    {
        QFETCH(Change, change);
        const QString twin = directory->path() + QStringLiteral("/twin");
        QVERIFY(copyFolder(folder, twin));
        {
            auto container = makeTestContainer(twin);
            change(container->mainContext());
            container->mainContext().save();
        }
        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        change(context);
        QSignalSpy saved(&context, &ModelContext::didSave);
        QVERIFY(!saveInBackground(context));
        QCOMPARE(saved.count(), 1);
        QVERIFY(!context.hasChanges());
        QVERIFY(!context.isHeld());
        QVERIFY(!filesLocked(folder));
        QCOMPARE(storedRows(folder), storedRows(twin));
        QCOMPARE(externalFileNames(folder), storedFileNames(folder));
        // Objects read afterwards see it, and later saves go on from it.
        auto next = context.insert(imageWithBytes(QByteArray("after"), QStringLiteral("after")));
        context.save();
        QCOMPARE(next->imageData(), std::optional(QByteArray("after")));
        QCOMPARE(storeColumn(folder, QStringLiteral("SELECT COUNT(*) FROM AtlasImage WHERE title = 'after'")).value(0).toInt(), 1);
    }

    // A failure in the worker's transaction stores nothing and leaves no
    // file, nor the folder's lock; the change stays pending until rolled
    // back, as after save() (which fails alike).
    void aFailureStoresNothing_data()
    {
        QTest::addColumn<bool>("addsRows");
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("changed objects") << false << false;
        QTest::newRow("rows added in SQL, with a copied file") << true << false;
        QTest::newRow("changed objects, in place") << false << true;
        QTest::newRow("rows added in SQL, with a copied file, in place") << true << true;
    }

    void aFailureStoresNothing()
    {
        QFETCH(bool, addsRows);
        QFETCH(bool, inPlace);
        const QStringList before = storedRows(folder);
        const QStringList files = externalFileNames(folder);
        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        context.insert(imageWithBytes(large + "doomed", QStringLiteral("doomed")));
        // With rows added, the row after the copy is refused.
        QVERIFY(runOnStore(folder, {QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON %1 "
                                                   "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END")
                                        .arg(addsRows ? QStringLiteral("ImageFile WHEN NEW.imageKey = 99")
                                                      : QStringLiteral("AtlasImage"))}));
        ModelContext::AddRows addRows;
        if (addsRows) {
            addRows = [&](StoreWrites &writes) {
                const QString name = ExternalStorage::newFileName();
                writes.copyExternalFiles({{storedFileNames(folder).first(), name}});
                writes.run(QStringLiteral("test"), QStringLiteral("INSERT INTO ImageFile (imageKey, fileName) VALUES (99, '%1')").arg(name));
            };
        }
        const std::optional<ModelStoreError> error =
            inPlace ? saveInPlace(context, addRows) : saveInBackground(context, addRows);
        QVERIFY(error);
        QCOMPARE(error->code(), ModelStoreError::Code::saveFailed);
        QVERIFY(error->description().startsWith(QStringLiteral("The library could not be saved")));
        QVERIFY(context.hasChanges());
        QVERIFY(!context.isHeld());
        QCOMPARE(storedRows(folder), before);
        QCOMPARE(externalFileNames(folder), files);
        QVERIFY(!filesLocked(folder));
        context.rollback();
        QVERIFY(!imageTitled(context, QStringLiteral("doomed")));
    }

    // A save that fails while its statements are recorded (before any is
    // run) lets go of the files it had staged: the prepared ones it took
    // are removed, and a later save writes them afresh.
    void aSaveThatFailsWhileRecordedLeavesNoFile_data()
    {
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("in the background") << false;
        QTest::newRow("in place") << true;
    }

    void aSaveThatFailsWhileRecordedLeavesNoFile()
    {
        QFETCH(bool, inPlace);
        const QStringList files = externalFileNames(folder);
        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        const QByteArray bytes = large + "prepared";
        QFuture<PreparedValues> preparing = context.prepareValues({bytes});
        preparing.waitForFinished();
        auto prepared = std::make_unique<PreparedValues>(preparing.takeResult());
        QVERIFY(!prepared->error());
        QCOMPARE(externalFileNames(folder).size(), files.size() + 1);
        context.insert(imageWithBytes(bytes, QStringLiteral("prepared")));
        const ModelContext::AddRows refuse = [](StoreWrites &) {
            throw ModelStoreError::saveFailed(QStringLiteral("refused"));
        };
        const std::optional<ModelStoreError> error =
            inPlace ? saveInPlace(context, refuse) : saveInBackground(context, refuse);
        QVERIFY(error);
        QCOMPARE(error->detail(), QStringLiteral("refused"));
        QVERIFY(!context.isHeld());
        prepared.reset();
        QCOMPARE(externalFileNames(folder), files);
        QVERIFY(!filesLocked(folder));
        QVERIFY(!saveInBackground(context));
        QCOMPARE(imageTitled(context, QStringLiteral("prepared"))->imageData(), std::optional(bytes));
        QCOMPARE(externalFileNames(folder), storedFileNames(folder));
        QCOMPARE(externalFileNames(folder).size(), files.size() + 1);
    }

    // While the worker writes, the context is held: changes that wait for
    // it run after its answer, and a save in place waits for it first.
    void otherChangesWaitForIt()
    {
        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        imageTitled(context, QStringLiteral("f0"))->setTitle(QStringLiteral("first"));
        QStringList order;
        QObject receiver;
        context.saveInBackground(&receiver, {}, [&](const std::optional<ModelStoreError> &error) {
            QVERIFY(!error);
            order << QStringLiteral("saved");
        });
        QVERIFY(context.isHeld());
        QVERIFY(context.isSavingInBackground());
        context.whenUnheld(&receiver, [&] { order << QStringLiteral("waiting change"); });
        QVERIFY(order.isEmpty());
        QTRY_COMPARE(order, (QStringList{QStringLiteral("saved"), QStringLiteral("waiting change")}));

        imageTitled(context, QStringLiteral("f1"))->setTitle(QStringLiteral("second"));
        context.saveInBackground(&receiver, {}, [&](const std::optional<ModelStoreError> &) { order << QStringLiteral("second saved"); });
        imageTitled(context, QStringLiteral("first"))->setTitle(QStringLiteral("third"));
        context.save();
        QCOMPARE(order.last(), QStringLiteral("second saved"));
        QVERIFY(!context.isSavingInBackground());
        QCOMPARE(storeColumn(folder, QStringLiteral("SELECT title FROM AtlasImage WHERE title IN ('second', 'third') ORDER BY title")),
                 (QVariantList{QStringLiteral("second"), QStringLiteral("third")}));
    }

    // The library closed while the worker writes: the save is kept whole,
    // its files too; an answer nobody is left to hear is not given.
    void closingKeepsASaveUnderWay()
    {
        bool answered = false;
        {
            auto container = makeTestContainer(folder);
            ModelContext &context = container->mainContext();
            context.insert(imageWithBytes(large + "kept", QStringLiteral("kept")));
            auto receiver = std::make_unique<QObject>();
            context.saveInBackground(receiver.get(), {}, [&](const std::optional<ModelStoreError> &) { answered = true; });
            receiver.reset();
        }
        QVERIFY(!answered);
        auto container = makeTestContainer(folder);
        AtlasImage *kept = imageTitled(container->mainContext(), QStringLiteral("kept"));
        QVERIFY(kept);
        QCOMPARE(kept->imageData(), std::optional(large + "kept"));
        QCOMPARE(externalFileNames(folder), storedFileNames(folder));
    }
};

QTEST_GUILESS_MAIN(BackgroundSaveTest)
#include "tst_backgroundsave.moc"
