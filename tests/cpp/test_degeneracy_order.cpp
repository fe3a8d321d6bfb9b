// Making lists simple and the degeneracy order, against slow models.  A
// wrong order would not change any clique listed, only the search's cost,
// so it is checked here directly: the nodes leave in order of their core
// numbers, and none has more neighbours later in the order than its core
// number.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "graph/degeneracy_order.hpp"
#include "graph/interrupt.hpp"
#include "graph/simple_graph.hpp"
#include "weighted_result.hpp"

using namespace vexa::graph;
using test_support::Lists;
using test_support::make_lists;

namespace {

// The edges v-w (v != w, both below n) named by either list, as sorted
// neighbour sets.
std::vector<std::set<Node>> model_simple(const Lists& lists) {
  const std::size_t n = lists.size();
  std::vector<std::set<Node>> out(n);
  for (std::size_t v = 0; v < n; ++v)
    for (Node w : lists[v])
      if (w < n && w != v) {
        out[v].insert(w);
        out[w].insert(static_cast<Node>(v));
      }
  return out;
}

// Core numbers by peeling: take a node of least degree among those left,
// over and over; a node's core number is the largest degree met at a taking
// up to its own.
std::vector<std::size_t> model_core_numbers(const std::vector<std::set<Node>>& nbrs) {
  const std::size_t n = nbrs.size();
  std::vector<std::size_t> left(n), core(n, 0);
  for (std::size_t v = 0; v < n; ++v) left[v] = nbrs[v].size();
  std::vector<bool> taken(n, false);
  std::size_t level = 0;
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t v = n;
    for (std::size_t u = 0; u < n; ++u)
      if (!taken[u] && (v == n || left[u] < left[v])) v = u;
    level = std::max(level, left[v]);
    core[v] = level;
    taken[v] = true;
    for (Node u : nbrs[v])
      if (!taken[u]) --left[u];
  }
  return core;
}

enum class Mess { none, one_way, repeats_and_loops, out_of_range, shuffled };

// A random graph on n nodes with edge probability p, written as `mess` says.
Lists random_lists(std::size_t n, double p, Mess mess, std::mt19937& rng) {
  std::bernoulli_distribution edge(p), coin(0.5);
  Lists lists(n);
  for (std::size_t v = 0; v < n; ++v)
    for (std::size_t w = v + 1; w < n; ++w)
      if (edge(rng)) {
        lists[v].push_back(static_cast<Node>(w));
        if (mess != Mess::one_way || coin(rng)) lists[w].push_back(static_cast<Node>(v));
      }
  for (std::size_t v = 0; v < n; ++v) {
    auto& l = lists[v];
    std::sort(l.begin(), l.end());
    if (mess == Mess::repeats_and_loops && !l.empty()) {
      l.push_back(static_cast<Node>(v));
      l.push_back(l.front());
      std::sort(l.begin(), l.end());
    }
    if (mess == Mess::out_of_range) l.push_back(static_cast<Node>(n + v));
    if (mess == Mess::shuffled) std::shuffle(l.begin(), l.end(), rng);
  }
  return lists;
}

struct Shape {
  std::size_t n;
  double p;
  Mess mess;
};

class SimpleGraphAndOrder : public ::testing::TestWithParam<Shape> {};

TEST_P(SimpleGraphAndOrder, AgreeWithTheModels) {
  const Shape shape = GetParam();
  std::mt19937 rng(static_cast<unsigned>(shape.n * 131 + static_cast<std::size_t>(shape.mess)));
  for (int round = 0; round < 20; ++round) {
    const Lists lists = random_lists(shape.n, shape.p, shape.mess, rng);
    InterruptPoll poll;
    const SimpleGraph g = symmetrize(make_lists(lists), poll);
    const auto want = model_simple(lists);
    ASSERT_EQ(g.n, shape.n);
    for (std::size_t v = 0; v < shape.n; ++v) {
      const auto got = g[v];
      ASSERT_EQ(std::vector<Node>(got.begin(), got.end()), std::vector<Node>(want[v].begin(), want[v].end()))
          << "list " << v;
    }

    std::vector<Index> rank;
    const std::vector<Index> order = degeneracy_order(g, rank, poll);
    ASSERT_EQ(order.size(), shape.n);
    ASSERT_EQ(rank.size(), shape.n);
    const std::vector<std::size_t> core = model_core_numbers(want);
    std::vector<bool> taken(shape.n, false);
    for (std::size_t i = 0; i < shape.n; ++i) {
      const Index v = order[i];
      ASSERT_LT(v, shape.n);
      ASSERT_FALSE(taken[v]) << "node " << v << " taken twice";
      ASSERT_EQ(rank[v], i);
      if (i > 0) {
        ASSERT_LE(core[order[i - 1]], core[v]) << "node " << v << " at place " << i;
      }
      taken[v] = true;
    }
    for (std::size_t v = 0; v < shape.n; ++v) {
      std::size_t later = 0;
      for (Node u : want[v]) later += rank[u] > rank[v] ? 1 : 0;
      ASSERT_LE(later, core[v]) << "node " << v;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, SimpleGraphAndOrder,
                         ::testing::Values(Shape{0, 0.0, Mess::none}, Shape{1, 0.0, Mess::repeats_and_loops},
                                           Shape{12, 0.3, Mess::none}, Shape{40, 0.1, Mess::none},
                                           Shape{40, 0.5, Mess::one_way}, Shape{30, 0.3, Mess::repeats_and_loops},
                                           Shape{30, 0.3, Mess::out_of_range}, Shape{60, 0.2, Mess::shuffled},
                                           Shape{80, 0.05, Mess::one_way}));

}  // namespace
