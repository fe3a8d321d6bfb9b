// Where a call's time goes, for builds with VEXA_TIMINGS.
//
// The Python frame opens a CallClock for every call; the frame and the
// routines then mark the end of each phase with phase_done("name") at the
// boundaries of their steps (conversion, enumeration, weights, result), and
// the CallClock prints the phases to standard error when the call ends:
//
//     vexa timings: enumerate_cliques_with_weights: convert 1.3 ms enumerate 50 ms ... (total 160 ms)
//
// A phase runs from the previous mark (or the start of the call) to its own.
// Without VEXA_TIMINGS both are empty and cost nothing.
#pragma once

#ifdef VEXA_TIMINGS
#include <chrono>
#include <cstdio>
#endif

namespace vexa::graph {

#ifdef VEXA_TIMINGS
namespace detail {

struct PhaseLedger {
  static constexpr int kMax = 12;
  using Clock = std::chrono::steady_clock;
  const char* function = nullptr;
  Clock::time_point last{};
  const char* names[kMax] = {};
  double ms[kMax] = {};
  int count = 0;
};

// The ledger of the call running in this thread (function null: none).
inline thread_local PhaseLedger phase_ledger;

}  // namespace detail

inline void phase_done(const char* phase) noexcept {
  detail::PhaseLedger& l = detail::phase_ledger;
  if (l.function == nullptr) return;
  const auto now = detail::PhaseLedger::Clock::now();
  if (l.count < detail::PhaseLedger::kMax) {
    l.names[l.count] = phase;
    l.ms[l.count++] = std::chrono::duration<double, std::milli>(now - l.last).count();
  }
  l.last = now;
}

// Opens the ledger of one call and prints it at the end.  A call made from
// inside another (Python code run during a conversion can call the module
// again) gets a ledger of its own; the outer one resumes afterwards.
class CallClock {
 public:
  explicit CallClock(const char* function) noexcept : outer_(detail::phase_ledger) {
    detail::phase_ledger = detail::PhaseLedger{};
    detail::phase_ledger.function = function;
    detail::phase_ledger.last = detail::PhaseLedger::Clock::now();
  }
  CallClock(const CallClock&) = delete;
  CallClock& operator=(const CallClock&) = delete;
  ~CallClock() {
    const detail::PhaseLedger& l = detail::phase_ledger;
    if (l.count > 0) {
      std::fprintf(stderr, "vexa timings: %s:", l.function);
      double total = 0;
      for (int i = 0; i < l.count; ++i) {
        std::fprintf(stderr, " %s %.3f ms", l.names[i], l.ms[i]);
        total += l.ms[i];
      }
      std::fprintf(stderr, " (total %.3f ms)\n", total);
    }
    detail::phase_ledger = outer_;
  }

 private:
  detail::PhaseLedger outer_;
};
#else
inline void phase_done(const char*) noexcept {}

class CallClock {
 public:
  explicit CallClock(const char*) noexcept {}
};
#endif

}  // namespace vexa::graph
