#include "AnnotationFixture.h"

#include "support/StubPrograms.h"

#include "ui/ContentUnavailableView.h"
#include "viewer/AnnotationInspector.h"
#include "viewer/AnnotationLinkRow.h"
#include "viewer/AnnotationLinksOverlay.h"
#include "viewer/AnnotationList.h"
#include "viewer/AnnotationViewState.h"
#include "viewer/ImageAnnotations.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QAction>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

// The drawer's list, the group switches and the links panel, driven with
// the mouse and the keyboard as the screen would host them.
class AnnotationWidgetsTest : public QObject {
    Q_OBJECT

    AnnotationFixture *fixture = nullptr;
    ImageAnnotations *annotations = nullptr;
    AnnotationViewState *state = nullptr;

    static QStringList names(const QList<AnnotationRow> &rows)
    {
        QStringList shown;
        for (const AnnotationRow &row : rows)
            shown.append(row.displayName());
        return shown;
    }

private slots:
    void init()
    {
        fixture = new AnnotationFixture;
        annotations = new ImageAnnotations;
        annotations->setImage(fixture->image.get());
        state = new AnnotationViewState;
    }
    void cleanup()
    {
        delete state;
        delete annotations;
        delete fixture;
    }

    void listRowsHighlightAndLinks()
    {
        const QUuid b = fixture->point("Bone & marrow", "Bones", 0.1, 0.1)->id();
        const QUuid a = fixture->region("Artery", "Vessels", AnnotationFixture::square(0.5, 0.5, 0.2),
                                        {webLink("", "example.org"), webLink("", "javascript:1")})->id();
        AnnotationList list(annotations, state);
        // The screen answers the list's requests.
        connect(&list, &AnnotationList::highlightRequested, state, &AnnotationViewState::setHighlightedID);
        QSignalSpy links(&list, &AnnotationList::showLinksRequested);
        list.resize(300, list.sizeHint().height());
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QCOMPARE(names(list.rows()), QStringList({"Artery", "Bone & marrow"}));
        QVERIFY(!list.linkButtonRect(b));

        QTest::mouseClick(&list, Qt::LeftButton, {}, list.rowRect(b)->topLeft() + QPoint(20, 5));
        QCOMPARE(state->highlightedID(), b);
        QTest::mouseClick(&list, Qt::LeftButton, {}, list.rowRect(a)->topLeft() + QPoint(20, 5));
        QCOMPARE(state->highlightedID(), a);
        // Again on the highlighted row: nothing highlighted.
        QTest::mouseClick(&list, Qt::LeftButton, {}, list.rowRect(a)->topLeft() + QPoint(20, 5));
        QCOMPARE(state->highlightedID(), std::nullopt);
        QTest::mouseClick(&list, Qt::LeftButton, {}, list.linkButtonRect(a)->center());
        QCOMPARE(links.size(), 1);
        QCOMPARE(links.first().first().value<QUuid>(), a);
        QCOMPARE(state->highlightedID(), std::nullopt);

        // Hidden groups leave the list; with everything hidden it says so.
        state->setDisabledGroups({"Bones", "Vessels"});
        auto *empty = list.findChild<ContentUnavailableView *>();
        QVERIFY(list.rows().isEmpty() && empty->isVisible());
        QCOMPARE(empty->title(), QStringLiteral("Annotations Hidden"));
        // The list follows the library.
        fixture->point("Nerve", "", 0.2, 0.2);
        QCOMPARE(names(list.rows()), QStringList({"Nerve"}));
        QVERIFY(!empty->isVisible());
    }

    // Each row as assistive technologies find it: named by its display
    // name, valued by its groups, its link button a child named for it.
    void listRowsAreAccessible_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QList<AnnotationLink>>("links");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("linkButton"); // empty: none
        const QList<AnnotationLink> one{webLink("", "example.org")};
        QTest::newRow("groups and links") << "Femur" << "Bones, Joints" << one << "Femur" << "Bones, Joints"
                                          << "Show links for Femur";
        QTest::newRow("empty label") << "" << "" << one << "Point" << "" << "Show links for Point";
        QTest::newRow("blank label") << "  " << "Bones" << one << "  " << "Bones" << "Show links for   ";
        QTest::newRow("unusable links only") << "Femur" << "" << QList<AnnotationLink>{webLink("", "javascript:1")}
                                             << "Femur" << "" << "";
    }
    void listRowsAreAccessible()
    {
        QFETCH(QString, label);
        QFETCH(QString, group);
        QFETCH(QList<AnnotationLink>, links);
        QFETCH(QString, linkButton);
        const QUuid id = fixture->point(label, group, 0.5, 0.5, links)->id();
        fixture->point("Zygoma", "", 0.2, 0.2);
        AnnotationList list(annotations, state);
        connect(&list, &AnnotationList::highlightRequested, state, &AnnotationViewState::setHighlightedID);
        QSignalSpy linksAsked(&list, &AnnotationList::showLinksRequested);
        list.resize(300, list.sizeHint().height());
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));

        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(&list);
        QCOMPARE(accessible->role(), QAccessible::List);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Annotations"));
        QCOMPARE(accessible->childCount(), 2);
        QAccessibleInterface *row = accessible->child(0);
        QCOMPARE(row->role(), QAccessible::ListItem);
        QTEST(row->text(QAccessible::Name), "name");
        QTEST(row->text(QAccessible::Value), "value");
        QCOMPARE(row->parent(), accessible);
        QCOMPARE(accessible->indexOfChild(row), 0);
        QCOMPARE(accessible->child(1)->text(QAccessible::Name), QStringLiteral("Zygoma"));
        QCOMPARE(row->rect(), QRect(list.mapToGlobal(list.rowRect(id)->topLeft()), list.rowRect(id)->size()));

        // Pressed as a click: highlighted, then not.
        QVERIFY(!row->state().selected);
        row->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(state->highlightedID(), id);
        QVERIFY(row->state().selected && !accessible->child(1)->state().selected);
        row->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(state->highlightedID(), std::nullopt);

        QCOMPARE(row->childCount(), linkButton.isEmpty() ? 0 : 1);
        if (!linkButton.isEmpty()) {
            QAccessibleInterface *button = row->child(0);
            QCOMPARE(button->role(), QAccessible::Button);
            QCOMPARE(button->text(QAccessible::Name), linkButton);
            QCOMPARE(button->parent(), row);
            QCOMPARE(row->indexOfChild(button), 0);
            QVERIFY(row->rect().contains(button->rect()));
            button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            QCOMPARE(linksAsked.size(), 1);
            QCOMPARE(linksAsked.first().first().value<QUuid>(), id);
        }
        // Hidden by its group: no longer there.
        state->setDisabledGroups({group.isEmpty() ? QStringLiteral("Ungrouped") : group.section(',', 0, 0),
                                  group.section(", ", 1, 1)});
        QVERIFY(!row->isValid());
    }

    // Tab and Shift+Tab stop at each row and each link button, in order,
    // and leave the list past either end; Space and Return act as clicks.
    void keyboardReachesRowsAndLinkButtons_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("focus"); // "before", "A", "A link", ..., "after"
        QTest::addColumn<QString>("asked");
        const int tab = Qt::Key_Tab, back = Qt::Key_Backtab;
        QTest::newRow("into the list") << QList<int>{tab} << "A" << "";
        QTest::newRow("to the link button") << QList<int>{tab, tab} << "A link" << "";
        QTest::newRow("past a row without links") << QList<int>{tab, tab, tab, tab} << "C" << "";
        QTest::newRow("out of the list") << QList<int>{tab, tab, tab, tab, tab, tab} << "after" << "";
        QTest::newRow("back in at the end") << QList<int>{tab, tab, tab, tab, tab, tab, back} << "C link" << "";
        QTest::newRow("back out at the start") << QList<int>{tab, back} << "before" << "";
        QTest::newRow("space on a row") << QList<int>{tab, Qt::Key_Space} << "A" << "highlight A";
        QTest::newRow("return twice") << QList<int>{tab, tab, tab, Qt::Key_Return, Qt::Key_Return} << "B"
                                      << "highlight B, highlight none";
        QTest::newRow("enter on a link button") << QList<int>{tab, tab, tab, tab, tab, Qt::Key_Enter} << "C link"
                                                << "links C";
    }
    void keyboardReachesRowsAndLinkButtons()
    {
        QFETCH(QList<int>, keys);
        const QList<AnnotationLink> link{webLink("", "example.org")};
        const QUuid a = fixture->point("A", "", 0.1, 0.1, link)->id();
        const QUuid b = fixture->point("B", "", 0.2, 0.2)->id();
        const QUuid c = fixture->region("C", "", AnnotationFixture::square(0.5, 0.5, 0.2), link)->id();
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *before = new QLineEdit(&window);
        auto *list = new AnnotationList(annotations, state, &window);
        auto *after = new QLineEdit(&window);
        for (QWidget *part : {static_cast<QWidget *>(before), static_cast<QWidget *>(list), static_cast<QWidget *>(after)})
            layout->addWidget(part);
        QStringList asked;
        const auto name = [&](const std::optional<QUuid> &id) {
            return !id ? "none" : *id == a ? "A" : *id == b ? "B" : *id == c ? "C" : "?";
        };
        connect(list, &AnnotationList::highlightRequested, this, [&](const std::optional<QUuid> &id) {
            asked.append(QStringLiteral("highlight ") + name(id));
            state->setHighlightedID(id);
        });
        connect(list, &AnnotationList::showLinksRequested, this,
                [&](const QUuid &id) { asked.append(QStringLiteral("links ") + name(id)); });
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        before->setFocus();
        for (int key : keys) {
            if (key == Qt::Key_Backtab)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
            else
                QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        }
        QString focus = before->hasFocus() ? "before" : after->hasFocus() ? "after" : "?";
        QAccessibleInterface *focused = QAccessible::queryAccessibleInterface(list)->focusChild();
        if (list->hasFocus()) {
            QVERIFY(list->focusStop());
            focus = QString(name(list->focusStop()->id)) + (list->focusStop()->linkButton ? " link" : "");
            // The element in focus says so, and no other.
            QVERIFY(focused && focused->state().focused);
            QCOMPARE(focused->text(QAccessible::Name),
                     list->focusStop()->linkButton ? "Show links for " + QString(name(list->focusStop()->id))
                                                   : QString(name(list->focusStop()->id)));
            int focusedElements = 0;
            QAccessibleInterface *rows = QAccessible::queryAccessibleInterface(list);
            for (int i = 0; i < rows->childCount(); ++i) {
                focusedElements += rows->child(i)->state().focused;
                for (int j = 0; j < rows->child(i)->childCount(); ++j)
                    focusedElements += rows->child(i)->child(j)->state().focused;
            }
            QCOMPARE(focusedElements, 1);
        } else {
            QVERIFY(!focused);
        }
        QTEST(focus, "focus");
        QTEST(asked.join(", "), "asked");
    }

    // The focus stays with its annotation while the list changes, and goes
    // to the first row when that annotation leaves it.
    void focusFollowsTheRows()
    {
        const QList<AnnotationLink> link{webLink("", "example.org")};
        fixture->point("A", "Bones", 0.1, 0.1);
        const QUuid b = fixture->point("B", "Nerves", 0.2, 0.2, link)->id();
        AnnotationList list(annotations, state);
        list.show();
        list.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&list));
        list.setFocus(Qt::TabFocusReason);
        QTest::keyClick(&list, Qt::Key_Tab);
        QTest::keyClick(&list, Qt::Key_Tab);
        QCOMPARE(list.focusStop(), AnnotationList::FocusStop({b, true}));
        fixture->point("0", "", 0.3, 0.3);
        QCOMPARE(list.focusStop(), AnnotationList::FocusStop({b, true}));
        state->setDisabledGroups({"Nerves"});
        QCOMPARE(list.focusStop(), AnnotationList::FocusStop({list.rows().constFirst().id, false}));
        state->setDisabledGroups({"Nerves", "Bones", "Ungrouped"});
        QCOMPARE(list.focusStop(), std::nullopt);
    }

    void groupSwitches()
    {
        fixture->point({}, "Bones & Joints, Vessels", 0, 0);
        fixture->point({}, "", 0, 0);
        fixture->region({}, "Vessels", {{0, 0}, {1, 1}});
        AnnotationInspector inspector(annotations, state);
        connect(&inspector, &AnnotationInspector::groupToggled, state, &AnnotationViewState::toggleGroup);
        inspector.resize(400, inspector.sizeHint().height());
        inspector.show();
        QVERIFY(QTest::qWaitForWindowExposed(&inspector));
        QCOMPARE(inspector.summaries().size(), 3);
        // "&" is a character of the name, not a keyboard mnemonic.
        QAbstractButton *bones = inspector.chip("Bones & Joints");
        QVERIFY(bones && bones->text().isEmpty());
        QCOMPARE(bones->accessibleName(), QStringLiteral("Bones & Joints"));
        QVERIFY(bones->shortcut().isEmpty());

        QTest::mouseClick(inspector.chip("Vessels"), Qt::LeftButton);
        QCOMPARE(state->disabledGroups(), QSet<QString>({"Vessels"}));
        QTest::mouseClick(inspector.chip("Vessels"), Qt::LeftButton);
        QVERIFY(state->disabledGroups().isEmpty());
        // The same switch, kept while the counts change.
        QAbstractButton *vessels = inspector.chip("Vessels");
        fixture->point({}, "Vessels", 0, 0);
        QCOMPARE(inspector.chip("Vessels"), vessels);
        QCOMPARE(vessels->accessibleDescription(), QStringLiteral("3 annotations, shown"));
        // Numbers as the user's locale writes them.
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
        fixture->point({}, "Vessels", 0, 0);
        const QString arabic = vessels->accessibleDescription();
        QLocale::setDefault(before);
        QCOMPARE(arabic, QString(QChar(0x0664)) + QStringLiteral(" annotations, shown"));

        for (const auto &point : fixture->points)
            point->setImage(nullptr);
        for (const auto &region : fixture->regions)
            region->setImage(nullptr);
        QVERIFY(inspector.summaries().isEmpty());
        QVERIFY(!inspector.chip("Vessels"));
    }

    void linksPanel()
    {
        QWidget screen;
        screen.resize(800, 600);
        AnnotationLinksOverlay overlay(&screen);
        QSignalSpy dismissed(&overlay, &AnnotationLinksOverlay::dismissRequested);
        QSignalSpy failed(&overlay, &AnnotationLinksOverlay::openFailed);
        StubPrograms programs;
        QVERIFY(programs.add(QStringLiteral("xdg-open")));
        overlay.setContent("Aorta & branches",
                           {webLink("", " www.bbc.co.uk/news "), webLink("Atlas <b>entry</b>", "en.anatomy.org/aorta"),
                            webLink("", "javascript:alert(1)"), webLink("Local", "file:///etc/passwd"),
                            webLink("", "mailto:teacher@example.org"), webLink("", "   ")});
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        QCOMPARE(overlay.geometry(), screen.rect());
        QStringList rows;
        for (const AnnotationLinkRow *row : overlay.rows())
            rows.append(row->title() + " | " + row->host());
        QCOMPARE(rows, QStringList({"BBC | www.bbc.co.uk", "Atlas <b>entry</b> | en.anatomy.org",
                                    "mailto:teacher@example.org | "}));

        // A row opens its address and leaves the panel open.
        QTest::mouseClick(overlay.rows()[1], Qt::LeftButton);
        QTRY_COMPARE(programs.argumentsOf(QStringLiteral("xdg-open")), QStringList{"https://en.anatomy.org/aorta"});
        QVERIFY(dismissed.isEmpty());
        QTRY_COMPARE(StubPrograms::running(), 0);
        QVERIFY(failed.isEmpty());
        // Clicks on the panel keep it; Escape, Close and the backdrop ask to
        // close it.
        QTest::mouseClick(&overlay, Qt::LeftButton, {}, overlay.panel()->geometry().center());
        QVERIFY(dismissed.isEmpty());
        screen.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&screen));
        QTest::keyClick(&screen, Qt::Key_Escape);
        QCOMPARE(dismissed.size(), 1);
        QTest::mouseClick(overlay.findChild<QToolButton *>(), Qt::LeftButton);
        QCOMPARE(dismissed.size(), 2);
        QTest::mouseClick(&overlay, Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(dismissed.size(), 3);

        // Many links scroll within the panel's largest height; none leave
        // the header alone. It follows its screen's size.
        QList<AnnotationLink> many;
        for (int i = 0; i < 40; ++i)
            many.append(webLink(QString::number(i), "example.org"));
        overlay.setContent("Many", many);
        QCOMPARE(overlay.panel()->height(), 320);
        overlay.setContent("None", {});
        QVERIFY(overlay.rows().isEmpty() && overlay.panel()->height() > 0 && overlay.panel()->height() < 100);
        screen.resize(300, 200);
        QCOMPARE(overlay.geometry(), screen.rect());
        QCOMPARE(overlay.panel()->width(), 300 - 48);
    }

    // A click hands the address to the desktop's helper; when that cannot
    // start or finds no program for it, the panel says so once, naming the
    // link, also when it has been closed meanwhile.
    void linksOpenWithTheDesktop_data()
    {
        QTest::addColumn<QString>("helper"); // none, "opens" or "fails"
        QTest::addColumn<AnnotationLink>("link");
        QTest::addColumn<QString>("opened"); // what the helper is given
        QTest::addColumn<QString>("message"); // none: no failure
        QTest::newRow("opens") << "opens" << webLink("", "en.anatomy.org/aorta") << "https://en.anatomy.org/aorta"
                               << QString();
        QTest::newRow("opens an address with a blank and a letter beyond ASCII")
            << "opens" << webLink("", "en.anatomy.org/Sch\u00E4del%202") << "https://en.anatomy.org/Sch%C3%A4del%202"
            << QString();
        QTest::newRow("no browser") << "fails" << webLink("", " www.bbc.co.uk/news ") << "https://www.bbc.co.uk/news"
                                    << "No browser could open \u201CBBC\u201D. Its address is "
                                       "\u201Chttps://www.bbc.co.uk/news\u201D.";
        QTest::newRow("no helper") << QString() << webLink("Atlas <b>entry</b>", "https://en.anatomy.org/a%20b")
                                   << QString()
                                   << "No browser could open \u201CAtlas <b>entry</b>\u201D. Its address is "
                                      "\u201Chttps://en.anatomy.org/a b\u201D.";
        QTest::newRow("no mail program") << "fails" << webLink("", "mailto:teacher@example.org")
                                         << "mailto:teacher@example.org"
                                         << "No e-mail program could be started for "
                                            "\u201Cmailto:teacher@example.org\u201D.";
        QTest::newRow("no mail program, labelled")
            << "fails" << webLink("Teacher", "MAILTO:teacher@example.org") << "mailto:teacher@example.org"
            << "No e-mail program could be started for \u201CTeacher\u201D. Its address is "
               "\u201Cmailto:teacher@example.org\u201D.";
    }
    void linksOpenWithTheDesktop()
    {
        QFETCH(QString, helper);
        QFETCH(AnnotationLink, link);
        QFETCH(QString, opened);
        QFETCH(QString, message);
        StubPrograms programs;
        if (!helper.isEmpty())
            QVERIFY(programs.add(QStringLiteral("xdg-open"), helper == "fails"));
        QWidget screen;
        screen.resize(800, 600);
        AnnotationLinksOverlay overlay(&screen);
        QSignalSpy failed(&overlay, &AnnotationLinksOverlay::openFailed);
        overlay.setContent("Aorta", {link});
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        QCOMPARE(overlay.rows().size(), 1);
        QTest::mouseClick(overlay.rows().first(), Qt::LeftButton);
        overlay.hide();
        if (!opened.isEmpty())
            QTRY_COMPARE(programs.argumentsOf(QStringLiteral("xdg-open")), QStringList{opened});
        if (!message.isEmpty())
            QTRY_COMPARE(failed.size(), 1);
        QTRY_COMPARE(StubPrograms::running(), 0);
        QCOMPARE(failed.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QCOMPARE(failed.first().at(0).toString(), QStringLiteral("Open Failed"));
            QCOMPARE(failed.first().at(1).toString(), message);
        }
    }
};

QTEST_MAIN(AnnotationWidgetsTest)
#include "tst_annotationwidgets.moc"
