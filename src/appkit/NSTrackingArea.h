#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>


// Follows the pointer over a widget's bounds while the widget's window is
// the active one, and reports each time it comes in and goes out. Going
// out is also reported when the window stops being active with the pointer
// inside. Owned by the widget (see NSView::createMouseEnterAndExitTrackingArea).
class NSTrackingArea : public QObject {
    Q_OBJECT
public:
    explicit NSTrackingArea(QWidget &owner);

    QWidget *owner() const { return m_owner; }
    bool isPointerInside() const { return m_inside; }

signals:
    void mouseEntered();
    void mouseExited();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setInside(bool inside);

    QPointer<QWidget> m_owner;
    bool m_inside = false;
};
