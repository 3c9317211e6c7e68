#pragma once

#include "platform/objectstore/ModelStoreError.h"

#include <QByteArray>
#include <QList>

#include <functional>
#include <optional>

class ModelContext;
class QObject;
class StoreWrites;

// Ends a change of the library: saves the context, or, when the save fails,
// rolls the context back to its last saved state and answers the store's
// error. After a failure nothing of the change is left in memory, so no
// later save can write part of it. Callers report the error.
// `addRows`: rows the save adds in SQL (see ModelContext::save).
std::optional<ModelStoreError> saveOrRollBack(ModelContext &context,
                                              const std::function<void(StoreWrites &)> &addRows = {});

// The same for a large change, its rows written by a worker
// (ModelContext::saveInBackground): `done` hears the error, or none, on
// this thread once the save has committed or the change has been rolled
// back; never once `receiver` is destroyed (the change is still saved or
// rolled back).
void saveOrRollBackInBackground(ModelContext &context, QObject *receiver,
                                const std::function<void(StoreWrites &)> &addRows,
                                std::function<void(const std::optional<ModelStoreError> &)> done);

// Saves the context and answers the store's error, keeping the changes in
// memory when the save fails, so that the next save writes them again: for
// the annotation editor, whose edits stay on screen until they are stored.
std::optional<ModelStoreError> saveKeepingChanges(ModelContext &context);

// For a change that stores large new bytes (an import of pictures, the
// merge of an archive), whose files the save would write on the GUI thread:
// has them written on the files pool first, then calls `change` on the GUI
// thread with the error of that writing, or none. The saveOrRollBack that
// `change` ends with then takes the files over as they are; the files it
// did not take (a value left out after all) are removed after `change`.
// Without bytes that need a file (small ones, a store in memory) `change`
// is called at once. A held change of the context (ModelContext::
// beginHeldChange) under way when the files are ready ends before `change`
// is called. Once `receiver` is destroyed it is never called, and the files
// written for it are removed. Answers whether `change` is still
// to come.
bool changeOncePrepared(ModelContext &context, const QList<QByteArray> &values, QObject *receiver,
                        std::function<void(const std::optional<ModelStoreError> &)> change);
