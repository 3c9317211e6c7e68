#pragma once

#include <QColor>
#include <QList>
#include <QWidget>

class QAbstractButton;
class QAction;
class QActionGroup;

// A segmented control: the checkable commands of one exclusive action
// group, side by side in one joined, rounded shape, each segment showing
// its command's symbol in white, the chosen one tinted with the accent
// colour. A click on a segment triggers its command; the segments follow
// the commands' checked states, however they change. Its title is not
// drawn: assistive technologies see one group named by it, of radio
// buttons named by the commands.
class SegmentedPicker : public QWidget {
    Q_OBJECT
public:
    // The group must be exclusive and outlive the picker.
    SegmentedPicker(const QString &title, QActionGroup *choices, QWidget *parent = nullptr);

    QList<QAbstractButton *> segments() const { return m_segments; }
    // The segment of `choice`; null when it has none.
    QAbstractButton *segmentFor(QAction *choice) const;

    // The fill of the segments not chosen; grey by default.
    void setTint(const QColor &tint);
    QColor tint() const { return m_tint; }

    static constexpr int cornerRadius = 7;

private:
    QList<QAbstractButton *> m_segments;
    QColor m_tint;
};
