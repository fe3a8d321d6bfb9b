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

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <random>

namespace vexa::graph {

// The process's random key, drawn on first use.  Should the system have no
// random source, the clock and an address stand in.
inline std::uint64_t hash_seed() noexcept {
  static const std::uint64_t key = []() noexcept {
    std::uint64_t k = 0;
    try {
      std::random_device rd;
      k = (std::uint64_t{rd()} << 32) ^ rd();
    } catch (...) {
      k = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
          reinterpret_cast<std::uintptr_t>(&k);
    }
    return k;
  }();
  return key;
}

// Hash of `count` words (node numbers, or the words of a bit mask) under
// `key`: each word is folded in by a multiply and a shift (so that its
// position matters), then the state is finished with the splitmix64
// finaliser, which spreads every input bit over all 64 output bits.  Tables
// take their slot from the low bits and may keep the high bits as a tag.
inline std::uint64_t hash_nodes(const std::uint64_t* words, std::size_t count, std::uint64_t key) noexcept {
  std::uint64_t h = key ^ (count * 0x9e3779b97f4a7c15ULL);
  for (std::size_t i = 0; i < count; ++i) {
    h = (h ^ words[i]) * 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 31;
  }
  h ^= h >> 29;
  h *= 0x94d049bb133111ebULL;
  h ^= h >> 32;
  return h;
}

}  // namespace vexa::graph
