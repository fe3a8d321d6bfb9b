#include <gtest/gtest.h>

#include "graph/bounded_cliques.hpp"
#include "graph/clique_weights.hpp"
#include "graph/clique_weights_noprune.hpp"
#include "graph/seed_cliques.hpp"
#include "graph/tree_weights.hpp"
#include "graph/weighted_cliques.hpp"
#include "reference_cliques.hpp"

using namespace vexa::graph;
using namespace vexa::testing;

namespace {

using Weights = std::vector<Weight>;

// The weights, or nullopt after exactly the failure "no entry found for key".
template <class F>
std::optional<Weights> weigh(F routine, const Seqs& list) {
  try {
    return routine(to_seqlist(list));
  } catch (const Failure& f) {
    EXPECT_EQ(f.message(), "no entry found for key");
    return std::nullopt;
  }
}
std::optional<Weights> pruned(const Seqs& l) { return weigh(calc_clique_weights, l); }
std::optional<Weights> noprune(const Seqs& l) { return weigh(calc_clique_weights_noprune, l); }

struct Case {
  const char* name;
  Seqs list;
  std::optional<Weights> pruned, noprune;
};

}  // namespace

TEST(CliqueWeights, HandMadeLists) {
  const Seqs tri{{0}, {1}, {2}, {0, 1}, {0, 2}, {1, 2}, {0, 1, 2}};
  const std::vector<Case> cases{
      {"empty list", {}, Weights{}, Weights{}},
      {"triangle", tri, Weights{0, 0, 0, 0, 0, 0, 1}, Weights{0, 0, 0, 0, 0, 0, 1}},
      {"path", {{0}, {1}, {2}, {0, 1}, {1, 2}}, Weights{0, -1, 0, 1, 1}, Weights{0, -1, 0, 1, 1}},
      {"sequences, not sets", {{0}, {1}, {0, 1}, {1, 0}}, Weights{-1, -1, 1, 1}, Weights{-1, -1, 1, 1}},
      {"repeated node", {{0}, {0, 0}}, Weights{-1, 1}, Weights{-1, 1}},
      {"repeated node, three", {{0}, {0, 0}, {0, 0, 0}}, Weights{2, -2, 1}, Weights{2, -2, 1}},
      {"whole clique first", {{0, 1, 2}, {0}, {1}, {2}, {0, 1}, {0, 2}, {1, 2}},
       Weights{1, 0, 0, 0, 2, 2, 2}, Weights{1, 0, 0, 0, 0, 0, 0}},
      {"duplicate single", {{0}, {0}}, Weights{1, 1}, Weights{0, 2}},
      {"duplicate edge", {{0}, {1}, {0, 1}, {0, 1}}, Weights{-1, -1, 1, 1}, Weights{-1, -1, 0, 2}},
      {"empty sequence", {{}, {3}}, Weights{1, 1}, Weights{0, 1}},
      {"edge alone", {{0, 1}}, std::nullopt, std::nullopt},
      {"missing edge", {{0}, {1}, {2}, {0, 1}, {0, 2}, {0, 1, 2}}, std::nullopt, std::nullopt},
      {"reversed triangle without [2, 1]", {{0}, {1}, {2}, {2, 0}, {1, 0}, {2, 1, 0}}, std::nullopt,
       std::nullopt},
      // [0, 1] gets weight 0 and is skipped; its missing [1] is still met
      // through [0, 1, 2].
      {"missing under a zero weight", {{0}, {2}, {0, 2}, {0, 1}, {1, 2}, {0, 1, 2}}, std::nullopt,
       std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pruned(c.list), c.pruned) << c.name;
    EXPECT_EQ(noprune(c.list), c.noprune) << c.name;
  }
}

// Random lists built to break every expectation: sequences drawn from a few
// nodes with repeats, copies, shuffled order, and sub-cliques left out.
TEST(CliqueWeights, MatchTheLiteralRulesOnAnyList) {
  std::mt19937_64 rng(5);
  int failed = 0, passed = 0;
  for (int round = 0; round < 3000; ++round) {
    const Node nodes = std::uniform_int_distribution<Node>(1, 4)(rng);
    std::uniform_int_distribution<Node> node(0, nodes - 1);
    Seqs list;
    const int seeds = std::uniform_int_distribution<int>(0, 3)(rng);
    for (int i = 0; i < seeds; ++i) {
      Seq q(std::uniform_int_distribution<std::size_t>(1, 4)(rng));
      for (Node& v : q) v = node(rng);
      auto walk = powerset(q);
      while (walk.next()) list.emplace_back(walk.item().begin(), walk.item().end());
    }
    const int extra = std::uniform_int_distribution<int>(0, 3)(rng);
    for (int i = 0; i < extra; ++i) {
      Seq q(std::uniform_int_distribution<std::size_t>(0, 3)(rng));
      for (Node& v : q) v = node(rng);
      list.push_back(q);
    }
    if (round % 3 == 0) std::shuffle(list.begin(), list.end(), rng);
    if (round % 3 == 1) std::stable_sort(list.begin(), list.end(), [](const Seq& a, const Seq& b) {
        return a.size() < b.size();
      });
    if (round % 4 == 0 && !list.empty())
      list.erase(list.begin() + std::uniform_int_distribution<std::ptrdiff_t>(0, std::ssize(list) - 1)(rng));
    const auto want_pruned = reference_pruned(list);
    const auto want_noprune = reference_noprune(list);
    ASSERT_EQ(want_pruned.has_value(), want_noprune.has_value()) << "round " << round;
    (want_pruned ? passed : failed)++;
    EXPECT_EQ(pruned(list), want_pruned) << "round " << round;
    EXPECT_EQ(noprune(list), want_noprune) << "round " << round;
  }
  EXPECT_GT(failed, 300);
  EXPECT_GT(passed, 300);
}

// Where the weights are computed through the enumeration's tree, they must
// be exactly what the two routines give on the list itself, for lists of
// every form, and the sum over the cliques containing a clique must be 1
// whenever the lists are strictly ascending.
TEST(CliqueWeights, TreeWeightsEqualTheRoutines) {
  std::mt19937_64 rng(3);
  const ListForm forms[] = {ListForm::upper,   ListForm::full,       ListForm::unsorted,
                            ListForm::repeats, ListForm::self_loops, ListForm::asymmetric};
  int through_tree = 0;
  for (int round = 0; round < 1200; ++round) {
    const ListForm form = forms[round % 6];
    const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 10)(rng);
    const double p = std::uniform_real_distribution<double>(0.2, 0.95)(rng);
    const Seqs nbrs = random_lists(rng, n, p, form);
    const std::uint64_t maxrank = std::uniform_int_distribution<std::uint64_t>(0, 6)(rng);
    const CliqueTree tree = enumerate_clique_tree(to_seqlist(nbrs), maxrank);
    const Seqs list = tree.cliques.to_vectors();
    const auto want_pruned = reference_pruned(list);
    const auto want_noprune = reference_noprune(list);
    through_tree += calc_tree_weights(tree).has_value();
    if (form == ListForm::upper || form == ListForm::full || form == ListForm::self_loops) {
      ASSERT_TRUE(calc_tree_weights(tree).has_value()) << "round " << round;
      ASSERT_TRUE(want_pruned.has_value());
      // Sum over the containing cliques, once per choice of positions.
      const auto pos = last_positions(list);
      std::vector<Weight> sum(list.size(), 0);
      for (std::size_t i = 0; i < list.size(); ++i) {
        auto walk = powerset(list[i]);
        while (walk.next()) {
          const std::size_t j = pos.at(Seq(walk.item().begin(), walk.item().end()));
          sum[j] += (*want_pruned)[i];
        }
      }
      EXPECT_EQ(sum, std::vector<Weight>(list.size(), 1)) << "round " << round;
    }
    for (CliqueRoute route : {CliqueRoute::fastest, CliqueRoute::seeds, CliqueRoute::tree, CliqueRoute::literal}) {
      for (WeightRule rule : {WeightRule::pruned, WeightRule::noprune}) {
        const auto& want = rule == WeightRule::pruned ? want_pruned : want_noprune;
        try {
          const WeightedCliques got = enumerate_weighted_cliques(to_seqlist(nbrs), maxrank, rule, route);
          EXPECT_EQ(got.cliques.to_vectors(), list) << "round " << round;
          EXPECT_EQ(std::optional<Weights>(got.weights), want) << "round " << round;
        } catch (const Failure& f) {
          EXPECT_EQ(f.message(), "no entry found for key");
          EXPECT_FALSE(want.has_value()) << "round " << round;
        }
      }
    }
    const auto seeds = enumerate_seed_cliques(to_seqlist(nbrs), maxrank);
    if (form == ListForm::upper || form == ListForm::full || form == ListForm::self_loops) {
      ASSERT_TRUE(seeds.has_value());
      EXPECT_EQ(seeds->cliques.to_vectors(), list);
      EXPECT_EQ(std::optional<Weights>(seeds->weights), want_pruned);
    }
  }
  EXPECT_GT(through_tree, 500);
}

// Larger graphs with deep cliques: the fast routes against the hashing
// routines (the literal models would be too slow here).  Some have hubs
// whose lists span several mask words, or more than the seed route takes.
TEST(CliqueWeights, FastRoutesOnLargerGraphs) {
  std::mt19937_64 rng(9);
  for (int round = 0; round < 20; ++round) {
    Seqs nbrs;
    std::uint64_t maxrank = static_cast<std::uint64_t>(round % 5);
    const ListForm form = round % 3 ? ListForm::upper : ListForm::full;
    if (round < 12) {
      const std::size_t n = 20 + 10 * static_cast<std::size_t>(round % 4);
      nbrs = random_lists(rng, n, round % 2 ? 0.7 : 0.35, form);
    } else {
      // A few hubs joined to most nodes, the rest sparse.
      const std::size_t n = round < 18 ? 100 + 110 * static_cast<std::size_t>(round - 12) : 1300;
      nbrs = random_lists(rng, n, 3.0 / static_cast<double>(n), ListForm::full);
      for (Node hub = 0; hub < 3; ++hub) {
        for (Node u = 0; u < n; ++u) {
          if (u == hub || std::bernoulli_distribution(0.1)(rng)) continue;
          if (std::find(nbrs[hub].begin(), nbrs[hub].end(), u) == nbrs[hub].end()) {
            nbrs[hub].push_back(u);
            nbrs[u].push_back(hub);
          }
        }
      }
      for (std::size_t v = 0; v < n; ++v) {
        std::sort(nbrs[v].begin(), nbrs[v].end());
        if (form == ListForm::upper) std::erase_if(nbrs[v], [&](Node u) { return u <= v; });
      }
      maxrank = round % 2 ? 0 : 3;
    }
    const CliqueTree tree = enumerate_clique_tree(to_seqlist(nbrs), maxrank);
    const auto through_tree = calc_tree_weights(tree);
    ASSERT_TRUE(through_tree.has_value());
    const Weights pruned_w = calc_clique_weights(tree.cliques);
    EXPECT_EQ(*through_tree, pruned_w) << "round " << round;
    EXPECT_EQ(pruned_w, calc_clique_weights_noprune(tree.cliques)) << "round " << round;
    const auto seeds = enumerate_seed_cliques(to_seqlist(nbrs), maxrank);
    std::size_t longest = 0;
    for (const Seq& l : nbrs) longest = std::max(longest, l.size());
    ASSERT_EQ(seeds.has_value(), longest <= 1024 || maxrank == 1) << "round " << round;
    if (seeds) {
      EXPECT_EQ(seeds->cliques.to_vectors(), tree.cliques.to_vectors()) << "round " << round;
      EXPECT_EQ(seeds->weights, pruned_w) << "round " << round;
    }
    const WeightedCliques fastest = enumerate_weighted_cliques(to_seqlist(nbrs), maxrank, WeightRule::noprune);
    EXPECT_EQ(fastest.cliques.to_vectors(), tree.cliques.to_vectors());
    EXPECT_EQ(fastest.weights, pruned_w);
  }
}
