#include "support/Fades.h"
#include "ui/CrossFadeStack.h"

#include <QTest>

#include <memory>

namespace {

constexpr int milliseconds = 200;

// A page of one colour.
QWidget *colouredPage(QWidget *host, const QColor &colour)
{
    auto *page = new QWidget(host);
    page->setAutoFillBackground(true);
    QPalette palette = page->palette();
    palette.setColor(QPalette::Window, colour);
    page->setPalette(palette);
    return page;
}

QImage filled(QSize size, const QColor &colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

} // namespace

// Pages that cross-fade, seen as they are painted.
class CrossFadeStackTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> host;
    CrossFadeStack *stack = nullptr;
    QList<QWidget *> pages;
    const QList<QColor> colours{QColor(200, 30, 30), QColor(20, 60, 220), QColor(30, 180, 60)};

private slots:
    void init()
    {
        host = std::make_unique<QWidget>();
        stack = new CrossFadeStack(host.get(), milliseconds);
        pages.clear();
        for (const QColor &colour : colours) {
            pages.append(colouredPage(host.get(), colour));
            stack->addPage(pages.last());
        }
        host->resize(200, 100);
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
    }
    void cleanup() { host.reset(); }

    // Through a switch the new page comes into view under the picture in
    // view before, which fades out over it: halfway, the two mixed evenly,
    // each drawn as it is at rest. A switch halfway through another (back,
    // or on to a third page) turns round from the mix then in view. The
    // page leaving is out of view, and out of reach, at once, and the page
    // coming takes the clicks.
    void theSwitchMixesBothPages_data()
    {
        QTest::addColumn<QList<int>>("switches"); // pages switched to in turn, all but the last halfway
        QTest::newRow("a switch") << QList<int>{1};
        QTest::newRow("back halfway") << QList<int>{1, 0};
        QTest::newRow("on to a third page halfway") << QList<int>{1, 2};
    }
    void theSwitchMixesBothPages()
    {
        QFETCH(QList<int>, switches);
        const int last = switches.takeLast();
        for (int page : switches) {
            stack->setCurrentPage(pages.at(page));
            stepFades(host.get(), milliseconds / 2);
        }
        QWidget *leaving = stack->currentPage();
        QWidget *coming = pages.at(last);
        bool atOnce = false;
        const QString fault = crossFadeFault(host.get(), host.get(), milliseconds, [&] {
            stack->setCurrentPage(coming);
            atOnce = stack->currentPage() == coming && stack->runningFade()
                     && stack->runningFade()->duration() == milliseconds && !leaving->isVisible()
                     && leaving->isEnabled() && coming->isVisible() && coming->isEnabled()
                     && host->childAt(host->rect().center()) == coming;
        });
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QVERIFY(atOnce);
        QVERIFY(!stack->runningFade());
        QVERIFY(pictureDistance(inWindow(host.get()), filled(host->size(), colours.at(last))) <= 2);
    }

    // A switch at once, or made off screen, shows the new page whole and
    // hides the others, also in the middle of a fade: no fade left under
    // way draws over the page shown afterwards; nor does one the widget's
    // being hidden cut short.
    void aSwitchAtOnceLeavesNoFadeBehind_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("shown");
        QTest::newRow("at once") << "at once" << 0;
        QTest::newRow("off screen") << "off screen" << 0;
        QTest::newRow("hidden meanwhile") << "hidden" << 1;
    }
    void aSwitchAtOnceLeavesNoFadeBehind()
    {
        QFETCH(QString, how);
        QFETCH(int, shown);
        stack->setCurrentPage(pages.at(1));
        stepFades(host.get(), milliseconds / 2);
        if (how != "at once")
            host->hide();
        // (Off screen, a cross-fade asked for comes at once too.)
        if (how != "hidden")
            stack->setCurrentPage(pages.at(0), how == "off screen");
        host->show();
        QCOMPARE(stack->currentPage(), pages.at(shown));
        QVERIFY(!stack->runningFade());
        for (QWidget *page : pages)
            QCOMPARE(page->isVisible(), page == pages.at(shown));
        QVERIFY(pictureDistance(inWindow(host.get()), filled(host->size(), colours.at(shown))) <= 2);
    }
};

QTEST_MAIN(CrossFadeStackTest)
#include "tst_crossfadestack.moc"
