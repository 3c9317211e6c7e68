#pragma once

#include "shell/MainWindowState.h"

#include <QMainWindow>

#include <memory>

class AppState;
class QAction;
class ContentView;
class ContentViewModel;
class ModelContext;
class ThumbnailCache;
class UserDefaults;

// One main window: titled "Veloran", at least 1,000 by 600, with the
// application's menu (ApplicationMenu) and one ContentView over its own
// ContentViewModel.
// It keeps its restorable state in step with the opened image.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The context and the shared state must outlive the window.
    MainWindow(ModelContext &context, AppState &appState, const MainWindowState &state,
               QWidget *parent = nullptr);
    MainWindow(ModelContext &context, AppState &appState, const MainWindowState &state, UserDefaults &defaults,
               ThumbnailCache &cache, QWidget *parent = nullptr);
    ~MainWindow() override;

    const MainWindowState &state() const { return m_state; }
    ContentViewModel &model() const { return *m_model; }
    ContentView *contentView() const { return m_content; }
    // "Settings…" (Ctrl+,) of the application menu: shows the Settings window.
    QAction *settingsCommand() const { return m_settingsCommand; }

private:
    MainWindowState m_state;
    std::unique_ptr<ContentViewModel> m_model;
    ContentView *m_content = nullptr;
    QAction *m_settingsCommand = nullptr;
};
