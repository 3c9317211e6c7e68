#include "foundation/Bundle.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

QString run(const QStringList &arguments, const QString &folder)
{
    QProcess cmake;
    cmake.setWorkingDirectory(folder);
    cmake.setProcessChannelMode(QProcess::MergedChannels);
    cmake.start(QStringLiteral(VELORAN_CMAKE_COMMAND), arguments);
    if (!cmake.waitForFinished(120000) || cmake.exitStatus() != QProcess::NormalExit || cmake.exitCode() != 0)
        return QStringLiteral("failed: ") + arguments.join(u' ') + u'\n' + QString::fromUtf8(cmake.readAll());
    return QString::fromUtf8(cmake.readAll());
}

} // namespace

// The Info dictionary's build date and number are stamped by the build when
// the application's sources change, not at every build: a build of an
// unchanged tree does no work. Checked on a configured copy of the sources,
// building the stamped dictionary only.
class BuildStampTest : public QObject {
    Q_OBJECT

    using Step = std::function<void(const QString &sources)>;

    QTemporaryDir m_folder;
    QString m_sources;
    QString m_build;
    const QString m_info = QStringLiteral("src/foundation/bundle/Info.json");

    QString configure(const QStringList &options = {})
    {
        return run(QStringList{QStringLiteral("-S"), m_sources, QStringLiteral("-B"), m_build, QStringLiteral("-G"),
                               QStringLiteral("Ninja"), QStringLiteral("-DVELORAN_BUILD_TESTS=OFF"),
                               QStringLiteral("-DVELORAN_BUILD_BENCH=OFF")}
                       + options,
                   m_folder.path());
    }
    QString build() { return run({QStringLiteral("--build"), m_build, QStringLiteral("--target"), m_info}, m_build); }
    QJsonObject info() const
    {
        QFile file(m_build + u'/' + m_info);
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        m_sources = m_folder.filePath(QStringLiteral("sources"));
        m_build = m_folder.filePath(QStringLiteral("build"));
        QProcess copy;
        copy.start(QStringLiteral("mkdir"), {QStringLiteral("-p"), m_sources});
        QVERIFY(copy.waitForFinished() && copy.exitCode() == 0);
        for (const char *part : {"CMakeLists.txt", "cmake", "src"}) {
            copy.start(QStringLiteral("cp"), {QStringLiteral("-R"), QStringLiteral(VELORAN_SOURCE_DIR "/") + part, m_sources});
            QVERIFY(copy.waitForFinished() && copy.exitCode() == 0);
        }
        const QString configured = configure();
        QVERIFY2(!configured.startsWith(QStringLiteral("failed")), qPrintable(configured));
        const QString built = build();
        QVERIFY2(built.contains(QStringLiteral("Stamping")), qPrintable(built));
        const Bundle bundle(info().toVariantMap());
        QVERIFY2(bundle.buildDate(), "the stamped build date does not parse");
        QCOMPARE(bundle.buildVersionNumber(), QStringLiteral("1"));
    }

    // In order: each row builds on the tree the rows before it left.
    void stampedOnlyWhenTheSourcesChange_data()
    {
        QTest::addColumn<Step>("step");
        QTest::addColumn<bool>("stamped");
        QTest::addColumn<QString>("buildNumber");
        QTest::newRow("built again") << Step([](const QString &) {}) << false << "1";
        QTest::newRow("configured again") << Step([this](const QString &) { QVERIFY(!configure().startsWith("failed")); })
                                          << false << "1";
        QTest::newRow("a source changed") << Step([](const QString &sources) {
            QFile main(sources + QStringLiteral("/src/app/main.cpp"));
            QVERIFY(main.open(QIODevice::ReadWrite));
            QVERIFY(main.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime));
        }) << true << "1";
        QTest::newRow("built again after the change") << Step([](const QString &) {}) << false << "1";
        QTest::newRow("another build number") << Step([this](const QString &) {
            QVERIFY(!configure({QStringLiteral("-DVELORAN_BUILD_NUMBER=7")}).startsWith("failed"));
        }) << true << "7";
    }
    void stampedOnlyWhenTheSourcesChange()
    {
        QFETCH(Step, step);
        QFETCH(bool, stamped);
        QFETCH(QString, buildNumber);
        step(m_sources);
        const QString built = build();
        QVERIFY2(!built.startsWith(QStringLiteral("failed")), qPrintable(built));
        QCOMPARE(built.contains(QStringLiteral("Stamping")), stamped);
        QCOMPARE(built.contains(QStringLiteral("no work to do")), !stamped);
        QCOMPARE(info().value(QStringLiteral("CFBundleVersion")).toString(), buildNumber);
    }
};

QTEST_GUILESS_MAIN(BuildStampTest)
#include "tst_buildstamp.moc"
