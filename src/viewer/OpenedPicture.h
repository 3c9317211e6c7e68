#pragma once

#include "model/StoredImageData.h"
#include "platform/objectstore/ModelObjectWatch.h"

#include <QImage>
#include <QObject>
#include <QSize>

#include <atomic>
#include <memory>
#include <optional>

class AtlasImage;
class PictureSource;

// The picture of the image open on a screen, for its canvases. It is
// decoded once per opened image, on the decoding pool: its stored bytes are
// reached there (StoredImageDataReader: a file beside the store is read as
// it decodes, other bytes are read and let go once decoded) and decoded
// (ImageDecoder) into a format that paints as it is, so the GUI thread only
// swaps the finished picture in; its smaller levels follow (PictureSource). Until then the
// image's thumbnail stands in, when the screen has one, in the place the
// picture's header gives (read on the GUI thread as loading starts), so what
// is drawn over the picture does not move when it arrives.
// Writing the image's bytes decodes again. Only one decode runs per
// picture: opening images in quick succession cancels the ones left behind
// at their next step and starts the newest when the running one has
// stopped, so at most one large picture is being made at a time. GUI thread.
class OpenedPicture : public QObject {
    Q_OBJECT
public:
    enum class Status {
        none,        // no image
        loading,     // being read and decoded
        ready,       // decoded: the source holds the picture
        downloading, // no bytes stored at all (the mirrored store has yet to deliver them)
        unavailable, // empty bytes, bytes that can't be read, or no picture in them
    };
    Q_ENUM(Status)

    explicit OpenedPicture(QObject *parent = nullptr);
    ~OpenedPicture() override;

    // Starts on the image's picture; the same image again changes nothing.
    void setImage(AtlasImage *image);
    AtlasImage *image() const { return m_image; }
    Status status() const { return m_status; }
    // What the canvases paint: the thumbnail while loading, then the
    // picture. Owned by this object.
    PictureSource *source() const { return m_source; }
    // The decoded picture's size in pixels; empty until it is ready.
    QSize pictureSize() const;

    // Shows `thumbnail` for `image` while its picture is loading; ignored
    // for another image or once the picture is there.
    void showThumbnail(const AtlasImage *image, const QImage &thumbnail);

    // Whether a decode is running (for tests and benchmarks).
    bool isDecoding() const { return m_running != nullptr; }

signals:
    void statusChanged(OpenedPicture::Status status);

private:
    struct Task;

    void load();
    void start(const StoredImageData &data);
    void finish(Task *task);
    void setStatus(Status status);

    PictureSource *m_source = nullptr;
    AtlasImage *m_image = nullptr;
    ModelObjectWatch m_imageWatch; // its bytes
    Status m_status = Status::none;

    Task *m_running = nullptr;                  // the decode in progress
    std::optional<StoredImageData> m_waiting;    // the decode to start after it
    quint64 m_generation = 0;                    // counts loads; a task of an older one is stale
};
