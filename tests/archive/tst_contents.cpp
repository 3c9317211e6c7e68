#include "ZipTestSupport.h"
#include "archive/LibraryArchive.h"
#include "archive/LibraryArchiveContents.h"
#include "archive/LibraryArchiveFile.h"
#include "archive/VeloranLibraryType.h"
#include "archive/ZipArchiveWriter.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QTest>

namespace {

using M = LibraryArchiveManifest;

M::ImageRecord image(const char *path)
{
    M::ImageRecord record;
    record.id = QUuid::createUuid();
    record.title = QStringLiteral("image");
    record.metadata = {3, 1, 1, 1, {1, std::nullopt}};
    record.createdAt = Date::fromSecondsSince1970(1700000000);
    if (path)
        record.imagePath = QString::fromUtf8(path);
    return record;
}

M manifest(QList<M::ImageRecord> images, qint64 version = 1)
{
    M m;
    m.formatVersion = version;
    m.exportedAt = Date::fromSecondsSince1970(1700000100);
    m.application = {QStringLiteral("Veloran"), QStringLiteral("1.0"), QString()};
    m.images = std::move(images);
    return m;
}

// The entry names in central-directory order.
QStringList centralNames(const QByteArray &archive)
{
    const qsizetype end = archive.size() - 22;
    const int count = get16(archive, end + 10);
    qsizetype at = get32(archive, end + 16);
    QStringList names;
    for (int i = 0; i < count; ++i) {
        const int nameLength = get16(archive, at + 28);
        names << QString::fromUtf8(archive.mid(at + 46, nameLength));
        at += 46 + nameLength + get16(archive, at + 30) + get16(archive, at + 32);
    }
    return names;
}

} // namespace

class ContentsTest : public QObject {
    Q_OBJECT
private slots:
    void writesManifestFirstThenImagesByPath()
    {
        LibraryArchiveContents contents;
        contents.manifest = manifest({image("images/b.png"), image("images/a.jpeg"), image(nullptr)});
        contents.imageFiles = {{"images/b.png", "B"}, {"images/a.jpeg", "A"}};
        const auto written = contents.archiveData();
        QVERIFY(written.ok());
        QCOMPARE(centralNames(written.value()), (QStringList{"library.json", "images/a.jpeg", "images/b.png"}));
        const auto read = LibraryArchiveContents::fromArchiveData(written.value());
        QVERIFY(read.ok());
        QCOMPARE(read.value(), contents);

        LibraryArchiveContents empty;
        empty.manifest = manifest({});
        QCOMPARE(centralNames(empty.archiveData().value()), QStringList{"library.json"});
        // Unicode scalar order, not UTF-16 order: U+FF5E before U+1F600.
        LibraryArchiveContents unicode;
        unicode.manifest = manifest({});
        unicode.imageFiles = {{"images/\U0001F600", "1"}, {"images/\uFF5E", "2"}, {"images/Z", "3"}};
        QCOMPARE(centralNames(unicode.archiveData().value()),
                 (QStringList{"library.json", "images/Z", "images/\uFF5E", "images/\U0001F600"}));
    }

    void readsOnlyWhatTheManifestNames()
    {
        M m = manifest({image("images/x.png"), image(nullptr), image("images/x.png"), image("library.json")});
        const QByteArray json = m.encoded().value();
        const QByteArray archive = ZipArchiveWriter::archive({{"library.json", json},
                                                              {"images/x.png", "pixels"},
                                                              {"images/unnamed.png", "dropped"},
                                                              {"images/", "folder"}})
                                       .value();
        const auto read = LibraryArchiveContents::fromArchiveData(archive);
        QVERIFY(read.ok());
        QCOMPARE(read.value().manifest, m);
        QCOMPARE(read.value().imageFiles, (QHash<QString, QByteArray>{{"images/x.png", "pixels"}, {"library.json", json}}));
    }

    // Failures in the order a reader meets them, told in the archive's own words.
    void readFailures_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<QString>("error");
        const auto zip = [](const QList<ZipEntry> &entries) { return ZipArchiveWriter::archive(entries).value(); };
        const QString noManifest = QStringLiteral("The archive doesn't contain a library.json manifest.");
        const QByteArray good = manifest({image("images/a.png")}).encoded().value();
        const QByteArray later = manifest({image("images/a.png")}, 2).encoded().value();
        RawZipEntry damaged = storedEntry("images/other.png", "x");
        damaged.crc ^= 1;
        QTest::newRow("not a zip") << QByteArray("not a zip at all, but long enough") << "The file isn't a zip archive.";
        QTest::newRow("zip64") << buildZip({}, {{}, quint16(0xFFFF), {}}) << "Zip64 archives aren't supported.";
        QTest::newRow("damaged zip") << buildZip({}, {{}, quint16(1), {}}) << "The archive is incomplete or damaged.";
        RawZipEntry bzip2 = storedEntry("library.json", good);
        bzip2.method = 12;
        QTest::newRow("bzip2") << buildZip({bzip2}) << "The archive uses an unsupported compression method (12).";
        QTest::newRow("no manifest") << zip({{"images/a.png", "a"}}) << noManifest;
        QTest::newRow("a folder named like the manifest") << zip({{"library.json/", good}}) << noManifest;
        QTest::newRow("damaged entry before a bad manifest")
            << buildZip({storedEntry("library.json", "{}"), damaged})
            << "\u201Cimages/other.png\u201D failed its checksum and may be damaged.";
        QTest::newRow("bad manifest")
            << buildZip({storedEntry("library.json", "{}"), storedEntry("images/a.png", "a")})
            << "The library.json manifest lacks the required key \u201CformatVersion\u201D at the top level.";
        QTest::newRow("later format") << zip({{"library.json", later}})
                                      << "The archive was written in format 2, which this version of Veloran can't read.";
        // A later format that doesn't decode fails with the decoder's error.
        QTest::newRow("later format, not decoded")
            << zip({{"library.json", QByteArray(later).replace("\"images\"", "\"pictures\"")}})
            << "The library.json manifest lacks the required key \u201Cimages\u201D at the top level.";
        // The first missing file in record order, even when a later one is there.
        const QByteArray twoImages = manifest({image("images/missing.png"), image("images/there.png")}).encoded().value();
        QTest::newRow("first missing file") << zip({{"library.json", twoImages}, {"images/there.png", "t"}})
                                            << "The archive is missing the image file \u201Cimages/missing.png\u201D.";
        QTest::newRow("earlier formats") << zip({{"library.json", manifest({}, 0).encoded().value()}}) << QString();
        QTest::newRow("negative format") << zip({{"library.json", manifest({}, -3).encoded().value()}}) << QString();
    }

    void readFailures()
    {
        QFETCH(QByteArray, archive);
        QFETCH(QString, error);
        const auto read = LibraryArchiveContents::fromArchiveData(archive);
        QCOMPARE(read.ok() ? QString() : errorDescription(read.error()), error);
    }

    // A manifest is decoded as it is inflated: blanks between its values
    // cost nothing, values that would take more than one archive can hold
    // are refused as damage, and the entry's own faults come first.
    void manifestsAreDecodedAsTheyInflate_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<QString>("error");
        const QByteArray json = manifest({image(nullptr)}).encoded().value();
        const QByteArray body = json.left(json.lastIndexOf('}'));
        const QString damaged = QStringLiteral("The archive is incomplete or damaged.");
        QTest::newRow("a megabyte of blanks")
            << buildZip({repeatedEntry("library.json", json.left(1), " \t\r\n", 256 * 1024, json.mid(1))}) << QString();
        QTest::newRow("values past the limit")
            << buildZip({repeatedEntry("library.json", body + ",\"extra\":[0", ",0", 64 * 1024, "]}")}) << damaged;
        QTest::newRow("text past the limit")
            << buildZip({repeatedEntry("library.json", body + ",\"extra\":\"", "a", 600 * 1024, "\"}")}) << damaged;
        QTest::newRow("keys past the limit")
            << buildZip({repeatedEntry("library.json", body + ",\"extra\":{\"k\":0", ",\"k\":0", 16 * 1024, "}}")})
            << damaged;
        RawZipEntry wrongChecksum = repeatedEntry("library.json", "{", " ", 1024, "}");
        wrongChecksum.crc ^= 1;
        QTest::newRow("bad JSON, wrong checksum")
            << buildZip({wrongChecksum}) << "\u201Clibrary.json\u201D failed its checksum and may be damaged.";
        RawZipEntry shortStream = repeatedEntry("library.json", json.left(1), " ", 1024, json.mid(1));
        ++shortStream.uncompressedSize;
        QTest::newRow("stream shorter than its size") << buildZip({shortStream}) << damaged;
        QTest::newRow("error after blank lines")
            << buildZip({repeatedEntry("library.json", "{", "\n", 1000, "  \"formatVersion\": 1 2}")})
            << "The library.json manifest isn't valid JSON (parse error at line 1001, column 22: syntax error while "
               "parsing object - unexpected number literal; expected '}').";
    }

    void manifestsAreDecodedAsTheyInflate()
    {
        QFETCH(QByteArray, archive);
        QFETCH(QString, error);
        const ZipArchiveSource source = ZipArchiveSource::memory(archive);
        const auto directory = ZipArchiveReader::directory(source);
        QVERIFY(directory.ok());
        const auto manifest = LibraryArchiveContents::readManifest(source, directory.value(), 512 * 1024);
        QCOMPARE(manifest.ok() ? QString() : errorDescription(manifest.error()), error);
    }

    // The values of a manifest may take as much as the largest entry a zip
    // file without its 64-bit extension can hold: a manifest that takes
    // exactly that is read, one that takes a byte more is refused. The
    // measure of small manifests, found with explicit limits, tells how
    // many members of an unknown object bring it there; the members share
    // one name, so that each replaces the last and the test holds little.
    void manifestsAreReadUpToTheLargestEntry_data()
    {
        QTest::addColumn<qint64>("past");
        QTest::addColumn<QString>("error");
        QTest::newRow("at the limit") << qint64(0) << QString();
        QTest::newRow("one byte past it") << qint64(1) << QStringLiteral("The archive is incomplete or damaged.");
    }

    void manifestsAreReadUpToTheLargestEntry()
    {
        QFETCH(qint64, past);
        QFETCH(QString, error);
        constexpr qint64 largestEntry = 0xFFFFFFFFLL;
        const QByteArray json = manifest({}).encoded().value();
        const QByteArray head = json.left(json.lastIndexOf('}')) + ",\"extra\":{";
        // The least limit under which `text` is read.
        const auto measure = [](const QByteArray &text) {
            const auto readsUnder = [&text](qint64 limit) {
                qsizetype at = 0;
                bool tooLarge = false;
                const auto read = [&](char *into, qint64 max) {
                    const qint64 n = qMin<qint64>(max, text.size() - at);
                    std::memcpy(into, text.constData() + at, size_t(n));
                    at += n;
                    return n;
                };
                return M::decoded(read, limit, &tooLarge).ok() && !tooLarge;
            };
            qint64 low = 0;
            qint64 high = 1 << 20;
            while (low < high) {
                const qint64 middle = (low + high) / 2;
                if (readsUnder(middle))
                    high = middle;
                else
                    low = middle + 1;
            }
            return low;
        };
        const qint64 empty = measure(head + "}}");
        const qint64 member = measure(head + "\"\":[]}}") - empty;
        QCOMPARE(measure(head + "\"key\":[]}}"), empty + member + 3); // a name takes its length
        const qint64 members = (largestEntry - empty) / member;
        const qint64 nameLength = (largestEntry - empty) % member + past;
        const QByteArray first = '"' + QByteArray(nameLength, 'k') + "\":[]";
        const QByteArray archive =
            buildZip({repeatedEntry("library.json", head + first, ",\"\":[]", members - 1, "}}")});
        const ZipArchiveSource source = ZipArchiveSource::memory(archive);
        const auto directory = ZipArchiveReader::directory(source);
        QVERIFY(directory.ok());
        const auto read = LibraryArchiveContents::readManifest(source, directory.value());
        QCOMPARE(read.ok() ? QString() : errorDescription(read.error()), error);
    }

    void writeFailuresPassThrough()
    {
        LibraryArchiveContents contents;
        contents.manifest = manifest({image(nullptr)});
        M::PointRecord point;
        point.x = std::numeric_limits<double>::infinity();
        contents.manifest.images[0].points = {point};
        QVERIFY(std::holds_alternative<ManifestEncodingError>(contents.archiveData().error()));

        contents.manifest = manifest({});
        contents.imageFiles.insert(QString(0x10000, QLatin1Char('n')), QByteArray());
        QCOMPARE(contents.archiveData().error(), LibraryArchiveContents::WriteError(ZipArchiveError::archiveTooLarge()));
    }

    void fileExtensionsFollowTheImageSignature_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("extension");
        QTest::newRow("png") << QByteArray("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16) << "png";
        QTest::newRow("jpeg") << QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF", 10) << "jpeg";
        QTest::newRow("webp") << QByteArray("RIFF\x24\0\0\0WEBPVP8 ", 16) << "webp";
        QTest::newRow("riff not webp") << QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16) << "dat";
        QTest::newRow("heic") << QByteArray("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24) << "heic";
        QTest::newRow("heic by brand") << QByteArray("\0\0\0\x18" "ftypmsf1\0\0\0\0heixmif1", 24) << "heif";
        QTest::newRow("avif") << QByteArray("\0\0\0\x1C" "ftypavif\0\0\0\0avifmif1miaf", 28) << "avif";
        QTest::newRow("compatible avif") << QByteArray("\0\0\0\x18" "ftypxxxx\0\0\0\0miafavif", 24) << "avif";
        QTest::newRow("mp4") << QByteArray("\0\0\0\x18" "ftypisom\0\0\0\0isomiso2", 24) << "dat";
        QTest::newRow("jp2") << QByteArray("\0\0\0\x0CjP  \r\n\x87\n\0\0", 14) << "jp2";
        QTest::newRow("empty") << QByteArray() << "dat";
        QTest::newRow("short png") << QByteArray("\x89PN", 3) << "dat";
    }

    void fileExtensionsFollowTheImageSignature()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, extension);
        QCOMPARE(LibraryArchive::fileExtension(bytes), extension);
    }

    void onlyRegularFilesAreRead()
    {
        QTemporaryDir dir;
        QCOMPARE(std::get<FileReadError>(LibraryArchiveFile::read(dir.filePath(QStringLiteral("absent"))).error()).reason,
                 FileReadError::Reason::noSuchFile);
        QCOMPARE(std::get<FileReadError>(LibraryArchiveFile::read(dir.path()).error()).reason,
                 FileReadError::Reason::notRegularFile);
    }

    void archiveTypeIsRegisteredAsAKindOfZip()
    {
        // The shared MIME-info file, installed into a data folder of its own.
        QTemporaryDir data;
        QVERIFY(QDir(data.path()).mkpath(QStringLiteral("mime/packages")));
        QVERIFY(QFile::copy(QStringLiteral(VELORAN_SOURCE_DIR "/data/mime/veloran-library.xml"),
                            data.filePath(QStringLiteral("mime/packages/veloran-library.xml"))));
        qputenv("XDG_DATA_DIRS", data.path().toLocal8Bit() + ":/usr/local/share:/usr/share");
        const QMimeDatabase database;
        const QMimeType type = database.mimeTypeForFile(QStringLiteral("Atlas.") + VeloranLibraryType::fileExtension,
                                                        QMimeDatabase::MatchExtension);
        QCOMPARE(type.name(), QString(VeloranLibraryType::mimeType));
        QVERIFY(type.inherits(VeloranLibraryType::parentMimeType));
        QCOMPARE(type.preferredSuffix(), QString(VeloranLibraryType::fileExtension));
    }
};

QTEST_GUILESS_MAIN(ContentsTest)
#include "tst_contents.moc"
