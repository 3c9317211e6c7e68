#include "ui/CrossFadeStack.h"

#include <QEvent>
#include <QPainter>
#include <QPixmap>
#include <QStackedLayout>
#include <QVariantAnimation>
#include <QWidget>

#include <utility>

namespace {

// What was in view as a switch began, drawn over the page coming as opaque
// as the fade has left it. Clicks go through it to the page.
class FadingPicture final : public QWidget {
public:
    explicit FadingPicture(QWidget *parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

    QPixmap picture;
    double opacity = 1;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setOpacity(opacity);
        painter.drawPixmap(0, 0, picture);
    }
};

FadingPicture &fadingPicture(QWidget *widget)
{
    return *static_cast<FadingPicture *>(widget);
}

// What `host` shows now, a fade under way included, over the window's
// background: as opaque as it is on screen.
QPixmap inView(QWidget *host)
{
    const qreal ratio = host->devicePixelRatioF();
    QPixmap picture(host->size() * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(host->palette().color(QPalette::Window));
    host->render(&picture, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    return picture;
}

} // namespace

CrossFadeStack::CrossFadeStack(QWidget *host, int milliseconds)
    : QObject(host)
    , m_host(host)
    , m_layout(new QStackedLayout(host))
    , m_picture(new FadingPicture(host))
    , m_fade(new QVariantAnimation(this))
{
    m_fade->setDuration(milliseconds);
    m_fade->setEasingCurve(QEasingCurve::InOutQuad);
    m_fade->setStartValue(1.0);
    m_fade->setEndValue(0.0);
    connect(m_fade, &QVariantAnimation::valueChanged, m_picture, [this](const QVariant &opacity) {
        fadingPicture(m_picture).opacity = opacity.toDouble();
        m_picture->update();
    });
    connect(m_fade, &QVariantAnimation::finished, this, &CrossFadeStack::endFade);
    host->installEventFilter(this);
}

void CrossFadeStack::addPage(QWidget *page)
{
    m_layout->addWidget(page);
}

QWidget *CrossFadeStack::currentPage() const
{
    return m_layout->currentWidget();
}

void CrossFadeStack::setCurrentPage(QWidget *page, bool crossFade)
{
    QWidget *leaving = currentPage();
    if (page == leaving)
        return;
    // What is in view now fades out over the page coming: the page leaving,
    // or the mix of a fade under way.
    const bool fades = crossFade && leaving && m_host->isVisible();
    QPixmap picture = fades ? inView(m_host) : QPixmap();
    // The page leaving hides, the page coming shows; the focus, when it was
    // in the page leaving, moves in.
    m_layout->setCurrentWidget(page);
    if (!fades) {
        endFade();
        return;
    }
    FadingPicture &over = fadingPicture(m_picture);
    over.picture = std::move(picture);
    over.opacity = 1;
    over.setGeometry(m_host->rect());
    over.raise();
    over.show();
    m_fade->stop();
    m_fade->start();
}

QAbstractAnimation *CrossFadeStack::runningFade() const
{
    return m_fade->state() == QAbstractAnimation::Stopped ? nullptr : m_fade;
}

void CrossFadeStack::endFade()
{
    m_fade->stop();
    m_picture->hide();
    fadingPicture(m_picture).picture = QPixmap();
}

bool CrossFadeStack::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_host) {
        if (event->type() == QEvent::Resize)
            m_picture->setGeometry(m_host->rect());
        // Out of view, a fade has nothing left to show.
        else if (event->type() == QEvent::Hide)
            endFade();
    }
    return QObject::eventFilter(watched, event);
}
