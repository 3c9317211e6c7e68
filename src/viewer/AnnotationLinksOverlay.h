#pragma once

#include "model/AnnotationLink.h"

#include <QList>
#include <QWidget>

class AnnotationLinkRow;
class QAction;
class QScrollArea;
class QVBoxLayout;

// The links of one annotation in a panel over the whole image screen, above
// a dimmed backdrop: a header with the annotation's name and a Close
// button, and a list of the links that open something (one row each) that
// scrolls when it is taller than the panel may be. It lays itself over its
// parent widget, whole.
//
// It never closes itself: Close, Escape and a click on the backdrop ask the
// host to close it (dismissRequested), which decides when it goes and how:
// at once (hide) or fading out (leave).
//
// While it is up it has the keys, as a modal panel would: it takes the
// focus as it shows, Tab and Shift+Tab go round its own controls (Close,
// then the links) and never behind the backdrop, the focus coming to the
// screen it covers comes to it, and no key reaches the screen.
//
// A click on a row opens the link's address with the desktop's helper
// (xdg-open), which hands it to the browser or mail program the user
// chose; when that helper cannot be started or finds no such program, the
// panel reports the failure (openFailed) with the text of its alert, once
// known, for as long as the panel lives. GUI thread.
class AnnotationLinksOverlay : public QWidget {
    Q_OBJECT
public:
    explicit AnnotationLinksOverlay(QWidget *parent);
    ~AnnotationLinksOverlay() override;

    // The panel's heading (shown as it is) and the links, in order; links
    // that open nothing are left out.
    void setContent(const QString &title, const QList<AnnotationLink> &links);
    QString title() const { return m_title; }
    QList<AnnotationLinkRow *> rows() const { return m_rows; }

    // The panel's largest width and height, in points (340 and 320 unless
    // set); it stays 24 points clear of the screen's edges.
    void setPanelSize(int width, int maximumHeight);
    QWidget *panel() const { return m_panel; }

    // Close (Escape).
    QAction *closeAction() const { return m_close; }
    // The controls that Tab goes round, in order.
    QList<QWidget *> focusStops() const;

    // Shows the panel fading in over `milliseconds`; one on its way out
    // comes back from where it has got to.
    void enter(int milliseconds);
    // Fades the panel out over `milliseconds`, then hides it. On its way
    // out it takes no input: clicks reach what lies under it and Escape
    // travels on.
    void leave(int milliseconds);
    bool isLeaving() const { return m_leaving && !isHidden(); }

    // What the alert says when the desktop opens nothing for `link`: the
    // link's title and, when that is not the address itself, the address.
    static QString openFailureMessage(const AnnotationLink &link);
    // The alert's title.
    static QString openFailureTitle();

signals:
    void dismissRequested();
    // The desktop opened nothing for a clicked link.
    void openFailed(const QString &title, const QString &message);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void placePanel();
    void open(const AnnotationLink &link);
    void setTakesInput(bool takes);
    bool takesKeys() const { return !isHidden() && !m_leaving; }
    void keepFocus(QWidget *focused);

    QString m_title;
    QWidget *m_panel = nullptr;
    QWidget *m_heading = nullptr;
    QScrollArea *m_scroll = nullptr;
    QVBoxLayout *m_rowLayout = nullptr;
    QList<AnnotationLinkRow *> m_rows;
    QAction *m_close = nullptr;
    int m_panelWidth = 340;
    int m_panelMaximumHeight = 320;
    bool m_backdropPressed = false;
    bool m_leaving = false;
    QMetaObject::Connection m_focusWatch;
};
