// The two narrow channels every long engine operation has: it reports
// through a ProgressSink and polls a CancelFlag. Modal questions are separate
// interfaces of their own layer (a bad sector, the FAT choice, replace, a
// write error), each a call that returns the answer.
#pragma once

#include <atomic>
#include <string>

namespace base {

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // 0..100.
    virtual void Percent(int percent) { (void)percent; }
    // A status line ("Loading FAT 1....").
    virtual void Status(const std::string& text) { (void)text; }
};

// A sink that shows nothing.
inline ProgressSink& NoProgress() {
    static ProgressSink none;  // stateless
    return none;
}

// Set by whoever may stop the work (a Stop button, a signal, a test); the
// work polls it and ends at its next safe point.
using CancelFlag = std::atomic<bool>;

inline bool Cancelled(const CancelFlag* flag) { return flag && flag->load(std::memory_order_relaxed); }

// 64-bit percentage of a / b, capped at 100; 100 when b is 0.
inline int PercentOf(unsigned long long a, unsigned long long b) {
    if (b == 0) return 100;
    const unsigned long long p = a / b * 100 + (a % b) * 100 / b;
    return p > 100 ? 100 : static_cast<int>(p);
}

}  // namespace base
