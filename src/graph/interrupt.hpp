// Cooperative interruption of long computations.
//
// The routines run for as long as their input demands (a dense graph can have
// billions of cliques).  Every long loop owns an InterruptPoll and calls
// tick() once per unit of work; every few thousand ticks the poll asks the
// installed hook whether the computation must stop, and if so throws
// Interrupted.  The Python frame installs a hook that checks for pending
// signals, so Ctrl-C ends a call; without a hook, ticking costs a counter
// decrement.
#pragma once

#include <cstdint>

namespace vexa::graph {

// Thrown by InterruptPoll when the hook asks to stop.  Whoever installed the
// hook knows why (the Python frame: a signal handler raised an exception).
struct Interrupted {};

using InterruptHook = bool (*)();

// The hook for the current thread: returns true when the computation must
// stop.  Null means never stop.
inline thread_local InterruptHook interrupt_hook = nullptr;

class InterruptPoll {
 public:
  // `period` ticks between two calls of the hook; pick it so that a period
  // is well under a millisecond of work.
  explicit InterruptPoll(std::uint32_t period = 1u << 14) noexcept
      : period_(period), left_(period) {}

  // One unit of work.  `cost` lets a loop count bigger steps at once.
  inline void tick(std::uint32_t cost = 1) {
    if (left_ > cost) {
      left_ -= cost;
      return;
    }
    left_ = period_;
    check();
  }

  // Asks the hook now.
  void check() const {
    if (interrupt_hook != nullptr && interrupt_hook()) throw Interrupted{};
  }

 private:
  std::uint32_t period_;
  std::uint32_t left_;
};

}  // namespace vexa::graph
