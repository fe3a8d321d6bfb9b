// Checked growth of the arrays whose size follows the answer.
//
// A cut decomposition can be exponential in its input (every 30-node subset
// of an 80-node clique), and on a system that overcommits memory an array
// that keeps doubling is not refused: the process grows until the kernel
// kills it.  Arrays that can grow that far therefore ask for room before
// each large step; a step larger than the memory the system reports as
// available (RAM it can hand out without swapping, page cache that it can
// drop included, and free swap) throws std::bad_alloc, which the module
// raises as MemoryError with the interpreter intact.  Under an address-space
// limit the allocation itself fails first, the same way.
#pragma once

#include <cstddef>
#include <cstring>
#include <new>
#include <optional>

#if defined(__linux__)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <unistd.h>
#endif

namespace vexa::graph {

// MemAvailable plus SwapFree, in bytes, from the text of /proc/meminfo;
// nothing when either line is missing (kernels before 3.14 have no
// MemAvailable).
inline std::optional<unsigned long long> available_from_meminfo(const char* text) {
  auto kilobytes = [text](const char* key) -> std::optional<unsigned long long> {
    const std::size_t len = std::strlen(key);
    for (const char* line = text; *line != '\0';) {
      if (std::strncmp(line, key, len) == 0) {
        const char* p = line + len;
        while (*p == ' ') ++p;
        if (*p < '0' || *p > '9') return std::nullopt;
        unsigned long long value = 0;
        for (; *p >= '0' && *p <= '9'; ++p) {
          if (value > (~0ull - 9) / 10) return std::nullopt;
          value = value * 10 + static_cast<unsigned>(*p - '0');
        }
        return value;
      }
      const char* next = std::strchr(line, '\n');
      if (next == nullptr) break;
      line = next + 1;
    }
    return std::nullopt;
  };
  const auto available = kilobytes("MemAvailable:");
  const auto swap = kilobytes("SwapFree:");
  if (!available || !swap) return std::nullopt;
  constexpr unsigned long long kMaxKilobytes = ~0ull / 1024;
  if (*available > kMaxKilobytes - *swap) return ~0ull;
  return (*available + *swap) * 1024;
}

// Below this size a step is not checked: it costs less than the interpreter
// itself, and asking the system costs a system call.
constexpr std::size_t kUncheckedStepBytes = std::size_t{64} << 20;

// The memory the system reports as available: /proc/meminfo's estimate of
// what it can hand out without swapping, plus free swap; where that cannot
// be read, free RAM, buffers and swap (which leaves out the page cache);
// no limit where the system cannot tell.  Asked only before large steps.
inline unsigned long long free_memory_bytes() {
#if defined(__linux__)
  // The lines needed come first; the file is much shorter than this anyway.
  char text[4096];
  const int fd = ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    std::size_t used = 0;
    for (;;) {
      const ssize_t got = ::read(fd, text + used, sizeof(text) - 1 - used);
      if (got <= 0) break;
      used += static_cast<std::size_t>(got);
      if (used == sizeof(text) - 1) break;
    }
    ::close(fd);
    text[used] = '\0';
    if (const auto bytes = available_from_meminfo(text)) return *bytes;
  }
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

// Throws std::bad_alloc when `bytes` more cannot be backed by free memory
// or would pass the address-space limit.
inline void check_room(std::size_t bytes) {
  if (bytes < kUncheckedStepBytes) return;
  if (bytes > memory_ceiling_bytes()) throw std::bad_alloc();
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
