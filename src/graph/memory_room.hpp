// Checked growth of the arrays whose size follows the answer.
//
// A cut decomposition can be exponential in its input (every 30-node subset
// of an 80-node clique), and on a system that overcommits memory an array
// that keeps doubling is not refused: the process grows until the kernel
// kills it.  Arrays that can grow that far therefore ask for room before
// each large step; a step larger than the memory the system reports as
// free (RAM, buffers and swap) throws std::bad_alloc, which the module
// raises as MemoryError with the interpreter intact.  Under an address-space
// limit the allocation itself fails first, the same way.
#pragma once

#include <cstddef>
#include <new>

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/sysinfo.h>
#endif

namespace vexa::graph {

// Below this size a step is not checked: it costs less than the interpreter
// itself, and asking the system costs a system call.
constexpr std::size_t kUncheckedStepBytes = std::size_t{64} << 20;

// The memory the system reports as free: RAM, buffers and swap (no limit
// where it cannot tell).
inline unsigned long long free_memory_bytes() {
#if defined(__linux__)
  struct sysinfo info {};
  if (sysinfo(&info) != 0) return ~0ull;
  const unsigned long long unit = info.mem_unit == 0 ? 1 : info.mem_unit;
  return (static_cast<unsigned long long>(info.freeram) + info.bufferram + info.freeswap) * unit;
#else
  return ~0ull;
#endif
}

// At most the free memory and the process's address-space limit: more than
// this cannot be held at once.
inline unsigned long long memory_ceiling_bytes() {
  unsigned long long ceiling = free_memory_bytes();
#if defined(__linux__)
  struct rlimit limit {};
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < ceiling)
    ceiling = limit.rlim_cur;
#endif
  return ceiling;
}

// Throws std::bad_alloc when `bytes` more cannot be backed by free memory.
inline void check_room(std::size_t bytes) {
  if (bytes < kUncheckedStepBytes) return;
  if (bytes > free_memory_bytes()) throw std::bad_alloc();
}

// Reserves room for `count` elements in v, checked as above.
template <class Vector>
void reserve_checked(Vector& v, std::size_t count) {
  if (count <= v.capacity()) return;
  if (count > v.max_size()) throw std::bad_alloc();
  check_room((count - v.capacity()) * sizeof(typename Vector::value_type));
  v.reserve(count);
}

// Makes room for `more` elements beyond v.size(), doubling the capacity as
// push_back would, but checked.  The test for room is inline; growing is not,
// so that a push in a hot loop stays a compare and a store.
template <class Vector>
[[gnu::noinline]] void grow_checked_slow(Vector& v, std::size_t more) {
  const std::size_t need = v.size() + more;
  reserve_checked(v, need < 2 * v.capacity() ? 2 * v.capacity() : need);
}

template <class Vector>
inline void grow_checked(Vector& v, std::size_t more) {
  if (v.capacity() - v.size() < more) [[unlikely]]
    grow_checked_slow(v, more);
}

}  // namespace vexa::graph
