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
// link button asks for the annotation's links. GUI thread.
class AnnotationList : public QWidget {
    Q_OBJECT
public:
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
    void mouseMoveEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

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

    QPointer<ImageAnnotations> m_annotations;
    QPointer<AnnotationViewState> m_state;
    ContentUnavailableView *m_empty = nullptr;
    int m_linkSlotWidth = 52;
    QList<AnnotationRow> m_rows;
    Target m_pressed;
};
