#pragma once

#include "platform/objectstore/ModelObject.h"

#include <memory>

// One observer of one model object's writes, removed when the watch ends
// or turns to another object. The watch does not keep the object alive; an
// object gone first is simply let go. GUI thread, like the objects.
class ModelObjectWatch {
public:
    ModelObjectWatch() = default;
    ~ModelObjectWatch() { reset(); }
    ModelObjectWatch(const ModelObjectWatch &) = delete;
    ModelObjectWatch &operator=(const ModelObjectWatch &) = delete;

    // Watches `object` (none watches nothing) with `observer`.
    void watch(ModelObject *object, ModelObject::Observer observer)
    {
        reset();
        if (!object)
            return;
        m_object = object->sharedFromThis<ModelObject>();
        m_token = object->addObserver(std::move(observer));
    }

    void reset()
    {
        if (const std::shared_ptr<ModelObject> object = m_object.lock())
            object->removeObserver(m_token);
        m_object.reset();
        m_token = 0;
    }

private:
    std::weak_ptr<ModelObject> m_object;
    int m_token = 0;
};
