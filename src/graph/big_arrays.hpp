// Large arrays that are filled once, front to back.
//
// fresh_array(v, n) resizes an empty vector to n value-initialised
// elements.  Before the memory is first touched, a buffer of several
// megabytes is marked as a candidate for huge pages (Linux), which turns
// thousands of page faults into a handful.  It is only a hint: where the
// system does not take it nothing changes.
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
  v.reserve(n);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(v.data());
  const std::uintptr_t end = begin + n * sizeof(T);
  const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
  if (end > first + kHuge) madvise(reinterpret_cast<void*>(first), (end - first) & ~(kHuge - 1), MADV_HUGEPAGE);
#endif
  v.resize(n);
}

}  // namespace vexa::graph
