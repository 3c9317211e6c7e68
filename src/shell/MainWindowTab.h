#pragma once

#include "shell/MainWindowState.h"

#include <QWidget>

#include <memory>

class AppState;
class ContentView;
class ContentViewModel;
class ModelContext;
class ThumbnailCache;
class UserDefaults;

// One main window of the library, shown as a tab of the desktop window: its
// restorable state and one ContentView over its own ContentViewModel. The
// state follows the opened image; the window title is the detail pane's
// title ("Library" over the grid, the opened image's title).
class MainWindowTab : public QWidget {
    Q_OBJECT
public:
    // The context, the shared state, the defaults and the cache must outlive the tab.
    MainWindowTab(ModelContext &context, AppState &appState, const MainWindowState &state, UserDefaults &defaults,
                  ThumbnailCache &cache, QWidget *parent = nullptr);
    ~MainWindowTab() override;

    const MainWindowState &state() const { return m_state; }
    // Takes over a saved state before the tab first appears: its identifier
    // and the image to reopen when it does.
    void setState(const MainWindowState &state);

    ContentViewModel &model() const { return *m_model; }
    ContentView *contentView() const { return m_content; }

private:
    MainWindowState m_state;
    std::unique_ptr<ContentViewModel> m_model;
    ContentView *m_content = nullptr;
};
