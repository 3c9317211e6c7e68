// Replays every input that once made the fuzz target fail, with the seeds
// and fixtures, through the same consistency checks.
#include "ArchiveInputChecks.h"

#include <QDir>
#include <QFile>
#include <QTest>

class RegressionsTest : public QObject {
    Q_OBJECT
private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("path");
        const QDir data(QStringLiteral(VELORAN_TEST_DATA_DIR));
        int count = 0;
        for (const QString &folder : {QStringLiteral("regressions"), QStringLiteral("seeds"), QStringLiteral(".")}) {
            const QDir dir(data.filePath(folder));
            for (const QFileInfo &file : dir.entryInfoList(QDir::Files, QDir::Name)) {
                if (file.suffix() == QLatin1String("sh"))
                    continue;
                QTest::newRow(qPrintable(folder + QLatin1Char('/') + file.fileName())) << file.filePath();
                ++count;
            }
        }
        QVERIFY(count >= 10);
    }

    void replay()
    {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString problem = checkArchiveInput(file.readAll());
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
};

QTEST_GUILESS_MAIN(RegressionsTest)
#include "tst_regressions.moc"
