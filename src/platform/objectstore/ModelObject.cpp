#include "platform/objectstore/ModelObject.h"

#include "platform/objectstore/ModelContext.h"
#include "platform/objectstore/Schema.h"

#include <algorithm>

namespace {

// Children keep the order of their row keys; children without a key yet
// (not inserted) go last.
void insertInKeyOrder(QList<ModelObject *> &items, ModelObject *child)
{
    if (items.contains(child))
        return;
    const qint64 key = child->storeKey();
    if (key == 0) {
        items.append(child);
        return;
    }
    const auto position = std::upper_bound(items.begin(), items.end(), key, [](qint64 k, const ModelObject *item) {
        return item->storeKey() == 0 || k < item->storeKey();
    });
    items.insert(position, child);
}

RelationList &loaded(ModelObject *parent, const RelationshipDescription &relationship)
{
    RelationList &list = relationship.listOf(parent);
    if (!list.loaded) {
        if (ModelContext *context = parent->modelContext())
            context->loadChildren(parent, relationship);
        list.loaded = true;
    }
    return list;
}

} // namespace

ModelObject::~ModelObject() = default;

bool ModelObject::hasChanges() const
{
    return m_state == State::inserted || m_state == State::deleted || m_inChangedList;
}

int ModelObject::addObserver(Observer observer)
{
    if (!m_observers)
        m_observers = std::make_unique<std::vector<ObserverEntry>>();
    static int nextToken = 1;
    const int token = nextToken++;
    m_observers->push_back({token, std::move(observer)});
    return token;
}

void ModelObject::removeObserver(int token)
{
    if (!m_observers)
        return;
    auto &list = *m_observers;
    list.erase(std::remove_if(list.begin(), list.end(), [token](const ObserverEntry &e) { return e.token == token; }),
               list.end());
}

void ModelObject::willChange()
{
    // A change never slips in between a save on a worker and its end.
    if (m_context && m_context->isSavingInBackground())
        m_context->finishBackgroundSave();
    if (m_context && !m_hasSnapshot && (m_state == State::persisted || m_state == State::deleted)) {
        saveSnapshot();
        m_hasSnapshot = true;
    }
}

void ModelObject::didChange(const char *property, quint32 flags)
{
    m_changedFlags |= flags;
    if (m_context && m_state == State::persisted)
        m_context->markChanged(this);
    notifyObservers(property);
}

void ModelObject::notifyObservers(const char *property)
{
    if (m_observers) {
        // An observer may remove itself; run over a copy.
        const std::vector<ObserverEntry> observers = *m_observers;
        for (const ObserverEntry &entry : observers)
            entry.observer(this, property);
    }
    if (m_context)
        m_context->emitChange(this, property);
}

void ModelObject::unlinkRelationships()
{
    const EntityType &type = entityType();
    if (const RelationshipDescription *toOne = type.toOneRelationship()) {
        if (ModelObject *parent = toOne->parentOf(this)) {
            toOne->listOf(parent).items.removeOne(this);
            toOne->assignParent(this, nullptr);
        }
    }
    for (const RelationshipDescription *toMany : type.toManyRelationships()) {
        RelationList &list = toMany->listOf(this);
        for (ModelObject *child : std::as_const(list.items)) {
            if (toMany->parentOf(child) == this)
                toMany->assignParent(child, nullptr);
        }
        list.items.clear();
    }
}

QList<ModelObject *> ModelObject::children(const RelationshipDescription &relationship) const
{
    return loaded(const_cast<ModelObject *>(this), relationship).items;
}

void ModelObject::setParent(const RelationshipDescription &relationship, ModelObject *parent)
{
    ModelObject *old = relationship.parentOf(this);
    // Load both lists before the reference changes, so the loads see the
    // child where it was.
    if (old)
        loaded(old, relationship);
    if (parent)
        loaded(parent, relationship);

    willChange();
    if (old != parent) {
        if (old)
            relationship.listOf(old).items.removeOne(this);
        relationship.assignParent(this, parent);
        if (parent)
            insertInKeyOrder(relationship.listOf(parent).items, this);
    }
    didChange(relationship.toOneName);

    if (old != parent) {
        for (ModelObject *end : {old, parent}) {
            if (!end)
                continue;
            if (end->m_context)
                end->m_context->listChanged(end, relationship);
            end->notifyObservers(relationship.toManyName);
        }
    }

    // An object linked to an inserted one joins its context.
    if (parent) {
        if (m_context && !parent->m_context && parent->m_state == State::detached)
            m_context->insert(parent);
        else if (!m_context && parent->m_context && m_state == State::detached)
            parent->m_context->insert(this);
    }
}

void ModelObject::setChildren(const RelationshipDescription &relationship, const QList<ModelObject *> &newChildren)
{
    const QList<ModelObject *> current = children(relationship);
    for (ModelObject *child : current) {
        if (!newChildren.contains(child))
            child->setParent(relationship, nullptr);
    }
    for (ModelObject *child : newChildren)
        child->setParent(relationship, this);
}
