// Large arrays that are filled once, front to back.
//
// fresh_array(v, n) resizes an empty vector to n value-initialised
// elements; RawArray<T> is a vector whose resize() leaves new elements
// unwritten, for arrays every element of which is stored before it is read.  No huge-page hint is given: on a machine whose memory has been
// in use for hours, a hinted page fault makes the kernel compact memory
// first, and a dense graph's walk (G(100, 0.7), 8.7 million cliques) took
// 13.1 s with the hint against 5.5 s without.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "interrupt.hpp"

namespace vexa::graph {

// std::allocator, except that an element made without a value is
// default-initialised, which for a number means not written at all.  Growing
// a vector of numbers then costs its allocation alone: no pass that stores
// zeros which the caller overwrites next (a pass over every page of a large
// array, and one memset call per resize of a small one).
template <class T>
struct UninitAllocator : std::allocator<T> {
  using value_type = T;
  template <class U>
  struct rebind {
    using other = UninitAllocator<U>;
  };
  UninitAllocator() noexcept = default;
  template <class U>
  UninitAllocator(const UninitAllocator<U>&) noexcept {}

  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

template <class T>
using RawArray = std::vector<T, UninitAllocator<T>>;

// Reserves room for exactly n elements in an emptied vector.
template <class T, class A>
void reserve_fresh(std::vector<T, A>& v, std::size_t n) {
  v.clear();
  v.reserve(n);
}

template <class T>
void fresh_array(std::vector<T>& v, std::size_t n) {
  reserve_fresh(v, n);
  v.resize(n);
}

// Resizes an empty RawArray to n unwritten elements, reserving exactly n.
template <class T>
void unwritten_array(RawArray<T>& v, std::size_t n) {
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
