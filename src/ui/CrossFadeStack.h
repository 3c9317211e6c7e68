#pragma once

#include <QObject>

class QStackedLayout;
class QWidget;

// Pages laid one over the other in a widget, one of them shown, where a
// switch cross-fades over a set time, easing in and out (fadeIn, fadeOut).
// The page coming lies on top and fades in; the page leaving stays in view
// under it while it fades out, and meanwhile takes no part: it is disabled,
// so no focus, keys, clicks or shortcuts reach it (focus in it moves on to
// the page coming, as a stacked layout moves it). Once hidden it is enabled
// again for its next appearance, and pageLeft() says it has gone. A page
// still fading out that is shown again comes back as any page comes into
// view (hidden and shown again), its fade turned round from where it is.
//
// A switch made at once, or off screen, hides every other page at once and
// shows the new one whole.
class CrossFadeStack final : public QObject {
    Q_OBJECT
public:
    // The pages fill `host`; a switch fades for `milliseconds`.
    CrossFadeStack(QWidget *host, int milliseconds);

    // The first page added is shown; the others wait hidden.
    void addPage(QWidget *page);
    // The page shown, or coming into view.
    QWidget *currentPage() const { return m_current; }
    void setCurrentPage(QWidget *page, bool crossFade = true);

signals:
    // `page`, no longer the current one, has gone out of view (its fade-out
    // ended, or it was hidden at once), enabled again.
    void pageLeft(QWidget *page);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QStackedLayout *m_layout = nullptr;
    int m_milliseconds = 0;
    QWidget *m_current = nullptr;
};
