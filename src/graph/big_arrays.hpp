// Large arrays that are filled once, front to back.
//
// fresh_array(v, n) resizes an empty vector to n value-initialised
// elements.  A buffer of two megabytes or more is first reserved with one
// huge page of slack and, before the memory is touched, marked as a
// candidate for huge pages from its first 2 MiB boundary on (Linux).  That
// turns thousands of page faults into a handful.  It is only a hint: where
// the system does not take it nothing changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vexa::graph {

template <class T>
void fresh_array(std::vector<T>& v, std::size_t n) {
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
  v.resize(n);
}

}  // namespace vexa::graph
