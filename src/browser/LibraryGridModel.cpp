#include "browser/LibraryGridModel.h"

#include "browser/LibraryThumbnail.h"
#include "model/AtlasImage.h"

void LibraryGridModel::setImages(const QList<AtlasImage *> &images)
{
    if (images == m_images) {
        if (!m_images.isEmpty())
            emit dataChanged(index(0), index(int(m_images.size()) - 1));
        return;
    }
    // The rows from the first that differs to the last that differs go, the
    // new ones come in their place; those around them stay.
    const int oldCount = int(m_images.size());
    const int newCount = int(images.size());
    int first = 0;
    while (first < oldCount && first < newCount && m_images.at(first) == images.at(first))
        ++first;
    int after = 0; // the same rows at the end
    while (after < oldCount - first && after < newCount - first
           && m_images.at(oldCount - 1 - after) == images.at(newCount - 1 - after))
        ++after;
    if (oldCount - after > first) {
        beginRemoveRows({}, first, oldCount - after - 1);
        m_images.remove(first, oldCount - after - first);
        endRemoveRows();
    }
    if (newCount - after > first) {
        beginInsertRows({}, first, newCount - after - 1);
        m_images = images;
        endInsertRows();
    }
    m_images = images;
    if (newCount > 0)
        emit dataChanged(index(0), index(newCount - 1));
}

void LibraryGridModel::setShowsAddTile(bool shows)
{
    if (shows == m_showsAddTile)
        return;
    const int row = int(m_images.size());
    if (shows) {
        beginInsertRows({}, row, row);
        m_showsAddTile = true;
        endInsertRows();
    } else {
        beginRemoveRows({}, row, row);
        m_showsAddTile = false;
        endRemoveRows();
    }
}

AtlasImage *LibraryGridModel::imageAt(int row) const
{
    return row >= 0 && row < m_images.size() ? m_images.at(row) : nullptr;
}

int LibraryGridModel::rowOf(const AtlasImage *image) const
{
    if (!image)
        return -1;
    return int(m_images.indexOf(const_cast<AtlasImage *>(image)));
}

int LibraryGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_images.size()) + (m_showsAddTile ? 1 : 0);
}

QVariant LibraryGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    if (isAddTile(index.row()))
        return QStringLiteral("Add Images");
    return thumbnailTitle(*m_images.at(index.row()));
}

Qt::ItemFlags LibraryGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
