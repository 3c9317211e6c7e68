#include "platform/objectstore/ModelStoreError.h"

ModelStoreError::ModelStoreError(Code code, const QString &description, const QString &detail)
    : m_code(code), m_description(description), m_detail(detail), m_what(description.toUtf8())
{
}
