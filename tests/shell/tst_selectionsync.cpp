#include "ShellTestSupport.h"

#include "platform/UserDefaults.h"
#include "shell/AppState.h"
#include "shell/ContentViewModel.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QString idText(const AtlasImage *image)
{
    return image->id().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace

// The opened image, the grid selection, the sidebar selection and the
// window's saved image kept in step; keyboard navigation.
class SelectionSyncTest : public QObject {
    Q_OBJECT
private:
    UserDefaults m_defaults;
    SilentCloudAccountService m_accounts;

private slots:
    void newWindowStartsOnTheGrid()
    {
        TestLibrary library;
        AppState state(m_defaults, m_accounts);
        ContentViewModel model(library.context(), state);
        QVERIFY(model.sidebarSelection().isEmpty());
        QCOMPARE(model.gridSelection(), nullptr);
        QCOMPARE(model.openedImage(), nullptr);
        QVERIFY(model.focusGridOnAppear());
        QVERIFY(!model.hasActiveFilters());
        QVERIFY(!model.isLibraryFiltersExpanded());
        QCOMPARE(model.importDestination(), PendingImageImport::Destination::newEntry());
        QVERIFY(!model.hasContent());
        library.series(QStringLiteral("Empty"));
        QVERIFY(model.hasContent());
        QVERIFY(!model.hasImages());
    }

    void restoresTheSavedImage()
    {
        TestLibrary library;
        AppState state(m_defaults, m_accounts);
        Series *series = library.series(QStringLiteral("S"));
        AtlasImage *image = library.image(QStringLiteral("a"), series);
        library.save();

        ContentViewModel compact(library.context(), state);
        compact.setHorizontalSizeClass(ContentViewModel::SizeClass::compact);
        compact.setSelectedImageID(idText(image));
        compact.restoreOpenedImage();
        QCOMPARE(compact.openedImage(), nullptr);

        ContentViewModel model(library.context(), state);
        model.setSelectedImageID(idText(image));
        model.contentDidAppear();
        QCOMPARE(model.openedImage(), nullptr); // the appearance task runs later
        QTRY_COMPARE(model.openedImage(), image);
        QCOMPARE(model.sidebarSelection(), (QSet<LibraryEntryID>{LibraryEntryID::series(series->id())}));

        // Malformed or empty text opens nothing.
        for (const QString &text : {QString(), QStringLiteral("not-a-uuid")}) {
            ContentViewModel other(library.context(), state);
            other.setSelectedImageID(text);
            other.restoreOpenedImage();
            QCOMPARE(other.openedImage(), nullptr);
        }
    }

    void opensASavedImageThatArrivesLater()
    {
        TestLibrary library;
        AppState state(m_defaults, m_accounts);
        ContentViewModel model(library.context(), state);
        const QUuid id = QUuid::createUuid();
        model.setSelectedImageID(id.toString(QUuid::WithoutBraces).toUpper());
        model.restoreOpenedImage();
        QCOMPARE(model.openedImage(), nullptr);

        AtlasImage *image = library.image(QStringLiteral("late"));
        image->setId(id);
        library.save();
        QTRY_COMPARE(model.openedImage(), image);
        QCOMPARE(model.sidebarSelection(), (QSet<LibraryEntryID>{LibraryEntryID::image(id)}));
    }

    void closesAnImageDeletedElsewhere()
    {
        TestLibrary library;
        AppState state(m_defaults, m_accounts);
        AtlasImage *a = library.image(QStringLiteral("a"));
        AtlasImage *b = library.image(QStringLiteral("b"), nullptr, 0, 1);
        library.save();
        ContentViewModel model(library.context(), state);
        ContentViewModel otherWindow(library.context(), state);
        model.openImage(a);
        QCOMPARE(model.selectedImageID(), idText(a));
        state.setIsEditing(true);

        otherWindow.deleteImages({b});
        QCoreApplication::processEvents();
        QCOMPARE(model.openedImage(), a);
        QVERIFY(state.isEditing());

        QSignalSpy entries(&model, &ContentViewModel::entriesChanged);
        otherWindow.deleteImages({a});
        QTRY_COMPARE(model.openedImage(), nullptr);
        QVERIFY(!state.isEditing());
        QCOMPARE(model.selectedImageID(), QString());
        QCOMPARE(model.gridSelection(), nullptr);
        QVERIFY(entries.count() >= 1);
    }

    void searchAndFiltersHideTheOpenedImage()
    {
        TestLibrary library;
        AppState state(m_defaults, m_accounts);
        AtlasImage *knee = library.image(QStringLiteral("Knee"));
        AtlasImage *hip = library.image(QStringLiteral("Hip"), nullptr, 0, 1, Modality::ct);
        library.save();
        ContentViewModel model(library.context(), state);
        model.setSidebarSelection({LibraryEntryID::image(knee->id()), LibraryEntryID::image(hip->id())});
        model.setGridSelection(hip);
        model.openImage(knee);
        QCOMPARE(model.gridSelection(), knee);
        model.setGridSelection(hip);

        model.setLibrarySearchText(QStringLiteral("kne"));
        QCOMPARE(model.gridSelection(), nullptr);
        QCOMPARE(model.openedImage(), knee);
        model.setLibrarySearchText(QStringLiteral("knee"));
        QCOMPARE(model.openedImage(), knee);

        model.setModalityFilter(Modality::ct);
        QCOMPARE(model.openedImage(), nullptr);
        QVERIFY(!model.focusGridOnAppear());
        QVERIFY(model.hasActiveFilters());
        model.clearFilters();
        QVERIFY(!model.hasActiveFilters());
        QCOMPARE(model.librarySearchText(), QStringLiteral("knee"));
    }

    void followsTheSidebarSelection()
    {
        TestLibrary library;
        AppState state(m_defaults, m_accounts);
        Series *s1 = library.series(QStringLiteral("One"));
        AtlasImage *a = library.image(QStringLiteral("a"), s1, 0);
        AtlasImage *b = library.image(QStringLiteral("b"), s1, 1);
        Series *s2 = library.series(QStringLiteral("Two"), 1);
        AtlasImage *c = library.image(QStringLiteral("c"), s2, 1);
        AtlasImage *d = library.image(QStringLiteral("d"), s2, 0);
        Series *empty = library.series(QStringLiteral("Empty"), 2);
        library.save();
        ContentViewModel model(library.context(), state);

        model.setSidebarSelection({LibraryEntryID::series(s1->id())});
        model.openImage(b);
        model.setSidebarSelection({LibraryEntryID::series(s1->id()), LibraryEntryID::series(s2->id())});
        QCOMPARE(model.openedImage(), b);
        model.setSidebarSelection({LibraryEntryID::series(s2->id())});
        QCOMPARE(model.visibleImages(), (QList<AtlasImage *>{d, c}));
        QCOMPARE(model.openedImage(), d);
        QCOMPARE(model.gridSelection(), d);
        model.setSidebarSelection({LibraryEntryID::series(empty->id())});
        QCOMPARE(model.openedImage(), nullptr);
        QCOMPARE(model.gridSelection(), nullptr);

        // Removing the row of the opened image closes it, rather than
        // moving on to another selected row's image.
        model.setSidebarSelection({LibraryEntryID::series(s1->id()), LibraryEntryID::series(s2->id())});
        model.openImage(a);
        state.setIsEditing(true);
        model.removeEntries({model.libraryEntries().first()});
        QVERIFY(s1->isDeleted());
        QCOMPARE(model.openedImage(), nullptr);
        QVERIFY(!state.isEditing());
        QCOMPARE(model.sidebarSelection(), (QSet<LibraryEntryID>{LibraryEntryID::series(s2->id())}));
        QCOMPARE(model.visibleImages(), (QList<AtlasImage *>{d, c}));
    }

    void arrowKeysStepThroughTheVisibleImages()
    {
        TestLibrary library;
        AppState state(m_defaults, m_accounts);
        Series *series = library.series(QStringLiteral("S"));
        const QList<AtlasImage *> images = library.images(series, 5);
        library.save();
        ContentViewModel model(library.context(), state);
        QCOMPARE(model.advanceOpenedImage(1), ContentViewModel::KeyPress::ignored);
        model.setSidebarSelection({LibraryEntryID::series(series->id())});

        model.openImage(images.at(2));
        QCOMPARE(model.advanceOpenedImage(1), ContentViewModel::KeyPress::handled);
        QCOMPARE(model.openedImage(), images.at(3));
        QCOMPARE(model.gridSelection(), images.at(3));
        QCOMPARE(model.advanceOpenedImage(1), ContentViewModel::KeyPress::handled);
        QCOMPARE(model.advanceOpenedImage(1), ContentViewModel::KeyPress::ignored);
        QCOMPARE(model.openedImage(), images.at(4));
        model.openImage(images.at(0));
        QCOMPARE(model.advanceOpenedImage(-1), ContentViewModel::KeyPress::ignored);
        QCOMPARE(model.openedImage(), images.at(0));
        QCOMPARE(model.advanceOpenedImage(1), ContentViewModel::KeyPress::handled);

        // Space returns to the grid, except in edit mode.
        state.setIsEditing(true);
        QCOMPARE(model.returnToGridFromKeyboard(), ContentViewModel::KeyPress::ignored);
        QCOMPARE(model.openedImage(), images.at(1));
        state.setIsEditing(false);
        QCOMPARE(model.returnToGridFromKeyboard(), ContentViewModel::KeyPress::handled);
        QCOMPARE(model.openedImage(), nullptr);
        QCOMPARE(model.gridSelection(), images.at(1));
        QCOMPARE(model.selectedImageID(), QString());
        QCOMPARE(model.returnToGridFromKeyboard(), ContentViewModel::KeyPress::ignored);
    }
};

QTEST_GUILESS_MAIN(SelectionSyncTest)
#include "tst_selectionsync.moc"
