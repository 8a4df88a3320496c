// Preloaded into a child process (LD_PRELOAD) to stop it or starve it at a chosen instant:
//   KESTRINE_FAULT_KILL_AT=N         SIGKILL just before the N-th file-changing call (rename,
//                                    link, unlink, fsync, ftruncate, mkdir and their *at forms)
//   KESTRINE_FAULT_FAIL_AT=N         the N-th file-changing call fails with EIO, doing nothing
//   KESTRINE_FAULT_LOG=F             each file-changing call appended to file F as a line: the
//                                    call's name and its paths ("fsync <what the fd names>")
//   KESTRINE_FAULT_NOSPACE_AFTER=B   writes to regular files get B bytes in all, then ENOSPC
//   KESTRINE_FAULT_MANUAL=1          count only from kestrine_fault_begin() on
//   KESTRINE_FAULT_FAIL_READ_AT=N    the N-th read of a file named "DataFile" fails with EIO; each
//                                    read is logged as "read", the failed one as "failed read";
//                                    such a file is never mapped, so that every page is read
//   KESTRINE_FAULT_EACH_OPENING=1    the reads are counted anew for each opening of the file, so
//                                    that every opening meets its N-th read failing
//   KESTRINE_FAULT_SHORT_READ=1      the N-th read comes back with half the bytes asked instead,
//                                    and from then on the file ends there for every read, as a
//                                    share may take a short answer for the file's end
//   KESTRINE_FAULT_BAD_PAGE=P        the P-th 4096-byte page (from 0) of "DataFile" cannot be read:
//                                    a read of it fails with EIO (one that starts before it stops
//                                    short of it), and a mapping of the file is a copy that ends
//                                    before it, so that touching the page is a SIGBUS, as a disk's
//                                    refusal through a mapping is
//   KESTRINE_FAULT_NO_SENDFILE=1     sendfile fails with EINVAL, as on a file system without it
//   KESTRINE_FAULT_UNREADABLE=NAME[@B]  every read of a file named NAME fails with EIO (from its
//                                    byte B on: what comes before reads whole)
//   KESTRINE_FAULT_KEEP_PENDING=1    a rename of a pending picture ("<row>.<tag>") fails with EBUSY,
//                                    as in a folder where another program holds the file open
//   KESTRINE_FAULT_LOCK_TAKEN=1      at the first flock of a file named ".lock", plays a start
//                                    elsewhere that judged the file unheld just before: replaces
//                                    it with a file of its own, held until this process ends
//   KESTRINE_FAULT_LOCK_TAKEN=same   the same, but that start holds this very file, opened anew
// Every other call goes straight through to the C library.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

long gKillAt = 0;
long gFailAt = 0;
int gLog = -1;
long gNoSpaceAfter = -1;
bool gArmed = true;
long gCalls = 0;
long gWritten = 0;
long gFailReadAt = 0;
long gReads = 0;
bool gEachOpening = false;
constexpr int kDescriptors = 4096;
long gReadsOn[kDescriptors] = {}; // for each descriptor, since it was opened
bool gTakeLock = false;
bool gTakeSameLock = false;
bool gShortRead = false;
off_t gEndsAt = -1; // where a short read made the data file end
long gBadPage = -1;
constexpr off_t kPage = 4096;
bool gNoSendfile = false;
char gUnreadable[256] = "";
off_t gUnreadableFrom = 0;
bool gKeepPending = false;

template <class F> F Next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

__attribute__((constructor)) void ReadSettings() {
    if (const char* v = std::getenv("KESTRINE_FAULT_KILL_AT")) gKillAt = std::atol(v);
    if (const char* v = std::getenv("KESTRINE_FAULT_FAIL_AT")) gFailAt = std::atol(v);
    if (const char* v = std::getenv("KESTRINE_FAULT_LOG"))
        gLog = ::open(v, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (const char* v = std::getenv("KESTRINE_FAULT_NOSPACE_AFTER")) gNoSpaceAfter = std::atol(v);
    if (const char* v = std::getenv("KESTRINE_FAULT_MANUAL")) gArmed = *v != '1';
    if (const char* v = std::getenv("KESTRINE_FAULT_FAIL_READ_AT")) gFailReadAt = std::atol(v);
    if (const char* v = std::getenv("KESTRINE_FAULT_LOCK_TAKEN")) {
        gTakeSameLock = std::strcmp(v, "same") == 0;
        gTakeLock = *v == '1' || gTakeSameLock;
    }
    if (const char* v = std::getenv("KESTRINE_FAULT_EACH_OPENING")) gEachOpening = *v == '1';
    if (const char* v = std::getenv("KESTRINE_FAULT_SHORT_READ")) gShortRead = *v == '1';
    if (const char* v = std::getenv("KESTRINE_FAULT_BAD_PAGE")) gBadPage = std::atol(v);
    if (const char* v = std::getenv("KESTRINE_FAULT_NO_SENDFILE")) gNoSendfile = *v == '1';
    if (const char* v = std::getenv("KESTRINE_FAULT_UNREADABLE")) {
        std::snprintf(gUnreadable, sizeof gUnreadable, "%s", v);
        if (char* at = std::strchr(gUnreadable, '@')) {
            *at = '\0';
            gUnreadableFrom = std::atol(at + 1);
        }
    }
    if (const char* v = std::getenv("KESTRINE_FAULT_KEEP_PENDING")) gKeepPending = *v == '1';
}

// Counts one file-changing call (and logs it) and kills the process when its turn came; true
// when the call is to fail instead of being made.
bool Changing(const char* call, const char* first, const char* second = nullptr) {
    if (!gArmed) return false;
    ++gCalls;
    if (gLog >= 0) {
        char line[2 * PATH_MAX + 64];
        const int n = std::snprintf(line, sizeof line, "%s %s%s%s\n", call, first, second ? " " : "",
                                    second ? second : "");
        if (n > 0)
            Next<ssize_t (*)(int, const void*, size_t)>("write")(gLog, line,
                                                                 std::min<size_t>(size_t(n), sizeof line - 1));
    }
    if (gKillAt > 0 && gCalls == gKillAt) ::kill(::getpid(), SIGKILL);
    if (gFailAt > 0 && gCalls == gFailAt) {
        errno = EIO;
        return true;
    }
    return false;
}

// The path `fd` is open on, or empty.
void PathOf(int fd, char (&path)[PATH_MAX]) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, path, sizeof path - 1);
    path[n > 0 ? n : 0] = '\0';
}

// The same for a call on a descriptor, logged with the path it names.
bool ChangingFd(const char* call, int fd) {
    char path[PATH_MAX] = "";
    if (gArmed && gLog >= 0) PathOf(fd, path);
    return Changing(call, path);
}

// Whether `fd` is open on a file whose name is `name`.
bool Names(int fd, const char* name) {
    char path[PATH_MAX];
    PathOf(fd, path);
    const char* slash = std::strrchr(path, '/');
    return slash && std::strcmp(slash + 1, name) == 0;
}

// What becomes of a read of `size` bytes at `offset` (-1: at the current position).
struct ReadTurn {
    bool fail = false; // fails with EIO
    size_t size = 0;   // else reads at most this much
};

ReadTurn TurnOf(int fd, size_t size, off_t offset) {
    ReadTurn turn{false, size};
    if (!gArmed || (gFailReadAt <= 0 && gBadPage < 0 && !*gUnreadable)) return turn;
    if (offset < 0) offset = ::lseek(fd, 0, SEEK_CUR);
    if (*gUnreadable && Names(fd, gUnreadable)) {
        if (offset >= gUnreadableFrom)
            turn.fail = true;
        else
            turn.size = size_t(std::min<off_t>(gUnreadableFrom - offset, off_t(size)));
    } else if (Names(fd, "DataFile")) {
        if (gEndsAt >= 0) turn.size = size_t(std::clamp<off_t>(gEndsAt - offset, 0, off_t(size)));
        if (gBadPage >= 0) {
            const off_t bad = gBadPage * kPage;
            if (offset >= bad && offset < bad + kPage)
                turn.fail = true;
            else if (offset < bad && offset + off_t(size) > bad)
                turn.size = size_t(bad - offset);
        }
        if (gFailReadAt > 0) {
            long& reads = gEachOpening && fd < kDescriptors ? gReadsOn[fd] : gReads;
            const bool turnCame = ++reads == gFailReadAt;
            if (turnCame && gShortRead) {
                turn.size = std::min(turn.size, std::max<size_t>(size / 2, 1));
                gEndsAt = offset + off_t(turn.size);
            } else if (turnCame)
                turn.fail = true;
            if (gLog >= 0) {
                const char* line = turnCame ? (gShortRead ? "short read\n" : "failed read\n") : "read\n";
                Next<ssize_t (*)(int, const void*, size_t)>("write")(gLog, line, std::strlen(line));
            }
        }
    }
    if (turn.fail) errno = EIO;
    return turn;
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

// A copy of the data file's bytes before its bad page, to be mapped in the file's place.
int ReadablePart(int fd) {
    const int copy = ::memfd_create("DataFile-readable", MFD_CLOEXEC);
    if (copy < 0) return -1;
    char page[kPage];
    for (off_t at = 0; at < gBadPage * kPage; at += kPage) {
        const ssize_t n = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread")(fd, page, sizeof page, at);
        if (n <= 0) break;
        Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite")(copy, page, size_t(n), at);
    }
    return copy;
}

// A mapping of the data file: refused while its reads may fail one by one, and ending before
// its bad page.
void* Map(const char* name, void* at, size_t size, int protection, int flags, int fd, off_t offset) {
    auto map = Next<void* (*)(void*, size_t, int, int, int, off_t)>(name);
    if ((gFailReadAt > 0 || gBadPage >= 0) && fd >= 0 && Names(fd, "DataFile")) {
        const int copy = gFailReadAt > 0 ? -1 : ReadablePart(fd);
        if (copy < 0) {
            errno = ENOMEM;
            return MAP_FAILED;
        }
        void* mapped = map(at, size, protection, flags, copy, offset);
        Next<int (*)(int)>("close")(copy);
        return mapped;
    }
    return map(at, size, protection, flags, fd, offset);
}

// A sendfile from `in`, which is a read of it.
ssize_t Send(const char* name, int out, int in, off_t* offset, size_t count) {
    if (gNoSendfile) {
        errno = EINVAL;
        return -1;
    }
    const ReadTurn turn = TurnOf(in, count, offset ? *offset : -1);
    if (turn.fail) return -1;
    return Next<ssize_t (*)(int, int, off_t*, size_t)>(name)(out, in, offset, turn.size);
}

// Whether `path` names a pending picture, "<row>.<tag of six letters or digits>".
bool IsPending(const char* path) {
    const char* name = std::strrchr(path, '/');
    name = name ? name + 1 : path;
    const char* dot = std::strchr(name, '.');
    if (!dot || dot == name || std::strlen(dot + 1) != 6) return false;
    for (const char* c = name; c < dot; ++c)
        if (*c < '0' || *c > '9') return false;
    for (const char* c = dot + 1; *c; ++c)
        if (!std::isalnum(static_cast<unsigned char>(*c))) return false;
    return true;
}

// True when a rename of `from` is to be refused.
bool KeptInPlace(const char* from) {
    if (!gKeepPending || !IsPending(from)) return false;
    errno = EBUSY;
    return true;
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
    if (Changing("rename", from, to) || KeptInPlace(from)) return -1;
    return Next<int (*)(const char*, const char*)>("rename")(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
    if (Changing("renameat", from, to) || KeptInPlace(from)) return -1;
    return Next<int (*)(int, const char*, int, const char*)>("renameat")(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    if (Changing("renameat2", from, to) || KeptInPlace(from)) return -1;
    return Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2")(fromDir, from, toDir, to,
                                                                                  flags);
}

int link(const char* from, const char* to) {
    if (Changing("link", from, to)) return -1;
    return Next<int (*)(const char*, const char*)>("link")(from, to);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    if (Changing("linkat", from, to)) return -1;
    return Next<int (*)(int, const char*, int, const char*, int)>("linkat")(fromDir, from, toDir, to, flags);
}

int unlink(const char* path) {
    if (Changing("unlink", path)) return -1;
    return Next<int (*)(const char*)>("unlink")(path);
}

int unlinkat(int dir, const char* path, int flags) {
    if (Changing("unlinkat", path)) return -1;
    return Next<int (*)(int, const char*, int)>("unlinkat")(dir, path, flags);
}

int fsync(int fd) {
    if (ChangingFd("fsync", fd)) return -1;
    return Next<int (*)(int)>("fsync")(fd);
}

int fdatasync(int fd) {
    if (ChangingFd("fdatasync", fd)) return -1;
    return Next<int (*)(int)>("fdatasync")(fd);
}

int ftruncate(int fd, off_t length) {
    if (ChangingFd("ftruncate", fd)) return -1;
    return Next<int (*)(int, off_t)>("ftruncate")(fd, length);
}

int ftruncate64(int fd, off_t length) {
    if (ChangingFd("ftruncate64", fd)) return -1;
    return Next<int (*)(int, off_t)>("ftruncate64")(fd, length);
}

int mkdir(const char* path, mode_t mode) {
    if (Changing("mkdir", path)) return -1;
    return Next<int (*)(const char*, mode_t)>("mkdir")(path, mode);
}

int mkdirat(int dir, const char* path, mode_t mode) {
    if (Changing("mkdirat", path)) return -1;
    return Next<int (*)(int, const char*, mode_t)>("mkdirat")(dir, path, mode);
}

ssize_t pread(int fd, void* data, size_t size, off_t offset) {
    const ReadTurn turn = TurnOf(fd, size, offset);
    if (turn.fail) return -1;
    return Next<ssize_t (*)(int, void*, size_t, off_t)>("pread")(fd, data, turn.size, offset);
}

ssize_t pread64(int fd, void* data, size_t size, off_t offset) {
    const ReadTurn turn = TurnOf(fd, size, offset);
    if (turn.fail) return -1;
    return Next<ssize_t (*)(int, void*, size_t, off_t)>("pread64")(fd, data, turn.size, offset);
}

ssize_t read(int fd, void* data, size_t size) {
    const ReadTurn turn = TurnOf(fd, size, -1);
    if (turn.fail) return -1;
    return Next<ssize_t (*)(int, void*, size_t)>("read")(fd, data, turn.size);
}

ssize_t sendfile(int out, int in, off_t* offset, size_t count) {
    return Send("sendfile", out, in, offset, count);
}

ssize_t sendfile64(int out, int in, off_t* offset, size_t count) {
    return Send("sendfile64", out, in, offset, count);
}

void* mmap(void* at, size_t size, int protection, int flags, int fd, off_t offset) {
    return Map("mmap", at, size, protection, flags, fd, offset);
}

void* mmap64(void* at, size_t size, int protection, int flags, int fd, off_t offset) {
    return Map("mmap64", at, size, protection, flags, fd, offset);
}

int close(int fd) {
    if (fd >= 0 && fd < kDescriptors) gReadsOn[fd] = 0;
    return Next<int (*)(int)>("close")(fd);
}

int flock(int fd, int operation) {
    if (gTakeLock && (operation & LOCK_EX) && Names(fd, ".lock")) {
        gTakeLock = false;
        char path[PATH_MAX];
        PathOf(fd, path);
        if (!gTakeSameLock) Next<int (*)(const char*)>("unlink")(path);
        const int other = ::open(path, gTakeSameLock ? O_RDWR : O_RDWR | O_CREAT | O_EXCL, 0644);
        if (other >= 0) Next<int (*)(int, int)>("flock")(other, LOCK_EX | LOCK_NB);
    }
    return Next<int (*)(int, int)>("flock")(fd, operation);
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
