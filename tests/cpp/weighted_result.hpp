// What the weight tests compare: a result as plain vectors, printed readably
// by GoogleTest, and the slow rule every weighting model ends in.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <vector>

#include "graph/types.hpp"

namespace vexa::graph::test_support {

using Clique = std::vector<Node>;
using Lists = std::vector<Clique>;

// Neighbour lists or a clique list, from plain vectors.
inline SeqList make_lists(const Lists& lists) {
  SeqList out;
  for (const auto& l : lists) out.push_back(std::span<const Node>(l));
  return out;
}

struct Result {
  Lists cliques;
  WeightList weights;
  bool operator==(const Result&) const = default;
};

inline Result result_of(const WeightedCliques& r) { return {r.cliques.to_vectors(), r.weights}; }

inline void PrintTo(const Result& r, std::ostream* os) {
  *os << r.cliques.size() << " cliques:";
  for (std::size_t i = 0; i < r.cliques.size() && i < 40; ++i) {
    *os << " [";
    for (Node v : r.cliques[i]) *os << " " << v;
    *os << " ]:" << (i < r.weights.size() ? r.weights[i] : 0);
  }
  if (r.cliques.size() > 40) *os << " ...";
}

// Weighs ascending cliques by the rule itself: largest first, each gets 1
// minus the weights of the members that strictly contain it; zeros dropped.
// The result is in the module's order when `members` is sorted ascending.
inline Result weigh_from_supersets(Lists members) {
  std::stable_sort(members.begin(), members.end(),
                   [](const Clique& a, const Clique& b) { return a.size() > b.size(); });
  std::map<Clique, Weight> weight;
  Result out;
  for (const auto& s : members) {
    Weight w = 1;
    for (const auto& [u, wu] : weight)
      if (u.size() > s.size() && std::includes(u.begin(), u.end(), s.begin(), s.end())) w -= wu;
    weight[s] = w;
    if (w != 0) {
      out.cliques.push_back(s);
      out.weights.push_back(w);
    }
  }
  return out;
}

}  // namespace vexa::graph::test_support
