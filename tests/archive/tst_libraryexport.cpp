// Archive contents built from the library, and archives written to files.
#include "LibraryTestSupport.h"
#include "archive/LibraryArchive.h"
#include "archive/LibraryArchiveFile.h"
#include "model/LibraryEntry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

using M = LibraryArchiveManifest;

QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class LibraryExportTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void recordsFollowTheLibrary()
    {
        auto container = makeTestContainer();
        ModelContext &context = container->mainContext();
        Series *series = addSeries(context, QStringLiteral("Thorax"));
        AtlasImage *image = addImage(context, QStringLiteral("Chest"), series, pngBytes(64, 1));
        // Points ordered by the text of their identifiers, whatever the store's order.
        for (const char *id : {"F0000000-0000-0000-0000-000000000000", "00000000-0000-0000-0000-000000000001",
                               "A0000000-0000-0000-0000-000000000000"}) {
            auto point = PointAnnotation::make(QString::fromLatin1(id));
            point->setId(QUuid::fromString(QLatin1String(id)));
            point->setImage(image);
        }
        AtlasImage *noBytes = addImage(context, QStringLiteral("No bytes"), nullptr, std::nullopt);
        AtlasImage *emptyBytes = addImage(context, QStringLiteral("Empty bytes"), nullptr, QByteArray(""));
        context.save();

        const auto built = LibraryArchiveSource::fromLibrary({image, noBytes, emptyBytes}, {series}).contents();
        QVERIFY(built.ok());
        const LibraryArchiveContents &contents = built.value();
        QCOMPARE(contents.manifest.formatVersion, 1);
        QCOMPARE(contents.manifest.application, M::Application::current());
        QCOMPARE(contents.manifest.series, (QList<M::SeriesRecord>{{idOf("Thorax"), "Thorax", series->createdAt()}}));
        const M::ImageRecord &chest = contents.manifest.images[0];
        QCOMPARE(chest.metadata, (M::MetadataRecord{2, 99, 1, 1, {4294967301, 4294967298}}));
        QCOMPARE(chest.seriesID, idOf("Thorax"));
        QCOMPARE(chest.createdAt, image->createdAt());
        const QString path = LibraryArchive::imagePath(idOf("Chest"), QStringLiteral("png"));
        QCOMPARE(chest.imagePath, path);
        QStringList pointIds;
        for (const M::PointRecord &point : chest.points)
            pointIds << point.id.toString(QUuid::WithoutBraces).left(2);
        QCOMPARE(pointIds.first(), QStringLiteral("00"));
        QCOMPARE(pointIds.last(), QStringLiteral("f0"));
        QCOMPARE(chest.points.size(), 4);
        QCOMPARE(chest.regions.first().vertices, (QList<M::VertexRecord>{{0, 0}, {0.5, 0.125}, {1, 1}}));
        const auto withPoint = std::find_if(chest.points.begin(), chest.points.end(),
                                            [](const M::PointRecord &p) { return p.id == idOf("Chest/point"); });
        QCOMPARE(withPoint->links, (QList<M::LinkRecord>{{idOf("Chest/link"), "Atlas", "example.org/a b"}}));
        // Absent and empty bytes: no path and no file.
        QCOMPARE(contents.manifest.images[1].imagePath, std::nullopt);
        QCOMPARE(contents.manifest.images[2].imagePath, std::nullopt);
        QCOMPARE(contents.imageFiles.keys(), QList<QString>{path});
        QCOMPARE(contents.imageFiles.value(path), pngBytes(64, 1));
    }

    void chosenEntries_data()
    {
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<QStringList>("images");
        QTest::addColumn<QStringList>("series");
        // Series "S" holds s2, s0, s1 with those sort indices; "Empty" holds
        // nothing; "x" stands alone.
        QTest::newRow("series, then one of its images") << QStringList{"S", "s2"} << QStringList{"s0", "s1", "s2"}
                                                        << QStringList{"S"};
        QTest::newRow("an image, then its series") << QStringList{"s2", "S"} << QStringList{"s2", "s0", "s1"}
                                                   << QStringList{"S"};
        QTest::newRow("an image brings its series alone") << QStringList{"s1"} << QStringList{"s1"} << QStringList{"S"};
        QTest::newRow("a series without images") << QStringList{"Empty"} << QStringList{} << QStringList{"Empty"};
        QTest::newRow("each once") << QStringList{"x", "x", "Empty", "Empty"} << QStringList{"x"} << QStringList{"Empty"};
    }

    void chosenEntries()
    {
        QFETCH(QStringList, chosen);
        QFETCH(QStringList, images);
        QFETCH(QStringList, series);
        auto container = makeTestContainer();
        ModelContext &context = container->mainContext();
        Series *s = addSeries(context, QStringLiteral("S"));
        Series *empty = addSeries(context, QStringLiteral("Empty"));
        for (const auto &[name, index] : {std::pair{"s2", 2}, {"s0", 0}, {"s1", 1}})
            addImage(context, QString::fromLatin1(name), s, std::nullopt, index);
        addImage(context, QStringLiteral("x"), nullptr, std::nullopt);
        const QList<AtlasImage *> library = context.fetch<AtlasImage>();

        QList<LibraryEntry> entries;
        for (const QString &name : chosen) {
            if (name == QLatin1String("S") || name == QLatin1String("Empty"))
                entries.append(LibraryEntry::series({name == QLatin1String("S") ? s : empty, {}}));
            else
                entries.append(LibraryEntry::image(*std::find_if(library.begin(), library.end(), [&](AtlasImage *i) {
                    return i->title() == name;
                })));
        }
        const LibraryArchiveSource source = LibraryArchiveSource::fromEntries(entries, library);
        QStringList imageTitles;
        for (const M::ImageRecord &record : source.manifest.images)
            imageTitles << record.title;
        QStringList seriesTitles;
        for (const M::SeriesRecord &record : source.manifest.series)
            seriesTitles << record.title;
        QCOMPARE(imageTitles, images);
        QCOMPARE(seriesTitles, series);
    }

    void defaultFilenames_data()
    {
        QTest::addColumn<QStringList>("titles"); // "series:" marks a series entry
        QTest::addColumn<QString>("filename");
        QTest::newRow("nothing chosen") << QStringList{} << "Veloran Library";
        QTest::newRow("several") << QStringList{"a", "b", "series:c"} << "Veloran Selection";
        QTest::newRow("slashes and colons") << QStringList{"CT: head/neck "} << "CT- head-neck";
        QTest::newRow("blank") << QStringList{"  "} << "Veloran Library";
        QTest::newRow("untitled image") << QStringList{""} << "Untitled";
        QTest::newRow("untitled series") << QStringList{"series:"} << "Untitled Series";
        QTest::newRow("series title") << QStringList{"series:Knee MR"} << "Knee MR";
    }

    void defaultFilenames()
    {
        QFETCH(QStringList, titles);
        QFETCH(QString, filename);
        QList<std::shared_ptr<ModelObject>> keep;
        QList<LibraryEntry> entries;
        for (const QString &title : titles) {
            if (title.startsWith(QLatin1String("series:"))) {
                auto series = Series::make(title.mid(7));
                entries.append(LibraryEntry::series({series.get(), {}}));
                keep.append(series);
            } else {
                auto image = AtlasImage::make(title);
                entries.append(LibraryEntry::image(image.get()));
                keep.append(image);
            }
        }
        QCOMPARE(defaultArchiveFilename(entries), filename);
    }

    void anImageWhoseBytesAreGoneFailsTheExportNamingIt()
    {
        QTemporaryDir library;
        auto container = makeTestContainer(library.path());
        ModelContext &context = container->mainContext();
        addImage(context, QStringLiteral("Kept"), nullptr, pngBytes(300 * 1024, 1));
        addImage(context, QStringLiteral("Lost"), nullptr, pngBytes(300 * 1024, 2));
        context.save();
        const QString folder = ModelContainer::externalFolder(QDir(library.path()).filePath("default.store"));
        for (const QString &name : QDir(folder).entryList(QDir::Files)) {
            if (fileContents(folder + "/" + name) == pngBytes(300 * 1024, 2))
                QVERIFY(QFile::remove(folder + "/" + name));
        }

        const QString target = m_dir.filePath(QStringLiteral("lost.veloran"));
        QFile previous(target);
        QVERIFY(previous.open(QIODevice::WriteOnly));
        previous.write("the previous backup");
        previous.close();
        const LibraryArchiveSource source =
            LibraryArchiveSource::fromLibrary(context.fetch<AtlasImage>(), context.fetch<Series>());
        const auto written = LibraryArchiveFile::write(source, target);
        QVERIFY(!written.ok());
        QCOMPARE(errorDescription(written.error()),
                 QStringLiteral("The image data of \u201CLost\u201D can't be read, so the archive wasn't written."));
        QVERIFY(!source.contents().ok());
        QCOMPARE(fileContents(target), QByteArray("the previous backup"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"lost.veloran"});
    }

    void anArchivePastTheFormatsLimitIsRefusedFromTheLengths()
    {
        // Three sparse files of 1.5 GiB: over 4 GiB together, and nothing
        // to read but holes.
        LibraryArchiveSource source;
        source.manifest.formatVersion = 1;
        for (int i = 0; i < 3; ++i) {
            const QString path = m_dir.filePath(QStringLiteral("sparse%1").arg(i));
            QFile sparse(path);
            QVERIFY(sparse.open(QIODevice::WriteOnly));
            QVERIFY(sparse.resize(qint64(3) << 29));
            M::ImageRecord record;
            record.id = QUuid::createUuid();
            source.manifest.images.append(record);
            source.imageBytes.append({i, StoredImageData::file(path)});
        }
        const QString target = m_dir.filePath(QStringLiteral("large.veloran"));
        const auto written = LibraryArchiveFile::write(source, target);
        QVERIFY(!written.ok());
        QCOMPARE(errorDescription(written.error()), QStringLiteral("The archive is too large to write in the zip format."));
        QVERIFY(!QFile::exists(target));
        for (int i = 0; i < 3; ++i)
            QFile::remove(m_dir.filePath(QStringLiteral("sparse%1").arg(i)));
    }

    void aFailedWriteLeavesThePreviousFile()
    {
        LibraryArchiveSource source;
        source.manifest.formatVersion = 1;
        M::ImageRecord record;
        record.id = QUuid::createUuid();
        source.manifest.images.append(record);
        source.imageBytes.append({0, StoredImageData::inMemory(pngBytes(2 << 20, 3))});

        const QString missingFolder = m_dir.filePath(QStringLiteral("no such folder/a.veloran"));
        const auto unopened = LibraryArchiveFile::write(source, missingFolder);
        QVERIFY(!unopened.ok());
        QVERIFY(std::holds_alternative<FileWriteError>(unopened.error()));
        QVERIFY(errorDescription(unopened.error()).startsWith(QStringLiteral("The file \u201Ca.veloran\u201D couldn\u2019t be saved: ")));

        // A file size limit makes the writing fail half-way.
        const QString target = m_dir.filePath(QStringLiteral("limited.veloran"));
        QFile previous(target);
        QVERIFY(previous.open(QIODevice::WriteOnly));
        previous.write("previous");
        previous.close();
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = 1 << 20;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const auto failed = LibraryArchiveFile::write(source, target);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!failed.ok());
        QVERIFY(std::holds_alternative<FileWriteError>(failed.error()));
        QCOMPARE(fileContents(target), QByteArray("previous"));
        QVERIFY(LibraryArchiveFile::write(source, target).ok());
        QCOMPARE(LibraryArchiveContents::fromArchiveData(fileContents(target)).value(), source.contents().value());
    }
};

QTEST_GUILESS_MAIN(LibraryExportTest)
#include "tst_libraryexport.moc"
