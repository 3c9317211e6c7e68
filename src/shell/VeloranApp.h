#pragma once

#include "platform/objectstore/ModelContainer.h"
#include "shell/MainWindowState.h"

#include <functional>
#include <memory>

class AppState;
class HeldLibraryInput;
class CloudAccountService;
class ModelStoreError;
class UserDefaults;

// The application's start-up and what it shares for the whole run: the one
// AppState and the model container. Lives on the main thread.
class VeloranApp {
public:
    // What start-up talks to; tests replace any of it.
    struct Services {
        UserDefaults *defaults = nullptr;
        CloudAccountService *accountService = nullptr;
        std::function<std::unique_ptr<ModelContainer>()> makeContainer;
        std::function<void()> startUpdater;
        // Called with the fatal message when the container cannot be built.
        std::function<void(const QString &message)> reportFatalError;
        // Called with a message the user must read before the windows open;
        // `read`, when given, is called once the user has read it (a
        // process ended before then leaves it uncalled).
        std::function<void(const QString &message, const std::function<void()> &read)> reportWarning;
    };

    // The standard user defaults, the platform's account service, the
    // application's container, the shared UpdaterController, and a fatal
    // error that is logged and, with a display, shown in a dialog.
    static Services standardServices();

    // Start-up, in order: the AppState, whose account monitoring starts at
    // once (it reads "cloudSyncEnabled" before its default is registered);
    // the registered default { "cloudSyncEnabled": false }; the container;
    // the updater. When the container cannot be built, reports "Failed to
    // create ModelContainer: " and the error, starts nothing more and returns
    // null; the caller ends the process with a non-zero status. The store's
    // file is left as it was. When the pictures of a lost store were kept
    // aside, by this start or by one that ended before the user read of
    // them, warns where they are (keptFilesMessage), until the user has
    // read it.
    static std::unique_ptr<VeloranApp> start(const Services &services);
    static std::unique_ptr<VeloranApp> start();

    ~VeloranApp();

    // The process ends once this object has gone: the library's objects
    // are then left to the system rather than freed one by one. Work still
    // running ends and the store closes as ever.
    void willEndProcess();

    AppState &appState() const { return *m_appState; }
    ModelContainer &container() const { return *m_container; }

    // The state of a main window opened without one.
    static MainWindowState defaultWindowState() { return MainWindowState::makeDefault(); }

    // "Failed to create ModelContainer: " followed by the error's description.
    static QString fatalMessage(const ModelStoreError &error);
    // Shows `message` in a warning alert over the active window once the
    // event loop runs; `read` is called when the user has pressed its
    // button, and not when the alert closes otherwise (the application
    // quitting under it, on a termination signal).
    static void warnUntilRead(const QString &message, const std::function<void()> &read);
    // The warning that the library file was missing or empty, and that the
    // files of its pictures were kept in `folder`.
    static QString keptFilesMessage(const QString &folder);

private:
    VeloranApp() = default;

    std::unique_ptr<AppState> m_appState;
    std::unique_ptr<ModelContainer> m_container;
    // No input while a change holds the library.
    std::unique_ptr<HeldLibraryInput> m_heldInput;
};
