#include <gtest/gtest.h>

#include "graph/bounded_cliques.hpp"
#include "graph/clique_weights.hpp"
#include "graph/clique_weights_noprune.hpp"
#include "graph/tree_weights.hpp"
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
    auto through = [&](WeightRule rule) -> std::optional<Weights> {
      try {
        return calc_weights(tree, rule);
      } catch (const Failure&) {
        return std::nullopt;
      }
    };
    EXPECT_EQ(through(WeightRule::pruned), want_pruned) << "round " << round;
    EXPECT_EQ(through(WeightRule::noprune), want_noprune) << "round " << round;
  }
  EXPECT_GT(through_tree, 500);
}

// Larger upper-form graphs with deep cliques: the tree weights against the
// hashing routines (the literal models would be too slow here).
TEST(CliqueWeights, TreeWeightsOnLargerGraphs) {
  std::mt19937_64 rng(9);
  for (int round = 0; round < 12; ++round) {
    const std::size_t n = 20 + 10 * static_cast<std::size_t>(round % 4);
    const Seqs nbrs = random_lists(rng, n, round % 2 ? 0.7 : 0.35, round % 3 ? ListForm::upper : ListForm::full);
    const CliqueTree tree = enumerate_clique_tree(to_seqlist(nbrs), round % 5);
    const auto fast = calc_tree_weights(tree);
    ASSERT_TRUE(fast.has_value());
    EXPECT_EQ(*fast, calc_clique_weights(tree.cliques)) << "round " << round;
    EXPECT_EQ(*fast, calc_clique_weights_noprune(tree.cliques)) << "round " << round;
  }
}
