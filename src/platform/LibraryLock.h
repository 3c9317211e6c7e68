#pragma once

#include <QString>

// Holds a library for one process: an exclusive lock (flock) on the
// library's folder itself, kept open for the life of this object. The lock
// belongs to the open folder, not to a name inside it, so removing or
// rewriting files in the folder cannot free it; the system drops it when
// the process ends, however it ends, so nothing a dead process left behind
// can block a later one. Two locks on one folder exclude each other also
// within one process.
class LibraryLock {
public:
    enum class Outcome {
        locked,        // this object holds the folder
        heldElsewhere, // another holder has it
        failed,        // the folder could not be opened or locked: systemError() says why
    };

    LibraryLock() = default;
    ~LibraryLock();
    LibraryLock(const LibraryLock &) = delete;
    LibraryLock &operator=(const LibraryLock &) = delete;

    // Takes the folder (which must exist) without waiting. A lock already
    // held by this object is kept.
    Outcome tryLock(const QString &folder);
    void unlock();
    bool isLocked() const { return m_fd >= 0; }
    // errno of the last failure, 0 when none.
    int systemError() const { return m_systemError; }

private:
    int m_fd = -1;
    int m_systemError = 0;
};
