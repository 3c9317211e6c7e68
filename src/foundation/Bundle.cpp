#include "foundation/Bundle.h"

#include "foundation/DateFormatter.h"
#include "foundation/Logger.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLibrary>
#include <QMutex>
#include <QTimeZone>

namespace {

const QString mainResourceDirectory = QStringLiteral(":/veloran");

// Bundles loaded during this run, for allBundles().
QMutex loadedBundlesMutex;
QList<Bundle> &loadedBundles()
{
    static QList<Bundle> bundles;
    return bundles;
}

QVariantMap readInfoFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    return document.isObject() ? document.object().toVariantMap() : QVariantMap{};
}

QString mainExecutablePath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

} // namespace

Bundle::Bundle(QVariantMap info, QString resourceDirectory, QString executablePath)
    : m_info(std::move(info)), m_resourceDirectory(std::move(resourceDirectory)),
      m_executablePath(std::move(executablePath))
{
}

Bundle::Bundle(const QJsonObject &info, QString resourceDirectory, QString executablePath)
    : Bundle(info.toVariantMap(), std::move(resourceDirectory), std::move(executablePath))
{
}

Bundle Bundle::main()
{
    Bundle bundle(QVariantMap{}, mainResourceDirectory, mainExecutablePath());
    bundle.m_infoPath = mainResourceDirectory + QStringLiteral("/Info.json");
    return bundle;
}

Bundle Bundle::current()
{
    return main();
}

std::optional<Bundle> Bundle::atPath(const QString &directory)
{
    const QFileInfo info(directory);
    if (!info.isDir())
        return std::nullopt;
    const QDir dir(info.absoluteFilePath());
    Bundle bundle(QVariantMap{}, dir.absolutePath());
    bundle.m_infoPath = dir.filePath(QStringLiteral("Info.json"));
    if (const auto executable = bundle.stringForKey(QStringLiteral("CFBundleExecutable")))
        bundle.m_executablePath = dir.filePath(*executable);
    return bundle;
}

QList<Bundle> Bundle::allBundles()
{
    QList<Bundle> bundles{main()};
    const QMutexLocker lock(&loadedBundlesMutex);
    bundles += loadedBundles();
    return bundles;
}

QVariantMap Bundle::infoDictionary() const
{
    return m_infoPath.isEmpty() ? m_info : readInfoFile(m_infoPath);
}

std::optional<QString> Bundle::stringForKey(const QString &key) const
{
    const QVariant value = infoDictionary().value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

std::optional<QString> Bundle::bundleIdentifier() const
{
    return stringForKey(QStringLiteral("CFBundleIdentifier"));
}

std::optional<QString> Bundle::releaseVersionNumber() const
{
    return stringForKey(QStringLiteral("CFBundleShortVersionString"));
}

std::optional<QString> Bundle::buildVersionNumber() const
{
    return stringForKey(QStringLiteral("CFBundleVersion"));
}

bool Bundle::isAlphaVersion() const
{
    const auto version = releaseVersionNumber();
    return version && version->contains(QLatin1Char('a'));
}

bool Bundle::isBetaVersion() const
{
    const auto version = releaseVersionNumber();
    return version && version->contains(QLatin1Char('b'));
}

std::optional<Date> Bundle::buildDate() const
{
    if (const auto text = stringForKey(QStringLiteral("BuildDate"))) {
        // Read as wall-clock time in Auckland directly, so a time that the
        // machine's own zone skips still reads.
        DateFormatter formatter;
        formatter.locale = QStringLiteral("en_US_POSIX");
        formatter.dateFormat = QStringLiteral("EEE MMM d HH:mm:ss yyyy");
        const QTimeZone auckland(QByteArrayLiteral("Pacific/Auckland"));
        if (auckland.isValid())
            formatter.timeZone = auckland;
        if (const auto parsed = formatter.date(*text))
            return Date::fromDateTime(*parsed);
    }
    if (const auto executable = executablePath()) {
        if (const auto created = creationDateForFileAtPath(*executable))
            return created;
    }
    if (const auto info = pathForResource(QStringLiteral("Info"), QStringLiteral("json")))
        return creationDateForFileAtPath(*info);
    return std::nullopt;
}

std::optional<QString> Bundle::applicationName() const
{
    if (auto name = stringForKey(QStringLiteral("CFBundleDisplayName")))
        return name;
    return stringForKey(QStringLiteral("CFBundleName"));
}

QString Bundle::applicationNameAndVersionString() const
{
    return QStringLiteral("%1 v%2 (%3)")
        .arg(applicationName().value_or(QString()), releaseVersionNumber().value_or(QString()),
             buildVersionNumber().value_or(QString()));
}

std::optional<QString> Bundle::applicationIconFileName() const
{
    return stringForKey(QStringLiteral("CFBundleIconFile"));
}

std::optional<QString> Bundle::copyright() const
{
    return stringForKey(QStringLiteral("NSHumanReadableCopyright"));
}

std::optional<QString> Bundle::executablePath() const
{
    if (m_executablePath.isEmpty() || !QFileInfo::exists(m_executablePath))
        return std::nullopt;
    return m_executablePath;
}

std::optional<QString> Bundle::pathForResource(const QString &name, const QString &extension) const
{
    if (m_resourceDirectory.isEmpty() || name.isEmpty())
        return std::nullopt;
    QString fileName = name;
    if (!extension.isEmpty())
        fileName += QLatin1Char('.') + extension;
    const QString path = QDir(m_resourceDirectory).filePath(fileName);
    if (!QFileInfo::exists(path))
        return std::nullopt;
    return path;
}

QString Bundle::description() const
{
    return QStringLiteral("Bundle <%1>").arg(m_resourceDirectory);
}

bool Bundle::load() const
{
    const auto executable = executablePath();
    if (!executable)
        return false;
    QLibrary library(*executable);
    if (!library.load())
        return false;
    const QMutexLocker lock(&loadedBundlesMutex);
    loadedBundles().append(*this);
    return true;
}

void Bundle::manuallyLoadBundles(const QStringList &names) const
{
    Logger &log = Logger::startup();
    for (const QString &name : names) {
        const auto path = pathForResource(name, QStringLiteral("bundle"));
        const auto bundle = path ? atPath(*path) : std::nullopt;
        if (!bundle) {
            log.errorPublic(QStringLiteral("Unable to find bundle resource: ") + name);
            continue;
        }
        if (!bundle->executablePath()) {
            log.logPublic(QStringLiteral("Registered resource bundle (no executable to load): ") + bundle->description());
            continue;
        }
        log.logPublic(QStringLiteral("Load ") + bundle->description());
        log.logPublic(bundle->load() ? QStringLiteral("Success") : QStringLiteral("Failed"));
    }
    for (const Bundle &bundle : allBundles()) {
        if (const auto identifier = bundle.bundleIdentifier())
            log.debugPublic(QStringLiteral("Bundle identifier loaded: ") + *identifier);
    }
}

std::optional<Date> creationDateForFileAtPath(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    const QDateTime created = info.birthTime();
    if (!created.isValid())
        return std::nullopt;
    return Date::fromDateTime(created);
}
