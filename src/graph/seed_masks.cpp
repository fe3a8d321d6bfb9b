// The rows of every seed (seed_masks.hpp): for list v and each position j,
// the positions i > j of nbrs[v] whose node occurs in nbrs[nbrs[v][j]].
//
// A list of at most 64 entries (nearly every list of a sparse graph) gives
// each of its nodes its own bit, so a row is the OR of the bits of
// nbrs[nbrs[v][j]], without a branch per entry; longer lists mark each
// node's position and set the later ones.  Either way every entry of every
// neighbour's list is looked up once: O(sum over v of the lengths of its
// neighbours' lists), with two arrays of one entry per node as scratch.
#include "seed_masks.hpp"

#include <algorithm>
#include <vector>

#include "prefetch.hpp"

namespace vexa::graph::seed {
namespace {

// Lists of fewer entries than this, with their offsets, fit in a core's
// second-level cache (8 bytes an entry, 512 KB, the least on current
// processors): building the masks then reads them without a miss, and
// asking for each neighbour's list ahead of time is pure overhead.
constexpr std::size_t kPrefetchFromEntries = std::size_t{1} << 16;

// The OR of bit_of[y] over the len entries y of `list`: four lookups per
// step into two accumulators, so that the loop's own count and test are
// paid once per four entries, and the last len % 4 without a loop.
Mask bits_of(const Mask* bit_of, const Node* list, std::size_t len) noexcept {
  Mask a = 0, b = 0;
  std::size_t i = 0;
  for (; i + 4 <= len; i += 4) {
    a |= bit_of[list[i]] | bit_of[list[i + 1]];
    b |= bit_of[list[i + 2]] | bit_of[list[i + 3]];
  }
  switch (len - i) {
    case 3: b |= bit_of[list[i + 2]]; [[fallthrough]];
    case 2: a |= bit_of[list[i + 1]]; [[fallthrough]];
    case 1: a |= bit_of[list[i]]; break;
    default: break;
  }
  return a | b;
}

}  // namespace

void SeedMasks::build(const NeighbourLists& nbrs, InterruptPoll& poll) {
  const std::size_t n = nbrs.size();
  unwritten_array(first_, n + 1);
  first_[0] = 0;
  for (std::size_t v = 0; v < n; ++v)
    first_[v + 1] = first_[v] + nbrs.length(v) * pow2_words_for_bits(nbrs.length(v));
  unwritten_array(masks_, first_[n]);
  std::vector<Mask> bit_of(n, 0);           // the node's bit in the current short list
  std::vector<std::uint16_t> pos_of(n, 0);  // position + 1 in the current long list
  const std::size_t* const off = nbrs.offsets().data();
  const Node* const entries = nbrs.nodes().data();
  const bool ask_ahead = nbrs.total_nodes() + n >= kPrefetchFromEntries;
  for (std::size_t v = 0; v < n; ++v) {
    const auto l = nbrs[v];
    // The lists of v's neighbours lie anywhere: ask for all of them at
    // once rather than missing the cache on one after the other.
    if (ask_ahead) {
      for (Node x : l) prefetch(off + x);
      for (Node x : l) prefetch(entries + off[x]);
    }
    Mask* const m = masks_.data() + first_[v];
    if (l.size() <= 64) {
      if (l.empty()) continue;
      for (std::size_t j = 0; j < l.size(); ++j) bit_of[l[j]] = Mask{1} << j;
      // One tick for the seed's rows: at most 64 rows of at most 1024
      // entries, tens of microseconds.
      std::size_t read = l.size();
      for (std::size_t j = 0; j + 1 < l.size(); ++j) {
        const Node u = l[j];
        const std::size_t len = off[u + 1] - off[u];
        m[j] = bits_of(bit_of.data(), entries + off[u], len) & (~Mask{1} << j);  // positions after j only
        read += len;
      }
      poll.tick(static_cast<std::uint32_t>(read));
      m[l.size() - 1] = 0;  // the last position has no later one
      for (Node x : l) bit_of[x] = 0;
      continue;
    }
    const std::size_t words = pow2_words_for_bits(l.size());
    std::fill_n(m, l.size() * words, Mask{0});
    for (std::size_t j = 0; j < l.size(); ++j) pos_of[l[j]] = static_cast<std::uint16_t>(j + 1);
    for (std::size_t j = 0; j < l.size(); ++j) {
      Mask* row = m + j * words;
      for (Node y : nbrs[l[j]]) {
        const std::size_t p = pos_of[y];
        if (p > j + 1) row[(p - 1) / 64] |= Mask{1} << ((p - 1) % 64);
      }
      poll.tick(static_cast<std::uint32_t>(nbrs.length(l[j]) + 1));
    }
    for (Node x : l) pos_of[x] = 0;
  }
}

}  // namespace vexa::graph::seed
