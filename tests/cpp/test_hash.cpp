#include <gtest/gtest.h>

#include <vector>

#include "graph/hash.hpp"
#include "graph/sequence_index.hpp"

using namespace vexa::graph;

namespace {

// Inverse of x -> x ^ (x >> s).
std::uint64_t unshift(std::uint64_t y, unsigned s) {
  std::uint64_t x = y;
  for (unsigned i = 0; i < 64 / s + 1; ++i) x = y ^ (x >> s);
  return x;
}

// Inverse of multiplication by an odd number, modulo 2^64 (Newton's method).
std::uint64_t inverse(std::uint64_t m) {
  std::uint64_t x = m;
  for (int i = 0; i < 6; ++i) x *= 2 - m * x;
  return x;
}

// Node numbers whose one-node sequences all hash, under the fixed key
// `key`, to values with the same low 24 bits: every one of them has the
// same home slot in any table of up to 2^24 slots.  Built by running the
// mixer backwards from the wanted hash values, which is what anyone who
// knows a fixed key can do.
std::vector<Node> colliding_nodes(std::size_t count, std::uint64_t key) {
  std::vector<Node> out;
  for (std::uint64_t i = 1; i <= count; ++i) {
    std::uint64_t h = (i << 24) | 0xABCDE;
    h = unshift(h, 32);
    h *= inverse(0x94d049bb133111ebULL);
    h = unshift(h, 29);
    h = unshift(h, 31);
    h *= inverse(0xbf58476d1ce4e5b9ULL);
    out.push_back(h ^ key ^ 0x9e3779b97f4a7c15ULL);
  }
  return out;
}

}  // namespace

TEST(Hash, KeysBuiltAgainstAFixedKeyDoNotCollideUnderTheProcessKey) {
  constexpr std::size_t kCount = 20000;
  for (std::uint64_t fixed : {std::uint64_t{0}, std::uint64_t{0x243F6A8885A308D3}}) {
    const std::vector<Node> nodes = colliding_nodes(kCount, fixed);
    // The family is what it claims to be: under the fixed key, one slot.
    for (Node v : nodes) ASSERT_EQ(hash_nodes(&v, 1, fixed) & 0xFFFFFF, 0xABCDEu);

    CliqueList list;
    for (Node v : nodes) list.push_back({v});
    const SequenceIndex index(list);
    for (std::size_t i = 0; i < nodes.size(); i += 997) EXPECT_EQ(index.find(list[i]), i);
    // Under the fixed key finding them all would take kCount * (kCount + 1)
    // / 2 = 2e8 probes; at most half full, a spread hash needs about 1.5
    // per key.
    EXPECT_LT(index.total_probes(), 3 * kCount);
  }
}

TEST(Hash, PositionsAndLengthsCount) {
  const std::uint64_t key = hash_seed();
  const Node ab[] = {1, 2}, ba[] = {2, 1}, abc[] = {1, 2, 0};
  EXPECT_NE(hash_nodes(ab, 2, key), hash_nodes(ba, 2, key));
  EXPECT_NE(hash_nodes(ab, 2, key), hash_nodes(abc, 3, key));
  EXPECT_NE(hash_nodes(ab, 0, key), hash_nodes(ab, 1, key));
  EXPECT_EQ(hash_seed(), key);
}
