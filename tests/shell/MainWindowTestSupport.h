#pragma once

#include "ShellTestSupport.h"

#include "browser/LibraryFilterControls.h"
#include "browser/LibraryGrid.h"
#include "browser/LibraryGridView.h"
#include "browser/LibrarySidebar.h"
#include "browser/MetadataEditor.h"
#include "browser/ThumbnailCache.h"
#include "platform/UserDefaults.h"
#include "shell/AppState.h"
#include "shell/ContentDetail.h"
#include "shell/ContentSidebar.h"
#include "shell/ContentView.h"
#include "shell/ContentViewModel.h"
#include "shell/LibraryDerivation.h"
#include "shell/MainWindow.h"
#include "ui/AlertDialog.h"
#include "ui/ContentUnavailableView.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <memory>

// Types the name into the file dialog and presses Return.
inline void typeFileName(QFileDialog *dialog, const QString &name)
{
    auto *field = dialog ? dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) : nullptr;
    QVERIFY(field);
    field->setText(name);
    QTest::keyClick(field, Qt::Key_Return);
}

// The name a file dialog proposes.
inline QString proposedFileName(QFileDialog *dialog)
{
    return dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text();
}

// Counts the events of one type that the widgets it watches get.
struct EventCounter : QObject {
    explicit EventCounter(QEvent::Type type) : type(type) {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == type ? 1 : 0;
        return false;
    }
    QEvent::Type type;
    int count = 0;
};

// A main window on a test library, shown on the offscreen screen; its tabs
// register with `coordinator` when one is given.
struct WindowHarness {
    explicit WindowHarness(TestLibrary &library, WindowTabRestorationCoordinator *coordinator = nullptr)
        : appState(defaults, accounts)
        , window(library.context(), appState, MainWindowState::makeDefault(), defaults, cache, coordinator)
    {
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            qFatal("the window did not appear");
    }

    // The thumbnails still being decoded read the test's library: they end
    // before it goes.
    ~WindowHarness() { cache.waitForIdle(); }

    ContentView &view() const { return *window.contentView(); }
    ContentViewModel &model() const { return window.model(); }
    LibrarySidebar &sidebar() const { return *view().contentSidebar()->sidebar(); }
    LibraryGrid &grid() const { return *view().contentDetail()->grid(); }

    // Clicks the sidebar row that lists the entry with the identifier.
    bool clickRow(const LibraryEntryID &id, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        const QList<LibraryEntry> &entries = sidebar().entries();
        for (qsizetype row = 0; row < entries.size(); ++row) {
            if (entries.at(row).entryID() != id)
                continue;
            QListView *list = sidebar().listView();
            const QRect rect = list->visualRect(list->model()->index(int(row), 0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
            return true;
        }
        return false;
    }

    // Triggers the item of a row's context menu.
    bool triggerRowMenu(const LibraryEntry &entry, const QString &title) const
    {
        return trigger(sidebar().contextMenu(entry), title);
    }
    bool triggerRowMenu(const LibraryEntryID &id, const QString &title) const
    {
        return triggerRowMenu(listedEntry(id), title);
    }

    // Triggers the menu's item, then deletes the menu.
    static bool trigger(QMenu *made, const QString &title)
    {
        std::unique_ptr<QMenu> menu(made);
        for (QAction *action : menu->actions()) {
            if (action->text() == title) {
                action->trigger();
                return true;
            }
        }
        return false;
    }

    LibraryEntry listedEntry(const LibraryEntryID &id) const
    {
        for (const LibraryEntry &entry : sidebar().entries()) {
            if (entry.entryID() == id)
                return entry;
        }
        qFatal("no such entry is listed");
    }

    static QStringList buttonTitles(const AlertDialog &alert)
    {
        QStringList titles;
        for (const QPushButton *button : alert.buttons())
            titles << button->text();
        return titles;
    }

    UserDefaults defaults;
    FakeCloudAccountService accounts;
    ThumbnailCache cache;
    AppState appState;
    MainWindow window;
};
