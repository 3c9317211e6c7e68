#pragma once

#include <QTableView>

#include <optional>

// A table view that redraws its grid lines after the look of the desktop
// changes (a new palette, as between light and dark, or a new style): the
// grid is taken away at once and put back as it was set once the change
// has been handled.
class AppearanceChangeFixTableView : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;

    // The grid lines: their pen style, Qt::NoPen for none.
    Qt::PenStyle gridStyleMask() const;
    void setGridStyleMask(Qt::PenStyle style);

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyGridStyle(Qt::PenStyle style);

    std::optional<Qt::PenStyle> m_storedGridStyleMask; // as last set
};
