#include "ShellTestSupport.h"

#include "platform/UserDefaults.h"
#include "shell/AppState.h"
#include "shell/CloudSyncSettings.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

} // namespace

class AppStateTest : public QObject {
    Q_OBJECT
private slots:
    void syncOffStartsNoMonitoring_data()
    {
        QTest::addColumn<int>("setting"); // 0: never written, 1: registered false, 2: written false
        QTest::newRow("never written") << 0;
        QTest::newRow("registered default only") << 1;
        QTest::newRow("written false") << 2;
    }

    void syncOffStartsNoMonitoring()
    {
        QFETCH(int, setting);
        UserDefaults defaults;
        if (setting == 1)
            defaults.registerDefaults(CloudSyncSettings::registeredDefaults());
        if (setting == 2)
            defaults.setBool(false, CloudSyncSettings::enabledKey());
        FakeCloudAccountService service;
        AppState state(defaults, service);
        QVERIFY(!state.isEditing() && state.showAnnotations());
        state.startCloudMonitoring();
        settle();
        QCOMPARE(service.containers.size(), 0);
        // Switching sync on later in the run changes nothing until the next launch.
        defaults.setBool(true, CloudSyncSettings::enabledKey());
        service.changeAccount();
        settle();
        QCOMPARE(service.containers.size(), 0);
        QCOMPARE(state.cloudAccountStatus(), std::nullopt);
    }

    // The first read, then one read per account change (changes during the
    // first read are lost: it subscribes after it), one read at a time.
    void monitoringStoresEveryStatusAndErrors()
    {
        UserDefaults defaults({{QStringLiteral("cloudSyncEnabled"), true}});
        FakeCloudAccountService service;
        AppState state(defaults, service);
        QSignalSpy changes(&state, &AppState::cloudAccountStatusChanged);
        state.startCloudMonitoring();
        QCOMPARE(service.containers.size(), 0); // the task starts later, on the event loop
        settle();
        QCOMPARE(service.containers.size(), 1);
        QCOMPARE(service.containers.first(), CloudSyncSettings::containerIdentifier());
        service.changeAccount();
        service.answer(CloudAccountStatus::available);
        settle();
        QCOMPARE(service.containers.size(), 1);
        QCOMPARE(state.cloudAccountStatus(), std::optional(CloudAccountStatus::available));
        // The same status read again notifies nothing.
        service.changeAccount();
        service.answer(CloudAccountStatus::available);
        QCOMPARE(changes.count(), 1);
        const QList<CloudAccountStatus> statuses{CloudAccountStatus::couldNotDetermine, CloudAccountStatus::restricted,
                                                 CloudAccountStatus::noAccount, CloudAccountStatus::temporarilyUnavailable,
                                                 static_cast<CloudAccountStatus>(9)};
        for (CloudAccountStatus status : statuses) {
            service.changeAccount();
            QCOMPARE(service.pending.size(), 1);
            service.answer(status);
            QCOMPARE(state.cloudAccountStatus(), std::optional(status));
        }
        // A failed read forgets the status; the error itself goes nowhere.
        service.changeAccount();
        service.answer(CloudAccountStatusReply::withError(QStringLiteral("The network is down.")));
        QCOMPARE(state.cloudAccountStatus(), std::nullopt);
        QCOMPARE(changes.count(), 1 + statuses.size() + 1);
        // A second failure changes nothing.
        service.changeAccount();
        service.answer(CloudAccountStatusReply::withError(QStringLiteral("Still down.")));
        QCOMPARE(changes.count(), 1 + statuses.size() + 1);
        // Three changes in a row: one read at a time, each after the previous.
        const qsizetype reads = service.containers.size();
        service.changeAccount();
        service.changeAccount();
        service.changeAccount();
        QCOMPARE(service.pending.size(), 1);
        service.answer(CloudAccountStatus::noAccount);
        QCOMPARE(state.cloudAccountStatus(), std::optional(CloudAccountStatus::noAccount));
        QCOMPARE(service.pending.size(), 1);
        service.answer(CloudAccountStatus::restricted);
        service.answer(CloudAccountStatus::available);
        QCOMPARE(state.cloudAccountStatus(), std::optional(CloudAccountStatus::available));
        settle();
        QCOMPARE(service.containers.size(), reads + 3);
        QVERIFY(service.pending.isEmpty());
    }

    void destroyedStateIsNoLongerRead_data()
    {
        QTest::addColumn<bool>("whileReading"); // else before the monitoring task runs
        QTest::newRow("in the middle of a read") << true;
        QTest::newRow("before the task runs") << false;
    }

    // The answer is dropped, nothing crashes, later changes are ignored.
    void destroyedStateIsNoLongerRead()
    {
        QFETCH(bool, whileReading);
        UserDefaults defaults({{CloudSyncSettings::enabledKey(), true}});
        FakeCloudAccountService service;
        auto state = std::make_unique<AppState>(defaults, service);
        state->startCloudMonitoring();
        if (whileReading) {
            settle();
            service.answer(CloudAccountStatus::available);
            service.changeAccount();
            QCOMPARE(service.pending.size(), 1);
        }
        state.reset();
        if (whileReading)
            service.answer(CloudAccountStatus::noAccount);
        settle();
        service.changeAccount();
        service.changeAccount();
        settle();
        QCOMPARE(service.containers.size(), whileReading ? 2 : 0);
    }

    void platformServiceReportsNoAccount()
    {
        // Without iCloud on this platform, sync reads as signed out.
        UserDefaults defaults({{CloudSyncSettings::enabledKey(), true}});
        CloudAccountService &platform = CloudAccountService::shared();
        AppState state(defaults, platform);
        QSignalSpy changes(&state, &AppState::cloudAccountStatusChanged);
        bool answered = false;
        std::optional<CloudAccountStatus> reply;
        platform.requestAccountStatus(CloudSyncSettings::containerIdentifier(), [&](const CloudAccountStatusReply &r) {
            answered = true;
            reply = r.status;
        });
        QVERIFY(!answered); // never inside the request
        QTRY_VERIFY(answered);
        QCOMPARE(reply, std::optional(CloudAccountStatus::noAccount));
        state.startCloudMonitoring();
        QTRY_COMPARE(changes.count(), 1);
        QCOMPARE(state.cloudAccountStatus(), std::optional(CloudAccountStatus::noAccount));
    }
};

QTEST_GUILESS_MAIN(AppStateTest)
#include "tst_appstate.moc"
