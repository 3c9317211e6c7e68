#include "platform/SharingService.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Target = SharingService::Target;

// The desktop's file manager as a D-Bus service: records what it was asked to show.
class FileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
public slots:
    void ShowItems(const QStringList &uris, const QString &) { shown += uris; }
};

} // namespace

// Handing a shared file to the desktop: e-mail, the file manager, the clipboard.
class SharingServiceTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_programs; // stand-ins for xdg-email and xdg-open, on PATH
    QString m_file;
    QProcess m_bus;
    QString m_busAddress;

    // A program on PATH that writes its arguments, one a line, to
    // `<name>.args`; a failing one then ends as the desktop's helpers do
    // when no program can do the job.
    void addProgram(const QString &name, bool failing = false)
    {
        const QString path = QDir(m_programs).filePath(name);
        QFile script(path);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
        if (failing)
            script.write("echo \"$0: no method available\" >&2\nexit 3\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    QStringList argumentsOf(const QString &name) const
    {
        QFile file(QDir(m_programs).filePath(name + QStringLiteral(".args")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase()
    {
        m_programs = m_dir.filePath(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(m_programs));
        m_file = m_dir.filePath(QStringLiteral("shared/Head CT.veloran"));
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("shared"))));
        QFile(m_file).open(QIODevice::WriteOnly);
        // A private message bus for the file manager, its socket in this
        // program's temporary folder (the bus's own settings name /tmp).
        m_bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--nopidfile", "--print-address",
                                                    QStringLiteral("--address=unix:dir=") + QDir::tempPath()});
        QVERIFY2(m_bus.waitForStarted(5000), "dbus-daemon is needed (scripts/install-deps)");
        QVERIFY(m_bus.waitForReadyRead(5000));
        m_busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();
        qputenv("PATH", QFile::encodeName(m_programs));
    }
    void cleanupTestCase()
    {
        m_bus.kill();
        m_bus.waitForFinished();
    }
    void init()
    {
        for (const QString &name : QDir(m_programs).entryList(QDir::Files))
            QFile::remove(QDir(m_programs).filePath(name));
    }

    void targetsFollowTheInstalledPrograms_data()
    {
        QTest::addColumn<bool>("hasEmail");
        QTest::addColumn<bool>("failing"); // no mail program for xdg-email to start
        QTest::newRow("xdg-email") << true << false;
        QTest::newRow("xdg-email without a mail program") << true << true;
        QTest::newRow("none") << false << false;
    }
    void targetsFollowTheInstalledPrograms()
    {
        QFETCH(bool, hasEmail);
        QFETCH(bool, failing);
        if (hasEmail)
            addProgram(QStringLiteral("xdg-email"), failing);
        QList<Target> expected{Target::showInFolder, Target::copy};
        if (hasEmail)
            expected.prepend(Target::email);
        QCOMPARE(SharingService::availableTargets(), expected);

        SharingService service(QDBusConnection(QStringLiteral("none")));
        QSignalSpy failed(&service, &SharingService::failed);
        service.share(Target::email, m_file);
        if (hasEmail)
            QTRY_COMPARE(argumentsOf(QStringLiteral("xdg-email")), QStringList({"--attach", m_file}));
        if (hasEmail && !failing) {
            QTest::qWait(50);
            QCOMPARE(failed.count(), 0);
        } else {
            QTRY_COMPARE(failed.count(), 1);
            QCOMPARE(failed.first().first().toString(),
                     QStringLiteral("No e-mail program could be started for \u201CHead CT.veloran\u201D. It is in the "
                                    "folder \u201C%1\u201D.")
                         .arg(m_dir.filePath(QStringLiteral("shared"))));
        }
        QVERIFY(QFile::exists(m_file));
    }

    void showInFolderAsksTheFileManagerElseOpensTheFolder_data()
    {
        QTest::addColumn<bool>("onBus");       // connected to the private bus
        QTest::addColumn<bool>("fileManager"); // the service is there
        QTest::addColumn<bool>("xdgOpen");
        QTest::addColumn<bool>("opens"); // xdg-open finds a file manager
        QTest::newRow("file manager") << true << true << false << false;
        QTest::newRow("no file manager on the bus") << true << false << true << true;
        QTest::newRow("no bus") << false << false << true << true;
        QTest::newRow("no file manager for xdg-open") << true << false << true << false;
        QTest::newRow("nothing") << false << false << false << false;
    }
    void showInFolderAsksTheFileManagerElseOpensTheFolder()
    {
        QFETCH(bool, onBus);
        QFETCH(bool, fileManager);
        QFETCH(bool, xdgOpen);
        QFETCH(bool, opens);
        if (xdgOpen)
            addProgram(QStringLiteral("xdg-open"), !opens);
        const QString name = QStringLiteral("bus-%1").arg(QTest::currentDataTag());
        QDBusConnection bus = onBus ? QDBusConnection::connectToBus(m_busAddress, name) : QDBusConnection(name);
        QCOMPARE(bus.isConnected(), onBus);
        FileManager manager;
        if (fileManager) {
            QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.FileManager1")));
            QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                       QDBusConnection::ExportAllSlots));
        }

        SharingService service(bus);
        QSignalSpy failed(&service, &SharingService::failed);
        service.share(Target::showInFolder, m_file);
        const bool shown = fileManager || opens;
        if (fileManager)
            QTRY_COMPARE(manager.shown, QStringList{QUrl::fromLocalFile(m_file).toString(QUrl::FullyEncoded)});
        if (xdgOpen)
            QTRY_COMPARE(argumentsOf(QStringLiteral("xdg-open")), QStringList{m_dir.filePath(QStringLiteral("shared"))});
        if (!shown)
            QTRY_COMPARE(failed.count(), 1);
        QTest::qWait(50);
        QCOMPARE(failed.count(), shown ? 0 : 1);
        if (!shown)
            QCOMPARE(failed.first().first().toString(),
                     QStringLiteral("No file manager could show \u201CHead CT.veloran\u201D. It is in the folder "
                                    "\u201C%1\u201D.")
                         .arg(m_dir.filePath(QStringLiteral("shared"))));
        QVERIFY(QFile::exists(m_file));
        if (onBus)
            QDBusConnection::disconnectFromBus(name);
    }

    void copyPutsTheFileOnTheClipboard()
    {
        SharingService service(QDBusConnection(QStringLiteral("none")));
        service.share(Target::copy, m_file);
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data);
        QCOMPARE(data->urls(), QList<QUrl>{QUrl::fromLocalFile(m_file)});
        QCOMPARE(data->data(QStringLiteral("x-special/gnome-copied-files")),
                 "copy\n" + QUrl::fromLocalFile(m_file).toEncoded());
    }
};

QTEST_MAIN(SharingServiceTest)
#include "tst_sharingservice.moc"
