#pragma once

#include "platform/objectstore/Schema.h"

#include <QString>

#include <optional>

// Where iCloud mirroring would send the store. Mirroring itself is not
// available here; the choice is kept so the configuration reads as set.
struct CloudKitDatabase {
    enum class Kind { none, automatic, privateDatabase };
    Kind kind = Kind::none;
    QString containerIdentifier;

    static CloudKitDatabase none() { return {}; }
    static CloudKitDatabase automatic() { return {Kind::automatic, {}}; }
    static CloudKitDatabase privateDatabase(const QString &containerIdentifier)
    {
        return {Kind::privateDatabase, containerIdentifier};
    }
    friend bool operator==(const CloudKitDatabase &, const CloudKitDatabase &) = default;
};

// A shared app-group folder for the store; only `automatic` (the user's own
// data folder) is meaningful on this platform.
struct GroupContainer {
    enum class Kind { automatic, none };
    Kind kind = Kind::automatic;
    static GroupContainer automatic() { return {}; }
    friend bool operator==(const GroupContainer &, const GroupContainer &) = default;
};

struct ModelConfiguration {
    std::optional<QString> name; // none: the default store, "default.store"
    Schema schema;
    bool isStoredInMemoryOnly = false;
    bool allowsSave = true;
    GroupContainer groupContainer;
    CloudKitDatabase cloudKitDatabase;
    // Where the file lives; empty means the user's data folder. Set by tests
    // and tools to open a store elsewhere.
    QString url;

    // The store file this configuration opens (empty when in memory).
    QString storePath() const;
};
