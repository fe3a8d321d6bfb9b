#include "bounded_cliques.hpp"

#include <algorithm>
#include <limits>
#include <span>
#include <string>

#include "interrupt.hpp"
#include "sorted.hpp"

namespace vexa::graph {
namespace {

// The tree does not fit the index type; grow it again with a wider one.
struct IndexOverflow {};

template <class Pos>
struct Tree {
  std::vector<Pos> last;
  std::vector<Pos> first_child;
  std::vector<std::size_t> level_start;
};

[[noreturn]] void out_of_range(std::size_t n, Node k) {
  throw Failure("index out of bounds: the len is " + std::to_string(n) + " but the index is " +
                std::to_string(k));
}

// Reads every list once.  The walk uses every entry of every list, in
// reading order, while it extends the single-node cliques, before it looks
// at anything else; so the first entry >= n in the flat array is the one it
// would fail on.  Returns whether every list is strictly ascending.
}  // namespace

bool check_neighbour_lists(const NeighbourLists& nbrs) {
  const std::size_t n = nbrs.size();
  InterruptPoll poll;
  for (Node k : nbrs.nodes())
    if (k >= n) out_of_range(n, k);
  for (std::size_t v = 0; v < n; ++v) {
    if (!strictly_ascending(nbrs[v])) return false;
    poll.tick(static_cast<std::uint32_t>(nbrs.length(v) | 1));
  }
  return true;
}

namespace {

// Candidate filters: append the entries of the tail [a, a_end) of a
// candidate list that occur in nbrs[x], in tail order, once per occurrence
// in the tail.

// For strictly ascending lists: both lists are sets, so "occurs anywhere"
// is plain intersection and the tail order is ascending.  The entries of the
// shorter list are sought in the longer one (SortedCursor steps or
// binary-searches, as their lengths say).
template <class Pos>
void filter_ascending(const Pos* a, const Pos* a_end, std::span<const Node> nx, std::vector<Pos>& out) {
  const std::size_t na = static_cast<std::size_t>(a_end - a);
  const std::size_t nb = nx.size();
  if (na == 0 || nb == 0) return;
  if (gallop_pays(na, nb)) {
    SortedCursor<Pos> cursor(a, a_end, nb);
    for (const Node y : nx) {
      cursor.seek(y);
      if (cursor.done()) return;
      if (cursor.on(y)) {
        out.push_back(*cursor.position());
        cursor.skip();
      }
    }
  } else {
    SortedCursor<Node> cursor(nx.data(), nx.data() + nb, na);
    for (; a != a_end; ++a) {
      const Node u = *a;
      cursor.seek(u);
      if (cursor.done()) return;
      if (cursor.on(u)) {
        out.push_back(*a);
        cursor.skip();
      }
    }
  }
}

// For lists in any form: nbrs[x] is marked in a stamp array, then the tail
// is tested entry by entry.  All entries are < n (checked up front).
class Marks {
 public:
  explicit Marks(std::size_t n) : stamp_(n, 0) {}

  template <class Pos>
  void filter(const Pos* a, const Pos* a_end, std::span<const Node> nx,
              std::vector<Pos>& out) {
    if (a == a_end || nx.empty()) return;
    if (++current_ == 0) {
      std::fill(stamp_.begin(), stamp_.end(), 0u);
      current_ = 1;
    }
    for (Node y : nx) stamp_[y] = current_;
    for (; a != a_end; ++a)
      if (stamp_[*a] == current_) out.push_back(*a);
  }

 private:
  std::vector<std::uint32_t> stamp_;
  std::uint32_t current_ = 0;
};

template <class Pos>
void grow(const NeighbourLists& nbrs, std::uint64_t maxrank, bool ascending, Tree<Pos>& t) {
  constexpr std::size_t kMax = std::numeric_limits<Pos>::max();
  const std::size_t n = nbrs.size();
  if (n >= kMax) throw IndexOverflow{};

  t.last.resize(n);
  for (std::size_t v = 0; v < n; ++v) t.last[v] = static_cast<Pos>(v);
  t.level_start = {0, n};
  if (n == 0 || maxrank == 1) {
    t.first_child.assign(n + 1, static_cast<Pos>(n));
    return;
  }

  // The two-node cliques: [v] is extended by nbrs[v] as it stands.
  const std::vector<Node>& flat = nbrs.nodes();
  const std::vector<std::size_t>& offsets = nbrs.offsets();
  if (flat.size() >= kMax - n) throw IndexOverflow{};
  t.first_child.reserve(n + flat.size() + 1);
  t.first_child.resize(n);
  for (std::size_t v = 0; v < n; ++v) t.first_child[v] = static_cast<Pos>(n + offsets[v]);
  t.last.reserve(n + flat.size());
  for (Node k : flat) t.last.push_back(static_cast<Pos>(k));
  t.level_start.push_back(t.last.size());

  InterruptPoll poll;
  Marks marks(ascending ? 0 : n);
  std::vector<Pos> next;
  // `size`: the clique size of the level whose candidate lists come next.
  for (std::size_t size = 2; size != maxrank; ++size) {
    const std::size_t parents = t.level_start[size - 2];
    const std::size_t lo = t.level_start[size - 1];
    const std::size_t hi = t.level_start[size];
    if (lo == hi) break;
    next.clear();
    for (std::size_t p = parents; p < lo; ++p) {
      // p's children are this level's cliques [b, e); their last nodes are
      // p's candidate list.
      const std::size_t b = t.first_child[p];
      const std::size_t e = p + 1 < lo ? std::size_t{t.first_child[p + 1]} : hi;
      for (std::size_t c = b; c < e; ++c) {
        t.first_child.push_back(static_cast<Pos>(hi + next.size()));
        const Pos* tail = t.last.data() + c + 1;
        const Pos* tail_end = t.last.data() + e;
        const std::span<const Node> nx = nbrs[t.last[c]];
        if (ascending)
          filter_ascending(tail, tail_end, nx, next);
        else
          marks.filter(tail, tail_end, nx, next);
        if (next.size() >= kMax - hi) throw IndexOverflow{};
        poll.tick();
      }
    }
    t.last.insert(t.last.end(), next.begin(), next.end());
    t.level_start.push_back(t.last.size());
  }
  while (t.level_start.size() > 2 && t.level_start.back() == t.level_start[t.level_start.size() - 2])
    t.level_start.pop_back();
  // The cliques of the last level were not extended.
  t.first_child.resize(t.last.size() + 1, static_cast<Pos>(t.last.size()));
}

// Writes out every clique: its parent's nodes, then its last node.
template <class Pos>
CliqueList materialize(const Tree<Pos>& t) {
  const std::size_t m = t.last.size();
  std::size_t total = 0;
  for (std::size_t s = 1; s < t.level_start.size(); ++s)
    total += s * (t.level_start[s] - t.level_start[s - 1]);

  std::vector<Node> node_array(total);
  std::vector<std::size_t> offset_array(m + 1);
  Node* nodes = node_array.data();
  std::size_t* offsets = offset_array.data();
  offsets[0] = 0;
  const std::size_t n = t.level_start.size() > 1 ? t.level_start[1] : 0;
  for (std::size_t v = 0; v < n; ++v) {
    nodes[v] = v;
    offsets[v + 1] = v + 1;
  }
  InterruptPoll poll;
  for (std::size_t s = 2; s < t.level_start.size(); ++s) {
    for (std::size_t p = t.level_start[s - 2]; p < t.level_start[s - 1]; ++p) {
      const Node* parent = nodes + offsets[p];
      for (std::size_t c = t.first_child[p]; c < t.first_child[p + 1]; ++c) {
        Node* dst = nodes + offsets[c];
        std::copy(parent, parent + (s - 1), dst);
        dst[s - 1] = t.last[c];
        offsets[c + 1] = offsets[c] + s;
      }
      poll.tick(static_cast<std::uint32_t>(t.first_child[p + 1] - t.first_child[p] + 1));
    }
  }
  CliqueList out;
  out.nodes() = std::move(node_array);
  out.offsets() = std::move(offset_array);
  return out;
}

}  // namespace

void CliqueTree::drop_tree() noexcept {
  std::vector<Index>().swap(last);
  std::vector<Index>().swap(first_child);
}

CliqueTree enumerate_clique_tree(const NeighbourLists& nbrs, std::uint64_t maxrank) {
  CliqueTree out;
  // maxrank 1 stops before any list entry is read.
  out.ascending = maxrank == 1 || check_neighbour_lists(nbrs);
  try {
    Tree<Index> t;
    grow(nbrs, maxrank, out.ascending, t);
    out.cliques = materialize(t);
    out.last = std::move(t.last);
    out.first_child = std::move(t.first_child);
    out.level_start = std::move(t.level_start);
  } catch (const IndexOverflow&) {
    Tree<std::uint64_t> t;
    grow(nbrs, maxrank, out.ascending, t);
    out.cliques = materialize(t);
    out.level_start = std::move(t.level_start);
  }
  return out;
}

CliqueList enumerate_cliques(const NeighbourLists& nbrs, std::uint64_t maxrank) {
  return std::move(enumerate_clique_tree(nbrs, maxrank).cliques);
}

}  // namespace vexa::graph
