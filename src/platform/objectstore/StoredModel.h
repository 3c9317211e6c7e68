#pragma once

#include "platform/objectstore/ModelObject.h"

#include <memory>

// Base of a model class whose stored values are one struct `Values`: keeps
// them, sets them aside for a rollback on the first change after a save,
// and writes single fields with the change bookkeeping and notification.
template<class Values>
class StoredModel : public ModelObject {
protected:
    template<class V, class Arg>
    void write(V Values::*field, Arg &&value, const char *property, quint32 flags = 0)
    {
        willChange();
        m.*field = std::forward<Arg>(value);
        didChange(property, flags);
    }

    void saveSnapshot() override { m_saved = std::make_unique<Values>(m); }
    void restoreSnapshot() override
    {
        if (m_saved)
            m = *m_saved;
        m_saved.reset();
    }
    void discardSnapshot() override { m_saved.reset(); }

    mutable Values m;

private:
    std::unique_ptr<Values> m_saved;
};
