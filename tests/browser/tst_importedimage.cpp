#include "browser/ImportedImage.h"
#include "browser/ThumbnailCache.h"
#include "platform/MemoryBudget.h"
#include "platform/WorkerPools.h"
#include "support/TestPictures.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <iterator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A PNG of random pixels, which compress poorly: cutting its end cuts its data.
QByteArray noisePng(QSize size, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(size, format);
    QRandomGenerator random(7);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, format == QImage::Format_Grayscale8 ? random.bounded(256) : (random.generate() | 0xff000000u));
    }
    return encoded(image, "png");
}

// An uncompressed 8 x 8 grey TIFF of value 77 in one strip, whose strip is
// said to hold `stripBytes` bytes (64 would be all of them).
QByteArray greyTiffWithStripOf(quint32 stripBytes)
{
    QByteArray bytes("II*\0", 4);
    const auto put16 = [&bytes](quint16 value) { bytes.append(char(value & 0xff)).append(char(value >> 8)); };
    const auto put32 = [&](quint32 value) {
        put16(quint16(value & 0xffff));
        put16(quint16(value >> 16));
    };
    const struct {
        quint16 tag, type;
        quint32 value;
    } entries[] = {{256, 3, 8}, {257, 3, 8}, {258, 3, 8}, {259, 3, 1}, {262, 3, 1},
                   {273, 4, 0 /* below */}, {277, 3, 1}, {278, 3, 8}, {279, 4, stripBytes}};
    const quint16 count = quint16(std::size(entries));
    const quint32 pixels = 8 + 2 + 12 * count + 4;
    put32(8);
    put16(count);
    for (const auto &entry : entries) {
        put16(entry.tag);
        put16(entry.type);
        put32(1);
        if (entry.type == 3) {
            put16(quint16(entry.value));
            put16(0);
        } else {
            put32(entry.tag == 273 ? pixels : entry.value);
        }
    }
    put32(0);
    bytes.append(QByteArray(int(qMin<quint32>(stripBytes, 64)), char(77)));
    return bytes;
}

// A JPEG whose frame header (SOF0) comes twice.
QByteArray jpegWithTwoFrameHeaders()
{
    QByteArray bytes = encodedPicture("jpeg", QSize(40, 30));
    const qsizetype frame = bytes.indexOf(QByteArray("\xff\xc0", 2));
    if (frame < 0)
        qFatal("no frame header");
    const int length = (quint8(bytes.at(frame + 2)) << 8) | quint8(bytes.at(frame + 3));
    bytes.insert(frame, bytes.mid(frame, 2 + length));
    return bytes;
}

// A JPEG's bytes up to the end of its first scan's header: what a reader
// takes in before the coded data, optionally declaring another size.
QByteArray jpegHeaderOf(const QByteArray &jpeg, QSize declared = QSize())
{
    const qsizetype scan = jpeg.indexOf(QByteArray("\xff\xda", 2));
    const qsizetype frame = jpeg.indexOf(QByteArray("\xff\xc0", 2));
    if (scan < 0 || frame < 0)
        qFatal("no scan or frame header");
    QByteArray head = jpeg.left(scan + 2 + ((quint8(jpeg.at(scan + 2)) << 8) | quint8(jpeg.at(scan + 3))));
    if (declared.isValid()) {
        head[frame + 5] = char(declared.height() >> 8);
        head[frame + 6] = char(declared.height() & 0xff);
        head[frame + 7] = char(declared.width() >> 8);
        head[frame + 8] = char(declared.width() & 0xff);
    }
    return head;
}

// Returns once a change made now gets a later change time than `time`:
// the system stamps changes from a clock that may step only every few
// milliseconds. Changes a file of its own until one shows.
void waitUntilAChangeShowsAfter(const struct timespec &time)
{
    QTemporaryFile scratch;
    if (!scratch.open())
        qFatal("cannot make a scratch file");
    const int fd = scratch.handle();
    for (mode_t mode = 0600;; mode ^= 0100) {
        struct stat info {};
        if (::fchmod(fd, mode) != 0 || ::fstat(fd, &info) != 0)
            qFatal("cannot change a scratch file");
        if (info.st_ctim.tv_sec > time.tv_sec
            || (info.st_ctim.tv_sec == time.tv_sec && info.st_ctim.tv_nsec > time.tv_nsec))
            return;
    }
}

// What this process has read from files and pipes so far, on every thread.
qint64 bytesReadByThisProcess()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        qFatal("cannot read /proc/self/io");
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    qFatal("no rchar in /proc/self/io");
}

} // namespace

class ImportedImageTest : public QObject {
    Q_OBJECT
private:
    enum Kind { File, Missing, Folder, Pipe };

public:
    // What happens to a file between its check and its copy.
    enum Change {
        CutShort,
        Grown,
        WrittenOver,
        Replaced,
        WrittenOverTimeSetBack,
        RenamedOverTimeSetBack,
        ModeChanged,
        Untouched
    };
    Q_ENUM(Change)

private:
    QTemporaryDir m_folder;

    QUrl writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_folder.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return QUrl::fromLocalFile(path);
    }

    // `head`, then nothing up to `size` bytes (a sparse file: nothing on
    // the disk). False when the file system can't hold a file that large.
    static bool writeSparseFile(const QString &path, const QByteArray &head, qint64 size)
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(head) != head.size())
            qFatal("cannot write %s", qPrintable(path));
        return file.resize(size);
    }

    static QStringList titles(const ImportedImagesResult &result)
    {
        QStringList list;
        for (const ImportedImage &image : result.images)
            list << image.title;
        return list;
    }

private slots:
    void initTestCase() { QVERIFY(m_folder.isValid()); }

    void filtersDroppedURLsByImageType()
    {
        // Existence is not checked; the extension decides, in any case.
        const auto at = [](const char *name) { return QUrl::fromLocalFile(QStringLiteral("/nowhere/") + QLatin1String(name)); };
        QList<QUrl> dropped{QUrl(QStringLiteral("https://example.org/b.png"))};
        for (const char *name : {"scan 4.tif", "notes.txt", "SCAN.JPG", "drawing.svg", "paper.pdf", "png", ".png", "a.zzqx", "a.png"})
            dropped << at(name);
        QCOMPARE(importableImageURLs(dropped), (QList<QUrl>{at("scan 4.tif"), at("SCAN.JPG"), at("drawing.svg"), at("a.png")}));
        QCOMPARE(importableImageURLs({at("notes.txt")}), QList<QUrl>{});
    }

    void readsInFileNameOrderWithTitlesAndBytes()
    {
        const QByteArray png = pngBytes();
        const QByteArray jpeg = encodedPicture("jpeg", QSize(24, 16));
        const QUrl img10 = writeFile(QStringLiteral("order/img10.png"), png);
        const QUrl img2 = writeFile(QStringLiteral("order/IMG2.png"), png);
        const QUrl img1 = writeFile(QStringLiteral("order/img1.png"), png);
        const QUrl knee = writeFile(QStringLiteral("order/knee.mri.jpg"), jpeg);
        const QUrl spaced = writeFile(QStringLiteral("order/img 02 b.png"), png);
        const ImportedImagesResult result = loadImportedImages({img10, knee, img2, spaced, img1});
        QVERIFY(result.succeeded());
        QCOMPARE(result.errorDescription(), QString());
        QCOMPARE(titles(result), QStringList({"img 02 b", "img1", "IMG2", "img10", "knee.mri"}));
        QCOMPARE(result.images.at(1).sourceURL, img1);
        QCOMPARE(result.images.at(1).data, png);
        QCOMPARE(result.images.at(4).data, jpeg);
        // Every read makes new values.
        const ImportedImagesResult again = loadImportedImages({img1, img1});
        QCOMPARE(again.images.size(), 2);
        QVERIFY(again.images.at(0) != again.images.at(1));
        QVERIFY(again.images.at(0).id != result.images.at(1).id); // img1, read before
        // Equal names keep the order they were given in.
        const QUrl same = writeFile(QStringLiteral("other/img1.png"), png), upper = writeFile(QStringLiteral("other/IMG1.png"), png);
        for (const QList<QUrl> &given : {QList<QUrl>{img1, same, upper}, QList<QUrl>{upper, same, img1}}) {
            const ImportedImagesResult equal = loadImportedImages(given);
            for (int i = 0; i < 3; ++i)
                QCOMPARE(equal.images.value(i).sourceURL, given.at(i));
        }
        QCOMPARE(loadImportedImages({}).images, QList<ImportedImage>{});
        QVERIFY(loadImportedImages({}).succeeded());
    }

    void hashCoversTheBytes()
    {
        const ImportedImage image{QUuid::createUuid(), QUrl::fromLocalFile(QStringLiteral("/a/b.png")),
                                  QStringLiteral("b"), QByteArray("bytes")};
        ImportedImage copy = image;
        QCOMPARE(qHash(copy, 7), qHash(image, 7));
        copy.data = QByteArray("other");
        QVERIFY(qHash(copy) != qHash(image));
    }

    void manyFilesKeepOrderAndTheFirstFailureInOrderDecides()
    {
        // Enough files to be read on several threads at once.
        QList<QUrl> urls;
        QList<QByteArray> bytes;
        for (int i = 1; i <= 40; ++i) {
            bytes << encodedPicture("png", QSize(8 + i, 8));
            urls << writeFile(QStringLiteral("many/img %1.png").arg(i), bytes.last());
        }
        const ImportedImagesResult all = loadImportedImages(QList<QUrl>(urls.crbegin(), urls.crend()));
        QVERIFY(all.succeeded());
        QCOMPARE(all.images.size(), 40);
        for (int i = 0; i < 40; ++i) {
            QCOMPARE(all.images.at(i).sourceURL, urls.at(i));
            QCOMPARE(all.images.at(i).data, bytes.at(i));
        }
        // A text file at 25 and a missing file at 31 and at 7 in turn: the
        // earliest one in file-name order is reported, whichever thread
        // happens to come to a later one first.
        const QUrl text = writeFile(QStringLiteral("many/img 25.png"), QByteArray("plain text"));
        const QUrl missing31 = QUrl::fromLocalFile(m_folder.filePath(QStringLiteral("many/img 31 gone.png")));
        QList<QUrl> failing = urls;
        failing[24] = text;
        failing[30] = missing31;
        for (int round = 0; round < 5; ++round) {
            const ImportedImagesResult result = loadImportedImages(failing);
            QVERIFY(result.images.isEmpty());
            QVERIFY(!result.readError);
            QVERIFY(result.importError);
            QCOMPARE(result.importError->fileName(), QStringLiteral("img 25.png"));
        }
        failing[6] = QUrl::fromLocalFile(m_folder.filePath(QStringLiteral("many/img 7 gone.png")));
        const ImportedImagesResult early = loadImportedImages(failing);
        QVERIFY(early.images.isEmpty());
        QVERIFY(!early.importError);
        QVERIFY(early.readError);
        QCOMPARE(early.readError->reason, FileReadError::Reason::noSuchFile);
        QCOMPARE(early.readError->fileName, QStringLiteral("img 7 gone.png"));
    }

    // What a failed import says, for files that can't be read and files
    // that are no images; read in the background, as the window does, where
    // a named pipe must not block the read.
    void failuresAreDescribed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("description");
        const QString cannotOpen = QStringLiteral("The file \u201C%1\u201D couldn\u2019t be opened.");
        QTest::newRow("missing") << "missing.png" << int(Missing) << QByteArray()
                                 << QStringLiteral("The file \u201Cmissing.png\u201D couldn\u2019t be opened because "
                                                   "there is no such file.");
        QTest::newRow("folder") << "folder.png" << int(Folder) << QByteArray() << cannotOpen.arg(QStringLiteral("folder.png"));
        QTest::newRow("named pipe") << "x.png" << int(Pipe) << QByteArray() << cannotOpen.arg(QStringLiteral("x.png"));
        QTest::newRow("text") << "scan 4.tif" << int(File) << QByteArray("plain text, not a picture")
                              << "Unsupported image: scan 4.tif";
        QTest::newRow("empty") << "empty.png" << int(File) << QByteArray("") << "Unsupported image: empty.png";
        QTest::newRow("header cut short") << "cut.png" << int(File) << pngBytes().left(20)
                                          << "Unsupported image: cut.png";
    }

    void failuresAreDescribed()
    {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, description);
        const QUrl image = writeFile(QStringLiteral("failing/a.png"), pngBytes());
        const QString path = m_folder.filePath(QStringLiteral("failing/") + name);
        if (kind == File)
            writeFile(QStringLiteral("failing/") + name, bytes);
        else if (kind == Folder)
            QVERIFY(QDir().mkpath(path));
        else if (kind == Pipe)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        QFuture<ImportedImagesResult> future = loadImportedImagesInBackground({QUrl::fromLocalFile(path), image});
        const bool finished = QTest::qWaitFor([&] { return future.isFinished(); }, 10000);
        if (!finished) {
            // Let a reader stuck in the pipe go before failing.
            const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
            future.waitForFinished();
        }
        QVERIFY2(finished, "the read blocked");
        const ImportedImagesResult result = future.result();
        QVERIFY(result.images.isEmpty());
        QCOMPARE(bool(result.readError), kind != File);
        QCOMPARE(bool(result.importError), kind == File);
        QCOMPARE(result.errorDescription(), description);
    }

    void acceptsEveryReadableFormat_data()
    {
        QTest::addColumn<QByteArray>("format");
        for (const char *format : {"png", "jpeg", "bmp", "tiff", "webp", "ppm", "ico", "icns"}) {
            if (QImageWriter::supportedImageFormats().contains(format))
                QTest::newRow(format) << QByteArray(format);
        }
    }

    void acceptsEveryReadableFormat()
    {
        // Icons carry no signature of their own; their extension tells the
        // format. The icns reader cannot tell the size without decoding: a
        // file cut short is refused.
        QFETCH(QByteArray, format);
        const QString name = QStringLiteral("formats/picture.") + QString::fromLatin1(format);
        const QByteArray bytes = encodedPicture(format, QSize(32, 32));
        const ImportedImagesResult result = loadImportedImages({writeFile(name, bytes)});
        QVERIFY2(result.succeeded(), qPrintable(result.errorDescription()));
        QCOMPARE(result.images.size(), 1);
        if (format == "icns")
            QVERIFY(!loadImportedImages({writeFile(name, bytes.left(bytes.size() / 2))}).succeeded());
    }

    void scansImportUpToTheLargestTheViewerShows_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("description"); // empty when accepted
        const QString tooLarge = QStringLiteral("\u201Cscan.png\u201D is larger than 16,384 \u00D7 16,384 pixels.");
        // One-bit PNGs: far beyond Qt's default allocation limit when decoded,
        // a few dozen kilobytes as files.
        QTest::newRow("16,384 x 16,384") << monoPng(QSize(16384, 16384)) << QString();
        QTest::newRow("one column more") << monoPng(QSize(16385, 16384)) << tooLarge;
        QTest::newRow("100,000 x 100,000 declared") << pngDeclaring(QSize(100000, 100000)) << tooLarge;
        // Within the limit by its header, but holding one pixel.
        QTest::newRow("16,384 x 16,384 declared") << pngDeclaring(QSize(16384, 16384))
                                                  << QStringLiteral("Unsupported image: scan.png");
    }

    void scansImportUpToTheLargestTheViewerShows()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, description);
        QVERIFY(bytes.size() < 4 * 1024 * 1024);
        const QUrl url = writeFile(QStringLiteral("large/scan.png"), bytes);
        const ImportedImagesResult result = loadImportedImages({url});
        QCOMPARE(result.succeeded(), description.isEmpty());
        QCOMPARE(result.errorDescription(), description);
        if (description.isEmpty())
            QCOMPARE(result.images.at(0).data, bytes);
    }

    // Files whose header is right and whose data is damaged never show in
    // the library: they are refused, as no image.
    void damagedPicturesAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("PNG cut short") << "cut.png" << noisePng(QSize(64, 64)).chopped(600);
        QTest::newRow("grey PNG cut short") << "grey.png" << noisePng(QSize(64, 64), QImage::Format_Grayscale8).chopped(600);
        QTest::newRow("TIFF with a one-byte strip") << "strip.tif" << greyTiffWithStripOf(1);
        QTest::newRow("JPEG with two frame headers") << "frames.jpg" << jpegWithTwoFrameHeaders();
        const QByteArray jpeg = noiseJpeg(QSize(300, 200));
        QTest::newRow("JPEG cut in half") << "half.jpg" << jpeg.left(jpeg.size() / 2);
        QTest::newRow("JPEG missing a piece") << "piece.jpg" << jpeg.left(jpeg.size() / 3) + jpeg.mid(jpeg.size() / 2);
    }

    void damagedPicturesAreRefused()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        const ImportedImagesResult result = loadImportedImages({writeFile(QStringLiteral("damaged/") + name, bytes)});
        QVERIFY(result.images.isEmpty());
        QCOMPARE(result.errorDescription(), QStringLiteral("Unsupported image: ") + name);
    }

    // The intact counterparts import, each with the thumbnail the grid shows.
    void picturesComeWithTheirThumbnails()
    {
        const QByteArray tiff = greyTiffWithStripOf(64);
        const QByteArray wide = encodedPicture("jpeg", QSize(1200, 300), QColor(0, 200, 0));
        const QList<QUrl> urls{writeFile(QStringLiteral("intact/a.tif"), tiff),
                               writeFile(QStringLiteral("intact/b.jpg"), wide)};
        const ImportedImagesResult result = loadImportedImages(urls);
        QVERIFY2(result.succeeded(), qPrintable(result.errorDescription()));
        QCOMPARE(result.images.at(0).thumbnail.size(), QSize(8, 8));
        QCOMPARE(result.images.at(0).thumbnail.pixelColor(3, 3), QColor(77, 77, 77));
        QCOMPARE(result.images.at(1).thumbnail.size(), QSize(ThumbnailCache::defaultMaxPixelSize, 125));
        QVERIFY(qAbs(result.images.at(1).thumbnail.pixelColor(100, 60).green() - 200) < 8);
        // The thumbnail is no part of the value.
        ImportedImage without = result.images.at(0);
        without.thumbnail = QImage();
        QCOMPARE(without, result.images.at(0));
        QCOMPARE(qHash(without), qHash(result.images.at(0)));
    }

    // Huge files (sparse: nothing on the disk) are refused from their size
    // or their header, having read next to nothing of them.
    void hugeFilesAreRefusedUnread_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("description");
        QTest::newRow("40 GB picture") << pngBytes() << qint64(40) * 1024 * 1024 * 1024
                                       << QStringLiteral("\u201Chuge.png\u201D is too large to be an image of at most "
                                                         "16,384 \u00D7 16,384 pixels.");
        QTest::newRow("3 GB of nothing") << QByteArray() << qint64(3) * 1024 * 1024 * 1024
                                         << QStringLiteral("Unsupported image: huge.png");
        QTest::newRow("3 GB behind a scan's header") << pngDeclaring(QSize(40000, 40000)) << qint64(3) * 1024 * 1024 * 1024
                                                     << QStringLiteral("\u201Chuge.png\u201D is larger than 16,384 "
                                                                       "\u00D7 16,384 pixels.");
        // A header that the viewer could show, and nothing behind it: the
        // decode finds out from the first bytes of data.
        QTest::newRow("600 MB behind a valid header") << pngDeclaring(QSize(16384, 16384)) << qint64(600) * 1024 * 1024
                                                      << QStringLiteral("Unsupported image: huge.png");
    }

    void hugeFilesAreRefusedUnread()
    {
        QFETCH(QByteArray, head);
        QFETCH(qint64, size);
        QFETCH(QString, description);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("huge.png"));
        if (!writeSparseFile(path, head, size))
            QSKIP("This file system has no room for sparse files of this size.");
        const qint64 before = bytesReadByThisProcess();
        QFuture<ImportedImagesResult> future = loadImportedImagesInBackground({QUrl::fromLocalFile(path)});
        future.waitForFinished();
        const qint64 read = bytesReadByThisProcess() - before;
        QCOMPARE(future.result().errorDescription(), description);
        QVERIFY2(read < 4 * 1024 * 1024, qPrintable(QString::number(read)));
    }

    // A JPEG whose header is right and whose file holds far more than the
    // picture it declares (sparse files: nothing on the disk) is refused
    // once its data can no longer be the picture's, not read through.
    // Data after the picture within what it could hold is kept.
    void bogusJpegsAreRefusedHavingReadLittle_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<qint64>("mostRead");
        const qint64 gib = qint64(1024) * 1024 * 1024;
        const qint64 mib = qint64(1024) * 1024;
        const QByteArray small = noiseJpeg(QSize(64, 64));
        QTest::newRow("3 GB behind a picture's header") << jpegHeaderOf(small) << 3 * gib << false << 4 * mib;
        QTest::newRow("3 GB after a whole picture") << small << 3 * gib << false << 4 * mib;
        QTest::newRow("3 GB after half a progressive picture")
            << noiseJpeg(QSize(64, 64), true).chopped(400) << 3 * gib << false << 4 * mib;
        // The header could hold 2 GB of coded data: the decode stops once
        // the picture is complete and what follows is no marker.
        QTest::newRow("2 GB behind a 12,000-pixel scan's header")
            << jpegHeaderOf(small, QSize(12000, 12000)) << 2 * gib << false << 128 * mib;
        const QByteArray photo = noiseJpeg(QSize(640, 480));
        QTest::newRow("a picture with 4 MB after it") << photo << photo.size() + 4 * mib << true << 16 * mib;
    }

    void bogusJpegsAreRefusedHavingReadLittle()
    {
        QFETCH(QByteArray, head);
        QFETCH(qint64, size);
        QFETCH(bool, accepted);
        QFETCH(qint64, mostRead);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("bogus.jpg"));
        if (!writeSparseFile(path, head, size))
            QSKIP("This file system has no room for sparse files of this size.");
        const qint64 before = bytesReadByThisProcess();
        const ImportedImagesResult result = loadImportedImages({QUrl::fromLocalFile(path)});
        const qint64 read = bytesReadByThisProcess() - before;
        QCOMPARE(result.errorDescription(), accepted ? QString() : QStringLiteral("Unsupported image: bogus.jpg"));
        if (accepted)
            QCOMPARE(result.images.at(0).data.size(), size);
        QVERIFY2(read < mostRead, qPrintable(QString::number(read)));
    }

    // With the library's folder, large files are copied into staged files
    // as they are read, and small ones once the memory for them is used;
    // the result holds the files, which go with it when no save took them.
    // A failed load leaves none.
    void largeFilesAreStagedInTheLibrarysFolder_data()
    {
        QTest::addColumn<bool>("failing");
        QTest::newRow("read") << false;
        QTest::newRow("a later file refused") << true;
    }

    void largeFilesAreStagedInTheLibrarysFolder()
    {
        QFETCH(bool, failing);
        QTemporaryDir library;
        const QString folder = library.filePath(QStringLiteral("default.store-external"));
        ExternalStorage storage(folder);
        const QByteArray small = pngBytes();
        const QByteArray large = pngBytes(Qt::red) + QByteArray(ExternalStorage::fileThreshold, 'x');
        QList<QUrl> urls{writeFile(QStringLiteral("staged/a.png"), small), writeFile(QStringLiteral("staged/b.png"), large),
                         writeFile(QStringLiteral("staged/c.png"), large)};
        if (failing)
            urls << writeFile(QStringLiteral("staged/d.png"), QByteArray("not a picture"));
        // Every file but the folder's lock.
        const auto stagedNames = [&] {
            QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
            names.removeAll(QStringLiteral(".lock"));
            return names;
        };
        {
            const ImportedImagesResult result = loadImportedImages(urls, storage.prepareFiles());
            QCOMPARE(result.succeeded(), !failing);
            if (failing) {
                QVERIFY(result.images.isEmpty());
                QCOMPARE(stagedNames(), QStringList());
                return;
            }
            QCOMPARE(result.images.size(), 3);
            QCOMPARE(result.images.at(0).data, small);
            QVERIFY(result.images.at(0).stagedFile.isEmpty());
            QStringList names;
            for (const ImportedImage &image : result.images.mid(1)) {
                QVERIFY(image.data.isEmpty());
                QFile staged(QDir(folder).filePath(image.stagedFile));
                QVERIFY(staged.open(QIODevice::ReadOnly));
                QCOMPARE(staged.readAll(), large);
                names << image.stagedFile;
            }
            names.sort();
            QCOMPARE(stagedNames(), names);
            QVERIFY(!result.images.at(1).thumbnail.isNull());
        }
        // Removed on the files pool.
        WorkerPools::files().waitForDone();
        QCOMPARE(stagedNames(), QStringList());
    }

    void aFileChangedAfterItsCheckIsRefused_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("staged"); // else read into memory
        const struct {
            Change change;
            const char *name;
        } changes[] = {{CutShort, "cut short"},
                       {Grown, "grown"},
                       {WrittenOver, "written over"},
                       {Replaced, "replaced"},
                       {WrittenOverTimeSetBack, "written over, its time set back"},
                       {RenamedOverTimeSetBack, "renamed over, its time set back"},
                       {ModeChanged, "mode changed"},
                       {Untouched, "untouched"}};
        for (const bool staged : {false, true}) {
            for (const auto &change : changes)
                QTest::addRow("%s, %s", change.name, staged ? "staged" : "in memory") << change.change << staged;
        }
    }

    // Between its check and its copy a file may change: then the bytes
    // copied are not those checked, and the file is refused, leaving
    // nothing behind; so also when its time of writing was set back, and
    // (to be safe) when only its mode changed. A file left alone is taken.
    void aFileChangedAfterItsCheckIsRefused()
    {
        QFETCH(Change, change);
        QFETCH(bool, staged);
        QTemporaryDir library;
        const QString folder = library.filePath(QStringLiteral("default.store-external"));
        ExternalStorage storage(folder);
        const QByteArray bytes = pngBytes(Qt::red) + QByteArray(staged ? ExternalStorage::fileThreshold : 64, 'x');
        const QString name = QStringLiteral("changed %1.png").arg(QTest::currentDataTag());
        const QString path = writeFile(QStringLiteral("changed/") + name, bytes).toLocalFile();
        // Last written long ago: a write now shows in its time.
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadWrite));
        QVERIFY(written.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
        written.close();
        struct stat before {};
        QVERIFY(::stat(QFile::encodeName(path).constData(), &before) == 0);
        waitUntilAChangeShowsAfter(before.st_ctim);
        QByteArray other = bytes;
        other[other.size() - 1] = 'y';
        // Both times as they were before the change.
        const auto setTimesBack = [&](const QString &file) {
            const struct timespec times[2] = {before.st_atim, before.st_mtim};
            QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0) == 0);
        };
        int checks = 0;
        const auto checkThenChange = [&](const EncodedImage &image, int maxPixelSize) {
            const QImage decoded = ImageDecoder::decode(image, maxPixelSize, ImageDecoder::MissingData::refused);
            ++checks;
            QFile file(path);
            if (change == CutShort) {
                file.resize(bytes.size() / 2);
            } else if (change == Grown && file.open(QIODevice::Append)) {
                file.write("more");
            } else if (change == WrittenOver && file.open(QIODevice::WriteOnly)) {
                file.write(other);
            } else if (change == Replaced) {
                const QString replacement = writeFile(QStringLiteral("changed/new ") + name, other).toLocalFile();
                QFile::remove(path);
                QFile::rename(replacement, path);
            } else if (change == WrittenOverTimeSetBack && file.open(QIODevice::ReadWrite)) {
                // Other bytes in the middle, as large as the file was.
                const qint64 count = qMin<qint64>(4096, bytes.size() / 4);
                file.seek(bytes.size() / 2);
                file.write(QByteArray(count, 'z'));
                file.close();
                setTimesBack(path);
            } else if (change == RenamedOverTimeSetBack) {
                const QString replacement = writeFile(QStringLiteral("changed/new ") + name, other).toLocalFile();
                setTimesBack(replacement);
                ::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(path).constData());
            } else if (change == ModeChanged) {
                ::chmod(QFile::encodeName(path).constData(), (before.st_mode & 07777) ^ S_IXOTH);
            }
            return decoded;
        };
        const ImportedImagesResult result = loadImportedImages(
            {QUrl::fromLocalFile(path)}, staged ? storage.prepareFiles() : std::nullopt, checkThenChange);
        QCOMPARE(checks, 1);
        if (change == Untouched) {
            QCOMPARE(result.errorDescription(), QString());
            QCOMPARE(result.images.size(), 1);
            QCOMPARE(result.images.at(0).stagedFile.isEmpty(), !staged);
            return;
        }
        QVERIFY(result.images.isEmpty());
        QCOMPARE(result.errorDescription(),
                 QStringLiteral("The file \u201C%1\u201D couldn\u2019t be opened because it changed while it was read.").arg(name));
        WorkerPools::files().waitForDone();
        QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        left.removeAll(QStringLiteral(".lock"));
        QCOMPARE(left, QStringList());
        QCOMPARE(QDir(folder + QStringLiteral("/.staged")).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // The check's decodes take their share of the decoding budget as the
    // grid's do: while other decodes hold it all, the check waits.
    void theCheckWaitsForTheDecodingBudget()
    {
        const QUrl url = writeFile(QStringLiteral("budget/a.png"), pngBytes(Qt::red, QSize(40, 30)));
        MemoryBudget &budget = WorkerPools::decodingMemory();
        std::optional<MemoryBudget::Grant> all = budget.acquire(budget.total());
        QFuture<ImportedImagesResult> future = loadImportedImagesInBackground({url});
        // The read ends within the test, whatever fails below.
        const auto joined = qScopeGuard([&] {
            all.reset();
            future.waitForFinished();
        });
        QTest::qWait(50);
        QVERIFY(!future.isFinished());
        all.reset();
        QVERIFY(future.result().succeeded());
    }
};

QTEST_GUILESS_MAIN(ImportedImageTest)
#include "tst_importedimage.moc"
