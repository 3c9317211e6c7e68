#include "platform/ImageDecoder.h"
#include "platform/PlatformImage.h"
#include "support/TestPictures.h"

#include <QBuffer>
#include <QImageReader>
#include <QTest>

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
        QImage scan(6000, 6000, QImage::Format_Grayscale8);
        scan.fill(128);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        scan.save(&buffer, "PNG");
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

    void bytesThatAreNoImageGiveNothing()
    {
        QByteArray truncated = encodedPicture("PNG", QSize(300, 300));
        truncated.truncate(40);
        for (const QByteArray &bytes : {QByteArray(), QByteArray("not an image at all"), truncated})
            QVERIFY(ImageDecoder::decode(bytes, 500).isNull());
    }
};

QTEST_GUILESS_MAIN(ImageDecoderTest)
#include "tst_imagedecoder.moc"
