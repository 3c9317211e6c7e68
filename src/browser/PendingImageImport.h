#pragma once

#include "browser/ImportedImage.h"
#include "browser/MetadataDraft.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

class AtlasImage;
class ModelObject;
class Series;

// Picked image files waiting for the metadata sheet, with where they go.
struct PendingImageImport {
    // Where the images of an import go. Holds the model objects themselves
    // (pointers stay valid for the life of their context); whoever commits
    // checks with `isAvailable()` that the object is still in the library.
    class Destination {
    public:
        enum class Kind {
            series,          // append to an existing series
            standaloneImage, // the standalone image becomes a series with the new images
            newEntry,        // one image becomes a standalone image, several a new series
        };

        static Destination newEntry() { return Destination(Kind::newEntry, nullptr, nullptr); }
        static Destination series(Series *series) { return Destination(Kind::series, series, nullptr); }
        static Destination standaloneImage(AtlasImage *image) { return Destination(Kind::standaloneImage, nullptr, image); }

        Kind kind() const { return m_kind; }
        Series *seriesValue() const { return m_series; }
        AtlasImage *imageValue() const { return m_image; }

        // A new entry always; a series that is still in the library; an image
        // that is still in the library and still standalone.
        bool isAvailable() const;

        friend bool operator==(const Destination &, const Destination &) = default;

    private:
        Destination(Kind kind, Series *series, AtlasImage *image)
            : m_kind(kind)
            , m_series(series)
            , m_image(image)
        {
        }

        Kind m_kind;
        Series *m_series;
        AtlasImage *m_image;
    };

    QUuid id;
    QList<ImportedImage> images;
    Destination destination = Destination::newEntry();
    // The images' staged files, until the commit's save takes them (a
    // save that fails gives them back); when the last copy goes (the sheet
    // cancelled or its window closed, the commit done) those no save took
    // are removed.
    PreparedValues staged = PreparedValues();

    // How many images the metadata will describe once the import is done.
    qsizetype imageCount() const;
    // The draft the sheet opens with.
    MetadataDraft initialDraft() const;
    // The sentence under the sheet's header for an import into an existing
    // entry; none for a new entry.
    std::optional<QString> headerSubtitle() const;
    // The title proposed for a new entry: the one file's title, else
    // "Imported Series".
    QString defaultTitle() const;
};

// Whether a model object is still part of the library: inserted or stored and
// not deleted. Deleted objects and objects undone by a rollback are not.
bool isInLibrary(const ModelObject *object);
