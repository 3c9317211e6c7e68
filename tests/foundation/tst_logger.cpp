#include "FoundationTestSupport.h"

#include "foundation/Bundle.h"

#include <QTemporaryFile>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

#include <cstdio>

class LoggerTest : public QObject {
    Q_OBJECT

private slots:
    void channelsAreSharedAndNamedByCategory_data()
    {
        QTest::addColumn<QList<Logger *>>("channels");
        QTest::newRow("loggers") << QList<Logger *>{&Logger::audio(), &Logger::commandLine(), &Logger::filing(),
                                                    &Logger::networking(), &Logger::startup(), &Logger::tearDown(),
                                                    &Logger::ui()};
        QTest::newRow("log objects") << QList<Logger *>{&OSLog::audio(), &OSLog::commandLine(), &OSLog::filing(),
                                                        &OSLog::networking(), &OSLog::startup(), &OSLog::tearDown(),
                                                        &OSLog::ui()};
    }

    void channelsAreSharedAndNamedByCategory()
    {
        QFETCH(QList<Logger *>, channels);
        // One channel of each kind per process, whichever thread asks for it.
        const auto fromWorker = QtConcurrent::run([] { return std::pair(&Logger::filing(), &OSLog::filing()); }).result();
        QCOMPARE(fromWorker.first, &Logger::filing());
        QCOMPARE(fromWorker.second, &OSLog::filing());
        QVERIFY(static_cast<Logger *>(&OSLog::filing()) != &Logger::filing());
        QStringList categories;
        for (Logger *channel : channels) {
            categories << channel->category();
            QCOMPARE(channel->subsystem(), Logger::mainSubsystem());
            QCOMPARE(QString::fromUtf8(channel->loggingCategory().categoryName()),
                     channel->subsystem() + QLatin1Char('.') + channel->category());
        }
        QCOMPARE(categories, (QStringList{"Audio", "Command Line", "Filing", "Networking", "Startup", "Tear Down", "UI"}));
    }

    void subsystemIsTheBundleIdentifier()
    {
        QCOMPARE(Logger::subsystemFor(Bundle(QVariantMap{})), QStringLiteral("Unknown Bundle"));
        QCOMPARE(Logger::subsystemFor(Bundle(QVariantMap{{"CFBundleIdentifier", 3}})), QStringLiteral("Unknown Bundle"));
        QCOMPARE(Logger::subsystemFor(Bundle(QVariantMap{{"CFBundleIdentifier", "a.b"}})), QStringLiteral("a.b"));
        QCOMPARE(Logger::mainSubsystem(), *Bundle::main().bundleIdentifier());
    }

    void eachFunctionWritesAtItsLevel()
    {
        const LogCapture log;
        const Logger &ui = Logger::ui();
        ui.logPublic(QStringLiteral("a"));
        ui.debugPublic(QStringLiteral("b"));
        ui.infoPublic(QStringLiteral("c"));
        ui.warningPublic(QStringLiteral("d"));
        ui.errorPublic(QStringLiteral("e"));
        ui.faultPublic(QStringLiteral("f"));
        osLog(OSLog::tearDown(), LogLevel::Fault, QStringLiteral("50% {done}"));
        QCOMPARE(log.lines(), (QStringList{"UI default a", "UI debug b", "UI info c", "UI error d", "UI error e",
                                           "UI fault f", "Tear Down fault 50% {done}"}));
    }

    void disabledLevelsWriteNothing()
    {
        const LogCapture log;
        OSLog quiet(QStringLiteral("test"), QStringLiteral("Quiet"));
        quiet.loggingCategory().setEnabled(QtDebugMsg, false);
        osLog(quiet, LogLevel::Debug, QStringLiteral("hidden"));
        quiet.debugPublic(QStringLiteral("hidden"));
        quiet.debugCallStack();
        QVERIFY(log.lines().isEmpty());
        quiet.loggingCategory().setEnabled(QtDebugMsg, true);
        quiet.debugCallStack();
        QVERIFY(log.lines().size() > 1);
        for (const QString &line : log.lines())
            QVERIFY(line.startsWith(QStringLiteral("Quiet debug ")));
    }

    void textIsNeverAFormat()
    {
        const QString text = QStringLiteral("100% done: %s %n %d {public} %@");
        {
            const LogCapture log;
            Logger::networking().errorPublic(text);
            QCOMPARE(log.lines(), QStringList{"Networking error " + text});
        }
        // The standard-error writer copies the text literally as well.
        QTemporaryFile file;
        QVERIFY(file.open());
        std::FILE *stream = std::fopen(file.fileName().toLocal8Bit().constData(), "w");
        QVERIFY(stream);
        writeLogLine(stream, LogLevel::Error, Logger::networking(), text);
        std::fclose(stream);
        QCOMPARE(QString::fromUtf8(file.readAll()),
                 Logger::mainSubsystem() + QStringLiteral(".Networking [error] ") + text + QLatin1Char('\n'));
    }
};

QTEST_GUILESS_MAIN(LoggerTest)
#include "tst_logger.moc"
