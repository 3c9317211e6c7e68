#pragma once

#include <QColor>
#include <QToolButton>

// A button drawn as its icon in white on a filled, rounded, tinted shape,
// for commands laid over a picture (the zoom buttons, the annotations
// switch). Show it with an action (setDefaultAction) or an icon; the
// title stays the tooltip and the accessible name.
class ProminentButton : public QToolButton {
    Q_OBJECT
public:
    explicit ProminentButton(QWidget *parent = nullptr);

    // The fill; grey by default.
    void setTint(const QColor &tint);
    QColor tint() const { return m_tint; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_tint;
};
