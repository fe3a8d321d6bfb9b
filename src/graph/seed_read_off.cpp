// The cliques of non-zero weight, largest size first, each size in
// lexicographic order, read off the seed walk's tree (seed_tree.hpp).
//
// A level lists its cliques in lexicographic order already, so its kept
// cliques, in level order, are its size group.  The kept weights are
// gathered first, largest size first, which places every size group and
// gives the offsets; then the nodes are read off seed by seed, depth first:
// a seed's subtree visited in preorder meets each level's cliques in that
// level's order (a trie's preorder is lexicographic; Knuth, The Art of
// Computer Programming 3, 6.3), so each size group is written front to back
// through a cursor of its own, while the path from the seed holds the nodes
// of the clique visited.  Cost: one visit per clique and k nodes written per
// kept clique of k nodes; no row is written for the others.
#include <algorithm>
#include <cstddef>
#include <vector>

#include "seed_tree.hpp"

namespace vexa::graph::seed {
namespace {

// The depth-first read-off of the kept cliques' nodes: per size, where its
// next kept clique goes, and the nodes of the clique visited.
class ReadOff {
 public:
  ReadOff(const SeedTree& tree, InterruptPoll& poll) : tree_(tree), poll_(poll) {}

  WeightedCliques run() {
    const std::size_t levels = tree_.levels();
    const std::vector<std::size_t>& start = tree_.level_start;
    const Weight* const w = tree_.w;
    WeightedCliques res;
    // The kept weights, largest size first, and so how many each size keeps.
    std::vector<std::size_t> kept(levels + 1, 0);
    {
      WeightList& weights = res.weights;
      weights.reserve(start.back());
      RawArray<Weight> scratch;
      unwritten_array(scratch, kPollBlock);
      Weight* const block = scratch.data();
      for (std::size_t k = levels; k >= 1; --k) {
        const std::size_t before = weights.size();
        // A block at a time: every weight is stored in the block and the
        // count moves past the non-zero ones, so that no branch depends on
        // a weight; the kept ones are then appended in one copy.
        for_chunks(poll_, start[k] - start[k - 1], [&](std::size_t lo, std::size_t hi) {
          const Weight* const from = w + start[k - 1];
          std::size_t j = 0;
          for (std::size_t i = lo; i < hi; ++i) {
            block[j] = from[i];
            j += from[i] != 0;
          }
          weights.insert(weights.end(), block, block + j);
        });
        kept[k] = weights.size() - before;
      }
    }
    std::vector<std::size_t> node_at(levels + 1, 0);
    std::size_t nodes = 0, cliques = 0;
    for (std::size_t k = levels; k >= 1; --k) {
      node_at[k] = nodes;
      nodes += k * kept[k];
      cliques += kept[k];
    }
    fresh_array(res.cliques.nodes(), nodes, poll_);
    {
      std::vector<std::size_t>& off = res.cliques.offsets();
      reserve_fresh(off, cliques + 1);
      std::size_t o = 0;
      for (std::size_t k = levels; k >= 1; --k) {
        append_strided(off, o, k, kept[k], poll_);
        o += k * kept[k];
      }
      off.push_back(o);
    }
    read_off_nodes(res.cliques.nodes().data(), node_at);
    return res;
  }

 private:
  // The kept cliques' nodes, seed by seed, each size group from node_at[k]
  // of out_nodes on.
  void read_off_nodes(Node* out_nodes, const std::vector<std::size_t>& node_at) {
    const std::size_t levels = tree_.levels();
    std::vector<Node*> cursors(levels + 1, nullptr);
    for (std::size_t k = 1; k <= levels; ++k) cursors[k] = out_nodes + node_at[k];
    std::vector<Node> path(levels + 1, 0);
    cursor_ = cursors.data();
    path_ = path.data();
    const Weight* const w = tree_.w;
    const Index* const fc = tree_.first_child.data();
    for (std::size_t v = 0; v < tree_.level_start[1]; ++v) {
      poll_.every<4096>(v);
      path_[0] = v;
      if (w[v] != 0) *cursor_[1]++ = v;
      if (fc[v] != fc[v + 1]) read_children<1>(v, 1);
    }
    cursor_ = nullptr;  // both arrays end here
    path_ = nullptr;
  }

  // The subtree below clique g of k nodes (the first k of the path), read
  // off as above; K is k up to kUnrolledSizes, where the copies of the path
  // unroll, and 0 past it.
  static constexpr std::size_t kUnrolledSizes = 8;
  template <std::size_t K>
  void read_children(std::size_t g, std::size_t k_run) {
    const std::size_t k = K != 0 ? K : k_run;
    const Index* const last = tree_.last.data();
    const Index* const fc = tree_.first_child.data();
    const Weight* const w = tree_.w;
    Node* const path = path_;
    const std::size_t b = fc[g], e = fc[g + 1];
    Index from = fc[b];
    for (std::size_t c = b; c < e; ++c) {
      const Index to = fc[c + 1];
      path[k] = last[c];
      if (w[c] != 0) {
        Node* const d = cursor_[k + 1];
        for (std::size_t i = 0; i <= k; ++i) d[i] = path[i];
        cursor_[k + 1] = d + k + 1;
      }
      if (from != to) {
        if constexpr (K != 0 && K + 1 < kUnrolledSizes) {
          read_children<K + 1>(c, k + 1);
        } else {
          read_children<0>(c, k + 1);
        }
      }
      from = to;
    }
    poll_.tick(tick_cost((k + 1) * (e - b)));
  }

  const SeedTree& tree_;
  InterruptPoll& poll_;
  Node** cursor_ = nullptr;  // per size, where its next kept clique goes
  Node* path_ = nullptr;     // the nodes of the clique visited
};

}  // namespace

WeightedCliques read_off_nonzero(const SeedTree& tree, InterruptPoll& poll) { return ReadOff(tree, poll).run(); }

}  // namespace vexa::graph::seed
