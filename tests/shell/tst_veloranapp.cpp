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
    void startsInOrder()
    {
        UserDefaults defaults;
        SilentCloudAccountService accounts;
        Recorder recorder;
        const std::unique_ptr<VeloranApp> app = VeloranApp::start(recorder.services(defaults, accounts));
        QVERIFY(app);
        QCOMPARE(recorder.steps, (QStringList{"container after defaults", "updater"}));
        QVERIFY(recorder.fatal.isEmpty());
        QVERIFY(!app->appState().isEditing());
        QVERIFY(app->appState().showAnnotations());
        QCOMPARE(app->appState().cloudAccountStatus(), std::nullopt);
        QCOMPARE(defaults.boolForKey(CloudSyncSettings::enabledKey()), false);
        QVERIFY(defaults.object(CloudSyncSettings::enabledKey()).isValid());
        // Sync never switched on: no account monitoring.
        QCoreApplication::processEvents();
        QCOMPARE(accounts.requestCount, 0);
    }

    void monitorsTheAccountWhenSyncIsOn()
    {
        UserDefaults defaults(QVariantMap{{CloudSyncSettings::enabledKey(), true}});
        SilentCloudAccountService accounts;
        Recorder recorder;
        const std::unique_ptr<VeloranApp> app = VeloranApp::start(recorder.services(defaults, accounts));
        QVERIFY(app);
        QTRY_COMPARE(accounts.requestCount, 1);
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
        const MainWindowState second = VeloranApp::defaultWindowState();
        QVERIFY(!first.id.isNull());
        QVERIFY(first.id != second.id);
        QVERIFY(first.selectedImageID.isEmpty());
    }
};

QTEST_GUILESS_MAIN(VeloranAppTest)
#include "tst_veloranapp.moc"
