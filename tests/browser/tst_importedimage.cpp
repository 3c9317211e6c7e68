#include "browser/ImportedImage.h"
#include "support/TestPictures.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class ImportedImageTest : public QObject {
    Q_OBJECT
private:
    enum Kind { File, Missing, Folder, Pipe };
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
        QTest::addColumn<bool>("accepted");
        // One-bit PNGs: far beyond Qt's default allocation limit when decoded,
        // a few dozen kilobytes as files.
        QTest::newRow("16,384 x 16,384") << monoPng(QSize(16384, 16384)) << true;
        QTest::newRow("one column more") << monoPng(QSize(16385, 16384)) << false;
        QTest::newRow("100,000 x 100,000 declared") << pngDeclaring(QSize(100000, 100000)) << false;
    }

    void scansImportUpToTheLargestTheViewerShows()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, accepted);
        QVERIFY(bytes.size() < 4 * 1024 * 1024);
        const QUrl url = writeFile(QStringLiteral("large/scan.png"), bytes);
        const ImportedImagesResult result = loadImportedImages({url});
        QCOMPARE(result.succeeded(), accepted);
        if (accepted)
            QCOMPARE(result.images.at(0).data, bytes);
        else
            QCOMPARE(result.errorDescription(), QStringLiteral("Unsupported image: scan.png"));
    }
};

QTEST_GUILESS_MAIN(ImportedImageTest)
#include "tst_importedimage.moc"
