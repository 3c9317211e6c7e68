#pragma once

#include "model/AnnotationLink.h"

#include <QDialog>
#include <QList>
#include <QUuid>

class ContentUnavailableView;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

// The sheet "Links" in which the user adds, edits and removes the web
// links of one annotation: one section per link, headed by its label (or
// "Link") with a remove button, holding its address and its label as
// typed; "No Links" while there are none; "Add Link" and "Done" below.
//
// It keeps no copy to save or discard: every change leaves at once as
// linksEdited() with the whole list, which the host writes, and the host
// shows the list as it then is (setLinks). Texts are kept exactly as
// typed. Only "Done" and Return end the sheet, and finished() then tells
// the host it has closed; Escape does nothing, and the window has no close
// button (a close the window manager asks for anyway is refused), since
// the host ends it otherwise only by dismissing it. Nor has it a minimise
// or maximise button: it is a window-modal dialog held over the host's
// window.
//
// Tab goes through the sheet as it reads, top to bottom: each section's
// remove button, address and label, then "Add Link" and "Done", which has
// the focus when the sheet opens; the control it reaches scrolls into
// sight. Links coming and going leave the focus where it is, with the
// cursor and selection of the field being typed in; when the focus was in
// the section of a link that went, "Add Link" takes it. GUI thread.
class AnnotationLinksEditor : public QDialog {
    Q_OBJECT
public:
    explicit AnnotationLinksEditor(const QList<AnnotationLink> &links, QWidget *parent = nullptr);

    // Shows `links`; the fields being typed in keep their cursor.
    void setLinks(const QList<AnnotationLink> &links);
    const QList<AnnotationLink> &links() const { return m_links; }

    // "Add Link": an empty link at the end, its address field focused.
    void addLink();
    // The remove button of a link's section.
    void removeLink(const QUuid &id);

    // The controls of the link with that id; null when it has no section.
    QLineEdit *urlField(const QUuid &id) const;
    QLineEdit *labelField(const QUuid &id) const;
    QLabel *header(const QUuid &id) const;
    QToolButton *removeButton(const QUuid &id) const;
    QPushButton *addButton() const { return m_add; }
    QPushButton *doneButton() const { return m_done; }
    ContentUnavailableView *emptyView() const { return m_empty; }

    static constexpr int sheetWidth = 480;
    static constexpr int sheetHeight = 380;

signals:
    void linksEdited(const QList<AnnotationLink> &links);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    // Scrolls the control of a section that takes the focus into sight.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Section {
        QUuid id;
        QWidget *widget = nullptr;
        QLabel *header = nullptr;
        QToolButton *remove = nullptr;
        QLineEdit *url = nullptr;
        QLineEdit *label = nullptr;
    };

    // Shows the sections of m_links, keeping those of links still there.
    void showLinks();
    Section makeSection(const AnnotationLink &link);
    const Section *section(const QUuid &id) const;
    void edit(const QUuid &id, const QString &urlString, const QString &label);
    static QString headerText(const AnnotationLink &link);

    QList<AnnotationLink> m_links;
    QList<Section> m_sections;
    QScrollArea *m_scroll = nullptr;
    QVBoxLayout *m_sectionLayout = nullptr;
    ContentUnavailableView *m_empty = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_done = nullptr;
};
