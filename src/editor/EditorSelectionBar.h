#pragma once

#include "editor/EditorSelection.h"
#include "editor/FloatingBar.h"

#include <QSet>
#include <QStringList>

class QLabel;
class QMenu;

// The bar at the bottom of the editing canvas while something is selected:
// the selection's title, "Rename", the "Groups" menu (one switch per group
// of the image, then "New Group…"), "Links", and the delete buttons that
// fit what is selected: for a corner, removing the corner and deleting its
// whole region. Buttons show their symbols alone.
//
// The commands belong to the editor; the group switches leave as
// groupToggled(), and the menu's content is asked for each time it opens
// (groupsMenuRequested), so it always shows the groups as they are then.
class EditorSelectionBar : public FloatingBar {
    Q_OBJECT
public:
    struct Commands {
        QAction *rename;
        QAction *links;
        QAction *newGroup;
        QAction *deleteVertex;
        QAction *deleteAnnotation;
    };

    EditorSelectionBar(const Commands &commands, QWidget *parent = nullptr);

    // What is selected: its title, whether it resolves to an annotation
    // (the "Groups" menu shows only then) and its kind.
    void setSelection(const QString &title, bool resolves, EditorSelection::Kind kind);
    QString title() const;
    QWidget *groupsButton() const;
    QMenu *groupsMenu() const { return m_groupsMenu; }
    bool showsVertexDelete() const;

    // Fills the open menu: a switch per group name, on for those in `on`.
    void setGroups(const QStringList &names, const QSet<QString> &on);

signals:
    void groupsMenuRequested();
    void groupToggled(const QString &name, bool enabled);

private:
    Commands m_commands;
    QLabel *m_title = nullptr;
    QMenu *m_groupsMenu = nullptr;
    QWidget *m_groups = nullptr;
    QWidget *m_deleteVertex = nullptr;
};
