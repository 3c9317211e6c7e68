#include "browser/LibrarySidebarModel.h"

#include "browser/LibrarySidebar.h"
#include "model/AtlasImage.h"

#include <QHash>

namespace {

// Whether two entries show the same objects.
bool sameRow(const LibraryEntry &x, const LibraryEntry &y)
{
    if (x.isImage() != y.isImage())
        return false;
    if (x.isImage())
        return x.imageValue() == y.imageValue();
    const LibrarySeriesGroup &a = *x.seriesGroup();
    const LibrarySeriesGroup &b = *y.seriesGroup();
    return a.series == b.series
        && ((a.images.constData() == b.images.constData() && a.images.size() == b.images.size())
            || a.images == b.images);
}

// Whether two entry lists show the same objects in the same order.
bool sameRows(const QList<LibraryEntry> &a, const QList<LibraryEntry> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (!sameRow(a.at(i), b.at(i)))
            return false;
    }
    return true;
}

// The captions of series rows, shared by every list of the process (each
// tab lists the same series): a caption reads every image of its series.
// Kept by the list of images the row shows, which is held here so that no
// other list takes its place; a list of entries made again after the
// library changed holds new lists. Main thread only, as are the lists.
class SeriesCaptions {
public:
    QString caption(const LibrarySeriesGroup &group)
    {
        if (group.images.isEmpty())
            return LibrarySidebar::seriesCaption(group.images);
        if (const auto found = m_captions.constFind(group.images.constData()); found != m_captions.cend())
            return found->caption;
        if (m_captions.size() >= capacity)
            m_captions.clear();
        QString caption = LibrarySidebar::seriesCaption(group.images);
        m_captions.insert(group.images.constData(), Caption{group.images, caption});
        return caption;
    }

    // The captions of the groups are made again when next asked for.
    void forget(const QList<LibraryEntry> &entries)
    {
        for (const LibraryEntry &entry : entries) {
            if (const LibrarySeriesGroup *group = entry.seriesGroup(); group && !group->images.isEmpty())
                m_captions.remove(group->images.constData());
        }
    }

private:
    struct Caption {
        QList<AtlasImage *> images;
        QString caption;
    };
    // A few lists of a large library's series, of all its tabs.
    static constexpr qsizetype capacity = 4096;
    QHash<AtlasImage *const *, Caption> m_captions;
};

SeriesCaptions &seriesCaptions()
{
    static SeriesCaptions captions;
    return captions;
}

} // namespace

void LibrarySidebarModel::setEntries(const QList<LibraryEntry> &entries)
{
    if (sameRows(entries, m_entries)) {
        // The same rows again: redrawn and measured anew (titles may have
        // changed), keeping the list's position and selection.
        emit layoutAboutToBeChanged();
        seriesCaptions().forget(m_entries);
        seriesCaptions().forget(entries);
        m_entries = entries;
        m_rows.assign(size_t(m_entries.size()), std::nullopt);
        emit layoutChanged();
        return;
    }
    // The rows from the first that differs to the last that differs go, the
    // new ones come in their place; those around them stay where they are
    // (built again when next drawn: their values may have changed).
    const int oldCount = int(m_entries.size());
    const int newCount = int(entries.size());
    int first = 0;
    while (first < oldCount && first < newCount && sameRow(m_entries.at(first), entries.at(first)))
        ++first;
    int after = 0; // the same rows at the end
    while (after < oldCount - first && after < newCount - first
           && sameRow(m_entries.at(oldCount - 1 - after), entries.at(newCount - 1 - after)))
        ++after;
    if (oldCount - after > first) {
        const int end = oldCount - after;
        beginRemoveRows({}, first, end - 1);
        m_entries.remove(first, end - first);
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + end);
        if (m_menuTargetRow >= end)
            m_menuTargetRow -= end - first;
        else if (m_menuTargetRow >= first)
            m_menuTargetRow = -1;
        endRemoveRows();
    }
    if (newCount - after > first) {
        const int end = newCount - after;
        beginInsertRows({}, first, end - 1);
        m_entries = entries;
        m_rows.insert(m_rows.begin() + first, size_t(end - first), std::nullopt);
        if (m_menuTargetRow >= first)
            m_menuTargetRow += end - first;
        endInsertRows();
    }
    m_entries = entries;
    m_rows.assign(size_t(m_entries.size()), std::nullopt);
    if (newCount > 0)
        emit dataChanged(index(0), index(newCount - 1));
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
    return {group->displayTitle(), seriesCaptions().caption(*group), int(group->images.size())};
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
