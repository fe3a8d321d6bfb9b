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
//
// Sampled census: seeds are grouped by their number of later neighbours d.
// A group of at least kSampledGroup seeds is represented by one seed in
// kSampleStride (every kSampleStride-th in node order), its figures scaled by
// the group's size over the seeds taken; smaller groups, which hold the
// seeds of highest d in a skewed graph and with them most of the cliques,
// are counted in full.  Every count is then an estimate, exact where no group
// is sampled.
#pragma once

#include <cstdint>
#include <memory>

#include "types.hpp"

namespace vexa::graph {

struct CliqueCensus {
  std::uint64_t cliques = 0;
  std::uint64_t ends = 0;
  bool complete = true;  // false: stopped once `cliques` reached the cap
};

// One seed in this many stands for its group in a sampled census.
inline constexpr std::size_t kSampleStride = 8;
// Groups of fewer seeds are counted in full (at least four seeds taken
// from each sampled group).
inline constexpr std::size_t kSampledGroup = 4 * kSampleStride;

enum class CensusSeeds { all, sampled };

// A census that can be taken in steps: each count_to() goes on from the seed
// where the last one stopped.  `upper` must be in upper form (strictly
// ascending lists of nodes greater than their own node, all < n) and outlive
// the census.
class CliqueCensusTaker {
 public:
  CliqueCensusTaker(const NeighbourLists& upper, std::uint64_t maxrank, CensusSeeds seeds);
  ~CliqueCensusTaker();
  CliqueCensusTaker(const CliqueCensusTaker&) = delete;
  CliqueCensusTaker& operator=(const CliqueCensusTaker&) = delete;

  // Counts on until `cliques` reaches `cap` (then incomplete, with `cliques`
  // equal to cap) or every seed is counted.
  CliqueCensus count_to(std::uint64_t cap);

 private:
  class Walk;
  std::unique_ptr<Walk> walk_;
};

// The census of every seed at once, stopped as soon as `cliques` reaches
// `cap`, with the figures of the seeds counted so far.
CliqueCensus take_clique_census(const NeighbourLists& upper, std::uint64_t maxrank, std::uint64_t cap);

}  // namespace vexa::graph
