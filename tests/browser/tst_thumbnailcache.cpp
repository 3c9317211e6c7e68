#include "BrowserTestSupport.h"

#include "model/StoreTestSupport.h"
#include "platform/objectstore/ExternalStorage.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QSignalSpy>
#include <QTest>

static QImage decodeImage(const EncodedImage &image, int maxPixelSize) { return ImageDecoder::decode(image, maxPixelSize); }

class ThumbnailCacheTest : public QObject {
    Q_OBJECT
private:
    TestLibrary m_library;

private slots:
    void requestsForOneImageShareOneDecode()
    {
        GatedDecoder gate;
        ThumbnailCache cache(gate.decoder(), 2, ThumbnailCache::defaultMaxBytes);
        QSignalSpy ready(&cache, &ThumbnailCache::thumbnailReady);
        AtlasImage *image = m_library.image(QStringLiteral("a"), encodedPicture("PNG", QSize(60, 40)));
        QVERIFY(!cache.requestThumbnail(image, 500));
        QVERIFY(!cache.requestThumbnail(image, 300));
        std::optional<QImage> answered;
        int answers = 0;
        cache.thumbnail(image, 500, this, [&](const std::optional<QImage> &result) { answered = result; ++answers; });
        QCOMPARE(answers, 0);
        QVERIFY(cache.isPending(image));
        gate.release();
        cache.waitForIdle();
        QCOMPARE(gate.calls.load(), 1);
        QCOMPARE(ready.count(), 1);
        QCOMPARE(answers, 1);
        QVERIFY(answered);
        QCOMPARE(answered->size(), QSize(60, 40));
        // Answered from memory, whatever size is asked for.
        const std::optional<QImage> hit = cache.requestThumbnail(image, 100);
        QVERIFY(hit);
        QCOMPARE(hit->size(), QSize(60, 40));
        QCOMPARE(gate.calls.load(), 1);
    }

    // Thumbnails belong to the image object: not to its identifier, not to
    // its current bytes, and not to its address once it is gone.
    void thumbnailsFollowTheImageObject()
    {
        ThumbnailCache cache(decodeImage, 2, ThumbnailCache::defaultMaxBytes);
        AtlasImage *first = m_library.image(QStringLiteral("a"), encodedPicture("PNG", QSize(30, 30)));
        AtlasImage *second = m_library.image(QStringLiteral("b"), encodedPicture("PNG", QSize(50, 20)));
        second->setId(first->id());
        auto shortLived = AtlasImage::make(QStringLiteral("short-lived"));
        shortLived->setImageData(encodedPicture("PNG", QSize(20, 20)));
        const AtlasImage *address = shortLived.get();
        for (AtlasImage *image : {first, second, shortLived.get()})
            cache.requestThumbnail(image);
        cache.waitForIdle();
        QCOMPARE(cache.cachedThumbnail(first)->size(), QSize(30, 30));
        QCOMPARE(cache.cachedThumbnail(second)->size(), QSize(50, 20));
        first->setImageData(encodedPicture("PNG", QSize(40, 40)));
        QCOMPARE(cache.requestThumbnail(first)->size(), QSize(30, 30)); // kept while cached
        QVERIFY(cache.cachedThumbnail(address));
        shortLived.reset();
        QVERIFY(!cache.cachedThumbnail(address));
    }

    void imagesWithoutAPictureFailAndFailuresAreTriedAgain()
    {
        GatedDecoder gate;
        gate.release();
        ThumbnailCache cache(gate.decoder(), 1, ThumbnailCache::defaultMaxBytes);
        QSignalSpy failed(&cache, &ThumbnailCache::thumbnailFailed);
        AtlasImage *missing = m_library.image(QStringLiteral("missing"));
        QVERIFY(!cache.requestThumbnail(missing));
        QVERIFY(!cache.isPending(missing));
        bool answeredNone = false;
        cache.thumbnail(missing, 500, this, [&](const std::optional<QImage> &result) { answeredNone = !result; });
        QVERIFY(answeredNone);
        // Empty bytes are known only once read, and nothing is decoded; bad
        // bytes fail, and are decoded again when asked again.
        AtlasImage *empty = m_library.image(QStringLiteral("empty"), QByteArray());
        AtlasImage *bad = m_library.image(QStringLiteral("bad"), QByteArray("bad"));
        for (AtlasImage *image : {empty, bad, bad}) {
            cache.requestThumbnail(image);
            cache.waitForIdle();
            QVERIFY(!cache.cachedThumbnail(image));
        }
        QCOMPARE(failed.count(), 3);
        QCOMPARE(gate.calls.load(), 2);
    }

    // A decode that throws (out of memory) is a failed thumbnail, tried
    // again when asked again.
    void aDecodeThatThrowsFails()
    {
        std::atomic<int> calls{0};
        ThumbnailCache cache([&calls](const EncodedImage &image, int maxPixelSize) {
            if (calls++ == 0)
                throw std::bad_alloc();
            return ImageDecoder::decode(image, maxPixelSize);
        }, 1, ThumbnailCache::defaultMaxBytes);
        QSignalSpy failed(&cache, &ThumbnailCache::thumbnailFailed);
        AtlasImage *image = m_library.image(QStringLiteral("a"), encodedPicture("PNG", QSize(20, 10)));
        QVERIFY(!cache.requestThumbnail(image));
        cache.waitForIdle();
        QCOMPARE(failed.count(), 1);
        QVERIFY(!cache.requestThumbnail(image));
        cache.waitForIdle();
        QCOMPARE(cache.cachedThumbnail(image)->size(), QSize(20, 10));
    }

    // Thumbnails made elsewhere are answered as the cache's own, while
    // their image lives.
    void insertedThumbnailsAreAnsweredWithoutADecode()
    {
        GatedDecoder gate;
        ThumbnailCache cache(gate.decoder(), 1, ThumbnailCache::defaultMaxBytes);
        AtlasImage *image = m_library.image(QStringLiteral("a"), encodedPicture("PNG", QSize(20, 10)));
        QImage made(20, 10, QImage::Format_RGB32);
        made.fill(Qt::blue);
        cache.insert(image, QImage());
        QCOMPARE(cache.count(), 0);
        cache.insert(image, made);
        QCOMPARE(cache.requestThumbnail(image), std::optional<QImage>(made));
        auto shortLived = AtlasImage::make(QStringLiteral("short-lived"));
        const AtlasImage *address = shortLived.get();
        cache.insert(address, made);
        QVERIFY(cache.cachedThumbnail(address));
        shortLived.reset();
        QVERIFY(!cache.cachedThumbnail(address));
        QCOMPARE(gate.calls.load(), 0);
    }

    void queuedDecodesCanBeDropped()
    {
        GatedDecoder gate;
        ThumbnailCache cache(gate.decoder(), 1, ThumbnailCache::defaultMaxBytes);
        QSignalSpy cancelled(&cache, &ThumbnailCache::thumbnailCancelled);
        QList<AtlasImage *> images;
        for (int i = 0; i < 5; ++i) {
            images.append(m_library.image(QString::number(i), encodedPicture("PNG", QSize(10 + i, 10))));
            cache.requestThumbnail(images.last());
        }
        // The first runs (one decode at a time), four wait.
        QTRY_COMPARE(gate.calls.load(), 1);
        QCOMPARE(cache.runningCount(), 1);
        QCOMPARE(cache.queuedCount(), 4);
        const AtlasImage *running = images.first();
        {
            QMutexLocker lock(&gate.mutex);
            QCOMPARE(gate.seen.value(0), running->imageData());
        }
        // Keep one queued image, and one that is awaited; the others go, the
        // running one goes on.
        const AtlasImage *kept = images.at(1);
        bool answered = false;
        cache.thumbnail(images.at(2), 500, this, [&](const std::optional<QImage> &result) { answered = bool(result); });
        cache.cancelQueuedExcept({kept});
        QCOMPARE(cache.queuedCount(), 2);
        QCOMPARE(cancelled.count(), 2);
        QVERIFY(cache.isPending(running));
        gate.release();
        cache.waitForIdle();
        QCOMPARE(gate.calls.load(), 3);
        QVERIFY(cache.cachedThumbnail(running));
        QVERIFY(cache.cachedThumbnail(kept));
        QVERIFY(answered);
        QCOMPARE(cache.count(), 3);
    }

    void theCacheStaysWithinItsByteBudget()
    {
        // Each 100 by 100 thumbnail costs 40,000 bytes; room for three.
        ThumbnailCache cache(decodeImage, 2, 3 * 40000 + 100);
        QList<AtlasImage *> images;
        for (int i = 0; i < 6; ++i) {
            images.append(m_library.image(QString::number(i), encodedPicture("PNG", QSize(100, 100))));
            cache.requestThumbnail(images.last());
            cache.waitForIdle();
        }
        QCOMPARE(cache.count(), 3);
        QVERIFY(cache.totalBytes() <= cache.maxBytes());
        // The least recently used went first.
        QVERIFY(!cache.cachedThumbnail(images.at(0)));
        QVERIFY(cache.cachedThumbnail(images.at(5)));
        QVERIFY(cache.cachedThumbnail(images.at(3)));
        cache.requestThumbnail(images.at(0));
        cache.waitForIdle();
        QVERIFY(cache.cachedThumbnail(images.at(3)));  // used just before
        QVERIFY(!cache.cachedThumbnail(images.at(4))); // pushed out
    }

    void savedBytesAreReadWhereTheDecodeRuns_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("inFile");
        QTest::addColumn<QSize>("thumbnail");
        // Noise: the PNG stays about as large as its pixels.
        QTest::newRow("small, in the database") << QSize(40, 30) << false << QSize(40, 30);
        QTest::newRow("large, in a file") << QSize(320, 300) << true << QSize(100, 94);
    }

    void savedBytesAreReadWhereTheDecodeRuns()
    {
        QFETCH(QSize, size);
        QFETCH(bool, inFile);
        QFETCH(QSize, thumbnail);
        QImage noise(size, QImage::Format_RGB32);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(noise.bits()), noise.sizeInBytes() / 4);
        const QByteArray bytes = encoded(noise, "PNG");
        QCOMPARE(bytes.size() >= ExternalStorage::fileThreshold, inFile);
        QTemporaryDir folder;
        {
            auto container = makeTestContainer(folder.path());
            container->mainContext().insert(AtlasImage::make(QStringLiteral("scan"), Modality::ct, Region::head,
                                                             Plane::axial, {}, Sex::female, bytes));
            container->mainContext().save();
        }
        // A fresh container: the bytes are only in the store.
        auto container = makeTestContainer(folder.path());
        AtlasImage *image = container->mainContext().fetch<AtlasImage>().first();
        QList<EncodedImage> given;
        ThumbnailCache cache(
            [&given](const EncodedImage &encoded, int maxPixelSize) {
                given.append(encoded);
                return ImageDecoder::decode(encoded, maxPixelSize);
            },
            1, ThumbnailCache::defaultMaxBytes);
        cache.requestThumbnail(image, 100);
        cache.waitForIdle();
        QCOMPARE(cache.cachedThumbnail(image)->size(), thumbnail);
        QCOMPARE(given.size(), 1);
        // A large scan is named, not read: the decoder reads it in strips.
        QCOMPARE(given.first().isFile(), inFile);
        QCOMPARE(given.first().bytes(), inFile ? QByteArray() : bytes);
    }

    void theCacheGoesAfterItsRunningDecode()
    {
        const auto ended = std::make_shared<std::atomic<bool>>(false);
        auto cache = std::make_unique<ThumbnailCache>(
            [ended](const EncodedImage &image, int maxPixelSize) {
                QThread::msleep(100);
                const QImage thumbnail = ImageDecoder::decode(image, maxPixelSize);
                *ended = true;
                return thumbnail;
            },
            1, ThumbnailCache::defaultMaxBytes);
        cache->requestThumbnail(m_library.image(QStringLiteral("a"), encodedPicture("PNG", QSize(8, 8))));
        QCOMPARE(cache->runningCount(), 1);
        cache.reset();
        QVERIFY(*ended);
    }
};

QTEST_MAIN(ThumbnailCacheTest)
#include "tst_thumbnailcache.moc"
