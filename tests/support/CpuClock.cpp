#include "CpuClock.h"

#include <QByteArray>
#include <QFile>
#include <ctime>
#include <unistd.h>

namespace CpuClock {

namespace {
qint64 Ms(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}
} // namespace

qint64 ThreadMs() {
    return Ms(CLOCK_THREAD_CPUTIME_ID);
}

qint64 ProcessMs() {
    return Ms(CLOCK_PROCESS_CPUTIME_ID);
}

qint64 ProcessMs(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    // After the name in parentheses (which may hold anything): state is the 3rd field, utime the 14th.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return -1;
    const qint64 ticks = fields[11].toLongLong() + fields[12].toLongLong();
    return ticks * 1000 / sysconf(_SC_CLK_TCK);
}

} // namespace CpuClock
