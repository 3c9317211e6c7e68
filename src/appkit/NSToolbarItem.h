#pragma once

class QAction;
class QIcon;
class QToolButton;

// Tool bar items that stand out while what they control is on.
struct NSToolbarItem {
    // Redraws the item's icon at the large symbol scale, a quarter larger
    // about its centre, in one colour: orange while highlighted, else the
    // palette's button text colour (the disabled one when disabled), taken
    // whenever the icon is drawn. An item without an icon is left as it is.
    // Calling it again switches between the two, from the icon as the item
    // was given it.
    static void setHighlighted(QAction &item, bool highlighted);
    static void setHighlighted(QToolButton &item, bool highlighted);
    // The icon as setHighlighted() gives it.
    static QIcon highlightedIcon(const QIcon &icon, bool highlighted);
};
