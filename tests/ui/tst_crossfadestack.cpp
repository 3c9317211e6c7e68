#include "support/Fades.h"
#include "ui/CrossFadeStack.h"

#include <QTest>

// Pages that cross-fade, switched at once.
class CrossFadeStackTest : public QObject {
    Q_OBJECT
private slots:
    // A switch at once, or made off screen, shows the new page whole and
    // hides the others, also in the middle of a fade: no fade left under
    // way hides the page shown afterwards or dims it.
    void aSwitchAtOnceLeavesNoFadeBehind_data()
    {
        QTest::addColumn<bool>("offScreen");
        QTest::newRow("at once") << false;
        QTest::newRow("off screen") << true;
    }
    void aSwitchAtOnceLeavesNoFadeBehind()
    {
        QFETCH(bool, offScreen);
        QWidget host;
        CrossFadeStack stack(&host, 200);
        auto *first = new QWidget(&host);
        auto *second = new QWidget(&host);
        stack.addPage(first);
        stack.addPage(second);
        QList<QWidget *> left;
        connect(&stack, &CrossFadeStack::pageLeft, &host, [&](QWidget *page) { left.append(page); });
        host.resize(200, 100);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        stack.setCurrentPage(second);
        stepFades({first, second}, 100);
        QVERIFY(first->isVisible() && !first->isEnabled());
        QVERIFY(opacity(first) > 0 && opacity(first) < 1);

        if (offScreen)
            host.hide();
        // (Off screen, a cross-fade asked for comes at once too.)
        stack.setCurrentPage(first, offScreen);
        host.show();
        QCOMPARE(stack.currentPage(), first);
        QVERIFY(!runningFade(first) && !runningFade(second));
        QCOMPARE(opacity(first), 1.0);
        QVERIFY(first->isEnabled());
        QVERIFY(!second->isVisible() && second->isEnabled());
        QCOMPARE(left, QList<QWidget *>{second});
    }
};

QTEST_MAIN(CrossFadeStackTest)
#include "tst_crossfadestack.moc"
