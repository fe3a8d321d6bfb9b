// The walk's list (enumerate_weighted_cliques: sizes ascending, each
// ascending lexicographically) with its zero-weight cliques dropped and its
// size groups put largest first, in place: the kept cliques are packed to
// the front, then the whole node and weight arrays are reversed and each
// size group reversed back.  Cost: the walk's, one step per clique of at
// most maxrank nodes, then O(nodes listed) for the regrouping.  For the
// graphs the seed walk cannot take (a node with more than 1024 later
// neighbours, or more than 2^32 cliques).
#include "regrouped_walk.hpp"

#include <algorithm>
#include <vector>

#include "interrupt.hpp"
#include "weighted_cliques.hpp"

namespace vexa::graph::detail {

WeightedCliques regrouped_walk(const NeighbourLists& upper, std::uint64_t maxrank) {
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
  poll.tick(tick_cost(kept_nodes));
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
    poll.tick(tick_cost(g->count * g->size));
  }
  return all;
}

}  // namespace vexa::graph::detail
