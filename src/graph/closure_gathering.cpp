// Gathering the result of the closure weighing: the cliques a star settles
// are appended to one group per size in result order (each star's own sorted
// by size and then ascending; stars run in ascending order of their node, so
// every group stays ascending), kept there as the store later stars read
// them from, and finally written out largest first, in the caller's node
// numbers.  Cost linear in the result, plus a sort of each star's own.
#include "closure_weigher.hpp"

#include <algorithm>
#include <new>

#include "memory_room.hpp"
#include "types.hpp"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vexa::graph::closure {

// The working memory freed by the weighing lies mostly in the middle of the
// heap (buffers that grew by doubling), where the allocator keeps it; on
// glibc it is handed back to the system, so that the caller's conversion of
// the result does not count it on top.
void return_free_memory() noexcept {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

void ClosureWeigher::emit_top(Index t) {
  const std::size_t start = nodes_.size();
  for (Index b : top(t)) nodes_.push_back(b);
  emitted_.push_back({start, nodes_.size() - start, 1, false});
}

// Emits a clique of the closure (its smallest node is a).  A clique of a
// alone is in no other star and is not kept for later ones.
void ClosureWeigher::emit_mask(const Word* s, std::size_t classes, Weight weight) {
  const std::size_t start = nodes_.size();
  for (std::size_t j = 0; j < words_; ++j) {
    for (Word bits = s[j]; bits != 0; bits &= bits - 1) {
      const std::size_t c = j * kWordBits + static_cast<std::size_t>(std::countr_zero(bits));
      for (std::size_t r = class_off_[c]; r < class_off_[c + 1]; ++r) nodes_.push_back(class_nodes_[r]);
    }
  }
  // Classes interleave in node order only when one holds several nodes.
  if (nodes_.size() - start > classes) std::sort(nodes_.begin() + static_cast<std::ptrdiff_t>(start), nodes_.end());
  const std::size_t size = nodes_.size() - start;
  emitted_.push_back({start, size, weight, size > 1});
}

// Lists the clique at `pos` of its size group (dense numbers, a first)
// under each of its other nodes, for their stars.
void ClosureWeigher::keep_for_later_stars(std::size_t a, std::size_t size, std::size_t pos) {
  if (pos >= kNoIndex || earlier_set_.size() + size >= kNoIndex) throw std::bad_alloc();
  grow_checked(earlier_set_, size);
  grow_checked(earlier_next_, size);
  const KeptRef ref{static_cast<Index>(size), static_cast<Index>(pos)};
  for (Index b : kept(ref)) {
    if (b == a) continue;
    earlier_next_.push_back(earlier_head_[b]);
    earlier_head_[b] = static_cast<Index>(earlier_set_.size());
    earlier_set_.push_back(ref);
  }
}

// Appends this node's cliques to their size groups.  All start with the
// node, and nodes are settled in ascending order, so sorting them here
// keeps every size group ascending.
void ClosureWeigher::flush(std::size_t a) {
  if (emitted_.size() > 1) {
    std::sort(emitted_.begin(), emitted_.end(), [&](const Emitted& x, const Emitted& y) {
      if (x.size != y.size) return x.size > y.size;
      return std::lexicographical_compare(nodes_.begin() + static_cast<std::ptrdiff_t>(x.start),
                                          nodes_.begin() + static_cast<std::ptrdiff_t>(x.start + x.size),
                                          nodes_.begin() + static_cast<std::ptrdiff_t>(y.start),
                                          nodes_.begin() + static_cast<std::ptrdiff_t>(y.start + y.size));
    });
  }
  for (const Emitted& e : emitted_) {
    SizeGroup& g = out_[e.size];
    grow_checked(g.nodes, e.size);
    g.nodes.insert(g.nodes.end(), nodes_.begin() + static_cast<std::ptrdiff_t>(e.start),
                   nodes_.begin() + static_cast<std::ptrdiff_t>(e.start + e.size));
    grow_checked(g.weights, 1);
    g.weights.push_back(e.weight);
    if (e.keep) keep_for_later_stars(a, e.size, g.weights.size() - 1);
  }
}

// The size groups, largest first, then the empty top clique if any.
WeightedCliques ClosureWeigher::gather() {
  WeightedCliques result;
  std::size_t cliques = inc_.empty_top ? 1 : 0, nodes = 0;
  for (const SizeGroup& g : out_) {
    cliques += g.weights.size();
    nodes += g.nodes.size();
  }
  auto& offsets = result.cliques.offsets();
  reserve_checked(result.cliques.nodes(), nodes);
  reserve_checked(offsets, cliques + 1);
  reserve_checked(result.weights, cliques);
  for (std::size_t k = out_.size(); k-- > 0;) {
    SizeGroup& g = out_[k];
    for (Index b : g.nodes) result.cliques.nodes().push_back(inc_.node(b));
    result.weights.insert(result.weights.end(), g.weights.begin(), g.weights.end());
    for (std::size_t i = 0; i < g.weights.size(); ++i) offsets.push_back(offsets.back() + k);
    poll_.tick(tick_cost(g.nodes.size()));
    g = SizeGroup{};
  }
  if (inc_.empty_top) {
    result.cliques.close_seq();
    result.weights.push_back(1);
  }
  return result;
}
}  // namespace vexa::graph::closure
