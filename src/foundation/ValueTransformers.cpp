#include "foundation/ValueTransformers.h"

#include "foundation/FileSystem.h"

#include <QHash>
#include <QMutex>
#include <QUrl>

namespace {

QMutex registryMutex;
QHash<QString, std::shared_ptr<const ValueTransformer>> &registry()
{
    static QHash<QString, std::shared_ptr<const ValueTransformer>> transformers;
    return transformers;
}

bool isInteger(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

} // namespace

QVariant ValueTransformer::reverseTransformedValue(const QVariant &value) const
{
    return allowsReverseTransformation() ? transformedValue(value) : QVariant();
}

void ValueTransformer::setValueTransformer(std::shared_ptr<const ValueTransformer> transformer, const QString &name)
{
    const QMutexLocker lock(&registryMutex);
    if (transformer)
        registry().insert(name, std::move(transformer));
    else
        registry().remove(name);
}

std::shared_ptr<const ValueTransformer> ValueTransformer::valueTransformer(const QString &name)
{
    const QMutexLocker lock(&registryMutex);
    return registry().value(name);
}

const QString &ValueTransformerName::intToString()
{
    static const QString name = QStringLiteral("IntToStringTransformer");
    return name;
}

const QString &ValueTransformerName::urlToString()
{
    static const QString name = QStringLiteral("URLtoStringTransformer");
    return name;
}

QVariant IntToStringTransformer::transformedValue(const QVariant &value) const
{
    if (!isInteger(value))
        return {};
    return value.typeId() == QMetaType::ULongLong || value.typeId() == QMetaType::ULong
        ? QString::number(value.toULongLong())
        : QString::number(value.toLongLong());
}

QVariant URLtoStringTransformer::transformedValue(const QVariant &value) const
{
    if (value.typeId() != QMetaType::QUrl)
        return {};
    return absoluteString(value.toUrl());
}

QVariant URLtoStringTransformer::reverseTransformedValue(const QVariant &value) const
{
    if (value.typeId() != QMetaType::QString || value.toString().isEmpty())
        return {};
    const QUrl url(value.toString(), QUrl::StrictMode);
    if (!url.isValid())
        return {};
    return url;
}
