#pragma once

#include <QString>
#include <QWidget>

class QVBoxLayout;

// A titled, framed box that groups controls of the metadata sheet: a title
// with its symbol over the content, on the window's background inside a
// rounded, outlined rectangle, stretched to the available width.
class EditorSection : public QWidget {
    Q_OBJECT
public:
    EditorSection(const QString &title, const QString &systemImage, QWidget *parent = nullptr);

    QString title() const { return m_title; }
    QString systemImage() const { return m_systemImage; }
    // Where the content goes (leading-aligned, below the title).
    QVBoxLayout *contentLayout() const { return m_content; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_title;
    QString m_systemImage;
    QVBoxLayout *m_content = nullptr;
};
