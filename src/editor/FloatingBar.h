#pragma once

#include <QMargins>
#include <QWidget>

class QHBoxLayout;
class QAction;
class ProminentButton;

// A row of buttons floating over the editing canvas on a translucent,
// rounded backing, as wide as its buttons.
class FloatingBar : public QWidget {
    Q_OBJECT
public:
    FloatingBar(const QMargins &padding, QWidget *parent = nullptr);

    QHBoxLayout *row() const { return m_row; }
    // A button for the command: its symbol alone, white on `tint`.
    ProminentButton *addButton(QAction *command, const QColor &tint);

    // The backing of the bars over a picture.
    static QColor bordered();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QHBoxLayout *m_row = nullptr;
};
