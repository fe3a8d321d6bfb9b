// Bit counting and word counts for the bit-set code of the clique searches.
//
// popcount64() is the portable count: the popcnt instruction when the build
// may assume it, else a short inline sequence (the library call behind
// std::popcount is slower than that).  Code that counts bits in its inner
// loop can do better at run time: with_popcount(body) runs body<true>()
// compiled for the popcnt instruction when the processor has one (asked
// once per process) and body<false>() otherwise, and body counts with
// popcount<kHw>().
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexa::graph {

// Number of set bits, without assuming the popcnt instruction.
inline unsigned popcount64(std::uint64_t x) noexcept {
#if defined(__POPCNT__)
  return static_cast<unsigned>(__builtin_popcountll(x));
#else
  x = x - ((x >> 1) & 0x5555555555555555ull);
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<unsigned>((x * 0x0101010101010101ull) >> 56);
#endif
}

// The bits below bit i of a 64-bit word (all 64 for i >= 64).
constexpr std::uint64_t low_bits(std::size_t i) noexcept { return i >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << i) - 1; }

// 64-bit words needed for `bits` bits.
constexpr std::size_t words_for_bits(std::size_t bits) noexcept { return (bits + 63) / 64; }

// The same rounded up to a power of two (at least one word), for code
// compiled once per word count.
constexpr std::size_t pow2_words_for_bits(std::size_t bits) noexcept {
  std::size_t w = 1;
  while (64 * w < bits) w *= 2;
  return w;
}

// Run-time choice of the bit count.  Only x86 compilers of the GCC family
// can compile one function for an instruction set the rest of the build does
// not assume; elsewhere both instantiations use popcount64().
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define VEXA_POPCNT_DISPATCH 1
#define VEXA_ALWAYS_INLINE [[gnu::always_inline]] inline
#else
#define VEXA_POPCNT_DISPATCH 0
#define VEXA_ALWAYS_INLINE inline
#endif

// Bits set in x: the popcnt instruction for kHw (only inside with_popcount's
// hardware branch), else popcount64().
template <bool kHw>
VEXA_ALWAYS_INLINE unsigned popcount(std::uint64_t x) noexcept {
#if VEXA_POPCNT_DISPATCH
  if constexpr (kHw) return static_cast<unsigned>(__builtin_popcountll(x));
#endif
  return popcount64(x);
}

namespace detail {

inline bool cpu_has_popcnt() noexcept {
#if VEXA_POPCNT_DISPATCH
  static const bool has = __builtin_cpu_supports("popcnt") != 0;
  return has;
#else
  return false;
#endif
}

#if VEXA_POPCNT_DISPATCH
// The body is inlined here, so everything it inlines (its popcount<true>()
// calls above all) is compiled for popcnt.
template <class Body>
__attribute__((target("popcnt"), flatten)) decltype(auto) run_with_hw_popcount(Body& body) {
  return body.template operator()<true>();
}
#endif

}  // namespace detail

// Runs body.template operator()<kHw>() with kHw true when the processor
// counts bits in hardware.  The body is a generic lambda, typically
// [&]<bool kHw>() { search<kHw>(...); }; everything it calls is inlined into
// the hardware branch, so keep it to the routine that needs the count.
template <class Body>
decltype(auto) with_popcount(Body&& body) {
#if VEXA_POPCNT_DISPATCH
  if (detail::cpu_has_popcnt()) return detail::run_with_hw_popcount(body);
#endif
  return body.template operator()<false>();
}

#undef VEXA_ALWAYS_INLINE
#undef VEXA_POPCNT_DISPATCH

}  // namespace vexa::graph
