#pragma once

#include <QByteArray>
#include <QCache>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>

#include <functional>
#include <memory>
#include <optional>

#include "model/AtlasImage.h"
#include "platform/ImageDecoder.h"
class ModelObject;

// Decoded thumbnails of library images, shared by every window.
//
// A thumbnail is the image scaled down so that its longer side is at most
// the requested number of pixels, with the stored orientation applied
// (ImageDecoder). It is decoded on the decoding pool, a few at a time, from
// bytes read there too (StoredImageDataReader: nothing is read on the GUI
// thread, and nothing read stays on the model object), and kept by the
// image's identity (the model object, not its `id`, which need not be
// unique), whatever size was asked for, until the byte budget pushes it
// out (least recently used first).
//
// Requests for an image whose decode is queued or running join it; decodes
// still queued can be dropped when their tile leaves the screen. A decode
// that has started runs to its end and its result is kept; the cache waits
// for it when it goes. A failed decode is not remembered, so the next
// request tries again.
//
// GUI thread only.
class ThumbnailCache : public QObject {
    Q_OBJECT
public:
    // Makes a thumbnail from an image's bytes; a null image when there is
    // none. Runs on a worker thread, so it must touch no shared state.
    using Decoder = std::function<QImage(const EncodedImage &image, int maxPixelSize)>;

    static constexpr int defaultMaxPixelSize = 500;
    static constexpr qsizetype defaultMaxBytes = qsizetype(256) * 1024 * 1024;

    explicit ThumbnailCache(QObject *parent = nullptr);
    // At most `maxDecodes` decodes run at once.
    ThumbnailCache(Decoder decoder, int maxDecodes, qsizetype maxBytes, QObject *parent = nullptr);
    ~ThumbnailCache() override;

    // The instance the views use; made on first use, lives until the
    // process ends.
    static ThumbnailCache &shared();

    // The cached thumbnail of the image, whatever size it was made for.
    std::optional<QImage> cachedThumbnail(const AtlasImage *image);

    // Answers a cached thumbnail at once. Otherwise, when the image has
    // bytes, makes sure a decode for it is queued or running and answers
    // none; thumbnailReady() or thumbnailFailed() follows. An image without
    // bytes (absent or empty) answers none and starts nothing.
    std::optional<QImage> requestThumbnail(AtlasImage *image, int maxPixelSize = defaultMaxPixelSize);

    // Calls `completion` once with the thumbnail, or none when there is
    // none: at once for a cached one or an image without bytes, else when
    // the decode ends. Not called when `context` is destroyed first, nor
    // when the decode is cancelled.
    void thumbnail(AtlasImage *image, int maxPixelSize, QObject *context,
                   std::function<void(const std::optional<QImage> &)> completion);

    // Keeps `thumbnail` as the image's, made elsewhere (by an import's check)
    // the way this cache makes them, at defaultMaxPixelSize. A null
    // thumbnail or image keeps nothing.
    void insert(const AtlasImage *image, const QImage &thumbnail);

    // Drops the queued decode of the image (a running one goes on). Decodes
    // that a completion of thumbnail() waits for are kept.
    void cancel(const AtlasImage *image);
    // Drops every queued decode whose image is not in `wanted`, with the
    // same exception.
    void cancelQueuedExcept(const QSet<const AtlasImage *> &wanted);

    int queuedCount() const { return int(m_queue.size()); }
    int runningCount() const { return m_running; }
    bool isPending(const AtlasImage *image) const { return m_pending.contains(image); }
    qsizetype totalBytes() const { return m_cache.totalCost(); }
    qsizetype maxBytes() const { return m_cache.maxCost(); }
    int count() const { return int(m_cache.count()); }
    // Blocks until no decode is queued or running, every result handled
    // (for tests and benchmarks).
    void waitForIdle();

signals:
    void thumbnailReady(const AtlasImage *image);
    void thumbnailFailed(const AtlasImage *image);
    // A queued decode was dropped; whoever still shows the image asks again.
    void thumbnailCancelled(const AtlasImage *image);

private:
    struct Entry {
        std::weak_ptr<const ModelObject> owner;
        QImage thumbnail;
    };
    struct Pending {
        AtlasImage *image = nullptr;
        std::weak_ptr<const ModelObject> owner;
        int maxPixelSize = defaultMaxPixelSize;
        bool running = false;
        QList<std::pair<QPointer<QObject>, std::function<void(const std::optional<QImage> &)>>> waiters;
    };

    void startNext();
    // Blocks until the decodes that have started end; their results are not handled.
    void waitForRunningDecodes();
    void finish(const AtlasImage *image, const std::weak_ptr<const ModelObject> &owner, const QImage &thumbnail);
    bool isSameObject(const std::weak_ptr<const ModelObject> &owner, const AtlasImage *image) const;

    static void deliver(Pending &pending, const std::optional<QImage> &result);

    Decoder m_decoder;
    int m_maxDecodes = 1;
    QCache<const AtlasImage *, Entry> m_cache;
    QHash<const AtlasImage *, Pending> m_pending;
    QList<const AtlasImage *> m_queue; // queued decodes, oldest first
    int m_running = 0;
};
