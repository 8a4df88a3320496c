// Preloaded into a child process (LD_PRELOAD) to stop it or starve it at a chosen instant:
//   KESTRINE_FAULT_KILL_AT=N         SIGKILL just before the N-th file-changing call (rename,
//                                    link, unlink, fsync, ftruncate, mkdir and their *at forms)
//   KESTRINE_FAULT_NOSPACE_AFTER=B   writes to regular files get B bytes in all, then ENOSPC
//   KESTRINE_FAULT_MANUAL=1          count only from kestrine_fault_begin() on
// Every other call goes straight through to the C library.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

long gKillAt = 0;
long gNoSpaceAfter = -1;
bool gArmed = true;
long gCalls = 0;
long gWritten = 0;

__attribute__((constructor)) void ReadSettings() {
    if (const char* v = std::getenv("KESTRINE_FAULT_KILL_AT")) gKillAt = std::atol(v);
    if (const char* v = std::getenv("KESTRINE_FAULT_NOSPACE_AFTER")) gNoSpaceAfter = std::atol(v);
    if (const char* v = std::getenv("KESTRINE_FAULT_MANUAL")) gArmed = *v != '1';
}

template <class F> F Next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void Changing() {
    if (!gArmed) return;
    ++gCalls;
    if (gKillAt > 0 && gCalls == gKillAt) ::kill(::getpid(), SIGKILL);
}

// How much of a write of `size` bytes to `fd` may go through; -1 with ENOSPC when none.
ssize_t Allowance(int fd, size_t size) {
    if (!gArmed || gNoSpaceAfter < 0) return static_cast<ssize_t>(size);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return static_cast<ssize_t>(size);
    const long left = gNoSpaceAfter - gWritten;
    if (left <= 0 && size > 0) {
        errno = ENOSPC;
        return -1;
    }
    return static_cast<ssize_t>(static_cast<size_t>(left) < size ? static_cast<size_t>(left) : size);
}

ssize_t Counted(ssize_t written) {
    if (written > 0 && gArmed) gWritten += written;
    return written;
}

} // namespace

extern "C" {

void kestrine_fault_begin() {
    gArmed = true;
    gCalls = 0;
    gWritten = 0;
}

long kestrine_fault_calls() {
    return gCalls;
}

int rename(const char* from, const char* to) {
    Changing();
    return Next<int (*)(const char*, const char*)>("rename")(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
    Changing();
    return Next<int (*)(int, const char*, int, const char*)>("renameat")(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    Changing();
    return Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2")(fromDir, from, toDir, to,
                                                                                  flags);
}

int link(const char* from, const char* to) {
    Changing();
    return Next<int (*)(const char*, const char*)>("link")(from, to);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    Changing();
    return Next<int (*)(int, const char*, int, const char*, int)>("linkat")(fromDir, from, toDir, to, flags);
}

int unlink(const char* path) {
    Changing();
    return Next<int (*)(const char*)>("unlink")(path);
}

int unlinkat(int dir, const char* path, int flags) {
    Changing();
    return Next<int (*)(int, const char*, int)>("unlinkat")(dir, path, flags);
}

int fsync(int fd) {
    Changing();
    return Next<int (*)(int)>("fsync")(fd);
}

int fdatasync(int fd) {
    Changing();
    return Next<int (*)(int)>("fdatasync")(fd);
}

int ftruncate(int fd, off_t length) {
    Changing();
    return Next<int (*)(int, off_t)>("ftruncate")(fd, length);
}

int ftruncate64(int fd, off_t length) {
    Changing();
    return Next<int (*)(int, off_t)>("ftruncate64")(fd, length);
}

int mkdir(const char* path, mode_t mode) {
    Changing();
    return Next<int (*)(const char*, mode_t)>("mkdir")(path, mode);
}

int mkdirat(int dir, const char* path, mode_t mode) {
    Changing();
    return Next<int (*)(int, const char*, mode_t)>("mkdirat")(dir, path, mode);
}

ssize_t write(int fd, const void* data, size_t size) {
    const ssize_t allowed = Allowance(fd, size);
    if (allowed < 0) return -1;
    return Counted(Next<ssize_t (*)(int, const void*, size_t)>("write")(fd, data, static_cast<size_t>(allowed)));
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    const ssize_t allowed = Allowance(fd, size);
    if (allowed < 0) return -1;
    return Counted(
        Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite")(fd, data, static_cast<size_t>(allowed), offset));
}

ssize_t pwrite64(int fd, const void* data, size_t size, off_t offset) {
    const ssize_t allowed = Allowance(fd, size);
    if (allowed < 0) return -1;
    return Counted(Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite64")(
        fd, data, static_cast<size_t>(allowed), offset));
}

ssize_t writev(int fd, const struct iovec* parts, int count) {
    size_t size = 0;
    for (int i = 0; i < count; ++i) size += parts[i].iov_len;
    const ssize_t allowed = Allowance(fd, size);
    if (allowed < 0) return -1;
    if (static_cast<size_t>(allowed) == size)
        return Counted(Next<ssize_t (*)(int, const struct iovec*, int)>("writev")(fd, parts, count));
    // Cut short: what fits goes out as one plain write, as a filling disk would take it.
    size_t done = 0;
    for (int i = 0; i < count && done < static_cast<size_t>(allowed); ++i) {
        const size_t part = std::min(parts[i].iov_len, static_cast<size_t>(allowed) - done);
        const ssize_t n = Next<ssize_t (*)(int, const void*, size_t)>("write")(fd, parts[i].iov_base, part);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
        if (static_cast<size_t>(n) < part) break;
    }
    return Counted(static_cast<ssize_t>(done));
}

} // extern "C"
