#pragma once
// Runs a DICOM engine call in a short-lived child process. Engines are
// outside libraries that may assert, overflow their stack, loop or allocate
// without end on a damaged file; in a child, none of that can take the host
// (and every open document) with it.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace vistrel {

// Memory shared with the children forked after it was made: the child writes
// its results here and the parent reads them after the child has ended.
class CSharedBlock {
  public:
    // Maps `size` bytes (zeroed); IsValid() is false when that failed.
    explicit CSharedBlock(std::size_t size);
    ~CSharedBlock();
    CSharedBlock(const CSharedBlock&) = delete;
    CSharedBlock& operator=(const CSharedBlock&) = delete;

    bool IsValid() const { return data_ != nullptr; }
    uint8_t* Data() const { return data_; }
    std::size_t Size() const { return size_; }

  private:
    uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

struct CChildLimits {
    double seconds = 5.0;               // wall-clock time before the child is killed
    std::size_t addressSpaceBytes = 0;  // added to the parent's size; 0 for no limit
};

enum class ChildOutcome {
    Succeeded,   // the job returned true and the child exited normally
    Failed,      // the job returned false
    Died,        // a signal, an abnormal exit or a failed limit
    TimedOut,    // killed when the time ran out
    NotStarted,  // fork or pipe failed
};

// Forks; the child runs `job` and ends with _exit (never returning into the
// caller, so no destructor, atexit handler or event loop of the host runs in
// it). The parent waits for its verdict at most limits.seconds and then
// kills it. When the job succeeded, `onSuccess` runs in the parent at once,
// while the child is still ending (its results in shared memory are
// complete by then), and the child is reaped after it.
// The child's standard output goes to its standard error, so an engine that
// prints cannot corrupt what the host writes there. Sanitizer builds get no
// address-space limit: their shadow memory alone exceeds any sensible one.
ChildOutcome RunInChild(const std::function<bool()>& job, const CChildLimits& limits,
                        const std::function<void()>& onSuccess = {});

// Address space the calling process already uses, in bytes (0 if unknown).
std::size_t CurrentAddressSpace();

}  // namespace vistrel
