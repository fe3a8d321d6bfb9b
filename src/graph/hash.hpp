// The hash of every table keyed by input data.
//
// The tables of the weight routines hold node sequences (or masks derived
// from them) and probe linearly.  With a fixed hash function, anyone who
// knows it can build a graph whose cliques all land in one probe run, and a
// linear pass over them turns quadratic.  So the mixer takes a key drawn at
// random once per process: the same input hashes differently in every
// process, and no input can be prepared in advance to collide.  No result
// depends on the hash values: the tables keep their own insertion order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>

#include "types.hpp"

namespace vexa::graph {

// The process's random key, drawn on first use.
inline std::uint64_t hash_seed() {
  static const std::uint64_t key = [] {
    std::random_device rd;
    return (std::uint64_t{rd()} << 32) ^ rd();
  }();
  return key;
}

// Hash of k node numbers under `key`: each number is folded in by a
// multiply and a shift (so that its position matters), then the state is
// finished with the splitmix64 finaliser, which spreads every input bit over
// all 64 output bits.  Tables take their slot from the low bits and may keep
// the high bits as a tag.
inline std::uint64_t hash_nodes(const Node* nodes, std::size_t k, std::uint64_t key) noexcept {
  std::uint64_t h = key ^ (k * 0x9e3779b97f4a7c15ULL);
  for (std::size_t i = 0; i < k; ++i) {
    h = (h ^ nodes[i]) * 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 31;
  }
  h ^= h >> 29;
  h *= 0x94d049bb133111ebULL;
  h ^= h >> 32;
  return h;
}

// Hash of one 64-bit word (a bit mask) under `key`.
inline std::uint64_t hash_word(std::uint64_t word, std::uint64_t key) noexcept {
  return hash_nodes(&word, 1, key);
}

}  // namespace vexa::graph
