#include "platform/ApplicationInstance.h"
#include "platform/LibraryLock.h"
#include "support/DeadProcessLock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QWindow>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr char holdArgument[] = "--hold-library";
constexpr char launchArgument[] = "--launch";

enum LeftBehind { DeadProcess, Empty, OtherMachine };

// Another launch on the library, with the arguments (such as
// "--new-window"), run to its end while this process answers it.
bool launch(const QString &folder, const QStringList &arguments)
{
    QProcess process;
    process.start(QCoreApplication::applicationFilePath(),
                  QStringList{QString::fromLatin1(launchArgument), folder} + arguments);
    if (!process.waitForStarted(10000))
        return false;
    QDeadlineTimer deadline(10000);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(10);
    return process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit
           && process.exitCode() == 0;
}

// The primary instance of a library, and its window with a window-modal
// dialog over it, both shown: the dialog a window of its own whose
// transient parent is the window, as a dialog's is.
struct DialogOverWindow {
    QTemporaryDir library;
    ApplicationInstance instance{library.path()};
    bool isPrimary = instance.start(ApplicationInstance::Request::activate, std::chrono::milliseconds(500))
                     == ApplicationInstance::Role::primary;
    QSignalSpy received{&instance, &ApplicationInstance::requestReceived};
    QWindow window;
    QWindow dialog;
    DialogOverWindow()
    {
        window.resize(400, 300);
        window.show();
        dialog.setTransientParent(&window);
        dialog.setModality(Qt::WindowModal);
        dialog.resize(200, 100);
        dialog.show();
    }
};

} // namespace

// One process per library: what a launch asks for, and the library's lock,
// held in this process or in a child. Two real applications meet in
// tests/app.
class ApplicationInstanceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The socket goes in the runtime folder: a private one here.
        static QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    }

    void launchesAskForAWindowOrToComeForward_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<ApplicationInstance::Request>("request");
        QTest::newRow("plain") << QStringList{"veloran"} << ApplicationInstance::Request::activate;
        QTest::newRow("new window") << QStringList{"veloran", "--new-window"} << ApplicationInstance::Request::newWindow;
        QTest::newRow("program's own name") << QStringList{"--new-window"} << ApplicationInstance::Request::activate;
        QTest::newRow("other") << QStringList{"veloran", "--new"} << ApplicationInstance::Request::activate;
    }
    void launchesAskForAWindowOrToComeForward()
    {
        QFETCH(QStringList, arguments);
        QFETCH(ApplicationInstance::Request, request);
        QCOMPARE(ApplicationInstance::requestFromArguments(arguments), request);
    }

    // Files that earlier versions, crashes or backups leave in the library's
    // folder are no lock.
    void filesLeftInTheFolderNeverBlock_data()
    {
        QTest::addColumn<int>("left");
        QTest::newRow("lock of a process that died") << int(DeadProcess);
        QTest::newRow("empty lock file") << int(Empty);
        QTest::newRow("lock written on another machine") << int(OtherMachine);
    }
    void filesLeftInTheFolderNeverBlock()
    {
        QFETCH(int, left);
        QTemporaryDir library;
        ApplicationInstance instance(library.filePath(QStringLiteral("Veloran")));
        const QString lockFile = QDir(instance.libraryFolder()).filePath(QStringLiteral("veloran.lock"));
        if (left == DeadProcess) {
            QVERIFY(writeDeadProcessLock(lockFile, QCoreApplication::applicationName().toUtf8()));
        } else {
            QFile file(lockFile);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (left == OtherMachine)
                QVERIFY(file.write("4242\nveloran\nbackup-host.example.org\n") > 0);
        }

        QCOMPARE(instance.start(ApplicationInstance::Request::activate, std::chrono::milliseconds(500)),
                 ApplicationInstance::Role::primary);
        QVERIFY(QFileInfo(instance.serverName()).exists());
        // The library is this instance's now: no other holder gets it.
        LibraryLock other;
        QCOMPARE(other.tryLock(instance.libraryFolder()), LibraryLock::Outcome::heldElsewhere);
    }

    void aLiveHolderThatDoesntAnswerIsWaitedForThenReported()
    {
        QTemporaryDir library;
        ApplicationInstance instance(library.path());
        LibraryLock held;
        QCOMPARE(held.tryLock(library.path()), LibraryLock::Outcome::locked);
        QCOMPARE(instance.start(ApplicationInstance::Request::newWindow, std::chrono::milliseconds(300)),
                 ApplicationInstance::Role::failed);
        QCOMPARE(instance.errorString(),
                 QStringLiteral("The library \u201C%1\u201D is open in another process.").arg(library.path()));
        // Once it lets go, the library is this process's.
        held.unlock();
        QCOMPARE(instance.start(ApplicationInstance::Request::activate, std::chrono::milliseconds(300)),
                 ApplicationInstance::Role::primary);
    }

    // Launches while a modal dialog is open wait for it, in the order they
    // came, also while the dialog ends by opening another; without a
    // dialog they are acted on at once.
    void aLaunchWaitsWhileAModalDialogIsOpen()
    {
        DialogOverWindow scene;
        QVERIFY(scene.isPrimary);
        QCOMPARE(QGuiApplication::modalWindow(), &scene.dialog);

        QVERIFY(launch(scene.library.path(), {QStringLiteral("--new-window")}));
        QVERIFY(launch(scene.library.path(), {}));
        QCOMPARE(scene.instance.heldRequestCount(), 2);
        QCOMPARE(scene.received.count(), 0);

        QWindow next(&scene.window);
        next.setModality(Qt::WindowModal);
        connect(&scene.dialog, &QWindow::visibleChanged, &next, [&next](bool visible) {
            if (!visible)
                next.show();
        });
        scene.dialog.hide();
        QTest::qWait(20);
        QCOMPARE(scene.received.count(), 0);
        next.hide();
        QTRY_COMPARE(scene.received.count(), 2);
        QCOMPARE(scene.received.at(0).at(0).value<ApplicationInstance::Request>(),
                 ApplicationInstance::Request::newWindow);
        QCOMPARE(scene.received.at(1).at(0).value<ApplicationInstance::Request>(),
                 ApplicationInstance::Request::activate);
        QCOMPARE(scene.instance.heldRequestCount(), 0);

        QVERIFY(launch(scene.library.path(), {QStringLiteral("--new-window")}));
        QCOMPARE(scene.received.count(), 3);
    }

    // A launch while a dialog is open over a minimised window restores the
    // window (keeping its other states) and brings the dialog forward with
    // the keys; what it asks for still waits for the dialog.
    void aLaunchRestoresAMinimisedWindowUnderItsDialog_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("dialogMinimised");
        QTest::addColumn<bool>("maximised");
        QTest::newRow("veloran") << QStringList{} << false << false;
        QTest::newRow("--new-window") << QStringList{QStringLiteral("--new-window")} << false << false;
        QTest::newRow("dialog minimised too") << QStringList{} << true << false;
        QTest::newRow("maximised window") << QStringList{} << false << true;
    }
    void aLaunchRestoresAMinimisedWindowUnderItsDialog()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, dialogMinimised);
        QFETCH(bool, maximised);
        DialogOverWindow scene;
        QVERIFY(scene.isPrimary);
        QWindow other; // a window of no concern
        other.resize(100, 100);
        other.show();
        const Qt::WindowStates kept = maximised ? Qt::WindowMaximized : Qt::WindowNoState;
        scene.window.setWindowStates(kept | Qt::WindowMinimized);
        if (dialogMinimised)
            scene.dialog.setWindowStates(Qt::WindowMinimized);
        other.requestActivate();
        QTRY_COMPARE(QGuiApplication::focusWindow(), &other);
        QTRY_VERIFY(scene.window.windowStates() & Qt::WindowMinimized);

        QVERIFY(launch(scene.library.path(), arguments));
        QTRY_COMPARE(scene.window.windowStates(), kept);
        QTRY_COMPARE(scene.dialog.windowStates(), Qt::WindowNoState);
        QVERIFY(scene.dialog.isVisible());
        QTRY_COMPARE(QGuiApplication::focusWindow(), &scene.dialog);
        QCOMPARE(scene.instance.heldRequestCount(), 1);
        QCOMPARE(scene.received.count(), 0);
        scene.dialog.hide();
        QTRY_COMPARE(scene.received.count(), 1);
    }

    // Another launch, with a runtime folder of its own (so that it cannot be
    // asked), holds the library: removing every file in the library's
    // folder does not free it, and its death does.
    void anotherProcessHoldsTheLibraryUntilItEnds()
    {
        QTemporaryDir library;
        QTemporaryDir otherRuntime;
        const QString folder = library.path();
        QProcess holder;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), otherRuntime.path());
        holder.setProcessEnvironment(environment);
        holder.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(holdArgument), folder});
        QVERIFY(holder.waitForReadyRead(10000));
        QCOMPARE(holder.readLine(), QByteArray("held\n"));

        ApplicationInstance instance(folder);
        QCOMPARE(instance.start(ApplicationInstance::Request::activate, std::chrono::milliseconds(200)),
                 ApplicationInstance::Role::failed);
        QCOMPARE(instance.errorString(), QStringLiteral("The library \u201C%1\u201D is open in another process.").arg(folder));
        for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
            QVERIFY(QFile::remove(QDir(folder).filePath(name)));
        QCOMPARE(instance.start(ApplicationInstance::Request::activate, std::chrono::milliseconds(200)),
                 ApplicationInstance::Role::failed);

        holder.kill();
        QVERIFY(holder.waitForFinished(10000));
        QCOMPARE(instance.start(ApplicationInstance::Request::activate, std::chrono::milliseconds(500)),
                 ApplicationInstance::Role::primary);
    }
};

// Run with the hold argument and a folder, the test program is another
// launch: it takes the library, says so, and waits to be ended. Run with
// the launch argument, a folder and a launch's arguments, it is a launch
// that hands its request on.
int main(int argc, char *argv[])
{
    if (argc >= 3 && qstrcmp(argv[1], launchArgument) == 0) {
        QCoreApplication app(argc, argv);
        ApplicationInstance instance(QFile::decodeName(argv[2]));
        QStringList arguments{QStringLiteral("veloran")};
        for (int i = 3; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        return instance.start(ApplicationInstance::requestFromArguments(arguments), std::chrono::milliseconds(5000))
                       == ApplicationInstance::Role::forwarded
                   ? 0
                   : 1;
    }
    if (argc == 3 && qstrcmp(argv[1], holdArgument) == 0) {
        QCoreApplication app(argc, argv);
        ApplicationInstance instance(QFile::decodeName(argv[2]));
        if (instance.start(ApplicationInstance::Request::activate, std::chrono::milliseconds(0))
            != ApplicationInstance::Role::primary)
            return 1;
        std::fputs("held\n", stdout);
        std::fflush(stdout);
        for (;;)
            ::pause();
    }
    QGuiApplication app(argc, argv);
    ApplicationInstanceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_applicationinstance.moc"
