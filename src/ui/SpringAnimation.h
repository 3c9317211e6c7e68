#pragma once

#include "ui/FrameClock.h"
#include "ui/Spring.h"

#include <QObject>

// One value of a view on its way to its target on a spring, beaten by a
// frame clock of its own: what a view animates (an opacity, a height, a
// highlight's strength) it reads from `value()` whenever `valueChanged`
// says it moved. The clock runs only while the value moves. GUI thread.
class SpringAnimation : public QObject {
    Q_OBJECT
public:
    SpringAnimation(double response, double dampingFraction, double value = 0, QObject *parent = nullptr);

    double value() const { return m_spring.value(); }
    double target() const { return m_spring.target(); }
    bool isSettled() const { return m_spring.isSettled(); }

    // Heads for `target` from where the value is now, at its present speed.
    void setTarget(double target);
    // At `value` at once, at rest.
    void jumpTo(double value);
    // A hundredth unless set.
    void setRestDistance(double distance) { m_spring.setRestDistance(distance); }

    // The clock that beats it: tests step it frame by frame.
    FrameClock *frameClock() { return &m_frames; }

signals:
    void valueChanged(double value);
    // Come to rest on its target.
    void settled();

private:
    void advance(double seconds);

    Spring m_spring;
    FrameClock m_frames;
};
