#include "model/VeloranSchemaV1.h"
#include "shell/CloudSyncSettings.h"
#include "shell/Extensions.h"
#include "shell/ModelContainerSetup.h"

#include <QTest>

class ModelContainerSetupTest : public QObject {
    Q_OBJECT
private slots:
    void testHostDetection_data()
    {
        QTest::addColumn<QStringList>("variables");
        QTest::addColumn<bool>("expected");
        QTest::newRow("empty environment") << QStringList{} << false;
        QTest::newRow("configuration path") << QStringList{"XCTestConfigurationFilePath=/tmp/x"} << true;
        QTest::newRow("bundle path, empty value") << QStringList{"XCTestBundlePath="} << true;
        QTest::newRow("CI 1") << QStringList{"CI=1"} << true;
        QTest::newRow("CI true") << QStringList{"CI=true"} << true;
        QTest::newRow("CI TRUE") << QStringList{"CI=TRUE"} << true;
        QTest::newRow("CI 0") << QStringList{"CI=0"} << false;
        QTest::newRow("CI yes") << QStringList{"CI=yes"} << false;
        QTest::newRow("CI empty") << QStringList{"CI="} << false;
        QTest::newRow("CI with blank") << QStringList{"CI= true"} << false;
        QTest::newRow("unrelated") << QStringList{"HOME=/root", "XCTEST=1"} << false;
    }

    void testHostDetection()
    {
        QFETCH(QStringList, variables);
        QFETCH(bool, expected);
        QProcessEnvironment environment;
        for (const QString &variable : std::as_const(variables)) {
            const qsizetype equals = variable.indexOf(QLatin1Char('='));
            environment.insert(variable.left(equals), variable.mid(equals + 1));
        }
        QCOMPARE(ProcessInfo::isRunningTestsOrCI(environment), expected);
    }

    void clampedLimitsBothWays()
    {
        QCOMPARE(clamped(5, 1, 8), 5);
        QCOMPARE(clamped(0, 1, 8), 1);
        QCOMPARE(clamped(9, 1, 8), 8);
        QCOMPARE(clamped(-0.5, 0.0, 1.0), 0.0);
        QCOMPARE(clamped(1.5, 0.0, 1.0), 1.0);
    }

    void configurationFollowsHostAndSetting()
    {
        const Schema schema(VeloranSchemaV1::versionedSchema());

        // A test host keeps the store in memory and never mirrors.
        ModelConfiguration test = makeModelConfiguration(schema, true, true);
        QVERIFY(test.isStoredInMemoryOnly);
        QCOMPARE(test.cloudKitDatabase, CloudKitDatabase::none());

        ModelConfiguration local = makeModelConfiguration(schema, false, false);
        QVERIFY(!local.isStoredInMemoryOnly && local.allowsSave);
        QCOMPARE(local.cloudKitDatabase, CloudKitDatabase::none());
        QVERIFY(local.storePath().endsWith(QStringLiteral("/default.store")));

        ModelConfiguration mirrored = makeModelConfiguration(schema, false, true);
        QVERIFY(!mirrored.isStoredInMemoryOnly);
        QCOMPARE(mirrored.cloudKitDatabase, CloudKitDatabase::privateDatabase(CloudSyncSettings::containerIdentifier()));
    }

    void containerUnderTestHostIsInMemory()
    {
        // CTest runs every test with CI=true.
        qputenv("CI", "true");
        auto first = makeModelContainer();
        auto second = makeModelContainer();
        QVERIFY(first->configurations().first().isStoredInMemoryOnly);
        QCOMPARE(first->schema().entities().size(), 4);
        QVERIFY(&first->mainContext() != &second->mainContext());
    }
};

QTEST_GUILESS_MAIN(ModelContainerSetupTest)
#include "tst_modelcontainersetup.moc"
