// Cliques of at most `maxrank` nodes, grown breadth-first.
//
// The walk starts from the single-node cliques [0], ..., [n-1] and extends
// every clique, in list order, by each node of its candidate list.  The
// candidate list of [v] is nbrs[v]; the candidate list of a clique C + k
// (k taken at position j of C's candidate list L) holds the entries of L
// after position j that occur anywhere in nbrs[k].  So the result is ordered
// by size, then by parent position, then by candidate position, and every
// clique of two or more nodes is an earlier clique plus one node.
//
// The lists are used as given (never sorted, de-duplicated or checked for
// symmetry).  For lists in upper form (list v holds the neighbours greater
// than v, ascending, each once) every clique of the graph with at most
// `maxrank` nodes comes out exactly once, ascending.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "types.hpp"

namespace vexa::graph {

// The breadth-first list of cliques with at most `maxrank` nodes (0: no
// bound).  Fails with "index out of bounds: the len is {n} but the index is
// {k}" for the first entry k >= n in reading order (list 0 first, each list
// front to back), unless maxrank is 1, where no list entry is used.
CliqueList enumerate_cliques(const NeighbourLists& nbrs, std::uint64_t maxrank);

// The same list together with the tree the walk grew it as.  Clique i's
// children (the cliques made by appending one node to it) are the positions
// first_child[i] .. first_child[i+1]-1, and last[c] is the node that clique c
// ends in, so the children's last nodes are the candidate list clique i was
// extended by.  Cliques of s nodes occupy level_start[s-1] .. level_start[s]-1.
//
// The tree arrays are kept as Index; when the node count or the number of
// cliques does not fit, only `cliques` is filled and has_tree() is false.
struct CliqueTree {
  CliqueList cliques;
  std::vector<Index> last;
  std::vector<Index> first_child;  // cliques.size() + 1 entries
  std::vector<std::size_t> level_start;    // no empty level at the end
  // Every list of the input was strictly ascending (or none was read).
  // Then no sequence is listed twice and every sub-sequence of a listed
  // clique, in its own order, is listed too.
  bool ascending = false;

  bool has_tree() const noexcept { return first_child.size() == cliques.size() + 1; }
  std::size_t levels() const noexcept { return level_start.empty() ? 0 : level_start.size() - 1; }
  // Releases the tree arrays, keeping the cliques.
  void drop_tree() noexcept;
};

CliqueTree enumerate_clique_tree(const NeighbourLists& nbrs, std::uint64_t maxrank);

// Fails as the walk would on the first entry >= n (when maxrank is not 1);
// returns whether every list is strictly ascending.
bool check_neighbour_lists(const NeighbourLists& nbrs);

}  // namespace vexa::graph
