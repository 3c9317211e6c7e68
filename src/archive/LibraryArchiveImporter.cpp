#include "archive/LibraryArchiveImporter.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "platform/FileWriteError.h"
#include "platform/WorkerPools.h"
#include "platform/objectstore/ModelContext.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <vector>

namespace {

using M = LibraryArchiveManifest;

QList<AnnotationLink> links(const QList<M::LinkRecord> &records)
{
    QList<AnnotationLink> result;
    result.reserve(records.size());
    for (const M::LinkRecord &record : records)
        result.append({record.id, record.label, record.url});
    return result;
}

// A new image of `record`, with its points and regions, not yet inserted;
// `annotations` holds the annotations until the image is. `attachBytes`
// gives it its bytes.
template <class AttachBytes>
std::shared_ptr<AtlasImage> makeImage(const M::ImageRecord &record, AttachBytes &&attachBytes,
                                      std::vector<std::shared_ptr<ModelObject>> &annotations)
{
    auto image = AtlasImage::make();
    image->setId(record.id);
    image->setTitle(record.title);
    image->setCreatedAt(record.createdAt);
    image->setSortIndex(record.sortIndex);
    attachBytes(*image);
    image->setModalityRaw(record.metadata.modality);
    image->setRegionRaw(record.metadata.region);
    image->setPlaneRaw(record.metadata.plane);
    image->setSexRaw(record.metadata.sex);
    image->setAge(AgeSpec{record.metadata.age.kind, record.metadata.age.value});
    for (const M::PointRecord &point : record.points) {
        auto annotation = PointAnnotation::make(point.label, point.group, links(point.links), point.x, point.y);
        annotation->setId(point.id);
        annotation->setImage(image.get());
        annotations.push_back(std::move(annotation));
    }
    for (const M::RegionRecord &region : record.regions) {
        QList<Vertex> vertices;
        vertices.reserve(region.vertices.size());
        for (const M::VertexRecord &vertex : region.vertices)
            vertices.append({vertex.x, vertex.y});
        auto annotation = RegionAnnotation::make(region.label, region.group, links(region.links), vertices);
        annotation->setId(region.id);
        annotation->setImage(image.get());
        annotations.push_back(std::move(annotation));
    }
    return image;
}

// The identifiers of the archive's images among `library`'s.
QSet<QUuid> heldImageIds(const LibraryArchiveManifest &manifest, const QList<QUuid> &library)
{
    QSet<QUuid> archived;
    archived.reserve(manifest.images.size());
    for (const M::ImageRecord &record : std::as_const(manifest.images))
        archived.insert(record.id);
    QSet<QUuid> held;
    if (archived.isEmpty())
        return held;
    for (const QUuid &id : library) {
        if (archived.contains(id))
            held.insert(id);
    }
    return held;
}

// Calls `add` with each image record whose identifier is not in `known`, in
// manifest order. A record repeated in the archive is passed over too: the
// library can't tell two images of one identifier apart.
template<class Add>
void forEachNewRecord(const LibraryArchiveManifest &manifest, QSet<QUuid> known, Add &&add)
{
    for (const M::ImageRecord &record : std::as_const(manifest.images)) {
        if (known.contains(record.id))
            continue;
        known.insert(record.id);
        add(record);
    }
}

// Lets go of `value` on the files pool: freeing a million records, or a
// gigabyte of bytes, takes a while.
template<class T>
void releaseOnWorker(T &value)
{
    WorkerPools::files().start([released = std::move(value)] {});
    value = T();
}

using ImageFile = LibraryArchiveImporter::ImageFile;
using FileError = LibraryArchiveImporter::FileError;

// The entries kept by a read, by path, and the prepared files that hold
// them until the save takes them.
struct KeptEntries {
    QHash<QString, ImageFile> imageFiles;
    PreparedValues prepared;
};

// Keeps the bytes of the entries that new images take, as a read hands
// them on: small ones in memory (a few megabytes in all), the others in
// one file of `files` for each image that takes the entry (memory for all
// when there are none: a store in memory). Consumers are made and fed on
// the reading threads.
class EntryKeeper {
public:
    // `wanted`: how many new images take each entry.
    EntryKeeper(const ZipArchiveReader::Directory &directory, QHash<QString, int> wanted,
                std::optional<PreparedFiles> files)
        : m_directory(directory)
        , m_wanted(std::move(wanted))
        , m_files(std::move(files))
    {
    }

    // The consumer of the entry `path`; an empty one for an entry no new
    // image takes, which is only checked.
    ZipArchiveReader::Consumer consumerFor(const QString &path)
    {
        if (!m_wanted.contains(path))
            return {};
        auto slot = std::make_shared<Kept>();
        {
            const QMutexLocker locker(&m_lock);
            m_kept[path] = slot;
        }
        const qint64 size = m_directory.uncompressedSize(path);
        if (!m_files || m_memory.keepsInMemory(size)) {
            slot->bytes.reserve(size);
            return [slot](QByteArrayView piece) {
                slot->bytes.append(piece);
                return true;
            };
        }
        for (int i = m_wanted.value(path); i > 0; --i) {
            std::unique_ptr<PreparedFiles::Writer> file = m_files->create();
            if (!file)
                return [](QByteArrayView) { return false; };
            slot->files.push_back(std::move(file));
        }
        return [slot, files = *m_files](QByteArrayView piece) mutable {
            for (const auto &file : slot->files) {
                // The end of a checked entry: the file is synced and named.
                if (piece.isNull() ? !file->complete() : !file->write(piece)) {
                    files.setError(FileWriteError::reasonFor(errno));
                    return false;
                }
            }
            return true;
        };
    }

    // Why a consumer stopped the read.
    FileError stopped() const
    {
        const std::optional<ModelStoreError> error = m_files ? m_files->error() : std::nullopt;
        return error.value_or(ModelStoreError(ModelStoreError::Code::saveFailed, QString()));
    }

    // Once the read has ended: the entries kept, their files offered to the
    // saves.
    Result<KeptEntries, FileError> take()
    {
        KeptEntries result;
        if (m_files) {
            result.prepared = m_files->offer();
            if (result.prepared.error())
                return *result.prepared.error();
        }
        for (const auto &[path, slot] : m_kept) {
            ImageFile file;
            for (const auto &prepared : slot->files)
                file.preparedFiles.append(prepared->name());
            if (slot->files.empty())
                file.bytes = std::move(slot->bytes);
            result.imageFiles.insert(path, std::move(file));
        }
        return result;
    }

private:
    struct Kept {
        QByteArray bytes;
        std::vector<std::unique_ptr<PreparedFiles::Writer>> files;
    };

    const ZipArchiveReader::Directory &m_directory;
    const QHash<QString, int> m_wanted;
    std::optional<PreparedFiles> m_files;
    PreparedMemoryAllowance m_memory; // for the entries kept in memory
    QMutex m_lock;
    std::map<QString, std::shared_ptr<Kept>> m_kept;
};

// Reads the entries of `wanted` from `file` once more, one after the
// other and piece by piece, each checked as the first read checked it,
// and keeps them as that read did. The file has to be as it was when
// opened: when it has changed, that is the failure, whatever else failed.
// Any thread.
Result<KeptEntries, FileError> readAgain(const LibraryArchiveImporter::ArchiveFile &file,
                                         const QHash<QString, int> &wanted, std::optional<PreparedFiles> files)
{
    const auto failure = [&file](FileError error) -> FileError {
        if (!file.source.isUnchanged())
            return FileReadError{FileReadError::Reason::changed, file.fileName, 0};
        return error;
    };
    if (!file.source.isUnchanged())
        return failure(FileReadError{FileReadError::Reason::changed, file.fileName, 0});
    EntryKeeper keeper(file.directory, wanted, std::move(files));
    QStringList paths = wanted.keys();
    std::sort(paths.begin(), paths.end());
    constexpr qsizetype pieceSize = 256 * 1024;
    QByteArray piece(pieceSize, Qt::Uninitialized);
    for (const QString &path : std::as_const(paths)) {
        if (!file.directory.contains(path))
            return failure(LibraryArchiveError::missingImageFile(path));
        auto reader = ZipArchiveReader::openEntry(file.source, file.directory, path);
        if (!reader)
            return failure(reader.error());
        const ZipArchiveReader::Consumer consume = keeper.consumerFor(path);
        for (qint64 got; (got = reader.value()->read(piece.data(), pieceSize)) > 0;) {
            if (!consume(QByteArrayView(piece.constData(), got)))
                return failure(keeper.stopped());
        }
        if (const std::optional<ZipArchiveError> error = reader.value()->finish())
            return failure(*error);
        if (!consume(QByteArrayView()))
            return failure(keeper.stopped());
    }
    if (!file.source.isUnchanged())
        return failure(FileReadError{FileReadError::Reason::changed, file.fileName, 0});
    return keeper.take();
}

} // namespace

QList<QByteArray> LibraryArchiveImporter::newImageBytes(const LibraryArchiveContents &contents, ModelContext &context)
{
    QList<QByteArray> bytes;
    forEachNewRecord(contents.manifest, heldImageIds(contents.manifest, libraryImages(context)),
                     [&](const M::ImageRecord &record) {
                         if (!record.imagePath)
                             return;
                         const auto file = contents.imageFiles.constFind(*record.imagePath);
                         if (file != contents.imageFiles.constEnd())
                             bytes.append(*file);
                     });
    return bytes;
}

namespace {

// Runs `merge` to its end in one go.
Result<LibraryImportSummary, FileError> mergeWhole(LibraryArchiveImporter::Merge &merge)
{
    while (!merge.step(std::chrono::hours(1))) {
        if (std::optional<QFuture<void>> reading = merge.reading())
            reading->waitForFinished();
    }
    return merge.outcome();
}

} // namespace

Result<LibraryImportSummary, ModelStoreError> LibraryArchiveImporter::importContents(LibraryArchiveContents contents,
                                                                                    ModelContext &context)
{
    ReadArchive archive;
    archive.manifest = std::move(contents.manifest);
    for (auto it = contents.imageFiles.cbegin(); it != contents.imageFiles.cend(); ++it)
        archive.imageFiles.insert(it.key(), ImageFile{it.value(), {}});
    releaseOnWorker(contents.imageFiles);
    Merge merge(std::move(archive), context);
    // With no archive file to read again, only the save can fail.
    const Result<LibraryImportSummary, FileError> outcome = mergeWhole(merge);
    if (!outcome)
        return std::get<ModelStoreError>(outcome.error());
    return outcome.value();
}

Result<LibraryArchiveImporter::OpenedArchive, LibraryArchiveImporter::FileError>
LibraryArchiveImporter::openArchive(const QString &path)
{
    auto source = ZipArchiveSource::open(path);
    if (!source)
        return source.error();
    if (source.value().size() > ZipArchiveReader::maximumArchiveSize) {
        const qint64 size = source.value().size();
        const qint64 tailSize = qMin<qint64>(size, 22 + 0xFFFF);
        QByteArray tail(tailSize, Qt::Uninitialized);
        if (!source.value().read(size - tailSize, tailSize, reinterpret_cast<uchar *>(tail.data())))
            return FileReadError{FileReadError::Reason::readFailed, QFileInfo(path).fileName(), 0};
        return ZipArchiveReader::tooLargeToRead(tail);
    }
    auto opened = LibraryArchiveContents::openManifest(source.value());
    if (!opened)
        return std::visit([](const auto &error) { return FileError(error); }, opened.error());
    return OpenedArchive{{std::move(source).value(), std::move(opened.value().directory), QFileInfo(path).fileName()},
                         std::move(opened.value().manifest)};
}

QList<QUuid> LibraryArchiveImporter::libraryImages(ModelContext &context)
{
    const QList<AtlasImage *> images = context.fetch<AtlasImage>();
    QList<QUuid> ids;
    ids.reserve(images.size());
    for (const AtlasImage *image : images)
        ids.append(image->id());
    return ids;
}

Result<LibraryArchiveImporter::ReadArchive, LibraryArchiveImporter::FileError>
LibraryArchiveImporter::readImages(OpenedArchive &archive, const QList<QUuid> &library,
                                   std::optional<PreparedFiles> files)
{
    const QSet<QUuid> held = heldImageIds(archive.manifest, library);
    // Every entry of the archive is checked; those of new images are kept.
    // How many new images each file is for: each takes a file of its own.
    QHash<QString, int> wanted;
    forEachNewRecord(archive.manifest, held, [&](const M::ImageRecord &record) {
        if (record.imagePath)
            ++wanted[*record.imagePath];
    });
    EntryKeeper keeper(archive.file.directory, std::move(wanted), std::move(files));
    const ZipArchiveReader::ReadOutcome outcome = ZipArchiveReader::readEntries(
        archive.file.source, archive.file.directory, [&](const QString &path) { return keeper.consumerFor(path); });
    if (outcome.error)
        return *outcome.error;
    if (outcome.stopped)
        return keeper.stopped();
    Result<KeptEntries, FileError> kept = keeper.take();
    if (!kept)
        return kept.error();

    ReadArchive read;
    read.imageFiles = std::move(kept.value().imageFiles);
    read.prepared = std::move(kept.value().prepared);
    read.manifest = std::move(archive.manifest);
    read.held = held;
    read.file = archive.file;
    return read;
}

Result<LibraryImportSummary, LibraryArchiveImporter::FileError>
LibraryArchiveImporter::importArchive(ReadArchive archive, ModelContext &context)
{
    Merge merge(std::move(archive), context);
    return mergeWhole(merge);
}

// The merge in slices

struct LibraryArchiveImporter::Merge::State {
    State(ReadArchive archive, ModelContext &context)
        : context(context)
        , manifest(std::move(archive.manifest))
        , imageFiles(std::move(archive.imageFiles))
        , passedOver(std::move(archive.held))
        , file(std::move(archive.file))
    {
        prepared.append(std::move(archive.prepared));
    }

    enum class Stage { archived, library, passedOver, librarySeries, series, images, save, ended };

    // What a step may still do; the clock is read every `every` items.
    struct Clock {
        QElapsedTimer timer;
        qint64 budget;
        int count = 0;
        bool due(int every)
        {
            return ++count % every == 0 && timer.elapsed() >= budget;
        }
    };

    bool archivedStep(Clock &clock)
    {
        if (next == 0)
            archived.reserve(manifest.images.size());
        for (; next < manifest.images.size(); ++next) {
            archived.insert(manifest.images[next].id);
            if (clock.due(256))
                return (++next, false);
        }
        return true;
    }

    // The archive's images that the library holds now.
    bool libraryStep(Clock &clock)
    {
        if (next == 0)
            library = context.fetch<AtlasImage>();
        for (; next < library.size(); ++next) {
            if (archived.contains(library[next]->id()))
                known.insert(library[next]->id());
            if (clock.due(256))
                return (++next, false);
        }
        library = {};
        releaseOnWorker(archived);
        return true;
    }

    // What a read of entries again on the files pool gives.
    struct ReadAgain {
        std::optional<Result<KeptEntries, FileError>> outcome;
        std::exception_ptr exception; // such as running out of memory
    };

    // The images whose entries the read of the archive passed over, as the
    // library held them then, and that it has lost since, take their bytes
    // now: those entries are read again on the files pool, the library
    // held meanwhile. A failure of that read ends the merge with nothing
    // added.
    bool passedOverStep(Clock &)
    {
        if (!reading) {
            QSet<QUuid> lost;
            for (const QUuid &id : std::as_const(passedOver)) {
                if (!known.contains(id))
                    lost.insert(id);
            }
            releaseOnWorker(passedOver);
            const QHash<QString, int> wanted = lost.isEmpty() || !file ? QHash<QString, int>() : entriesToRead(lost);
            if (wanted.isEmpty())
                return true;
            reading = QtConcurrent::run(&WorkerPools::files(), [file = *file, wanted, files = context.prepareFiles()] {
                ReadAgain result;
                try {
                    result.outcome = readAgain(file, wanted, files);
                } catch (...) {
                    result.exception = std::current_exception();
                }
                return result;
            });
            return false;
        }
        if (!reading->isFinished())
            return false;
        ReadAgain read = reading->takeResult();
        reading.reset();
        if (read.exception)
            std::rethrow_exception(read.exception);
        if (!*read.outcome) {
            // Nothing has been inserted yet.
            outcome = read.outcome->error();
            endHold();
            end();
            return true;
        }
        KeptEntries kept = std::move(*read.outcome).value();
        for (auto it = kept.imageFiles.begin(); it != kept.imageFiles.end(); ++it) {
            ImageFile &entry = imageFiles[it.key()];
            entry.preparedFiles += it->preparedFiles; // after those of the first read
            if (it->preparedFiles.isEmpty())
                entry.bytes = std::move(it->bytes); // for the images past those files
        }
        prepared.append(std::move(kept.prepared));
        return true;
    }

    // The entries that the records of `lost` name, each with how many more
    // images take it than the read of the archive kept it for: new images
    // (not in `known`) that name it, less its files; an entry kept in
    // memory serves them all.
    QHash<QString, int> entriesToRead(const QSet<QUuid> &lost) const
    {
        QSet<QString> paths;
        for (const M::ImageRecord &record : std::as_const(manifest.images)) {
            if (record.imagePath && lost.contains(record.id))
                paths.insert(*record.imagePath);
        }
        QHash<QString, int> taking;
        QSet<QUuid> counted;
        for (const M::ImageRecord &record : std::as_const(manifest.images)) {
            if (!record.imagePath || !paths.contains(*record.imagePath) || known.contains(record.id)
                || counted.contains(record.id))
                continue;
            counted.insert(record.id);
            ++taking[*record.imagePath];
        }
        QHash<QString, int> wanted;
        for (auto it = taking.cbegin(); it != taking.cend(); ++it) {
            const auto kept = imageFiles.constFind(it.key());
            if (kept != imageFiles.cend() && kept->preparedFiles.isEmpty())
                continue;
            const int more = it.value() - (kept == imageFiles.cend() ? 0 : int(kept->preparedFiles.size()));
            if (more > 0)
                wanted.insert(it.key(), more);
        }
        return wanted;
    }

    bool librarySeriesStep(Clock &clock)
    {
        if (next == 0)
            librarySeries = context.fetch<Series>();
        for (; next < librarySeries.size(); ++next) {
            seriesById.insert(librarySeries[next]->id(), librarySeries[next]);
            if (clock.due(256))
                return (++next, false);
        }
        librarySeries = {};
        return true;
    }

    bool seriesStep(Clock &clock)
    {
        for (; next < manifest.series.size(); ++next) {
            const M::SeriesRecord &record = manifest.series[next];
            if (seriesById.contains(record.id)) {
                ++summary.skippedSeries;
            } else {
                auto series = Series::make();
                series->setId(record.id);
                series->setTitle(record.title);
                series->setCreatedAt(record.createdAt);
                context.insert(series);
                seriesById.insert(record.id, series.get());
                ++summary.addedSeries;
            }
            if (clock.due(16))
                return (++next, false);
        }
        return true;
    }

    bool imagesStep(Clock &clock)
    {
        for (; next < manifest.images.size(); ++next) {
            const M::ImageRecord &record = manifest.images[next];
            if (!known.contains(record.id)) {
                known.insert(record.id);
                addImage(record);
            }
            if (clock.due(1))
                return (++next, false);
        }
        return true;
    }

    void addImage(const M::ImageRecord &record)
    {
        std::vector<std::shared_ptr<ModelObject>> annotations;
        const std::shared_ptr<AtlasImage> image = makeImage(
            record,
            [&](AtlasImage &made) {
                const auto file = record.imagePath ? imageFiles.find(*record.imagePath) : imageFiles.end();
                if (file == imageFiles.end())
                    made.setImageData(std::nullopt);
                else if (!file->preparedFiles.isEmpty())
                    made.setImageDataFile(file->preparedFiles.takeFirst()); // a file of its own
                else
                    made.setImageData(file->bytes);
            },
            annotations);
        if (record.seriesID)
            image->setSeries(seriesById.value(*record.seriesID)); // joins the context with its series
        context.insert(image);
        added.append(image.get());
    }

    // The one save, its rows written over turns of their own; a failure
    // rolls the context back, as saveOrRollBack() does.
    bool saveStep(Clock &clock)
    {
        std::optional<ModelStoreError> error;
        try {
            if (!context.saveStep(std::chrono::milliseconds(qMax<qint64>(0, clock.budget - clock.timer.elapsed()))))
                return false;
        } catch (const ModelStoreError &failure) {
            error = failure;
            context.rollback();
        }
        summary.addedImages = added.size();
        summary.skippedImages = manifest.images.size() - added.size();
        // The changes that waited come after the save or the rollback.
        endHold();
        if (error) {
            forgetAddedBytes();
            outcome = *error;
        } else {
            outcome = summary;
        }
        end();
        return true;
    }

    // The context keeps objects it let go; without their bytes they no
    // longer hold on to the archive.
    void forgetAddedBytes()
    {
        for (AtlasImage *image : std::as_const(added))
            image->setImageData(std::nullopt);
    }

    void endHold()
    {
        if (holding) {
            holding = false;
            context.endHeldChange();
        }
    }

    void end()
    {
        stage = Stage::ended;
        file.reset();
        releaseOnWorker(manifest);
        releaseOnWorker(imageFiles);
        releaseOnWorker(known);
        releaseOnWorker(archived);
        releaseOnWorker(seriesById);
        releaseOnWorker(added);
    }

    ModelContext &context;
    LibraryArchiveManifest manifest;
    QHash<QString, ImageFile> imageFiles;
    QList<PreparedValues> prepared; // of the read of the archive, and of a read again
    QSet<QUuid> passedOver; // the images held when the archive was read
    std::optional<ArchiveFile> file;
    std::optional<QFuture<ReadAgain>> reading;
    QSet<QUuid> known; // the images held at the merge, then each record's as it is passed
    QSet<QUuid> archived;
    QList<AtlasImage *> library;
    QList<Series *> librarySeries;
    QHash<QUuid, Series *> seriesById;
    QList<AtlasImage *> added;
    LibraryImportSummary summary;
    Stage stage = Stage::archived;
    qsizetype next = 0;
    bool holding = false;
    Result<LibraryImportSummary, FileError> outcome = ModelStoreError(ModelStoreError::Code::saveFailed, QString());
};

LibraryArchiveImporter::Merge::Merge(ReadArchive archive, ModelContext &context)
    : d(std::make_unique<State>(std::move(archive), context))
{
}

// Destroyed before its end only with the library's context: nothing of
// the context is touched.
LibraryArchiveImporter::Merge::~Merge() = default;

bool LibraryArchiveImporter::Merge::step(std::chrono::milliseconds budget)
{
    using Stage = State::Stage;
    if (d->stage == Stage::ended)
        return true;
    if (!d->holding) {
        d->holding = true;
        d->context.beginHeldChange();
    }
    State::Clock clock{{}, budget.count()};
    clock.timer.start();
    try {
        for (;;) {
            bool done = false;
            switch (d->stage) {
            case Stage::archived: done = d->archivedStep(clock); break;
            case Stage::library: done = d->libraryStep(clock); break;
            case Stage::passedOver: done = d->passedOverStep(clock); break;
            case Stage::librarySeries: done = d->librarySeriesStep(clock); break;
            case Stage::series: done = d->seriesStep(clock); break;
            case Stage::images: done = d->imagesStep(clock); break;
            case Stage::save: return d->saveStep(clock);
            case Stage::ended: return true;
            }
            if (d->stage == Stage::ended)
                return true;
            if (!done)
                return false;
            d->stage = Stage(int(d->stage) + 1);
            d->next = 0;
            // The save begins in a turn of its own.
            if (d->stage == Stage::save || clock.timer.elapsed() >= clock.budget)
                return false;
        }
    } catch (...) {
        // Nothing half-merged stays behind.
        d->context.rollback();
        d->endHold();
        d->forgetAddedBytes();
        d->end();
        throw;
    }
}

std::optional<QFuture<void>> LibraryArchiveImporter::Merge::reading() const
{
    if (!d->reading || d->reading->isFinished())
        return std::nullopt;
    return QFuture<void>(*d->reading);
}

const Result<LibraryImportSummary, LibraryArchiveImporter::FileError> &LibraryArchiveImporter::Merge::outcome() const
{
    return d->outcome;
}
