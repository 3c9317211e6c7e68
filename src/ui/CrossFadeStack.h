#pragma once

#include <QObject>

class QAbstractAnimation;
class QStackedLayout;
class QVariantAnimation;
class QWidget;

// Pages laid one over the other in a widget, one of them shown, where a
// switch cross-fades over a set time, easing in and out: the new page comes
// into view at once, whole and live, under a picture of what was in view
// as the switch began, which fades out over it. The page leaving is hidden
// at once, so no focus, keys, clicks or shortcuts reach it, and it is drawn
// as it was (not disabled, not dimmed). A switch during a fade pictures the
// mix then in view and fades that out in turn, so a switch back turns round
// from where it is; a page brought back comes into view as any page does
// (shown again). The focus, when it was in the page leaving, moves on to
// the page coming, as a stacked layout moves it.
//
// A switch made at once, or off screen, shows the new page whole with no
// picture over it; so does the widget's being hidden.
class CrossFadeStack final : public QObject {
    Q_OBJECT
public:
    // The pages fill `host`; a switch fades for `milliseconds`.
    CrossFadeStack(QWidget *host, int milliseconds);

    // The first page added is shown; the others wait hidden.
    void addPage(QWidget *page);
    // The page shown.
    QWidget *currentPage() const;
    void setCurrentPage(QWidget *page, bool crossFade = true);

    // The fade under way, none when none: tests step it by setting its
    // current time, in milliseconds.
    QAbstractAnimation *runningFade() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void endFade();

    QWidget *m_host = nullptr;
    QStackedLayout *m_layout = nullptr;
    // Over the pages, the picture that fades out.
    QWidget *m_picture = nullptr;
    QVariantAnimation *m_fade = nullptr;
};
