// The maximal clique search on neighbourhoods of every set width: one word
// (at most 64 neighbours), two to four words, and the run-time width beyond
// 256 neighbours, against a slow model, on lists as the callers pass them.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "graph/bits.hpp"
#include "graph/interrupt.hpp"
#include "graph/maximal_cliques.hpp"
#include "weighted_result.hpp"

using namespace vexa::graph;
using test_support::Lists;
using test_support::make_lists;

namespace {

// Maximal cliques by the textbook recursion with Tomita's pivot, on an
// adjacency matrix of the graph in which v-w is an edge when either list
// names the other (v != w, both < n): no degeneracy order, no local graphs,
// no bit sets.
class ModelSearch {
 public:
  explicit ModelSearch(const Lists& lists) : n_(lists.size()), adj_(n_ * n_, 0) {
    for (std::size_t v = 0; v < n_; ++v)
      for (Node w : lists[v])
        if (w < n_ && w != v) adj_[v * n_ + w] = adj_[w * n_ + v] = 1;
  }

  Lists run() {
    std::vector<std::size_t> p(n_), r, x;
    for (std::size_t v = 0; v < n_; ++v) p[v] = v;
    expand(r, p, x);
    std::sort(out_.begin(), out_.end());
    return out_;
  }

 private:
  bool adjacent(std::size_t a, std::size_t b) const { return adj_[a * n_ + b] != 0; }

  std::vector<std::size_t> neighbours_in(const std::vector<std::size_t>& s, std::size_t v) const {
    std::vector<std::size_t> out;
    for (std::size_t u : s)
      if (adjacent(u, v)) out.push_back(u);
    return out;
  }

  void expand(std::vector<std::size_t>& r, std::vector<std::size_t> p, std::vector<std::size_t> x) {
    if (p.empty()) {
      if (x.empty()) {
        std::vector<Node> c(r.begin(), r.end());
        std::sort(c.begin(), c.end());
        out_.push_back(c);
      }
      return;
    }
    std::size_t pivot = p[0], best = 0;
    for (const auto* s : {&p, &x})
      for (std::size_t u : *s) {
        const std::size_t c = static_cast<std::size_t>(
            std::count_if(p.begin(), p.end(), [&](std::size_t w) { return adjacent(u, w); }));
        if (c > best) best = c, pivot = u;
      }
    const std::vector<std::size_t> branch = [&] {
      std::vector<std::size_t> b;
      for (std::size_t q : p)
        if (!adjacent(q, pivot)) b.push_back(q);
      return b;
    }();
    for (std::size_t q : branch) {
      r.push_back(q);
      expand(r, neighbours_in(p, q), neighbours_in(x, q));
      r.pop_back();
      p.erase(std::find(p.begin(), p.end(), q));
      x.push_back(q);
    }
  }

  std::size_t n_;
  std::vector<char> adj_;
  Lists out_;
};

// A random background G(n, p), cliques planted on disjoint random node sets (each
// with a few of its edges taken out again, so that the search branches
// inside it), hubs joined to random nodes, and isolated nodes at the end.
struct Shape {
  const char* name;
  std::size_t n;
  double p;
  std::vector<std::size_t> cliques;  // sizes of the planted cliques
  std::size_t holes;                 // edges taken out of each planted clique
  std::vector<std::size_t> hubs;     // degrees of the hubs
  std::size_t isolated;
  std::size_t words;  // 64-bit words for the largest neighbourhood
};

std::ostream& operator<<(std::ostream& os, const Shape& s) { return os << s.name; }

Lists make_graph(const Shape& s, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  const std::size_t n = s.n + s.isolated;
  std::vector<std::vector<char>> m(n, std::vector<char>(n, 0));
  auto set = [&](std::size_t a, std::size_t b, char on) {
    if (a != b) m[a][b] = m[b][a] = on;
  };
  std::bernoulli_distribution coin(s.p);
  for (std::size_t a = 0; a < s.n; ++a)
    for (std::size_t b = a + 1; b < s.n; ++b)
      if (coin(rng)) set(a, b, 1);
  std::vector<std::size_t> nodes(s.n);
  for (std::size_t v = 0; v < s.n; ++v) nodes[v] = v;
  // The planted cliques on disjoint node sets; the background joins them.
  std::shuffle(nodes.begin(), nodes.end(), rng);
  std::size_t first = 0;
  for (std::size_t size : s.cliques) {
    const std::size_t* c = nodes.data() + first;
    for (std::size_t i = 0; i < size; ++i)
      for (std::size_t j = i + 1; j < size; ++j) set(c[i], c[j], 1);
    for (std::size_t h = 0; h < s.holes; ++h) set(c[rng() % size], c[rng() % size], 0);
    first += size;
  }
  // Hubs outside the planted cliques, joined to any nodes.
  std::vector<std::size_t> ends = nodes;
  for (std::size_t degree : s.hubs) {
    const std::size_t hub = nodes[first + rng() % (s.n - first)];
    std::shuffle(ends.begin(), ends.end(), rng);
    for (std::size_t i = 0; i < degree && i < s.n; ++i) set(hub, ends[i], 1);
  }
  Lists lists(n);
  for (std::size_t a = 0; a < n; ++a)
    for (std::size_t b = 0; b < n; ++b)
      if (m[a][b]) lists[a].push_back(b);
  return lists;
}

// The same graph as the callers may pass it: some edges named by one end
// only, self-loops, repeats, numbers beyond the last node, lists shuffled.
Lists roughen(Lists lists, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  const std::size_t n = lists.size();
  for (std::size_t v = 0; v < n; ++v) {
    auto& l = lists[v];
    // Drop the entry w of v's list for some w > v: v-w stays named by w.
    l.erase(std::remove_if(l.begin(), l.end(), [&](Node w) { return w > v && rng() % 3 == 0; }), l.end());
    if (rng() % 4 == 0) l.push_back(v);
    if (!l.empty() && rng() % 3 == 0) l.push_back(l[rng() % l.size()]);
    if (rng() % 5 == 0) l.push_back(n + rng() % 1000);
    std::shuffle(l.begin(), l.end(), rng);
  }
  return lists;
}

Lists found(const Lists& lists) {
  const CliqueList got = enumerate_maximal_cliques(make_lists(lists));
  Lists out = got.to_vectors();
  for (const auto& c : out) {
    EXPECT_TRUE(std::adjacent_find(c.begin(), c.end(), std::greater_equal<Node>()) == c.end())
        << "a clique is not strictly ascending";
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::size_t largest_degree(const Lists& lists) {
  std::size_t d = 0;
  for (const auto& l : lists) d = std::max(d, l.size());
  return d;
}

class MaximalCliqueWidths : public ::testing::TestWithParam<Shape> {};

}  // namespace

TEST_P(MaximalCliqueWidths, MatchTheModel) {
  const Shape& s = GetParam();
  for (std::uint64_t seed = 1; seed <= 3; ++seed) {
    const Lists lists = make_graph(s, seed);
    ASSERT_EQ(words_for_bits(largest_degree(lists)), s.words) << "seed " << seed;
    const Lists want = ModelSearch(lists).run();
    ASSERT_EQ(found(lists), want) << "seed " << seed;
    ASSERT_EQ(found(roughen(lists, seed)), want) << "roughened, seed " << seed;
    // Every node of the graph lies in some maximal clique, isolated ones alone.
    std::vector<char> covered(lists.size(), 0);
    for (const auto& c : want)
      for (Node v : c) covered[v] = 1;
    EXPECT_EQ(std::count(covered.begin(), covered.end(), 0), 0);
    for (std::size_t v = s.n; v < lists.size(); ++v)
      EXPECT_TRUE(std::binary_search(want.begin(), want.end(), std::vector<Node>{v}));
  }
}

TEST_P(MaximalCliqueWidths, SameListOnEveryCall) {
  const NeighbourLists adj = make_lists(roughen(make_graph(GetParam(), 7), 7));
  EXPECT_EQ(enumerate_maximal_cliques(adj).to_vectors(), enumerate_maximal_cliques(adj).to_vectors());
}

TEST_P(MaximalCliqueWidths, StopsCleanlyWhenInterrupted) {
  const NeighbourLists adj = make_lists(make_graph(GetParam(), 11));
  std::size_t cliques = 0;
  std::uint64_t polls = 0;
  {
    const InterruptAfter never(0);
    cliques = enumerate_maximal_cliques(adj).size();
    polls = never.asked();
  }
  // At least one poll per clique found: no stretch of the search goes
  // unpolled for long.
  EXPECT_GE(polls, cliques);
  for (std::uint64_t stop : {std::uint64_t{1}, polls / 3, polls / 2, polls - 1, polls}) {
    if (stop == 0) continue;
    const InterruptAfter at(stop);
    EXPECT_THROW(enumerate_maximal_cliques(adj), Interrupted) << "stop at poll " << stop << " of " << polls;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, MaximalCliqueWidths,
    ::testing::Values(
        // One word: sparse and medium random graphs.
        Shape{"sparse", 300, 0.01, {}, 0, {}, 5, 1},
        Shape{"medium", 120, 0.2, {}, 0, {}, 2, 1},
        // Cliques of 60 to 70 nodes: neighbourhoods on both sides of 64.
        Shape{"around_one_word", 400, 0.015, {60, 63, 64, 65, 66, 70}, 6, {}, 3, 2},
        // Two to four words, from cliques and hubs.
        Shape{"two_words", 300, 0.02, {100, 110}, 4, {105}, 1, 2},
        Shape{"three_words", 400, 0.02, {150, 170}, 4, {160}, 1, 3},
        Shape{"four_words", 500, 0.01, {200, 240}, 4, {245}, 2, 4},
        // Beyond four words: the run-time width, and hubs whose long lists
        // are looked up from their neighbours' side.
        Shape{"wide", 700, 0.01, {257, 280}, 3, {400, 650}, 2, 11},
        Shape{"hubs_only", 2000, 0.002, {}, 0, {70, 130, 200, 260, 900}, 4, 15}),
    [](const ::testing::TestParamInfo<Shape>& shape) { return std::string(shape.param.name); });
