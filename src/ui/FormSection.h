#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QVBoxLayout;

// One section of a settings form: its controls, one row each, in a rounded
// box, and under the box a footnote that says what they do.
class FormSection : public QWidget {
    Q_OBJECT
public:
    explicit FormSection(QWidget *parent = nullptr);

    // Adds a row to the box: the widget, or the layout, spanning its width.
    void addRow(QWidget *row);
    void addRow(QLayout *row);
    // The footnote; none while empty.
    void setFooter(const QString &text);
    QString footer() const;

private:
    QWidget *m_box = nullptr;
    QVBoxLayout *m_rows = nullptr;
    QLabel *m_footer = nullptr;
};
