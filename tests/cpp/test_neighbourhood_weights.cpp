#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>

#include "graph/decompose.hpp"
#include "graph/interrupt.hpp"
#include "graph/neighbourhood_weights.hpp"
#include "weighted_result.hpp"

using namespace vexa::graph;
using namespace vexa::graph::test_support;
using detail::DecomposeRoute;

namespace {

std::optional<Result> local(const Lists& adj, std::uint64_t maxrank, std::uint64_t steps = 1u << 20) {
  auto r = decompose_in_neighbourhoods(detail::simple_upper_form(make_lists(adj)), maxrank, steps);
  if (!r) return std::nullopt;
  return result_of(*r);
}

Result engine(const Lists& adj, std::uint64_t maxrank, DecomposeRoute route) {
  return result_of(detail::decompose_with_weights(make_lists(adj), maxrank, route));
}

// Symmetric lists of the given edges.
Lists from_edges(std::size_t n, const std::set<std::pair<Node, Node>>& edges) {
  Lists adj(n);
  for (auto [a, b] : edges) {
    adj[a].push_back(b);
    adj[b].push_back(a);
  }
  for (auto& l : adj) std::sort(l.begin(), l.end());
  return adj;
}

Lists random_graph(std::mt19937_64& rng, std::size_t n, double p) {
  std::set<std::pair<Node, Node>> e;
  std::uniform_real_distribution<double> u(0, 1);
  for (Node a = 0; a < n; ++a)
    for (Node b = a + 1; b < n; ++b)
      if (u(rng) < p) e.insert({a, b});
  return from_edges(n, e);
}

// Points in the unit cube joined when closer than r: many overlapping
// maximal cliques, as in the geometric graphs of the benchmarks.
Lists geometric_graph(std::mt19937_64& rng, std::size_t n, double r) {
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<std::array<double, 3>> pts(n);
  for (auto& p : pts) p = {u(rng), u(rng), u(rng)};
  std::set<std::pair<Node, Node>> e;
  for (Node a = 0; a < n; ++a)
    for (Node b = a + 1; b < n; ++b) {
      double d = 0;
      for (int k = 0; k < 3; ++k) d += (pts[a][k] - pts[b][k]) * (pts[a][k] - pts[b][k]);
      if (d < r * r) e.insert({a, b});
    }
  return from_edges(n, e);
}

// `count` cliques of `size` nodes on random node sets of 0..n-1.
Lists planted_cliques(std::mt19937_64& rng, std::size_t n, std::size_t count, std::size_t size) {
  std::set<std::pair<Node, Node>> e;
  std::vector<Node> nodes(n);
  for (std::size_t v = 0; v < n; ++v) nodes[v] = v;
  for (std::size_t c = 0; c < count; ++c) {
    std::shuffle(nodes.begin(), nodes.end(), rng);
    for (std::size_t a = 0; a < size; ++a)
      for (std::size_t b = a + 1; b < size; ++b) e.insert(std::minmax(nodes[a], nodes[b]));
  }
  return from_edges(n, e);
}

// A random graph G(n, p) with one more node, numbered `apex` among them,
// joined to every other: its closed neighbourhood is the whole graph.
Lists random_under_apex(std::mt19937_64& rng, std::size_t n, double p, Node apex) {
  std::set<std::pair<Node, Node>> e;
  std::uniform_real_distribution<double> u(0, 1);
  for (Node a = 0; a <= n; ++a)
    for (Node b = a + 1; b <= n; ++b)
      if (a == apex || b == apex || u(rng) < p) e.insert({a, b});
  return from_edges(n + 1, e);
}

std::size_t largest_degree(const Lists& adj) {
  std::size_t d = 0;
  for (const auto& l : adj) d = std::max(d, l.size());
  return d;
}

// The decomposition without a cut from its definition, for small simple
// graphs: every clique is in the family; weights by the rule, largest first.
Result definition(const Lists& adj) {
  const std::size_t n = adj.size();
  std::vector<std::uint32_t> nbr(n, 0);
  for (std::size_t v = 0; v < n; ++v)
    for (Node u : adj[v]) nbr[v] |= 1u << u;
  Lists cliques;
  for (std::uint32_t s = 1; s < (1u << n); ++s) {
    bool clique = true;
    for (std::size_t v = 0; v < n && clique; ++v)
      if ((s >> v & 1) && (s & ~nbr[v] & ~(1u << v)) != 0) clique = false;
    if (!clique) continue;
    Clique c;
    for (std::size_t v = 0; v < n; ++v)
      if (s >> v & 1) c.push_back(v);
    cliques.push_back(c);
  }
  std::sort(cliques.begin(), cliques.end());
  return weigh_from_supersets(cliques);
}

// A test graph with the name its failures print.
struct NamedGraph {
  std::string name;
  Lists adj;
};

}  // namespace

// Small random graphs, sparse to complete, against the rule itself, with
// maxrank just above the largest degree and far above it.
TEST(NeighbourhoodWeights, SmallGraphsFollowTheDefinition) {
  std::mt19937_64 rng(11);
  for (std::size_t n : {1u, 2u, 3u, 5u, 8u, 10u, 12u}) {
    for (double p : {0.0, 0.2, 0.5, 0.8, 1.0}) {
      for (int rep = 0; rep < 4; ++rep) {
        const Lists adj = random_graph(rng, n, p);
        const Result want = definition(adj);
        const std::uint64_t tight = std::max<std::uint64_t>(3, largest_degree(adj) + 1);
        for (std::uint64_t maxrank : {tight, std::uint64_t{64}, ~std::uint64_t{0}}) {
          const auto got = local(adj, maxrank);
          ASSERT_TRUE(got) << "n " << n << " p " << p << " maxrank " << maxrank;
          EXPECT_EQ(*got, want) << "n " << n << " p " << p << " maxrank " << maxrank;
        }
      }
    }
  }
}

// Larger graphs with many overlapping maximal cliques, against the two
// engines of the automatic route (maximal cliques then their weights, and
// the bounded walk), results compared whole, order included.
TEST(NeighbourhoodWeights, AgreesWithBothEnginesOnOverlappingCliques) {
  std::mt19937_64 rng(5);
  std::vector<NamedGraph> cases;
  cases.push_back({"geometric 300 sparse", geometric_graph(rng, 300, 0.13)});
  cases.push_back({"geometric 300 dense", geometric_graph(rng, 300, 0.2)});
  cases.push_back({"geometric 150 near 64", geometric_graph(rng, 150, 0.36)});
  cases.push_back({"G(200, 0.05)", random_graph(rng, 200, 0.05)});
  cases.push_back({"G(40, 0.6)", random_graph(rng, 40, 0.6)});
  cases.push_back({"planted 12 of 9 in 60", planted_cliques(rng, 60, 12, 9)});
  cases.push_back({"planted 4 of 40 in 63", planted_cliques(rng, 63, 4, 40)});
  cases.push_back({"planted 2 of 62 in 64", planted_cliques(rng, 64, 2, 62)});
  // Whole-word neighbourhoods whose weights need the pivot search, its
  // pivots and cone points at every place up to the last.
  for (const double p : {0.25, 0.45})
    for (const Node apex : {Node{0}, Node{31}, Node{63}})
      cases.push_back({"G(63, " + std::to_string(p) + ") under apex " + std::to_string(apex),
                       random_under_apex(rng, 63, p, apex)});
  for (const NamedGraph& c : cases) {
    const std::size_t d = largest_degree(c.adj);
    ASSERT_LT(d, kNeighbourhoodBits) << c.name;
    const Result maximal = engine(c.adj, 64, DecomposeRoute::maximal);
    const auto got = local(c.adj, d + 1, 1u << 30);
    ASSERT_TRUE(got) << c.name;
    EXPECT_EQ(*got, maximal) << c.name;
    EXPECT_EQ(engine(c.adj, 64, DecomposeRoute::automatic), maximal) << c.name;
    if (d <= 20) {
      EXPECT_EQ(engine(c.adj, 64, DecomposeRoute::walk), maximal) << c.name;
    }
  }
}

// The result of a relabelled graph is the relabelled result, each clique
// sorted again and the cliques of each size put back in ascending order:
// nothing may depend on where a node's neighbours lie among the numbers
// (all below it, all above it, on both sides, or v the last of N[v]).
TEST(NeighbourhoodWeights, RelabelledGraphsGiveTheRelabelledResult) {
  auto relabel = [](const Lists& adj, const std::vector<Node>& to) {
    Lists out(adj.size());
    for (std::size_t v = 0; v < adj.size(); ++v) {
      for (Node w : adj[v]) out[to[v]].push_back(to[w]);
      std::sort(out[to[v]].begin(), out[to[v]].end());
    }
    return out;
  };
  auto relabel_result = [](const Result& r, const std::vector<Node>& to) {
    std::vector<std::pair<Clique, Weight>> items;
    for (std::size_t i = 0; i < r.cliques.size(); ++i) {
      Clique c;
      for (Node v : r.cliques[i]) c.push_back(to[v]);
      std::sort(c.begin(), c.end());
      items.emplace_back(std::move(c), r.weights[i]);
    }
    std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
      return a.first.size() != b.first.size() ? a.first.size() > b.first.size() : a.first < b.first;
    });
    Result out;
    for (auto& [c, w] : items) {
      out.cliques.push_back(std::move(c));
      out.weights.push_back(w);
    }
    return out;
  };
  std::mt19937_64 rng(17);
  std::vector<NamedGraph> cases;
  cases.push_back({"geometric 300", geometric_graph(rng, 300, 0.15)});
  cases.push_back({"G(63, 0.45) under apex 0", random_under_apex(rng, 63, 0.45, 0)});
  cases.push_back({"planted 10 of 8 in 50", planted_cliques(rng, 50, 10, 8)});
  for (const NamedGraph& c : cases) {
    const std::size_t n = c.adj.size(), d = largest_degree(c.adj);
    const auto base = local(c.adj, d + 1, 1u << 30);
    ASSERT_TRUE(base) << c.name;
    std::vector<std::pair<std::string, std::vector<Node>>> orders;
    std::vector<Node> to(n);
    for (std::size_t v = 0; v < n; ++v) to[v] = n - 1 - v;
    orders.emplace_back("reversed", to);
    for (std::size_t v = 0; v < n; ++v) to[v] = (v + n / 2) % n;
    orders.emplace_back("rotated by half", to);
    for (int seed = 0; seed < 3; ++seed) {
      for (std::size_t v = 0; v < n; ++v) to[v] = v;
      std::shuffle(to.begin(), to.end(), rng);
      orders.emplace_back("shuffled " + std::to_string(seed), to);
    }
    for (const auto& [order, map] : orders) {
      const auto got = local(relabel(c.adj, map), d + 1, 1u << 30);
      ASSERT_TRUE(got) << c.name << ", " << order;
      EXPECT_EQ(*got, relabel_result(*base, map)) << c.name << ", " << order;
    }
  }
}

// Where the method applies: every degree below a word's bits and maxrank
// above every degree (no clique can then be cut); on the other side of each
// limit it declines, and the automatic route still gives the maximal
// engine's result.
TEST(NeighbourhoodWeights, DeclinesOutsideItsLimits) {
  auto complete = [](std::size_t k) {
    Lists adj(k);
    for (Node a = 0; a < k; ++a)
      for (Node b = 0; b < k; ++b)
        if (a != b) adj[a].push_back(b);
    return adj;
  };
  auto hub = [](std::size_t leaves) {
    Lists adj(leaves + 1);
    for (Node b = 1; b <= leaves; ++b) {
      adj[0].push_back(b);
      adj[b].push_back(0);
    }
    return adj;
  };
  struct Case {
    std::string name;
    Lists adj;
    std::uint64_t maxrank;
    bool applies;
  };
  const std::vector<Case> cases = {
      {"K64 (degree 63)", complete(64), 64, true},
      {"K65 (degree 64)", complete(65), 65, false},
      {"hub of 63 leaves", hub(63), 64, true},
      {"hub of 64 leaves", hub(64), 65, false},
      {"K10, maxrank 10", complete(10), 10, true},
      {"K10, maxrank 9 (the cut binds)", complete(10), 9, false},
      {"hub of 5, maxrank 6", hub(5), 6, true},
      {"hub of 5, maxrank 5", hub(5), 5, false},
      {"a path, maxrank 3", {{1}, {0, 2}, {1}}, 3, true},
      {"a path, maxrank 2", {{1}, {0, 2}, {1}}, 2, false},
      {"one node, maxrank 3", {{}}, 3, true},
  };
  for (const Case& c : cases) {
    const auto got = local(c.adj, c.maxrank);
    EXPECT_EQ(got.has_value(), c.applies) << c.name;
    const Result maximal = engine(c.adj, c.maxrank, DecomposeRoute::maximal);
    if (got) {
      EXPECT_EQ(*got, maximal) << c.name;
    }
    EXPECT_EQ(engine(c.adj, c.maxrank, DecomposeRoute::automatic), maximal) << c.name;
  }
  Clique all(64);
  for (Node v = 0; v < 64; ++v) all[v] = v;
  EXPECT_EQ(local(complete(64), 64), (Result{{all}, {1}}));
  // Lists that are not a simple upper form are declined, not misread.
  for (const Lists& bad : {Lists{{1, 1}, {}}, Lists{{2}, {}}, Lists{{}, {0}}, Lists{{0}}})
    EXPECT_FALSE(decompose_in_neighbourhoods(make_lists(bad), 64, 1u << 20)) << bad.size();
}

// The work budget: too small a budget declines with nothing returned, a
// sufficient one gives the result, and the automatic route falls back to
// the other engines with the same result.
TEST(NeighbourhoodWeights, RunningOutOfBudgetDeclinesCleanly) {
  std::mt19937_64 rng(8);
  for (const Lists& adj : {random_graph(rng, 40, 0.7), geometric_graph(rng, 200, 0.25), planted_cliques(rng, 60, 20, 12)}) {
    const Result maximal = engine(adj, 64, DecomposeRoute::maximal);
    EXPECT_FALSE(local(adj, 64, 0));
    EXPECT_FALSE(local(adj, 64, 1));
    const auto enough = local(adj, 64, 1u << 30);
    ASSERT_TRUE(enough);
    EXPECT_EQ(*enough, maximal);
    EXPECT_EQ(engine(adj, 64, DecomposeRoute::automatic), maximal);
  }
}

// Budgets swept across the point where the work fits: below it the method
// declines, from it on it gives the whole result, whatever block of steps
// the last charge falls in.
TEST(NeighbourhoodWeights, BudgetsAcrossTheThresholdDeclineOrAgree) {
  std::mt19937_64 rng(21);
  for (const Lists& adj : {random_graph(rng, 30, 0.6), geometric_graph(rng, 120, 0.3)}) {
    const Result maximal = engine(adj, 64, DecomposeRoute::maximal);
    bool fitted = false;
    std::uint64_t first = 0;
    for (std::uint64_t per_entry = 0; per_entry <= 64; ++per_entry) {
      const auto got = local(adj, 64, per_entry);
      if (fitted) {
        ASSERT_TRUE(got) << "steps per entry " << per_entry;
      }
      if (got) {
        if (!fitted) first = per_entry;
        fitted = true;
        EXPECT_EQ(*got, maximal) << "steps per entry " << per_entry;
      }
    }
    EXPECT_TRUE(fitted);
    EXPECT_GT(first, 1u);  // the sweep crosses the threshold
  }
}

TEST(NeighbourhoodWeights, KnownSmallResultsInOrder) {
  // Two triangles on an edge, and a square: the shared edge weighs -1; the
  // square's cliques are its edges, its nodes each in two (weight -1).
  EXPECT_EQ(local({{1, 2}, {0, 2, 3}, {0, 1, 3}, {1, 2}}, 4),
            (Result{{{0, 1, 2}, {1, 2, 3}, {1, 2}}, {1, 1, -1}}));
  EXPECT_EQ(local({{1, 3}, {0, 2}, {1, 3}, {0, 2}}, 3),
            (Result{{{0, 1}, {0, 3}, {1, 2}, {2, 3}, {0}, {1}, {2}, {3}}, {1, 1, 1, 1, -1, -1, -1, -1}}));
  // Isolated nodes are maximal cliques of their own.
  EXPECT_EQ(local({{}, {2}, {1}, {}}, 3), (Result{{{1, 2}, {0}, {3}}, {1, 1, 1}}));
}

TEST(NeighbourhoodWeights, InterruptsAtEveryPoll) {
  std::mt19937_64 rng(2);
  const Lists adj = geometric_graph(rng, 200, 0.2);
  const Result whole = *local(adj, 64);
  std::uint64_t polls = 0;
  {
    const InterruptAfter never(0);
    EXPECT_EQ(local(adj, 64), whole);
    polls = never.asked();
  }
  ASSERT_GT(polls, 10u);
  for (const std::uint64_t at : {std::uint64_t{1}, polls / 3, polls / 2, polls - 1, polls}) {
    const InterruptAfter stop(at);
    EXPECT_THROW(local(adj, 64), Interrupted) << "poll " << at << " of " << polls;
    EXPECT_EQ(stop.asked(), at);
  }
  EXPECT_EQ(local(adj, 64), whole);
}

// Every graph on up to five nodes, alone, under an apex numbered first and
// under one numbered last: sets of up to three nodes are weighed in closed
// form (each edge count, with and without a cone point), larger ones by the
// pivot search, at the root of a neighbourhood and further down.
TEST(NeighbourhoodWeights, EverySmallGraphAloneAndUnderAnApex) {
  for (std::size_t m = 1; m <= 5; ++m) {
    std::vector<std::pair<Node, Node>> pairs;
    for (Node a = 0; a < m; ++a)
      for (Node b = a + 1; b < m; ++b) pairs.push_back({a, b});
    for (std::uint32_t pick = 0; pick < (1u << pairs.size()); ++pick) {
      for (int apex : {-1, 0, 1}) {
        // apex -1: none; 0: node 0 joined to all; 1: node m joined to all.
        const std::size_t n = m + (apex >= 0 ? 1 : 0);
        const Node shift = apex == 0 ? 1 : 0;
        std::set<std::pair<Node, Node>> e;
        for (std::size_t i = 0; i < pairs.size(); ++i)
          if (pick >> i & 1) e.insert({pairs[i].first + shift, pairs[i].second + shift});
        if (apex >= 0) {
          const Node top = apex == 0 ? 0 : m;
          for (Node x = 0; x < m; ++x) e.insert(std::minmax(top, x + shift));
        }
        const Lists adj = from_edges(n, e);
        const auto got = local(adj, 64);
        ASSERT_TRUE(got) << "m " << m << " pick " << pick << " apex " << apex;
        ASSERT_EQ(*got, definition(adj)) << "m " << m << " pick " << pick << " apex " << apex;
      }
    }
  }
}

namespace {

// The caller's lists in the forms the decomposition accepts, for a simple
// graph given tidy: the route reads the tidy ones and must give the same
// result from all the others.
std::vector<std::pair<std::string, Lists>> list_forms(const Lists& tidy, std::mt19937_64& rng) {
  std::vector<std::pair<std::string, Lists>> forms;
  forms.push_back({"tidy", tidy});
  Lists one_way = tidy;  // each edge at its lower end only
  for (std::size_t v = 0; v < one_way.size(); ++v)
    std::erase_if(one_way[v], [v](Node u) { return u < v; });
  forms.push_back({"one way", one_way});
  Lists repeats = tidy;  // the lower ends' entries twice, the other ends dropped: twice the edges in all
  for (std::size_t v = 0; v < repeats.size(); ++v) {
    Clique l;
    for (Node u : tidy[v])
      if (u > v) {
        l.push_back(u);
        l.push_back(u);
      }
    repeats[v] = l;
  }
  forms.push_back({"repeats", repeats});
  Lists shuffled = tidy;
  for (auto& l : shuffled) std::shuffle(l.begin(), l.end(), rng);
  forms.push_back({"shuffled", shuffled});
  Lists loops = tidy;  // a self-loop and an entry past the last node in every list
  for (std::size_t v = 0; v < loops.size(); ++v) {
    loops[v].insert(loops[v].begin(), v);
    loops[v].push_back(loops.size() + v);
  }
  forms.push_back({"self-loops and strays", loops});
  Lists reversed = tidy;
  for (auto& l : reversed) std::reverse(l.begin(), l.end());
  forms.push_back({"descending", reversed});
  return forms;
}

}  // namespace

TEST(NeighbourhoodWeights, HandedListsInEveryFormGiveTheSameResult) {
  std::mt19937_64 rng(21);
  const std::vector<Lists> graphs = {geometric_graph(rng, 300, 0.15), random_graph(rng, 60, 0.2),
                                     planted_cliques(rng, 50, 6, 8), Lists{{1}, {0}, {}}};
  for (const Lists& g : graphs) {
    const SeqList upper = detail::simple_upper_form(make_lists(g));
    const auto want = decompose_in_neighbourhoods(upper, 64, 1u << 20);
    ASSERT_TRUE(want);
    for (const auto& [name, lists] : list_forms(g, rng)) {
      const SeqList given = make_lists(lists);
      ASSERT_EQ(detail::simple_upper_form(given).to_vectors(), upper.to_vectors()) << name;
      const auto got = decompose_in_neighbourhoods(upper, given, 64, 1u << 20);
      ASSERT_TRUE(got) << name;
      EXPECT_EQ(result_of(*got), result_of(*want)) << name;
      // Through the decomposition's automatic route as well.
      EXPECT_EQ(engine(lists, 64, DecomposeRoute::automatic), result_of(*want)) << name;
    }
    // A degree limit below the largest degree declines however the lists come.
    const std::size_t d = largest_degree(g);
    if (d >= 3) {
      EXPECT_FALSE(decompose_in_neighbourhoods(upper, make_lists(g), d, 1u << 20));
    }
  }
}

// A handed list longer than the limit: when its entries below its node are
// distinct it gives the node's degree and the method declines at once; when
// they repeat, the degree may still fit, and the gathered lists decide.
TEST(NeighbourhoodWeights, LongHandedListsDeclineOnlyWhenTheirDegreeIsTooLarge) {
  struct Case {
    std::string name;
    Lists lists;
    bool applies;
  };
  // Node `hub` joined to the k nodes after it, which it lists twice each
  // and which do not list it (one-way entries are edges), and a triangle
  // among those nodes listed both ways.  Twice the upper form's entries,
  // like tidy lists.
  auto twice_one_way = [](Node hub, std::size_t k) {
    Lists adj(hub + k + 1);
    for (Node u = hub + 1; u <= hub + k; ++u) {
      adj[hub].push_back(u);
      adj[hub].push_back(u);
    }
    for (Node a = hub + 1; a <= hub + 3; ++a)
      for (Node b = hub + 1; b <= hub + 3; ++b)
        if (a != b) adj[a].push_back(b);
    return adj;
  };
  // Node 40 joined both ways to nodes 0..39 and to `above` more nodes.
  auto both_ways = [](std::size_t above) {
    Lists adj(41 + above);
    for (Node u = 0; u < 41 + above; ++u) {
      if (u == 40) continue;
      adj[u].push_back(40);
      adj[40].push_back(u);
    }
    adj[0].insert(adj[0].begin(), 1);
    adj[1].insert(adj[1].begin(), 0);
    return adj;
  };
  const std::vector<Case> cases = {
      {"node 0 with 32 neighbours, each listed twice one way", twice_one_way(0, 32), true},
      {"node 5 with 40 neighbours, each listed twice one way", twice_one_way(5, 40), true},
      {"63 neighbours listed both ways", both_ways(23), true},
      {"64 neighbours listed both ways", both_ways(24), false},
  };
  for (const Case& c : cases) {
    const SeqList given = make_lists(c.lists);
    const SeqList upper = detail::simple_upper_form(given);
    ASSERT_EQ(given.total_nodes(), 2 * upper.total_nodes()) << c.name;
    const auto got = decompose_in_neighbourhoods(upper, given, 64, 1u << 20);
    EXPECT_EQ(got.has_value(), c.applies) << c.name;
    EXPECT_EQ(got.has_value(), decompose_in_neighbourhoods(upper, 64, 1u << 20).has_value()) << c.name;
    const Result maximal = engine(c.lists, 64, DecomposeRoute::maximal);
    if (got) {
      EXPECT_EQ(result_of(*got), maximal) << c.name;
    }
    EXPECT_EQ(engine(c.lists, 64, DecomposeRoute::automatic), maximal) << c.name;
  }
}
