#include "viewer/OpenedPicture.h"

#include "model/AtlasImage.h"
#include "platform/ImageDecoder.h"
#include "platform/WorkerPools.h"
#include "viewer/PictureSource.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <cstring>

namespace {

// What a decode ends with.
struct Decoded {
    enum class Outcome { picture, noPicture, cancelled } outcome = Outcome::cancelled;
    QImage picture; // in a format that paints as it is
};

Decoded decodeStored(const StoredImageData &data, const std::atomic_bool &cancelled)
{
    if (cancelled.load())
        return {};
    QImage picture;
    {
        // A file is read as it decodes; other bytes go as soon as they are
        // decoded.
        StoredImageDataReader reader;
        const std::optional<EncodedImage> encoded = reader.encodedImage(data);
        if (cancelled.load())
            return {};
        if (!encoded)
            return {Decoded::Outcome::noPicture, {}};
        picture = ImageDecoder::decode(*encoded);
    }
    if (cancelled.load())
        return {}; // freed here, off the GUI thread
    if (picture.isNull())
        return {Decoded::Outcome::noPicture, {}};
    return {Decoded::Outcome::picture, PictureSource::paintable(std::move(picture))};
}

} // namespace

struct OpenedPicture::Task {
    quint64 generation = 0;
    std::shared_ptr<std::atomic_bool> cancelled = std::make_shared<std::atomic_bool>(false);
    QFutureWatcher<Decoded> watcher;
};

OpenedPicture::OpenedPicture(QObject *parent) : QObject(parent), m_source(new PictureSource(this)) {}

OpenedPicture::~OpenedPicture()
{
    if (m_running) {
        // The decode stops at its next step; what it made is freed on its
        // worker thread with the future's last reference.
        m_running->cancelled->store(true);
        delete m_running;
    }
}

void OpenedPicture::setImage(AtlasImage *image)
{
    if (image == m_image)
        return;
    m_image = image;
    m_imageWatch.watch(image, [this](ModelObject *, const char *property) {
        if (std::strcmp(property, "imageData") == 0)
            load();
    });
    load();
}

QSize OpenedPicture::pictureSize() const
{
    return m_status == Status::ready ? m_source->size() : QSize();
}

void OpenedPicture::showThumbnail(const AtlasImage *image, const QImage &thumbnail)
{
    if (image != m_image || m_status != Status::loading || thumbnail.isNull())
        return;
    const std::atomic_bool notCancelled(false);
    m_source->setLevels(PictureSource::buildLevels(thumbnail, notCancelled));
}

void OpenedPicture::load()
{
    ++m_generation;
    m_waiting.reset();
    if (m_running)
        m_running->cancelled->store(true);
    m_source->clear();
    if (!m_image) {
        setStatus(Status::none);
        return;
    }
    const std::optional<StoredImageData> data = AtlasImage::storedImageData({m_image}).constFirst();
    if (!data) {
        setStatus(Status::downloading);
        return;
    }
    // The header gives the picture's place before it is decoded, so marks
    // drawn over it stay put when it arrives.
    {
        StoredImageDataReader reader;
        if (const std::optional<EncodedImage> encoded = reader.encodedImage(*data))
            m_source->setPixelSize(ImageDecoder::pixelSize(*encoded));
    }
    setStatus(Status::loading);
    if (m_running)
        m_waiting = data; // once the stale decode has stopped
    else
        start(*data);
}

void OpenedPicture::start(const StoredImageData &data)
{
    auto *task = new Task;
    task->generation = m_generation;
    m_running = task;
    connect(&task->watcher, &QFutureWatcherBase::finished, this, [this, task] { finish(task); });
    task->watcher.setFuture(QtConcurrent::run(&WorkerPools::decoding(),
                                              [data, cancelled = task->cancelled] { return decodeStored(data, *cancelled); }));
}

void OpenedPicture::finish(Task *task)
{
    m_running = nullptr;
    Decoded decoded = task->watcher.result();
    const bool current = task->generation == m_generation;
    delete task;
    if (!current) {
        if (!decoded.picture.isNull())
            WorkerPools::computing().start([picture = std::move(decoded.picture)]() mutable { picture = QImage(); });
        if (m_waiting) {
            const StoredImageData data = *m_waiting;
            m_waiting.reset();
            start(data);
        }
        return;
    }
    if (decoded.outcome == Decoded::Outcome::picture) {
        // Shown at once; its smaller levels follow from the decoding pool.
        m_source->setImage(decoded.picture);
        setStatus(Status::ready);
    } else {
        m_source->clear();
        setStatus(Status::unavailable);
    }
}

void OpenedPicture::setStatus(Status status)
{
    if (m_status == status)
        return;
    m_status = status;
    emit statusChanged(status);
}
