#pragma once

#include <QWidget>

class CloudAccountService;
class LibrarySettingsView;
class ModelContext;
class QStackedWidget;
class QTabBar;
class SyncSettingsView;
class UserDefaults;

// The Settings window: the "Library" page (LibrarySettingsView) and the
// "iCloud" page (SyncSettingsView) as tabs. The application has one; the
// "Settings…" command of every main window shows it, making it when none
// is open. Closing it (also with Escape or Ctrl+W) ends the pages and their
// state: the next one starts afresh, where the user left the last one (kept
// in the user defaults); the very first opens centred over the main window.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    // All three must outlive the window.
    SettingsView(ModelContext &context, UserDefaults &defaults, CloudAccountService &accounts,
                 QWidget *parent = nullptr);
    ~SettingsView() override;

    // Shows the application's Settings window and brings it to the front,
    // making it when none is open. It is gone when the application quits.
    static SettingsView *present(ModelContext &context, UserDefaults &defaults, CloudAccountService &accounts);
    // The open Settings window, or null.
    static SettingsView *current();

    static QSize minimumWindowSize() { return QSize(460, 320); }

    // The tabs, and the pages they show.
    QTabBar *tabs() const { return m_tabs; }
    QStackedWidget *pages() const { return m_pages; }
    LibrarySettingsView *libraryPage() const { return m_library; }
    SyncSettingsView *syncPage() const { return m_sync; }

protected:
    void hideEvent(QHideEvent *event) override;

private:
    UserDefaults &m_defaults;
    QTabBar *m_tabs = nullptr;
    QStackedWidget *m_pages = nullptr;
    LibrarySettingsView *m_library = nullptr;
    SyncSettingsView *m_sync = nullptr;
};
