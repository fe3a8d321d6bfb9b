// The rows of every seed (seed_masks.hpp): for list v and each position j,
// the positions i > j of nbrs[v] whose node occurs in nbrs[nbrs[v][j]].
//
// A list of at most 64 entries (nearly every list of a sparse graph) gives
// each of its nodes its position in a byte per node, so a row is the OR of
// the bits of the positions of nbrs[nbrs[v][j]], without a branch per entry;
// longer lists mark each node's position in two bytes and set the later
// ones.  Either way every entry of every neighbour's list is looked up once:
// O(sum over v of the lengths of its neighbours' lists), with two arrays of
// one small entry per node as scratch.
#include "seed_masks.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "prefetch.hpp"

namespace vexa::graph::seed {
namespace {

// Lists of fewer entries than this, with their offsets, fit in a core's
// second-level cache (8 bytes an entry, 512 KB, the least on current
// processors): building the masks then reads them without a miss, and
// asking for each neighbour's list ahead of time is pure overhead.
constexpr std::size_t kPrefetchFromEntries = std::size_t{1} << 16;

// kBit[p] is the bit of position p: read from this table of 512 bytes, which
// stays in the first-level cache, a lookup costs one instruction fewer than
// shifting a one by a count held in a register.
constexpr auto kBit = [] {
  std::array<Mask, 64> bit{};
  for (std::size_t p = 0; p < bit.size(); ++p) bit[p] = Mask{1} << p;
  return bit;
}();

// The OR of the bits of place[y] over the len entries y of one list,
// entries[start .. start + len) of the `size` entries of all lists (size >= 1).
//
// Most neighbours' lists of a sparse graph are shorter than four entries
// (two thirds of them on a Barabasi-Albert graph of 50 000 nodes and 4 edges
// a node, a quarter of them empty), and a branch on such a length misses
// often.  So the last three entries are always read, their indices clamped
// to the list's first (a repeat changes no OR) and to the last entry of all,
// and for an empty list their bits are dropped: they cover the last len % 4
// entries without a branch.  The entries before them go four per step into
// two more accumulators.  On that graph this spares a third of the build's
// branch misses for 13 % more instructions, and the whole call runs 3 to 5 %
// faster; as much on Erdos-Renyi G(2000, 0.02), up to 2 % on a geometric
// graph.  A node outside the list has place 0 and gives bit 0, which no row
// keeps.
Mask bits_of(const std::uint8_t* place, const Node* entries, std::size_t size, std::size_t start,
             std::size_t len) noexcept {
  const std::size_t some = len != 0;
  const std::size_t last = len - some;                // list index of the last entry, 0 when empty
  const std::size_t before = last - (last != 0);      // the one before, else the last again
  const std::size_t earlier = before - (before != 0);  // and the one before that
  const std::size_t top = size - 1;
  Mask tail = kBit[place[entries[std::min(start + last, top)]]] | kBit[place[entries[std::min(start + before, top)]]] |
              kBit[place[entries[std::min(start + earlier, top)]]];
  tail &= Mask{0} - some;
  const Node* const list = entries + start;
  Mask a = 0, b = 0;
  for (std::size_t i = 0; i + 4 <= len; i += 4) {
    a |= kBit[place[list[i]]] | kBit[place[list[i + 1]]];
    b |= kBit[place[list[i + 2]]] | kBit[place[list[i + 3]]];
  }
  return a | b | tail;
}

}  // namespace

void SeedMasks::build(const NeighbourLists& nbrs, InterruptPoll& poll) {
  const std::size_t n = nbrs.size();
  unwritten_array(first_, n + 1);
  first_[0] = 0;
  for (std::size_t v = 0; v < n; ++v)
    first_[v + 1] = first_[v] + nbrs.length(v) * pow2_words_for_bits(nbrs.length(v));
  unwritten_array(masks_, first_[n]);
  // The node's position in the current short list, 0 for position 0 and
  // for nodes outside it: no row holds position 0, so the two need not be
  // told apart, and a position fits a byte.  One byte a node rather than a
  // word of its bit makes the table an eighth as large, where its lookups
  // land anywhere: 50 KB instead of 400 KB on 50 000 nodes, where it spares
  // a fifth of the build's first-level read misses.
  std::vector<std::uint8_t> place(n, 0);
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
      for (std::size_t j = 1; j < l.size(); ++j) place[l[j]] = static_cast<std::uint8_t>(j);
      // One tick for the seed's rows: at most 64 rows of at most 1024
      // entries, tens of microseconds.
      std::size_t read = l.size();
      for (std::size_t j = 0; j + 1 < l.size(); ++j) {
        const Node u = l[j];
        const std::size_t len = off[u + 1] - off[u];
        m[j] = bits_of(place.data(), entries, nbrs.total_nodes(), off[u], len) & (~Mask{1} << j);  // positions after j only
        read += len;
      }
      poll.tick(static_cast<std::uint32_t>(read));
      m[l.size() - 1] = 0;  // the last position has no later one
      for (Node x : l) place[x] = 0;
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
