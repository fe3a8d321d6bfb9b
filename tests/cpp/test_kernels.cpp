// The small shared kernels of src/graph, against plain computations.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <random>
#include <vector>

#include "graph/bits.hpp"
#include "graph/sorted.hpp"
#include "graph/types.hpp"

using namespace vexa::graph;

TEST(Kernels, BitCountsAgreeOnBothBranches) {
  std::mt19937_64 rng(1);
  std::vector<std::uint64_t> words{0, 1, ~std::uint64_t{0}, std::uint64_t{1} << 63, 0x5555555555555555ull};
  for (int i = 0; i < 1000; ++i) words.push_back(rng() & rng());
  std::size_t want = 0;
  for (auto w : words) {
    ASSERT_EQ(popcount64(w), static_cast<unsigned>(std::popcount(w)));
    ASSERT_EQ(popcount<false>(w), static_cast<unsigned>(std::popcount(w)));
    want += static_cast<std::size_t>(std::popcount(w));
  }
  const std::size_t got = with_popcount([&]<bool kHw>() {
    std::size_t c = 0;
    for (auto w : words) c += popcount<kHw>(w);
    return c;
  });
  EXPECT_EQ(got, want);
}

TEST(Kernels, WordCounts) {
  const std::size_t bits[] = {0, 1, 63, 64, 65, 128, 129, 1000, 1024, 1025};
  const std::size_t words[] = {0, 1, 1, 1, 2, 2, 3, 16, 16, 17};
  const std::size_t pow2[] = {1, 1, 1, 1, 2, 2, 4, 16, 16, 32};
  for (std::size_t i = 0; i < std::size(bits); ++i) {
    EXPECT_EQ(words_for_bits(bits[i]), words[i]) << bits[i];
    EXPECT_EQ(pow2_words_for_bits(bits[i]), pow2[i]) << bits[i];
  }
}

TEST(Kernels, StrictlyAscending) {
  const std::vector<std::vector<Node>> yes{{}, {5}, {0, 1}, {1, 7, 9}}, no{{1, 1}, {2, 1}, {0, 3, 2}, {0, 1, 1}};
  for (const auto& s : yes) EXPECT_TRUE(strictly_ascending(std::span<const Node>(s)));
  for (const auto& s : no) EXPECT_FALSE(strictly_ascending(std::span<const Node>(s)));
}

// Seeking ascending keys with the cursor finds exactly the intersection,
// whether it steps or gallops.
TEST(Kernels, SortedCursorFindsTheIntersection) {
  std::mt19937_64 rng(2);
  for (int round = 0; round < 400; ++round) {
    auto draw = [&](std::size_t n, Node range) {
      std::vector<Node> v(n);
      for (Node& x : v) x = rng() % range;
      std::sort(v.begin(), v.end());
      v.erase(std::unique(v.begin(), v.end()), v.end());
      return v;
    };
    const std::vector<Node> hay = draw(rng() % 300, 400), keys = draw(rng() % (round % 2 ? 8 : 300), 400);
    std::vector<Node> want, got;
    std::set_intersection(hay.begin(), hay.end(), keys.begin(), keys.end(), std::back_inserter(want));
    SortedCursor<Node> cursor(hay.data(), hay.data() + hay.size(), keys.size());
    for (Node k : keys) {
      cursor.seek(k);
      if (cursor.on(k)) {
        got.push_back(*cursor.position());
        cursor.skip();
      }
    }
    EXPECT_EQ(got, want) << "round " << round;
    EXPECT_EQ(gallop_pays(hay.size(), keys.size()), hay.size() > kGallopRatio * keys.size());
  }
}

// The branch-free binary search lands where std::lower_bound does, for
// every key just below, at and just above every entry (and past both ends)
// of ranges of each length up to past a few halvings, with and without
// repeated entries.
TEST(Kernels, BranchFreeLowerBoundAgreesWithTheLibrary) {
  std::mt19937_64 rng(3);
  for (std::size_t n = 0; n <= 70; ++n) {
    for (int round = 0; round < 20; ++round) {
      std::vector<Node> v(n);
      for (Node& x : v) x = 1 + static_cast<Node>(rng() % (round % 2 ? 8 : 1000));
      std::sort(v.begin(), v.end());
      std::vector<Node> keys{0, 1002};
      for (Node x : v) keys.insert(keys.end(), {x - 1, x, x + 1});
      for (Node key : keys) {
        const Node* const got = lower_bound_branchless(v.data(), v.data() + n, key);
        EXPECT_EQ(got - v.data(), std::lower_bound(v.begin(), v.end(), key) - v.begin())
            << "n " << n << " key " << key;
      }
    }
  }
}
