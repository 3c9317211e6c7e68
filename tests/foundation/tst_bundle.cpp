#include "FoundationTestSupport.h"

#include "foundation/Bundle.h"

#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QTimeZone>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

class BundleTest : public QObject {
    Q_OBJECT

private slots:
    void alphaAndBetaAreSubstringTests_data()
    {
        QTest::addColumn<QVariant>("version");
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<bool>("beta");
        QTest::newRow("release") << QVariant(QStringLiteral("2.0")) << false << false;
        QTest::newRow("beta") << QVariant(QStringLiteral("2.0b3")) << false << true;
        QTest::newRow("both letters") << QVariant(QStringLiteral("1.0 beta")) << true << true;
        QTest::newRow("upper case") << QVariant(QStringLiteral("2.0B1")) << false << false;
        QTest::newRow("absent") << QVariant() << false << false;
        QTest::newRow("not a string") << QVariant(2.5) << false << false;
    }

    void alphaAndBetaAreSubstringTests()
    {
        QFETCH(QVariant, version);
        QFETCH(bool, alpha);
        QFETCH(bool, beta);
        QVariantMap info;
        if (version.isValid())
            info.insert(QStringLiteral("CFBundleShortVersionString"), version);
        const Bundle bundle(info);
        QCOMPARE(bundle.isAlphaVersion(), alpha);
        QCOMPARE(bundle.isBetaVersion(), beta);
    }

    void namesAndVersions_data()
    {
        QTest::addColumn<QVariantMap>("info");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("nameAndVersion");
        QTest::newRow("nothing") << QVariantMap{} << "" << " v ()";
        QTest::newRow("the display name first")
            << QVariantMap{{"CFBundleDisplayName", "Atlas Pro"}, {"CFBundleName", "Atlas"}} << "Atlas Pro" << "Atlas Pro v ()";
        QTest::newRow("mistyped values count as absent")
            << QVariantMap{{"CFBundleDisplayName", 7}, {"CFBundleName", "Atlas"}, {"CFBundleVersion", true}} << "Atlas"
            << "Atlas v ()";
        QTest::newRow("everything") << QVariantMap{{"CFBundleName", "Veloran"}, {"CFBundleShortVersionString", "1.2"},
                                                   {"CFBundleVersion", "42"}}
                                    << "Veloran" << "Veloran v1.2 (42)";
    }

    void namesAndVersions()
    {
        QFETCH(QVariantMap, info);
        QFETCH(QString, name);
        QFETCH(QString, nameAndVersion);
        const Bundle bundle(info);
        QCOMPARE(bundle.applicationName().value_or(QString()), name);
        QCOMPARE(bundle.applicationNameAndVersionString(), nameAndVersion);
    }

    void buildDateIsAucklandWallClock_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("machineZone");
        QTest::addColumn<QDateTime>("expected");
        // Auckland keeps daylight time (UTC+13) in March, standard time (UTC+12) in July.
        QTest::newRow("summer") << "Fri Mar 7 14:05:09 2025" << QByteArray("UTC")
                                << QDateTime(QDate(2025, 3, 7), QTime(1, 5, 9), Qt::UTC);
        QTest::newRow("winter") << "Mon Jul 14 09:00:00 2025" << QByteArray("Europe/Berlin")
                                << QDateTime(QDate(2025, 7, 13), QTime(21, 0), Qt::UTC);
        QTest::newRow("a time the machine's zone skips") << "Sun Mar 9 02:30:00 2025" << QByteArray("America/New_York")
                                                         << QDateTime(QDate(2025, 3, 8), QTime(13, 30), Qt::UTC);
        QTest::newRow("not a date") << "yesterday" << QByteArray("UTC") << QDateTime();
    }

    void buildDateIsAucklandWallClock()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, machineZone);
        QFETCH(QDateTime, expected);
        const QByteArray saved = qgetenv("TZ");
        qputenv("TZ", machineZone);
        tzset();
        const auto date = Bundle(QVariantMap{{QStringLiteral("BuildDate"), text}}).buildDate();
        qputenv("TZ", saved);
        tzset();
        QCOMPARE(date ? date->toDateTime() : QDateTime(), expected);
    }

    // The build writes the date with this script where GNU date is missing.
    void buildScriptWritesAucklandTime_data()
    {
        QTest::addColumn<QDateTime>("instant");
        QTest::newRow("daylight time on the day it ends") << QDateTime(QDate(2025, 4, 5), QTime(12, 59, 59), Qt::UTC);
        QTest::newRow("standard time again") << QDateTime(QDate(2025, 4, 5), QTime(14, 0), Qt::UTC);
        QTest::newRow("last standard second") << QDateTime(QDate(2025, 9, 27), QTime(13, 59, 59), Qt::UTC);
        QTest::newRow("daylight time again") << QDateTime(QDate(2025, 9, 27), QTime(14, 0), Qt::UTC);
    }

    void buildScriptWritesAucklandTime()
    {
        QFETCH(QDateTime, instant);
        QProcess cmake;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("SOURCE_DATE_EPOCH"), QString::number(instant.toSecsSinceEpoch()));
        environment.insert(QStringLiteral("TZ"), QStringLiteral("America/New_York"));
        cmake.setProcessEnvironment(environment);
        cmake.start(QStringLiteral(VELORAN_CMAKE_COMMAND),
                    {QStringLiteral("-P"), QStringLiteral(VELORAN_SOURCE_DIR "/src/foundation/BuildDate.cmake")});
        QVERIFY(cmake.waitForFinished(30000));
        const QString written = QString::fromUtf8(cmake.readAllStandardOutput()).trimmed();
        const QDateTime wallClock = instant.toTimeZone(QTimeZone(QByteArrayLiteral("Pacific/Auckland")));
        QCOMPARE(written, QLocale::c().toString(wallClock, QStringLiteral("ddd MMM d HH:mm:ss yyyy")));
        QCOMPARE(Bundle(QVariantMap{{QStringLiteral("BuildDate"), written}}).buildDate()->toDateTime(), instant);
    }

    void unreadableBuildDateFallsBackToFiles()
    {
        QTemporaryDir dir;
        makeTree(dir.path(), {"tool"});
        const QString executable = dir.filePath(QStringLiteral("tool"));
        const Bundle bundle(QVariantMap{{QStringLiteral("BuildDate"), QStringLiteral("2025-03-07 14:05:09")}},
                            dir.path(), executable);
        const auto expected = creationDateForFileAtPath(executable);
        QCOMPARE(bundle.buildDate(), expected); // none when the file system keeps no creation date
        QVERIFY(!creationDateForFileAtPath(dir.filePath(QStringLiteral("missing"))));
    }

    void mainBundleReadsTheEmbeddedDictionary()
    {
        const Bundle bundle = Bundle::main();
        QCOMPARE(bundle.applicationName(), QStringLiteral("Veloran"));
        QVERIFY(bundle.releaseVersionNumber() && !bundle.releaseVersionNumber()->isEmpty());
        QVERIFY(bundle.buildVersionNumber());
        QVERIFY(bundle.bundleIdentifier());
        QVERIFY(bundle.copyright() && bundle.copyright()->contains(QStringLiteral("Veloran")));
        QCOMPARE(Bundle(QJsonObject{{"NSHumanReadableCopyright", "© us"}}).copyright(), QStringLiteral("© us"));
        QVERIFY(bundle.buildDate()); // the generated build date parses
        QVERIFY(bundle.infoDictionary().contains(QStringLiteral("SUFeedURL")));
        QCOMPARE(bundle.infoDictionary().value(QStringLiteral("SUEnableAutomaticChecks")).typeId(), QMetaType::Bool);
        const auto icon = bundle.applicationIconFileName();
        QVERIFY(icon);
        QVERIFY(bundle.pathForResource(*icon, QStringLiteral("png")));
        QCOMPARE(Bundle::current().bundleIdentifier(), bundle.bundleIdentifier());
    }

    void bundleOnDiskIsReadAfreshOnEveryCall()
    {
        QTemporaryDir dir;
        const QString info = dir.filePath(QStringLiteral("Info.json"));
        writeFile(info, R"({"CFBundleShortVersionString": "1.0"})");
        const auto bundle = Bundle::atPath(dir.path());
        QVERIFY(bundle);
        QCOMPARE(bundle->releaseVersionNumber(), QStringLiteral("1.0"));
        writeFile(info, R"({"CFBundleShortVersionString": "1.1b1"})");
        QCOMPARE(bundle->releaseVersionNumber(), QStringLiteral("1.1b1"));
        QFile::remove(info);
        QVERIFY(bundle->infoDictionary().isEmpty());
        QVERIFY(!Bundle::atPath(dir.filePath(QStringLiteral("nowhere"))));
    }

    void manuallyLoadingBundlesReportsEachName()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Images.bundle")));
        writeFile(dir.filePath(QStringLiteral("Images.bundle/Info.json")), R"({"CFBundleIdentifier": "test.images"})");
        const Bundle host(QVariantMap{}, dir.path());
        {
            const LogCapture log;
            host.manuallyLoadBundles({QStringLiteral("Missing"), QStringLiteral("Images")});
            QCOMPARE(log.lines().value(0), QStringLiteral("Startup error Unable to find bundle resource: Missing"));
            QVERIFY(log.lines().value(1).startsWith(QStringLiteral("Startup default Registered resource bundle (no executable to load): ")));
            QVERIFY(log.lines().value(1).contains(QStringLiteral("Images.bundle")));
            // Only bundles that were loaded are listed: the main bundle here.
            QCOMPARE(log.lines().mid(2),
                     QStringList{"Startup debug Bundle identifier loaded: " + *Bundle::main().bundleIdentifier()});
        }
        // A bundle whose executable is not a loadable library.
        makeTree(dir.path(), {"Plugin.bundle/plugin.so"});
        writeFile(dir.filePath(QStringLiteral("Plugin.bundle/Info.json")), R"({"CFBundleExecutable": "plugin.so"})");
        {
            const LogCapture log;
            host.manuallyLoadBundles({QStringLiteral("Plugin")});
            QVERIFY(log.lines().value(0).startsWith(QStringLiteral("Startup default Load Bundle <")));
            QCOMPARE(log.lines().value(1), QStringLiteral("Startup default Failed"));
        }
        QCOMPARE(Bundle::allBundles().size(), 1);
        const LogCapture log;
        host.manuallyLoadBundles({});
        QCOMPARE(log.lines().size(), 1);
    }
};

QTEST_GUILESS_MAIN(BundleTest)
#include "tst_bundle.moc"
