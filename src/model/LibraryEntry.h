#pragma once

#include "platform/Date.h"

#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QUuid>

#include <functional>
#include <variant>

class AtlasImage;
class Series;

// A series shown in the sidebar with the images the list shows for it, in
// the order and with the filtering of whoever built the list.
struct LibrarySeriesGroup {
    Series *series = nullptr;
    QList<AtlasImage *> images;

    QUuid id() const; // the series's id
    // The series's title, or "Untitled Series" when it is empty.
    QString displayTitle() const;
};

// The identity of a sidebar entry, the key of the sidebar's selection. An
// image and a series with the same UUID still differ.
class LibraryEntryID {
public:
    enum class Kind { image = 0, series = 1 };

    static LibraryEntryID image(const QUuid &id) { return LibraryEntryID(Kind::image, id); }
    static LibraryEntryID series(const QUuid &id) { return LibraryEntryID(Kind::series, id); }

    Kind kind() const { return m_kind; }
    QUuid uuid() const { return m_uuid; }

    friend bool operator==(const LibraryEntryID &, const LibraryEntryID &) = default;

private:
    LibraryEntryID(Kind kind, const QUuid &uuid) : m_kind(kind), m_uuid(uuid) {}

    Kind m_kind;
    QUuid m_uuid;
};

// Feeds the case (0 image, 1 series) and then the UUID.
size_t qHash(const LibraryEntryID &id, size_t seed = 0) noexcept;

template<>
struct std::hash<LibraryEntryID> {
    size_t operator()(const LibraryEntryID &id) const noexcept { return qHash(id); }
};

// One sidebar entry: a standalone image or a series with its images. Holds
// references to the models, not copies.
class LibraryEntry {
public:
    static LibraryEntry image(AtlasImage *image) { return LibraryEntry(image); }
    static LibraryEntry series(const LibrarySeriesGroup &group) { return LibraryEntry(group); }

    bool isImage() const { return std::holds_alternative<AtlasImage *>(m_value); }
    bool isSeries() const { return !isImage(); }
    // The image of an image entry, else null.
    AtlasImage *imageValue() const;
    // The group of a series entry, else null.
    const LibrarySeriesGroup *seriesGroup() const;

    LibraryEntryID entryID() const;
    LibraryEntryID id() const { return entryID(); }
    // An image entry's title, or "Untitled"; a series entry's displayTitle.
    QString title() const;
    Date createdAt() const;

private:
    explicit LibraryEntry(AtlasImage *image) : m_value(image) {}
    explicit LibraryEntry(const LibrarySeriesGroup &group) : m_value(group) {}

    std::variant<AtlasImage *, LibrarySeriesGroup> m_value;
};
