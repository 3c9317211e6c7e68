#pragma once

#include <QWidget>

class QVariantAnimation;

// A small indeterminate progress indicator: a ring of strokes that turns
// while it is visible, for work of unknown length beside the control that
// started it.
class ActivityIndicator : public QWidget {
    Q_OBJECT
public:
    explicit ActivityIndicator(QWidget *parent = nullptr);

    // Whether it is turning (it turns only while shown).
    bool isAnimating() const;

    QSize sizeHint() const override { return QSize(16, 16); }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QVariantAnimation *m_turn = nullptr;
    int m_step = 0;
};
