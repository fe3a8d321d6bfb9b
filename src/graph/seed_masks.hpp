// Position masks of the seed walk (seed_cliques.cpp): the rows of each seed,
// and the bit sets of positions they are read as.
//
// A clique with seed v is v plus a set of positions in nbrs[v] (strictly
// ascending, at most kMaxDegree entries), and the positions that may still
// join it are a mask too.  Row j of seed v is the mask of the positions
// i > j of nbrs[v] whose node is adjacent to nbrs[v][j]: appending position
// j to a clique keeps its candidates AND row j.  Building the rows reads, for
// each entry x of each list, the list of x once: O(sum over v of the lengths
// of its neighbours' lists) lookups, and |nbrs[v]| rows of
// pow2_words_for_bits(|nbrs[v]|) words per seed.
//
// Method: the neighbourhood held as bit rows over local numbers, so that a
// candidate set is cut by a word-wise AND (the bit-parallel clique search of
// San Segundo, Rodriguez-Losada and Jimenez 2011).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "big_arrays.hpp"
#include "bits.hpp"
#include "interrupt.hpp"
#include "types.hpp"

namespace vexa::graph::seed {

using Mask = std::uint64_t;

// Lists longer than this are left to the tree route: a mask of 16 words is
// the widest one the per-seed arrays are compiled for.
inline constexpr std::size_t kMaxDegree = 1024;

// Calls f.template operator()<W>() with W the words of mask for a list of d
// entries (1, 2, 4, 8 or 16): the one place where a list picks the compiled
// mask width.
template <class F>
void with_mask_words(std::size_t d, F&& f) {
  switch (pow2_words_for_bits(d)) {
    case 1: f.template operator()<1>(); break;
    case 2: f.template operator()<2>(); break;
    case 4: f.template operator()<4>(); break;
    case 8: f.template operator()<8>(); break;
    default: f.template operator()<16>(); break;
  }
}

// Position sets of W words, counted with popcount<kHw>().
template <unsigned W, bool kHw>
struct Bits {
  // Positions 0 .. d-1.
  static void first(Mask* m, std::size_t d) noexcept {
    for (unsigned i = 0; i < W; ++i) {
      const std::size_t lo = 64 * std::size_t{i};
      m[i] = d >= lo + 64 ? ~Mask{0} : d <= lo ? 0 : (Mask{1} << (d - lo)) - 1;
    }
  }
  static void meet(Mask* dst, const Mask* a, const Mask* b) noexcept {
    for (unsigned i = 0; i < W; ++i) dst[i] = a[i] & b[i];
  }
  static std::size_t count(const Mask* m) noexcept {
    std::size_t c = 0;
    for (unsigned i = 0; i < W; ++i) c += popcount<kHw>(m[i]);
    return c;
  }
  // Positions below j.
  static std::size_t rank(const Mask* m, unsigned j) noexcept {
    std::size_t c = 0;
    for (unsigned i = 0; i < j / 64; ++i) c += popcount<kHw>(m[i]);
    return c + popcount<kHw>(m[j / 64] & ((Mask{1} << (j % 64)) - 1));
  }
  // Calls f(j) for each position, ascending.
  template <class F>
  static void each(const Mask* m, F&& f) {
    for (unsigned i = 0; i < W; ++i)
      for (Mask rest = m[i]; rest != 0; rest &= rest - 1)
        f(64 * i + static_cast<unsigned>(std::countr_zero(rest)));
  }
};

// The rows of every seed, side by side.
class SeedMasks {
 public:
  // Builds the rows of every list (each at most kMaxDegree entries).
  void build(const NeighbourLists& nbrs, InterruptPoll& poll);
  // Seed v's rows: row j is pow2_words_for_bits(|nbrs[v]|) words at
  // rows(v) + j * words.
  const Mask* rows(std::size_t v) const noexcept { return masks_.data() + first_[v]; }
  // Frees the rows.
  void release() noexcept {
    first_ = {};
    masks_ = {};
  }

 private:
  RawArray<std::size_t> first_;  // per seed, where its rows begin
  RawArray<Mask> masks_;
};

}  // namespace vexa::graph::seed
