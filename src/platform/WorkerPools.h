#pragma once

class MemoryBudget;
class QThreadPool;

// The application's worker threads: one pool per kind of work, each sized
// for its work. Work goes to a pool with QtConcurrent (run, map), and its
// result comes back to the GUI thread through a QFutureWatcher; work that
// only waits for the GUI thread's next turn is queued with
// QMetaObject::invokeMethod(context, ..., Qt::QueuedConnection).
namespace WorkerPools {

// Moving whole files' bytes between memory and the page cache: reading
// picked files, writing the store's external files. One thread copies at
// a fraction of what several do: 2 to 8 threads.
QThreadPool &files();

// Decoding images (ImageDecoder): few threads, as each may hold a large
// image while it works and the pictures on screen are few: 1 to 4 threads.
// They ask for low priority, which Linux's default scheduler ignores.
QThreadPool &decoding();

// The memory that decodes in progress may hold at once (ImageDecoder takes
// its share before it decodes): a quarter of the machine's memory, between
// 512 MiB and 2 GiB, so a few large scans never decode side by side.
MemoryBudget &decodingMemory();

// Work that keeps every core busy on bytes already in memory: checksums and
// inflating of archive entries, painting the annotation overlay in bands.
// Qt's own pool, one thread per core.
QThreadPool &computing();

} // namespace WorkerPools
