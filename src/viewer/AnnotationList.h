#pragma once

#include "viewer/AnnotationRows.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class AnnotationViewState;
class ContentUnavailableView;
class ImageAnnotations;

// The list of an image's annotations in the compact layout's drawer: one
// row per annotation the switched-off groups leave visible, sorted by name,
// with its group names and, when it has links, a button with their number.
// The highlighted annotation's row is tinted orange. It has no scroll bar
// of its own: its host scrolls it (rowRect() says where a row lies).
//
// It shows `annotations` as `state` filters and highlights them, and
// follows both; it changes neither. A click on a row asks to highlight it,
// or to clear the highlight when it is the highlighted one; a click on the
// link button asks for the annotation's links.
//
// The rows are painted, yet each row and each link button is a stop of the
// keyboard focus: Tab and Shift+Tab move from one to the next (and out of
// the list past the last), Space or Return acts as a click. Assistive
// technologies see a list whose items are the rows (named by the display
// name, valued by the group names, selected while highlighted), each with
// its link button ("Show links for " and the name) as its child. GUI
// thread.
class AnnotationList : public QWidget {
    Q_OBJECT
public:
    // A place the keyboard focus stops at: a row, or its link button.
    struct FocusStop {
        QUuid id;
        bool linkButton = false;
        bool operator==(const FocusStop &) const = default;
    };

    AnnotationList(ImageAnnotations *annotations, AnnotationViewState *state, QWidget *parent = nullptr);

    // The width of the trailing column that holds the link buttons.
    void setLinkSlotWidth(int width);
    int linkSlotWidth() const { return m_linkSlotWidth; }

    // The rows shown, in order.
    const QList<AnnotationRow> &rows() const { return m_rows; }
    // Where the annotation's row lies; none when it is not listed.
    std::optional<QRect> rowRect(const QUuid &id) const;
    // The link button of the annotation's row; none without one.
    std::optional<QRect> linkButtonRect(const QUuid &id) const;

    // Where the focus is inside the list while it has the focus, and where
    // it returns to; none without rows.
    std::optional<FocusStop> focusStop() const { return m_focus; }
    // What a click on the stop does: asks to highlight the row (or for no
    // highlight, on the highlighted row), or for the row's links.
    void activate(const FocusStop &stop);
    bool isHighlighted(const QUuid &id) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // Highlight this annotation, or nothing.
    void highlightRequested(const std::optional<QUuid> &id);
    void showLinksRequested(const QUuid &id);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    struct Target {
        qsizetype row = -1;
        bool linkButton = false;
        bool operator==(const Target &) const = default;
    };

    void refresh();
    int rowHeight() const;
    QRect rowRectAt(qsizetype row) const;
    QRect linkButtonRectAt(qsizetype row) const;
    Target targetAt(const QPoint &position) const;
    // The focus stops in order: each row, then its link button if it has one.
    QList<FocusStop> focusStops() const;
    // Moves the focus stop; `reveal` scrolls it into view in the drawer.
    void moveFocus(const std::optional<FocusStop> &stop, bool reveal = true);
    void highlightChanged();

    QPointer<ImageAnnotations> m_annotations;
    QPointer<AnnotationViewState> m_state;
    ContentUnavailableView *m_empty = nullptr;
    int m_linkSlotWidth = 52;
    QList<AnnotationRow> m_rows;
    Target m_pressed;
    std::optional<FocusStop> m_focus;
};
