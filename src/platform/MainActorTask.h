#pragma once

#include <functional>

// Starts a piece of work on the main thread, asynchronously: the operation is
// queued on the application's event loop at once and runs after the caller
// has returned to it, never inside start() itself. Callable from any thread.
// Nobody waits for the work or cancels it; an operation that needs a later
// step (a reply from a service) continues in that step's callback, which the
// service also delivers on the main thread.
//
// Needs a QCoreApplication; without one the operation is dropped.
class MainActorTask {
public:
    static void start(std::function<void()> operation);
};
