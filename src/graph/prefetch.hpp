// A hint to the memory system that a read of the given address is coming,
// so that misses on data spread over memory overlap instead of following
// one another.  Nothing where the compiler offers no such hint.
#pragma once

namespace vexa::graph {

inline void prefetch(const void* p) noexcept {
#if defined(__GNUC__)
  __builtin_prefetch(p);
  // GCC counts a hint as no effect at all and drops a loop that only asks
  // ahead (it may assume such a loop ends and does nothing); an empty
  // volatile statement keeps it, without fencing any memory access.
  __asm__ volatile("");
#else
  (void)p;
#endif
}

}  // namespace vexa::graph
