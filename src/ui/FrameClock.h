#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// The beat of an animation: while it runs it ticks about every 8 ms with
// the seconds since its last tick, at most a tenth of a second (a long
// stall is not replayed). Its owner advances what moves on each tick and
// stops it once all has come to rest. GUI thread.
class FrameClock : public QObject {
    Q_OBJECT
public:
    explicit FrameClock(QObject *parent = nullptr);

    // Runs from now on; nothing when it runs already.
    void start();
    void stop();
    bool isRunning() const { return m_timer.isActive(); }
    // Ticks once, `seconds` on, as a frame of its own would.
    void step(double seconds);

signals:
    void ticked(double seconds);

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
};
