// Per-phase timings of a call, printed to standard error.
//
// Compiled in only when the build defines VEXA_TIMINGS (the CMake option of
// that name); otherwise every member is empty and the calls vanish.
#pragma once

#ifdef VEXA_TIMINGS
#include <chrono>
#include <cstdio>
#endif

namespace vexa::module {

#ifdef VEXA_TIMINGS
class PhaseTimes {
 public:
  explicit PhaseTimes(const char* function) : function_(function), last_(Clock::now()) {}
  PhaseTimes(const PhaseTimes&) = delete;
  PhaseTimes& operator=(const PhaseTimes&) = delete;
  ~PhaseTimes() {
    if (count_ == 0) return;
    std::fprintf(stderr, "vexa timings: %s:", function_);
    double total = 0;
    for (int i = 0; i < count_; ++i) {
      std::fprintf(stderr, parts_[i] ? " (%s %.3f ms)" : " %s %.3f ms", names_[i], ms_[i]);
      if (!parts_[i]) total += ms_[i];
    }
    std::fprintf(stderr, " (total %.3f ms)\n", total);
  }
  // Ends the phase that began at the previous mark (or at construction).
  void mark(const char* phase) {
    const auto now = Clock::now();
    if (count_ < kMax) {
      names_[count_] = phase;
      ms_[count_++] = std::chrono::duration<double, std::milli>(now - last_).count();
    }
    last_ = now;
  }
  // Records a figure measured elsewhere (a part of the phase just ended).
  void note(const char* what, double ms) {
    if (count_ < kMax) {
      names_[count_] = what;
      ms_[count_] = ms;
      parts_[count_++] = true;
    }
  }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr int kMax = 10;
  const char* function_;
  Clock::time_point last_;
  const char* names_[kMax] = {};
  double ms_[kMax] = {};
  bool parts_[kMax] = {};
  int count_ = 0;
};
#else
class PhaseTimes {
 public:
  explicit PhaseTimes(const char*) noexcept {}
  void mark(const char*) noexcept {}
  void note(const char*, double) noexcept {}
};
#endif

}  // namespace vexa::module
