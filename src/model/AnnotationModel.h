#pragma once

#include "model/AnnotationLink.h"
#include "model/AnnotationStorage.h"
#include "model/LinkedAnnotation.h"
#include "model/TaggedAnnotation.h"
#include "platform/objectstore/StoredModel.h"
#include "platform/objectstore/Schema.h"
#include "platform/objectstore/StoreStatement.h"
#include "platform/objectstore/StoreValues.h"

#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

// What points and regions store alike: id, label, group and links (the
// first four columns of their rows).
template<class Values>
class AnnotationModel : public StoredModel<Values>, public TaggedAnnotation, public LinkedAnnotation {
public:
    QUuid id() const { return this->m.id; }
    void setId(const QUuid &id) { this->write(&Values::id, id, "id"); }
    QString label() const { return this->m.label; }
    void setLabel(const QString &label) { this->write(&Values::label, label, "label"); }
    QString group() const override { return this->m.group; }
    void setGroup(const QString &group) override { this->write(&Values::group, group, "group"); }
    std::optional<QList<AnnotationLink>> links() const override { return this->m.links; }
    void setLinks(const std::optional<QList<AnnotationLink>> &links) override
    {
        this->write(&Values::links, links, "links");
    }

protected:
    // The designated initialisers' shared part: a new id and the values.
    void assignNew(const QString &label, const QString &group, const std::optional<QList<AnnotationLink>> &links)
    {
        this->m.id = QUuid::createUuid();
        this->m.label = label;
        this->m.group = group;
        this->m.links = links;
    }

    // The schema's and the table's shared part, for the entity types.
    static QList<PropertyDescription> commonProperties()
    {
        using P = PropertyDescription;
        return {P::attribute(QStringLiteral("id")), P::attribute(QStringLiteral("label"), P::allowsCloudEncryption),
                P::attribute(QStringLiteral("group"), P::allowsCloudEncryption), P::attribute(QStringLiteral("links"))};
    }

    static QStringList commonColumns()
    {
        return {QStringLiteral("id"), QStringLiteral("label"), QStringLiteral("\"group\""), QStringLiteral("links")};
    }

    // The table (rows keyed by rowKey, pointing at their image by imageKey)
    // and its index on imageKey.
    static QStringList tableStatements(const QString &table, const QString &ownColumns)
    {
        return {QStringLiteral("CREATE TABLE %1 (rowKey INTEGER PRIMARY KEY, imageKey INTEGER, id BLOB, label TEXT, "
                               "\"group\" TEXT, links TEXT, %2)")
                    .arg(table, ownColumns),
                QStringLiteral("CREATE INDEX %1_imageKey ON %1 (imageKey)").arg(table)};
    }

    static void readCommonColumns(Values &m, const StoreRow &row, int first)
    {
        m.id = row.uuid(first);
        m.label = row.text(first + 1);
        m.group = row.text(first + 2);
        if (row.isNull(first + 3))
            m.links.reset();
        else
            m.links = AnnotationStorage::linksFromColumn(row.text(first + 3));
    }

    static void bindCommonColumns(QVariantList &values, const Values &m)
    {
        values << StoreValues::fromUuid(m.id);
        values << m.label;
        values << m.group;
        values << AnnotationStorage::linksToColumn(m.links);
    }
};
