#pragma once

#include "viewer/ImageMetadata.h"

#include <QWidget>

#include <functional>

class QBoxLayout;
class QHBoxLayout;
class QLabel;
class QScrollArea;
class QVBoxLayout;

// The information strip under the picture in the screen's regular layout:
// the image's metadata as five columns, which scroll sideways (without
// scroll bars) when their half of the strip is too narrow for them, a
// divider, and beside it the place of the group inspector. The columns are
// a focus stop, Left and Right scrolling them while they can scroll (the
// other keys travel on to the screen). It shows what
// the screen gives it and keeps nothing else.
class MetadataStrip : public QWidget {
    Q_OBJECT
public:
    static constexpr int stripHeight = 112;

    explicit MetadataStrip(QWidget *parent = nullptr);

    void setEntries(const QList<MetadataEntry> &entries);
    const QList<MetadataEntry> &entries() const { return m_entries; }
    // Whether the columns are wider than their part of the strip, so that
    // it scrolls sideways.
    bool isScrollable() const;
    QScrollArea *summary() const { return m_summary; }

    // Where the group inspector goes: an empty column until it is placed
    // in its layout.
    QWidget *inspectorSlot() const { return m_inspectorSlot; }

    // An entry's title (secondary, semibold) and value (one line), in the
    // fonts given; the strip's columns and the drawer's rows are made of
    // them. Library values are shown as plain text.
    struct EntryLabels {
        QLabel *title;
        QLabel *value;
    };
    static EntryLabels entryLabels(const MetadataEntry &entry, const QFont &titleFont, const QFont &valueFont,
                                   QWidget *parent);
    // Replaces the widgets of `layout` before its closing stretch with one
    // made by `make` for each entry, in order.
    static void replaceEntries(QBoxLayout &layout, const QList<MetadataEntry> &entries,
                               const std::function<QWidget *(const MetadataEntry &)> &make,
                               Qt::Alignment alignment = {});

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<MetadataEntry> m_entries;
    QScrollArea *m_summary = nullptr;
    QHBoxLayout *m_columns = nullptr;
    QWidget *m_inspectorSlot = nullptr;
};
