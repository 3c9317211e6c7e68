#include "MainWindowTestSupport.h"

#include "about/AboutWindowController.h"
#include "appkit/NSWindowController.h"
#include "archive/LibraryArchiveFile.h"
#include "shell/CloudSyncSettings.h"
#include "shell/LibrarySettingsModel.h"
#include "shell/LibrarySettingsView.h"
#include "shell/SettingsView.h"
#include "shell/SyncSettingsModel.h"
#include "shell/SyncSettingsView.h"
#include "support/FocusRings.h"
#include "ui/ActivityIndicator.h"
#include "ui/FocusRingStyle.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QScreen>
#include <QMenuBar>
#include <QPointer>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabBar>

namespace {

// The visible alert titled `title`, window-modal or on its own.
AlertDialog *shownAlert(const QString &title)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *alert = qobject_cast<AlertDialog *>(widget);
        if (alert && alert->isVisible() && alert->title() == title)
            return alert;
    }
    return nullptr;
}

void press(AlertDialog *alert, const QString &button)
{
    QVERIFY(alert);
    QTest::mouseClick(alert->button(button), Qt::LeftButton);
}

QStringList ids(ModelContext &context)
{
    QStringList list;
    for (const AtlasImage *image : context.fetch<AtlasImage>())
        list << image->id().toString() + image->title();
    for (const Series *series : context.fetch<Series>())
        list << series->id().toString() + series->title();
    list.sort();
    return list;
}

bool writeArchive(TestLibrary &library, const QString &path)
{
    return LibraryArchiveFile::write(
               LibraryArchiveSource::fromLibrary(library.context().fetch<AtlasImage>(), library.context().fetch<Series>()),
               path)
        .ok();
}

// Every file in the folder and below it.
QStringList filesUnder(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

} // namespace

// The Settings window as a user drives it.
class SettingsTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    // A series of three images (one large, in a file beside the store) with a point.
    static void fill(TestLibrary &library)
    {
        Series *brain = library.series(QStringLiteral("Brain"));
        library.point(library.largeImage(QStringLiteral("i0"), brain), QStringLiteral("Cortex"));
        library.image(QStringLiteral("i1"), brain, 1);
        library.image(QStringLiteral("i2"), brain, 2);
        library.save();
    }

    // Imports `path` through the page's open dialog; the alert that follows.
    static AlertDialog *importThroughTheDialog(LibrarySettingsView &page, const QString &path, const QString &title)
    {
        QTest::mouseClick(page.importButton(), Qt::LeftButton);
        QFileDialog *dialog = page.importer();
        if (!dialog || dialog->fileMode() != QFileDialog::ExistingFile)
            return nullptr;
        typeFileName(dialog, path);
        AlertDialog *alert = nullptr;
        return QTest::qWaitFor([&] { return (alert = shownAlert(title)) != nullptr; }) ? alert : nullptr;
    }

private slots:
    void cleanup()
    {
        delete SettingsView::current();
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<AlertDialog *>(widget))
                delete widget;
        }
    }

    void settingsCommandShowsTheOneWindow()
    {
        TestLibrary library;
        WindowHarness harness(library);
        QMenu *menu = harness.window.menuBar()->actions().first()->menu();
        QStringList titles;
        for (QAction *item : menu->actions())
            titles << (item->isSeparator() ? QStringLiteral("-") : item->text());
        QCOMPARE(titles, (QStringList{"About Veloran", "Check for Updates…", "-", "Settings…", "-", "Quit Veloran"}));
        QCOMPARE(harness.window.settingsCommand()->shortcut(), QKeySequence(QStringLiteral("Ctrl+,")));
        harness.window.settingsCommand()->trigger();
        SettingsView *settings = SettingsView::current();
        QVERIFY(settings && settings->isVisible());
        harness.window.settingsCommand()->trigger();
        QCOMPARE(SettingsView::current(), settings);
        QCOMPARE(settings->tabs()->tabText(0), QStringLiteral("Library"));
        QCOMPARE(settings->tabs()->tabText(1), QStringLiteral("iCloud"));
        QCOMPARE(settings->pages()->currentWidget(), settings->libraryPage());
        QTest::mouseClick(settings->tabs(), Qt::LeftButton, {}, settings->tabs()->tabRect(1).center());
        QCOMPARE(settings->pages()->currentWidget(), settings->syncPage());
        settings->close();
        QTRY_VERIFY(!SettingsView::current());
    }

    // First over the main window (the placement keeps it on the screen),
    // then where the user left it.
    void settingsOpenOverTheMainWindowThenWhereTheUserLeftThem()
    {
        TestLibrary library;
        UserDefaults defaults;
        FakeCloudAccountService accounts;
        QMainWindow main;
        const QRect available = main.screen()->availableGeometry();
        main.setGeometry(QRect(available.topLeft() + QPoint(50, 40), QSize(600, 450)));
        main.show();
        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        SettingsView *settings = SettingsView::present(library.context(), defaults, accounts);
        QVERIFY(QTest::qWaitForWindowExposed(settings));
        QVERIFY((settings->frameGeometry().center() - main.frameGeometry().center()).manhattanLength() <= 2);
        const QPoint moved = settings->pos() - QPoint(20, 10);
        settings->move(moved);
        settings->close();
        QTRY_VERIFY(!SettingsView::current());
        settings = SettingsView::present(library.context(), defaults, accounts);
        QVERIFY(QTest::qWaitForWindowExposed(settings));
        QCOMPARE(settings->pos(), moved);
    }

    // Each page's Tab stops, the tabs among them, show the accent ring.
    void everySettingsControlShowsTheRing_data()
    {
        QTest::addColumn<int>("page");
        QTest::newRow("Library") << 0;
        QTest::newRow("iCloud") << 1;
    }

    void everySettingsControlShowsTheRing()
    {
        QFETCH(int, page);
        FocusRingStyle::install();
        TestLibrary library;
        library.image(QStringLiteral("Knee")); // something to export
        library.save();
        UserDefaults defaults;
        FakeCloudAccountService accounts;
        SettingsView *settings = SettingsView::present(library.context(), defaults, accounts);
        settings->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(settings));
        settings->tabs()->setCurrentIndex(page);
        const QList<QWidget *> stops = tabStops(settings->tabs());
        QCOMPARE(stops.size(), page == 0 ? 3 : 2); // the tabs, then the page's buttons or its switch
        for (QWidget *stop : stops) {
            // A ring round what the focus changes: the control, its box and
            // label, or the current tab.
            const FocusLook look(stop);
            const QRect ringed = look.changedArea();
            QVERIFY2(ringed.width() > 10 && look.ringed(ringed, AppStyle::accent(stop->palette()), 2),
                     stop->metaObject()->className());
        }
    }

    // With two main windows open, Ctrl+, and Ctrl+Q work from every window;
    // Escape and Ctrl+W close the Settings and About windows alone.
    void applicationKeysWorkFromEveryWindow_data()
    {
        QTest::addColumn<int>("from"); // 0 a main window, 1 Settings, 2 About
        QTest::addColumn<QKeyCombination>("keys");
        QTest::addColumn<bool>("quits");
        QTest::addColumn<bool>("closesItsWindow"); // the window the keys were pressed in
        const QKeyCombination escape(Qt::NoModifier, Qt::Key_Escape);
        const QKeyCombination closeKeys(Qt::CTRL, Qt::Key_W);
        QTest::newRow("Settings from a main window") << 0 << QKeyCombination(Qt::CTRL, Qt::Key_Comma) << false << false;
        QTest::newRow("quit from Settings") << 1 << QKeyCombination(Qt::CTRL, Qt::Key_Q) << true << true;
        QTest::newRow("quit from About") << 2 << QKeyCombination(Qt::CTRL, Qt::Key_Q) << true << true;
        QTest::newRow("Settings from About") << 2 << QKeyCombination(Qt::CTRL, Qt::Key_Comma) << false << false;
        QTest::newRow("Escape closes Settings") << 1 << escape << false << true;
        QTest::newRow("Ctrl+W closes Settings") << 1 << closeKeys << false << true;
        QTest::newRow("Escape closes About") << 2 << escape << false << true;
        QTest::newRow("Ctrl+W closes About") << 2 << closeKeys << false << true;
    }

    void applicationKeysWorkFromEveryWindow()
    {
        QFETCH(int, from);
        QFETCH(QKeyCombination, keys);
        QFETCH(bool, quits);
        QFETCH(bool, closesItsWindow);
        TestLibrary library;
        WindowHarness first(library);
        WindowHarness second(library);
        EventCounter closes(QEvent::Close);
        first.window.installEventFilter(&closes);
        second.window.installEventFilter(&closes);
        QWidget *window = &second.window;
        if (from == 2) {
            AboutWindowController::shared().showAboutWindow();
            window = AboutWindowController::shared().windowController().window();
        } else if (from == 1) {
            window = SettingsView::present(library.context(), second.defaults, second.accounts);
        }
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        const QPointer<QWidget> shown = window;
        QTest::keyClick(window, keys.key(), keys.keyboardModifiers());
        if (quits) {
            QTRY_VERIFY(!first.window.isVisible() && !second.window.isVisible());
            QCOMPARE(closes.count, 2);
            QTRY_VERIFY(!window->isVisible());
        } else if (closesItsWindow) {
            // Settings goes when closed; About is only hidden.
            QTRY_VERIFY(!shown || !shown->isVisible());
            QVERIFY(first.window.isVisible() && second.window.isVisible());
            QCOMPARE(closes.count, 0);
            QCOMPARE(second.window.tabs().size(), 1);
            QTRY_VERIFY(!SettingsView::current());
        } else {
            QTRY_VERIFY(SettingsView::current() && SettingsView::current()->isActiveWindow());
            if (from != 0)
                window->close();
        }
    }

    // Export, then import through the dialogs; failed imports leave the library as it was.
    void exportedLibraryImportsThroughTheDialogs()
    {
        TestLibrary source(true);
        fill(source);
        const QString path = m_dir.filePath(QStringLiteral("Backup.veloran"));
        {
            LibrarySettingsView page(source.context());
            page.show();
            QTest::mouseClick(page.exportButton(), Qt::LeftButton);
            // The progress turns while the export is checked.
            QVERIFY(!page.exportButton()->isEnabled());
            QVERIFY(page.exportProgress()->isVisible() && page.exportProgress()->isAnimating());
            QTRY_VERIFY(page.exporter() && page.exporter()->isVisible());
            QVERIFY(!page.exportProgress()->isVisible());
            QCOMPARE(page.exporter()->acceptMode(), QFileDialog::AcceptSave);
            QCOMPARE(page.exporter()->windowModality(), Qt::WindowModal);
            QCOMPARE(proposedFileName(page.exporter()), QStringLiteral("Veloran Library.veloran"));
            QVERIFY(page.exporter()->selectedNameFilter().contains(QStringLiteral("*.veloran")));
            typeFileName(page.exporter(), path);
            QTRY_VERIFY(!page.model().archiveExport().hasDocument());
            QVERIFY(page.exportButton()->isEnabled());
        }
        writeTestFile(m_dir, QStringLiteral("Notes.veloran"), "plain text, not a zip archive");
        // One series without images enables Export.
        TestLibrary target(true);
        LibrarySettingsView page(target.context());
        page.show();
        QVERIFY(!page.exportButton()->isEnabled() && page.importButton()->isEnabled());
        target.series(QStringLiteral("Own"));
        target.save();
        QTRY_VERIFY(page.exportButton()->isEnabled());
        const QStringList before = ids(target.context());
        const QStringList filesBefore = filesUnder(target.folder());
        // The open dialog starts where the export went.
        page.model().beginImport();
        QCOMPARE(page.importer()->directory().absolutePath(), m_dir.path());
        page.importer()->reject();
        AlertDialog *failed = importThroughTheDialog(page, m_dir.filePath(QStringLiteral("Notes.veloran")),
                                                     QStringLiteral("Import Failed"));
        QVERIFY(failed);
        QCOMPARE(failed->message(), QStringLiteral("The file isn't a zip archive."));
        press(failed, QStringLiteral("OK"));
        target.failWrites(true);
        failed = importThroughTheDialog(page, path, QStringLiteral("Import Failed"));
        QVERIFY(failed);
        QCOMPARE(failed->message(), QStringLiteral("The library could not be saved (adding to AtlasImage). Disk I/O error."));
        QCOMPARE(ids(target.context()), before);
        QCOMPARE(ids(target.reopen()->mainContext()), before);
        QCOMPARE(filesUnder(target.folder()), filesBefore);
        press(failed, QStringLiteral("OK"));
        target.failWrites(false);
        AlertDialog *imported = importThroughTheDialog(page, path, QStringLiteral("Library Imported"));
        QVERIFY(imported);
        QCOMPARE(imported->message(), QStringLiteral("Added 3 images and 1 series."));
        QStringList merged = before + ids(source.context());
        merged.sort();
        QCOMPARE(ids(target.context()), merged);
        press(imported, QStringLiteral("OK"));
        QVERIFY(!page.summaryAlert());
    }

    void anImportWhosePageClosedStillMergesAndReports_data()
    {
        QTest::addColumn<bool>("pageGone");
        QTest::newRow("the window is gone") << true;
        QTest::newRow("the window is closed, not gone yet") << false;
    }

    void anImportWhosePageClosedStillMergesAndReports()
    {
        QFETCH(bool, pageGone);
        TestLibrary source(true);
        fill(source);
        const QString archive = m_dir.filePath(QStringLiteral("Later.veloran"));
        QVERIFY(writeArchive(source, archive));
        TestLibrary target(true); // whose large image's file is written ahead
        UserDefaults defaults;
        FakeCloudAccountService accounts;
        SettingsView *settings = SettingsView::present(target.context(), defaults, accounts);
        settings->libraryPage()->model().importArchive(archive);
        if (pageGone) {
            settings->close();
            QTRY_VERIFY(!SettingsView::current());
        } else {
            settings->hide();
        }
        AlertDialog *imported = nullptr;
        QTRY_VERIFY((imported = shownAlert(QStringLiteral("Library Imported"))));
        QVERIFY(!imported->parentWidget());
        QCOMPARE(imported->message(), QStringLiteral("Added 3 images and 1 series."));
        QCOMPARE(target.context().fetch<AtlasImage>().size(), 3);
        QCOMPARE(externalFileNames(target.folder()).size(), 1);
        if (!pageGone)
            QVERIFY(!settings->libraryPage()->summaryAlert());
    }

    void accountAnswers_data()
    {
        QTest::addColumn<int>("status"); // -1: an error
        QTest::addColumn<QString>("message"); // empty: the confirmation
        QTest::newRow("could not determine") << 0 << "iCloud account status could not be determined. Try again in a moment.";
        QTest::newRow("available") << 1 << QString();
        QTest::newRow("restricted") << 2 << "iCloud is restricted on this device.";
        QTest::newRow("no account") << 3 << "Sign in to iCloud on this device to enable sync.";
        QTest::newRow("temporarily unavailable") << 4 << "iCloud is temporarily unavailable. Try again later.";
        QTest::newRow("unknown status") << 7 << "iCloud is unavailable.";
        QTest::newRow("error") << -1 << "The network connection was lost.";
    }

    void accountAnswers()
    {
        QFETCH(int, status);
        QFETCH(QString, message);
        UserDefaults defaults;
        FakeCloudAccountService accounts(status < 0 ? CloudAccountStatusReply::withError(message)
                                                   : CloudAccountStatusReply::withStatus(CloudAccountStatus(status)));
        SyncSettingsView page(defaults, accounts);
        page.show();
        QVERIFY(!page.syncSwitch()->isChecked());
        QTest::mouseClick(page.syncSwitch(), Qt::LeftButton);
        QVERIFY(!page.syncSwitch()->isEnabled()); // while the account is checked
        QVERIFY(!defaults.contains(QStringLiteral("cloudSyncEnabled")));
        QTRY_VERIFY(page.syncSwitch()->isEnabled());
        QCOMPARE(accounts.containers, QStringList{CloudSyncSettings::containerIdentifier()});
        if (message.isEmpty()) {
            QVERIFY(page.confirmation());
            QCOMPARE(page.confirmation()->message(), QStringLiteral("Your existing images will upload to iCloud and "
                                                                    "sync across devices signed in to this iCloud account."));
            return;
        }
        AlertDialog *unavailable = page.accountErrorAlert();
        QVERIFY(unavailable);
        QCOMPARE(unavailable->title(), QStringLiteral("iCloud unavailable"));
        QCOMPARE(unavailable->message(), message);
        press(unavailable, QStringLiteral("OK"));
        QVERIFY(!page.syncSwitch()->isChecked());
        QVERIFY(!defaults.boolForKey(QStringLiteral("cloudSyncEnabled")));
    }

    void switchingSyncOnAndOff()
    {
        UserDefaults defaults;
        FakeCloudAccountService accounts(CloudAccountStatusReply::withStatus(CloudAccountStatus::available));
        auto page = std::make_unique<SyncSettingsView>(defaults, accounts);
        page->show();
        QSignalSpy quit(&page->model(), &SyncSettingsModel::quitRequested);
        // On, then Cancel: never written.
        QTest::mouseClick(page->syncSwitch(), Qt::LeftButton);
        QTRY_VERIFY(page->confirmation());
        QCOMPARE(page->confirmation()->title(), QStringLiteral("Sync with iCloud?"));
        press(page->confirmation(), QStringLiteral("Cancel"));
        QVERIFY(!page->syncSwitch()->isChecked());
        QVERIFY(!defaults.contains(QStringLiteral("cloudSyncEnabled")));
        // On, Sync, Later: the setting is on; the switch shows it.
        QTest::mouseClick(page->syncSwitch(), Qt::LeftButton);
        QTRY_VERIFY(page->confirmation());
        press(page->confirmation(), QStringLiteral("Sync"));
        QVERIFY(defaults.boolForKey(QStringLiteral("cloudSyncEnabled")));
        QVERIFY(page->relaunchPrompt());
        QCOMPARE(page->relaunchPrompt()->title(), QStringLiteral("Restart required"));
        QCOMPARE(page->relaunchPrompt()->message(), QStringLiteral("Quit and reopen Veloran to apply the iCloud sync change."));
        QCOMPARE(WindowHarness::buttonTitles(*page->relaunchPrompt()), (QStringList{"Quit Now", "Later"}));
        press(page->relaunchPrompt(), QStringLiteral("Later"));
        QVERIFY(page->syncSwitch()->isChecked());
        // A page opened with the setting on shows it, asking nothing.
        page = std::make_unique<SyncSettingsView>(defaults, accounts);
        page->show();
        QSignalSpy quitAgain(&page->model(), &SyncSettingsModel::quitRequested);
        QVERIFY(page->syncSwitch()->isChecked());
        QCOMPARE(accounts.containers.size(), 2);
        // Off: written at once, no confirmation; then Quit Now.
        QTest::mouseClick(page->syncSwitch(), Qt::LeftButton);
        QVERIFY(!defaults.boolForKey(QStringLiteral("cloudSyncEnabled")));
        QVERIFY(!page->confirmation());
        press(page->relaunchPrompt(), QStringLiteral("Quit Now"));
        QCOMPARE(quitAgain.count(), 1);
        QCOMPARE(quit.count(), 0);
    }
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
