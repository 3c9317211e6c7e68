#pragma once

#include <QList>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <vector>

class EntityType;
class ModelContext;
class ModelObject;
struct RelationshipDescription;

// The to-many end of a relationship, held by the parent. Objects read from
// the store start with their lists unloaded; the first access loads them.
// Lists keep the order of the children's row keys (their insertion order),
// children not yet inserted last.
struct RelationList {
    QList<ModelObject *> items;
    bool loaded = true;
};

// Base of every persistent model class.
//
// Ownership: model objects are always held by std::shared_ptr (the classes'
// `make` functions return one). Once inserted, the context keeps every object
// alive for as long as the context lives, also after the object is deleted
// or detached by a rollback, so raw pointers handed out by fetches and
// relationship lists stay valid for the context's lifetime. Keep a
// shared_ptr (`sharedFromThis`) to hold an object beyond that.
//
// Identity: one live object per stored row, so comparing pointers compares
// model identity; `id` properties are plain data and need not be unique.
//
// Notification: every property write notifies, also when the value is
// unchanged: first the object's own observers, then the context's
// `propertyChanged` signal. Observers cost nothing until one is added.
class ModelObject : public std::enable_shared_from_this<ModelObject> {
public:
    enum class State : quint8 {
        detached,  // in no context: new, or detached by a rollback
        inserted,  // inserted, not saved yet
        persisted, // stored (possibly with unsaved changes)
        deleted,   // deleted, not saved yet
        removed,   // deleted and saved, or deleted before it was ever saved
    };

    using Observer = std::function<void(ModelObject *object, const char *property)>;

    ModelObject(const ModelObject &) = delete;
    ModelObject &operator=(const ModelObject &) = delete;
    virtual ~ModelObject();

    virtual const EntityType &entityType() const = 0;

    ModelContext *modelContext() const { return m_context; }
    State state() const { return m_state; }
    bool isDeleted() const { return m_state == State::deleted || m_state == State::removed; }
    bool hasChanges() const;

    // Returns a token for removeObserver. Observers run on every write.
    int addObserver(Observer observer);
    void removeObserver(int token);

    // For the store's entity types: the row key (0 before insertion) and
    // the external-storage flags written since the last save.
    qint64 storeKey() const { return m_key; }
    quint32 changedFlags() const { return m_changedFlags; }

    template<class T>
    std::shared_ptr<T> sharedFromThis() { return std::static_pointer_cast<T>(shared_from_this()); }

protected:
    ModelObject() = default;

    // Setters call willChange() before and didChange() after each write.
    // `flags` mark parts written outside the row (external storage).
    void willChange();
    void didChange(const char *property, quint32 flags = 0);
    void notifyObservers(const char *property);

    // Rollback support: copy the stored values aside on the first change
    // after a save, put them back, or drop them.
    virtual void saveSnapshot() = 0;
    virtual void restoreSnapshot() = 0;
    virtual void discardSnapshot() = 0;

    // Every final model class calls this from its destructor: clears the
    // links of objects that outlive this one.
    void unlinkRelationships();

    // Relationship helpers for the model classes.
    QList<ModelObject *> children(const RelationshipDescription &relationship) const;
    void setParent(const RelationshipDescription &relationship, ModelObject *parent);
    void setChildren(const RelationshipDescription &relationship, const QList<ModelObject *> &children);

private:
    friend class ModelContext;

    struct ObserverEntry {
        int token;
        Observer observer;
    };

    ModelContext *m_context = nullptr;
    qint64 m_key = 0;
    quint32 m_changedFlags = 0;
    State m_state = State::detached;
    bool m_hasSnapshot = false;
    bool m_inChangedList = false;
    std::unique_ptr<std::vector<ObserverEntry>> m_observers;
};

template<class T>
QList<T *> modelCast(const QList<ModelObject *> &objects)
{
    QList<T *> result;
    result.reserve(objects.size());
    for (ModelObject *object : objects)
        result.append(static_cast<T *>(object));
    return result;
}
