// Slow, literal models of the breadth-first walk, of the sub-clique order
// and of the two weight rules, for checking the real routines against: a
// queue of candidate lists copied per clique, membership by scanning, and a
// std::map keyed by whole node sequences.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "graph/powerset.hpp"
#include "graph/types.hpp"

namespace vexa::testing {

using graph::Node;
using graph::Weight;
using Seq = std::vector<Node>;
using Seqs = std::vector<Seq>;

// The k-node sub-sequences of one clique, in graph::Combinations order.
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
  graph::Combinations comb_;
  std::vector<Node> item_;
};

// All sub-cliques of q of sizes 1 .. n (powerset) or 1 .. n-1
// (powersetproper), each size in CombinationStepper order: the order in
// which the weight routines look them up.
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

 private:
  std::span<const Node> q_;
  std::size_t last_size_;
  std::size_t size_ = 0;
  graph::Combinations comb_;
  std::vector<Node> item_;
};

inline SubcliqueWalk powerset(std::span<const Node> q) { return SubcliqueWalk(q, false); }
inline SubcliqueWalk powersetproper(std::span<const Node> q) { return SubcliqueWalk(q, true); }

inline graph::SeqList to_seqlist(const Seqs& seqs) {
  graph::SeqList out;
  for (const Seq& s : seqs) out.push_back(std::span<const Node>(s));
  return out;
}

// The walk, step by step; the failure comes back as its message.
struct WalkResult {
  Seqs cliques;
  std::optional<std::string> failure;
};

inline WalkResult reference_walk(const Seqs& nbrs, std::uint64_t maxrank) {
  WalkResult out;
  const std::size_t n = nbrs.size();
  std::deque<Seq> queue(nbrs.begin(), nbrs.end());
  for (std::size_t v = 0; v < n; ++v) out.cliques.push_back({v});
  for (std::size_t cursor = 0; cursor < out.cliques.size(); ++cursor) {
    const Seq c = out.cliques[cursor];
    if (c.size() == maxrank) break;
    const Seq l = queue.front();
    queue.pop_front();
    for (std::size_t j = 0; j < l.size(); ++j) {
      const Node k = l[j];
      Seq grown = c;
      grown.push_back(k);
      out.cliques.push_back(grown);
      if (k >= n) {
        out.failure = "index out of bounds: the len is " + std::to_string(n) +
                      " but the index is " + std::to_string(k);
        out.cliques.clear();
        return out;
      }
      Seq cand;
      for (std::size_t i = j + 1; i < l.size(); ++i) {
        bool found = false;
        for (Node y : nbrs[k]) found = found || y == l[i];
        if (found) cand.push_back(l[i]);
      }
      queue.push_back(cand);
    }
  }
  return out;
}

// The weight rules, literally; nullopt where a sub-clique is not listed.
inline std::map<Seq, std::size_t> last_positions(const Seqs& list) {
  std::map<Seq, std::size_t> pos;
  for (std::size_t i = 0; i < list.size(); ++i) pos[list[i]] = i;
  return pos;
}

inline std::optional<std::vector<Weight>> reference_pruned(const Seqs& list) {
  const auto pos = last_positions(list);
  std::vector<Weight> w(list.size(), 0);
  for (std::size_t i = list.size(); i-- > 0;) {
    const Weight wi = graph::wrap_sub(1, w[i]);
    if (wi != 0) {
      auto walk = powersetproper(list[i]);
      while (walk.next()) {
        auto it = pos.find(Seq(walk.item().begin(), walk.item().end()));
        if (it == pos.end()) return std::nullopt;
        w[it->second] = graph::wrap_add(w[it->second], wi);
      }
    }
    w[i] = wi;
  }
  return w;
}

inline std::optional<std::vector<Weight>> reference_noprune(const Seqs& list) {
  const auto pos = last_positions(list);
  std::vector<Weight> w(list.size(), 0);
  for (const Seq& c : list) {
    auto walk = powerset(c);
    while (walk.next()) {
      auto it = pos.find(Seq(walk.item().begin(), walk.item().end()));
      if (it == pos.end()) return std::nullopt;
      const Weight sign = (c.size() + walk.item().size()) % 2 == 0 ? 1 : -1;
      w[it->second] = graph::wrap_add(w[it->second], sign);
    }
  }
  return w;
}

// Random neighbour lists of the kinds the walk must handle.
enum class ListForm { upper, full, unsorted, repeats, self_loops, asymmetric, out_of_range };

inline Seqs random_lists(std::mt19937_64& rng, std::size_t n, double p, ListForm form) {
  std::bernoulli_distribution edge(p);
  std::vector<std::vector<bool>> adj(n, std::vector<bool>(n, false));
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = i + 1; j < n; ++j) adj[i][j] = adj[j][i] = edge(rng);
  Seqs lists(n);
  for (std::size_t v = 0; v < n; ++v) {
    for (std::size_t u = 0; u < n; ++u) {
      const bool keep = form == ListForm::upper || form == ListForm::out_of_range ? u > v : u != v;
      if (adj[v][u] && keep) lists[v].push_back(u);
    }
  }
  std::uniform_int_distribution<std::size_t> pick(0, n == 0 ? 0 : n - 1);
  switch (form) {
    case ListForm::upper:
    case ListForm::full:
      break;
    case ListForm::unsorted:
      for (Seq& l : lists)
        if (std::bernoulli_distribution(0.5)(rng)) std::shuffle(l.begin(), l.end(), rng);
      break;
    case ListForm::repeats:
      for (Seq& l : lists) {
        if (!l.empty() && std::bernoulli_distribution(0.3)(rng)) {
          const std::size_t at = std::uniform_int_distribution<std::size_t>(0, l.size() - 1)(rng);
          l.insert(l.begin() + static_cast<std::ptrdiff_t>(at), l[at]);
        }
      }
      break;
    case ListForm::self_loops:
      // Still strictly ascending, but a node may list itself.
      for (std::size_t v = 0; v < n; ++v) {
        if (std::bernoulli_distribution(0.3)(rng)) {
          lists[v].push_back(v);
          std::sort(lists[v].begin(), lists[v].end());
        }
      }
      break;
    case ListForm::asymmetric:
      for (Seq& l : lists)
        std::erase_if(l, [&](Node) { return std::bernoulli_distribution(0.25)(rng); });
      break;
    case ListForm::out_of_range:
      if (n > 0) {
        const std::size_t v = pick(rng);
        lists[v].push_back(n + pick(rng));
      }
      break;
  }
  return lists;
}

}  // namespace vexa::testing
