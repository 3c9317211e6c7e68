#pragma once

#include "browser/LibraryRow.h"
#include "model/LibraryEntry.h"

#include <QAbstractListModel>
#include <QList>

#include <optional>
#include <vector>

// The rows of the library list: one per entry, in the given order, each
// shown as a LibraryRow (title, caption, badge) built when it is drawn.
class LibrarySidebarModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int entryIDRole = Qt::UserRole + 10;

    using QAbstractListModel::QAbstractListModel;

    // A list of other rows replaces the rows that differ (those before the
    // first and after the last that differ stay, redrawn); the same rows
    // again only redraw. A series row's caption is kept for its list of
    // images: a list whose images changed comes as a new list, or the same
    // entries are given again.
    void setEntries(const QList<LibraryEntry> &entries);
    const QList<LibraryEntry> &entries() const { return m_entries; }
    const LibraryEntry *entryAt(int row) const;
    // The row of the entry with the identifier; -1 when it is not listed.
    int rowOf(const LibraryEntryID &id) const;

    // The row whose context menu is open (-1: none).
    void setMenuTargetRow(int row);

    // The row an entry is shown as.
    static LibraryRow row(const LibraryEntry &entry);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    // Each row as built when first asked for (measuring every row of a
    // long list asks for all of them), until the entries are set again.
    const LibraryRow &cachedRow(int at) const;

    QList<LibraryEntry> m_entries;
    mutable std::vector<std::optional<LibraryRow>> m_rows;
    int m_menuTargetRow = -1;
};
