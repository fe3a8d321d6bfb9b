// A simple symmetric graph, made from neighbour lists as callers give them.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "interrupt.hpp"
#include "types.hpp"

namespace vexa::graph {

// A simple symmetric graph: the neighbours of v are nbr[off[v] .. off[v+1]),
// ascending, without v itself and without repeats.
struct SimpleGraph {
  std::size_t n = 0;
  std::vector<std::size_t> off;
  std::vector<Index> nbr;

  std::span<const Index> operator[](std::size_t v) const {
    return {nbr.data() + off[v], off[v + 1] - off[v]};
  }
  std::size_t degree(std::size_t v) const { return off[v + 1] - off[v]; }
};

// Every entry w < n, w != v of list v gives the edge v-w in both directions.
// Lists as the callers usually give them (ascending, symmetric, no loops) are
// only copied and checked; anything else is cleaned list by list and then
// merged with the reverse direction.
SimpleGraph symmetrize(const NeighbourLists& adj, InterruptPoll& poll);

}  // namespace vexa::graph
