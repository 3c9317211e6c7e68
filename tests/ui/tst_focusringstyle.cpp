#include "support/FocusRings.h"
#include "ui/FocusRingStyle.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

#include <functional>

using MakeControl = std::function<QWidget *(QWidget *parent)>;
Q_DECLARE_METATYPE(MakeControl)

class FocusRingStyleTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        FocusRingStyle::install();
        FocusRingStyle::install(); // once is enough
        QVERIFY(qobject_cast<FocusRingStyle *>(QApplication::style()));
    }

    // Each of the desktop's controls shows the accent ring just inside its
    // outline, and nothing else of the focus (no faint box, no outline of
    // another colour).
    void controlsShowTheAccentRing_data()
    {
        QTest::addColumn<MakeControl>("make");
        QTest::addColumn<bool>("ringed");
        const auto toolButton = [](bool autoRaise) {
            return [autoRaise](QWidget *parent) -> QWidget * {
                auto *button = new QToolButton(parent);
                button->setText(QStringLiteral("Library"));
                button->setAutoRaise(autoRaise);
                button->setFocusPolicy(Qt::TabFocus);
                return button;
            };
        };
        QTest::newRow("a toolbar's button") << MakeControl(toolButton(true)) << true;
        QTest::newRow("a tool button") << MakeControl(toolButton(false)) << true;
        QTest::newRow("a push button") << MakeControl([](QWidget *parent) -> QWidget * {
            return new QPushButton(QStringLiteral("Export Library…"), parent);
        }) << true;
        QTest::newRow("a text field") << MakeControl([](QWidget *parent) -> QWidget * {
            auto *field = new QLineEdit(QStringLiteral("Brain"), parent);
            field->setReadOnly(true); // no blinking caret
            return field;
        }) << true;
        QTest::newRow("a field without a frame") << MakeControl([](QWidget *parent) -> QWidget * {
            auto *field = new QLineEdit(QStringLiteral("Brain"), parent);
            field->setReadOnly(true);
            field->setFrame(false);
            return field;
        }) << false;
        QTest::newRow("a pop-up button") << MakeControl([](QWidget *parent) -> QWidget * {
            auto *picker = new QComboBox(parent);
            picker->addItems({QStringLiteral("MR"), QStringLiteral("CT")});
            return picker;
        }) << true;
        QTest::newRow("a spin box") << MakeControl([](QWidget *parent) -> QWidget * {
            auto *box = new QSpinBox(parent);
            box->setReadOnly(true);
            return box;
        }) << true;
        QTest::newRow("a check box") << MakeControl([](QWidget *parent) -> QWidget * {
            return new QCheckBox(QStringLiteral("Sync via iCloud"), parent);
        }) << true;
        QTest::newRow("a radio button") << MakeControl([](QWidget *parent) -> QWidget * {
            return new QRadioButton(QStringLiteral("Years"), parent);
        }) << true;
    }

    void controlsShowTheAccentRing()
    {
        QFETCH(MakeControl, make);
        QFETCH(bool, ringed);
        QWidget window;
        auto *layout = new QHBoxLayout(&window);
        QWidget *control = make(&window);
        layout->addWidget(control);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const FocusLook look(control);
        const QColor accent = AppStyle::accent(control->palette());
        QCOMPARE(look.ringed(control->rect(), accent, 2), ringed);
        QVERIFY(look.changesOnlyTheRing(control->rect()));
    }

    // A check box laid across a wide row rings its box and label only.
    void aStretchedCheckBoxRingsItsBoxAndLabel()
    {
        QCheckBox box(QStringLiteral("Sync via iCloud"));
        box.resize(box.sizeHint().width() + 300, box.sizeHint().height());
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const FocusLook look(&box);
        const QRect content(QPoint(), box.sizeHint());
        QVERIFY(look.ringed(content, AppStyle::accent(box.palette()), 4));
        QVERIFY(look.changedArea().right() <= content.right() + 4);
    }

    // A tab bar rings its current tab.
    void aTabBarRingsItsCurrentTab()
    {
        QTabBar bar;
        bar.addTab(QStringLiteral("Library"));
        bar.addTab(QStringLiteral("iCloud"));
        bar.setCurrentIndex(1);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        const FocusLook look(&bar);
        const QColor accent = AppStyle::accent(bar.palette());
        QVERIFY(look.ringed(bar.tabRect(1), accent, 2));
        QVERIFY(!look.ringed(bar.tabRect(0), accent, 6));
        QVERIFY(look.changesOnlyTheRing(bar.tabRect(1)));
    }
};

QTEST_MAIN(FocusRingStyleTest)
#include "tst_focusringstyle.moc"
