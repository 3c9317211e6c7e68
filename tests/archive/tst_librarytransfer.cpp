// Archives of chosen entries as they are shared: their file names, the
// private folder they are written to, and its hourly clean-up.
#include "LibraryTestSupport.h"
#include "archive/LibraryArchiveTransfer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/time.h>

namespace {

int mode(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// Sets an item's own modification time (a link's, not its target's).
void setModified(const QString &path, qint64 secondsSince1970)
{
    const struct timeval times[2] = {{time_t(secondsSince1970), 0}, {time_t(secondsSince1970), 0}};
    if (::lutimes(QFile::encodeName(path).constData(), times) != 0)
        qFatal("cannot date %s", qPrintable(path));
}

void writeFile(const QString &path, const QByteArray &bytes = "kept")
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class LibraryTransferTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ModelContainer> m_container = makeTestContainer();
    LibraryArchiveSource m_source;

private slots:
    void initTestCase()
    {
        ModelContext &context = m_container->mainContext();
        Series *series = addSeries(context, QStringLiteral("Spine"));
        AtlasImage *c1 = addImage(context, QStringLiteral("C1"), series, pngBytes(4096, 1));
        AtlasImage *c2 = addImage(context, QStringLiteral("C2"), series, pngBytes(2048, 2), 1);
        context.save();
        m_source = LibraryArchiveSource::fromLibrary({c1, c2}, {series});
    }

    void fileNamesFitTheFileSystem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        const QString ext = QStringLiteral(".veloran");
        QTest::newRow("plain") << "Head CT" << "Head CT" + ext;
        QTest::newRow("slash") << "T1/T2" << "T1-T2" + ext;
        QTest::newRow("control characters") << QStringLiteral("Knee\n\tMRI\x7f\x01 \u0085") << "KneeMRI" + ext;
        QTest::newRow("nothing left") << QStringLiteral("\n\t ") << "Veloran Library" + ext;
        QTest::newRow("300 letters") << QString(300, u'a') << QString(247, u'a') + ext;
        QTest::newRow("two-byte letters") << QString(300, u'é') << QString(123, u'é') + ext;
        QTest::newRow("astral symbols") << QString(QStringLiteral("🫀")).repeated(100)
                                        << QString(QStringLiteral("🫀")).repeated(61) + ext;
        QTest::newRow("accents apart") << QStringLiteral("e\u0301").repeated(200)
                                       << QStringLiteral("e\u0301").repeated(82) + ext;
        QTest::newRow("space at the cut") << QString(246, u'a') + QStringLiteral(" bcd")
                                          << QString(246, u'a') + ext;
    }
    void fileNamesFitTheFileSystem()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        const QString filename = LibraryArchiveTransfer(m_source, name).archiveFilename();
        QCOMPARE(filename, expected);
        QVERIFY(filename.toUtf8().size() <= 255);
    }

    void sharesAreWrittenPrivatelyEachInAFolderOfItsOwn()
    {
        QTemporaryDir cache;
        const QString folder = cache.filePath(QStringLiteral("Veloran/SharedArchives"));
        const LibraryArchiveTransfer transfer(m_source, QString(300, u'x'));
        const auto first = transfer.writeSharedArchive(folder);
        QVERIFY2(first.ok(), qPrintable(first ? QString() : errorDescription(first.error())));
        const auto second = transfer.writeSharedArchive(folder);
        QVERIFY(second.ok());

        QCOMPARE(entries(folder).size(), 2);
        QVERIFY(QFileInfo(first.value()).absolutePath() != QFileInfo(second.value()).absolutePath());
        for (const QString &path : {first.value(), second.value()}) {
            QCOMPARE(QFileInfo(path).fileName(), transfer.archiveFilename());
            QCOMPARE(QFileInfo(path).dir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 1);
            QCOMPARE(mode(path), 0600);
            QCOMPARE(mode(QFileInfo(path).absolutePath()), 0700);
        }
        QCOMPARE(mode(folder), 0700);

        // The file, and the bytes form, are the archive of the contents.
        QFile file(first.value());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto fromFile = LibraryArchiveContents::fromArchiveData(file.readAll());
        const auto bytes = transfer.exportData();
        QVERIFY(fromFile.ok() && bytes.ok());
        QCOMPARE(fromFile.value().imageFiles, m_source.contents().value().imageFiles);
        QCOMPARE(fromFile.value().manifest.images.size(), 2);
        QCOMPARE(LibraryArchiveContents::fromArchiveData(bytes.value()).value(), fromFile.value());

        // A folder that others could read is made private again.
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                                  | QFile::ExeOther));
        QVERIFY(transfer.writeSharedArchive(folder).ok());
        QCOMPARE(mode(folder), 0700);
    }

    void aFailedBuildLeavesNoFolderBehind()
    {
        QTemporaryDir cache;
        const QString folder = cache.filePath(QStringLiteral("SharedArchives"));
        LibraryArchiveSource unreadable = m_source;
        unreadable.imageBytes[1].bytes = StoredImageData::unreadable();
        const auto written = LibraryArchiveTransfer(unreadable, QStringLiteral("Spine")).writeSharedArchive(folder);
        QVERIFY(!written.ok());
        QVERIFY(errorDescription(written.error()).contains(QStringLiteral("C2")));
        QCOMPARE(entries(folder), QStringList());
        QVERIFY(!LibraryArchiveTransfer(unreadable, QStringLiteral("Spine")).exportData().ok());
    }

    void cleanUpRemovesWhatIsMoreThanAnHourOld()
    {
        QTemporaryDir cache;
        QTemporaryDir elsewhere;
        const QString folder = cache.filePath(QStringLiteral("SharedArchives"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        const QString target = elsewhere.filePath(QStringLiteral("target"));
        writeFile(target);
        const auto item = [&](const QString &name) { return QDir(folder).filePath(name); };
        writeFile(item(QStringLiteral("an hour old")));
        setModified(item(QStringLiteral("an hour old")), now - 3600);
        writeFile(item(QStringLiteral(".a second older")));
        setModified(item(QStringLiteral(".a second older")), now - 3601);
        QVERIFY(QDir().mkpath(item(QStringLiteral("old share"))));
        writeFile(item(QStringLiteral("old share/Spine.veloran")));
        QVERIFY(QFile::link(target, item(QStringLiteral("old share/link"))));
        setModified(item(QStringLiteral("old share")), now - 7200);
        QVERIFY(QFile::link(elsewhere.path(), item(QStringLiteral("old link"))));
        setModified(item(QStringLiteral("old link")), now - 7200);
        writeFile(item(QStringLiteral("new")));

        LibraryArchiveTransfer::removeStaleSharedArchives(folder, QDateTime::fromSecsSinceEpoch(now));
        QCOMPARE(entries(folder), QStringList({"an hour old", "new"}));
        // Links went themselves; what they point to stayed.
        QVERIFY(QFile::exists(target));
        QCOMPARE(entries(elsewhere.path()), QStringList{"target"});
    }

    void aPlantedFolderIsRefusedUntouched_data()
    {
        QTest::addColumn<bool>("symlink"); // else a plain file
        QTest::newRow("symbolic link") << true;
        QTest::newRow("a file") << false;
    }
    void aPlantedFolderIsRefusedUntouched()
    {
        QFETCH(bool, symlink);
        QTemporaryDir cache;
        QTemporaryDir elsewhere;
        const QString old = elsewhere.filePath(QStringLiteral("someone's file"));
        writeFile(old);
        setModified(old, QDateTime::currentSecsSinceEpoch() - 7200);
        const QString folder = cache.filePath(QStringLiteral("SharedArchives"));
        if (symlink)
            QVERIFY(QFile::link(elsewhere.path(), folder));
        else
            writeFile(folder);

        const auto written = LibraryArchiveTransfer(m_source, QStringLiteral("Spine")).writeSharedArchive(folder);
        QVERIFY(!written.ok());
        QVERIFY(errorDescription(written.error()).contains(symlink ? QStringLiteral("symbolic link")
                                                                   : QStringLiteral("not a folder")));
        LibraryArchiveTransfer::removeStaleSharedArchives(folder);
        QCOMPARE(entries(elsewhere.path()), QStringList{"someone's file"});
        QCOMPARE(mode(elsewhere.path()), 0700);
    }
};

QTEST_GUILESS_MAIN(LibraryTransferTest)
#include "tst_librarytransfer.moc"
