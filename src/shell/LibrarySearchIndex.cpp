#include "shell/LibrarySearchIndex.h"

#include "model/AtlasImage.h"
#include "model/ImageSearchValues.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "platform/LocalizedText.h"
#include "platform/WorkerPools.h"
#include "platform/objectstore/ModelContext.h"
#include "platform/objectstore/StoreStatement.h"
#include "shell/LibraryDerivation.h"

#include <QThread>
#include <QtConcurrent/QtConcurrentMap>
#include <QtConcurrent/QtConcurrentRun>
#include <QtDebug>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

AtlasImage *annotatedImage(ModelObject *object)
{
    if (&object->entityType() == &PointAnnotation::entity())
        return static_cast<PointAnnotation *>(object)->image();
    if (&object->entityType() == &RegionAnnotation::entity())
        return static_cast<RegionAnnotation *>(object)->image();
    return nullptr;
}

bool isAnnotation(const ModelObject *object)
{
    return &object->entityType() == &PointAnnotation::entity()
        || &object->entityType() == &RegionAnnotation::entity();
}

// The image properties that its search text is made of.
bool isSearchedProperty(const char *property)
{
    for (const char *name : {"title", "modalityRaw", "regionRaw", "planeRaw", "age", "sexRaw", "series", "points",
                             "regions"}) {
        if (std::strcmp(property, name) == 0)
            return true;
    }
    return false;
}

using Texts = LibrarySearchIndex::Texts;

// Every image's search text from the store, folded or not; none once
// `stop` is set.
Texts readTexts(sqlite3 *database, bool fold, const std::atomic<bool> &stop)
{
    Texts texts;
    QString text;
    const std::optional<QString> error = readImageSearchValues(database, [&](const ImageSearchValues &values) {
        text.resize(0);
        LibraryDerivation::appendSearchText(text, values);
        if (fold)
            texts.appendFolding(values.key, text);
        else
            texts.append(values.key, text);
        return !stop.load(std::memory_order_relaxed);
    });
    if (stop)
        return Texts();
    if (error) {
        qWarning("Library search: cannot read the library's texts: %s", qPrintable(*error));
        return Texts();
    }
    return texts;
}

Texts foldedTexts(const Texts &plain, const std::atomic<bool> &stop)
{
    Texts texts;
    texts.keys.reserve(plain.keys.size());
    texts.starts.reserve(plain.starts.size());
    for (size_t i = 0; i < plain.keys.size() && !stop.load(std::memory_order_relaxed); ++i) {
        const QStringView text = QStringView(plain.text).mid(plain.starts[i], plain.starts[i + 1] - plain.starts[i]);
        texts.appendFolding(plain.keys[i], text);
    }
    return texts;
}

Texts finished(Texts texts)
{
    texts.text.squeeze();
    return texts;
}

} // namespace

void LibrarySearchIndex::Texts::append(qint64 key, QStringView folded)
{
    text.append(folded);
    added(key);
}

void LibrarySearchIndex::Texts::appendFolding(qint64 key, QStringView plain)
{
    appendFoldedForSearch(text, plain);
    added(key);
}

void LibrarySearchIndex::Texts::added(qint64 key)
{
    starts.push_back(text.size());
    if (key > 0)
        textOfKey.insert(key, qsizetype(keys.size()));
    keys.push_back(key > 0 ? key : -1);
}

LibrarySearchIndex::LibrarySearchIndex(ModelContext &context, QObject *parent)
    : QObject(parent)
    , m_context(context)
{
    connect(&m_reading, &QFutureWatcher<Texts>::finished, this, [this] {
        if (m_readPending && m_reading.future().resultCount() > 0)
            adopt(m_reading.future().takeResult());
    });
    connect(&m_context, &ModelContext::propertyChanged, this, &LibrarySearchIndex::objectChanged);
    connect(&m_context, &ModelContext::objectInserted, this, &LibrarySearchIndex::objectInsertedOrDeleted);
    connect(&m_context, &ModelContext::objectDeleted, this, &LibrarySearchIndex::objectInsertedOrDeleted);
    connect(&m_context, &ModelContext::didRollback, this, &LibrarySearchIndex::reload);
    // A read waits for a state of the objects that the store holds.
    connect(&m_context, &ModelContext::didSave, this, [this] {
        if (m_waitingForSave)
            startReading();
    });
    // From the next turn of the event loop: the window's first paint comes
    // sooner without a read beside it.
    m_readQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (std::exchange(m_readQueued, false))
                startReading();
        },
        Qt::QueuedConnection);
}

LibrarySearchIndex::~LibrarySearchIndex()
{
    // A read under way stops soon; nothing reads the store after the index.
    *m_stopReading = true;
    if (m_reading.isRunning())
        m_reading.waitForFinished();
}

void LibrarySearchIndex::startReading()
{
    m_readQueued = false;
    m_ready = false;
    m_waitingForSave = m_context.hasChanges();
    if (m_waitingForSave)
        return;
    m_changedDuringRead.clear();
    m_readPending = true;
    // A read that a newer one replaces stops.
    *m_stopReading = true;
    m_stopReading = std::make_shared<std::atomic<bool>>(false);
    const QString storePath = m_context.storePath();
    QFuture<Texts> future;
    if (!storePath.isEmpty()) {
        // A connection of its own sees the saved state while this thread
        // goes on.
        future = QtConcurrent::run(&WorkerPools::computing(), [storePath, stop = m_stopReading] {
            const StoreReadConnection connection(storePath);
            if (!connection.handle()) {
                qWarning("Library search: cannot read the library: %s", qPrintable(connection.errorMessage()));
                return Texts();
            }
            return finished(readTexts(connection.handle(), true, *stop));
        });
    } else {
        // A store in memory has only the main connection: the rows are read
        // here (quickly), the folding goes to a worker.
        Texts plain = readTexts(m_context.connectionHandle(), false, *m_stopReading);
        future = QtConcurrent::run(&WorkerPools::computing(), [plain = std::move(plain), stop = m_stopReading] {
            return finished(foldedTexts(plain, *stop));
        });
    }
    m_reading.setFuture(future);
}

void LibrarySearchIndex::waitUntilReady()
{
    if (std::exchange(m_readQueued, false))
        startReading();
    if (!m_readPending)
        return;
    m_reading.waitForFinished();
    // (Taking the result empties the future: it is taken only once.)
    if (m_reading.future().resultCount() > 0)
        adopt(m_reading.future().takeResult());
}

void LibrarySearchIndex::adopt(Texts texts)
{
    if (!m_readPending)
        return;
    m_readPending = false;
    // Texts made from the objects meanwhile are newer than the store's.
    Texts made = std::move(m_texts);
    m_texts = std::move(texts);
    m_liveLength = m_texts.text.size();
    for (qint64 key : std::as_const(m_changedDuringRead))
        forgetKey(key);
    for (size_t i = 0; i < made.keys.size(); ++i) {
        const qint64 key = made.keys[i];
        if (key < 0)
            continue;
        forgetKey(key);
        const QStringView text = QStringView(made.text).mid(made.starts[i], made.starts[i + 1] - made.starts[i]);
        m_texts.append(key, text);
        m_liveLength += text.size();
    }
    m_changedDuringRead.clear();
    ++m_generation;
    m_ready = true;
    emit ready();
}

void LibrarySearchIndex::reload()
{
    m_texts = Texts();
    m_liveLength = 0;
    ++m_generation;
    startReading();
}

qsizetype LibrarySearchIndex::textOf(const AtlasImage &image)
{
    const qint64 key = image.storeKey();
    const qsizetype found = m_texts.textOf(key);
    if (found >= 0)
        return found;
    // An image out of any context (key 0) gets a text kept for no one.
    const QString text = foldedForSearch(LibraryDerivation::searchText(image));
    m_texts.append(key, text);
    if (key > 0)
        m_liveLength += text.size();
    return qsizetype(m_texts.keys.size()) - 1;
}

QStringView LibrarySearchIndex::text(qsizetype i) const
{
    return QStringView(m_texts.text).mid(m_texts.starts[size_t(i)], m_texts.starts[size_t(i) + 1] - m_texts.starts[size_t(i)]);
}

void LibrarySearchIndex::forgetKey(qint64 key)
{
    const qsizetype found = m_texts.textOf(key);
    if (found < 0)
        return;
    const size_t i = size_t(found);
    m_texts.keys[i] = -1;
    m_liveLength -= m_texts.starts[i + 1] - m_texts.starts[i];
    m_texts.textOfKey.remove(key);
    ++m_generation;
}

void LibrarySearchIndex::forget(const AtlasImage *image)
{
    if (!image)
        return;
    if (m_readPending)
        m_changedDuringRead.insert(image->storeKey());
    forgetKey(image->storeKey());
}

void LibrarySearchIndex::compactIfWasteful()
{
    const qsizetype waste = m_texts.text.size() - m_liveLength;
    if (waste < 64 * 1024 || waste < m_liveLength)
        return;
    Texts compact;
    compact.text.reserve(m_liveLength);
    for (size_t i = 0; i < m_texts.keys.size(); ++i) {
        if (m_texts.keys[i] >= 0)
            compact.append(m_texts.keys[i], text(qsizetype(i)));
    }
    m_texts = std::move(compact);
    ++m_generation;
}

namespace {

// Marks in `matched` the texts from `firstText` up to `endText` that hold
// `needle`: one pass over their characters.
void scanTexts(const QString &all, const std::vector<qsizetype> &starts, QStringView needleView, size_t firstText,
               size_t endText, char *matched)
{
    const qsizetype length = needleView.size();
    const char16_t *const buffer = reinterpret_cast<const char16_t *>(all.utf16());
    const char16_t *const begin = buffer + starts[firstText];
    const char16_t *const end = buffer + starts[endText];
    if (end - begin < length)
        return;
    const char16_t *const needle = reinterpret_cast<const char16_t *>(needleView.utf16());
    const char16_t first = needle[0];
    const char16_t last = needle[length - 1];

    // A match at `p`: mark its text and go on after it, or go on at the
    // next character when it runs into the next text. The scan only moves
    // forward, and so does the text it is in.
    size_t text = firstText;
    const auto matchAt = [&](const char16_t *p) -> const char16_t * {
        const qsizetype offset = p - buffer;
        while (starts[text + 1] <= offset)
            ++text;
        const qsizetype textEnd = starts[text + 1];
        if (offset + length > textEnd)
            return p + 1;
        matched[text] = 1;
        return buffer + textEnd;
    };

    const char16_t *p = begin;
    const char16_t *const lastStart = end - length; // the last place a match can start
#ifdef __SSE2__
    // Eight places at a time: where both the first and the last character
    // of the needle are in place, compare the rest.
    const __m128i wantedFirst = _mm_set1_epi16(short(first));
    const __m128i wantedLast = _mm_set1_epi16(short(last));
    while (lastStart - p >= 8) {
        const __m128i atFirst = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i atLast = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + length - 1));
        unsigned mask = unsigned(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi16(atFirst, wantedFirst), _mm_cmpeq_epi16(atLast, wantedLast))));
        const char16_t *next = p + 8;
        while (mask != 0) {
            const char16_t *candidate = p + __builtin_ctz(mask) / 2;
            mask &= mask - 1;
            mask &= mask - 1; // two bits per character
            if (candidate < next && std::equal(needle + 1, needle + length, candidate + 1)) {
                const char16_t *resume = matchAt(candidate);
                if (resume > candidate + 1) {
                    next = resume;
                    break;
                }
            }
        }
        p = next;
    }
#endif
    while (p <= lastStart) {
        if (*p == first && p[length - 1] == last && std::equal(needle + 1, needle + length, p + 1))
            p = matchAt(p);
        else
            ++p;
    }
}

// Which of the texts in `text`, text i running from starts[i] to
// starts[i + 1], hold `foldedNeedle`.
std::vector<char> textsHolding(const QString &text, const std::vector<qsizetype> &starts, QStringView foldedNeedle)
{
    const size_t count = starts.size() - 1;
    std::vector<char> matched(count, 0);
    if (foldedNeedle.isEmpty() || count == 0)
        return matched;
    // A large library is scanned in parts of about equal length at once
    // (each part marks only its own texts).
    constexpr qsizetype partLength = 1 << 20;
    const qsizetype parts = std::clamp<qsizetype>(text.size() / partLength, 1, QThread::idealThreadCount());
    if (parts == 1) {
        scanTexts(text, starts, foldedNeedle, 0, count, matched.data());
        return matched;
    }
    QList<std::pair<size_t, size_t>> ranges;
    size_t from = 0;
    for (qsizetype part = 1; part <= parts; ++part) {
        const qsizetype until = text.size() * part / parts;
        const size_t to = part == parts
            ? count
            : size_t(std::upper_bound(starts.begin(), starts.end(), until) - starts.begin()) - 1;
        if (to > from)
            ranges.append({from, to});
        from = std::max(from, to);
    }
    QtConcurrent::blockingMap(&WorkerPools::computing(), ranges, [&](const std::pair<size_t, size_t> &range) {
        scanTexts(text, starts, foldedNeedle, range.first, range.second, matched.data());
    });
    return matched;
}

} // namespace

std::vector<char> LibrarySearchIndex::textsContaining(QStringView foldedNeedle) const
{
    return textsHolding(m_texts.text, m_texts.starts, foldedNeedle);
}

QFuture<std::vector<char>> LibrarySearchIndex::textsContainingLater(const QString &foldedNeedle) const
{
    // The scan reads copies: the buffer is shared until the index next
    // writes to it, the starts are copied now.
    return QtConcurrent::run(&WorkerPools::computing(),
                             [text = m_texts.text, starts = m_texts.starts, foldedNeedle] {
                                 return textsHolding(text, starts, foldedNeedle);
                             });
}

std::vector<qsizetype> LibrarySearchIndex::textsOf(const QList<AtlasImage *> &images)
{
    std::vector<qsizetype> places;
    places.reserve(size_t(images.size()));
    appendTextsOf(images, 0, images.size(), places);
    return places;
}

void LibrarySearchIndex::appendTextsOf(const QList<AtlasImage *> &images, qsizetype from, qsizetype count,
                                       std::vector<qsizetype> &places)
{
    compactIfWasteful();
    const qsizetype end = std::min(images.size(), from + count);
    for (qsizetype i = from; i < end; ++i)
        places.push_back(textOf(*images.at(i)));
}

void LibrarySearchIndex::objectChanged(ModelObject *object, const char *property)
{
    const EntityType &type = object->entityType();
    if (&type == &AtlasImage::entity()) {
        if (isSearchedProperty(property))
            forget(static_cast<AtlasImage *>(object));
    } else if (&type == &Series::entity()) {
        if (std::strcmp(property, "title") == 0) {
            for (const AtlasImage *image : static_cast<Series *>(object)->images())
                forget(image);
        }
    } else if (isAnnotation(object) && std::strcmp(property, "label") == 0) {
        // A move to another image is announced by both images' lists of
        // points or regions, which forgets both texts above.
        forget(annotatedImage(object));
    }
}

void LibrarySearchIndex::objectInsertedOrDeleted(ModelObject *object)
{
    if (&object->entityType() == &AtlasImage::entity())
        forget(static_cast<AtlasImage *>(object));
    else if (isAnnotation(object))
        forget(annotatedImage(object));
}
