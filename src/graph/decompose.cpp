// The weighted clique decomposition, by the cheaper of two engines.
//
// Both engines compute the family of the cut maximal cliques with the
// weights weight(S) = 1 - (sum of the weights of the members strictly
// containing S), and return its non-zero members, largest first:
//
// - maximal: Bron-Kerbosch with pivoting lists the maximal cliques
//   (enumerate_maximal_cliques), then calc_clique_weights_from_maximal cuts
//   them and weighs the family.  Its work follows the maximal cliques and the
//   non-zero part of the family, whatever maxrank is.
// - walk: on a graph with maxrank >= 1, every clique of at most maxrank
//   nodes lies in a maximal clique, so it is in the family; and every member
//   of the family has at most maxrank nodes.  The family is therefore every
//   clique of at most maxrank nodes, which is exactly what the bounded walk
//   of enumerate_weighted_cliques lists on the upper form of the graph, each
//   once, with the same weight rule.  Its work is one step per clique of at
//   most maxrank nodes, zero-weight cliques included, and it holds all of
//   them (8 bytes per node, 16 per clique) until the zeros are dropped in
//   place.
//
// The cost model is in choose_route() below.
#include "decompose.hpp"

#include <algorithm>
#include <vector>

#include "clique_census.hpp"
#include "interrupt.hpp"
#include "maximal_cliques.hpp"
#include "phase_clock.hpp"
#include "weighted_cliques.hpp"
#include "weights_from_maximal.hpp"

namespace vexa::graph {
namespace detail {

// ---------------------------------------------------------------------------
// The upper form of the graph the maximal search reads.

NeighbourLists simple_upper_form(const NeighbourLists& adj) {
  const std::size_t n = adj.size();
  InterruptPoll poll;
  // List v gathers two runs: the entries u > v of adj[v], in their order,
  // and the nodes u > v that list v, ascending (u is taken in order).  The
  // second run is sorted by construction and for symmetric lists equal to
  // the first, so the runs are merged rather than sorted together.
  std::vector<std::size_t> own(n + 1, 0), back(n + 1, 0);
  for (std::size_t v = 0; v < n; ++v) {
    for (Node u : adj[v]) {
      if (u >= n || u == v) continue;
      if (u > v)
        ++own[v + 1];
      else
        ++back[static_cast<std::size_t>(u) + 1];
    }
    poll.tick(static_cast<std::uint32_t>(adj.length(v) | 1));
  }
  for (std::size_t v = 0; v < n; ++v) {
    own[v + 1] += own[v];
    back[v + 1] += back[v];
  }
  std::vector<Node> own_runs(own[n]), back_runs(back[n]);
  {
    std::vector<std::size_t> own_at(own.begin(), own.end() - 1), back_at(back.begin(), back.end() - 1);
    for (std::size_t v = 0; v < n; ++v) {
      for (Node u : adj[v]) {
        if (u >= n || u == v) continue;
        if (u > v)
          own_runs[own_at[v]++] = u;
        else
          back_runs[back_at[static_cast<std::size_t>(u)]++] = v;
      }
      poll.tick(static_cast<std::uint32_t>(adj.length(v) | 1));
    }
  }
  NeighbourLists out;
  std::vector<Node>& nodes = out.nodes();
  std::vector<std::size_t>& offsets = out.offsets();
  nodes.reserve(std::max(own[n], back[n]));
  offsets.reserve(n + 1);
  for (std::size_t v = 0; v < n; ++v) {
    Node* a = own_runs.data() + own[v];
    Node* a_end = own_runs.data() + own[v + 1];
    if (!std::is_sorted(a, a_end)) std::sort(a, a_end);
    const Node* b = back_runs.data() + back[v];
    const Node* b_end = back_runs.data() + back[v + 1];
    // Merge, each node once.
    while (a != a_end || b != b_end) {
      const Node x = b == b_end || (a != a_end && *a < *b) ? *a : *b;
      nodes.push_back(x);
      while (a != a_end && *a == x) ++a;
      while (b != b_end && *b == x) ++b;
    }
    offsets.push_back(nodes.size());
    poll.tick(static_cast<std::uint32_t>((own[v + 1] - own[v] + back[v + 1] - back[v]) | 1));
  }
  nodes.shrink_to_fit();
  return out;
}

namespace {

// ---------------------------------------------------------------------------
// The engines.

WeightedCliques maximal_route(const NeighbourLists& adj, std::uint64_t maxrank) {
  const CliqueList maximal = enumerate_maximal_cliques(adj);
  phase_done("maximal cliques");
  return calc_clique_weights_from_maximal(maximal, maxrank);
}

// The walk's list (sizes ascending, each ascending lexicographically) with
// its zero-weight cliques dropped and its size groups put largest first, in
// place: the kept cliques are packed to the front, then the whole node and
// weight arrays are reversed and each size group reversed back.
WeightedCliques walk_route(const NeighbourLists& upper, std::uint64_t maxrank) {
  WeightedCliques all = enumerate_weighted_cliques(upper, maxrank, WeightRule::pruned);
  InterruptPoll poll;
  std::vector<Node>& nodes = all.cliques.nodes();
  std::vector<std::size_t>& offsets = all.cliques.offsets();
  WeightList& weights = all.weights;
  struct Group {
    std::size_t size, count;
  };
  std::vector<Group> groups;
  std::size_t kept = 0, kept_nodes = 0;
  for (std::size_t i = 0; i < weights.size(); ++i) {
    if (weights[i] == 0) continue;
    const std::size_t b = offsets[i], len = offsets[i + 1] - b;
    if (groups.empty() || groups.back().size != len) groups.push_back({len, 0});
    ++groups.back().count;
    std::copy(nodes.begin() + static_cast<std::ptrdiff_t>(b), nodes.begin() + static_cast<std::ptrdiff_t>(b + len),
              nodes.begin() + static_cast<std::ptrdiff_t>(kept_nodes));
    weights[kept++] = weights[i];
    kept_nodes += len;
    poll.tick(static_cast<std::uint32_t>(len | 1));
  }
  nodes.resize(kept_nodes);
  weights.resize(kept);
  std::reverse(nodes.begin(), nodes.end());
  std::reverse(weights.begin(), weights.end());
  poll.tick(static_cast<std::uint32_t>(std::min<std::size_t>(kept_nodes, 1u << 20) | 1));
  offsets.assign(1, 0);
  offsets.reserve(kept + 1);
  std::size_t at = 0, node_at = 0;
  for (auto g = groups.rbegin(); g != groups.rend(); ++g) {
    std::reverse(weights.begin() + static_cast<std::ptrdiff_t>(at),
                 weights.begin() + static_cast<std::ptrdiff_t>(at + g->count));
    std::reverse(nodes.begin() + static_cast<std::ptrdiff_t>(node_at),
                 nodes.begin() + static_cast<std::ptrdiff_t>(node_at + g->count * g->size));
    for (std::size_t c = 0; c < g->count; ++c) offsets.push_back(offsets.back() + g->size);
    at += g->count;
    node_at += g->count * g->size;
    poll.tick(static_cast<std::uint32_t>(std::min<std::size_t>(g->count * g->size, 1u << 20) | 1));
  }
  return all;
}

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

// ---------------------------------------------------------------------------
// The cost model.
//
// The walk takes one step for every clique of at most maxrank nodes, zero
// weights included, while the maximal route's search and weighing cost about
// kWalkStepsPerEnd walk steps for each top clique (a maxrank-node clique or a
// smaller maximal clique), the size of its search and a lower bound on its
// result.  So the walk runs unless it would take more than kWalkStepsPerEnd
// steps per top clique, both counted (the top cliques estimated, see
// clique_census.hpp) by a census that costs 5 to 20 % of the walk.
//
// No census is needed when maxrank is small: every clique lies in a top
// clique, which has at most 2^maxrank - 1 non-empty sub-cliques, so for
// 2^maxrank - 1 <= kWalkStepsPerEnd the walk never loses.

// Measured with each engine forced, on a 3D geometric graph (n = 20,000,
// degree 16), preferential attachment (n = 50,000, m = 4), G(2000, 0.02)
// and G(500, 0.3) with maxrank 64: the maximal route spent 3 to 8 times as
// long per top clique as the walk per clique on the sparse graphs and 70
// times on the dense one.  16 sends the geometric graph (22 cliques per top
// clique) to the search and keeps G(500, 0.3) (5 per top clique) on the walk.
constexpr std::uint64_t kWalkStepsPerEnd = 16;
// Below this many cliques the walk takes well under a millisecond and
// either route will do.
constexpr std::uint64_t kShortWalk = 1 << 12;
// The census stops after this many cliques per node and edge and decides on
// the seeds counted so far: by then the cliques far outnumber the graph,
// which is where the maximal route is likely to win.
constexpr std::uint64_t kCensusCliquesPerNodeAndEdge = 256;

DecomposeRoute choose_route(const NeighbourLists& upper, std::uint64_t maxrank) {
  if (maxrank < 64 && (std::uint64_t{1} << maxrank) - 1 <= kWalkStepsPerEnd) return DecomposeRoute::walk;
  const std::uint64_t cap = kCensusCliquesPerNodeAndEdge * (upper.size() + upper.total_nodes()) + kShortWalk;
  const CliqueCensus census = take_clique_census(upper, maxrank, cap);
  return census.cliques <= kWalkStepsPerEnd * census.ends + kShortWalk ? DecomposeRoute::walk
                                                                        : DecomposeRoute::maximal;
}

}  // namespace

DecomposeRoute chosen_route(const NeighbourLists& adj, std::uint64_t maxrank) {
  return choose_route(simple_upper_form(adj), maxrank);
}

WeightedCliques decompose_with_weights(const NeighbourLists& adj, std::uint64_t maxrank,
                                       DecomposeRoute route) {
  const std::size_t n = adj.size();
  if (n == 0) return {};
  if (maxrank == 0) {
    // Every maximal clique contributes its empty subset, and a graph with a
    // node has at least one maximal clique.
    WeightedCliques out;
    out.cliques.close_seq();
    out.weights.push_back(1);
    return out;
  }
  if (maxrank == 1) return single_nodes(n);
  if (route == DecomposeRoute::maximal) return maximal_route(adj, maxrank);
  NeighbourLists upper = simple_upper_form(adj);
  phase_done("upper form");
  if (route == DecomposeRoute::automatic) {
    route = choose_route(upper, maxrank);
    phase_done("census");
  }
  if (route == DecomposeRoute::maximal) {
    upper = NeighbourLists();
    return maximal_route(adj, maxrank);
  }
  return walk_route(upper, maxrank);
}

}  // namespace detail

WeightedCliques decompose_with_weights(const NeighbourLists& adj, std::uint64_t maxrank) {
  return detail::decompose_with_weights(adj, maxrank, detail::DecomposeRoute::automatic);
}

}  // namespace vexa::graph
