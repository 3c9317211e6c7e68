#include "platform/UserDefaults.h"
#include "platform/WorkerPools.h"
#include "support/PoolHold.h"
#include "support/WriteBarriers.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <memory>
#include <thread>
#include <utility>

#include <semaphore.h>

namespace {

// Holds the first write that passes the file size limit (its SIGXFSZ comes
// to the writing thread as the write fails) until go(): what the test does
// meanwhile happens while that write is under way.
class HeldAtFailedWrite {
public:
    HeldAtFailedWrite()
    {
        sem_init(&s_reached, 0, 0);
        sem_init(&s_go, 0, 0);
        s_armed = true;
        struct sigaction action {};
        action.sa_handler = hold;
        sigemptyset(&action.sa_mask);
        sigaction(SIGXFSZ, &action, &m_before);
    }
    ~HeldAtFailedWrite()
    {
        go();
        sigaction(SIGXFSZ, &m_before, nullptr);
    }
    HeldAtFailedWrite(const HeldAtFailedWrite &) = delete;
    HeldAtFailedWrite &operator=(const HeldAtFailedWrite &) = delete;

    // False when no write got there (within a minute).
    bool waitUntilHeld()
    {
        timespec until{};
        clock_gettime(CLOCK_REALTIME, &until);
        until.tv_sec += 60;
        while (sem_timedwait(&s_reached, &until) != 0) {
            if (errno != EINTR)
                return false;
        }
        return true;
    }
    void go()
    {
        if (!std::exchange(m_gone, true))
            sem_post(&s_go);
    }

private:
    static void hold(int)
    {
        if (!s_armed.exchange(false))
            return;
        sem_post(&s_reached);
        while (sem_wait(&s_go) != 0) {
        }
    }

    static inline sem_t s_reached;
    static inline sem_t s_go;
    static inline std::atomic<bool> s_armed{false};
    struct sigaction m_before {};
    bool m_gone = false;
};

} // namespace

class UserDefaultsTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { m_privateMounts = enterPrivateMounts(); }

private:
    static inline bool m_privateMounts = false;

    // The file's bytes; none when it can't be read.
    static QByteArray contentsOf(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Written values over registered ones, registered over nothing; the same
    // rules for both kinds of storage.
    void checkLookupRules(UserDefaults &defaults)
    {
        const QString flag = QStringLiteral("flag");
        const QString bytes = QStringLiteral("bytes");
        const QString text = QStringLiteral("text");

        QCOMPARE(defaults.boolForKey(flag), false);
        QCOMPARE(defaults.dataForKey(bytes), std::nullopt);
        QCOMPARE(defaults.stringForKey(text), std::nullopt);
        QVERIFY(!defaults.contains(flag));

        defaults.registerDefaults({{flag, true}, {text, QStringLiteral("registered")}});
        QCOMPARE(defaults.boolForKey(flag), true);
        QCOMPARE(defaults.stringForKey(text), std::optional<QString>(QStringLiteral("registered")));

        defaults.setBool(false, flag);
        QCOMPARE(defaults.boolForKey(flag), false);
        defaults.setString(QStringLiteral("written"), text);
        QCOMPARE(defaults.stringForKey(text), std::optional<QString>(QStringLiteral("written")));
        const QByteArray binary("[{\"id\":1}]\0\xff\n", 13);
        defaults.setData(binary, bytes);
        QCOMPARE(defaults.dataForKey(bytes), std::optional<QByteArray>(binary));
        // Bytes are not text, and text is not bytes.
        QCOMPARE(defaults.stringForKey(bytes), std::nullopt);
        QCOMPARE(defaults.dataForKey(text), std::nullopt);

        // Registering again replaces the registered value but not the written one.
        defaults.registerDefaults({{flag, true}});
        QCOMPARE(defaults.boolForKey(flag), false);
        defaults.removeObject(flag);
        QCOMPARE(defaults.boolForKey(flag), true);
    }

private slots:
    void inMemoryLookup()
    {
        UserDefaults defaults;
        checkLookupRules(defaults);
    }

    void settingsFileLookupAndPersistence()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("defaults.ini"));
        {
            UserDefaults defaults(path);
            checkLookupRules(defaults);
            defaults.setBool(true, QStringLiteral("flag"));
            defaults.registerDefaults({{QStringLiteral("onlyRegistered"), true}});

            // Written before the object goes away, once asked for.
            defaults.waitForWrites();
            UserDefaults reader(path);
            QCOMPARE(reader.boolForKey(QStringLiteral("flag")), true);
        }
        UserDefaults reopened(path);
        QCOMPARE(reopened.boolForKey(QStringLiteral("flag")), true);
        QCOMPARE(reopened.stringForKey(QStringLiteral("text")), std::optional<QString>(QStringLiteral("written")));
        QCOMPARE(reopened.dataForKey(QStringLiteral("bytes")), std::optional<QByteArray>(QByteArray("[{\"id\":1}]\0\xff\n", 13)));
        // Registered values are not stored.
        QCOMPARE(reopened.boolForKey(QStringLiteral("onlyRegistered")), false);
    }

    void inMemoryValuesGivenUpFront()
    {
        UserDefaults defaults({{QStringLiteral("flag"), true}, {QStringLiteral("text"), QStringLiteral("t")}});
        defaults.registerDefaults({{QStringLiteral("flag"), false}});
        QCOMPARE(defaults.boolForKey(QStringLiteral("flag")), true);
        QCOMPARE(defaults.stringForKey(QStringLiteral("text")), std::optional<QString>(QStringLiteral("t")));
    }

    void boolsWrittenAsTextOrNumbers()
    {
        UserDefaults defaults;
        const QString key = QStringLiteral("value");
        const QList<std::pair<QVariant, bool>> cases{
            {QStringLiteral("true"), true}, {QStringLiteral("YES"), true}, {QStringLiteral("1"), true},
            {QStringLiteral("false"), false}, {QStringLiteral("0"), false}, {QString(), false},
            {QStringLiteral("maybe"), false}, {2, true}, {0, false}};
        for (const auto &[value, expected] : cases) {
            defaults.setObject(value, key);
            QVERIFY2(defaults.boolForKey(key) == expected, qPrintable(value.toString()));
        }
    }

    // The file is written on the files pool, never on the writing thread:
    // while the pool is held, a write reads back at once but is not in the
    // file yet; it is once the pool goes on, in the order written, or at
    // once when asked for, or when the defaults go.
    void writesLeaveTheWritingThread_data()
    {
        QTest::addColumn<QString>("then"); // how what is left gets written
        QTest::newRow("the pool goes on") << QStringLiteral("pool");
        QTest::newRow("asked for") << QStringLiteral("wait");
        QTest::newRow("the defaults go") << QStringLiteral("destroy");
    }
    void writesLeaveTheWritingThread()
    {
        QFETCH(QString, then);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("defaults.ini"));
        QThreadPool &pool = WorkerPools::files();
        PoolHold held(pool);
        QVERIFY(held.holding());
        auto defaults = std::make_unique<UserDefaults>(path);
        defaults->setString(QStringLiteral("first"), QStringLiteral("text"));
        defaults->setBool(true, QStringLiteral("flag"));
        defaults->setString(QStringLiteral("last"), QStringLiteral("text"));
        defaults->removeObject(QStringLiteral("flag"));
        QCOMPARE(defaults->stringForKey(QStringLiteral("text")), std::optional<QString>(QStringLiteral("last")));
        QCOMPARE(defaults->contains(QStringLiteral("flag")), false);
        QVERIFY(!UserDefaults(path).contains(QStringLiteral("text")));
        if (then == QLatin1String("wait"))
            defaults->waitForWrites();
        else if (then == QLatin1String("destroy"))
            defaults.reset();
        if (then != QLatin1String("pool"))
            QCOMPARE(UserDefaults(path).stringForKey(QStringLiteral("text")), std::optional<QString>(QStringLiteral("last")));
        held.release();
        if (then == QLatin1String("pool"))
            QTRY_VERIFY(UserDefaults(path).contains(QStringLiteral("text")));
        pool.waitForDone();
        UserDefaults reader(path);
        QCOMPARE(reader.stringForKey(QStringLiteral("text")), std::optional<QString>(QStringLiteral("last")));
        QCOMPARE(reader.contains(QStringLiteral("flag")), false);
    }

    // A write that fails leaves the file as it was, says why, and is
    // written with the next one.
    void aFailedWriteSaysWhyAndIsTriedAgain_data()
    {
        QTest::addColumn<int>("barrier");
        QTest::addColumn<QString>("reason");
        QTest::newRow("the file can't grow") << 0 << "File too large";
        QTest::newRow("the folder can't be written") << 1 << "Permission denied";
        QTest::newRow("the disk is full") << 2 << "There isn\u2019t enough space on the disk";
    }
    void aFailedWriteSaysWhyAndIsTriedAgain()
    {
        QFETCH(int, barrier);
        QFETCH(QString, reason);
        if (barrier == 2 && !m_privateMounts)
            QSKIP("a small disk needs the privilege to mount, which this process lacks");
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("config"));
        QVERIFY(QDir().mkpath(folder));
        std::optional<SmallDisk> disk;
        if (barrier == 2) {
            disk.emplace(folder, 512 * 1024);
            QVERIFY(disk->isMounted());
        }
        const QString path = QDir(folder).filePath(QStringLiteral("defaults.ini"));
        UserDefaults defaults(path);
        defaults.setString(QStringLiteral("earlier"), QStringLiteral("kept"));
        defaults.waitForWrites();
        const QByteArray before = contentsOf(path);
        QVERIFY(!before.isEmpty());

        // The files pool held: the write fails here, on this thread.
        QThreadPool &pool = WorkerPools::files();
        PoolHold held(pool);
        QVERIFY(held.holding());
        const QByteArray large(100 * 1024, 'w');
        defaults.setData(large, QStringLiteral("windows"));
        QFile filler(QDir(folder).filePath(QStringLiteral("filler")));
        {
            std::optional<FileSizeLimit> limit;
            std::optional<PermissionsObeyed> obeyed;
            if (barrier == 2) {
                QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
                while (filler.write(QByteArray(4096, 'f')) > 0) {
                }
                filler.close();
            }
            if (barrier == 0)
                limit.emplace(before.size() + 4096);
            if (barrier == 1) {
                QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
                obeyed.emplace();
            }
            QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("Settings: cannot write %1: %2").arg(path, reason)));
            defaults.waitForWrites(); // on this thread, whose permissions are obeyed
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        filler.remove();
        QCOMPARE(contentsOf(path), before);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"defaults.ini"});
        QCOMPARE(defaults.dataForKey(QStringLiteral("windows")), std::optional(large));
        held.release();
        pool.waitForDone();
        // The next write takes the failed one along, where there is room.
        defaults.setBool(true, QStringLiteral("flag"));
        defaults.waitForWrites();
        UserDefaults reader(path);
        QCOMPARE(reader.dataForKey(QStringLiteral("windows")), std::optional(large));
        QCOMPARE(reader.stringForKey(QStringLiteral("kept")), std::optional<QString>(QStringLiteral("earlier")));
        QCOMPARE(reader.boolForKey(QStringLiteral("flag")), true);
    }

    // A write that cannot copy the file (a small change would fit, the
    // whole file does not) leaves the file and every setting as they were,
    // names the cause, and the next write takes them all along. A setting
    // changed while the failed write runs or waits for the next keeps its
    // new value.
    void aFailedWriteKeepsEverySettingAndTheLatestValue_data()
    {
        QTest::addColumn<QString>("changedAgain"); // when the setting changes again
        QTest::newRow("not again") << QString();
        QTest::newRow("while the write fails") << QStringLiteral("during");
        QTest::newRow("after it failed") << QStringLiteral("after");
    }
    void aFailedWriteKeepsEverySettingAndTheLatestValue()
    {
        QFETCH(QString, changedAgain);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("defaults.ini"));
        UserDefaults defaults(path);
        const QByteArray large(100 * 1024, 'w');
        defaults.setData(large, QStringLiteral("windows"));
        defaults.setString(QStringLiteral("first"), QStringLiteral("choice"));
        defaults.waitForWrites();
        const QByteArray before = contentsOf(path);
        QVERIFY(before.size() > large.size());

        QThreadPool &pool = WorkerPools::files();
        PoolHold held(pool);
        QVERIFY(held.holding());
        defaults.setString(QStringLiteral("second"), QStringLiteral("choice"));
        {
            FileSizeLimit limit(16 * 1024);
            std::optional<HeldAtFailedWrite> holding;
            if (changedAgain == QLatin1String("during"))
                holding.emplace();
            QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("Settings: cannot write %1: File too large").arg(path)));
            std::jthread writing([&] { defaults.waitForWrites(); });
            // Whatever fails, the write goes on and ends before what it uses goes.
            const auto goes = qScopeGuard([&] {
                if (holding)
                    holding->go();
            });
            if (holding) {
                QVERIFY(holding->waitUntilHeld());
                defaults.setString(QStringLiteral("third"), QStringLiteral("choice"));
                holding->go();
            }
        }
        QCOMPARE(contentsOf(path), before);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"defaults.ini"});
        if (changedAgain == QLatin1String("after"))
            defaults.setString(QStringLiteral("third"), QStringLiteral("choice"));
        const QString latest = changedAgain.isEmpty() ? QStringLiteral("second") : QStringLiteral("third");
        QCOMPARE(defaults.stringForKey(QStringLiteral("choice")), std::optional(latest));

        held.release();
        pool.waitForDone();
        defaults.setBool(true, QStringLiteral("flag"));
        defaults.waitForWrites();
        UserDefaults reader(path);
        QCOMPARE(reader.dataForKey(QStringLiteral("windows")), std::optional(large));
        QCOMPARE(reader.stringForKey(QStringLiteral("choice")), std::optional(latest));
        QCOMPARE(reader.boolForKey(QStringLiteral("flag")), true);
    }

    void writesAreAnnounced()
    {
        UserDefaults defaults;
        QSignalSpy spy(&defaults, &UserDefaults::valueChanged);
        defaults.registerDefaults({{QStringLiteral("a"), true}});
        QCOMPARE(spy.count(), 0);
        defaults.setBool(true, QStringLiteral("a"));
        defaults.setBool(true, QStringLiteral("a"));
        defaults.removeObject(QStringLiteral("a"));
        QCOMPARE(spy.count(), 3);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("a"));
    }
};

QTEST_GUILESS_MAIN(UserDefaultsTest)
#include "tst_userdefaults.moc"
