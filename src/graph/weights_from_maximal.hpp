// Inclusion-exclusion weights over the cliques below a list of maximal cliques.
#pragma once

#include <cstdint>

#include "types.hpp"

namespace vexa::graph {

// The top cliques are the given cliques, except that one with more than
// `maxrank` nodes is replaced by all its `maxrank`-node sub-sequences; a top
// clique that arises more than once counts once.  Over the family F of the
// top cliques and all their non-empty sub-cliques, every S in F gets
//     weight(S) = 1 - sum of weight(U) over the U in F strictly containing S,
// and the result is every S with a non-zero weight (an empty top clique, from
// `maxrank` 0 or an empty input clique, is returned with weight 1).
//
// Order of the result: by size, largest first, each size ascending
// lexicographically, the empty clique last.  The result does not depend on
// the order of `maxcliques`.
//
// Cliques are compared as sequences, so the input is expected as
// enumerate_maximal_cliques gives it (ascending, distinct nodes); other input
// is handled by the same rule, treating each sequence as written.
WeightedCliques calc_clique_weights_from_maximal(const CliqueList& maxcliques, std::uint64_t maxrank);

namespace detail {

// The two ways of computing the same result, exposed so that tests can
// compare them.  `expand` walks every sub-clique of every clique with a
// non-zero weight; `star` settles, node by node, the cliques whose smallest
// node it is, from the intersections of the top cliques around that node.
// `star` needs ascending cliques and falls back to `expand` otherwise.
// `star_general` is `star` with every star on the general path (classes of
// twins, masks of any width), never the one-word path for small stars.
enum class WeightMethod { automatic, expand, star, star_general };

WeightedCliques weights_from_maximal(const CliqueList& maxcliques, std::uint64_t maxrank,
                                     WeightMethod method);

}  // namespace detail
}  // namespace vexa::graph
