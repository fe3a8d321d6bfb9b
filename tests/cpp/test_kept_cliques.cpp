// The kept cliques handed out block by block off the seed walk's tree:
// the blocks, concatenated, against materialize() and against the walk's
// full list with its zero weights dropped and its sizes put largest first;
// the blocks' shape (one size each, at most block_capacity() cliques, full
// unless their size ends); sizes that keep nothing; counts that fall just
// below, on and just past a block's capacity.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "graph/seed_cliques.hpp"
#include "edge_graphs.hpp"
#include "weighted_result.hpp"

using namespace vexa::graph;
using namespace vexa::graph::test_support;

namespace {

// The walk's full list, zero weights dropped, sizes largest first, each size
// in the list's (lexicographic) order.
Result kept_of_full_list(const SeqList& lists, std::uint64_t maxrank) {
  const auto all = enumerate_seed_cliques(lists, maxrank);
  EXPECT_TRUE(all);
  const Result full = result_of(*all);
  std::vector<std::size_t> kept;
  for (std::size_t i = 0; i < full.weights.size(); ++i)
    if (full.weights[i] != 0) kept.push_back(i);
  std::stable_sort(kept.begin(), kept.end(), [&](std::size_t a, std::size_t b) {
    return full.cliques[a].size() > full.cliques[b].size();
  });
  Result out;
  for (std::size_t i : kept) {
    out.cliques.push_back(full.cliques[i]);
    out.weights.push_back(full.weights[i]);
  }
  return out;
}

// Every block of `kept`, checked for its shape, concatenated.
Result concatenated_blocks(KeptCliques& kept) {
  Result out;
  std::size_t last_size = SIZE_MAX;
  bool last_full = true;
  for (CliqueBlock b = kept.next_block(); b.count != 0; b = kept.next_block()) {
    EXPECT_GE(b.size, 1u);
    EXPECT_LE(b.count, KeptCliques::block_capacity(b.size));
    // Sizes never grow, and a block short of its capacity ends its size.
    EXPECT_LE(b.size, last_size);
    if (b.size == last_size) {
      EXPECT_TRUE(last_full) << "a short block in the middle of size " << b.size;
    }
    last_full = b.count == KeptCliques::block_capacity(b.size);
    last_size = b.size;
    for (std::size_t i = 0; i < b.count; ++i) {
      out.cliques.emplace_back(b.nodes + i * b.size, b.nodes + (i + 1) * b.size);
      out.weights.push_back(b.weights[i]);
    }
  }
  EXPECT_EQ(kept.next_block().count, 0u) << "blocks after the end";
  return out;
}

// The counts the read-off gives against the cliques it hands out.
void expect_counts(const KeptCliques& kept, const Result& want) {
  std::size_t nodes = 0;
  std::vector<std::size_t> per_size(66, 0);
  for (const Clique& c : want.cliques) {
    nodes += c.size();
    ++per_size[std::min<std::size_t>(c.size(), 65)];
  }
  EXPECT_EQ(kept.size(), want.cliques.size());
  EXPECT_EQ(kept.total_nodes(), nodes);
  for (std::size_t k = 0; k < 65; ++k) EXPECT_EQ(kept.kept(k), per_size[k]) << "size " << k;
}

// The three readings of one walk agree with the full list.
void expect_readings_agree(const SeqList& lists, std::uint64_t maxrank, const std::string& what) {
  SCOPED_TRACE(what + ", maxrank " + std::to_string(maxrank));
  const Result want = kept_of_full_list(lists, maxrank);
  auto kept = walk_kept_cliques(lists, maxrank);
  ASSERT_TRUE(kept);
  expect_counts(*kept, want);
  EXPECT_EQ(concatenated_blocks(*kept), want);
  // Read again, after a rewind, and as arrays (materialize() starts from
  // the first block whatever was handed out before).
  kept->rewind();
  EXPECT_EQ(concatenated_blocks(*kept), want);
  kept->rewind();
  kept->next_block();
  EXPECT_EQ(result_of(kept->materialize()), want);
  EXPECT_EQ(result_of(*enumerate_seed_cliques(lists, maxrank, SeedOutput::nonzero_largest_first)), want);
}

struct Shape {
  const char* name;
  std::size_t n;
  Edges edges;
};

void PrintTo(const Shape& s, std::ostream* os) { *os << s.name; }

std::vector<Shape> shapes() {
  std::vector<Shape> out;
  for (std::uint64_t seed : {1, 2, 3}) {
    Edges e;
    add_random_edges(e, seed, 0, 60, 0.2 + 0.1 * static_cast<double>(seed));
    out.push_back({"dense random", 60, e});
  }
  {
    // Many seeds of few cliques, kept cliques spread thinly over long
    // levels, with planted cliques whose sub-cliques mostly weigh zero.
    Edges e;
    add_random_edges(e, 5, 0, 3000, 0.003);
    add_clique(e, {7, 300, 1200, 1201, 2000, 2999});
    add_clique(e, {8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19});
    out.push_back({"sparse random with planted cliques", 3000, e});
  }
  {
    // Two 11-cliques sharing 9 nodes beside a 10-clique: kept cliques past
    // 8 nodes, where the path is copied in a loop, and a zero-weight
    // stretch between the kept ones of one size.
    Edges e;
    add_clique(e, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    add_clique(e, {0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 12});
    add_clique(e, {12, 13, 14, 15, 16, 17, 18, 19, 20, 21});
    out.push_back({"overlapping cliques past 8 nodes", 22, e});
  }
  {
    // A star's hub with a thousand later neighbours, some of them joined.
    Edges e;
    for (Node x = 1; x <= 1000; ++x) e.emplace_back(0, x);
    add_random_edges(e, 9, 1, 1001, 0.004);
    out.push_back({"hub of a thousand", 1001, e});
  }
  out.push_back({"no edges", 4, {}});
  out.push_back({"no nodes", 0, {}});
  return out;
}

class KeptCliqueBlocks : public ::testing::TestWithParam<Shape> {};

}  // namespace

TEST_P(KeptCliqueBlocks, BlocksMaterializeAndFullListAgree) {
  const Shape& s = GetParam();
  const SeqList lists = make_lists(upper_of(s.n, s.edges));
  for (std::uint64_t k : {0, 1, 2, 3, 4, 6, 9, 64}) expect_readings_agree(lists, k, s.name);
}

INSTANTIATE_TEST_SUITE_P(Graphs, KeptCliqueBlocks, ::testing::ValuesIn(shapes()),
                         [](const ::testing::TestParamInfo<Shape>& shape) {
                           std::string name;
                           for (const char* c = shape.param.name; *c != '\0'; ++c)
                             name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                           return name + "_" + std::to_string(shape.index);
                         });

// Disjoint triangles, disjoint edges and isolated nodes at maxrank 3: the
// triangles, the edges and the isolated nodes are kept (weight 1), and every
// edge and node of a triangle and every node of an edge weighs zero.  With
// counts of B - 1, B and B + 1 for each size's capacity B, a size's last
// block is short, exactly full, or holds one clique; with none of a size,
// that size hands out no block.
TEST(KeptCliqueReadOff, CountsAroundABlocksCapacity) {
  for (int shift : {-1, 0, 1}) {
    for (bool with_edges : {false, true}) {
      const std::size_t triangles = KeptCliques::block_capacity(3) + shift;
      const std::size_t pairs = with_edges ? KeptCliques::block_capacity(2) + shift : 0;
      const std::size_t singles = KeptCliques::block_capacity(1) + shift;
      Edges e;
      Node v = 0;
      for (std::size_t t = 0; t < triangles; ++t, v += 3) add_clique(e, {v, v + 1, v + 2});
      for (std::size_t p = 0; p < pairs; ++p, v += 2) e.emplace_back(v, v + 1);
      const std::size_t n = v + singles;
      const SeqList lists = make_lists(upper_of(n, e));
      const std::string what = "shift " + std::to_string(shift) + (with_edges ? ", with edges" : "");
      auto kept = walk_kept_cliques(lists, 3);
      ASSERT_TRUE(kept) << what;
      EXPECT_EQ(kept->kept(3), triangles) << what;
      EXPECT_EQ(kept->kept(2), pairs) << what;
      EXPECT_EQ(kept->kept(1), singles) << what;
      std::vector<std::pair<std::size_t, std::size_t>> shape;  // (size, count) per block
      for (CliqueBlock b = kept->next_block(); b.count != 0; b = kept->next_block()) shape.emplace_back(b.size, b.count);
      std::vector<std::pair<std::size_t, std::size_t>> want;
      for (std::size_t k : {3, 2, 1}) {
        std::size_t left = kept->kept(k);
        while (left != 0) {
          const std::size_t take = std::min(left, KeptCliques::block_capacity(k));
          want.emplace_back(k, take);
          left -= take;
        }
      }
      EXPECT_EQ(shape, want) << what;
      expect_readings_agree(lists, 3, what);
    }
  }
}

// maxrank 1 keeps every node, as one level of its own.
TEST(KeptCliqueReadOff, SingleNodesOnly) {
  for (std::size_t n : {std::size_t{1}, KeptCliques::block_capacity(1), 2 * KeptCliques::block_capacity(1) + 1}) {
    Edges e;
    add_random_edges(e, n, 0, static_cast<Node>(n), 0.01);
    const SeqList lists = make_lists(upper_of(n, e));
    auto kept = walk_kept_cliques(lists, 1);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->size(), n);
    Result want;
    for (Node x = 0; x < n; ++x) {
      want.cliques.push_back({x});
      want.weights.push_back(1);
    }
    EXPECT_EQ(concatenated_blocks(*kept), want) << n << " nodes";
    EXPECT_EQ(result_of(kept->materialize()), want) << n << " nodes";
  }
}

// A block holds at most as many bytes as the read-off allows, and at least
// one clique of any size a walk can give.
TEST(KeptCliqueReadOff, CapacityShrinksWithTheSize) {
  for (std::size_t k = 1; k <= 1025; ++k) {
    EXPECT_GE(KeptCliques::block_capacity(k), 1u) << k;
    EXPECT_LE(KeptCliques::block_capacity(k + 1), KeptCliques::block_capacity(k)) << k;
  }
}
