#include "foundation/Logger.h"

#include "foundation/Bundle.h"

#include <QCoreApplication>
#include <QStringList>

#include <atomic>
#include <execinfo.h>
#include <syslog.h>

namespace {

void standardErrorWriter(LogLevel level, const Logger &logger, const QString &text)
{
    writeLogLine(stderr, level, logger, text);
}

std::atomic<LogWriter> currentWriter{&standardErrorWriter};

QtMsgType qtType(LogLevel level)
{
    switch (level) {
    case LogLevel::Debug:
        return QtDebugMsg;
    case LogLevel::Info:
    case LogLevel::Default:
        return QtInfoMsg;
    case LogLevel::Error:
    case LogLevel::Fault:
        return QtCriticalMsg;
    }
    return QtCriticalMsg;
}

int syslogPriority(LogLevel level)
{
    switch (level) {
    case LogLevel::Debug:
        return LOG_DEBUG;
    case LogLevel::Info:
        return LOG_INFO;
    case LogLevel::Default:
        return LOG_NOTICE;
    case LogLevel::Error:
        return LOG_ERR;
    case LogLevel::Fault:
        return LOG_CRIT;
    }
    return LOG_ERR;
}

void systemLogWriter(LogLevel level, const Logger &logger, const QString &text)
{
    const QByteArray line = (QString::fromUtf8(logger.loggingCategory().categoryName()) + QStringLiteral(": ") + text).toUtf8();
    syslog(syslogPriority(level), "%s", line.constData());
}

void systemLogMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    int priority = LOG_INFO;
    switch (type) {
    case QtDebugMsg:
        priority = LOG_DEBUG;
        break;
    case QtInfoMsg:
        priority = LOG_INFO;
        break;
    case QtWarningMsg:
        priority = LOG_WARNING;
        break;
    case QtCriticalMsg:
        priority = LOG_ERR;
        break;
    case QtFatalMsg:
        priority = LOG_CRIT;
        break;
    }
    const QString category = context.category ? QString::fromUtf8(context.category) : QStringLiteral("default");
    const QByteArray line = (category + QStringLiteral(": ") + message).toUtf8();
    syslog(priority, "%s", line.constData());
}

} // namespace

Logger::Logger(const QString &subsystem, const QString &category)
    : m_subsystem(subsystem), m_category(category), m_name((subsystem + QLatin1Char('.') + category).toUtf8()),
      m_loggingCategory(m_name.constData())
{
}

QString Logger::mainSubsystem()
{
    return subsystemFor(Bundle::main());
}

QString Logger::subsystemFor(const Bundle &bundle)
{
    return bundle.bundleIdentifier().value_or(QStringLiteral("Unknown Bundle"));
}

// Each shared channel is made once, on first use, and kept for the run.
#define VELORAN_SHARED_CHANNEL(type, member, category)                                                                \
    type &type::member()                                                                                              \
    {                                                                                                                 \
        static type logger(Logger::mainSubsystem(), QStringLiteral(category));                                        \
        return logger;                                                                                                \
    }
#define VELORAN_SHARED_CHANNELS(type)                                                                                 \
    VELORAN_SHARED_CHANNEL(type, audio, "Audio")                                                                      \
    VELORAN_SHARED_CHANNEL(type, commandLine, "Command Line")                                                         \
    VELORAN_SHARED_CHANNEL(type, filing, "Filing")                                                                    \
    VELORAN_SHARED_CHANNEL(type, networking, "Networking")                                                            \
    VELORAN_SHARED_CHANNEL(type, startup, "Startup")                                                                  \
    VELORAN_SHARED_CHANNEL(type, tearDown, "Tear Down")                                                               \
    VELORAN_SHARED_CHANNEL(type, ui, "UI")

VELORAN_SHARED_CHANNELS(Logger)
VELORAN_SHARED_CHANNELS(OSLog)

#undef VELORAN_SHARED_CHANNELS

#undef VELORAN_SHARED_CHANNEL

bool Logger::isEnabled(LogLevel level) const
{
    return m_loggingCategory.isEnabled(qtType(level));
}

void Logger::write(LogLevel level, const QString &text) const
{
    if (!isEnabled(level))
        return;
    currentWriter.load()(level, *this, text);
}

void osLog(const OSLog &log, LogLevel level, const QString &text)
{
    log.write(level, text);
}

void Logger::debugCallStack() const
{
    if (!isEnabled(LogLevel::Debug))
        return;
    void *frames[128];
    const int count = backtrace(frames, 128);
    char **symbols = backtrace_symbols(frames, count);
    if (!symbols)
        return;
    for (int i = 0; i < count; ++i)
        write(LogLevel::Debug, QString::fromLocal8Bit(symbols[i]));
    free(symbols);
}

void Logger::setWriter(LogWriter writer)
{
    currentWriter.store(writer ? writer : &standardErrorWriter);
}

LogWriter Logger::writer()
{
    return currentWriter.load();
}

QString logLevelName(LogLevel level)
{
    switch (level) {
    case LogLevel::Debug:
        return QStringLiteral("debug");
    case LogLevel::Info:
        return QStringLiteral("info");
    case LogLevel::Default:
        return QStringLiteral("default");
    case LogLevel::Error:
        return QStringLiteral("error");
    case LogLevel::Fault:
        return QStringLiteral("fault");
    }
    return QString();
}

void writeLogLine(std::FILE *stream, LogLevel level, const Logger &logger, const QString &text)
{
    const QByteArray line = (QString::fromUtf8(logger.loggingCategory().categoryName()) + QStringLiteral(" [")
                             + logLevelName(level) + QStringLiteral("] ") + text + QLatin1Char('\n'))
                                .toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stream);
    std::fflush(stream);
}

void installSystemLog()
{
    static const QByteArray identity = QCoreApplication::applicationName().toUtf8();
    // Also echoed to standard error, for a user who starts the application from a terminal.
    openlog(identity.isEmpty() ? "veloran" : identity.constData(), LOG_PID | LOG_PERROR, LOG_USER);
    Logger::setWriter(&systemLogWriter);
    qInstallMessageHandler(&systemLogMessageHandler);
}
