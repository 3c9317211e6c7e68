#pragma once

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

#include <cstdio>

// The level of one log entry, from the least to the most severe.
enum class LogLevel { Debug, Info, Default, Error, Fault };

class Bundle;
class Logger;

// Where finished entries go. The text is always data, never a format.
using LogWriter = void (*)(LogLevel level, const Logger &logger, const QString &text);

// A log channel over a Qt logging category named "<subsystem>.<category>".
// Each function writes one finished text at its level and does nothing
// further when that level is disabled for the channel.
class Logger {
public:
    Logger(const QString &subsystem, const QString &category);
    Logger(const Logger &) = delete;
    Logger &operator=(const Logger &) = delete;

    // The shared channels, made once on first use. Their subsystem is the
    // main bundle's identifier, or "Unknown Bundle" when it has none.
    static Logger &audio();
    static Logger &commandLine();
    static Logger &filing();
    static Logger &networking();
    static Logger &startup();
    static Logger &tearDown();
    static Logger &ui();
    static QString mainSubsystem();
    // A bundle's identifier, or "Unknown Bundle" when it has none.
    static QString subsystemFor(const Bundle &bundle);

    QString subsystem() const { return m_subsystem; }
    QString category() const { return m_category; }
    QLoggingCategory &loggingCategory() { return m_loggingCategory; }
    const QLoggingCategory &loggingCategory() const { return m_loggingCategory; }
    bool isEnabled(LogLevel level) const;

    void logPublic(const QString &text) const { write(LogLevel::Default, text); }
    void debugPublic(const QString &text) const { write(LogLevel::Debug, text); }
    void infoPublic(const QString &text) const { write(LogLevel::Info, text); }
    void warningPublic(const QString &text) const { errorPublic(text); }
    void errorPublic(const QString &text) const { write(LogLevel::Error, text); }
    void faultPublic(const QString &text) const { write(LogLevel::Fault, text); }
    // One debug entry per frame of the calling thread's stack.
    void debugCallStack() const;
    // Writes one finished text at `level`; nothing when the level is disabled.
    void write(LogLevel level, const QString &text) const;

    // Replaces the destination of every channel (standard error by default).
    static void setWriter(LogWriter writer);
    static LogWriter writer();

private:
    QString m_subsystem;
    QString m_category;
    QByteArray m_name; // must outlive m_loggingCategory, which keeps a pointer to it
    QLoggingCategory m_loggingCategory;
};

// The same seven channels again as a separate set of log objects, for code
// written against the older log-object interface, which names the level
// with each entry: osLog(OSLog::filing(), LogLevel::Error, text).
class OSLog : public Logger {
public:
    using Logger::Logger;

    static OSLog &audio();
    static OSLog &commandLine();
    static OSLog &filing();
    static OSLog &networking();
    static OSLog &startup();
    static OSLog &tearDown();
    static OSLog &ui();
};

// Writes one finished text at `level` on `log`, as Logger::write() does.
void osLog(const OSLog &log, LogLevel level, const QString &text);

QString logLevelName(LogLevel level);
// Writes "<channel> [<level>] <text>" as one line to `stream`.
void writeLogLine(std::FILE *stream, LogLevel level, const Logger &logger, const QString &text);
// Sends every channel, and Qt's own messages, to the system log (syslog,
// which the journal collects). The application calls this once at start.
void installSystemLog();
