#include <gtest/gtest.h>

#include "graph/powerset.hpp"
#include "reference_cliques.hpp"

using namespace vexa::graph;
using namespace vexa::testing;
using Lists = std::vector<std::vector<Node>>;

namespace {

Lists collect(SubcliqueWalk walk) {
  Lists out;
  while (walk.next()) out.emplace_back(walk.item().begin(), walk.item().end());
  return out;
}

Lists collect_size(std::vector<Node> q, std::size_t k) {
  CombinationStepper step(q, k);
  Lists out;
  while (step.next()) out.emplace_back(step.item().begin(), step.item().end());
  return out;
}

}  // namespace

TEST(Powerset, OrderFollowsPositionsNotValues) {
  std::vector<Node> q{5, 3, 9};
  EXPECT_EQ(collect(powerset(q)), (Lists{{5}, {3}, {9}, {5, 3}, {5, 9}, {3, 9}, {5, 3, 9}}));
  EXPECT_EQ(collect(powersetproper(q)), (Lists{{5}, {3}, {9}, {5, 3}, {5, 9}, {3, 9}}));
  std::vector<Node> k4{0, 1, 2, 3};
  EXPECT_EQ(collect(powersetproper(k4)),
            (Lists{{0}, {1}, {2}, {3}, {0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}, {0, 1, 2},
                   {0, 1, 3}, {0, 2, 3}, {1, 2, 3}}));
}

TEST(Powerset, SmallCliques) {
  std::vector<Node> empty, one{7}, two{2, 8}, twice{4, 4};
  EXPECT_TRUE(collect(powerset(empty)).empty());
  EXPECT_TRUE(collect(powersetproper(empty)).empty());
  EXPECT_EQ(collect(powerset(one)), (Lists{{7}}));
  EXPECT_TRUE(collect(powersetproper(one)).empty());
  EXPECT_EQ(collect(powerset(two)), (Lists{{2}, {8}, {2, 8}}));
  EXPECT_EQ(collect(powersetproper(two)), (Lists{{2}, {8}}));
  EXPECT_EQ(collect(powerset(twice)), (Lists{{4}, {4}, {4, 4}}));
  EXPECT_EQ(collect(powersetproper(twice)), (Lists{{4}, {4}}));
}

TEST(Powerset, Counts) {
  for (Node n : {4u, 10u}) {
    std::vector<Node> q(n);
    for (Node i = 0; i < n; ++i) q[i] = 100 - i;
    EXPECT_EQ(collect(powerset(q)).size(), (std::size_t{1} << n) - 1);
    EXPECT_EQ(collect(powersetproper(q)).size(), (std::size_t{1} << n) - 2);
  }
}

TEST(Powerset, StepperOnItsOwn) {
  std::vector<Node> q{5, 3, 9};
  EXPECT_EQ(collect_size(q, 0), (Lists{{}}));
  EXPECT_EQ(collect_size(q, 2), (Lists{{5, 3}, {5, 9}, {3, 9}}));
  EXPECT_EQ(collect_size(q, 3), (Lists{{5, 3, 9}}));
  EXPECT_TRUE(collect_size(q, 4).empty());
}

// The production walker gives, size by size, exactly the model's items.
TEST(Powerset, SubsequencesFollowTheStepper) {
  const std::vector<std::vector<Node>> qs{{}, {7}, {5, 3, 9}, {4, 4, 1}, {0, 1, 2, 3, 4, 5, 6}};
  Subsequences subs;
  for (const auto& q : qs) {
    for (std::size_t k = 0; k <= q.size() + 1; ++k) {
      Lists got;
      subs.each(q, k, [&](std::span<const Node> item) { got.emplace_back(item.begin(), item.end()); });
      EXPECT_EQ(got, collect_size(q, k)) << "size " << q.size() << ", k " << k;
    }
  }
}
