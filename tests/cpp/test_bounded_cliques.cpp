#include <gtest/gtest.h>

#include "graph/bounded_cliques.hpp"
#include "reference_cliques.hpp"

using namespace vexa::graph;
using namespace vexa::testing;

namespace {

Seqs run(const Seqs& nbrs, std::uint64_t maxrank) {
  return enumerate_cliques(to_seqlist(nbrs), maxrank).to_vectors();
}

std::string failure_of(const Seqs& nbrs, std::uint64_t maxrank) {
  try {
    enumerate_cliques(to_seqlist(nbrs), maxrank);
  } catch (const Failure& f) {
    return f.message();
  }
  return "";
}

struct Case {
  const char* name;
  Seqs nbrs;
  std::vector<std::uint64_t> maxranks;
  Seqs expected;
};

}  // namespace

TEST(BoundedCliques, ListsOfEveryForm) {
  const Seqs tri{{0}, {1}, {2}, {0, 1}, {0, 2}, {1, 2}, {0, 1, 2}};
  const Seqs k4_3{{0}, {1}, {2}, {3}, {0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3},
                  {0, 1, 2}, {0, 1, 3}, {0, 2, 3}, {1, 2, 3}};
  Seqs k4_all = k4_3;
  k4_all.push_back({0, 1, 2, 3});
  const std::vector<Case> cases{
      {"triangle", {{1, 2}, {2}, {}}, {0, 3, 4}, tri},
      {"triangle cut at 2", {{1, 2}, {2}, {}}, {2}, Seqs(tri.begin(), tri.begin() + 6)},
      {"triangle cut at 1", {{1, 2}, {2}, {}}, {1}, {{0}, {1}, {2}}},
      {"path", {{1}, {2}, {}}, {0, 2, 3, 9}, {{0}, {1}, {2}, {0, 1}, {1, 2}}},
      {"4-cycle", {{1, 3}, {2}, {3}, {}}, {0, 2, 3},
       {{0}, {1}, {2}, {3}, {0, 1}, {0, 3}, {1, 2}, {2, 3}}},
      {"K4 cut at 3", {{1, 2, 3}, {2, 3}, {3}, {}}, {3}, k4_3},
      {"K4", {{1, 2, 3}, {2, 3}, {3}, {}}, {0, 4}, k4_all},
      {"empty", {}, {0, 1, 5}, {}},
      {"isolated nodes", {{}, {}}, {0, 1, 2}, {{0}, {1}}},
      {"full symmetric triangle", {{1, 2}, {0, 2}, {0, 1}}, {3},
       {{0}, {1}, {2}, {0, 1}, {0, 2}, {1, 0}, {1, 2}, {2, 0}, {2, 1}, {0, 1, 2}, {1, 0, 2}, {2, 0, 1}}},
      {"self-loop", {{0, 1}, {1}}, {3}, {{0}, {1}, {0, 0}, {0, 1}, {1, 1}, {0, 0, 1}}},
      {"repeated entry", {{1, 1}, {}}, {3}, {{0}, {1}, {0, 1}, {0, 1}}},
      {"unsorted list", {{2, 1}, {2}, {}}, {3}, {{0}, {1}, {2}, {0, 2}, {0, 1}, {1, 2}}},
      {"asymmetric lists", {{1, 2}, {}, {1}}, {3}, {{0}, {1}, {2}, {0, 1}, {0, 2}, {2, 1}}},
      {"out of range, maxrank 1", {{1, 5}, {2}, {}}, {1}, {{0}, {1}, {2}}},
  };
  for (const Case& c : cases)
    for (std::uint64_t r : c.maxranks) EXPECT_EQ(run(c.nbrs, r), c.expected) << c.name << ", maxrank " << r;
}

TEST(BoundedCliques, CompleteGraphCounts) {
  auto complete = [](std::size_t n, bool upper) {
    Seqs l(n);
    for (std::size_t v = 0; v < n; ++v)
      for (std::size_t u = upper ? v + 1 : 0; u < n; ++u)
        if (u != v) l[v].push_back(u);
    return l;
  };
  EXPECT_EQ(run(complete(5, true), 0).size(), 31u);
  EXPECT_EQ(run(complete(5, true), 3).size(), 25u);
  EXPECT_EQ(run(complete(4, false), 0).size(), 32u);
  EXPECT_EQ(run(complete(12, true), 0).size(), 4095u);
}

TEST(BoundedCliques, OutOfRangeNamesTheFirstEntryInReadingOrder) {
  EXPECT_EQ(failure_of({{1, 5}, {2}, {}}, 3), "index out of bounds: the len is 3 but the index is 5");
  EXPECT_EQ(failure_of({{1, 5}, {2}, {}}, 2), "index out of bounds: the len is 3 but the index is 5");
  EXPECT_EQ(failure_of({{1, 5}, {2}, {}}, 0), "index out of bounds: the len is 3 but the index is 5");
  // Node 0's list comes first even when a later list goes out of range earlier in its own list.
  EXPECT_EQ(failure_of({{2, 9, 7}, {8}, {}}, 3), "index out of bounds: the len is 3 but the index is 9");
  EXPECT_EQ(failure_of({{}, {4}, {3}, {}}, 5), "index out of bounds: the len is 4 but the index is 4");
  EXPECT_EQ(failure_of({{std::uint64_t{1} << 63}}, 2),
            "index out of bounds: the len is 1 but the index is 9223372036854775808");
  EXPECT_EQ(failure_of({{1, 5}, {2}, {}}, 1), "");
}

TEST(BoundedCliques, TreeDescribesTheList) {
  // The tree's arrays must agree with the list they were grown with.
  std::mt19937_64 rng(11);
  for (int round = 0; round < 200; ++round) {
    const auto form = static_cast<ListForm>(round % 6);
    const Seqs nbrs = random_lists(rng, 1 + round % 9, 0.6, form);
    const std::uint64_t maxrank = round % 5;
    const CliqueTree t = enumerate_clique_tree(to_seqlist(nbrs), maxrank);
    ASSERT_TRUE(t.has_tree());
    const std::size_t m = t.cliques.size();
    ASSERT_EQ(t.level_start.back(), m);
    for (std::size_t s = 1; s < t.level_start.size(); ++s)
      for (std::size_t i = t.level_start[s - 1]; i < t.level_start[s]; ++i) ASSERT_EQ(t.cliques.length(i), s);
    for (std::size_t p = 0; p < m; ++p) {
      ASSERT_EQ(t.last[p], t.cliques[p].back());
      for (std::size_t c = t.first_child[p]; c < t.first_child[p + 1]; ++c) {
        ASSERT_EQ(t.cliques.length(c), t.cliques.length(p) + 1);
        ASSERT_TRUE(std::equal(t.cliques[p].begin(), t.cliques[p].end(), t.cliques[c].begin()));
      }
    }
    ASSERT_EQ(t.first_child[m], m);
  }
}

// The walk against its literal model on random lists of every form.
TEST(BoundedCliques, MatchesTheLiteralWalk) {
  std::mt19937_64 rng(7);
  const ListForm forms[] = {ListForm::upper,      ListForm::full,       ListForm::unsorted,
                            ListForm::repeats,    ListForm::self_loops, ListForm::asymmetric,
                            ListForm::out_of_range};
  int failures = 0;
  for (int round = 0; round < 1500; ++round) {
    const ListForm form = forms[round % 7];
    const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 11)(rng);
    const double p = std::uniform_real_distribution<double>(0.1, 0.9)(rng);
    const Seqs nbrs = random_lists(rng, n, p, form);
    const std::uint64_t maxrank = std::uniform_int_distribution<std::uint64_t>(0, 6)(rng);
    const WalkResult want = reference_walk(nbrs, maxrank);
    if (want.failure) {
      ++failures;
      EXPECT_EQ(failure_of(nbrs, maxrank), *want.failure) << "round " << round;
    } else {
      EXPECT_EQ(run(nbrs, maxrank), want.cliques) << "round " << round;
    }
  }
  EXPECT_GT(failures, 50);
}
