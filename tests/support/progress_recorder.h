#pragma once
// A ProgressFn that records what long work reports and cancels on cue.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/messages.h"

namespace vistrel::testsupport {

// Records every fraction reported and answers "cancel" at the first report
// of at least cancelFrom (never when negative), noting calls that should not
// come: after the cancel, or from a thread other than the caller's.
struct CProgressRecorder {
    double cancelFrom = -1.0;
    std::vector<double> fractions;
    bool cancelled = false;
    bool calledAfterCancel = false;
    bool calledFromAnotherThread = false;
    std::thread::id caller = std::this_thread::get_id();

    ProgressFn Fn() {
        return [this](double f) {
            if (std::this_thread::get_id() != caller) {
                calledFromAnotherThread = true;
                return false;
            }
            if (cancelled) calledAfterCancel = true;
            fractions.push_back(f);
            cancelled = cancelled || (cancelFrom >= 0.0 && f >= cancelFrom);
            return !cancelled;
        };
    }
    // Fractions within [0, 1] and never falling.
    void ExpectRising() const {
        for (std::size_t i = 0; i < fractions.size(); ++i) {
            EXPECT_GE(fractions[i], 0.0) << "call " << i;
            EXPECT_LE(fractions[i], 1.0) << "call " << i;
            if (i > 0) {
                EXPECT_GE(fractions[i], fractions[i - 1]) << "call " << i;
            }
        }
    }
    // Cancelled by the last call, and by no earlier one.
    void ExpectCancelledByTheLastCall() const {
        EXPECT_TRUE(cancelled);
        EXPECT_FALSE(calledAfterCancel);
        EXPECT_FALSE(calledFromAnotherThread);
        ASSERT_FALSE(fractions.empty());
        EXPECT_GE(fractions.back(), cancelFrom);
        for (std::size_t i = 0; i + 1 < fractions.size(); ++i)
            EXPECT_LT(fractions[i], cancelFrom) << "call " << i;
    }
};

}  // namespace vistrel::testsupport
