#include "platform/UserDefaults.h"
#include "platform/WorkerPools.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <memory>

class UserDefaultsTest : public QObject {
    Q_OBJECT
private:
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
        QSemaphore held;
        QSemaphore holding;
        for (int i = 0; i < pool.maxThreadCount(); ++i) {
            pool.start([&] {
                holding.release();
                held.acquire();
            });
        }
        holding.acquire(pool.maxThreadCount());
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
        held.release(pool.maxThreadCount());
        if (then == QLatin1String("pool"))
            QTRY_VERIFY(UserDefaults(path).contains(QStringLiteral("text")));
        pool.waitForDone();
        UserDefaults reader(path);
        QCOMPARE(reader.stringForKey(QStringLiteral("text")), std::optional<QString>(QStringLiteral("last")));
        QCOMPARE(reader.contains(QStringLiteral("flag")), false);
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
