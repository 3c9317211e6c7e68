#pragma once

#include <QAbstractListModel>
#include <QList>

class AtlasImage;

// The rows of the thumbnail grid: one per image, in the given order, and
// the Add Images tile last while it is shown. The model only holds what
// the grid was handed; it reads the images for their texts.
class LibraryGridModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // A different list replaces the rows that differ (those before the
    // first and after the last that differ stay); every row is redrawn
    // (captions follow the images' current values).
    void setImages(const QList<AtlasImage *> &images);
    const QList<AtlasImage *> &images() const { return m_images; }
    void setShowsAddTile(bool shows);
    bool showsAddTile() const { return m_showsAddTile; }

    // The image of a row; null for the Add Images tile.
    AtlasImage *imageAt(int row) const;
    bool isAddTile(int row) const { return m_showsAddTile && row == m_images.size(); }
    int rowOf(const AtlasImage *image) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    QList<AtlasImage *> m_images;
    bool m_showsAddTile = false;
};
