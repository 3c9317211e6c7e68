#include "browser/MetadataEditor.h"
#include "editor/AnnotationLinksEditor.h"
#include "ui/AlertDialog.h"

#include <QApplication>
#include <QTest>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using MakeSheet = std::function<QDialog *(QWidget *window)>;
Q_DECLARE_METATYPE(MakeSheet)

namespace {

// An X display of this program's own: Xvfb picks a free display number and
// tells it through a pipe (-displayfd), so runs at once each get their own.
// It ends with the program, also when the program dies.
class PrivateDisplay {
public:
    PrivateDisplay()
    {
        int pipeEnds[2];
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
            m_failure = "no pipe to Xvfb";
            return;
        }
        const pid_t parent = ::getpid();
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent)
                ::_exit(1);
            ::close(pipeEnds[0]);
            ::fcntl(pipeEnds[1], F_SETFD, 0); // Xvfb writes the number here
            const std::string fd = std::to_string(pipeEnds[1]);
            const int quiet = ::open("/dev/null", O_WRONLY);
            ::dup2(quiet, STDOUT_FILENO);
            ::dup2(quiet, STDERR_FILENO);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "1024x768x24",
                     static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::close(pipeEnds[1]);
        if (m_pid < 0) {
            ::close(pipeEnds[0]);
            m_failure = "Xvfb could not be started";
            return;
        }
        // The number, then a line feed, once the display takes clients.
        std::string number;
        pollfd wait{pipeEnds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&wait, 1, 20000) == 1 && ::read(pipeEnds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(pipeEnds[0]);
        if (c != '\n' || number.empty())
            m_failure = "Xvfb (Debian package xvfb) did not start a display";
        else
            m_name = ":" + number;
    }

    ~PrivateDisplay()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    const std::string &name() const { return m_name; }
    const char *failure() const { return m_failure; }

private:
    pid_t m_pid = -1;
    std::string m_name;
    const char *m_failure = nullptr;
};

const char *displayFailure = nullptr;

// The window's Motif hints, as the display holds them: flags, functions,
// decorations.
QList<uint> motifHints(const QWidget &window)
{
    xcb_connection_t *connection = qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const char name[] = "_MOTIF_WM_HINTS";
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, std::strlen(name), name), nullptr),
        &std::free);
    if (!atom)
        return {};
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> property(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, xcb_window_t(window.winId()), atom->atom,
                                                XCB_ATOM_ANY, 0, 5),
                               nullptr),
        &std::free);
    if (!property || property->format != 32)
        return {};
    const auto *values = static_cast<const uint32_t *>(xcb_get_property_value(property.get()));
    const int count = xcb_get_property_value_length(property.get()) / 4;
    QList<uint> hints;
    for (int i = 0; i < std::min(count, 3); ++i)
        hints << values[i];
    return hints;
}

} // namespace

// What the sheets of a window ask an X11 window manager to draw around
// them, read back from a display of the test's own.
class SheetFrameTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        if (displayFailure)
            QSKIP(displayFailure);
    }

    void sheetsAskForATitleBarAlone_data()
    {
        QTest::addColumn<MakeSheet>("make");
        QTest::addColumn<QList<uint>>("hints"); // flags, functions, decorations

        // Functions and decorations given: moving; a title and a border.
        const QList<uint> titleAlone{0x3, 0x4, 0xa};
        QTest::newRow("links sheet") << MakeSheet([](QWidget *window) -> QDialog * {
            return new AnnotationLinksEditor({}, window);
        }) << titleAlone;
        QTest::newRow("alert of a window") << MakeSheet([](QWidget *window) -> QDialog * {
            return new AlertDialog("Save Failed", "The disk is full.", {{"OK", AlertDialog::Role::cancel}}, window);
        }) << titleAlone;
        // Resizable: resizing too, and its handles.
        QTest::newRow("metadata sheet") << MakeSheet([](QWidget *window) -> QDialog * {
            return new MetadataEditor(1, "Edit", "Metadata applies to this image.", "Save", MetadataDraft(), window);
        }) << QList<uint>{0x3, 0x6, 0xe};
        // Belonging to no window, an alert keeps Qt's hints of a title bar
        // with a window menu and a close button.
        QTest::newRow("alert of no window") << MakeSheet([](QWidget *) -> QDialog * {
            return new AlertDialog("Update", "A new version is ready.", {{"OK", AlertDialog::Role::cancel}});
        }) << QList<uint>{0x3, 0x26, 0x1e};
    }

    void sheetsAskForATitleBarAlone()
    {
        QFETCH(MakeSheet, make);
        QFETCH(QList<uint>, hints);
        QWidget window;
        window.resize(900, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        std::unique_ptr<QDialog> sheet(make(&window));
        sheet->show();
        QVERIFY(QTest::qWaitForWindowExposed(sheet.get()));
        QCOMPARE(motifHints(*sheet), hints);
    }
};

int main(int argc, char **argv)
{
    // The display outlives the application, whose connection to it would
    // otherwise break.
    const PrivateDisplay display;
    displayFailure = display.failure();
    if (!displayFailure) {
        qputenv("DISPLAY", QByteArray::fromStdString(display.name()));
        qputenv("QT_QPA_PLATFORM", "xcb");
        // Nor any session bus, the user's or one launched for the display,
        // which Qt's accessibility bridge would look for there.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    }
    QApplication app(argc, argv);
    SheetFrameTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sheetframe.moc"
