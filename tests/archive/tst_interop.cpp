// Our archives against the common zip tools, and the tools' archives
// against our reader.
#include "LibraryTestSupport.h"
#include "ZipTestSupport.h"
#include "archive/LibraryArchive.h"
#include "archive/LibraryArchiveContents.h"
#include "archive/LibraryArchiveFile.h"
#include "archive/ZipArchiveReader.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray notes = QByteArray("Anatomy atlas notes. ").repeated(400);
const QString imagePath = QStringLiteral("images/6F9619FF-8B86-D011-B42D-00C04FC964FF.png");

struct Run {
    int exitCode = -1;
    QByteArray output;
};

Run run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    return {finished ? process.exitCode() : -1, process.readAll()};
}

LibraryArchiveContents sampleContents()
{
    LibraryArchiveContents contents;
    contents.manifest.formatVersion = 1;
    contents.manifest.exportedAt = Date::fromSecondsSince1970(1741944413);
    contents.manifest.application = {QStringLiteral("Veloran"), QStringLiteral("1.0"), QStringLiteral("1")};
    const QList<QPair<QString, QByteArray>> files{
        {imagePath, QByteArray("\x89PNG\r\n\x1A\n", 8) + randomBytes(200000, 7)},
        {QStringLiteral("images/empty.dat"), QByteArray()},
        {QStringLiteral("images/caf\u00E9 \U0001F600.jpeg"), QByteArray("\xFF\xD8\xFF", 3) + notes},
    };
    for (const auto &[path, bytes] : files) {
        LibraryArchiveManifest::ImageRecord record;
        record.id = QUuid::createUuid();
        record.createdAt = contents.manifest.exportedAt;
        record.imagePath = path;
        contents.manifest.images.append(record);
        contents.imageFiles.insert(path, bytes);
    }
    return contents;
}

} // namespace

class InteropTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_ours;
    QString m_streamed;
    LibraryArchiveContents m_contents;
    QString m_streamedImage;
    QByteArray m_streamedBytes;

private slots:
    void initTestCase()
    {
        m_contents = sampleContents();
        m_ours = m_dir.filePath(QStringLiteral("ours.veloran"));
        writeFile(m_ours, m_contents.archiveData().value());
        // Bytes in a file beside the store and in the store's database.
        auto library = makeTestContainer(m_dir.filePath(QStringLiteral("library")));
        ModelContext &context = library->mainContext();
        m_streamedBytes = pngBytes(300 * 1024, 1);
        addImage(context, QStringLiteral("large"), nullptr, m_streamedBytes);
        addImage(context, QStringLiteral("small"), nullptr, QByteArray("\xFF\xD8\xFF jpeg"));
        context.save();
        m_streamedImage = LibraryArchive::imagePath(idOf("large"), QStringLiteral("png"));
        m_streamed = m_dir.filePath(QStringLiteral("streamed.veloran"));
        QVERIFY(LibraryArchiveFile::write(LibraryArchiveSource::fromLibrary(context.fetch<AtlasImage>(), {}), m_streamed)
                    .ok());
    }

    // Each tool finds our archives sound and reads what we wrote.
    void commonToolsReadOurArchives_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("archive");
        QTest::addColumn<int>("entries");
        QTest::addColumn<QString>("sample");
        QTest::addColumn<QByteArray>("bytes");
        for (const char *tool : {"unzip", "python3", "7z"}) {
            QTest::addRow("%s, written in memory", tool) << tool << m_ours << 4 << imagePath
                                                         << m_contents.imageFiles.value(imagePath);
            QTest::addRow("%s, streamed from a library", tool) << tool << m_streamed << 3 << m_streamedImage
                                                               << m_streamedBytes;
        }
    }

    void commonToolsReadOurArchives()
    {
        QFETCH(QString, tool);
        QFETCH(QString, archive);
        QFETCH(int, entries);
        QFETCH(QString, sample);
        QFETCH(QByteArray, bytes);
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP("the tool is not installed (scripts/install-deps)");
        if (tool == QLatin1String("unzip")) {
            const Run test = run(tool, {"-t", archive});
            QVERIFY2(test.exitCode == 0 && test.output.contains("No errors detected"), test.output.constData());
            QCOMPARE(run(tool, {"-p", archive, sample}).output, bytes);
        } else if (tool == QLatin1String("7z")) {
            const Run test = run(tool, {"t", archive});
            QVERIFY2(test.exitCode == 0 && test.output.contains("Everything is Ok"), test.output.constData());
            QVERIFY(test.output.contains(QStringLiteral("Files: %1").arg(entries).toUtf8()));
        } else {
            const Run test = run(tool, {"-c", R"(import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None
for info in z.infolist():
    print(info.filename, info.file_size, info.compress_type, sep="|")
)", archive});
            QVERIFY2(test.exitCode == 0, test.output.constData());
            const QStringList lines = QString::fromUtf8(test.output).trimmed().split('\n');
            QVERIFY(lines[0].startsWith("library.json|"));
            QVERIFY(lines.contains(QStringLiteral("%1|%2|0").arg(sample).arg(bytes.size())));
            // Every name as we read it, the empty and the non-ASCII ones too.
            QStringList names;
            for (const QString &line : lines)
                names << line.section(u'|', 0, 0);
            QCOMPARE(names.size(), entries);
            for (const QString &name : readEntries(fileContents(archive)).keys())
                QVERIFY2(names.contains(name), qPrintable(name));
        }
    }

    void readsArchivesOfTheCommonTools_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<ZipArchiveError>>("errors"); // the one met, or one of them; none: it reads
        using E = ZipArchiveError;
        QTest::newRow("Info-ZIP, deflated, differing extra fields") << "infozip.zip" << QList<E>{};
        QTest::newRow("Info-ZIP to a pipe, data descriptors") << "infozip-pipe.zip" << QList<E>{};
        QTest::newRow("Python, 65,535-byte comment") << "python-comment.zip" << QList<E>{};
        QTest::newRow("7-Zip, folders first") << "7z.zip" << QList<E>{};
        QTest::newRow("Python, a Zip64 extra but plain sizes") << "python-zip64-extra.zip" << QList<E>{};
        QTest::newRow("bzip2") << "7z-bzip2.zip" << QList<E>{E::unsupportedCompression(12)};
        QTest::newRow("LZMA") << "7z-lzma.zip" << QList<E>{E::unsupportedCompression(14)};
        QTest::newRow("Deflate64") << "7z-deflate64.zip" << QList<E>{E::unsupportedCompression(9)};
        QTest::newRow("AES") << "7z-aes.zip" << QList<E>{E::unsupportedCompression(99)};
        // Traditional encryption: the bytes are taken as they are and fail.
        QTest::newRow("encrypted, stored") << "infozip-encrypted-stored.zip" << QList<E>{E::checksumMismatch("notes.txt")};
        QTest::newRow("encrypted") << "infozip-encrypted.zip"
                                   << QList<E>{E::truncated(), E::checksumMismatch("notes.txt")};
    }

    void readsArchivesOfTheCommonTools()
    {
        QFETCH(QString, name);
        QFETCH(QList<ZipArchiveError>, errors);
        const QByteArray archive = fileContents(QStringLiteral(VELORAN_TEST_DATA_DIR "/") + name);
        if (!errors.isEmpty()) {
            const ZipArchiveError error = zipReadError(archive);
            QVERIFY2(errors.contains(error), qPrintable(error.description()));
            return;
        }
        const auto read = readBothWays(archive);
        QVERIFY2(read.ok(), read.ok() ? "" : qPrintable(read.error().description()));
        const auto &entries = read.value();
        if (entries.contains("notes.txt"))
            QCOMPARE(entries.value("notes.txt"), notes);
        for (const QString &path : entries.keys())
            QVERIFY2(!path.endsWith('/'), qPrintable(path));
        if (!entries.contains("library.json"))
            return;
        const auto contents = LibraryArchiveContents::fromArchiveData(archive);
        QVERIFY2(contents.ok(), contents.ok() ? "" : qPrintable(errorDescription(contents.error())));
        QCOMPARE(contents.value().manifest.images.size(), 1);
        QCOMPARE(contents.value().manifest.images[0].metadata.age.value, 40);
        QCOMPARE(contents.value().imageFiles.keys(), QList<QString>{imagePath});
        const QByteArray png = contents.value().imageFiles.value(imagePath);
        QCOMPARE(png.size(), 71);
        QCOMPARE(LibraryArchive::fileExtension(png), QStringLiteral("png"));
    }
};

QTEST_GUILESS_MAIN(InteropTest)
#include "tst_interop.moc"
