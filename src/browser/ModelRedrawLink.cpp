#include "browser/ModelRedrawLink.h"

#include "platform/objectstore/ModelContext.h"

#include <QWidget>

ModelRedrawLink::ModelRedrawLink(QWidget *target)
    : m_target(target)
{
}

ModelRedrawLink::~ModelRedrawLink()
{
    QObject::disconnect(m_connection);
}

void ModelRedrawLink::observe(ModelContext *context)
{
    if (context == m_context)
        return;
    QObject::disconnect(m_connection);
    m_context = context;
    if (context)
        m_connection = QObject::connect(context, &ModelContext::propertyChanged, m_target, qOverload<>(&QWidget::update));
}
