// Sub-sequences of a clique, by position, in a fixed order.
//
// A sub-clique of q is a non-empty sub-sequence of q taken in q's own order.
// The weight routines walk them by size, ascending, and within one size in
// lexicographic order of their position tuples, looking each one up in a
// table.  Items are written into a buffer owned by the walker and reused for
// the next item, so walking 2^n sub-cliques allocates nothing after the
// first item of the largest size.
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

// The k-node sub-sequences of one sequence after another, in Combinations
// order, with one position array and one item buffer for all of them.
class Subsequences {
 public:
  // Calls f(item) for each k-node sub-sequence of q; `item` is valid until
  // f returns.
  template <class F>
  void each(std::span<const Node> q, std::size_t k, F&& f) {
    comb_.reset(q.size(), k);
    item_.resize(k);
    while (comb_.next()) {
      const auto pos = comb_.positions();
      for (std::size_t i = 0; i < k; ++i) item_[i] = q[pos[i]];
      f(std::span<const Node>(item_));
    }
  }

 private:
  Combinations comb_{0, 0};
  std::vector<Node> item_;
};

}  // namespace vexa::graph
