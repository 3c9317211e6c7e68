#include "MainWindowTestSupport.h"

#include <QAccessible>
#include <QToolButton>

class ContentPanesTest : public QObject {
    Q_OBJECT
private slots:
    // The filters button says whether a filter is active as its accessible
    // value ("Active" or "Off"), whether the panel is shown or not, and is
    // pressed as a button.
    void theFiltersButtonSaysWhetherFiltersAreActive_data()
    {
        QTest::addColumn<QList<bool>>("activeFilters"); // in turn
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<QString>("value");
        QTest::newRow("no filter") << QList<bool>{false} << false << "Off";
        QTest::newRow("a filter") << QList<bool>{true} << false << "Active";
        QTest::newRow("a filter, the panel shown") << QList<bool>{true} << true << "Active";
        QTest::newRow("the last filter cleared") << QList<bool>{true, false} << false << "Off";
        QTest::newRow("the last filter cleared, the panel shown") << QList<bool>{true, false} << true << "Off";
    }
    void theFiltersButtonSaysWhetherFiltersAreActive()
    {
        QFETCH(QList<bool>, activeFilters);
        QFETCH(bool, expanded);
        QFETCH(QString, value);
        UserDefaults defaults;
        FakeCloudAccountService accounts;
        AppState appState(defaults, accounts);
        ContentSidebar column(appState, defaults);
        column.setHasContent(true);
        column.sidebar()->setFiltersExpanded(expanded);
        column.show();
        QAccessibleInterface *button = QAccessible::queryAccessibleInterface(column.filtersButton());
        QVERIFY(button && button->valueInterface() && button->actionInterface());
        for (bool active : activeFilters)
            column.setHasActiveFilters(active);
        QCOMPARE(button->valueInterface()->currentValue().toString(), value);
        QCOMPARE(button->text(QAccessible::Value), value);
        QVERIFY(button->text(QAccessible::Description) != value);
        QCOMPARE(button->text(QAccessible::Name), QStringLiteral("Filters"));
        // Pressed as a button: the panel opens or closes.
        button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(column.sidebar()->isFiltersExpanded(), !expanded);
    }
};

QTEST_MAIN(ContentPanesTest)
#include "tst_contentpanes.moc"
