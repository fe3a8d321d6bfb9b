// The weight engines of the decomposition (expansion, closure, and the
// automatic choice between them) against each other and against a slow
// closure model, on families with large overlapping cliques, wide stars
// and every cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "graph/size_tables.hpp"
#include "graph/weights_by_closure.hpp"
#include "graph/weights_from_maximal.hpp"
#include "weighted_result.hpp"

using namespace vexa::graph;
using namespace vexa::graph::test_support;
using detail::WeightMethod;

namespace {

Result run(const Lists& maxcliques, std::uint64_t maxrank, WeightMethod method) {
  return result_of(detail::weights_from_maximal(make_lists(maxcliques), maxrank, method));
}

void add_subsets(const Clique& m, std::size_t k, std::size_t from, Clique& item, std::set<Clique>& out) {
  if (item.size() == k) {
    out.insert(item);
    return;
  }
  for (std::size_t i = from; i + (k - item.size()) <= m.size(); ++i) {
    item.push_back(m[i]);
    add_subsets(m, k, i + 1, item, out);
    item.pop_back();
  }
}

// The slow model: the top cliques, the closure of their pairwise
// intersections computed until nothing new appears, each member weighed
// from the strict supersets among the members, in result order.
Result closure_model(const Lists& maxcliques, std::uint64_t maxrank) {
  std::set<Clique> tops;
  bool empty_top = false;
  for (const auto& m : maxcliques) {
    if (m.size() <= maxrank) {
      if (m.empty()) empty_top = true; else tops.insert(m);
    } else if (maxrank == 0) {
      empty_top = true;
    } else {
      Clique item;
      add_subsets(m, maxrank, 0, item, tops);
    }
  }
  std::set<Clique> members = tops;
  for (bool grew = true; grew;) {
    grew = false;
    const std::vector<Clique> now(members.begin(), members.end());
    for (const auto& x : now) {
      for (const auto& t : tops) {
        Clique meet;
        std::set_intersection(x.begin(), x.end(), t.begin(), t.end(), std::back_inserter(meet));
        if (!meet.empty() && members.insert(meet).second) grew = true;
      }
    }
  }
  Result out = weigh_from_supersets(Lists(members.begin(), members.end()));
  if (empty_top) {
    out.cliques.push_back({});
    out.weights.push_back(1);
  }
  return out;
}

// A hub (node 0) with a rim of `rim` nodes, each rim edge a triangle through
// the hub, and a clique of `clique` further nodes through the hub: the star
// of node 0 has rim + 1 classes of shared nodes.
Lists hub_family(Node rim, Node clique) {
  Lists family;
  for (Node i = 1; i <= rim; ++i) {
    Clique t{0, i, i % rim + 1};
    std::sort(t.begin(), t.end());
    family.push_back(t);
  }
  Clique big{0};
  for (Node v = rim + 1; v <= rim + clique; ++v) big.push_back(v);
  family.push_back(big);
  return family;
}

Lists random_family(std::mt19937_64& rng, std::size_t count, Node universe, std::size_t lo, std::size_t hi) {
  Lists family;
  for (std::size_t c = 0; c < count; ++c) {
    const std::size_t size = lo + rng() % (hi - lo + 1);
    std::set<Node> m;
    while (m.size() < size) m.insert(rng() % universe);
    family.emplace_back(m.begin(), m.end());
  }
  return family;
}

}  // namespace

TEST(WeightEngines, WideStarsAgreeWithTheModel) {
  // 62, 63, 64 and 999 rim nodes: 63, 64, 65 and 1000 classes around the
  // hub, one word, exactly one word, just over and many words of mask.
  for (Node rim : {62u, 63u, 64u, 999u}) {
    for (Node clique : {10u, 70u}) {
      const Lists family = hub_family(rim, clique);
      const Result want = closure_model(family, ~std::uint64_t{0});
      ASSERT_EQ(want.cliques.size(), 2 * rim + 1);
      EXPECT_EQ(run(family, ~std::uint64_t{0}, WeightMethod::star), want) << rim << " " << clique;
      EXPECT_EQ(run(family, clique + 1, WeightMethod::automatic), want) << rim << " " << clique;
    }
  }
  const Lists small = hub_family(65, 8);
  EXPECT_EQ(run(small, 64, WeightMethod::expand), run(small, 64, WeightMethod::star));
}

TEST(WeightEngines, LargeOverlappingCliquesAgreeWithTheModel) {
  // Cliques of 40 to 110 nodes over 150: far too many sub-cliques to expand,
  // and intersections of every size.
  std::mt19937_64 rng(7);
  for (int round = 0; round < 12; ++round) {
    const Lists family = random_family(rng, 3 + rng() % 6, 150, 40, 110);
    const Result want = closure_model(family, 1000);
    ASSERT_EQ(run(family, 1000, WeightMethod::star), want) << "round " << round;
    ASSERT_EQ(run(family, 1000, WeightMethod::automatic), want) << "round " << round;
  }
}

TEST(WeightEngines, EveryCutAgreesAcrossEngines) {
  // Overlapping cliques of up to 9 nodes, cut at every maxrank from 0 to
  // beyond the largest clique.
  std::mt19937_64 rng(11);
  for (int round = 0; round < 20; ++round) {
    const Lists family = random_family(rng, 2 + rng() % 7, 13, 2, 9);
    for (std::uint64_t maxrank = 0; maxrank <= 11; ++maxrank) {
      const Result want = closure_model(family, maxrank);
      ASSERT_EQ(run(family, maxrank, WeightMethod::expand), want) << round << " cut " << maxrank;
      ASSERT_EQ(run(family, maxrank, WeightMethod::star), want) << round << " cut " << maxrank;
      ASSERT_EQ(run(family, maxrank, WeightMethod::automatic), want) << round << " cut " << maxrank;
    }
  }
}

TEST(WeightEngines, ManyStarsWithManyIntersections) {
  // A sparse family over many nodes (node numbers far apart, so they are
  // renumbered) with large stars: both engines and the model agree.
  std::mt19937_64 rng(5);
  Lists family = random_family(rng, 300, 60, 3, 7);
  for (auto& c : family)
    for (auto& v : c) v = v * 1000003 + 17;
  const Result want = closure_model(family, 64);
  EXPECT_EQ(run(family, 64, WeightMethod::star), want);
  EXPECT_EQ(run(family, 64, WeightMethod::expand), want);
  EXPECT_EQ(run(family, 4, WeightMethod::star), run(family, 4, WeightMethod::expand));
}

namespace {

// Stars around node 0 of `tops` random cliques over 1 .. universe (sizes 2
// to 7 besides the hub), with `nested` further cliques that lie inside one
// of them (a random part of it, or the clique itself again).
struct StarShape {
  std::size_t tops;
  Node universe;
  std::size_t nested;
};

void PrintTo(const StarShape& s, std::ostream* os) {
  *os << s.tops << " tops over " << s.universe << " nodes, " << s.nested << " nested";
}

// Adds `nested` cliques, each inside one of the first `tops` (a random part
// of it, or the clique itself), then shuffles the family.
void add_nested_and_shuffle(Lists& family, std::size_t tops, std::size_t nested, std::mt19937_64& rng) {
  for (std::size_t i = 0; i < nested; ++i) {
    const Clique whole = family[rng() % tops];
    Clique part;
    for (Node v : whole)
      if (rng() % 3 != 0) part.push_back(v);
    family.push_back(part.empty() ? whole : part);
  }
  std::shuffle(family.begin(), family.end(), rng);
}

Lists hub_star(const StarShape& shape, std::mt19937_64& rng) {
  Lists family = random_family(rng, shape.tops, shape.universe, 2, 7);
  for (auto& c : family) {
    for (auto& v : c) ++v;
    c.insert(c.begin(), 0);
  }
  add_nested_and_shuffle(family, shape.tops, shape.nested, rng);
  return family;
}

class StarShapes : public ::testing::TestWithParam<StarShape> {};

}  // namespace

// Up to 64 top cliques and classes, a star is listed on one-word masks and
// holder sets; more top cliques (or classes) take the wide listing.  Cliques
// inside others must leave the result as if they were absent, whichever
// star finds them.  Cut to edges, and not cut.
TEST_P(StarShapes, AgreeWithTheModelAndExpansion) {
  const StarShape shape = GetParam();
  std::mt19937_64 rng(shape.tops * 131 + shape.nested);
  for (int round = 0; round < 2; ++round) {
    const Lists family = hub_star(shape, rng);
    for (std::uint64_t maxrank : {2u, 9u}) {
      const Result want = closure_model(family, maxrank);
      ASSERT_EQ(run(family, maxrank, WeightMethod::star), want) << round << " cut " << maxrank;
      ASSERT_EQ(run(family, maxrank, WeightMethod::expand), want) << round << " cut " << maxrank;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    WeightEngines, StarShapes,
    ::testing::Values(StarShape{2, 8, 0}, StarShape{12, 10, 4}, StarShape{64, 20, 0}, StarShape{64, 20, 8},
                      StarShape{65, 20, 0}, StarShape{65, 20, 8}, StarShape{130, 16, 12}, StarShape{40, 90, 5}));

TEST(WeightEngines, CliquesInsideOthersAtEveryNode) {
  // A clique inside another whose smallest node is not the other's: it is
  // found in a later star than the larger clique's first.
  const Lists family = {{0, 1, 2, 3}, {1, 2, 3}, {2, 3}, {1, 4}, {1, 2, 3}, {3, 5, 6}, {5, 6}};
  const Result want = closure_model(family, 10);
  EXPECT_EQ(want, (Result{{{0, 1, 2, 3}, {3, 5, 6}, {1, 4}, {1}, {3}}, {1, 1, 1, -1, -1}}));
  for (std::uint64_t maxrank : {2u, 3u, 4u, 10u}) {
    EXPECT_EQ(run(family, maxrank, WeightMethod::star), closure_model(family, maxrank)) << maxrank;
    EXPECT_EQ(run(family, maxrank, WeightMethod::automatic), closure_model(family, maxrank)) << maxrank;
  }
}

namespace {

// A star around node 0 of exactly `tops` top cliques over exactly `nodes`
// nodes (the hub included): each top clique holds the hub and 2 to 7 random
// nodes, and every node left over joins a random one.  `nested` further
// cliques lie inside one of them (a random part, or the clique itself).
struct ExactStar {
  std::size_t tops;
  Node nodes;
  std::size_t nested;
};

void PrintTo(const ExactStar& s, std::ostream* os) {
  *os << s.tops << " tops over " << s.nodes << " nodes, " << s.nested << " nested";
}

Lists exact_star(const ExactStar& shape, std::mt19937_64& rng) {
  Lists family = random_family(rng, shape.tops, shape.nodes - 1, 2, 7);
  std::set<Node> used;
  for (auto& c : family)
    for (auto& v : c) used.insert(++v);
  for (Node v = 1; v < shape.nodes; ++v)
    if (!used.count(v)) family[rng() % family.size()].push_back(v);
  for (auto& c : family) {
    c.push_back(0);
    std::sort(c.begin(), c.end());
  }
  add_nested_and_shuffle(family, shape.tops, shape.nested, rng);
  return family;
}

class ExactStars : public ::testing::TestWithParam<ExactStar> {};

}  // namespace

// Stars of up to 64 top cliques over up to 64 nodes are settled on one word
// per set, the rest on the general path: each shape on either side of both
// limits, with and without cliques inside others, against the general path
// alone, expansion and (uncut) the slow model.  Cut to edges, the hub's star
// holds one top clique per other node; cut to triangles, many more.
TEST_P(ExactStars, OneWordStarsAgreeWithTheGeneralPath) {
  const ExactStar shape = GetParam();
  std::mt19937_64 rng(shape.tops * 977 + shape.nodes * 31 + shape.nested);
  for (int round = 0; round < 2; ++round) {
    const Lists family = exact_star(shape, rng);
    for (std::uint64_t maxrank : {2u, 3u, 9u}) {
      const Result general = run(family, maxrank, WeightMethod::star_general);
      ASSERT_EQ(run(family, maxrank, WeightMethod::star), general) << round << " cut " << maxrank;
      ASSERT_EQ(run(family, maxrank, WeightMethod::expand), general) << round << " cut " << maxrank;
      if (maxrank == 9 && round == 0) {
        ASSERT_EQ(closure_model(family, maxrank), general);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    WeightEngines, ExactStars,
    ::testing::Values(ExactStar{2, 10, 0}, ExactStar{8, 20, 0}, ExactStar{9, 12, 3}, ExactStar{63, 63, 0},
                      ExactStar{64, 64, 0}, ExactStar{64, 64, 6}, ExactStar{64, 65, 0}, ExactStar{65, 64, 0},
                      ExactStar{65, 64, 6}, ExactStar{40, 65, 4}, ExactStar{20, 64, 0}, ExactStar{20, 66, 2}));

TEST(WeightEngines, OneWordStarsOnSmallFamilies) {
  // Many small random families, cut at every rank: every star fits one word
  // and meets the cases of a star with one top clique, one whose common
  // part holds a smaller node (nothing settled there but its own top
  // cliques) and a top clique dropped as lying inside another.
  std::mt19937_64 rng(23);
  for (int round = 0; round < 60; ++round) {
    Lists family = random_family(rng, 2 + rng() % 9, 12, 1, 7);
    if (round % 3 == 0) family.push_back(family[0].size() > 1 ? Clique(family[0].begin() + 1, family[0].end()) : family[0]);
    for (std::uint64_t maxrank = 1; maxrank <= 8; ++maxrank) {
      const Result general = run(family, maxrank, WeightMethod::star_general);
      ASSERT_EQ(run(family, maxrank, WeightMethod::star), general) << round << " cut " << maxrank;
      ASSERT_EQ(run(family, maxrank, WeightMethod::expand), general) << round << " cut " << maxrank;
    }
  }
}

TEST(WeightEngines, ClosurePriceCountsEachNodesTopCliques) {
  // The price is the sum over nodes of (top cliques holding it)^2, whether
  // node numbers index a count array or are sorted (numbers far apart);
  // repeated top cliques count once.
  for (Node scale : {Node{1}, Node{1000003}}) {
    std::mt19937_64 rng(scale);
    Lists family = random_family(rng, 40, 30, 1, 6);
    family.push_back(family[3]);
    for (auto& c : family)
      for (auto& v : c) v = v * scale + 5;
    std::map<Node, std::size_t> holders;
    for (const auto& c : std::set<Clique>(family.begin(), family.end()))
      for (Node v : c) ++holders[v];
    double want = 0;
    for (const auto& [v, count] : holders) want += static_cast<double>(count * count);
    InterruptPoll poll;
    const Tables tables = enter_top_cliques(make_lists(family), 64, poll);
    EXPECT_EQ(sum_of_squared_stars(tables, poll), want) << scale;
  }
}
