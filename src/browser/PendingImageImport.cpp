#include "browser/PendingImageImport.h"

#include "model/AtlasImage.h"
#include "model/Series.h"

bool isInLibrary(const ModelObject *object)
{
    if (!object || !object->modelContext())
        return false;
    return object->state() == ModelObject::State::inserted || object->state() == ModelObject::State::persisted;
}

bool PendingImageImport::Destination::isAvailable() const
{
    switch (m_kind) {
    case Kind::newEntry:
        return true;
    case Kind::series:
        return isInLibrary(m_series);
    case Kind::standaloneImage:
        return isInLibrary(m_image) && !m_image->series();
    }
    return false;
}

qsizetype PendingImageImport::imageCount() const
{
    switch (destination.kind()) {
    case Destination::Kind::series:
        return destination.seriesValue()->images().size() + images.size();
    case Destination::Kind::standaloneImage:
        return images.size() + 1;
    case Destination::Kind::newEntry:
        break;
    }
    return images.size();
}

MetadataDraft PendingImageImport::initialDraft() const
{
    switch (destination.kind()) {
    case Destination::Kind::series:
        return MetadataDraft::fromSeries(*destination.seriesValue());
    case Destination::Kind::standaloneImage:
        return MetadataDraft::fromImage(*destination.imageValue());
    case Destination::Kind::newEntry:
        break;
    }
    return MetadataDraft(defaultTitle());
}

std::optional<QString> PendingImageImport::headerSubtitle() const
{
    if (destination.kind() == Destination::Kind::newEntry)
        return std::nullopt;
    if (images.size() == 1)
        return QStringLiteral("Metadata applies to the image being added.");
    return QStringLiteral("Metadata applies to the ") + QString::number(images.size())
        + QStringLiteral(" images being added.");
}

QString PendingImageImport::defaultTitle() const
{
    if (images.size() == 1)
        return images.first().title;
    return QStringLiteral("Imported Series");
}
