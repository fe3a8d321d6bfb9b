#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <set>

#include "graph/bounded_cliques.hpp"
#include "graph/clique_census.hpp"
#include "graph/decompose.hpp"
#include "graph/small_maxranks.hpp"
#include "weighted_result.hpp"

using namespace vexa::graph;
using namespace vexa::graph::test_support;
using detail::DecomposeRoute;

namespace {

Result run(const Lists& adj, std::uint64_t maxrank, DecomposeRoute route) {
  return result_of(detail::decompose_with_weights(make_lists(adj), maxrank, route));
}

// The graph as the search reads it: self-loops and entries >= n dropped,
// each edge in both directions.
std::vector<std::set<Node>> simple_graph(const Lists& adj) {
  std::vector<std::set<Node>> g(adj.size());
  for (std::size_t v = 0; v < adj.size(); ++v)
    for (Node u : adj[v])
      if (u < adj.size() && u != v) {
        g[v].insert(u);
        g[static_cast<std::size_t>(u)].insert(v);
      }
  return g;
}

// The decomposition from its definition, for small graphs: the maximal
// cliques by brute force, their maxrank-subsets, the family of all their
// non-empty subsets, weights from the largest down, zeros dropped, largest
// size first and each size ascending.
Result model(const Lists& adj, std::uint64_t maxrank) {
  const auto g = simple_graph(adj);
  const std::size_t n = g.size();
  if (n == 0) return {};
  if (maxrank == 0) return {{{}}, {1}};
  auto is_clique = [&](std::uint32_t s) {
    for (std::size_t a = 0; a < n; ++a)
      for (std::size_t b = a + 1; b < n; ++b)
        if ((s >> a & 1) && (s >> b & 1) && !g[a].count(b)) return false;
    return true;
  };
  std::vector<std::uint32_t> cliques;
  for (std::uint32_t s = 1; s < (1u << n); ++s)
    if (is_clique(s)) cliques.push_back(s);
  std::set<std::uint32_t> all(cliques.begin(), cliques.end());
  std::set<std::uint32_t> family;
  for (std::uint32_t s : cliques) {
    bool maximal = true;
    for (std::size_t v = 0; v < n && maximal; ++v)
      if (!(s >> v & 1) && all.count(s | (1u << v))) maximal = false;
    if (!maximal) continue;
    for (std::uint32_t t = s; t != 0; t = (t - 1) & s)
      if (static_cast<std::uint64_t>(__builtin_popcount(t)) <= maxrank) family.insert(t);
  }
  // Largest first: every strict superset is settled before its subsets.
  std::vector<std::uint32_t> order(family.begin(), family.end());
  std::sort(order.begin(), order.end(), [](std::uint32_t a, std::uint32_t b) {
    return __builtin_popcount(a) > __builtin_popcount(b);
  });
  const std::uint32_t full = (1u << n) - 1;
  std::vector<Weight> w(std::size_t{1} << n, 0);
  for (std::uint32_t s : order) {
    Weight cover = 0;
    const std::uint32_t rest = full & ~s;
    for (std::uint32_t add = rest; add != 0; add = (add - 1) & rest)
      if (family.count(s | add)) cover += w[s | add];
    w[s] = 1 - cover;
  }
  auto nodes = [&](std::uint32_t s) {
    std::vector<Node> c;
    for (std::size_t v = 0; v < n; ++v)
      if (s >> v & 1) c.push_back(v);
    return c;
  };
  std::vector<std::pair<std::vector<Node>, Weight>> rows;
  for (std::uint32_t s : family)
    if (w[s] != 0) rows.push_back({nodes(s), w[s]});
  std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
    if (a.first.size() != b.first.size()) return a.first.size() > b.first.size();
    return a.first < b.first;
  });
  Result out;
  for (auto& [c, ws] : rows) {
    out.cliques.push_back(c);
    out.weights.push_back(ws);
  }
  return out;
}

// Random lists with every kind of untidiness the search tolerates.
Lists random_lists(std::mt19937_64& rng, std::size_t n, double p, bool untidy) {
  Lists adj(n);
  std::uniform_real_distribution<double> u(0, 1);
  for (std::size_t a = 0; a < n; ++a)
    for (std::size_t b = a + 1; b < n; ++b) {
      if (u(rng) >= p) continue;
      const double r = untidy ? u(rng) : 0;
      if (r < 0.8 || r >= 0.9) adj[a].push_back(b);
      if (r < 0.9) adj[b].push_back(a);
    }
  if (untidy) {
    for (std::size_t v = 0; v < n; ++v) {
      if (u(rng) < 0.15) adj[v].push_back(v);
      if (u(rng) < 0.15 && !adj[v].empty()) adj[v].push_back(adj[v][0]);
      if (u(rng) < 0.1) adj[v].push_back(n + rng() % 4);
      std::shuffle(adj[v].begin(), adj[v].end(), rng);
    }
  }
  return adj;
}

// Cliques on random node sets, overlapping, some larger than a mask word.
Lists overlapping_cliques(std::mt19937_64& rng, std::size_t n, std::size_t count, std::size_t size) {
  std::vector<std::set<Node>> g(n);
  std::vector<Node> nodes(n);
  for (std::size_t v = 0; v < n; ++v) nodes[v] = v;
  for (std::size_t c = 0; c < count; ++c) {
    std::shuffle(nodes.begin(), nodes.end(), rng);
    for (std::size_t a = 0; a < size; ++a)
      for (std::size_t b = 0; b < size; ++b)
        if (a != b) g[nodes[a]].insert(nodes[b]);
  }
  Lists adj(n);
  for (std::size_t v = 0; v < n; ++v) adj[v].assign(g[v].begin(), g[v].end());
  return adj;
}

std::uint64_t walk_size(const Lists& adj, std::uint64_t maxrank) {
  return take_clique_census(detail::simple_upper_form(make_lists(adj)), maxrank, 1u << 22).cliques;
}

}  // namespace

TEST(Decompose, SpecialCasesAreExact) {
  for (auto route : {DecomposeRoute::automatic, DecomposeRoute::walk, DecomposeRoute::maximal, DecomposeRoute::edges}) {
    EXPECT_EQ(run({}, 0, route), Result{});
    EXPECT_EQ(run({}, 3, route), Result{});
    EXPECT_EQ(run({{0}}, 0, route), (Result{{{}}, {1}}));
    // maxrank 1: every node once, self-loop-only and isolated ones too.
    EXPECT_EQ(run({{0}, {}, {1, 1, 7}}, 1, route), (Result{{{0}, {1}, {2}}, {1, 1, 1}}));
    EXPECT_EQ(run({{0}}, 2, route), (Result{{{0}}, {1}}));
    // A single clique of exactly maxrank nodes.
    EXPECT_EQ(run({{1, 2}, {0, 2}, {0, 1}}, 3, route), (Result{{{0, 1, 2}}, {1}}));
  }
}

TEST(Decompose, UpperFormReadsListsAsTheSearchDoes) {
  // Self-loop, repeat, out-of-range entry, one-way edges, unsorted list.
  const NeighbourLists upper = detail::simple_upper_form(make_lists({{3, 1, 1, 0, 9}, {2}, {}, {2, 0}}));
  EXPECT_EQ(upper.to_vectors(), (Lists{{1, 3}, {2}, {3}, {}}));
  // Both ends list the edge, with the same repeats on both sides; both
  // ends list it, one side unsorted; tidy symmetric lists.
  const std::pair<Lists, Lists> cases[] = {
      {{{1, 1, 2}, {0, 0}, {0}}, {{1, 2}, {}, {}}},
      {{{2, 1}, {0}, {1, 0}}, {{1, 2}, {2}, {}}},
      {{{1, 2}, {0, 2}, {0, 1}}, {{1, 2}, {2}, {}}},
      {{{1}, {0, 2}, {1, 3}, {2}}, {{1}, {2}, {3}, {}}},
      // Sorted, as many entries before as after their nodes, but one-way.
      {{{2}, {3}, {1}, {0}}, {{2, 3}, {2, 3}, {}, {}}},
      // A self-loop, and an entry out of range, in otherwise tidy lists.
      {{{1}, {0, 1}}, {{1}, {}}},
      {{{1}, {0, 2}}, {{1}, {}}},
  };
  for (const auto& [adj, want] : cases) {
    EXPECT_EQ(detail::simple_upper_form(make_lists(adj)).to_vectors(), want);
  }
}

// The upper form from its definition: each edge of simple_graph() once,
// after its smaller node.
Lists reference_upper(const Lists& adj) {
  const auto g = simple_graph(adj);
  Lists up(g.size());
  for (std::size_t v = 0; v < g.size(); ++v)
    for (Node u : g[v])
      if (u > v) up[v].push_back(u);
  return up;
}

// Tidy symmetric lists spoilt in one place each, in every way the one-pass
// check must notice: each must still give the graph's upper form.
TEST(Decompose, UpperFormOfListsSpoiltInOnePlace) {
  enum Spoil { none, one_way_lower, one_way_upper, moved_lower, extra_lower, extra_upper, repeat, loop, beyond, swapped };
  std::mt19937_64 rng(9);
  for (int t = 0; t < 400; ++t) {
    const std::size_t n = 2 + rng() % 40;
    Lists adj = random_lists(rng, n, std::uniform_real_distribution<double>(0.05, 0.9)(rng), false);
    std::size_t v = rng() % n;
    while (adj[v].empty() && v + 1 < n) ++v;
    const auto spoil = static_cast<Spoil>(t % 10);
    auto& l = adj[v];
    const std::size_t at = l.empty() ? 0 : rng() % l.size();
    const Node free = [&] {
      for (Node w = 0; w < n; ++w)
        if (w != v && std::find(l.begin(), l.end(), w) == l.end()) return w;
      return Node{n};
    }();
    switch (spoil) {
      case none: break;
      case one_way_lower:  // an entry before v whose other end does not list v
      case one_way_upper:  // the same for an entry after v
        for (std::size_t i = 0; i < l.size(); ++i)
          if ((l[i] < v) == (spoil == one_way_lower)) {
            auto& other = adj[static_cast<std::size_t>(l[i])];
            other.erase(std::find(other.begin(), other.end(), v));
            break;
          }
        break;
      case moved_lower:  // v lists another node than the one listing it
        if (!l.empty() && free < n) {
          l[at] = free;
          std::sort(l.begin(), l.end());
        }
        break;
      case extra_lower:
      case extra_upper:
        if (free < n && (free < v) == (spoil == extra_lower)) {
          l.push_back(free);
          std::sort(l.begin(), l.end());
        }
        break;
      case repeat:
        if (!l.empty()) l.insert(l.begin() + static_cast<std::ptrdiff_t>(at), l[at]);
        break;
      case loop:
        l.push_back(v);
        std::sort(l.begin(), l.end());
        break;
      case beyond: l.push_back(n + rng() % 3); break;
      case swapped:
        if (l.size() >= 2) std::swap(l[0], l[1]);
        break;
    }
    ASSERT_EQ(detail::simple_upper_form(make_lists(adj)).to_vectors(), reference_upper(adj))
        << "case " << t << " spoilt by " << spoil;
    // The general pass alone, as lists the conversion found untidy take it.
    ASSERT_EQ(general_upper_form(make_lists(adj)).to_vectors(), reference_upper(adj))
        << "general pass, case " << t << " spoilt by " << spoil;
  }
}

// Lists of 63 to 66 later neighbours: the census counts each list by
// per-node bits up to 64 and by positions beyond; both must count the
// cliques and ends the walk and the definition give.
TEST(CliqueCensus, RowsEitherSideOfOneWord) {
  std::mt19937_64 rng(64);
  for (std::size_t d : {63, 64, 65, 66}) {
    // Node 0 sees nodes 1..d; among those, random edges.
    const std::size_t n = d + 1;
    Lists adj(n);
    std::vector<std::set<Node>> g(n);
    auto edge = [&](std::size_t a, std::size_t b) {
      g[a].insert(b);
      g[b].insert(a);
    };
    for (std::size_t b = 1; b <= d; ++b) edge(0, b);
    for (std::size_t a = 1; a <= d; ++a)
      for (std::size_t b = a + 1; b <= d; ++b)
        if (rng() % 8 == 0) edge(a, b);
    for (std::size_t v = 0; v < n; ++v) adj[v].assign(g[v].begin(), g[v].end());
    const NeighbourLists upper = detail::simple_upper_form(make_lists(adj));
    for (std::uint64_t k : {2, 3, 4, 6}) {
      const CliqueList all = enumerate_cliques(upper, k);
      // Ends by definition: k-node cliques, and smaller ones that no node
      // after their smallest extends.
      std::uint64_t ends = 0;
      for (std::size_t c = 0; c < all.size(); ++c) {
        const auto clique = all[c];
        bool end = clique.size() == k;
        if (!end) {
          end = true;
          for (Node w : upper[static_cast<std::size_t>(clique[0])]) {
            bool joins = std::find(clique.begin(), clique.end(), w) == clique.end();
            for (Node x : clique) joins = joins && (x == w || g[static_cast<std::size_t>(x)].count(w) != 0);
            if (joins) end = false;
          }
        }
        ends += end;
      }
      const CliqueCensus c = take_clique_census(upper, k, ~std::uint64_t{0});
      EXPECT_EQ(c.cliques, all.size()) << d << " " << k;
      EXPECT_EQ(c.ends, ends) << d << " " << k;
    }
  }
}

TEST(Decompose, RoutesAgreeWithTheModelOnSmallGraphs) {
  std::mt19937_64 rng(20261207);
  for (int t = 0; t < 300; ++t) {
    const std::size_t n = rng() % 11;
    const double p = std::uniform_real_distribution<double>(0, 1)(rng);
    const Lists adj = random_lists(rng, n, p, t % 2 == 1);
    for (std::uint64_t k = 0; k <= n + 2; ++k) {
      const Result want = model(adj, k);
      ASSERT_EQ(run(adj, k, DecomposeRoute::walk), want) << "walk, case " << t << " maxrank " << k;
      ASSERT_EQ(run(adj, k, DecomposeRoute::maximal), want) << "maximal, case " << t << " maxrank " << k;
      ASSERT_EQ(run(adj, k, DecomposeRoute::automatic), want) << "automatic, case " << t << " maxrank " << k;
      ASSERT_EQ(result_of(decompose_untidy_with_weights(make_lists(adj), k)), want)
          << "untidy entry, case " << t << " maxrank " << k;
      if (k == 2) {
        ASSERT_EQ(run(adj, k, DecomposeRoute::edges), want) << "edges, case " << t;
        ASSERT_EQ(result_of(detail::edges_and_nodes(detail::simple_upper_form(make_lists(adj)))), want)
            << "closed form from the degrees, case " << t;
      }
      // maxrank 0 and 1 (and no node) follow from the node count alone;
      // the other maxranks are left to the routes.
      const std::optional<WeightedCliques> closed = detail::without_search(adj.size(), k);
      ASSERT_EQ(closed.has_value(), n == 0 || k < 2) << "case " << t << " maxrank " << k;
      if (closed) {
        ASSERT_EQ(result_of(*closed), want) << "closed form, case " << t << " maxrank " << k;
      }
    }
    ASSERT_EQ(run(adj, 64, DecomposeRoute::automatic), model(adj, 64));
  }
}

TEST(Decompose, RoutesAgreeOnLargeOverlappingCliques) {
  std::mt19937_64 rng(7);
  struct Shape {
    std::size_t n, count, size;
    // Those whose result stays small: cutting a clique of s nodes at k < s
    // gives every sub-clique of at most k nodes a non-zero weight.
    std::vector<std::uint64_t> maxranks;
  };
  // Mask words of one, two and more than two words per seed.
  const std::vector<Shape> shapes = {
      {40, 6, 9, {0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 64}},
      {120, 4, 20, {0, 1, 2, 3, 20, 21, 64}},
      {150, 3, 70, {0, 1, 2, 3, 70, 71, 200}},
      {300, 40, 6, {0, 1, 2, 3, 4, 5, 6, 7, 64}},
  };
  for (const Shape& s : shapes) {
    const Lists adj = overlapping_cliques(rng, s.n, s.count, s.size);
    for (std::uint64_t k : s.maxranks) {
      const Result maximal = run(adj, k, DecomposeRoute::maximal);
      ASSERT_EQ(run(adj, k, DecomposeRoute::automatic), maximal) << s.size << " maxrank " << k;
      if (walk_size(adj, k) < (1u << 20)) {
        ASSERT_EQ(run(adj, k, DecomposeRoute::walk), maximal) << s.size << " maxrank " << k;
      }
    }
  }
}

TEST(Decompose, CostModelPicksTheCheaperEngine) {
  std::mt19937_64 rng(3);
  const Lists big = overlapping_cliques(rng, 60, 2, 40);
  const Lists sparse = random_lists(rng, 400, 0.02, false);
  const Lists dense = random_lists(rng, 60, 0.7, false);
  // 20 hubs 0..19, each adjacent to every node of a complete bipartite
  // graph K(20, 20): 441 cliques per hub seed, none of more than 3 nodes.
  Lists hubs(60);
  auto edge = [](Lists& g, Node a, Node b) {
    g[a].push_back(b);
    g[b].push_back(a);
  };
  for (Node h = 0; h < 20; ++h)
    for (Node x = 20; x < 60; ++x) edge(hubs, h, x);
  for (Node a = 20; a < 40; ++a)
    for (Node b = 40; b < 60; ++b) edge(hubs, a, b);
  for (auto& l : hubs) std::sort(l.begin(), l.end());
  Lists k6(6);
  for (Node a = 0; a < 6; ++a)
    for (Node b = a + 1; b < 6; ++b) edge(k6, a, b);
  for (auto& l : k6) std::sort(l.begin(), l.end());
  Lists hubs_k6 = hubs;
  for (Node a = 60; a < 66; ++a) {
    hubs_k6.emplace_back();
    for (Node b = 60; b < 66; ++b)
      if (b != a) hubs_k6.back().push_back(b);
  }
  struct Case {
    const char* what;
    const Lists& adj;
    std::uint64_t maxrank;
    DecomposeRoute route;
    bool searched;
    bool census;
  };
  const Case cases[] = {
      // maxrank 2: edges and nodes from the degrees.
      {"two 40-cliques, maxrank 2", big, 2, DecomposeRoute::edges, false, false},
      {"dense, maxrank 2", dense, 2, DecomposeRoute::edges, false, false},
      // Small maxrank: the walk, whatever the graph, without a census.
      {"two 40-cliques, maxrank 3", big, 3, DecomposeRoute::walk, false, false},
      // Few cliques beyond the edges: the walk's own count settles on it.
      {"sparse, maxrank 64", sparse, 64, DecomposeRoute::walk, false, false},
      // Two cliques of 40 nodes: 2^40 cliques for the walk, 2 top cliques.
      {"two 40-cliques, maxrank 64", big, 64, DecomposeRoute::maximal, true, true},
      // Many cliques per end (more than the first census counts at 64),
      // but hundreds of top cliques around every node: once the search has
      // priced the maximal route, the walk.
      {"dense, maxrank 64", dense, 64, DecomposeRoute::walk, true, true},
      {"dense, maxrank 8", dense, 8, DecomposeRoute::walk, true, true},
      // Few cliques per end at a cut below the clique number.
      {"dense, maxrank 5", dense, 5, DecomposeRoute::walk, false, false},
      // Over 16 cliques per seed, but no clique of more than 5 nodes: the
      // walk's own count settles it.
      {"hubs over K(20, 20), maxrank 64", hubs, 64, DecomposeRoute::walk, false, false},
      // A 6-clique, but so few cliques that the count settles it too.
      {"K6, maxrank 64", k6, 64, DecomposeRoute::walk, false, false},
      // The same hubs with a 6-clique beside them: more than 16 cliques per
      // seed, so a census, which finds a few per end.
      {"hubs over K(20, 20) and a K6, maxrank 64", hubs_k6, 64, DecomposeRoute::walk, false, true},
  };
  for (const Case& c : cases) {
    const detail::RouteChoice got = detail::chosen_route(make_lists(c.adj), c.maxrank);
    EXPECT_EQ(got.route, c.route) << c.what;
    EXPECT_EQ(got.searched, c.searched) << c.what;
    EXPECT_EQ(got.census, c.census) << c.what;
  }
}

TEST(Decompose, RouteTakenAfterTheSearchGivesTheSameResult) {
  // A graph on which the automatic route runs the search and then walks.
  std::mt19937_64 rng(5);
  const Lists dense = random_lists(rng, 38, 0.75, false);
  for (std::uint64_t k : {8, 64}) {
    ASSERT_TRUE(detail::chosen_route(make_lists(dense), k).searched) << k;
    const Result automatic = run(dense, k, DecomposeRoute::automatic);
    ASSERT_EQ(automatic, run(dense, k, DecomposeRoute::walk)) << k;
    ASSERT_EQ(automatic, run(dense, k, DecomposeRoute::maximal)) << k;
  }
}

TEST(CliqueCensus, CountsCliquesAndBoundsTheTopCliques) {
  std::mt19937_64 rng(11);
  for (int t = 0; t < 200; ++t) {
    const std::size_t n = 1 + rng() % 11;
    const Lists adj = random_lists(rng, n, std::uniform_real_distribution<double>(0, 1)(rng), false);
    const NeighbourLists upper = detail::simple_upper_form(make_lists(adj));
    for (std::uint64_t k = 1; k <= n + 1; ++k) {
      // Cliques and top cliques by brute force.
      const auto g = simple_graph(adj);
      std::set<std::uint32_t> cl;
      for (std::uint32_t s = 1; s < (1u << n); ++s) {
        bool ok = true;
        for (std::size_t a = 0; a < n && ok; ++a)
          for (std::size_t b = a + 1; b < n && ok; ++b)
            if ((s >> a & 1) && (s >> b & 1) && !g[a].count(b)) ok = false;
        if (ok) cl.insert(s);
      }
      // ends_max: every maximal clique adds its parts from each of its
      // nodes on that have fewer than k nodes.
      std::uint64_t within = 0, tops = 0, ends_max = 0;
      for (std::uint32_t s : cl) {
        const auto size = static_cast<std::uint64_t>(__builtin_popcount(s));
        bool maximal = true;
        for (std::size_t v = 0; v < n; ++v)
          if (!(s >> v & 1) && cl.count(s | (1u << v))) maximal = false;
        if (maximal) ends_max += std::min(size, k - 1);
        if (size > k) continue;
        ++within;
        if (size == k || maximal) ++tops;
      }
      const CliqueCensus c = take_clique_census(upper, k, ~std::uint64_t{0});
      ASSERT_EQ(c.cliques, within) << "case " << t << " maxrank " << k;
      ASSERT_TRUE(c.complete);
      ASSERT_GE(c.ends, tops) << "case " << t << " maxrank " << k;
      ASSERT_LE(c.ends, tops + ends_max) << "case " << t << " maxrank " << k;
    }
  }
  // The cap stops the count.
  const Lists k12 = overlapping_cliques(rng, 12, 1, 12);
  const CliqueCensus capped = take_clique_census(detail::simple_upper_form(make_lists(k12)), 0, 100);
  EXPECT_EQ(capped.cliques, 100u);
  EXPECT_FALSE(capped.complete);
}

TEST(CliqueCensus, SampledGroupsScaleToTheWholeGroup) {
  // Disjoint K4s: the seeds of one later-degree all root the same subtree,
  // so a sample of any group scaled by its size over the seeds taken is
  // exact.  Group sizes on both sides of the smallest sampled group, and
  // not multiples of the stride.
  for (std::size_t copies : {kSampledGroup - 1, kSampledGroup, kSampledGroup + 1, 3 * kSampledGroup + 5}) {
    Lists adj(4 * copies);
    for (std::size_t c = 0; c < copies; ++c)
      for (std::size_t a = 0; a < 4; ++a)
        for (std::size_t b = 0; b < 4; ++b)
          if (a != b) adj[4 * c + a].push_back(4 * c + b);
    const NeighbourLists upper = detail::simple_upper_form(make_lists(adj));
    for (std::uint64_t k : {2, 3, 64}) {
      const CliqueCensus exact = take_clique_census(upper, k, ~std::uint64_t{0});
      const CliqueCensus sampled = CliqueCensusTaker(upper, k, CensusSeeds::sampled).count_to(~std::uint64_t{0});
      ASSERT_EQ(exact.cliques, copies * (k == 2 ? 10 : k == 3 ? 14 : 15)) << copies << " " << k;
      EXPECT_EQ(sampled.cliques, exact.cliques) << copies << " " << k;
      EXPECT_EQ(sampled.ends, exact.ends) << copies << " " << k;
      EXPECT_TRUE(sampled.complete);
    }
  }
}

TEST(CliqueCensus, ACensusTakenInStepsEndsAsOneTakenAtOnce) {
  std::mt19937_64 rng(13);
  const Lists dense = random_lists(rng, 60, 0.6, false);
  const Lists sparse = random_lists(rng, 600, 0.02, false);
  for (const Lists* adj : {&dense, &sparse}) {
    const NeighbourLists upper = detail::simple_upper_form(make_lists(*adj));
    for (CensusSeeds seeds : {CensusSeeds::all, CensusSeeds::sampled}) {
      for (std::uint64_t k : {4, 64}) {
        const CliqueCensus whole = CliqueCensusTaker(upper, k, seeds).count_to(~std::uint64_t{0});
        ASSERT_TRUE(whole.complete);
        CliqueCensusTaker taker(upper, k, seeds);
        // Caps that stop it inside a seed, at a seed's end and past the end.
        for (std::uint64_t cap : {std::uint64_t{1}, whole.cliques / 7, whole.cliques / 3, whole.cliques / 3, whole.cliques}) {
          const CliqueCensus part = taker.count_to(cap);
          EXPECT_FALSE(part.complete) << cap;
          EXPECT_EQ(part.cliques, cap);
        }
        const CliqueCensus rest = taker.count_to(whole.cliques + 1);
        EXPECT_TRUE(rest.complete);
        EXPECT_EQ(rest.cliques, whole.cliques);
        EXPECT_EQ(rest.ends, whole.ends);
      }
    }
  }
}
