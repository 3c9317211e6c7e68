#pragma once

#include <QFlags>
#include <QObject>
#include <QPointer>
#include <QWidget>

// Follows the pointer over a widget's bounds and reports each time it comes
// in and goes out, in the windows its options name: only while the widget's
// window is the active one, or whether or not it is. In the active window
// alone, going out is also reported when the window stops being active
// with the pointer inside. Owned by the widget (see
// NSView::createMouseEnterAndExitTrackingArea).
class NSTrackingArea : public QObject {
    Q_OBJECT
public:
    // The desktop's tracking options, with their values.
    enum Option {
        mouseEnteredAndExited = 0x01,
        activeInKeyWindow = 0x20,
        activeAlways = 0x80,
    };
    Q_DECLARE_FLAGS(Options, Option)

    NSTrackingArea(QWidget &owner, Options options);

    QWidget *owner() const { return m_owner; }
    Options options() const { return m_options; }
    bool isPointerInside() const { return m_inside; }

signals:
    void mouseEntered();
    void mouseExited();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setInside(bool inside);

    QPointer<QWidget> m_owner;
    Options m_options;
    bool m_inside = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(NSTrackingArea::Options)
