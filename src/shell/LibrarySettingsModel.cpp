#include "shell/LibrarySettingsModel.h"

#include "archive/LibraryArchiveSource.h"
#include "model/AtlasImage.h"
#include "model/Series.h"
#include "platform/objectstore/ModelContext.h"
#include "shell/LibraryArchiveImport.h"

#include <QMetaObject>

LibrarySettingsModel::LibrarySettingsModel(ModelContext &context, QObject *parent)
    : QObject(parent)
    , m_context(context)
{
    const auto isContent = [](ModelObject *object) {
        const EntityType &type = object->entityType();
        return &type == &AtlasImage::entity() || &type == &Series::entity();
    };
    // An object that came is content enough: no look through the library
    // for each turn of a merge that inserts a million.
    connect(&context, &ModelContext::objectInserted, this, [this, isContent](ModelObject *object) {
        if (!isContent(object) || m_hasContent)
            return;
        m_hasContent = true;
        updateCanExport();
    });
    connect(&context, &ModelContext::objectDeleted, this, [this, isContent](ModelObject *object) {
        if (isContent(object))
            queueContentCheck();
    });
    connect(&context, &ModelContext::didRollback, this, &LibrarySettingsModel::queueContentCheck);
    connect(&m_export, &LibraryArchiveExport::isPreparingChanged, this, &LibrarySettingsModel::updateCanExport);
    connect(&m_export, &LibraryArchiveExport::documentChanged, this, &LibrarySettingsModel::updateCanExport);
    m_hasContent = libraryHasContent();
    m_canExport = canExport();
}

LibrarySettingsModel::~LibrarySettingsModel() = default;

bool LibrarySettingsModel::libraryHasContent() const
{
    return !m_context.fetch<Series>().isEmpty() || !m_context.fetch<AtlasImage>().isEmpty();
}

void LibrarySettingsModel::queueContentCheck()
{
    // Once per turn of the event loop, however many objects came or went.
    if (m_contentCheckQueued)
        return;
    m_contentCheckQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_contentCheckQueued = false;
            m_hasContent = libraryHasContent();
            updateCanExport();
        },
        Qt::QueuedConnection);
}

void LibrarySettingsModel::updateCanExport()
{
    if (m_canExport == canExport())
        return;
    m_canExport = canExport();
    emit canExportChanged(m_canExport);
}

void LibrarySettingsModel::exportLibrary()
{
    m_export.prepareLibrary(m_context, QStringLiteral("Veloran Library"));
}

void LibrarySettingsModel::setIsImporting(bool importing)
{
    if (m_isImporting == importing)
        return;
    m_isImporting = importing;
    emit isImportingChanged(importing);
}

void LibrarySettingsModel::importArchive(const QString &path)
{
    LibraryArchiveImport *import = LibraryArchiveImport::start(path, m_context);
    connect(import, &LibraryArchiveImport::imported, this, [this](const QString &summary) {
        m_summaryMessage = summary;
        m_showsSummary = true;
        emit summaryChanged(true);
    });
    connect(import, &LibraryArchiveImport::failed, this, [this](const QString &description) {
        m_importErrorMessage = description;
        m_showsImportError = true;
        emit importErrorChanged(true);
    });
    emit importStarted(import);
}

void LibrarySettingsModel::dismissSummary()
{
    if (!m_showsSummary)
        return;
    m_showsSummary = false;
    emit summaryChanged(false);
}

void LibrarySettingsModel::dismissImportError()
{
    if (!m_showsImportError)
        return;
    m_showsImportError = false;
    emit importErrorChanged(false);
}
