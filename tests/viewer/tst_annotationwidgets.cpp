#include "AnnotationFixture.h"

#include "ui/ContentUnavailableView.h"
#include "viewer/AnnotationInspector.h"
#include "viewer/AnnotationLinkRow.h"
#include "viewer/AnnotationLinksOverlay.h"
#include "viewer/AnnotationList.h"
#include "viewer/AnnotationViewState.h"
#include "viewer/ImageAnnotations.h"

#include <QAbstractButton>
#include <QAction>
#include <QDesktopServices>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

// Records the addresses the desktop is asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

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
        UrlRecorder recorder;
        for (const char *scheme : {"http", "https", "mailto", "javascript", "file"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &recorder, "open");
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
        QCOMPARE(recorder.opened, QList<QUrl>({QUrl("https://en.anatomy.org/aorta")}));
        QVERIFY(dismissed.isEmpty());
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
        for (const char *scheme : {"http", "https", "mailto", "javascript", "file"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
};

QTEST_MAIN(AnnotationWidgetsTest)
#include "tst_annotationwidgets.moc"
