#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <optional>

class UserDefaults;

// The name under which a window's frame is known, carried by the window
// itself (empty: none). A window controller can keep the frame under a name
// made from it.
struct NSWindow {
    static QString frameAutosaveName(const QWidget &window);
    static void setFrameAutosaveName(QWidget &window, const QString &name);

    // Where a window opens the first time.
    enum class Placement {
        overWindow, // centred over the reference window
        onScreen,   // centred on the reference window's screen
    };
    // A frame of `size` (no larger than `available`) centred on `target`,
    // then moved as little as needed to lie wholly within `available`.
    static QRect centredFrame(const QSize &size, const QRect &target, const QRect &available);
    // Places `window`, about to be shown, centred over the shown window
    // `reference` or on its screen, and wholly within that screen's
    // available area; without a reference, on the primary screen.
    static void centre(QWidget &window, const QWidget *reference, Placement placement);

    // Escape and Ctrl+W close the window, as they close the desktop's
    // panels (the About and Settings windows): keys of the window, not
    // commands of a menu.
    static void addCloseKeys(QWidget &window);
};

// Owns one window and brings it to the screen. It can keep the window's
// frame (position and size) in the user defaults under a name: the frame
// saved there is restored when the name is given, and every later move or
// resize is saved. GUI thread only.
class NSWindowController : public QObject {
    Q_OBJECT
public:
    // Takes `window` (a widget without a parent) and deletes it with itself.
    explicit NSWindowController(QWidget *window, UserDefaults &defaults, QObject *parent = nullptr);
    explicit NSWindowController(QWidget *window, QObject *parent = nullptr);
    ~NSWindowController() override;

    QWidget *window() const { return m_window; }

    // Shows the window, raised and made active. The first time, runs
    // windowDidLoad() before the window appears.
    void showWindow();

    QString windowFrameAutosaveName() const { return m_autosaveName; }
    // From now on keeps the window's frame under `name`, first restoring the
    // frame saved there; the empty name keeps nothing.
    void setWindowFrameAutosaveName(const QString &name);
    // The user-defaults key of the frame kept under `name`.
    static QString frameDefaultsKey(const QString &name);

    // With two or more screens: the first screen's geometry inset by
    // `xInset` and `yInset` on each side; none with a single screen.
    static std::optional<QRect> mainScreenFrame(const QList<QRect> &screens, int xInset, int yInset);
    // Moves the window onto the first screen when there are several.
    static void moveWindowToMainScreen(QWidget &window, int xInset, int yInset);

protected:
    // Called once, when the window is first shown; the place for set-up
    // that needs the window.
    virtual void windowDidLoad() {}

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void saveFrame();

    QPointer<QWidget> m_window;
    UserDefaults &m_defaults;
    QString m_autosaveName;
    bool m_loaded = false;
    QTimer m_saveTimer; // gathers the moves and resizes of one drag into one save
};
