#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "graph/ascending_runs.hpp"

using namespace vexa::graph;

namespace {

struct RunCase {
  std::vector<Node> run;
  Node lo, hi;
  bool ascending_within;
};

constexpr Node kMax = std::numeric_limits<Node>::max();

class AscendingRuns : public ::testing::TestWithParam<RunCase> {};

// The check alone, the copy into 32-bit entries and the copy into node
// numbers give one answer, and the copies hold the run as it was (cut to 32
// bits) whatever the answer.
TEST_P(AscendingRuns, CheckAndCopiesAgree) {
  const RunCase& c = GetParam();
  EXPECT_EQ(ascending_within(c.run.data(), c.run.size(), c.lo, c.hi), c.ascending_within);
  std::vector<std::uint32_t> narrow(c.run.size() + 1, 7);
  std::vector<Node> wide(c.run.size() + 1, 7);
  EXPECT_EQ(copy_ascending_within(c.run.data(), c.run.size(), c.lo, c.hi, narrow.data()), c.ascending_within);
  EXPECT_EQ(copy_ascending_within(c.run.data(), c.run.size(), c.lo, c.hi, wide.data()), c.ascending_within);
  for (std::size_t j = 0; j < c.run.size(); ++j) {
    EXPECT_EQ(narrow[j], static_cast<std::uint32_t>(c.run[j]));
    EXPECT_EQ(wide[j], c.run[j]);
  }
  // Nothing past the run is written.
  EXPECT_EQ(narrow.back(), 7u);
  EXPECT_EQ(wide.back(), 7u);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, AscendingRuns,
    ::testing::Values(RunCase{{}, 0, 0, true}, RunCase{{}, 5, 3, true},          // empty runs
                      RunCase{{0, 1, 2}, 0, 3, true}, RunCase{{0, 1, 3}, 0, 3, false},  // at hi
                      RunCase{{4, 9, 12}, 4, 13, true}, RunCase{{3, 9, 12}, 4, 13, false},  // below lo
                      RunCase{{4, 9, 9}, 0, 13, false},                          // a repeat
                      RunCase{{4, 9, 8}, 0, 13, false},                          // a descent
                      RunCase{{9, 4, 10}, 0, 13, false},                         // a descent, then ascending
                      RunCase{{kMax}, 0, kMax, false},                           // the largest number
                      RunCase{{kMax, 1}, 0, 5, false},                           // its successor wraps to 0
                      RunCase{{kMax - 1}, 0, kMax, true},
                      RunCase{{std::uint64_t{1} << 32, (std::uint64_t{1} << 32) + 1}, 0, kMax, true}));

}  // namespace
