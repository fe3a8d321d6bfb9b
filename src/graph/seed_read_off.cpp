// The cliques of non-zero weight, largest size first, each size in
// lexicographic order, read off the seed walk's tree (seed_tree.hpp) a block
// at a time (KeptCliques, seed_cliques.hpp).
//
// A level lists its cliques in lexicographic order already, so its kept
// cliques, in level order, are its size group: the read-off goes size by
// size, largest first, and scans each level front to back for the non-zero
// weights.  A kept clique's nodes are its last node and those of its
// ancestors, one per level above it.  The children of a clique are
// contiguous and the parents of a level's cliques ascend with them (the
// tree is a trie stored level by level; Fredkin 1960), so the ancestors of
// the kept cliques of one size are met in ascending order at every level:
// one cursor per level follows them, stepping to the next parent or, past a
// stretch of cliques with nothing kept below, searching the child links
// by galloping (Bentley and Yao 1976).  Only when a cursor moves does the
// one above it have to be looked at, and the nodes of the path stay put
// while it does not.
//
// Cost: one weight read per clique, plus per kept clique of k nodes k nodes
// written and at most k - 1 cursor moves of O(log gap) compares each; in
// all at most one more pass over every level's child links.  A block holds
// at most block_capacity(k) cliques, small enough to stay in cache while
// the caller turns it into its own objects; every kept clique's nodes are
// never stored at once.
//
// Measured (callgrind, the whole Python call of the decomposition, against
// writing every kept clique's nodes, offsets and weights out first and
// reading them back): a 3D geometric graph (n = 20,000, degree 16) at
// maxrank 3, 329 M instructions before, 304 M now (the read-off itself 47 M
// before, 20 M now, with the count of what each size keeps), below the
// 316 M of enumerate_cliques_with_weights on its upper form; preferential
// attachment (n = 50,000, m = 4) at maxrank 3, 162 M before, 153 M now;
// G(2000, 0.02) at maxrank 64, 28.7 M before, 27.6 M now; G(60, 0.7) at
// maxrank 64, where the tree is deep and most cliques weigh zero, 329 M
// before, 322 M now.  The call's peak memory on the geometric graph drops
// by 12 MB at maxrank 3 and 25 MB at maxrank 4.
#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "seed_cliques.hpp"
#include "seed_tree.hpp"

namespace vexa::graph {
namespace {

// A block's nodes and weights take at most this many bytes, half of the
// smallest first-level data cache of current cores (32 KB): the result's
// objects are made from them while they are still there, instead of from
// an array of every kept clique that was written out to memory first.
constexpr std::size_t kBlockBytes = std::size_t{1} << 14;

// The child links of one level ascend, first_child[g] being where the
// children of g begin.  Returns the last place q in [p, end) with
// first_child[q] <= c, that is the parent of c, given first_child[p] <= c <
// first_child[end].  The parents of a level's kept cliques are usually the
// one before or the next, so those are tried first; a longer way is
// galloped over.  (The branch-free search of sorted.hpp in place of the
// library's measured the same here, 1.00 on G(2000, 0.02): the gallop is
// rare.)
inline std::size_t parent_from(const Index* first_child, std::size_t p, std::size_t end, std::size_t c) noexcept {
  if (first_child[p + 1] > c) return p;
  ++p;
  if (first_child[p + 1] > c) return p;
  // first_child[p] <= c: double the step until it overshoots (or meets
  // end), then search the last step.
  std::size_t lo = p, step = 1;
  for (;;) {
    const std::size_t hi = std::min(end, lo + step);
    if (first_child[hi] > c) {
      const Index* const at = std::upper_bound(first_child + lo + 1, first_child + hi, static_cast<Index>(c));
      return static_cast<std::size_t>(at - first_child) - 1;
    }
    lo = hi;
    step *= 2;
  }
}

}  // namespace

KeptCliques::KeptCliques(seed::SeedTree&& tree, RawArray<Weight>&& weights)
    : tree_(std::make_unique<seed::SeedTree>(std::move(tree))), weights_(std::move(weights)) {
  tree_->w = weights_.data();
  const std::vector<std::size_t>& start = tree_->level_start;
  const std::size_t levels = tree_->levels();
  kept_.assign(levels + 1, 0);
  for (std::size_t k = 1; k <= levels; ++k) {
    const Weight* const from = weights_.data() + start[k - 1];
    std::size_t count = 0;
    seed::for_chunks(poll_, start[k] - start[k - 1], [&](std::size_t lo, std::size_t hi) {
      for (std::size_t i = lo; i < hi; ++i) count += from[i] != 0;
    });
    kept_[k] = count;
    total_ += count;
    total_nodes_ += k * count;
  }
  parent_.assign(levels + 1, 0);
  path_.assign(levels + 1, 0);
  const std::size_t most = std::max(block_capacity(1), seed::kPollBlock);
  unwritten_array(block_nodes_, kBlockBytes / sizeof(Node) + std::max<std::size_t>(levels, 1));
  unwritten_array(block_weights_, block_capacity(1));
  unwritten_array(found_, most);
  rewind();
}

KeptCliques::KeptCliques(KeptCliques&&) noexcept = default;
KeptCliques& KeptCliques::operator=(KeptCliques&&) noexcept = default;
KeptCliques::~KeptCliques() = default;

std::size_t KeptCliques::block_capacity(std::size_t k) noexcept {
  return std::max<std::size_t>(1, kBlockBytes / (k * sizeof(Node) + sizeof(Weight)));
}

void KeptCliques::rewind() noexcept { start_size(tree_ ? tree_->levels() : 0); }

void KeptCliques::start_size(std::size_t k) noexcept {
  // Sizes that keep nothing are passed over.
  while (k >= 1 && kept_[k] == 0) --k;
  k_ = k;
  at_ = k >= 1 ? tree_->level_start[k - 1] : 0;
  // The cursors start on the ancestors of the level's first clique, from
  // where those of its kept cliques ascend.
  parents_known_ = false;
  if (k > 1) seek_parents(at_);
}

// Moves the cursors of the levels above k_ to the ancestors of clique c of
// k_ nodes, and path_ to their nodes: from the parent up, until a cursor
// stays where it was (the first time, all the way up).
void KeptCliques::seek_parents(std::size_t c) noexcept {
  const std::vector<std::size_t>& start = tree_->level_start;
  const Index* const fc = tree_->first_child.data();
  const Index* const last = tree_->last.data();
  std::size_t child = c;
  for (std::size_t j = k_ - 1; j >= 1; --j) {
    const std::size_t from = parents_known_ ? parent_[j] : start[j - 1];
    const std::size_t p = parent_from(fc, from, start[j], child);
    if (parents_known_ && p == parent_[j]) break;
    parent_[j] = p;
    path_[j - 1] = last[p];
    child = p;
  }
  parents_known_ = true;
}

// Writes the nodes and weights of the `count` kept cliques of k nodes whose
// places found_ holds, clique after clique.  The parent's cursor is looked
// at here, and the rest of the path only when it moves past the next one; K is k up to
// kUnrolledSizes, where the copies of the path unroll, and 0 past it.
template <std::size_t K>
void KeptCliques::take_found(std::size_t k_run, std::size_t count, Node* nodes, Weight* weights) noexcept {
  const std::size_t k = K != 0 ? K : k_run;
  const Index* const fc = tree_->first_child.data();
  const Index* const last = tree_->last.data();
  const Weight* const w = tree_->w;
  const Index* const found = found_.data();
  Node* const path = path_.data();
  std::size_t p = parent_[k - 1];
  for (std::size_t f = 0; f < count; ++f) {
    const std::size_t c = found[f];
    if (k > 1 && fc[p + 1] <= c) {
      // Most often c's parent is the next clique of its level, p + 1: then
      // only its last node changes on the path.  p + 1 has the same parent
      // as p: p has children, so it is not the last child of its parent
      // (whose last child extends it by its last candidate, which leaves no
      // candidate to extend that child by).  As first_child[p + 1] <= c,
      // p + 1 is still on the parents' level.
      if (fc[p + 2] > c) {
        ++p;
        path[k - 2] = last[p];
      } else {
        parent_[k - 1] = p;
        seek_parents(c);
        p = parent_[k - 1];
      }
    }
    path[k - 1] = last[c];
    Node* const d = nodes + f * k;
    for (std::size_t x = 0; x < k; ++x) d[x] = path[x];
    weights[f] = w[c];
  }
  parent_[k - 1] = p;
}

CliqueBlock KeptCliques::next_block() {
  while (k_ >= 1) {
    const std::size_t k = k_;
    const std::size_t end = tree_->level_start[k];
    const std::size_t room = block_capacity(k);
    const Weight* const w = tree_->w;
    Index* const found = found_.data();
    Node* const nodes = block_nodes_.data();
    Weight* const weights = block_weights_.data();
    std::size_t count = 0;
    while (count < room && at_ < end) {
      // A stretch of the level: the places of its non-zero weights are
      // gathered without a branch on the weight, at most as many as the
      // block has room for; then the nodes of each are written.
      const std::size_t hi = std::min(end, at_ + seed::kPollBlock);
      const std::size_t want = room - count;
      std::size_t j = 0, i = at_;
      for (; i < hi && j < want; ++i) {
        found[j] = static_cast<Index>(i);
        j += w[i] != 0;
      }
      Node* const to = nodes + count * k;
      switch (k) {
        case 1: take_found<1>(k, j, to, weights + count); break;
        case 2: take_found<2>(k, j, to, weights + count); break;
        case 3: take_found<3>(k, j, to, weights + count); break;
        case 4: take_found<4>(k, j, to, weights + count); break;
        case 5: take_found<5>(k, j, to, weights + count); break;
        case 6: take_found<6>(k, j, to, weights + count); break;
        case 7: take_found<7>(k, j, to, weights + count); break;
        case 8: take_found<8>(k, j, to, weights + count); break;
        default: take_found<0>(k, j, to, weights + count); break;
      }
      count += j;
      poll_.tick(tick_cost((i - at_) + j * k));
      at_ = i;
    }
    if (at_ >= end) start_size(k - 1);
    if (count != 0) return {k, count, nodes, weights};
  }
  return {};
}

WeightedCliques KeptCliques::materialize() {
  rewind();
  WeightedCliques out;
  std::vector<Node>& nodes = out.cliques.nodes();
  std::vector<std::size_t>& offsets = out.cliques.offsets();
  reserve_fresh(nodes, total_nodes_);
  reserve_fresh(offsets, total_ + 1);
  reserve_fresh(out.weights, total_);
  for (CliqueBlock b = next_block(); b.count != 0; b = next_block()) {
    seed::append_strided(offsets, nodes.size(), b.size, b.count, poll_);
    nodes.insert(nodes.end(), b.nodes, b.nodes + b.count * b.size);
    out.weights.insert(out.weights.end(), b.weights, b.weights + b.count);
  }
  offsets.push_back(nodes.size());
  rewind();
  return out;
}

}  // namespace vexa::graph
