// Preloaded into the test programs by `scripts/test --late-wakes`: a thread
// of a pool (Qt names them "Thread (pooled)") whose wait on a futex returns
// runs on only 300 ms later, as on a loaded machine, where a woken thread
// may get a core much later. Qt's semaphores and mutexes wait on their
// futex through libc's syscall(), which this library wraps, so a pool task
// woken from QSemaphore::acquire() reads the semaphore again late. (Its wait
// conditions wait in glibc, which calls the kernel itself: those wakes, the
// pool's hand-over of work among them, keep their pace.) A late wake is
// legal scheduling: whatever fails or hangs with it is a race of the test
// or of the code it tests.

#include <dlfcn.h>
#include <linux/futex.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>

namespace {

constexpr long lateness = 300'000'000; // ns

using Syscall = long(long, ...);

// libc's syscall(), looked up once: with no static local, whose guard may
// itself wait on a futex through syscall().
std::atomic<Syscall *> realSyscall;

Syscall *libcSyscall()
{
    Syscall *found = realSyscall.load(std::memory_order_relaxed);
    if (!found) {
        found = reinterpret_cast<Syscall *>(dlsym(RTLD_NEXT, "syscall"));
        realSyscall.store(found, std::memory_order_relaxed);
    }
    return found;
}

bool inPooledThread()
{
    char name[17] = {};
    return prctl(PR_GET_NAME, name) == 0 && std::strstr(name, "pooled") != nullptr;
}

// The whole time, signals or not; errno stays as the wait left it.
void wakeLate()
{
    const int error = errno;
    timespec left{0, lateness};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
    errno = error;
}

} // namespace

extern "C" long syscall(long number, ...)
{
    // As libc's own: six arguments, whatever the call takes.
    va_list list;
    va_start(list, number);
    long arguments[6];
    for (long &argument : arguments)
        argument = va_arg(list, long);
    va_end(list);
    const long result =
        libcSyscall()(number, arguments[0], arguments[1], arguments[2], arguments[3], arguments[4], arguments[5]);
    const long operation = arguments[1] & FUTEX_CMD_MASK;
    if (number == SYS_futex && (operation == FUTEX_WAIT || operation == FUTEX_WAIT_BITSET) && inPooledThread())
        wakeLate();
    return result;
}
