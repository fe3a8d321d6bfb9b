// One level of a seed's subtree grown from the level below: the kernel that
// the count (seed_count.cpp) and the walk (seed_walk.cpp) share.
//
// A clique of seed v is listed from its smallest node only, by extending it
// with later neighbours (Chiba and Nishizeki 1985); here a clique's
// candidates are a mask of positions in nbrs[v], and its child by position
// j has the candidates after j that are also adjacent to nbrs[v][j], one AND
// with row j of the seed (seed_masks.hpp).  The children of a level's
// cliques, taken in order and each clique's by ascending position, are the
// next level in lexicographic order.  Cost: one popcount of W words per
// clique of the level below, one AND of W words per child.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "big_arrays.hpp"
#include "interrupt.hpp"
#include "seed_masks.hpp"
#include "types.hpp"

namespace vexa::graph::seed {

// The candidates of every child of the `count` cliques of `cand`, in
// order, and with kLinks their parents' places and last positions.
template <unsigned W, bool kHw, bool kLinks>
void fill_level(const Mask* adj, const Mask* cand, std::size_t count, Mask* out, Index* par,
                std::uint16_t* at, InterruptPoll& poll) {
  for (std::size_t i = 0; i < count; ++i) {
    const Mask* c = cand + i * W;
    Bits<W, kHw>::each(c, [&](unsigned j) {
      Bits<W, kHw>::meet(out, c, adj + std::size_t{j} * W);
      out += W;
      if constexpr (kLinks) {
        *par++ = static_cast<Index>(i);
        *at++ = static_cast<std::uint16_t>(j);
      }
    });
    poll.every<64>(i);
  }
}

// The number of cliques one node larger than the `count` cliques whose
// candidates are `cand`, seed rows `adj`.  With `next` given their
// candidates are made too, unless there are more than `most` of them, and
// with `parent` and `pos` given their parents and last positions (counting
// needs neither; the last level needs no candidates).
template <unsigned W, bool kHw>
std::size_t grow_level(const Mask* adj, const Mask* cand, std::size_t count, RawArray<Mask>* next,
                       RawArray<Index>* parent, RawArray<std::uint16_t>* pos, InterruptPoll& poll,
                       std::size_t most = ~std::size_t{0}) {
  std::size_t made = 0;
  for (std::size_t i = 0; i < count; ++i) made += Bits<W, kHw>::count(cand + i * W);
  poll.tick(static_cast<std::uint32_t>(std::min<std::size_t>(count, 1u << 12)));
  if (next == nullptr || made == 0 || made > most) return made;
  next->resize(made * W);
  if (parent == nullptr) {
    fill_level<W, kHw, false>(adj, cand, count, next->data(), nullptr, nullptr, poll);
  } else {
    parent->resize(made);
    pos->resize(made);
    fill_level<W, kHw, true>(adj, cand, count, next->data(), parent->data(), pos->data(), poll);
  }
  return made;
}

}  // namespace vexa::graph::seed
