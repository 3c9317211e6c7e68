#include "browser/ThumbnailCache.h"

#include "model/AtlasImage.h"
#include "platform/ImageDecoder.h"
#include "platform/WorkerPools.h"

#include <QCoreApplication>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

ThumbnailCache::ThumbnailCache(QObject *parent)
    : ThumbnailCache([](const EncodedImage &image, int maxPixelSize) { return ImageDecoder::decode(image, maxPixelSize); },
                     WorkerPools::decoding().maxThreadCount(), defaultMaxBytes, parent)
{
}

ThumbnailCache::ThumbnailCache(Decoder decoder, int maxDecodes, qsizetype maxBytes, QObject *parent)
    : QObject(parent)
    , m_decoder(std::move(decoder))
    , m_maxDecodes(std::max(1, maxDecodes))
    , m_cache(maxBytes)
{
}

// A running decode reads the store on its thread: it ends before the cache
// goes, and the shared cache goes with the application, before the store's
// database driver does.
ThumbnailCache::~ThumbnailCache()
{
    m_queue.clear();
    waitForRunningDecodes();
}

ThumbnailCache &ThumbnailCache::shared()
{
    static ThumbnailCache *instance = new ThumbnailCache(QCoreApplication::instance());
    return *instance;
}

bool ThumbnailCache::isSameObject(const std::weak_ptr<const ModelObject> &owner, const AtlasImage *image) const
{
    const std::shared_ptr<const ModelObject> object = owner.lock();
    return object && object.get() == static_cast<const ModelObject *>(image);
}

std::optional<QImage> ThumbnailCache::cachedThumbnail(const AtlasImage *image)
{
    Entry *entry = m_cache.object(image);
    if (!entry)
        return std::nullopt;
    // An entry of an object that died, whose address came back for another.
    if (!isSameObject(entry->owner, image)) {
        m_cache.remove(image);
        return std::nullopt;
    }
    return entry->thumbnail;
}

std::optional<QImage> ThumbnailCache::requestThumbnail(AtlasImage *image, int maxPixelSize)
{
    if (!image)
        return std::nullopt;
    if (std::optional<QImage> cached = cachedThumbnail(image))
        return cached;
    auto pending = m_pending.find(image);
    if (pending != m_pending.end()) {
        if (isSameObject(pending->owner, image)) {
            // Asked again: move a queued decode to the end, where it starts
            // before older requests of tiles that may have gone.
            if (!pending->running && m_queue.removeOne(image))
                m_queue.append(image);
            return std::nullopt;
        }
        if (!pending->running)
            m_queue.removeOne(image);
        m_pending.erase(pending);
    }
    // Reads no bytes: the decode reads them when it starts.
    if (image->isImageDataMissing())
        return std::nullopt;
    Pending entry;
    entry.image = image;
    entry.owner = image->weak_from_this();
    entry.maxPixelSize = maxPixelSize;
    m_pending.insert(image, entry);
    m_queue.append(image);
    startNext();
    return std::nullopt;
}

void ThumbnailCache::thumbnail(AtlasImage *image, int maxPixelSize, QObject *context,
                               std::function<void(const std::optional<QImage> &)> completion)
{
    if (std::optional<QImage> result = requestThumbnail(image, maxPixelSize)) {
        completion(result);
        return;
    }
    auto pending = m_pending.find(image);
    if (pending == m_pending.end()) {
        completion(std::nullopt);
        return;
    }
    pending->waiters.append({QPointer<QObject>(context), std::move(completion)});
}

void ThumbnailCache::insert(const AtlasImage *image, const QImage &thumbnail)
{
    if (!image || thumbnail.isNull())
        return;
    const qsizetype cost = std::max<qsizetype>(1, thumbnail.sizeInBytes());
    m_cache.insert(image, new Entry{image->weak_from_this(), thumbnail}, cost);
}

void ThumbnailCache::cancel(const AtlasImage *image)
{
    auto pending = m_pending.find(image);
    if (pending == m_pending.end() || pending->running)
        return;
    const bool awaited = std::any_of(pending->waiters.cbegin(), pending->waiters.cend(),
                                     [](const auto &waiter) { return !waiter.first.isNull(); });
    if (awaited)
        return;
    m_queue.removeOne(image);
    m_pending.erase(pending);
    emit thumbnailCancelled(image);
}

void ThumbnailCache::cancelQueuedExcept(const QSet<const AtlasImage *> &wanted)
{
    const QList<const AtlasImage *> queued = m_queue;
    for (const AtlasImage *image : queued) {
        if (!wanted.contains(image))
            cancel(image);
    }
}

void ThumbnailCache::startNext()
{
    while (m_running < m_maxDecodes && !m_queue.isEmpty()) {
        // Newest request first: during fast scrolling the tiles that came on
        // screen last are the ones still there.
        const AtlasImage *key = m_queue.takeLast();
        auto pending = m_pending.find(key);
        if (pending == m_pending.end())
            continue;
        const std::shared_ptr<const ModelObject> object = pending->owner.lock();
        if (!object || object.get() != static_cast<const ModelObject *>(key)) {
            m_pending.erase(pending);
            continue;
        }
        // Model objects are read on this thread only: the worker gets where
        // the bytes are and reads them itself.
        const std::optional<StoredImageData> stored = AtlasImage::storedImageData({pending->image}).constFirst();
        if (!stored) {
            Pending done = std::move(*pending);
            m_pending.erase(pending);
            deliver(done, std::nullopt);
            emit thumbnailFailed(key);
            continue;
        }
        pending->running = true;
        ++m_running;
        const std::weak_ptr<const ModelObject> owner = pending->owner;
        const int maxPixelSize = pending->maxPixelSize;
        auto *decode = new QFutureWatcher<QImage>(this);
        connect(decode, &QFutureWatcher<QImage>::finished, this, [this, decode, key, owner] {
            decode->deleteLater();
            finish(key, owner, decode->result());
        });
        decode->setFuture(QtConcurrent::run(&WorkerPools::decoding(), [decoder = m_decoder, data = *stored, maxPixelSize] {
            // A decode that fails in any way (memory too) is a failed thumbnail.
            try {
                StoredImageDataReader reader;
                const std::optional<EncodedImage> image = reader.encodedImage(data);
                return image ? decoder(*image, maxPixelSize) : QImage();
            } catch (const std::exception &) {
                return QImage();
            }
        }));
    }
}

void ThumbnailCache::deliver(Pending &pending, const std::optional<QImage> &result)
{
    for (auto &[context, completion] : pending.waiters) {
        if (context)
            completion(result);
    }
}

void ThumbnailCache::finish(const AtlasImage *image, const std::weak_ptr<const ModelObject> &owner,
                            const QImage &thumbnail)
{
    --m_running;
    Pending done;
    auto pending = m_pending.find(image);
    const bool current = pending != m_pending.end() && pending->running && !pending->owner.owner_before(owner)
                         && !owner.owner_before(pending->owner);
    if (current) {
        done = std::move(*pending);
        m_pending.erase(pending);
    }
    const bool alive = isSameObject(owner, image);
    if (alive && !thumbnail.isNull()) {
        const qsizetype cost = std::max<qsizetype>(1, thumbnail.sizeInBytes());
        m_cache.insert(image, new Entry{owner, thumbnail}, cost);
    }
    if (current)
        deliver(done, thumbnail.isNull() ? std::nullopt : std::optional<QImage>(thumbnail));
    startNext();
    if (alive) {
        if (thumbnail.isNull())
            emit thumbnailFailed(image);
        else
            emit thumbnailReady(image);
    }
}

void ThumbnailCache::waitForIdle()
{
    while (m_running > 0 || !m_queue.isEmpty()) {
        waitForRunningDecodes();
        QCoreApplication::sendPostedEvents();
        startNext();
    }
}

void ThumbnailCache::waitForRunningDecodes()
{
    for (QFutureWatcher<QImage> *decode : findChildren<QFutureWatcher<QImage> *>(Qt::FindDirectChildrenOnly))
        decode->waitForFinished();
}
