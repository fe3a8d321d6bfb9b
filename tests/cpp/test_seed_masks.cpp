// The seed walk's rows (SeedMasks::build) against the plain definition: row
// j of list v holds position i > j exactly when nbrs[v][i] occurs in
// nbrs[nbrs[v][j]].  The lists are drawn around the switches of the build:
// 63, 64 and 65 entries (one word, the last short list, the first long
// one), neighbours whose lists lie wholly past the seed's last node, empty
// lists, and graphs big enough for the lists to be asked for ahead.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "graph/bits.hpp"
#include "graph/interrupt.hpp"
#include "graph/seed_masks.hpp"
#include "graph/types.hpp"

using namespace vexa::graph;
using seed::Mask;
using seed::SeedMasks;

namespace {

using Lists = std::vector<std::vector<Node>>;

NeighbourLists to_lists(const Lists& lists) {
  NeighbourLists out;
  for (const auto& l : lists) out.push_back(std::span<const Node>(l));
  return out;
}

// Builds the rows and compares every word of every row (the words past the
// list's length included: they must be clear) with the definition.
void expect_rows(const Lists& lists, const std::string& what) {
  const NeighbourLists nbrs = to_lists(lists);
  SeedMasks masks;
  InterruptPoll poll;
  masks.build(nbrs, poll);
  for (std::size_t v = 0; v < lists.size(); ++v) {
    const auto& l = lists[v];
    const std::size_t words = pow2_words_for_bits(l.size());
    const Mask* rows = masks.rows(v);
    for (std::size_t j = 0; j < l.size(); ++j) {
      std::vector<Mask> want(words, 0);
      const auto& adj = lists[l[j]];
      for (std::size_t i = j + 1; i < l.size(); ++i)
        if (std::binary_search(adj.begin(), adj.end(), l[i])) want[i / 64] |= Mask{1} << (i % 64);
      for (std::size_t w = 0; w < words; ++w)
        ASSERT_EQ(rows[j * words + w], want[w]) << what << ": list " << v << " of " << l.size() << " entries, row "
                                                << j << ", word " << w;
    }
  }
}

// `count` distinct nodes of [lo, hi), ascending (all of them if fewer).
std::vector<Node> draw(std::mt19937_64& rng, Node lo, Node hi, std::size_t count) {
  const std::size_t range = hi > lo ? hi - lo : 0;
  std::vector<Node> out;
  if (count >= range) {
    for (Node x = lo; x < hi; ++x) out.push_back(x);
    return out;
  }
  std::set<Node> picked;
  while (picked.size() < count) picked.insert(lo + static_cast<Node>(rng() % range));
  return {picked.begin(), picked.end()};
}

// Upper lists (every entry above its node) or plain ascending ones (any node
// but its own, so that a list may hold the first node of a list it is read
// for), of lengths drawn from `lengths`.
Lists random_lists(std::mt19937_64& rng, std::size_t n, const std::vector<std::size_t>& lengths, bool upper) {
  Lists lists(n);
  for (std::size_t v = 0; v < n; ++v) {
    const std::size_t want = lengths[rng() % lengths.size()];
    if (upper) {
      lists[v] = draw(rng, static_cast<Node>(v + 1), static_cast<Node>(n), want);
    } else {
      auto l = draw(rng, 0, static_cast<Node>(n), want + 1);
      l.erase(std::remove(l.begin(), l.end(), static_cast<Node>(v)), l.end());
      if (l.size() > want) l.resize(want);
      lists[v] = std::move(l);
    }
  }
  return lists;
}

}  // namespace

TEST(SeedMasks, RowsOfRandomListsAroundTheWordLength) {
  struct Shape {
    const char* name;
    std::size_t n;
    std::vector<std::size_t> lengths;
  };
  const std::vector<Shape> shapes{
      {"short and empty", 40, {0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {"63 to 65", 300, {0, 1, 5, 63, 64, 65}},
      {"exactly 64", 200, {64}},
      {"long", 700, {0, 3, 65, 127, 128, 129, 300}},
      {"dense", 90, {20, 40, 60, 80}},
  };
  std::mt19937_64 rng(12);
  for (const auto& shape : shapes)
    for (bool upper : {true, false})
      for (int round = 0; round < 3; ++round)
        expect_rows(random_lists(rng, shape.n, shape.lengths, upper),
                    std::string(shape.name) + (upper ? ", upper" : ", ascending") + ", round " + std::to_string(round));
}

// Seeds of 63, 64 and 65 entries whose neighbours' lists hold nodes only
// past the seed's last node, only before its first, or only its own first
// node: every row is empty.  A second seed over the same nodes then checks
// that no place of the first is left behind.
TEST(SeedMasks, NeighboursOutsideTheSeed) {
  for (std::size_t d : {1, 2, 63, 64, 65}) {
    const std::size_t n = 2 * d + 40;
    Lists lists(n);
    // List 0 and list 1: nodes 2 .. d+1 (list 1 read second, over the same
    // nodes, with one more to its end).
    for (std::size_t i = 0; i < d; ++i) lists[0].push_back(static_cast<Node>(2 + i));
    lists[1] = lists[0];
    lists[1].push_back(static_cast<Node>(d + 2));
    std::mt19937_64 rng(d);
    for (std::size_t i = 0; i < d; ++i) {
      auto& l = lists[2 + i];
      switch (i % 3) {
        case 0: l = draw(rng, static_cast<Node>(d + 3), static_cast<Node>(n), 1 + rng() % 7); break;
        case 1: l = {0, 1}; break;
        default: l = {2}; break;  // the seeds' first node, which no row holds
      }
    }
    expect_rows(lists, "outside, d = " + std::to_string(d));
    // The same seeds where the neighbours also reach into the seed.
    for (std::size_t i = 0; i + 1 < d; i += 2) lists[2 + i].push_back(static_cast<Node>(3 + i));
    for (auto& l : lists) std::sort(l.begin(), l.end()), l.erase(std::unique(l.begin(), l.end()), l.end());
    expect_rows(lists, "reaching in, d = " + std::to_string(d));
  }
}

// Every neighbour's list full: each row holds every later position (the
// highest bit of a full word included).
TEST(SeedMasks, CompleteGraphs) {
  for (std::size_t n : {2, 3, 63, 64, 65, 66, 130}) {
    Lists lists(n);
    for (std::size_t v = 0; v < n; ++v)
      for (std::size_t u = v + 1; u < n; ++u) lists[v].push_back(static_cast<Node>(u));
    expect_rows(lists, "complete, n = " + std::to_string(n));
  }
}

// A graph of many short lists, past the size from which the build asks for
// each seed's neighbour lists ahead of reading them.
TEST(SeedMasks, LargeSparseGraph) {
  std::mt19937_64 rng(5);
  expect_rows(random_lists(rng, 30000, {0, 1, 2, 3, 4, 6, 9, 14}, true), "large sparse");
}

TEST(SeedMasks, NoListsAndEmptyLists) {
  expect_rows({}, "no lists");
  expect_rows(Lists(7), "empty lists");
}
