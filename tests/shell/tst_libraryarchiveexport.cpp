#include "ShellTestSupport.h"

#include "archive/LibraryArchiveContents.h"
#include "archive/LibraryArchiveFile.h"
#include "shell/LibraryArchiveExport.h"

#include <QSignalSpy>

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

// One export as its window follows it: the check, the save dialog's
// answer, the writing and the alert.
class LibraryArchiveExportTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    // An on-disk library of a series with a large image (kept in a file
    // beside the store) and a small standalone one.
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

private slots:
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
};

QTEST_MAIN(LibraryArchiveExportTest)
#include "tst_libraryarchiveexport.moc"
