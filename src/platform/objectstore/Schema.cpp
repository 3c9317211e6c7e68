#include "platform/objectstore/Schema.h"

Schema::Schema(const VersionedSchema &versionedSchema)
    : m_version(versionedSchema.versionIdentifier), m_entities(versionedSchema.models)
{
}

const EntityType *Schema::entity(const QString &name) const
{
    for (const EntityType *type : m_entities) {
        if (type->name() == name)
            return type;
    }
    return nullptr;
}
