// The top cliques indexed both ways, for the weighing by closure.
//
// Node numbers are made dense first: used as they are when the largest is
// small against the total size of the top cliques, otherwise renumbered by
// sorting the nodes that occur.  The stars then come from a counting sort of
// the (node, top clique) pairs by node.  Cost, for t top cliques of total
// size z and largest node N: O(z + N) with direct numbers, O(z log z) when
// renumbered; the same for the price sum_of_squared_stars() computes.
#include "top_incidence.hpp"

#include <algorithm>
#include <new>

#include "memory_room.hpp"
#include "clique_order.hpp"

namespace vexa::graph {
namespace {

// Node numbers index arrays directly when the largest is at most this many
// times the total size of the top cliques, plus a slack for small inputs;
// otherwise they are renumbered by sorting.
constexpr std::size_t kDirectNodesPerEntry = 4;
constexpr std::size_t kDirectNodeSlack = 1024;

// The extent of the top cliques of `tables`; a table of width 0 holds the
// empty clique, which has no nodes and is not counted.
struct TopsExtent {
  std::size_t count = 0;  // top cliques of one node or more
  std::size_t total = 0;  // their nodes, with repeats
  Node max = 0;           // the largest node
  bool empty_top = false;
};

TopsExtent measure_tops(const Tables& tables, InterruptPoll& poll) {
  TopsExtent extent;
  for (const SizeTable& table : tables) {
    if (table.width() == 0) {
      extent.empty_top = table.size() != 0;
      continue;
    }
    extent.count += table.size();
    extent.total += table.size() * table.width();
    for (std::size_t e = 0; e < table.size(); ++e) {
      extent.max = std::max(extent.max, table.key(e).back());  // keys are ascending
      poll.tick();
    }
  }
  return extent;
}

// The node numbers index a count array when the largest is small against
// the total size of the top cliques (kDirectNodesPerEntry).
bool direct_node_numbers(const TopsExtent& extent) {
  return extent.max < kNoIndex && extent.max <= kDirectNodesPerEntry * extent.total + kDirectNodeSlack;
}

// Every node of every top clique, sorted, repeats kept.
std::vector<Node> sorted_occurrences(const Tables& tables, const TopsExtent& extent, InterruptPoll& poll) {
  std::vector<Node> nodes;
  reserve_checked(nodes, extent.total);
  for (const SizeTable& table : tables) {
    for (std::size_t e = 0; e < table.size(); ++e) {
      for (Node v : table.key(e)) nodes.push_back(v);
      poll.tick(tick_cost(table.width()));
    }
  }
  sort_nodes(nodes, poll);
  return nodes;
}

// The top cliques holding each node, by a counting sort of the (node, top)
// pairs by node.
void fill_stars(TopIncidence& inc, std::size_t nodes, InterruptPoll& poll) {
  inc.star_off.assign(nodes + 2, 0);
  for (Index b : inc.top_nodes) ++inc.star_off[std::size_t{b} + 2];
  // star_off[a + 1] is first the start of a's run, then (after the fill)
  // its end.
  for (std::size_t a = 0; a < nodes; ++a) inc.star_off[a + 2] += inc.star_off[a + 1];
  inc.star_tops.resize(inc.top_nodes.size());
  for (std::size_t t = 0; t + 1 < inc.top_off.size(); ++t) {
    for (std::size_t i = inc.top_off[t]; i < inc.top_off[t + 1]; ++i)
      inc.star_tops[inc.star_off[std::size_t{inc.top_nodes[i]} + 1]++] = static_cast<Index>(t);
    poll.tick(tick_cost(inc.top_off[t + 1] - inc.top_off[t]));
  }
  inc.star_off.pop_back();
}

}  // namespace

double sum_of_squared_stars(const Tables& tables, InterruptPoll& poll) {
  const TopsExtent extent = measure_tops(tables, poll);
  double sum = 0;
  auto add_run = [&sum](std::size_t count) { sum += static_cast<double>(count) * static_cast<double>(count); };
  if (direct_node_numbers(extent)) {
    std::vector<Index> count;
    reserve_checked(count, static_cast<std::size_t>(extent.max) + 1);
    count.assign(static_cast<std::size_t>(extent.max) + 1, 0);
    for (const SizeTable& table : tables) {
      for (std::size_t e = 0; e < table.size(); ++e) {
        for (Node v : table.key(e)) ++count[static_cast<std::size_t>(v)];
        poll.tick(tick_cost(table.width()));
      }
    }
    for (Index c : count) add_run(c);
    return sum;
  }
  const std::vector<Node> nodes = sorted_occurrences(tables, extent, poll);
  for (std::size_t i = 0; i < nodes.size();) {
    std::size_t j = i + 1;
    while (j < nodes.size() && nodes[j] == nodes[i]) ++j;
    add_run(j - i);
    i = j;
  }
  return sum;
}

TopIncidence index_top_cliques(const Tables& tables, InterruptPoll& poll) {
  TopIncidence inc;
  const TopsExtent extent = measure_tops(tables, poll);
  inc.empty_top = extent.empty_top;
  if (extent.count >= kNoIndex || extent.total >= kNoIndex) throw std::bad_alloc();
  std::size_t nodes = 0;
  if (extent.total == 0) {
    nodes = 0;
  } else if (direct_node_numbers(extent)) {
    nodes = static_cast<std::size_t>(extent.max) + 1;
  } else {
    inc.sorted_nodes = sorted_occurrences(tables, extent, poll);
    inc.sorted_nodes.erase(std::unique(inc.sorted_nodes.begin(), inc.sorted_nodes.end()), inc.sorted_nodes.end());
    inc.remapped = true;
    nodes = inc.sorted_nodes.size();
  }
  auto dense = [&](Node v) -> Index {
    if (!inc.remapped) return static_cast<Index>(v);
    return static_cast<Index>(std::lower_bound(inc.sorted_nodes.begin(), inc.sorted_nodes.end(), v) -
                              inc.sorted_nodes.begin());
  };
  reserve_checked(inc.top_nodes, extent.total);
  reserve_checked(inc.top_off, extent.count + 1);
  inc.top_off.push_back(0);
  for (const SizeTable& table : tables) {
    if (table.width() == 0) continue;
    for (std::size_t e = 0; e < table.size(); ++e) {
      for (Node v : table.key(e)) inc.top_nodes.push_back(dense(v));
      inc.top_off.push_back(inc.top_nodes.size());
      poll.tick(tick_cost(table.width()));
    }
  }
  fill_stars(inc, nodes, poll);
  return inc;
}

}  // namespace vexa::graph
