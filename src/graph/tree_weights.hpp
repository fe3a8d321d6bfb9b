// Weights of a breadth-first clique list, computed on its tree.
//
// When every neighbour list is strictly ascending, the breadth-first list
// holds every sub-clique of every listed clique exactly once and always
// before it.  On such a list the pruned and the unpruned weights are the
// same number: the alternating count
//
//     w(S) = sum over j >= 0 of (-1)^j * cnt_j(S),
//
// where cnt_j(S) is the number of listed cliques of |S| + j nodes that
// contain S (once per choice of positions).  The counts are found level by
// level from the top through the facets of each clique (the clique without
// one of its positions): pushing the count vector of every clique to each of
// its facets gives j * cnt_j, because each containing clique is reached
// through j facets one level up.  A facet is located through the tree (the
// clique without position p is a child of the parent's facet without p), so
// no sequence is ever hashed.
#pragma once

#include <cstddef>
#include <optional>

#include "bounded_cliques.hpp"
#include "sorted.hpp"
#include "types.hpp"

namespace vexa::graph {

// The weights through the tree, or nothing when the tree cannot give them
// (lists not strictly ascending, or no 32-bit tree).
std::optional<WeightList> calc_tree_weights(const CliqueTree& tree);

// Finds each of the ascending keys[0..k) among last[lo..hi) (the ascending
// last nodes of one clique's children) and writes their positions to out.
// False if a key is missing, which a tree grown from strictly ascending
// lists never gives.
inline bool locate_children(const Index* last, std::size_t lo, std::size_t hi, const Index* keys,
                            std::size_t k, Index* out) {
  SortedCursor<Index> cursor(last + lo, last + hi, k);
  for (std::size_t i = 0; i < k; ++i) {
    cursor.seek(keys[i]);
    if (!cursor.on(keys[i])) return false;
    out[i] = static_cast<Index>(cursor.position() - last);
    cursor.skip();
  }
  return true;
}

}  // namespace vexa::graph
