#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeScript(const QString &path, const QByteArray &body)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + body) < 0)
        qFatal("cannot write %s", qPrintable(path));
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

} // namespace

// scripts/run, as a user starts the application: it builds the application
// alone, configuring the tree only the first time, then runs it with the
// given arguments.
class RunScriptTest : public QObject {
    Q_OBJECT
private slots:
    void buildsTheApplicationAloneAndStartsIt_data()
    {
        QTest::addColumn<bool>("configured");
        QTest::newRow("a new checkout") << false;
        QTest::newRow("a configured tree") << true;
    }
    void buildsTheApplicationAloneAndStartsIt()
    {
        QFETCH(bool, configured);
        QTemporaryDir folder;
        // Stand-ins that note what they were asked: cmake, apt-get, and the
        // package query that finds every package installed.
        const QString tools = folder.filePath(QStringLiteral("tools"));
        QDir().mkpath(tools);
        const QString calls = folder.filePath(QStringLiteral("calls"));
        writeScript(tools + QStringLiteral("/cmake"), "echo \"cmake $*\" >> '" + calls.toUtf8() + "'\n");
        writeScript(tools + QStringLiteral("/apt-get"), "echo \"apt-get $*\" >> '" + calls.toUtf8() + "'\n");
        writeScript(tools + QStringLiteral("/dpkg-query"),
                    "for p; do case \"$p\" in -*) ;; *) echo \"$p install ok installed\" ;; esac; done\n");
        const QString build = folder.filePath(QStringLiteral("build"));
        QDir().mkpath(build + QStringLiteral("/src/app"));
        if (configured)
            writeScript(build + QStringLiteral("/build.ninja"), "");
        writeScript(build + QStringLiteral("/src/app/veloran"), "echo \"veloran $*\" >> '" + calls.toUtf8() + "'\n");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"), tools + QLatin1Char(':') + environment.value(QStringLiteral("PATH")));
        environment.insert(QStringLiteral("VELORAN_BUILD_DIR"), build);
        QProcess run;
        run.setProcessEnvironment(environment);
        run.start(QStringLiteral(VELORAN_SOURCE_DIR "/scripts/run"), {QStringLiteral("--flag")});
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitCode(), 0);
        QFile file(calls);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        // Nothing was missing, so nothing was installed.
        QCOMPARE(lines.size(), configured ? 2 : 3);
        if (!configured)
            QVERIFY2(lines.takeFirst().startsWith(QStringLiteral("cmake -S ")), "the tree was not configured");
        QVERIFY2(lines.at(0).startsWith(QStringLiteral("cmake --build ") + build)
                     && lines.at(0).endsWith(QStringLiteral(" --target veloran")),
                 qPrintable(lines.at(0)));
        QCOMPARE(lines.at(1), QStringLiteral("veloran --flag"));
    }
};

QTEST_GUILESS_MAIN(RunScriptTest)
#include "tst_runscript.moc"
