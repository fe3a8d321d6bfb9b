// The top cliques indexed both ways: the nodes of each top clique, and the
// top cliques holding each node (its star).
#pragma once

#include <cstddef>
#include <vector>

#include "interrupt.hpp"
#include "size_tables.hpp"
#include "types.hpp"

namespace vexa::graph {

// The top cliques over dense node numbers 0 .. count-1 (ascending node
// order is kept), with, for every dense node, the top cliques that hold it.
struct TopIncidence {
  std::vector<Index> top_nodes;   // top t: top_nodes[top_off[t] .. top_off[t+1])
  std::vector<std::size_t> top_off;
  std::vector<Index> star_tops;   // node a: star_tops[star_off[a] .. star_off[a+1])
  std::vector<std::size_t> star_off;
  std::vector<Node> sorted_nodes;  // dense -> node when remapped
  bool remapped = false;
  bool empty_top = false;          // the empty clique is a top clique

  std::size_t node_count() const noexcept { return star_off.size() - 1; }
  std::size_t star_size(std::size_t a) const noexcept { return star_off[a + 1] - star_off[a]; }
  Node node(std::size_t b) const noexcept { return remapped ? sorted_nodes[b] : static_cast<Node>(b); }
};

// Indexes the entries of `tables` (the top cliques, ascending sequences).
TopIncidence index_top_cliques(const Tables& tables, InterruptPoll& poll);

// The sum over nodes of the square of the number of top cliques holding the
// node, from the number of times each node occurs: a count per node number
// where node numbers are small against the entries, else the occurrences
// sorted.  It prices the closure method without building the incidence.
double sum_of_squared_stars(const Tables& tables, InterruptPoll& poll);

}  // namespace vexa::graph
