// Preloaded into a program by the end-to-end tests and the benchmarks: reads of one file stall
// now and then, as they do on a USB drive, a network share or a busy disk.
//
//   TARVEL_STALL_PATH      a part of the path of the files whose reads stall
//   TARVEL_STALL_MS        how long a stalled read sleeps
//   TARVEL_STALL_EVERY_MS  at most one stall in this long (the first read of a file stalls too)
//
// read, pread and readv on a descriptor opened (open, open64, openat) on such a path, or copied
// from one (dup, dup2, dup3, fcntl F_DUPFD), sleep before they read whenever the last stall is at
// least TARVEL_STALL_EVERY_MS ago. Every other call passes through unchanged.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr std::size_t kMaxFds = 4096;
constexpr std::int64_t kNanosPerMs = 1'000'000;

std::array<std::atomic<bool>, kMaxFds> gStalls{};
std::atomic<std::int64_t> gLastStallNs{-1};

const char* StallPath() {
    static const char* path = std::getenv("TARVEL_STALL_PATH");
    return path != nullptr && *path != '\0' ? path : nullptr;
}

std::int64_t EnvMs(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? std::atoll(v) : 0;
}

std::int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

void Remember(int fd, const char* path) {
    const char* part = StallPath();
    if (fd >= 0 && static_cast<std::size_t>(fd) < kMaxFds) {
        gStalls[static_cast<std::size_t>(fd)] =
            part != nullptr && path != nullptr && std::strstr(path, part) != nullptr;
    }
}

// A copy of a descriptor reads the same file.
void Inherit(int from, int to) {
    if (from >= 0 && to >= 0 && static_cast<std::size_t>(from) < kMaxFds &&
        static_cast<std::size_t>(to) < kMaxFds) {
        gStalls[static_cast<std::size_t>(to)] = gStalls[static_cast<std::size_t>(from)].load();
    }
}

void MaybeStall(int fd) {
    if (fd < 0 || static_cast<std::size_t>(fd) >= kMaxFds ||
        !gStalls[static_cast<std::size_t>(fd)].load()) {
        return;
    }
    static const std::int64_t stallNs = EnvMs("TARVEL_STALL_MS") * kNanosPerMs;
    static const std::int64_t everyNs = EnvMs("TARVEL_STALL_EVERY_MS") * kNanosPerMs;
    const std::int64_t now = NowNs();
    std::int64_t last = gLastStallNs.load();
    if (last >= 0 && now - last < everyNs) {
        return;
    }
    if (!gLastStallNs.compare_exchange_strong(last, now)) {
        return;  // another thread's read takes this stall
    }
    const timespec pause{static_cast<time_t>(stallNs / 1'000'000'000LL),
                         static_cast<long>(stallNs % 1'000'000'000LL)};
    nanosleep(&pause, nullptr);
}

template <typename Fn>
Fn Next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

mode_t ModeOf(int flags, va_list args) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

// What every opening and copying call does with the descriptor it got.
int Opened(int fd, const char* path) {
    Remember(fd, path);
    return fd;
}

int Copied(int from, int copy) {
    Inherit(from, copy);
    return copy;
}

using OpenFn = int (*)(const char*, int, ...);
using FcntlFn = int (*)(int, int, ...);

// The third argument is an int or a pointer, as the command says; both travel in one register.
int ForwardFcntl(FcntlFn real, int fd, int cmd, va_list args) {
    void* arg = va_arg(args, void*);
    const int result = real(fd, cmd, arg);
    return cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC ? Copied(fd, result) : result;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    static const auto real = Next<OpenFn>("open");
    return Opened(real(path, flags, mode), path);
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    static const auto real = Next<OpenFn>("open64");
    return Opened(real(path, flags, mode), path);
}

int openat(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    static const auto real = Next<int (*)(int, const char*, int, ...)>("openat");
    return Opened(real(dir, path, flags, mode), path);
}

int dup(int fd) {
    static const auto real = Next<int (*)(int)>("dup");
    return Copied(fd, real(fd));
}

int dup2(int fd, int to) {
    static const auto real = Next<int (*)(int, int)>("dup2");
    return Copied(fd, real(fd, to));
}

int dup3(int fd, int to, int flags) {
    static const auto real = Next<int (*)(int, int, int)>("dup3");
    return Copied(fd, real(fd, to, flags));
}

int fcntl(int fd, int cmd, ...) {
    va_list args;
    va_start(args, cmd);
    static const auto real = Next<FcntlFn>("fcntl");
    const int result = ForwardFcntl(real, fd, cmd, args);
    va_end(args);
    return result;
}

int fcntl64(int fd, int cmd, ...) {
    va_list args;
    va_start(args, cmd);
    static const auto real = Next<FcntlFn>("fcntl64");
    const int result = ForwardFcntl(real, fd, cmd, args);
    va_end(args);
    return result;
}

ssize_t read(int fd, void* buf, size_t count) {
    static const auto real = Next<ssize_t (*)(int, void*, size_t)>("read");
    MaybeStall(fd);
    return real(fd, buf, count);
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
    static const auto real = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread");
    MaybeStall(fd);
    return real(fd, buf, count, offset);
}

ssize_t pread64(int fd, void* buf, size_t count, off_t offset) {
    static const auto real = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread64");
    MaybeStall(fd);
    return real(fd, buf, count, offset);
}

ssize_t readv(int fd, const iovec* iov, int count) {
    static const auto real = Next<ssize_t (*)(int, const iovec*, int)>("readv");
    MaybeStall(fd);
    return real(fd, iov, count);
}

}  // extern "C"
