#include "platform/UserDefaults.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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

            // Written at once, not only when the object goes away.
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
