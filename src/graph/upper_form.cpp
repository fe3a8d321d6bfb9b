#include "upper_form.hpp"

#include <algorithm>
#include <functional>

#include "interrupt.hpp"

namespace vexa::graph {

void TidyUpperForm::reserve(std::size_t lists, std::size_t entries) {
  if (!tidy_) return;
  lists_.offsets().reserve(lists + 1);
  unmatched_.reserve(lists);
  lists_.nodes().reserve(entries);
}

void TidyUpperForm::give_up() noexcept {
  tidy_ = false;
  unmatched_ = std::vector<Unmatched>();
}

void TidyUpperForm::grow_room(std::size_t at, std::size_t n) {
  // Within the capacity the vector stays where it is; past it, it grows
  // geometrically as resize() has it.
  std::vector<Node>& nodes = lists_.nodes();
  nodes.resize(std::max(at + n, std::min(at + kRoomStep, nodes.capacity())));
}

void TidyUpperForm::add(const Node* first, const Node* last) {
  if (!tidy_) return;
  trim();
  std::vector<Node>& nodes = lists_.nodes();
  nodes.insert(nodes.end(), first, last);
  lists_.close_seq();
  take_last();
}

void TidyUpperForm::take_last() {
  if (!tidy_) return;
  std::vector<std::size_t>& offsets = lists_.offsets();
  const std::size_t v = offsets.size() - 2;
  // Node numbers, offsets and cursors are all the same integer type, so a
  // store through one array could change any other as far as the compiler
  // knows: the arrays are read through these locals, set once.
  Node* const up = lists_.nodes().data();
  const std::size_t from = offsets[v];
  const Node* p = up + from;
  const Node* const last = up + offsets[v + 1];
  // The entries before v that were stored (those leading the list may have
  // been taken as they were read), in any order: each must be the next
  // unmatched entry of its node's upper part (a repeat finds that entry
  // matched).
  Below cursor(up, unmatched_.data(), v);
  for (; p != last && *p < v; ++p)
    if (!cursor.take(*p)) return give_up();
  if (p != last && *p == v) return give_up();
  // The part after v moves down over the entries before it, checked on the
  // way to be strictly ascending without a branch per entry (lists are
  // short); its first entry is above v.  The entries below v were all
  // found in the upper parts, so the list without them still stands for
  // the same edges if the check fails.
  const std::size_t rest = static_cast<std::size_t>(last - p);
  Node* const dst = up + from;
  Node prev = v, descending = 0;
  for (std::size_t j = 0; j < rest; ++j) {
    const Node x = p[j];
    descending |= static_cast<Node>(x <= prev);
    prev = x;
    dst[j] = x;
  }
  offsets[v + 1] = from + rest;
  lists_.nodes().resize(from + rest);
  if (descending != 0) return give_up();
  top_ = std::max(top_, prev);
  unmatched_.push_back({from, from + rest});
}

std::optional<NeighbourLists> TidyUpperForm::finish() {
  // Every entry below its node was matched to an entry of the upper part of
  // the node it names, so the upper parts hold every edge once.  An entry
  // above its node that no later list matched is an edge listed at one end
  // only: an edge all the same, where it belongs.  What is left to check is
  // that no entry names a node beyond the last list.
  trim();
  if (!tidy_ || (lists_.total_nodes() != 0 && top_ >= lists_.size())) {
    give_up();
    return std::nullopt;
  }
  unmatched_ = std::vector<Unmatched>();
  std::optional<NeighbourLists> out(std::move(lists_));
  lists_ = NeighbourLists();
  return out;
}

NeighbourLists simple_upper_form(const NeighbourLists& adj) {
  const std::size_t n = adj.size();
  InterruptPoll poll;
  {
    TidyUpperForm tidy(n, adj.total_nodes());
    for (std::size_t v = 0; v < n && tidy.tidy(); ++v) {
      tidy.add(adj[v].data(), adj[v].data() + adj.length(v));
      poll.tick(static_cast<std::uint32_t>(adj.length(v) | 1));
    }
    if (auto upper = tidy.finish()) return std::move(*upper);
  }
  return general_upper_form(adj);
}

NeighbourLists general_upper_form(const NeighbourLists& adj) {
  const std::size_t n = adj.size();
  InterruptPoll poll;
  // List v gathers two runs: the entries u > v of adj[v], in their order,
  // and the nodes u > v that list v, ascending (u is taken in order).  The
  // second run is sorted by construction and for symmetric lists equal to
  // the first, so the runs are merged rather than sorted together.
  std::vector<std::size_t> own(n + 1, 0), back(n + 1, 0);
  for (std::size_t v = 0; v < n; ++v) {
    for (Node u : adj[v]) {
      if (u >= n || u == v) continue;
      if (u > v)
        ++own[v + 1];
      else
        ++back[static_cast<std::size_t>(u) + 1];
    }
    poll.tick(static_cast<std::uint32_t>(adj.length(v) | 1));
  }
  for (std::size_t v = 0; v < n; ++v) {
    own[v + 1] += own[v];
    back[v + 1] += back[v];
  }
  std::vector<Node> own_runs(own[n]), back_runs(back[n]);
  {
    std::vector<std::size_t> own_at(own.begin(), own.end() - 1), back_at(back.begin(), back.end() - 1);
    for (std::size_t v = 0; v < n; ++v) {
      for (Node u : adj[v]) {
        if (u >= n || u == v) continue;
        if (u > v)
          own_runs[own_at[v]++] = u;
        else
          back_runs[back_at[static_cast<std::size_t>(u)]++] = v;
      }
      poll.tick(static_cast<std::uint32_t>(adj.length(v) | 1));
    }
  }
  NeighbourLists out;
  std::vector<Node>& nodes = out.nodes();
  std::vector<std::size_t>& offsets = out.offsets();
  nodes.reserve(std::max(own[n], back[n]));
  offsets.reserve(n + 1);
  for (std::size_t v = 0; v < n; ++v) {
    Node* a = own_runs.data() + own[v];
    Node* a_end = own_runs.data() + own[v + 1];
    const Node* b = back_runs.data() + back[v];
    const Node* b_end = back_runs.data() + back[v + 1];
    const bool strict = std::adjacent_find(a, a_end, std::greater_equal<Node>()) == a_end;
    if (strict && a_end - a == b_end - b && std::equal(a, a_end, b)) {
      // Symmetric lists, each entry once: the runs agree.
      nodes.insert(nodes.end(), a, a_end);
      offsets.push_back(nodes.size());
      poll.tick(static_cast<std::uint32_t>((a_end - a) | 1));
      continue;
    }
    if (!strict && !std::is_sorted(a, a_end)) std::sort(a, a_end);
    // Merge, each node once.
    while (a != a_end || b != b_end) {
      const Node x = b == b_end || (a != a_end && *a < *b) ? *a : *b;
      nodes.push_back(x);
      while (a != a_end && *a == x) ++a;
      while (b != b_end && *b == x) ++b;
    }
    offsets.push_back(nodes.size());
    poll.tick(static_cast<std::uint32_t>((own[v + 1] - own[v] + back[v + 1] - back[v]) | 1));
  }
  nodes.shrink_to_fit();
  return out;
}

}  // namespace vexa::graph
