#include "foundation/Bundle.h"
#include "foundation/Logger.h"

#include <QTemporaryFile>
#include <QTest>

#include <cstdio>

namespace {

struct Entry {
    LogLevel level;
    QString channel;
    QString text;
};
QList<Entry> entries;

void captureWriter(LogLevel level, const Logger &logger, const QString &text)
{
    entries.append({level, QString::fromUtf8(logger.loggingCategory().categoryName()), text});
}

} // namespace

class LoggerTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        entries.clear();
        Logger::setWriter(&captureWriter);
    }
    void cleanup() { Logger::setWriter(nullptr); }

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
        QCOMPARE(&Logger::filing(), &Logger::filing());
        QCOMPARE(&OSLog::filing(), &OSLog::filing());
        QVERIFY(static_cast<Logger *>(&OSLog::filing()) != &Logger::filing());
        QStringList categories;
        for (Logger *channel : channels) {
            categories << channel->category();
            QCOMPARE(channel->subsystem(), Logger::mainSubsystem());
            QCOMPARE(QString::fromUtf8(channel->loggingCategory().categoryName()),
                     channel->subsystem() + QLatin1Char('.') + channel->category());
        }
        QCOMPARE(categories, (QStringList{QStringLiteral("Audio"), QStringLiteral("Command Line"),
                                          QStringLiteral("Filing"), QStringLiteral("Networking"),
                                          QStringLiteral("Startup"), QStringLiteral("Tear Down"),
                                          QStringLiteral("UI")}));
    }

    void logObjectsWriteAtTheLevelGiven()
    {
        osLog(OSLog::tearDown(), LogLevel::Fault, QStringLiteral("50% {done}"));
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().level, LogLevel::Fault);
        QCOMPARE(entries.first().channel, Logger::mainSubsystem() + QStringLiteral(".Tear Down"));
        QCOMPARE(entries.first().text, QStringLiteral("50% {done}"));
        OSLog quiet(QStringLiteral("test"), QStringLiteral("Quiet"));
        quiet.loggingCategory().setEnabled(QtDebugMsg, false);
        osLog(quiet, LogLevel::Debug, QStringLiteral("hidden"));
        QCOMPARE(entries.size(), 1);
    }

    void subsystemIsTheBundleIdentifier()
    {
        QCOMPARE(Logger::subsystemFor(Bundle(QVariantMap{})), QStringLiteral("Unknown Bundle"));
        QCOMPARE(Logger::subsystemFor(Bundle(QVariantMap{{QStringLiteral("CFBundleIdentifier"), 3}})),
                 QStringLiteral("Unknown Bundle"));
        QCOMPARE(Logger::subsystemFor(Bundle(QVariantMap{{QStringLiteral("CFBundleIdentifier"), QStringLiteral("a.b")}})),
                 QStringLiteral("a.b"));
        QCOMPARE(Logger::mainSubsystem(), *Bundle::main().bundleIdentifier());
    }

    void eachFunctionWritesAtItsLevel()
    {
        const Logger &log = Logger::ui();
        log.logPublic(QStringLiteral("a"));
        log.debugPublic(QStringLiteral("b"));
        log.infoPublic(QStringLiteral("c"));
        log.warningPublic(QStringLiteral("d"));
        log.errorPublic(QStringLiteral("e"));
        log.faultPublic(QStringLiteral("f"));
        QList<LogLevel> levels;
        QStringList texts;
        for (const Entry &entry : entries) {
            levels << entry.level;
            texts << entry.text;
            QCOMPARE(entry.channel, Logger::mainSubsystem() + QStringLiteral(".UI"));
        }
        QCOMPARE(texts, (QStringList{"a", "b", "c", "d", "e", "f"}));
        QCOMPARE(levels, (QList<LogLevel>{LogLevel::Default, LogLevel::Debug, LogLevel::Info, LogLevel::Error,
                                          LogLevel::Error, LogLevel::Fault}));
    }

    void disabledLevelsWriteNothing()
    {
        Logger log(QStringLiteral("test"), QStringLiteral("Quiet"));
        log.loggingCategory().setEnabled(QtDebugMsg, false);
        log.debugPublic(QStringLiteral("hidden"));
        log.debugCallStack();
        QVERIFY(entries.isEmpty());
        log.loggingCategory().setEnabled(QtDebugMsg, true);
        log.debugCallStack();
        QVERIFY(entries.size() > 1);
        for (const Entry &entry : entries)
            QCOMPARE(entry.level, LogLevel::Debug);
    }

    void textIsNeverAFormat()
    {
        const QString text = QStringLiteral("100% done: %s %n %d {public} %@");
        Logger::networking().errorPublic(text);
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().text, text);

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
