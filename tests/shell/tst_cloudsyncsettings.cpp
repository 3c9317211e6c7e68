#include "platform/UserDefaults.h"
#include "shell/CloudSyncSettings.h"

#include <QTest>

class CloudSyncSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void readsTheSwitchWithItsDefault()
    {
        UserDefaults defaults;
        QCOMPARE(CloudSyncSettings::enabledKey(), QStringLiteral("cloudSyncEnabled"));
        QVERIFY(!CloudSyncSettings::isEnabled(defaults)); // never written, nothing registered

        defaults.registerDefaults(CloudSyncSettings::registeredDefaults());
        QVERIFY(defaults.contains(QStringLiteral("cloudSyncEnabled")));
        QVERIFY(!CloudSyncSettings::isEnabled(defaults));

        defaults.setBool(true, QStringLiteral("cloudSyncEnabled"));
        QVERIFY(CloudSyncSettings::isEnabled(defaults));
        defaults.setBool(false, QStringLiteral("cloudSyncEnabled"));
        QVERIFY(!CloudSyncSettings::isEnabled(defaults));
    }
};

QTEST_GUILESS_MAIN(CloudSyncSettingsTest)
#include "tst_cloudsyncsettings.moc"
