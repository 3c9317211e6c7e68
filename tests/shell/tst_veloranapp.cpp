#include "ShellTestSupport.h"

#include "platform/UserDefaults.h"
#include "platform/objectstore/ModelStoreError.h"
#include "shell/AppState.h"
#include "shell/CloudSyncSettings.h"
#include "shell/VeloranApp.h"

#include <QTest>

// Start-up: shared state, registered default, container, updater, in that
// order; a container that cannot be built stops everything after it.
class VeloranAppTest : public QObject {
    Q_OBJECT
private:
    struct Recorder {
        QStringList steps;
        QString fatal;
        VeloranApp::Services services(UserDefaults &defaults, CloudAccountService &accounts, bool failing = false)
        {
            VeloranApp::Services services;
            services.defaults = &defaults;
            services.accountService = &accounts;
            services.makeContainer = [this, &defaults, failing]() -> std::unique_ptr<ModelContainer> {
                steps << (defaults.object(CloudSyncSettings::enabledKey()).isValid() ? QStringLiteral("container after defaults")
                                                                                    : QStringLiteral("container before defaults"));
                if (failing)
                    throw ModelStoreError(ModelStoreError::Code::damaged, QStringLiteral("The library file is damaged."));
                return makeTestContainer();
            };
            services.startUpdater = [this] { steps << QStringLiteral("updater"); };
            services.reportFatalError = [this](const QString &message) { fatal = message; };
            return services;
        }
    };

private slots:
    void startsInOrder_data()
    {
        QTest::addColumn<bool>("syncOn");
        QTest::newRow("sync never switched on") << false;
        QTest::newRow("sync on") << true;
    }

    // The account is monitored only when sync is on.
    void startsInOrder()
    {
        QFETCH(bool, syncOn);
        UserDefaults defaults(syncOn ? QVariantMap{{CloudSyncSettings::enabledKey(), true}} : QVariantMap{});
        SilentCloudAccountService accounts;
        Recorder recorder;
        const std::unique_ptr<VeloranApp> app = VeloranApp::start(recorder.services(defaults, accounts));
        QVERIFY(app);
        QCOMPARE(recorder.steps, (QStringList{"container after defaults", "updater"}));
        QVERIFY(recorder.fatal.isEmpty());
        QCOMPARE(defaults.boolForKey(CloudSyncSettings::enabledKey()), syncOn);
        QVERIFY(defaults.object(CloudSyncSettings::enabledKey()).isValid());
        QTest::qWait(20);
        QCOMPARE(accounts.requestCount, syncOn ? 1 : 0);
    }

    void containerFailureStopsStartUp()
    {
        UserDefaults defaults;
        SilentCloudAccountService accounts;
        Recorder recorder;
        const std::unique_ptr<VeloranApp> app = VeloranApp::start(recorder.services(defaults, accounts, true));
        QVERIFY(!app);
        QCOMPARE(recorder.fatal, QStringLiteral("Failed to create ModelContainer: The library file is damaged."));
        QCOMPARE(recorder.steps, (QStringList{"container after defaults"}));
    }

    void windowsOpenedWithoutStateDiffer()
    {
        const MainWindowState first = VeloranApp::defaultWindowState();
        QVERIFY(!first.id.isNull() && first.selectedImageID.isEmpty());
        QVERIFY(first.id != VeloranApp::defaultWindowState().id);
    }
};

QTEST_GUILESS_MAIN(VeloranAppTest)
#include "tst_veloranapp.moc"
