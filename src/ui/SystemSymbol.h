#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>
#include <QString>

class QAction;
class QMenu;
class QPainter;

// The small line drawings that stand beside titles in menus, buttons and
// empty states ("photo", "trash", "info.circle", ...). They are drawn as
// vector paths, so they stay sharp at any size and take any colour. GUI
// thread only.
struct SystemSymbol {
    // Whether a drawing exists for the name.
    static bool exists(const QString &name);
    // Draws the symbol centred in `rect` (fitted into its largest square).
    static void paint(QPainter &painter, const QString &name, const QRectF &rect, const QColor &colour);
    // An icon of the symbol; without a colour it follows the palette's text
    // colour (and the disabled text colour when disabled).
    static QIcon icon(const QString &name, const QColor &colour = QColor());
    // Adds a menu item with the symbol beside its title; connect to the
    // item's triggered() signal.
    static QAction *addMenuItem(QMenu &menu, const QString &title, const QString &symbol);
};
