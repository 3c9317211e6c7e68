#include "ui/ActivityIndicator.h"

#include <QPainter>
#include <QVariantAnimation>

#include <cmath>
#include <numbers>

namespace {

constexpr int strokes = 8;

} // namespace

ActivityIndicator::ActivityIndicator(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_turn = new QVariantAnimation(this);
    m_turn->setStartValue(0);
    m_turn->setEndValue(strokes);
    m_turn->setDuration(800);
    m_turn->setLoopCount(-1);
    connect(m_turn, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        const int step = value.toInt() % strokes;
        if (step != m_step) {
            m_step = step;
            update();
        }
    });
}

bool ActivityIndicator::isAnimating() const
{
    return m_turn->state() == QAbstractAnimation::Running;
}

void ActivityIndicator::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_turn->start();
}

void ActivityIndicator::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_turn->stop();
}

void ActivityIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    QColor colour = palette().color(QPalette::WindowText);
    QPen pen(colour, std::max(1.5, side / 9), Qt::SolidLine, Qt::RoundCap);
    for (int i = 0; i < strokes; ++i) {
        // The leading stroke is the strongest; the ones behind it fade.
        const int age = (m_step - i + strokes) % strokes;
        colour.setAlphaF(float(1.0 - 0.8 * age / (strokes - 1)));
        pen.setColor(colour);
        painter.setPen(pen);
        const double angle = 2 * std::numbers::pi * i / strokes;
        const QPointF direction(std::sin(angle), -std::cos(angle));
        painter.drawLine(direction * side * 0.22, direction * side * 0.42);
    }
}
