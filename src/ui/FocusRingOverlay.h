#pragma once

#include <QWidget>

// The focus ring of a widget whose parts cover all of it (a screen, a
// scrolling row): laid over the widget, clear of the pointer, and shown
// while the widget itself has the focus.
class FocusRingOverlay final : public QWidget {
public:
    explicit FocusRingOverlay(QWidget *target);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QWidget *m_target;
};
