#include "MainWindowTestSupport.h"

#include "archive/LibraryArchiveContents.h"
#include "archive/LibraryArchiveTransfer.h"

#include <QClipboard>
#include <QMimeData>
#include <QStandardPaths>

// The rows' "Share" menu as a user drives it: the archive is written only
// when a share item is chosen, and then handed on.
class LibraryArchiveShareTest : public QObject {
    Q_OBJECT

    static QAction *shareItem(WindowHarness &harness, const LibraryEntry &entry, const QString &title,
                              std::unique_ptr<QMenu> &menu)
    {
        menu.reset(harness.sidebar().contextMenu(entry));
        for (QAction *item : menu->actions()) {
            if (item->menu() && item->text() == QStringLiteral("Share")) {
                for (QAction *target : item->menu()->actions()) {
                    if (target->text() == title)
                        return target;
                }
            }
        }
        return nullptr;
    }

    static QStringList shares()
    {
        return QDir(LibraryArchiveTransfer::sharedArchivesFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
    }
    void init()
    {
        QDir(LibraryArchiveTransfer::sharedArchivesFolder()).removeRecursively();
    }

    // Opening the menu reads no image; "Copy" writes the row's archive
    // and puts it on the clipboard, or says why it could not.
    void copyPutsTheSeriesArchiveOnTheClipboard()
    {
        TestLibrary library(true);
        Series *spine = library.series(QStringLiteral("Spine: lumbar"));
        library.images(spine, 2);
        Series *broken = library.series(QStringLiteral("Broken"), 1);
        library.largeImage(QStringLiteral("C1"), broken);
        library.save();
        library.removeImageFiles();
        WindowHarness harness(library);

        std::unique_ptr<QMenu> menu;
        QAction *copy = shareItem(harness, harness.listedEntry(LibraryEntryID::series(spine->id())),
                                  QStringLiteral("Copy"), menu);
        QVERIFY(copy);
        QVERIFY(shares().isEmpty());
        copy->trigger();
        const QClipboard *clipboard = QGuiApplication::clipboard();
        QTRY_VERIFY(clipboard->mimeData() && clipboard->mimeData()->hasUrls());
        const QString path = clipboard->mimeData()->urls().first().toLocalFile();
        QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("Spine- lumbar.veloran"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto contents = LibraryArchiveContents::fromArchiveData(file.readAll());
        QVERIFY(contents.ok());
        QCOMPARE(contents.value().manifest.series.size(), 1);
        QCOMPARE(contents.value().manifest.images.size(), 2);
        QVERIFY(!harness.model().showsOperationError());

        // The broken series' bytes are read only when chosen: it fails and
        // leaves no folder behind.
        const QStringList before = shares();
        copy = shareItem(harness, harness.listedEntry(LibraryEntryID::series(broken->id())), QStringLiteral("Copy"), menu);
        QVERIFY(copy);
        QVERIFY(!harness.model().showsOperationError());
        copy->trigger();
        QTRY_VERIFY(harness.view().operationErrorAlert());
        QCOMPARE(harness.model().operationErrorTitle(), QStringLiteral("Share Failed"));
        QVERIFY2(harness.model().operationErrorMessage().contains(QStringLiteral("C1")),
                 qPrintable(harness.model().operationErrorMessage()));
        QCOMPARE(shares(), before);
    }
};

QTEST_MAIN(LibraryArchiveShareTest)
#include "tst_libraryarchiveshare.moc"
