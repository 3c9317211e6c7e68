#pragma once

#include <QAccessibleInterface>
#include <QPointer>
#include <QWidget>

// An element that a widget paints instead of holding a widget for it (a row
// of a painted list, a button drawn over a canvas), as assistive
// technologies see it: a child interface without an object of its own,
// which answers for the element as it is now by asking its widget. A
// subclass says what the element is; this class offers its one action,
// press, and the plumbing every such element shares.
//
// Like Qt's own child interfaces, these are registered with QAccessible
// and belong to the interface of the widget that made them, which keeps
// their ids (an id outlives what it names, which QAccessible may delete
// first as the application ends) and deletes them when it goes
// (deleteAll()). GUI thread.
class PaintedAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    explicit PaintedAccessible(QWidget *widget) : m_widget(widget) {}

    QWidget *widget() const { return m_widget; }

    // The element's place, in its widget's coordinates; empty when it is
    // not laid out.
    virtual QRect area() const = 0;
    // What a click on the element would do.
    virtual void press() = 0;

    bool isValid() const override { return m_widget; }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override;
    QAccessibleInterface *focusChild() const override { return nullptr; }
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override;
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

    // Deletes the elements of those ids that are still there.
    template <typename List> static void deleteAll(const List &ids)
    {
        for (QAccessible::Id id : ids)
            QAccessible::deleteAccessibleInterface(id);
    }

private:
    QPointer<QWidget> m_widget;
};
