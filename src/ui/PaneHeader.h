#pragma once

#include <QWidget>

class QAction;
class QHBoxLayout;
class QToolButton;

// The bar along the top of a column of the main window, holding the
// column's title and buttons. The bars of both columns have the same height,
// so that they read as one toolbar across the window.
class PaneHeader : public QWidget {
    Q_OBJECT
public:
    explicit PaneHeader(QWidget *parent = nullptr);

    static constexpr int barHeight = 44;

    QHBoxLayout *contentLayout() const { return m_layout; }
    // A flat button for the command: its icon, and its text as the tooltip
    // and accessible name (and beside the icon when `showsTitle`).
    QToolButton *addButton(QAction *command, bool showsTitle = false);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QHBoxLayout *m_layout = nullptr;
};
