// The seed walk's two outputs against the slow models, on graphs whose
// levels mix cliques with and without children: every clique with its
// weight (the per-seed weighing), and the non-zero cliques read off the tree
// largest first (the depth-first read-off, one cursor per size).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "graph/seed_cliques.hpp"
#include "graph/weighted_cliques.hpp"
#include "reference_cliques.hpp"
#include "edge_graphs.hpp"
#include "weighted_result.hpp"

using namespace vexa::graph;
using namespace vexa::graph::test_support;
using vexa::testing::reference_pruned;
using vexa::testing::reference_walk;
using vexa::testing::Seqs;

namespace {

struct Shape {
  const char* name;
  std::size_t n;
  Edges edges;
};

std::vector<Shape> shapes() {
  std::vector<Shape> out;
  {
    // Isolated first and last nodes; a 7-clique whose sub-cliques have
    // children or not depending on the pendants hung on it.
    Edges e;
    add_clique(e, {1, 2, 3, 4, 5, 6, 7});
    add_clique(e, {1, 2, 3, 8});
    add_clique(e, {5, 6, 9});
    e.emplace_back(7, 10);
    out.push_back({"7-clique with pendants", 12, e});
  }
  {
    Edges e;
    add_clique(e, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    out.push_back({"10-clique", 10, e});
  }
  {
    // Kept cliques past 8 nodes, where the read-off copies its path in a
    // loop rather than unrolled: two 11-cliques that share 9 nodes (the
    // shared 9-clique weighs -1) beside a 10-clique that shares one node
    // with them, so that one seed's subtree keeps cliques of 9 and 11 nodes.
    Edges e;
    add_clique(e, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    add_clique(e, {0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 12});
    add_clique(e, {12, 13, 14, 15, 16, 17, 18, 19, 20, 21});
    out.push_back({"overlapping cliques past 8 nodes", 22, e});
  }
  {
    Edges e;
    add_random_edges(e, 7, 0, 40, 0.15);
    add_clique(e, {3, 9, 14, 20, 22, 31, 35, 38});
    out.push_back({"random with a planted 8-clique", 40, e});
  }
  {
    // Every list length from 0 to 13, each mod 4, with edges among the
    // later neighbours so that the seeds' rows are not empty.
    Edges e;
    add_random_edges(e, 11, 0, 15, 0.55);
    out.push_back({"dense random", 15, e});
  }
  {
    // Seeds whose subtrees stop at the edges (a star, a matching) next to
    // seeds with triangles and 4-cliques.
    Edges e{{0, 1}, {0, 2}, {0, 3}, {0, 4}, {5, 6}, {7, 8}};
    add_clique(e, {2, 9, 10});
    add_clique(e, {4, 10, 11, 12});
    out.push_back({"stars beside small cliques", 13, e});
  }
  {
    // Lists of 70 and of 150 entries (masks of 2 and 4 words), their
    // entries joined sparsely among themselves, with a planted 7-clique
    // through both hubs.
    Edges e;
    for (Node x = 2; x < 72; ++x) e.emplace_back(0, x);
    for (Node x = 2; x < 152; ++x) e.emplace_back(1, x);
    add_random_edges(e, 13, 2, 160, 0.04);
    add_clique(e, {0, 1, 5, 40, 64, 70, 71});
    out.push_back({"lists of several mask words", 160, e});
  }
  out.push_back({"no edges", 5, {}});
  out.push_back({"path", 6, {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}}});
  return out;
}

class SeedReadOff : public ::testing::TestWithParam<Shape> {};

}  // namespace

TEST_P(SeedReadOff, BothOutputsAgreeWithTheModels) {
  const Shape& s = GetParam();
  const Seqs upper = upper_of(s.n, s.edges);
  const SeqList lists = make_lists(upper);
  for (std::uint64_t k : {0, 1, 2, 3, 4, 5, 6, 9, 10}) {
    const Lists listed = reference_walk(upper, k).cliques;
    const auto weights = reference_pruned(listed);
    ASSERT_TRUE(weights) << s.name;
    const auto all = enumerate_seed_cliques(lists, k);
    ASSERT_TRUE(all) << s.name;
    EXPECT_EQ(result_of(*all), (Result{listed, *weights})) << s.name << ", maxrank " << k;

    Lists ascending = listed;
    std::sort(ascending.begin(), ascending.end());
    const auto nonzero = enumerate_seed_cliques(lists, k, SeedOutput::nonzero_largest_first);
    ASSERT_TRUE(nonzero) << s.name;
    EXPECT_EQ(result_of(*nonzero), weigh_from_supersets(ascending)) << s.name << ", maxrank " << k;

    // Told that the lists ascend, the walk skips its order check and gives
    // the same results.
    const auto told = enumerate_seed_cliques(lists, k, SeedOutput::nonzero_largest_first, SeedLists::ascending);
    ASSERT_TRUE(told) << s.name;
    EXPECT_EQ(result_of(*told), result_of(*nonzero)) << s.name << ", maxrank " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Graphs, SeedReadOff, ::testing::ValuesIn(shapes()),
                         [](const ::testing::TestParamInfo<Shape>& shape) {
                           std::string name;
                           for (const char* c = shape.param.name; *c != '\0'; ++c)
                             name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                           return name;
                         });

// More list entries than a core's cache holds (about 80,000 upper entries),
// where the masks are built with the neighbours' lists asked for ahead: the
// full list against the tree route, and the non-zero read-off against the
// full list's non-zero cliques, largest first, each size ascending.
TEST(SeedReadOff, ListsPastTheCacheAgreeWithTheTreeRoute) {
  Edges e;
  add_random_edges(e, 17, 0, 6000, 0.0045);
  add_clique(e, {10, 700, 2500, 2501, 4000, 5999});
  const SeqList lists = make_lists(upper_of(6000, e));
  ASSERT_GE(lists.total_nodes(), std::size_t{1} << 16);
  for (std::uint64_t k : {0, 2, 3, 6}) {
    const auto all = enumerate_seed_cliques(lists, k);
    ASSERT_TRUE(all);
    const Result walked = result_of(*all);
    EXPECT_EQ(walked, result_of(enumerate_weighted_cliques(lists, k, WeightRule::pruned, CliqueRoute::tree)))
        << "maxrank " << k;
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < walked.weights.size(); ++i)
      if (walked.weights[i] != 0) kept.push_back(i);
    std::stable_sort(kept.begin(), kept.end(), [&](std::size_t a, std::size_t b) {
      return walked.cliques[a].size() > walked.cliques[b].size();
    });
    Result expected;
    for (std::size_t i : kept) {
      expected.cliques.push_back(walked.cliques[i]);
      expected.weights.push_back(walked.weights[i]);
    }
    const auto nonzero = enumerate_seed_cliques(lists, k, SeedOutput::nonzero_largest_first);
    ASSERT_TRUE(nonzero);
    EXPECT_EQ(result_of(*nonzero), expected) << "maxrank " << k;
  }
}
