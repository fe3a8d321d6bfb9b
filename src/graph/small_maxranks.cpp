// The decomposition for maxrank 0, 1 and 2, where the family of the cut
// maximal cliques is known without finding them: for maxrank 0 the empty
// clique alone, for 1 every node, for 2 every edge and every node.  Cost:
// O(n) for maxrank 0 and 1, O(n + m) for maxrank 2, one pass over the upper
// form and one over the degrees.
#include "small_maxranks.hpp"

#include <algorithm>
#include <vector>

#include "big_arrays.hpp"
#include "interrupt.hpp"

namespace vexa::graph::detail {

namespace {

// Every node of a graph lies in some maximal clique once self-loops are
// ignored, so maxrank 1 gives each node once, with weight 1.
WeightedCliques single_nodes(std::size_t n) {
  WeightedCliques out;
  out.cliques.reserve(n, n);
  for (std::size_t v = 0; v < n; ++v) {
    out.cliques.push_node(static_cast<Node>(v));
    out.cliques.close_seq();
  }
  out.weights.assign(n, 1);
  return out;
}

}  // namespace

std::optional<WeightedCliques> without_search(std::size_t n, std::uint64_t maxrank) {
  if (n == 0) return WeightedCliques{};
  if (maxrank == 0) {
    // Every maximal clique contributes its empty subset, and a graph with a
    // node has at least one maximal clique.
    WeightedCliques out;
    out.cliques.close_seq();
    out.weights.push_back(1);
    return out;
  }
  if (maxrank == 1) return single_nodes(n);
  return std::nullopt;
}

// maxrank 2: the family is every edge and every node (an isolated node is a
// maximal clique of its own).  No member contains an edge, so each edge
// weighs 1, and a node lies in its deg(v) edges, so it weighs 1 - deg(v),
// zero exactly for the nodes of degree 1.  The pairs of the upper form are
// already in the result's order, so one pass over it writes the edges and
// one over the degrees the nodes: linear in the graph, no walk.
WeightedCliques edges_and_nodes(const NeighbourLists& upper) {
  const std::size_t n = upper.size(), m = upper.total_nodes();
  InterruptPoll poll;
  std::vector<std::uint64_t> degree(n, 0);
  for (std::size_t v = 0; v < n; ++v) {
    degree[v] += upper.length(v);
    for (Node w : upper[v]) ++degree[static_cast<std::size_t>(w)];
    poll.tick(static_cast<std::uint32_t>(upper.length(v) | 1));
  }
  const auto kept = static_cast<std::size_t>(std::count_if(degree.begin(), degree.end(), [](std::uint64_t d) { return d != 1; }));
  WeightedCliques out;
  std::vector<Node>& nodes = out.cliques.nodes();
  std::vector<std::size_t>& offsets = out.cliques.offsets();
  fresh_array(nodes, 2 * m + kept, poll);
  fresh_array(offsets, m + kept + 1, poll);
  fresh_array(out.weights, m + kept, poll);
  Node* dst = nodes.data();
  std::size_t at = 0;
  for (std::size_t v = 0; v < n; ++v) {
    for (Node w : upper[v]) {
      *dst++ = static_cast<Node>(v);
      *dst++ = w;
      out.weights[at++] = 1;
      offsets[at] = 2 * at;
    }
    poll.tick(static_cast<std::uint32_t>(upper.length(v) | 1));
  }
  for (std::size_t v = 0; v < n; ++v) {
    if (degree[v] == 1) continue;
    *dst++ = static_cast<Node>(v);
    offsets[at + 1] = offsets[at] + 1;
    out.weights[at++] = wrap_sub(1, static_cast<Weight>(degree[v]));
    poll.every<4096>(v);
  }
  return out;
}

}  // namespace vexa::graph::detail
