#include "browser/LibrarySidebarModel.h"

#include "browser/LibrarySidebar.h"
#include "model/AtlasImage.h"

namespace {

// Whether two entry lists show the same objects in the same order.
bool sameRows(const QList<LibraryEntry> &a, const QList<LibraryEntry> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const LibraryEntry &x = a.at(i);
        const LibraryEntry &y = b.at(i);
        if (x.isImage() != y.isImage())
            return false;
        if (x.isImage() ? x.imageValue() != y.imageValue()
                        : (x.seriesGroup()->series != y.seriesGroup()->series
                           || x.seriesGroup()->images != y.seriesGroup()->images))
            return false;
    }
    return true;
}

} // namespace

void LibrarySidebarModel::setEntries(const QList<LibraryEntry> &entries)
{
    if (sameRows(entries, m_entries)) {
        // The same rows again: redrawn and measured anew (titles may have
        // changed), keeping the list's position and selection.
        emit layoutAboutToBeChanged();
        m_entries = entries;
        m_rows.assign(size_t(m_entries.size()), std::nullopt);
        emit layoutChanged();
        return;
    }
    beginResetModel();
    m_entries = entries;
    m_rows.assign(size_t(m_entries.size()), std::nullopt);
    m_menuTargetRow = -1;
    endResetModel();
}

const LibraryEntry *LibrarySidebarModel::entryAt(int row) const
{
    return row >= 0 && row < m_entries.size() ? &m_entries.at(row) : nullptr;
}

int LibrarySidebarModel::rowOf(const LibraryEntryID &id) const
{
    for (int row = 0; row < m_entries.size(); ++row) {
        if (m_entries.at(row).entryID() == id)
            return row;
    }
    return -1;
}

void LibrarySidebarModel::setMenuTargetRow(int row)
{
    const int old = m_menuTargetRow;
    m_menuTargetRow = row;
    for (int changed : {old, row}) {
        if (changed >= 0 && changed < m_entries.size())
            emit dataChanged(index(changed), index(changed), {LibraryRowDelegate::menuTargetRole});
    }
}

LibraryRow LibrarySidebarModel::row(const LibraryEntry &entry)
{
    if (const AtlasImage *image = entry.imageValue())
        return {image->title().isEmpty() ? QStringLiteral("Untitled") : image->title(),
                LibrarySidebar::imageCaption(*image), std::nullopt};
    const LibrarySeriesGroup *group = entry.seriesGroup();
    return {group->displayTitle(), LibrarySidebar::seriesCaption(group->images), int(group->images.size())};
}

const LibraryRow &LibrarySidebarModel::cachedRow(int at) const
{
    std::optional<LibraryRow> &cached = m_rows[size_t(at)];
    if (!cached)
        cached = row(m_entries.at(at));
    return *cached;
}

int LibrarySidebarModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant LibrarySidebarModel::data(const QModelIndex &index, int role) const
{
    const LibraryEntry *entry = entryAt(index.row());
    if (!index.isValid() || !entry)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return entry->title();
    case Qt::AccessibleDescriptionRole:
        return cachedRow(index.row()).caption;
    case LibraryRowDelegate::rowRole:
        return QVariant::fromValue(cachedRow(index.row()));
    case LibraryRowDelegate::menuTargetRole:
        return index.row() == m_menuTargetRow;
    default:
        return {};
    }
}
