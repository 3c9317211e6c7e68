#include "ui/Spring.h"
#include "ui/SpringAnimation.h"

#include <QSignalSpy>

#include <QTest>

#include <cmath>

namespace {

constexpr double frame = 1 / 120.0;

struct Run {
    double peak = 0;        // the largest value reached
    double peakTime = 0;    // when
    bool monotoneToTarget = true; // never moved back before first reaching the target
    double settledAfter = -1;     // when it came to rest; -1 if it did not within ten seconds
};

// Springs from 0 towards 100, frame by frame.
Run run(Spring &spring)
{
    Run seen;
    spring.setTarget(100);
    double previous = spring.value();
    bool reached = false;
    for (int step = 1; step <= 1200; ++step) {
        spring.advance(frame);
        const double value = spring.value();
        if (!reached && value < previous)
            seen.monotoneToTarget = false;
        reached = reached || value >= 100;
        if (value > seen.peak) {
            seen.peak = value;
            seen.peakTime = step * frame;
        }
        previous = value;
        if (spring.isSettled()) {
            seen.settledAfter = step * frame;
            break;
        }
    }
    return seen;
}

} // namespace

// The spring that the canvases and the image screen move on.
class SpringTest : public QObject {
    Q_OBJECT
private slots:
    // Each row: the spring, how far past its target it swings (percent of
    // the way) and when it is furthest, as a damped spring of that period
    // and damping does.
    void curve_data()
    {
        QTest::addColumn<double>("response");
        QTest::addColumn<double>("damping");
        QTest::addColumn<double>("overshoot");
        QTest::addColumn<double>("peakTime");
        QTest::newRow("zoom") << 0.18 << 0.85 << 0.63 << 0.171;
        QTest::newRow("screen") << 0.2 << 0.85 << 0.63 << 0.190;
        QTest::newRow("slow") << 0.5 << 0.85 << 0.63 << 0.475;
        QTest::newRow("bouncy") << 0.2 << 0.5 << 16.3 << 0.115;
        QTest::newRow("stiff") << 0.2 << 0.95 << 0.0 << 0.320;
    }
    void curve()
    {
        QFETCH(double, response);
        QFETCH(double, damping);
        QFETCH(double, overshoot);
        QFETCH(double, peakTime);
        Spring spring(response, damping);
        QVERIFY(spring.isSettled());
        const Run seen = run(spring);
        QVERIFY2(std::abs((seen.peak - 100) - overshoot) < 0.05 + overshoot * 0.02, qPrintable(QString::number(seen.peak)));
        if (overshoot > 0)
            QVERIFY2(std::abs(seen.peakTime - peakTime) <= frame, qPrintable(QString::number(seen.peakTime)));
        QVERIFY(seen.monotoneToTarget);
        QVERIFY2(seen.settledAfter > response && seen.settledAfter < 5 * response,
                 qPrintable(QString::number(seen.settledAfter)));
        QCOMPARE(spring.value(), 100.0);
        QCOMPARE(spring.velocity(), 0.0);
    }

    // One long step lands where many short ones do.
    void stepsOfAnyLength()
    {
        Spring fine(0.2, 0.85);
        Spring coarse(0.2, 0.85);
        fine.setTarget(300);
        coarse.setTarget(300);
        for (int step = 0; step < 12; ++step)
            fine.advance(frame);
        coarse.advance(12 * frame);
        QVERIFY(fine.value() > 0 && fine.value() < 300);
        QVERIFY(std::abs(fine.value() - coarse.value()) < 1e-9);
        QVERIFY(std::abs(fine.velocity() - coarse.velocity()) < 1e-9);
        // Nothing moves without time.
        coarse.advance(0);
        coarse.advance(-1);
        QCOMPARE(coarse.value(), fine.value());
    }

    // A new target on the way: it goes on from where it is at the speed it
    // has, turns and comes to rest there; a jump is at rest at once.
    void newTargetOnTheWay()
    {
        Spring spring(0.2, 0.85);
        spring.setTarget(100);
        spring.advance(0.05);
        const double value = spring.value();
        const double velocity = spring.velocity();
        QVERIFY(value > 0 && value < 100 && velocity > 0);
        spring.setTarget(-50);
        QCOMPARE(spring.value(), value);
        QCOMPARE(spring.velocity(), velocity);
        spring.advance(0.001);
        QVERIFY(velocity * 0.001 > 0.5);
        QVERIFY2(std::abs(spring.value() - (value + velocity * 0.001)) < 0.1, qPrintable(QString::number(spring.value())));
        double highest = spring.value();
        for (int step = 0; step < 600 && !spring.isSettled(); ++step) {
            spring.advance(frame);
            highest = std::max(highest, spring.value());
        }
        QVERIFY(highest > value); // carried on before it turned
        QVERIFY(spring.isSettled());
        QCOMPARE(spring.value(), -50.0);

        spring.jumpTo(7);
        QVERIFY(spring.isSettled());
        QCOMPARE(spring.target(), 7.0);
        spring.advance(1);
        QCOMPARE(spring.value(), 7.0);
    }
    // A view's value on its spring: the clock beats only while it moves,
    // each beat is told, and coming to rest is told once.
    void animationRunsOnlyWhileMoving()
    {
        SpringAnimation animation(0.2, 0.85);
        QSignalSpy moved(&animation, &SpringAnimation::valueChanged);
        QSignalSpy rested(&animation, &SpringAnimation::settled);
        animation.setTarget(0); // already there
        QVERIFY(!animation.frameClock()->isRunning());

        animation.setTarget(1);
        QVERIFY(animation.frameClock()->isRunning());
        int beats = 0;
        while (animation.frameClock()->isRunning() && beats < 600) {
            animation.frameClock()->step(frame);
            ++beats;
        }
        QVERIFY(beats > 10 && beats < 600);
        QCOMPARE(animation.value(), 1.0);
        QCOMPARE(moved.size(), beats);
        QCOMPARE(moved.last().at(0).toDouble(), 1.0);
        QCOMPARE(rested.size(), 1);

        // A jump stops the beat where it is and is told once.
        animation.setTarget(0);
        animation.frameClock()->step(frame);
        moved.clear();
        animation.jumpTo(0.25);
        QVERIFY(!animation.frameClock()->isRunning());
        QCOMPARE(moved.size(), 1);
        QCOMPARE(animation.value(), 0.25);
        QVERIFY(animation.isSettled());
        animation.jumpTo(0.25);
        QCOMPARE(moved.size(), 1);
    }
};

QTEST_GUILESS_MAIN(SpringTest)
#include "tst_spring.moc"
