#include "platform/objectstore/ModelStoreError.h"

#include <QCoreApplication>

ModelStoreError::ModelStoreError(Code code, const QString &description, const QString &detail)
    : m_code(code), m_description(description), m_detail(detail), m_what(description.toUtf8())
{
}

ModelStoreError ModelStoreError::saveFailed(const QString &detail, const QString &what)
{
    const QString description =
        what.isEmpty() ? QCoreApplication::translate("ModelContext", "The library could not be saved.")
                       : QCoreApplication::translate("ModelContext", "The library could not be saved (%1).").arg(what);
    return ModelStoreError(Code::saveFailed, description, detail);
}
