#include "platform/ImageDecoder.h"
#include "platform/MemoryBudget.h"
#include "platform/PlatformImage.h"
#include "platform/WorkerPools.h"
#include "support/TestPictures.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QImageReader>
#include <QImageWriter>
#include <QScopeGuard>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

#include <optional>

// The one decoding of library images, in a process of its own: image
// readers share one decode limit per process, which nothing has raised
// here before the first test.
class ImageDecoderTest : public QObject {
    Q_OBJECT
private slots:
    void decodesScansThatImportAccepts()
    {
        // 6,000 by 6,000 pixels decode to 144 MB, more than image readers
        // allow unless told otherwise.
        const QByteArray bytes = encodedPicture("PNG", QSize(6000, 6000), QColor(128, 128, 128),
                                                QImageIOHandler::TransformationNone, QImage::Format_Grayscale8);
        QVERIFY(QImageReader::allocationLimit() < 144);
        QVERIFY(PlatformImage::canCreateImage(bytes));
        const QImage decoded = ImageDecoder::decode(bytes);
        QCOMPARE(decoded.size(), QSize(6000, 6000));
        // At full size the stored format is kept.
        QCOMPARE(decoded.format(), QImage::Format_Grayscale8);
    }

    void boundsTheLongerSideAndKeepsTheAspect_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("maxPixelSize");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("jpeg landscape") << encodedPicture("JPEG", QSize(1500, 1000)) << 500 << QSize(500, 333);
        QTest::newRow("png portrait") << encodedPicture("PNG", QSize(400, 1200)) << 500 << QSize(167, 500);
        QTest::newRow("small stays") << encodedPicture("PNG", QSize(120, 80)) << 500 << QSize(120, 80);
        QTest::newRow("bmp") << encodedPicture("BMP", QSize(1000, 1000)) << 250 << QSize(250, 250);
        QTest::newRow("full size") << encodedPicture("PNG", QSize(1600, 900)) << ImageDecoder::fullSize << QSize(1600, 900);
        QTest::newRow("stored orientation") << encodedPicture("JPEG", QSize(800, 400), QColor(200, 90, 10),
                                                             QImageIOHandler::TransformationRotate90)
                                            << 500 << QSize(250, 500);
    }

    void boundsTheLongerSideAndKeepsTheAspect()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, maxPixelSize);
        QFETCH(QSize, expected);
        const QImage image = ImageDecoder::decode(bytes, maxPixelSize);
        QCOMPARE(image.size(), expected);
        // Colours survive the scaling (JPEG within its loss).
        const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
        QVERIFY2(std::abs(centre.red() - 200) < 8 && std::abs(centre.blue() - 10) < 12, qPrintable(centre.name()));
        if (maxPixelSize != ImageDecoder::fullSize)
            QCOMPARE(image.format(), QImage::Format_RGB32);
    }

    void deepAndGreyPicturesComeOutAtEightBits_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("maxPixelSize");
        QTest::addColumn<QSize>("expected");
        QTest::addColumn<QImage::Format>("format");
        QTest::addColumn<QColor>("centre");
        const QColor grey(128, 128, 128), orange(200, 90, 10);
        // Stored from pixels of `pixels`, so the file keeps their depth.
        const auto picture = [](const char *format, QSize size, QColor colour, QImage::Format pixels) {
            return encodedPicture(format, size, colour, QImageIOHandler::TransformationNone, pixels);
        };
        const int full = ImageDecoder::fullSize;
        const QByteArray grey16 = picture("PNG", QSize(300, 200), grey, QImage::Format_Grayscale16);
        QTest::newRow("16-bit grey PNG") << grey16 << full << QSize(300, 200) << QImage::Format_Grayscale8 << grey;
        QTest::newRow("16-bit grey PNG, scaled") << grey16 << 100 << QSize(100, 67) << QImage::Format_RGB32 << grey;
        QTest::newRow("8-bit grey PNG, scaled") << picture("PNG", QSize(200, 300), grey, QImage::Format_Grayscale8)
                                                << 150 << QSize(100, 150) << QImage::Format_RGB32 << grey;
        QTest::newRow("16-bit RGBA PNG") << picture("PNG", QSize(64, 48), orange, QImage::Format_RGBA64) << full
                                         << QSize(64, 48) << QImage::Format_ARGB32_Premultiplied << orange;
        QTest::newRow("16-bit RGB TIFF") << picture("TIFF", QSize(64, 48), orange, QImage::Format_RGBX64) << full
                                         << QSize(64, 48) << QImage::Format_RGB32 << orange;
        QTest::newRow("8-bit grey TIFF") << picture("TIFF", QSize(64, 48), grey, QImage::Format_Grayscale8) << full
                                         << QSize(64, 48) << QImage::Format_Grayscale8 << grey;
        const QByteArray turned =
            encodedPicture("TIFF", QSize(80, 40), orange, QImageIOHandler::TransformationRotate90);
        QTest::newRow("TIFF stored orientation") << turned << full << QSize(40, 80) << QImage::Format_RGB32 << orange;
        QTest::newRow("TIFF stored orientation, scaled") << turned << 20 << QSize(10, 20) << QImage::Format_RGB32
                                                         << orange;
    }

    void deepAndGreyPicturesComeOutAtEightBits()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, maxPixelSize);
        QFETCH(QSize, expected);
        QFETCH(QImage::Format, format);
        QFETCH(QColor, centre);
        const QImage image = ImageDecoder::decode(bytes, maxPixelSize);
        QCOMPARE(image.size(), expected);
        QCOMPARE(image.format(), format);
        const QColor found = image.pixelColor(image.width() / 2, image.height() / 2);
        QVERIFY2(std::abs(found.red() - centre.red()) <= 1 && std::abs(found.green() - centre.green()) <= 1
                     && std::abs(found.blue() - centre.blue()) <= 1 && found.alpha() == 255,
                 qPrintable(found.name(QColor::HexArgb)));
    }

    void picturesLargerThanTheViewerShowsGiveNothing_data()
    {
        QTest::addColumn<int>("maxPixelSize");
        QTest::newRow("full size") << ImageDecoder::fullSize;
        QTest::newRow("scaled") << 500;
    }

    void picturesLargerThanTheViewerShowsGiveNothing()
    {
        QFETCH(int, maxPixelSize);
        // One column more than the largest picture shown; 33 MB as one-bit pixels.
        static const QByteArray bytes = monoPng(QSize(16385, 16384));
        QVERIFY(ImageDecoder::decode(bytes, maxPixelSize).isNull());
        // As wide, but within the limit.
        const QByteArray strip = monoPng(QSize(16385, 4));
        QVERIFY(!ImageDecoder::decode(strip, maxPixelSize).isNull());
    }

    // The header's size is the size of the picture decoded, for every
    // reader and also read from a file.
    void pixelSizeComesFromTheHeader_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("expected");
        const auto turned = [](const char *format) {
            return encodedPicture(format, QSize(90, 30), QColor(200, 90, 10), QImageIOHandler::TransformationRotate90);
        };
        QTest::newRow("png") << encodedPicture("PNG", QSize(1000, 100)) << QSize(1000, 100);
        QTest::newRow("16-bit png") << encodedPicture("PNG", QSize(64, 48), Qt::gray, QImageIOHandler::TransformationNone,
                                                      QImage::Format_Grayscale16)
                                    << QSize(64, 48);
        QTest::newRow("jpeg turned") << turned("JPEG") << QSize(30, 90);
        // A camera's picture: stored as taken, with a tag that turns it.
        const QByteArray taken = encodedPicture("JPEG", QSize(90, 30));
        QTest::newRow("jpeg with an Exif quarter turn") << withExifOrientation(taken, 6) << QSize(30, 90);
        QTest::newRow("jpeg with an Exif turn and mirror") << withExifOrientation(taken, 7) << QSize(30, 90);
        QTest::newRow("jpeg with an Exif half turn") << withExifOrientation(taken, 3) << QSize(90, 30);
        QTest::newRow("tiff turned") << turned("TIFF") << QSize(30, 90);
        QTest::newRow("bmp") << encodedPicture("BMP", QSize(7, 300)) << QSize(7, 300);
        QTest::newRow("too many pixels") << pngDeclaring(QSize(100000, 100000)) << QSize();
        QTest::newRow("no image") << QByteArray("not an image at all") << QSize();
        QTest::newRow("empty") << QByteArray() << QSize();
    }
    void pixelSizeComesFromTheHeader()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, expected);
        QCOMPARE(ImageDecoder::pixelSize(EncodedImage::fromBytes(bytes)), expected);
        QTemporaryDir folder;
        QFile file(folder.filePath(QStringLiteral("picture")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        QCOMPARE(ImageDecoder::pixelSize(EncodedImage::fromFile(file.fileName())), expected);
        if (expected.isValid())
            QCOMPARE(ImageDecoder::decode(bytes).size(), expected);
    }

    // The decoding budget is charged with what a decode holds at its peak:
    // pictures that can only be decoded whole at their stored size and
    // depth, deeper samples, and readers that can't tell the size at all.
    void theBudgetIsChargedWithWhatADecodeHolds_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("maxPixelSize");
        QTest::addColumn<qint64>("atLeast");
        QTest::addColumn<qint64>("atMost");
        const qint64 mib = 1024 * 1024;
        const QByteArray scan = monoPng(QSize(16384, 16384));
        const qint64 wholeScan = qint64(16384) * 16384 * 3; // its palette as RGB, as decoded
        QTest::newRow("scan, thumbnail") << scan << 500 << qint64(0) << wholeScan / 4;
        QTest::newRow("interlaced scan, thumbnail") << markedInterlaced(scan) << 500 << wholeScan << wholeScan + 256 * mib;
        QTest::newRow("interlaced scan, full size") << markedInterlaced(scan) << ImageDecoder::fullSize << 2 * wholeScan
                                                    << 3 * wholeScan;
        // Rows of 16-bit RGBA: four times those of 8-bit grey.
        const auto strip = [](QImage::Format format) {
            return encodedPicture("PNG", QSize(16384, 4), Qt::gray, QImageIOHandler::TransformationNone, format);
        };
        const qint64 greyRows = ImageDecoder::memoryCost(EncodedImage::fromBytes(strip(QImage::Format_Grayscale8)), 500);
        QVERIFY(greyRows > 0);
        QTest::newRow("16-bit RGBA rows") << strip(QImage::Format_RGBA64) << 500 << 7 * greyRows << 8 * greyRows + mib;
        // libjpeg keeps every coefficient of a progressive picture, two bytes
        // a sample, even for a thumbnail.
        const QSize photo(2000, 1500);
        QTest::newRow("progressive JPEG, thumbnail") << noiseJpeg(photo, true) << 500 << qint64(2000 * 1500 * 2) << 16 * mib;
        QTest::newRow("baseline JPEG, thumbnail") << noiseJpeg(photo) << 500 << qint64(0) << 4 * mib;
        if (QImageWriter::supportedImageFormats().contains("icns")) {
            // Its reader tells no size before it decodes: it decodes alone.
            const qint64 all = WorkerPools::decodingMemory().total();
            QTest::newRow("no size in the header") << encodedPicture("icns", QSize(32, 32)) << 500 << all << all;
        }
    }

    void theBudgetIsChargedWithWhatADecodeHolds()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, maxPixelSize);
        QFETCH(qint64, atLeast);
        QFETCH(qint64, atMost);
        const qint64 cost = ImageDecoder::memoryCost(EncodedImage::fromBytes(bytes), maxPixelSize);
        QVERIFY2(cost >= atLeast && cost <= atMost, qPrintable(QString::number(cost)));
    }

    // A decode waits for its share of the budget: one that holds all of it
    // keeps the next waiting until it ends.
    void decodesWaitForTheBudget()
    {
        MemoryBudget &budget = WorkerPools::decodingMemory();
        std::optional<MemoryBudget::Grant> all = budget.acquire(budget.total());
        const QByteArray bytes = encodedPicture("PNG", QSize(64, 48));
        QFuture<QImage> decoded = QtConcurrent::run([bytes] { return ImageDecoder::decode(bytes, 20); });
        // The decode ends within the test, whatever fails below.
        const auto joined = qScopeGuard([&] {
            all.reset();
            decoded.waitForFinished();
        });
        QTest::qWait(50);
        QVERIFY(!decoded.isFinished());
        all.reset();
        QCOMPARE(decoded.result().size(), QSize(20, 15));
    }

    // What is missing of a JPEG's data: the library's pictures show what
    // they hold, an import's check refuses them. Warnings that lose no
    // data pass.
    void missingDataIsFilledInOrRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("complete");
        const QByteArray whole = noiseJpeg(QSize(300, 200));
        const qsizetype end = whole.size() - 2; // the end marker
        QTest::newRow("whole") << whole << true;
        QTest::newRow("cut in half") << whole.left(whole.size() / 2) << false;
        QTest::newRow("cut before its end marker") << whole.left(end) << false;
        QTest::newRow("a piece missing") << whole.left(whole.size() / 3) + whole.mid(whole.size() / 2) << false;
        QTest::newRow("progressive, cut in half") << noiseJpeg(QSize(300, 200), true).chopped(whole.size() / 2) << false;
        QTest::newRow("bytes before the end marker") << whole.left(end) + QByteArray("\x00\x00", 2) + whole.mid(end)
                                                    << true;
        // Segments passed over unread, the second across the first 64 KiB.
        const QByteArray comment = QByteArray("\xff\xfe\x9c\x40", 4) + QByteArray(40000 - 2, 'c');
        QTest::newRow("two 40,000-byte comments") << QByteArray(whole).insert(2, comment + comment) << true;
        // Far more than an encoder's padding: bytes that are no part of the picture.
        QTest::newRow("2 MB before the end marker") << whole.left(end) + QByteArray(2 * 1024 * 1024, '\0') + whole.mid(end)
                                                   << false;
    }

    void missingDataIsFilledInOrRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, complete);
        QCOMPARE(ImageDecoder::decode(bytes, 100).size(), QSize(100, 67));
        for (const int size : {100, int(ImageDecoder::fullSize)}) {
            const QImage checked =
                ImageDecoder::decode(EncodedImage::fromBytes(bytes), size, ImageDecoder::MissingData::refused);
            QCOMPARE(checked.isNull(), !complete);
        }
    }

    void bytesThatAreNoImageGiveNothing()
    {
        QByteArray truncated = encodedPicture("PNG", QSize(300, 300));
        truncated.truncate(40);
        for (const QByteArray &bytes :
             {QByteArray(), QByteArray("not an image at all"), truncated, pngDeclaring(QSize(100000, 100000))})
            QVERIFY(ImageDecoder::decode(bytes, 500).isNull());
    }
};

QTEST_GUILESS_MAIN(ImageDecoderTest)
#include "tst_imagedecoder.moc"
