// The memory a large step may take: read from /proc/meminfo's text, with
// the page cache the system can drop counted as available.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "graph/memory_room.hpp"

using vexa::graph::available_from_meminfo;

namespace {

struct MeminfoCase {
  const char* name;
  std::string text;
  std::optional<unsigned long long> bytes;
};

class MeminfoText : public ::testing::TestWithParam<MeminfoCase> {};

TEST_P(MeminfoText, GivesAvailablePlusFreeSwap) {
  EXPECT_EQ(available_from_meminfo(GetParam().text.c_str()), GetParam().bytes);
}

const std::string kTypical =
    "MemTotal:       24607428 kB\n"
    "MemFree:         1000000 kB\n"
    "MemAvailable:   18058280 kB\n"
    "Buffers:           30292 kB\n"
    "Cached:         16000000 kB\n"
    "SwapCached:            0 kB\n"
    "SwapTotal:       2097148 kB\n"
    "SwapFree:        2000000 kB\n";

INSTANTIATE_TEST_SUITE_P(
    Texts, MeminfoText,
    ::testing::Values(
        // The page cache counts: far more than MemFree.
        MeminfoCase{"typical", kTypical, (18058280ull + 2000000ull) * 1024},
        // SwapCached must not be read for SwapFree, nor MemTotal for MemAvailable.
        MeminfoCase{"order", "SwapFree: 5 kB\nMemTotal: 100 kB\nSwapCached: 7 kB\nMemAvailable: 3 kB\n",
                    8ull * 1024},
        MeminfoCase{"no swap line", "MemTotal: 100 kB\nMemAvailable: 3 kB\n", std::nullopt},
        // Kernels before 3.14 have no MemAvailable: the caller falls back.
        MeminfoCase{"old kernel", "MemTotal: 100 kB\nMemFree: 50 kB\nSwapFree: 0 kB\n", std::nullopt},
        MeminfoCase{"no number", "MemAvailable: kB\nSwapFree: 0 kB\n", std::nullopt},
        MeminfoCase{"last line unterminated", "SwapFree: 0 kB\nMemAvailable: 12", 12ull * 1024},
        // More than 64 bits of bytes: as good as no limit.
        MeminfoCase{"huge", "MemAvailable: 18014398509481984 kB\nSwapFree: 1 kB\n", ~0ull},
        MeminfoCase{"overflowing digits", "MemAvailable: 99999999999999999999999 kB\nSwapFree: 1 kB\n",
                    std::nullopt},
        MeminfoCase{"empty", "", std::nullopt}),
    [](const ::testing::TestParamInfo<MeminfoCase>& param_info) {
      std::string name = param_info.param.name;
      for (char& c : name)
        if (c == ' ') c = '_';
      return name;
    });

// On this system the figure is readable and not absurdly small: a step of
// a megabyte is never refused.
TEST(MemoryRoom, SystemReportsRoomForSmallSteps) {
  EXPECT_GT(vexa::graph::free_memory_bytes(), 1ull << 20);
}

}  // namespace
