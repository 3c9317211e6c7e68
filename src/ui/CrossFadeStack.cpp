#include "ui/CrossFadeStack.h"

#include "ui/FadeIn.h"

#include <QEvent>
#include <QStackedLayout>
#include <QWidget>

CrossFadeStack::CrossFadeStack(QWidget *host, int milliseconds)
    : QObject(host)
    , m_layout(new QStackedLayout(host))
    , m_milliseconds(milliseconds)
{
    m_layout->setStackingMode(QStackedLayout::StackAll);
}

void CrossFadeStack::addPage(QWidget *page)
{
    m_layout->addWidget(page);
    if (m_current)
        page->hide();
    else
        m_current = page;
    page->installEventFilter(this);
}

void CrossFadeStack::setCurrentPage(QWidget *page, bool crossFade)
{
    QWidget *leaving = m_current;
    if (page == leaving)
        return;
    m_current = page;
    page->setEnabled(true);
    // A page still fading out comes back as any page comes into view, its
    // fade turned round from where it is.
    if (page->isVisibleTo(m_layout->parentWidget()))
        page->hide();
    // On top, shown; the focus, when it was in the page leaving, moves in.
    m_layout->setCurrentWidget(page);
    if (!crossFade || !page->isVisible()) {
        // A fade left under way would go on to its end: it goes with them.
        page->setGraphicsEffect(nullptr);
        for (int i = 0; i < m_layout->count(); ++i) {
            QWidget *other = m_layout->widget(i);
            if (other == page)
                continue;
            other->hide();
            other->setGraphicsEffect(nullptr);
        }
        return;
    }
    fadeIn(page, m_milliseconds);
    // The page leaving stays in view under the new one while it fades out,
    // out of reach of the focus, the keys, the clicks and its shortcuts.
    if (leaving) {
        if (leaving->isVisible())
            leaving->setEnabled(false);
        fadeOut(leaving, m_milliseconds);
    }
}

bool CrossFadeStack::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::HideToParent && watched != m_current) {
        auto *page = static_cast<QWidget *>(watched);
        page->setEnabled(true);
        emit pageLeft(page);
    }
    return QObject::eventFilter(watched, event);
}
