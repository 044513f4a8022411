#include "core/dicom_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VISTREL_SANITIZED_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define VISTREL_SANITIZED_BUILD 1
#endif
#endif

namespace vistrel {

CSharedBlock::CSharedBlock(std::size_t size) {
    if (size == 0) return;
    void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                     MAP_SHARED | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (map == MAP_FAILED) return;
    data_ = static_cast<uint8_t*>(map);
    size_ = size;
}

CSharedBlock::~CSharedBlock() {
    if (data_) munmap(data_, size_);
}

std::size_t CurrentAddressSpace() {
    std::FILE* file = std::fopen("/proc/self/statm", "r");
    if (!file) return 0;
    unsigned long pages = 0;
    const bool ok = std::fscanf(file, "%lu", &pages) == 1;
    std::fclose(file);
    return ok ? pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

namespace {

double Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

constexpr char kSucceeded = 'S';
constexpr char kFailed = 'F';

[[noreturn]] void RunChild(const std::function<bool()>& job, const CChildLimits& limits,
                           std::size_t baseAddressSpace, int doneFd) {
    // A crash must end the child at once: no host handler (a sanitizer's or
    // the application's) may run in this copy of the host.
    for (const int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL, SIGPIPE, SIGTERM, SIGINT}) {
        signal(sig, SIG_DFL);
    }
    sigset_t all;
    sigemptyset(&all);
    sigprocmask(SIG_SETMASK, &all, nullptr);
    dup2(STDERR_FILENO, STDOUT_FILENO);

    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const rlim_t cpu = static_cast<rlim_t>(limits.seconds) + 2;
    const rlimit cpuLimit{cpu, cpu};
    setrlimit(RLIMIT_CPU, &cpuLimit);
#ifndef VISTREL_SANITIZED_BUILD
    if (limits.addressSpaceBytes > 0) {
        const rlim_t bytes = static_cast<rlim_t>(baseAddressSpace + limits.addressSpaceBytes);
        const rlimit space{bytes, bytes};
        setrlimit(RLIMIT_AS, &space);
    }
#else
    (void)baseAddressSpace;
#endif
    bool ok = false;
    try {
        ok = job();
    } catch (...) {
        ok = false;
    }
    // Tell the parent first: tearing down a large address space takes a
    // while, and the parent can take the results meanwhile.
    const char verdict = ok ? kSucceeded : kFailed;
    ssize_t written;
    do {
        written = write(doneFd, &verdict, 1);
    } while (written < 0 && errno == EINTR);
    _exit(ok ? 0 : 1);
}

}  // namespace

ChildOutcome RunInChild(const std::function<bool()>& job, const CChildLimits& limits,
                        const std::function<void()>& onSuccess) {
    // The child writes its verdict into this pipe; its end also closes when
    // it dies, so the parent waits on one descriptor with a deadline.
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return ChildOutcome::NotStarted;
    const std::size_t base = limits.addressSpaceBytes > 0 ? CurrentAddressSpace() : 0;
    std::fflush(nullptr);  // nothing buffered may be written twice
    const pid_t pid = fork();
    if (pid < 0) {
        close(ends[0]);
        close(ends[1]);
        return ChildOutcome::NotStarted;
    }
    if (pid == 0) {
        close(ends[0]);
        RunChild(job, limits, base, ends[1]);
    }
    close(ends[1]);

    const double deadline = Now() + limits.seconds;
    bool timedOut = false;
    char verdict = 0;
    for (;;) {
        const double left = deadline - Now();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd wait{ends[0], POLLIN, 0};
        const int ready = poll(&wait, 1, static_cast<int>(left * 1000.0) + 1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready != 0) {
            // A byte, or end of file when the child died without one.
            if (read(ends[0], &verdict, 1) < 0 && errno == EINTR) continue;
            break;
        }
    }
    close(ends[0]);
    if (timedOut) kill(pid, SIGKILL);
    if (verdict == kSucceeded && onSuccess) onSuccess();

    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (timedOut) return ChildOutcome::TimedOut;
    if (verdict == kSucceeded) return ChildOutcome::Succeeded;
    if (verdict == kFailed) return ChildOutcome::Failed;
    (void)waited;
    return ChildOutcome::Died;
}

}  // namespace vistrel
