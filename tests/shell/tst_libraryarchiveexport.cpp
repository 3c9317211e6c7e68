#include "MainWindowTestSupport.h"

#include "archive/LibraryArchiveContents.h"
#include "archive/LibraryArchiveFile.h"
#include "archive/LibraryArchiveTransfer.h"
#include "shell/LibraryArchiveExport.h"

#include <QClipboard>
#include <QMimeData>
#include <QSignalSpy>
#include <QStandardPaths>

#include <functional>

namespace {

using Spoil = std::function<void(TestLibrary &library, QString &target)>;

// The export's state as one line, to compare at each step.
QString stateOf(const LibraryArchiveExport &archiveExport)
{
    return QStringLiteral("preparing %1, document %2, exporter %3, writing %4, error %5")
        .arg(archiveExport.isPreparing())
        .arg(archiveExport.hasDocument())
        .arg(archiveExport.isPresentingExporter())
        .arg(archiveExport.isWriting())
        .arg(archiveExport.showsError());
}

const QString idle = QStringLiteral("preparing 0, document 0, exporter 0, writing 0, error 0");
const QString preparing = QStringLiteral("preparing 1, document 0, exporter 0, writing 0, error 0");
const QString ready = QStringLiteral("preparing 0, document 1, exporter 1, writing 0, error 0");
const QString writing = QStringLiteral("preparing 0, document 1, exporter 0, writing 1, error 0");
const QString failed = QStringLiteral("preparing 0, document 0, exporter 0, writing 0, error 1");

QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace
Q_DECLARE_METATYPE(Spoil)

// One export as its window follows it, and the rows' "Share" menu.
class LibraryArchiveExportTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    // A series with a large image (in a file beside the store), and a small standalone one.
    static void fill(TestLibrary &library)
    {
        library.point(library.largeImage(QStringLiteral("Large"), library.series(QStringLiteral("Brain"))),
                      QStringLiteral("Cortex"));
        library.image(QStringLiteral("Knee"));
        library.save();
    }

    static LibraryArchiveSource wholeLibrary(TestLibrary &library)
    {
        return LibraryArchiveSource::fromLibrary(library.context().fetch<AtlasImage>(),
                                                 library.context().fetch<Series>());
    }

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

    void fromTheCheckToTheWrittenFile()
    {
        TestLibrary library(true);
        fill(library);
        LibraryArchiveExport archiveExport;
        QCOMPARE(archiveExport.defaultFilename(), QStringLiteral("Veloran Library"));
        QStringList steps;
        for (auto signal : {&LibraryArchiveExport::isPreparingChanged, &LibraryArchiveExport::isPresentingExporterChanged,
                            &LibraryArchiveExport::isWritingChanged})
            connect(&archiveExport, signal, this, [&] { steps << stateOf(archiveExport); });
        archiveExport.prepare(wholeLibrary(library), QStringLiteral("Brain"));
        QCOMPARE(stateOf(archiveExport), preparing);
        QCOMPARE(archiveExport.defaultFilename(), QStringLiteral("Brain"));
        // Asked again while preparing: dropped.
        archiveExport.prepare(wholeLibrary(library), QStringLiteral("Other"));
        QTRY_COMPARE(stateOf(archiveExport), ready);
        // The document, then the dialog, then the end of preparing.
        QCOMPARE(steps, (QStringList{preparing, QStringLiteral("preparing 1, document 1, exporter 1, writing 0, error 0"),
                                     ready}));
        // Asked again while the checked archive waits for its dialog: dropped too.
        archiveExport.prepare(wholeLibrary(library), QStringLiteral("Other"));
        QCOMPARE(stateOf(archiveExport), ready);
        QCOMPARE(archiveExport.defaultFilename(), QStringLiteral("Brain"));
        const QString target = m_dir.filePath(QStringLiteral("Brain.veloran"));
        archiveExport.handleExportResult(target);
        QCOMPARE(stateOf(archiveExport), writing);
        archiveExport.prepare(wholeLibrary(library), QStringLiteral("Other"));
        QTRY_COMPARE(stateOf(archiveExport), idle);
        QCOMPARE(LibraryArchiveContents::fromArchiveData(fileContents(target)).value().imageFiles,
                 wholeLibrary(library).contents().value().imageFiles);
        // Idle again: the next export starts.
        archiveExport.prepare(wholeLibrary(library), QStringLiteral("Again"));
        QCOMPARE(stateOf(archiveExport), preparing);
        QTRY_COMPARE(stateOf(archiveExport), ready);
        // A cancelled dialog is no failure: the document goes, nothing shows.
        archiveExport.handleExportResult(std::nullopt);
        QCOMPARE(stateOf(archiveExport), idle);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"Brain.veloran"});
    }

    void failures_data()
    {
        QTest::addColumn<Spoil>("spoil");
        QTest::addColumn<bool>("checked"); // the failure comes after the dialog
        QTest::addColumn<QString>("message");
        QTest::newRow("an image's bytes are gone")
            << Spoil([](TestLibrary &library, QString &) { library.removeImageFiles(); }) << false << QStringLiteral("The image data of \u201CLarge\u201D can't be read, so the archive wasn't written.");
        QTest::newRow("the folder is gone") << Spoil([](TestLibrary &, QString &target) {
            target = QStringLiteral("/nonexistent folder/Brain.veloran");
        }) << true << QStringLiteral("The file \u201CBrain.veloran\u201D couldn\u2019t be saved: ");
    }

    void failures()
    {
        QFETCH(Spoil, spoil);
        QFETCH(bool, checked);
        QFETCH(QString, message);
        TestLibrary library(true);
        fill(library);
        QString target = m_dir.filePath(QStringLiteral("failed.veloran"));
        spoil(library, target);
        LibraryArchiveExport archiveExport;
        QSignalSpy exporter(&archiveExport, &LibraryArchiveExport::isPresentingExporterChanged);
        archiveExport.prepare(wholeLibrary(library), QStringLiteral("Brain"));
        if (checked) {
            QTRY_COMPARE(stateOf(archiveExport), ready);
            archiveExport.handleExportResult(target);
        }
        QTRY_COMPARE(stateOf(archiveExport), failed);
        QCOMPARE(exporter.count(), checked ? 2 : 0); // no dialog for a failed check
        QCOMPARE(archiveExport.errorTitle(), QStringLiteral("Export Failed"));
        QVERIFY2(archiveExport.errorMessage().startsWith(message), qPrintable(archiveExport.errorMessage()));
        QVERIFY(!QFile::exists(target));
        // "OK" hides it; the next export starts normally.
        archiveExport.dismissError();
        QCOMPARE(stateOf(archiveExport), idle);
        archiveExport.prepare(LibraryArchiveSource::fromLibrary({}, {}), QStringLiteral("Empty"));
        QTRY_COMPARE(stateOf(archiveExport), ready);
    }

    // The library holds two images with bytes: with the manifest, three
    // entries. Its image files are removed, so an export that built its
    // contents would fail on them instead.
    void pastTheLimitTheWritersErrorComesFirst_data()
    {
        QTest::addColumn<bool>("onDisk");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<bool>("wholeLibrary");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("message");
        const QString tooLarge = QStringLiteral("The archive is too large to write in the zip format.");
        const QString unreadable = QStringLiteral("The image data of \u201CLarge\u201D can't be read");
        QTest::newRow("saved library") << true << true << true << 2 << tooLarge;
        QTest::newRow("saved library within the limit") << true << true << true << 3 << unreadable;
        QTest::newRow("changes not saved") << true << false << true << 2 << tooLarge;
        QTest::newRow("chosen rows") << true << true << false << 2 << tooLarge;
        QTest::newRow("chosen rows within the limit") << true << true << false << 3 << unreadable;
        QTest::newRow("library in memory") << false << true << true << 2 << tooLarge;
        QTest::newRow("library in memory, chosen rows") << false << true << false << 2 << tooLarge;
    }

    void pastTheLimitTheWritersErrorComesFirst()
    {
        QFETCH(bool, onDisk);
        QFETCH(bool, saved);
        QFETCH(bool, wholeLibrary);
        QFETCH(int, limit);
        QFETCH(QString, message);
        TestLibrary library(onDisk);
        fill(library);
        if (onDisk)
            library.removeImageFiles();
        if (!saved)
            library.context().fetch<AtlasImage>().first()->setTitle(QStringLiteral("Renamed"));
        LibraryArchiveExport archiveExport;
        archiveExport.setEntryLimit(limit);
        QSignalSpy exporter(&archiveExport, &LibraryArchiveExport::isPresentingExporterChanged);
        if (wholeLibrary)
            archiveExport.prepareLibrary(library.context(), QStringLiteral("Veloran Library"));
        else
            archiveExport.prepareObjects(library.context(), library.context().fetch<AtlasImage>(),
                                         library.context().fetch<Series>(), QStringLiteral("Brain"));
        QTRY_COMPARE(stateOf(archiveExport), failed);
        QCOMPARE(exporter.count(), 0);
        QVERIFY2(archiveExport.errorMessage().startsWith(message), qPrintable(archiveExport.errorMessage()));
    }

    void theWorkerWritesWhatTheObjectsWrite_data()
    {
        QTest::addColumn<bool>("wholeLibrary");
        QTest::newRow("whole library") << true;
        QTest::newRow("chosen rows") << false;
    }

    void theWorkerWritesWhatTheObjectsWrite()
    {
        QFETCH(bool, wholeLibrary);
        TestLibrary library(true);
        fill(library);
        Series *brain = library.context().fetch<Series>().first();
        library.image(QStringLiteral("Empty"), brain, 1)->setImageData(QByteArray(""));
        library.region(library.image(QStringLiteral("Hand")), QStringLiteral("Thumb"));
        library.save();
        QList<AtlasImage *> images = library.context().fetch<AtlasImage>();
        if (!wholeLibrary)
            images = {images[2], images[0]};
        const QList<Series *> series = wholeLibrary ? library.context().fetch<Series>() : QList<Series *>{brain};
        const auto exported = [&](const std::function<void(LibraryArchiveExport &)> &prepare, const QString &name) {
            LibraryArchiveExport archiveExport;
            prepare(archiveExport);
            [&] { QTRY_COMPARE(stateOf(archiveExport), ready); }();
            archiveExport.handleExportResult(m_dir.filePath(name));
            [&] { QTRY_COMPARE(stateOf(archiveExport), idle); }();
            auto contents = LibraryArchiveContents::fromArchiveData(fileContents(m_dir.filePath(name)));
            QFile::remove(m_dir.filePath(name));
            return contents.ok() ? contents.value() : LibraryArchiveContents();
        };
        LibraryArchiveContents fromObjects = exported(
            [&](LibraryArchiveExport &e) { e.prepare(LibraryArchiveSource::fromLibrary(images, series), QString()); },
            QStringLiteral("objects.veloran"));
        const LibraryArchiveContents fromStore = exported(
            [&](LibraryArchiveExport &e) {
                if (wholeLibrary)
                    e.prepareLibrary(library.context(), QString());
                else
                    e.prepareObjects(library.context(), images, series, QString());
            },
            QStringLiteral("store.veloran"));
        QCOMPARE(fromObjects.manifest.images.size(), images.size());
        fromObjects.manifest.exportedAt = fromStore.manifest.exportedAt;
        QCOMPARE(fromStore, fromObjects);
    }

    void workThatEndsAfterTheExportIsGoneTouchesNothing()
    {
        TestLibrary library(true);
        fill(library);
        const QString target = m_dir.filePath(QStringLiteral("orphan.veloran"));
        QObject owner;
        auto *archiveExport = new LibraryArchiveExport(&owner);
        archiveExport->prepare(wholeLibrary(library), QStringLiteral("Brain"));
        QTRY_VERIFY(archiveExport->hasDocument());
        archiveExport->handleExportResult(target);
        delete archiveExport;
        // The writing ends on its own; its result reaches no one.
        QTRY_VERIFY(QFile::exists(target));
        QTest::qWait(50);
        QCOMPARE(LibraryArchiveContents::fromArchiveData(fileContents(target)).value().manifest.images.size(), 2);
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
        const auto contents = LibraryArchiveContents::fromArchiveData(fileContents(path));
        QVERIFY(contents.ok());
        QCOMPARE(contents.value().manifest.series.size(), 1);
        QCOMPARE(contents.value().manifest.images.size(), 2);
        QVERIFY(!harness.model().showsOperationError());
        // The broken series fails only when chosen, leaving no folder behind.
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

QTEST_MAIN(LibraryArchiveExportTest)
#include "tst_libraryarchiveexport.moc"
