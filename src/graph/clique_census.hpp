// A census of the cliques of at most `maxrank` nodes, taken to choose how the
// weighted decomposition is computed.
//
// For a graph in upper form it counts, in one pass:
//  - cliques: the non-empty cliques of at most maxrank nodes (0: no bound),
//    the work of a walk that lists them all;
//  - ends: the cliques of exactly maxrank nodes, plus the smaller cliques C
//    that no node greater than min(C) extends.  Every maximal clique of
//    fewer than maxrank nodes is one of the latter (counted at its smallest
//    node), and each of the latter is the part from min(C) on of some
//    maximal clique, so `ends` lies between the number of top cliques of the
//    decomposition (the maxrank-node cliques and the smaller maximal
//    cliques) and that number plus min(|M|, maxrank - 1) summed over the
//    maximal cliques M.  It estimates the size of the decomposition's search
//    and result.
//
// Method: seed by seed, each clique counted at its smallest node v, by a
// depth-first walk without pivoting (as in Bron-Kerbosch 1973) over bit masks
// of the positions of upper[v]: the candidates are the later positions
// adjacent to the whole clique, the excluded set the earlier ones adjacent to
// the whole clique, and a clique ends when both are empty.  Cost: after
// O(sum over v of sum over x in upper[v] of |upper[x]|) to build the masks,
// one O(|upper[v]| / 64) step per counted clique, the last level one bit
// count per clique.  A seed with more than 1024 later neighbours is counted
// over sorted candidate lists and adds only maxrank-node cliques to `ends`.
#pragma once

#include <cstdint>

#include "types.hpp"

namespace vexa::graph {

struct CliqueCensus {
  std::uint64_t cliques = 0;
  std::uint64_t ends = 0;
  bool complete = true;  // false: stopped once `cliques` reached the cap
};

// `upper` must be in upper form (strictly ascending lists of nodes greater
// than their own node, all < n).  Stops as soon as `cliques` reaches `cap`,
// with the figures of the seeds counted so far.
CliqueCensus take_clique_census(const NeighbourLists& upper, std::uint64_t maxrank, std::uint64_t cap);

}  // namespace vexa::graph
