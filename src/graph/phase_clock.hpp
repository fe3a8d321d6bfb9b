// Time spent enumerating and weighing, for builds with VEXA_TIMINGS.
//
// A PhaseSpan adds the time from its construction to its destruction to its
// phase's total in the calling thread's ledger; the module prints and
// resets the ledger after each call.  Without VEXA_TIMINGS a PhaseSpan is
// empty and costs nothing.
#pragma once

#ifdef VEXA_TIMINGS
#include <chrono>
#endif

namespace vexa::graph {

enum class Phase { enumerate, weights };

struct PhaseLedger {
  double enumerate_ms = 0;
  double weights_ms = 0;
};

#ifdef VEXA_TIMINGS
inline thread_local PhaseLedger phase_ledger;

class PhaseSpan {
 public:
  explicit PhaseSpan(Phase phase) noexcept : phase_(phase), start_(std::chrono::steady_clock::now()) {}
  PhaseSpan(const PhaseSpan&) = delete;
  PhaseSpan& operator=(const PhaseSpan&) = delete;
  ~PhaseSpan() {
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    (phase_ == Phase::enumerate ? phase_ledger.enumerate_ms : phase_ledger.weights_ms) += ms;
  }

 private:
  Phase phase_;
  std::chrono::steady_clock::time_point start_;
};

// The totals since the last call, and a fresh start.
inline PhaseLedger take_phase_ledger() noexcept {
  const PhaseLedger out = phase_ledger;
  phase_ledger = PhaseLedger{};
  return out;
}
#else
class PhaseSpan {
 public:
  explicit PhaseSpan(Phase) noexcept {}
};
inline PhaseLedger take_phase_ledger() noexcept { return {}; }
#endif

}  // namespace vexa::graph
