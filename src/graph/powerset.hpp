// Sub-sequences of a clique, by position, in a fixed order.
//
// A sub-clique of q is a non-empty sub-sequence of q taken in q's own order.
// They come out by size, ascending, and within one size in lexicographic
// order of their position tuples.  Items are written into a buffer owned by
// the generator and reused for the next item, so walking 2^n sub-cliques
// allocates nothing after the first item of the largest size.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "types.hpp"

namespace vexa::graph {

// The k-element position tuples of 0 .. n-1 in lexicographic order.  k = 0
// yields one empty tuple; k > n yields nothing.
class Combinations {
 public:
  Combinations(std::size_t n, std::size_t k) : n_(n), pos_(k) {
    for (std::size_t i = 0; i < k; ++i) pos_[i] = i;
  }

  // Steps to the next tuple (the first one on the first call); false once
  // they are used up.
  bool next() noexcept {
    const std::size_t k = pos_.size();
    if (!started_) {
      started_ = true;
      return k <= n_;
    }
    if (k == 0) return false;
    std::size_t i = k;
    while (i > 0 && pos_[i - 1] == n_ - k + (i - 1)) --i;
    if (i == 0) return false;
    ++pos_[i - 1];
    for (std::size_t j = i; j < k; ++j) pos_[j] = pos_[j - 1] + 1;
    return true;
  }

  std::span<const std::size_t> positions() const noexcept { return pos_; }

  // Re-arms the stepper for another size without giving up its storage.
  void reset(std::size_t n, std::size_t k) {
    n_ = n;
    started_ = false;
    pos_.resize(k);
    for (std::size_t i = 0; i < k; ++i) pos_[i] = i;
  }

 private:
  std::size_t n_;
  std::vector<std::size_t> pos_;
  bool started_ = false;
};

// The k-node sub-sequences of one clique, in Combinations order.
class CombinationStepper {
 public:
  CombinationStepper(std::span<const Node> q, std::size_t k) : q_(q), comb_(q.size(), k), item_(k) {}

  bool next() {
    if (!comb_.next()) return false;
    auto pos = comb_.positions();
    for (std::size_t i = 0; i < pos.size(); ++i) item_[i] = q_[pos[i]];
    return true;
  }
  std::span<const Node> item() const noexcept { return item_; }

 private:
  std::span<const Node> q_;
  Combinations comb_;
  std::vector<Node> item_;
};

// All sub-cliques of q of sizes 1 .. n (powerset) or 1 .. n-1
// (powersetproper), each size in CombinationStepper order.
class SubcliqueWalk {
 public:
  SubcliqueWalk(std::span<const Node> q, bool proper)
      : q_(q), last_size_(proper ? (q.empty() ? 0 : q.size() - 1) : q.size()), comb_(q.size(), 0) {}

  bool next() {
    while (size_ <= last_size_) {
      if (size_ > 0 && comb_.next()) {
        auto pos = comb_.positions();
        for (std::size_t i = 0; i < pos.size(); ++i) item_[i] = q_[pos[i]];
        return true;
      }
      if (++size_ > last_size_) break;
      comb_.reset(q_.size(), size_);
      item_.resize(size_);
    }
    return false;
  }
  std::span<const Node> item() const noexcept { return item_; }
  // Positions in q of the current item's nodes.
  std::span<const std::size_t> positions() const noexcept { return comb_.positions(); }

 private:
  std::span<const Node> q_;
  std::size_t last_size_;
  std::size_t size_ = 0;
  Combinations comb_;
  std::vector<Node> item_;
};

inline SubcliqueWalk powerset(std::span<const Node> q) { return SubcliqueWalk(q, false); }
inline SubcliqueWalk powersetproper(std::span<const Node> q) { return SubcliqueWalk(q, true); }

}  // namespace vexa::graph
