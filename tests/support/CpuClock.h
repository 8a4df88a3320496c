#pragma once

#include <QtGlobal>
#include <sys/types.h>

// Processor time in milliseconds. The suites share their machine with each other and with
// builds, which stretches wall time without limit but leaves the processor time a piece of work
// needs nearly as it is, so time bounds in tests are put on this.
namespace CpuClock {

// The calling thread's alone: for work done on it only, untouched by anything else running.
qint64 ThreadMs();
// The whole process's, all threads: for work Qt may hand to its thread pool (large pictures).
qint64 ProcessMs();
// Another process's, user and system; -1 when it cannot be read.
qint64 ProcessMs(pid_t pid);

} // namespace CpuClock
