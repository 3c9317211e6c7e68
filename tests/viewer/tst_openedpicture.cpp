#include "model/AtlasImage.h"
#include "model/StoreTestSupport.h"
#include "support/TestPictures.h"
#include "viewer/OpenedPicture.h"
#include "viewer/PictureSource.h"

#include <QImageReader>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Where the bytes are when the picture is opened.
enum class Kept { unsaved, saved };

QImage thumbnailOf(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    return image;
}

} // namespace
Q_DECLARE_METATYPE(Kept)

// The opened image's picture: decoded once, off the GUI thread, from
// wherever the store keeps its bytes.
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
        picture.showThumbnail(b, thumbnailOf({4, 3})); // another image's
        QVERIFY(picture.source()->isNull());
        picture.showThumbnail(a, thumbnailOf({40, 30}));
        QCOMPARE(picture.source()->size(), QSize(40, 30));
        QVERIFY(picture.source()->isComplete());
        QTRY_COMPARE(picture.status(), OpenedPicture::Status::ready);
        QCOMPARE(picture.source()->size(), QSize(400, 300));
        picture.showThumbnail(a, thumbnailOf({40, 30})); // too late
        QCOMPARE(picture.source()->size(), QSize(400, 300));
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
};

QTEST_MAIN(OpenedPictureTest)
#include "tst_openedpicture.moc"
