#include "model/AtlasImage.h"
#include "model/StoreTestSupport.h"
#include "support/TestPictures.h"
#include "viewer/OpenedPicture.h"
#include "viewer/PictureSource.h"

#include <QImageReader>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Where the bytes are when the picture is opened.
enum class Kept { unsaved, saved };

// A picture of four coloured quadrants.
QImage quadrants(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const int w = size.width() / 2, h = size.height() / 2;
    painter.fillRect(0, 0, w, h, Qt::red);
    painter.fillRect(w, 0, size.width() - w, h, Qt::green);
    painter.fillRect(0, h, w, size.height() - h, Qt::blue);
    painter.fillRect(w, h, size.width() - w, size.height() - h, Qt::yellow);
    painter.end();
    return image;
}

} // namespace
Q_DECLARE_METATYPE(Kept)

// The opened image's picture: decoded once, off the GUI thread, from
// wherever the store keeps its bytes; and its levels, built and painted.
class OpenedPictureTest : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    std::unique_ptr<ModelContainer> container;
    ModelContext &context() { return container->mainContext(); }

    AtlasImage *image(const std::optional<QByteArray> &bytes)
    {
        return context().insert(AtlasImage::make(QStringLiteral("scan"), Modality::ct, Region::head, Plane::axial,
                                                 AgeSpec{}, Sex::female, bytes));
    }

private slots:
    void init() { container = makeTestContainer(folder.path()); }
    void cleanup() { container.reset(); }

    // First, while nothing in this process has raised the readers' decode
    // limit: 6,000 by 6,000 pixels decode to 144 MB, more than they allow
    // unless told otherwise.
    void showsALargeScan()
    {
        QVERIFY(QImageReader::allocationLimit() < 144);
        OpenedPicture picture;
        picture.setImage(image(pngBytes(Qt::gray, QSize(6000, 6000))));
        QTRY_COMPARE_WITH_TIMEOUT(picture.status(), OpenedPicture::Status::ready, 20000);
        QCOMPARE(picture.pictureSize(), QSize(6000, 6000));
    }

    void status_data()
    {
        QTest::addColumn<std::optional<QByteArray>>("bytes");
        QTest::addColumn<Kept>("kept");
        QTest::addColumn<OpenedPicture::Status>("status");
        QTest::addColumn<QSize>("size");
        const QByteArray picture = pngBytes(Qt::blue, QSize(40, 30));
        // Past the size the store keeps in its database.
        const QByteArray large = encodedPicture("BMP", QSize(400, 300));
        using S = OpenedPicture::Status;
        QTest::newRow("unsaved picture") << std::optional(picture) << Kept::unsaved << S::ready << QSize(40, 30);
        QTest::newRow("saved in the database") << std::optional(picture) << Kept::saved << S::ready << QSize(40, 30);
        QTest::newRow("saved in a file") << std::optional(large) << Kept::saved << S::ready << QSize(400, 300);
        QTest::newRow("no bytes") << std::optional<QByteArray>() << Kept::saved << S::downloading << QSize();
        QTest::newRow("empty bytes") << std::optional(QByteArray("", 0)) << Kept::saved << S::unavailable << QSize();
        QTest::newRow("not a picture") << std::optional(QByteArray("text")) << Kept::unsaved << S::unavailable
                                       << QSize();
    }
    void status()
    {
        QFETCH(std::optional<QByteArray>, bytes);
        QFETCH(Kept, kept);
        QFETCH(OpenedPicture::Status, status);
        AtlasImage *opened = image(bytes);
        if (kept == Kept::saved) {
            context().save();
            container = nullptr; // read back from the disk
            container = makeTestContainer(folder.path());
            opened = context().fetch<AtlasImage>().constLast();
        }
        OpenedPicture picture;
        picture.setImage(opened);
        QTRY_COMPARE(picture.status(), status);
        QTEST(picture.pictureSize(), "size");
        QCOMPARE(picture.source()->isNull(), status != OpenedPicture::Status::ready);
        QVERIFY(!picture.isDecoding());
    }

    void thumbnailStandsInUntilThePictureIsReady()
    {
        AtlasImage *a = image(pngBytes(Qt::blue, QSize(400, 300)));
        AtlasImage *b = image(pngBytes(Qt::blue, QSize(40, 30)));
        OpenedPicture picture;
        picture.setImage(a);
        QCOMPARE(picture.status(), OpenedPicture::Status::loading);
        picture.showThumbnail(b, quadrants({4, 3})); // another image's
        QVERIFY(picture.source()->isNull());
        picture.showThumbnail(a, quadrants({40, 30}));
        QCOMPARE(picture.source()->size(), QSize(40, 30));
        QVERIFY(picture.source()->isComplete());
        QTRY_COMPARE(picture.status(), OpenedPicture::Status::ready);
        QCOMPARE(picture.source()->size(), QSize(400, 300));
        picture.showThumbnail(a, quadrants({40, 30})); // too late
        QCOMPARE(picture.source()->size(), QSize(400, 300));
    }

    // Canvases place the picture before it is decoded: its size is known
    // as loading starts, wherever the bytes are, and a thumbnail of another
    // aspect does not change it.
    void sizeIsKnownBeforeDecoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Kept>("kept");
        QTest::addColumn<QSize>("size");
        QTest::newRow("unsaved") << pngBytes(Qt::blue, QSize(1000, 100)) << Kept::unsaved << QSize(1000, 100);
        QTest::newRow("saved in the database") << pngBytes(Qt::blue, QSize(1000, 100)) << Kept::saved << QSize(1000, 100);
        QTest::newRow("saved in a file") << encodedPicture("BMP", QSize(300, 400)) << Kept::saved << QSize(300, 400);
        QTest::newRow("header without a picture") << pngDeclaring(QSize(50, 20)) << Kept::unsaved << QSize(50, 20);
    }
    void sizeIsKnownBeforeDecoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Kept, kept);
        QFETCH(QSize, size);
        AtlasImage *opened = image(bytes);
        if (kept == Kept::saved) {
            context().save();
            container = nullptr;
            container = makeTestContainer(folder.path());
            opened = context().fetch<AtlasImage>().constLast();
        }
        OpenedPicture picture;
        picture.setImage(opened);
        QCOMPARE(picture.status(), OpenedPicture::Status::loading);
        QVERIFY(picture.source()->isNull());
        QCOMPARE(picture.source()->pixelSize(), size);
        picture.showThumbnail(opened, quadrants({40, 40}));
        QCOMPARE(picture.source()->pixelSize(), size);
        QTRY_VERIFY(picture.status() != OpenedPicture::Status::loading);
        // Decoded, or found to hold no picture after all.
        QCOMPARE(picture.source()->pixelSize(), picture.pictureSize());
    }

    void decodesOncePerOpenedImage()
    {
        AtlasImage *a = image(pngBytes(Qt::blue, QSize(40, 30)));
        OpenedPicture picture;
        QSignalSpy statuses(&picture, &OpenedPicture::statusChanged);
        picture.setImage(a);
        QTRY_COMPARE(picture.status(), OpenedPicture::Status::ready);
        picture.setImage(a);
        a->setTitle(QStringLiteral("renamed"));
        QCOMPARE(statuses.count(), 2); // loading, ready
        // New bytes are decoded again.
        a->setImageData(pngBytes(Qt::blue, QSize(20, 10)));
        QCOMPARE(picture.status(), OpenedPicture::Status::loading);
        QTRY_COMPARE(picture.pictureSize(), QSize(20, 10));
        a->setImageData(std::nullopt);
        QCOMPARE(picture.status(), OpenedPicture::Status::downloading);
    }

    void openingInQuickSuccessionShowsTheLastImage()
    {
        const QList<AtlasImage *> images{image(pngBytes(Qt::blue, QSize(300, 200))),
                                         image(pngBytes(Qt::blue, QSize(200, 300))), image(QByteArray("text")),
                                         image(pngBytes(Qt::blue, QSize(30, 20)))};
        OpenedPicture picture;
        for (AtlasImage *opened : images) {
            picture.setImage(opened);
            QCOMPARE(picture.status(), OpenedPicture::Status::loading);
        }
        QTRY_COMPARE(picture.status(), OpenedPicture::Status::ready);
        QCOMPARE(picture.pictureSize(), QSize(30, 20));
        QTRY_VERIFY(!picture.isDecoding());
        picture.setImage(nullptr);
        QCOMPARE(picture.status(), OpenedPicture::Status::none);
        QVERIFY(picture.source()->isNull());
    }

    void halving_data()
    {
        QTest::addColumn<QImage::Format>("format");
        QTest::addColumn<QSize>("size");
        QTest::newRow("rgb, even") << QImage::Format_RGB32 << QSize(4, 2);
        QTest::newRow("rgb, odd") << QImage::Format_RGB32 << QSize(5, 3);
        QTest::newRow("argb, odd") << QImage::Format_ARGB32_Premultiplied << QSize(3, 5);
        QTest::newRow("grey, odd") << QImage::Format_Grayscale8 << QSize(7, 1);
    }
    void halving()
    {
        QFETCH(QImage::Format, format);
        QFETCH(QSize, size);
        QImage image(size, format);
        const int bytes = image.depth() / 8;
        for (int y = 0; y < size.height(); ++y) {
            for (int i = 0; i < size.width() * bytes; ++i)
                image.scanLine(y)[i] = uchar((i * 37 + y * 101) % 256);
        }
        const QImage half = PictureSource::halved(image);
        QCOMPARE(half.format(), format);
        QCOMPARE(half.size(), QSize((size.width() + 1) / 2, (size.height() + 1) / 2));
        // Each byte the rounded mean of the (up to) four it covers.
        for (int y = 0; y < half.height(); ++y) {
            for (int x = 0; x < half.width(); ++x) {
                for (int c = 0; c < bytes; ++c) {
                    int sum = 0, count = 0;
                    for (int sy = 2 * y; sy < std::min(2 * y + 2, size.height()); ++sy) {
                        for (int sx = 2 * x; sx < std::min(2 * x + 2, size.width()); ++sx, ++count)
                            sum += image.constScanLine(sy)[sx * bytes + c];
                    }
                    const int expected = count == 4 ? (sum + 2) / 4 : count == 2 ? (sum + 1) / 2 : sum;
                    QCOMPARE(int(half.constScanLine(y)[x * bytes + c]), expected);
                }
            }
        }
    }

    void paintableFormats_data()
    {
        QTest::addColumn<QImage::Format>("format");
        QTest::addColumn<QImage::Format>("kept");
        QTest::newRow("rgb32") << QImage::Format_RGB32 << QImage::Format_RGB32;
        QTest::newRow("argb32") << QImage::Format_ARGB32 << QImage::Format_ARGB32_Premultiplied;
        QTest::newRow("rgb888") << QImage::Format_RGB888 << QImage::Format_RGB32;
        QTest::newRow("grey8") << QImage::Format_Grayscale8 << QImage::Format_Grayscale8;
        QTest::newRow("grey16") << QImage::Format_Grayscale16 << QImage::Format_Grayscale8;
        QTest::newRow("rgba64") << QImage::Format_RGBA64 << QImage::Format_ARGB32_Premultiplied;
        QTest::newRow("rgbx64") << QImage::Format_RGBX64 << QImage::Format_RGB32;
    }
    void paintableFormats()
    {
        QFETCH(QImage::Format, format);
        QImage image(8, 8, format);
        image.fill(Qt::gray);
        const QImage paintable = PictureSource::paintable(image);
        QTEST(paintable.format(), "kept");
        QCOMPARE(paintable.pixelColor(3, 3).red(), QColor(Qt::gray).red());
    }

    void levels()
    {
        std::atomic_bool cancelled = false;
        QList<QSize> sizes;
        for (const QImage &level : PictureSource::buildLevels(QImage(1000, 300, QImage::Format_RGB888), cancelled))
            sizes.append(level.size());
        QCOMPARE(sizes, QList<QSize>({{1000, 300}, {500, 150}, {250, 75}, {125, 38}, {63, 19}}));
        cancelled = true;
        QCOMPARE(PictureSource::buildLevels(QImage(1000, 300, QImage::Format_RGB32), cancelled).size(), 1);
    }

    void buildingAndLevelChoice()
    {
        PictureSource source;
        QSignalSpy changed(&source, &PictureSource::changed);
        source.setImage(quadrants({4000, 1000}));
        // Shown at once, from the full size, while the levels are made.
        QCOMPARE(source.size(), QSize(4000, 1000));
        QCOMPARE(source.levelIndex(0.1), 0);
        // A newer picture replaces one still being built.
        source.setImage(quadrants({1024, 512}));
        QTRY_VERIFY(source.isComplete());
        QCOMPARE(source.size(), QSize(1024, 512));
        QCOMPARE(source.levels().size(), 5);
        QCOMPARE(changed.size(), 3);
        const QList<std::pair<double, qsizetype>> choices{{8, 0}, {1, 0}, {0.6, 0}, {0.5, 1}, {0.3, 1}, {0.25, 2},
                                                          {0.01, 4}};
        for (const auto &[scale, index] : choices)
            QCOMPARE(source.levelIndex(scale), index);
        source.clear();
        QVERIFY(source.isNull() && !source.isComplete());
        // A source that goes away while building stops quietly.
        auto *leaving = new PictureSource;
        leaving->setImage(quadrants({3000, 3000}));
        delete leaving;
    }

    // The quadrants land where the mapping says, from whichever level, and
    // nothing is drawn outside the visible part.
    void painting_data()
    {
        QTest::addColumn<QRectF>("target");
        QTest::addColumn<bool>("smooth");
        QTest::newRow("fitted") << QRectF(0, 50, 400, 100) << false;
        QTest::newRow("zoomed, smooth") << QRectF(-300, -100, 1600, 400) << true;
        QTest::newRow("zoomed far") << QRectF(-3000, -800, 6400, 1600) << false;
    }
    void painting()
    {
        QFETCH(QRectF, target);
        QFETCH(bool, smooth);
        PictureSource source;
        source.setImage(quadrants({4000, 1000}));
        QTRY_VERIFY(source.isComplete());
        QImage canvas(400, 200, QImage::Format_RGB32);
        canvas.fill(Qt::black);
        const QRectF visible(0, 0, 300, 200);
        QPainter painter(&canvas);
        source.paint(painter, target, visible, smooth);
        painter.end();
        const QColor colours[2][2] = {{Qt::red, Qt::green}, {Qt::blue, Qt::yellow}};
        for (int y = 2; y < 200; y += 7) {
            for (int x = 2; x < 400; x += 7) {
                const QPointF unit((x + 0.5 - target.left()) / target.width(), (y + 0.5 - target.top()) / target.height());
                QColor expected = Qt::black;
                const bool nearEdge = std::abs(unit.x() - 0.5) * target.width() < 3
                    || std::abs(unit.y() - 0.5) * target.height() < 3;
                if (x >= 300 || unit.x() < 0 || unit.x() >= 1 || unit.y() < 0 || unit.y() >= 1)
                    expected = Qt::black;
                else if (nearEdge)
                    continue;
                else
                    expected = colours[unit.y() >= 0.5][unit.x() >= 0.5];
                QVERIFY2(canvas.pixelColor(x, y) == expected, qPrintable(QString("%1,%2").arg(x).arg(y)));
            }
        }
    }
};

QTEST_MAIN(OpenedPictureTest)
#include "tst_openedpicture.moc"
