// Cooperative interruption of long computations.
//
// The routines run for as long as their input demands (a dense graph can have
// billions of cliques).  Every long loop owns an InterruptPoll and calls
// tick() once per unit of work (or every<N>(i) once per item of a loop whose
// items are too cheap to count one by one); every few thousand ticks the poll
// asks the installed hook whether the computation must stop, and if so throws
// Interrupted.  The Python frame installs a hook that checks for pending
// signals, so Ctrl-C ends a call; without a hook, ticking costs a counter
// decrement.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace vexa::graph {

// Thrown by InterruptPoll when the hook asks to stop.  Whoever installed the
// hook knows why (the Python frame: a signal handler raised an exception).
struct Interrupted {};

using InterruptHook = bool (*)();

// The hook for the current thread: returns true when the computation must
// stop.  Null means never stop.
inline thread_local InterruptHook interrupt_hook = nullptr;

// Ticks between two calls of the hook for the polls made from now on in this
// thread.  Pick it so that a period is well under a millisecond of work;
// tests set it to 1 (see InterruptAfter) so that every tick asks the hook.
inline thread_local std::uint32_t poll_period = 1u << 14;

class InterruptPoll {
 public:
  InterruptPoll() noexcept : period_(poll_period), left_(period_) {}

  // One unit of work.  `cost` lets a loop count bigger steps at once.
  inline void tick(std::uint32_t cost = 1) {
    if (left_ > cost) {
      left_ -= cost;
      return;
    }
    left_ = period_;
    check();
  }

  // One tick of N units for every N items of a loop: call it with the item
  // number i, once per item.  N is a power of two, so the test is one mask.
  template <std::size_t N>
  inline void every(std::size_t i) {
    static_assert(N > 0 && (N & (N - 1)) == 0, "N must be a power of two");
    if ((i & (N - 1)) == N - 1) tick(static_cast<std::uint32_t>(N));
  }

  // Asks the hook now.
  void check() const {
    if (interrupt_hook != nullptr && interrupt_hook()) throw Interrupted{};
  }

 private:
  std::uint32_t period_;
  std::uint32_t left_;
};

// One tick() reports at most this many units: a step over millions of items
// still asks the hook at once, and the count fits the tick's 32 bits.
inline constexpr std::size_t kMaxTickCost = std::size_t{1} << 20;

// The cost to tick for a step of `units` units of work, however many (and
// at least 1, so that an empty step still counts).
inline std::uint32_t tick_cost(std::size_t units) {
  return static_cast<std::uint32_t>(std::min(units, kMaxTickCost) | 1);
}

// For tests: while it lives, every tick of the polls created in this thread
// asks the hook, and the hook stops the computation at the `stop_at`-th
// question (never, for 0).  asked() tells how many questions were asked, so
// a test can first count the polls of a whole run and then stop a second run
// at any of them.
class InterruptAfter {
 public:
  explicit InterruptAfter(std::uint64_t stop_at) noexcept
      : saved_hook_(interrupt_hook), saved_period_(poll_period) {
    state().asked = 0;
    state().stop_at = stop_at;
    interrupt_hook = &ask;
    poll_period = 1;
  }
  InterruptAfter(const InterruptAfter&) = delete;
  InterruptAfter& operator=(const InterruptAfter&) = delete;
  ~InterruptAfter() {
    interrupt_hook = saved_hook_;
    poll_period = saved_period_;
  }

  std::uint64_t asked() const noexcept { return state().asked; }

 private:
  struct State {
    std::uint64_t asked = 0;
    std::uint64_t stop_at = 0;
  };
  static State& state() noexcept {
    static thread_local State s;
    return s;
  }
  static bool ask() noexcept { return ++state().asked == state().stop_at; }

  InterruptHook saved_hook_;
  std::uint32_t saved_period_;
};

}  // namespace vexa::graph
