// Large arrays that are filled once, front to back.
//
// fresh_array(v, n) resizes an empty vector to n value-initialised
// elements.  A buffer of two megabytes or more is first reserved with one
// huge page of slack and, before the memory is touched, marked as a
// candidate for huge pages from its first 2 MiB boundary on (Linux).  That
// turns thousands of page faults into a handful.  It is only a hint: where
// the system does not take it nothing changes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "interrupt.hpp"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vexa::graph {

// Reserves room for n elements, with the huge-page hint for a large buffer.
template <class T>
void reserve_fresh(std::vector<T>& v, std::size_t n) {
  v.clear();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  if (n * sizeof(T) >= kHuge) {
    v.reserve(n + kHuge / sizeof(T));
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(v.data());
    const std::uintptr_t reserved = begin + v.capacity() * sizeof(T);
    const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t last = (begin + n * sizeof(T) + kHuge - 1) & ~(kHuge - 1);
    if (first < last && last <= reserved) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
#endif
  v.reserve(n);
}

template <class T>
void fresh_array(std::vector<T>& v, std::size_t n) {
  reserve_fresh(v, n);
  v.resize(n);
}

// The same, a megabyte at a time with a tick in between: clearing hundreds
// of megabytes (and faulting their pages in) takes tens of milliseconds.
template <class T>
void fresh_array(std::vector<T>& v, std::size_t n, InterruptPoll& poll) {
  reserve_fresh(v, n);
  constexpr std::size_t kStep = std::max<std::size_t>(1, (std::size_t{1} << 20) / sizeof(T));
  while (v.size() < n) {
    v.resize(std::min(n, v.size() + kStep));
    poll.tick(1u << 12);
  }
}

}  // namespace vexa::graph
