#pragma once

class QThreadPool;

// Threads for moving whole files' bytes between memory and the page cache:
// one thread copies at a fraction of what several do. Shared by everything
// that reads or writes many files at once.
class FileWorkers {
public:
    static QThreadPool &pool();
};
