// Weights of the cliques below a list of maximal cliques: the choice of
// method.  The top cliques are entered into size tables (which also drops
// repeats), then weighed by one of two methods with identical results:
//
// - expansion (weights_by_expansion.cpp): one hash-table operation for every
//   sub-clique of every top clique of non-zero weight, 2^k for k nodes;
// - closure (weights_by_closure.cpp): per node, the intersections of the top
//   cliques around it whose smallest node it is, each listed once and
//   weighed against the intersections above it, in mask operations.
//
// The cost model, in two sentences: expansion costs the sum of 2^k over the
// top cliques, in hash-table operations; the closure method costs the sum,
// over nodes, of the square of the number of top cliques holding the node,
// in mask operations.  A hash-table operation costs about kHashOpsInMaskOps
// mask operations, and the cheaper method runs.
#include "weights_from_maximal.hpp"

#include <algorithm>
#include <cmath>

#include "clique_order.hpp"
#include "interrupt.hpp"
#include "memory_room.hpp"
#include "size_tables.hpp"
#include "sorted.hpp"
#include "weights_by_closure.hpp"
#include "weights_by_expansion.hpp"

namespace vexa::graph {
namespace {

// A hash-table operation on a short clique (hash, probe, compare, often a
// cache miss) against one intersection and containment test of two masks
// in cache, measured on random geometric and dense random graphs.
constexpr double kHashOpsInMaskOps = 8.0;
// Exponents above this are all "too many" for a double's count of 2^k.
constexpr int kLargestCountedExponent = 1000;

double expansion_cost(const Tables& tables) {
  double cost = 0;
  for (const SizeTable& t : tables)
    cost += static_cast<double>(t.size()) *
            std::ldexp(1.0, static_cast<int>(std::min<std::size_t>(t.width(), kLargestCountedExponent)));
  return cost;
}

// The closure method works on node sets: it needs every top clique written
// in ascending order, so that a node set has one key.
bool all_ascending(const Tables& tables, InterruptPoll& poll) {
  for (const SizeTable& table : tables) {
    for (std::size_t e = 0; e < table.size(); ++e) {
      if (!strictly_ascending(table.key(e))) return false;
      poll.tick();
    }
  }
  return true;
}

// maxrank 1: the top cliques are the single nodes, none inside another, so
// every node of every clique is returned once with weight 1 (an empty input
// clique stays the empty top clique, last).
WeightedCliques single_nodes(const CliqueList& maxcliques, InterruptPoll& poll) {
  bool has_empty = false;
  for (std::size_t c = 0; c < maxcliques.size() && !has_empty; ++c) has_empty = maxcliques.length(c) == 0;
  std::vector<Node> nodes = maxcliques.nodes();
  sort_nodes(nodes, poll);
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  WeightedCliques out;
  reserve_checked(out.cliques.offsets(), nodes.size() + 2);
  out.cliques.nodes() = nodes;
  for (std::size_t i = 0; i < nodes.size(); ++i) out.cliques.offsets().push_back(i + 1);
  out.weights.assign(nodes.size(), 1);
  if (has_empty) {
    out.cliques.close_seq();
    out.weights.push_back(1);
  }
  return out;
}

}  // namespace

namespace detail {

WeightedCliques weights_from_maximal(const CliqueList& maxcliques, std::uint64_t maxrank,
                                     WeightMethod method) {
  if (maxcliques.empty()) return {};
  // One clique of exactly maxrank nodes is its own (only) top clique.
  if (maxcliques.size() == 1 && maxcliques.length(0) == maxrank) {
    WeightedCliques out;
    out.cliques.push_back(maxcliques[0]);
    out.weights.push_back(1);
    return out;
  }
  InterruptPoll poll;
  if (maxrank == 1) return single_nodes(maxcliques, poll);
  Tables tables = enter_top_cliques(maxcliques, maxrank, poll);
  if (method != WeightMethod::expand && !all_ascending(tables, poll)) method = WeightMethod::expand;
  if (method == WeightMethod::automatic) {
    const double closure = sum_of_squared_stars(tables, poll), expansion = expansion_cost(tables);
    if (closure >= kHashOpsInMaskOps * expansion) method = WeightMethod::expand;
  }
  if (method != WeightMethod::expand) {
    TopIncidence inc = index_top_cliques(tables, poll);
    tables = Tables{};
    return weigh_by_closure(std::move(inc), poll, method != WeightMethod::star_general);
  }
  weigh_by_expansion(tables, poll);
  return collect_in_order(tables, poll);
}

}  // namespace detail

WeightedCliques calc_clique_weights_from_maximal(const CliqueList& maxcliques, std::uint64_t maxrank) {
  return detail::weights_from_maximal(maxcliques, maxrank, detail::WeightMethod::automatic);
}

}  // namespace vexa::graph
