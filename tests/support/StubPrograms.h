#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

// Stand-ins for the desktop's helper programs (xdg-open, xdg-email): PATH
// holds their folder alone while this object lives. Each writes its
// arguments, one a line, to `<name>.args` beside it; a failing one then
// ends as the helpers do when no program can do the job.
class StubPrograms {
public:
    StubPrograms() : m_path(qgetenv("PATH")) { qputenv("PATH", QFile::encodeName(m_dir.path())); }
    ~StubPrograms() { qputenv("PATH", m_path); }
    StubPrograms(const StubPrograms &) = delete;
    StubPrograms &operator=(const StubPrograms &) = delete;

    bool add(const QString &name, bool failing = false)
    {
        QFile script(m_dir.filePath(name));
        if (!script.open(QIODevice::WriteOnly))
            return false;
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
        if (failing)
            script.write("echo \"$0: no method available\" >&2\nexit 3\n");
        script.close();
        return script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // What the program was last started with; empty before.
    QStringList argumentsOf(const QString &name) const
    {
        QFile file(m_dir.filePath(name + QStringLiteral(".args")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // The helpers started and not yet let go of.
    static qsizetype running()
    {
        return QCoreApplication::instance()->findChildren<QProcess *>(Qt::FindDirectChildrenOnly).size();
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_path;
};
