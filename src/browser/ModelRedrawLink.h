#pragma once

#include <QMetaObject>
#include <QPointer>

class ModelContext;
class QWidget;

// Redraws a widget whenever a model object of the observed context is
// written, so that texts drawn from models follow their current values.
// Redraws are coalesced by the widget's update().
class ModelRedrawLink {
public:
    explicit ModelRedrawLink(QWidget *target);
    ~ModelRedrawLink();
    ModelRedrawLink(const ModelRedrawLink &) = delete;
    ModelRedrawLink &operator=(const ModelRedrawLink &) = delete;

    // Observes the context (none: nothing).
    void observe(ModelContext *context);

private:
    QWidget *m_target;
    QPointer<ModelContext> m_context;
    QMetaObject::Connection m_connection;
};
