#pragma once

#include <QByteArray>

#include <optional>

// The C library's heap on the system's large pages (transparent huge pages:
// 2 MB instead of 4 KB). A library of a million images fills about 900 MB;
// in large pages the process fills it with a five-hundredth of the page
// faults, and the system takes it back when the process ends in a quarter
// of the time (most of the time between a quit and the process's end).
//
// The C library reads that wish only as a process starts, from its
// environment (GLIBC_TUNABLES). Call first thing in main(), before anything
// is made: when the wish is missing, the program starts again in place with
// it, the same executable with the same arguments. Returns when nothing
// needs doing, or when starting again failed (the program then goes on as
// it is).
void useLargeHeapPages(char *argv[]);

// GLIBC_TUNABLES with the wish added, given its value now (null when unset),
// the system's setting of large pages (the text of
// /sys/kernel/mm/transparent_hugepage/enabled, empty when unknown) and the
// C library's version. None when the program starts as it is: the wish is
// there already (a value the user gave included), the system gives large
// pages to every process anyway or to none, or the C library is older than
// the wish (2.35).
std::optional<QByteArray> tunablesWithLargePages(const char *tunables, const QByteArray &systemSetting,
                                                 const char *libraryVersion);
