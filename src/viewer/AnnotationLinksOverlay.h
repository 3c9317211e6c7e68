#pragma once

#include "model/AnnotationLink.h"

#include <QList>
#include <QWidget>

class AnnotationLinkRow;
class FrameClock;
class QAction;
class QToolButton;
class SpringAnimation;
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
// at once (hide) or fading out (leave). It fades in and out on the image
// screen's spring.
//
// It leaves the keyboard to the screen it covers: it takes no focus as it
// shows, and the keys its controls leave (the arrows among them) travel on
// to the screen. Tab reaches Close and then the links, in that order;
// Space on Close closes, Space or Return on a link opens it.
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

    // The panel's heading (shown as it is) and the links, in order; links
    // that open nothing are left out.
    void setContent(const QString &title, const QList<AnnotationLink> &links);
    QString title() const { return m_title; }
    QList<AnnotationLinkRow *> rows() const { return m_rows; }

    // The panel's largest width and height, in points (340 and 320 unless
    // set); it stays 24 points clear of the screen's edges.
    void setPanelSize(int width, int maximumHeight);
    QWidget *panel() const { return m_panel; }

    // Close (Escape), and its button.
    QAction *closeAction() const { return m_close; }
    QToolButton *closeButton() const { return m_closeButton; }

    // Shows the panel fading in; one on its way out comes back from where
    // it has got to.
    void enter();
    // Fades the panel out, then hides it. On its way out it takes no
    // input: clicks reach what lies under it and Escape travels on.
    void leave();
    bool isLeaving() const { return m_leaving && !isHidden(); }
    // How opaque it is on its way in or out (1 once in).
    double opacity() const;
    // What beats the fade; it runs while the panel fades.
    FrameClock *frameClock() const;

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
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void placePanel();
    void open(const AnnotationLink &link);
    void setTakesInput(bool takes);
    void showOpacity(double opacity);

    QString m_title;
    QWidget *m_panel = nullptr;
    QWidget *m_heading = nullptr;
    QScrollArea *m_scroll = nullptr;
    QVBoxLayout *m_rowLayout = nullptr;
    QList<AnnotationLinkRow *> m_rows;
    QAction *m_close = nullptr;
    QToolButton *m_closeButton = nullptr;
    int m_panelWidth = 340;
    int m_panelMaximumHeight = 320;
    bool m_backdropPressed = false;
    bool m_leaving = false;
    SpringAnimation *m_fade = nullptr;
};
