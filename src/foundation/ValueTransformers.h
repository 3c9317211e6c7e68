#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>

#include <memory>

// Turns values into other values for display and storage, and, when it
// allows, back. Transformers are registered by name for those who look
// them up.
class ValueTransformer {
public:
    virtual ~ValueTransformer() = default;

    virtual QMetaType transformedValueClass() const = 0;
    virtual bool allowsReverseTransformation() const { return false; }
    virtual QVariant transformedValue(const QVariant &value) const = 0;
    // An invalid value unless the transformer allows reverse transformation.
    virtual QVariant reverseTransformedValue(const QVariant &value) const;

    static void setValueTransformer(std::shared_ptr<const ValueTransformer> transformer, const QString &name);
    static std::shared_ptr<const ValueTransformer> valueTransformer(const QString &name);
};

// The names the two transformers below are registered under by those who register them.
namespace ValueTransformerName {
const QString &intToString();
const QString &urlToString();
} // namespace ValueTransformerName

// An integer as its decimal text; anything else as nothing. One way only.
class IntToStringTransformer : public ValueTransformer {
public:
    QMetaType transformedValueClass() const override { return QMetaType::fromType<QString>(); }
    QVariant transformedValue(const QVariant &value) const override;
};

// A URL as its full text, and a non-empty URL text back as the URL.
class URLtoStringTransformer : public ValueTransformer {
public:
    QMetaType transformedValueClass() const override { return QMetaType::fromType<QString>(); }
    bool allowsReverseTransformation() const override { return true; }
    QVariant transformedValue(const QVariant &value) const override;
    QVariant reverseTransformedValue(const QVariant &value) const override;
};
