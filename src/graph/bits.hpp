// Bit counting for the bit-set code of the clique searches.
#pragma once

#include <cstdint>

namespace vexa::graph {

// Number of set bits.  Without a popcount instruction in the target, the
// library call behind std::popcount is slower than this inline version.
inline int popcount64(std::uint64_t x) noexcept {
#if defined(__POPCNT__)
  return __builtin_popcountll(x);
#else
  x = x - ((x >> 1) & 0x5555555555555555ull);
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<int>((x * 0x0101010101010101ull) >> 56);
#endif
}

}  // namespace vexa::graph
