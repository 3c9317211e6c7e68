#include "shell/LibrarySearchIndex.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "platform/LocalizedText.h"
#include "shell/LibraryDerivation.h"

#include <algorithm>
#include <cstring>

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

} // namespace

const QString &LibrarySearchIndex::foldedText(const AtlasImage &image)
{
    auto found = m_texts.find(&image);
    if (found == m_texts.end())
        found = m_texts.insert(&image, foldedForSearch(LibraryDerivation::searchText(image)));
    return *found;
}

void LibrarySearchIndex::forget(const AtlasImage *image)
{
    if (m_texts.remove(image))
        m_joinedValid = false;
}

void LibrarySearchIndex::clear()
{
    m_texts.clear();
    m_preparing.clear();
    m_prepared = 0;
    m_joinedValid = false;
    m_joinedImages.clear();
    m_joined.clear();
    m_starts.clear();
}

void LibrarySearchIndex::join(const QList<AtlasImage *> &images)
{
    qsizetype total = 0;
    for (const AtlasImage *image : images)
        total += foldedText(*image).size();
    m_joined.resize(total);
    m_starts.assign(size_t(images.size()) + 1, 0);
    char16_t *out = reinterpret_cast<char16_t *>(m_joined.data());
    qsizetype position = 0;
    for (qsizetype i = 0; i < images.size(); ++i) {
        const QString &text = m_texts.value(images.at(i));
        m_starts[size_t(i)] = position;
        std::copy_n(reinterpret_cast<const char16_t *>(text.utf16()), text.size(), out + position);
        position += text.size();
    }
    m_starts.back() = position;
    m_joinedImages = images;
    m_joinedValid = true;
}

bool LibrarySearchIndex::isReady(const QList<AtlasImage *> &images) const
{
    return m_joinedValid && m_joinedImages.size() == images.size() && m_joinedImages.constData() == images.constData();
}

bool LibrarySearchIndex::prepare(const QList<AtlasImage *> &images, qsizetype count)
{
    if (isReady(images))
        return true;
    if (m_preparing.size() != images.size() || m_preparing.constData() != images.constData()) {
        m_preparing = images;
        m_prepared = 0;
    }
    const qsizetype stop = std::min(images.size(), m_prepared + count);
    for (; m_prepared < stop; ++m_prepared)
        foldedText(*images.at(m_prepared));
    if (m_prepared < images.size())
        return false;
    join(images);
    m_preparing.clear();
    m_prepared = 0;
    return true;
}

QList<AtlasImage *> LibrarySearchIndex::matching(const QList<AtlasImage *> &images, QStringView foldedNeedle)
{
    QList<AtlasImage *> found;
    if (foldedNeedle.isEmpty())
        return found;
    // The same list object, unchanged since it was joined: model changes that
    // could alter it (inserts, deletes, dates) reach this index and drop it.
    if (!isReady(images))
        join(images);

    const char16_t *const begin = reinterpret_cast<const char16_t *>(m_joined.utf16());
    const char16_t *const end = begin + m_joined.size();
    const char16_t *const needle = reinterpret_cast<const char16_t *>(foldedNeedle.utf16());
    const qsizetype length = foldedNeedle.size();
    if (m_joined.size() < length)
        return found;
    const char16_t first = needle[0];
    const char16_t last = needle[length - 1];

    // A match at `p`: record its image and go on after that image's text, or
    // go on at the next character when it runs into the next image's text.
    // The scan only moves forward, and so does the image it is in.
    size_t image = 0;
    const auto matchAt = [&](const char16_t *p) -> const char16_t * {
        const qsizetype offset = p - begin;
        while (m_starts[image + 1] <= offset)
            ++image;
        const qsizetype imageEnd = m_starts[image + 1];
        if (offset + length > imageEnd)
            return p + 1;
        found.append(images.at(qsizetype(image)));
        return begin + imageEnd;
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
    return found;
}

void LibrarySearchIndex::objectChanged(ModelObject *object, const char *property)
{
    if (m_texts.isEmpty())
        return;
    const EntityType &type = object->entityType();
    if (&type == &AtlasImage::entity()) {
        forget(static_cast<AtlasImage *>(object));
        if (std::strcmp(property, "createdAt") == 0)
            m_joinedValid = false; // the list's order
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
    // The image list itself changes with inserts and deletes.
    if (&object->entityType() == &AtlasImage::entity())
        m_joinedValid = false;
    if (m_texts.isEmpty())
        return;
    if (&object->entityType() == &AtlasImage::entity())
        forget(static_cast<AtlasImage *>(object));
    else if (isAnnotation(object))
        forget(annotatedImage(object));
}
