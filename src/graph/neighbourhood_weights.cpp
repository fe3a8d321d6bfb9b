// The weighted clique decomposition of a graph without a binding cut,
// computed node by node inside closed neighbourhoods of at most 64 nodes.
//
// When no maximal clique exceeds maxrank, the family is every clique of the
// graph, and weight(S) = 1 - (sum of the weights of the cliques strictly
// containing S).  The family is closed under taking subsets, so Moebius
// inversion on the subset order (Rota 1964) solves that system in closed
// form:
//
//     weight(S) = A(C(S)),  A(C) = sum over the cliques T of G[C] of (-1)^|T|,
//
// where C(S) is the set of common neighbours of S and the empty T counts
// (A(empty) = 1).  Two facts make A cheap:
//
// - A node u of C adjacent to every other node of C pairs the cliques of
//   G[C] off (T with u and T without u), so A(C) = 0.  Hence a non-zero
//   weight needs S closed: S holds every node adjacent to all of S and all
//   of C(S), which are exactly the nodes lying in every maximal clique that
//   holds S.  The closure of S is S plus those nodes.
// - For any u in C the cliques inside N[u] sum to zero in the same way, so
//   A(C) = -(sum over the x of C outside N[u], in turn, of A(C n N(x)) with
//   the x taken before removed from C).  This is the branching of a clique
//   search with a pivot, and u is chosen, as in the pivot rule of Tomita,
//   Tanaka and Takahashi (2006), with the most neighbours in C.
//
// Node by node, v in increasing order, everything is done on words whose
// bit p stands for the p-th smallest node of N[v]: a mask lists its nodes
// ascending, the nodes below v are the bits below v's, and of two sets of
// one size the one holding the lowest bit where they differ comes first in
// the result.  The closed cliques whose smallest node is v (all inside
// N[v]) are listed each once by prefix-preserving closure extension (Uno,
// Asai, Uchida and Arimura, LCM, 2004), each weighed by A of its common
// neighbours, and those of non-zero weight appended to their size groups
// in the order they are listed, which is the result order.  Each node's
// list holds its closed neighbourhood, the node itself included, so that
// N[v] is read in place; a clique is kept as its places in N[v] and v, and
// its nodes are read off v's list when the result is gathered, size by
// size: there the loop over a clique's nodes runs as many times for each.
//
// One pass over the degrees inside a candidate set serves both halves: its
// cone points are the closure's new nodes (a first one below the node
// tried rejects the extension), and the node of most neighbours among the
// rest is the pivot of its weight.  Sets of up to three nodes are weighed
// in closed form, 1 - nodes + edges - triangles.
//
// Cost, with d the largest degree (d < 64): O(sum of deg(x)^2) word
// operations for the neighbourhoods' rows; O(d) extensions of O(d) word
// operations per closed clique listed; per weight, O(d) word operations per
// node of a pivoting search tree on C(S), exponential in |C(S)| at worst
// (3^(|C|/3), Moon and Moser), which is why the work is counted against a
// budget and the caller falls back to the general route when it runs out.
//
// Where the work goes, on a 3D geometric graph (n 20,000, mean degree 16,
// maxrank 64; callgrind instructions, the whole call 200.4 M, this route
// 144.4 M of them, the result's Python objects 47.1 M, no more than the
// least C code needs to create them):
// - rows: about 33 M (with setting and clearing the places) for
//   2.76 M entries of upper lists read (each edge inside N[v] once, from
//   its smaller end; the last node of N[v] besides v is not read, its only
//   neighbour above it in N[v] being v, which spares few entries: with the
//   nodes numbered at random, the largest of N[v] has a short upper list).
//   Only 1.41 M of the entries lie inside N[v]: reading nothing but the
//   edges inside would at best halve this part;
// - listing: 576,567 nodes tried, 315,141 of them refused by a cone point
//   below (926 at the root), 261,426 closed cliques, 151,302 of them with a
//   non-zero weight; the passes over the degrees (those of the weighing's
//   searches included) 36 M plus most of the 16 M of bit scans and counts,
//   the rest of the listing 14 M, the step counts 3 M; the gathering 9 M,
//   7.4 M of it reading off the cliques' nodes.  The nodes tried have 0 to
//   35 common neighbours, most 2 to 9, refused and accepted alike, so no
//   one size dominates;
// - weighing: after the cone points 45,902 sets are empty, 47,711 have two
//   or three nodes (closed form), 167,813 more, of which 110,124 weigh 0;
//   their searches visit 250,593 nodes (about 8 M instructions).
// Branch misses and memory (callgrind's simulation of both): of the call's
// 2.35 M conditional misses 2.14 M are the route's: the degree passes'
// cone tests 0.50 M and loop ends 0.31 M, the row loops' ends 0.33 M, the
// listing's loop ends 0.17 M, the copy of a clique's nodes 0.14 M; the
// rows' list reads are most of its 0.43 M misses of a 512 KiB cache, which
// is why the lists of the next nodes' neighbours are asked for ahead, and
// why the pivot is taken by a select (fewer misses for more instructions:
// both together took the call from 44.85 to 40.05 ms, 21 alternating calls
// on a quiet machine).  Reading N[v] in place and the cliques' nodes off
// at the gathering instead of copying both per node settled took the
// route's misses from 2.20 M to 1.98 M (a C++ caller of the route) and the
// call to 0.93 to 0.96 times the time (paired calls, 41 rounds), for 1.9 M
// fewer instructions.
// Tried and not kept (each against the code as it then was):
// - the closure from the maximal cliques instead of the degrees: with the
//   maximal cliques through v at hand, a set's closure is the AND, and its
//   common neighbours the OR, of those holding it, words found by one AND
//   of the sets of cliques holding each node.  But finding them costs
//   about what it saves: the existing maximal clique engine takes 87.0 M on
//   this graph, and a pivoting search for the maximal cliques with smallest
//   node v, run on the rows already built (the nodes below v excluded),
//   takes 16.8 M (167,061 search nodes for the 45,902 cliques), after which
//   the cliques must be kept, mapped into each N[v] and the weighing's
//   pivot passes run anyway: break-even at best by an estimate from these
//   counts, so it was not built;
// - rows shared between overlapping neighbourhoods: a node's rows kept
//   (n + 2m words), and N[v]'s rows made from those of the lower neighbour
//   u sharing most of N[v] (its overlap known for free from u's rows): the
//   rows of the common nodes by extracting the common places' bits and
//   depositing them at their places in N[v] (the order of the nodes is the
//   same in both), then the whole lists of N[v]'s other nodes read.  A
//   neighbour holds 54% of N[v] on average, the best lower one 81%, and
//   the entries read fall from 2.77 M to 1.48 M; but the mapping of the
//   places, the bit moves and the keeping of the rows take most of it back
//   (-2.9 M instructions, 0.2 M fewer misses of the first cache, and 1.01
//   to 1.03 times the time of the route, the parent's rows asked for ahead
//   or not), before even a fallback for processors without the bit moves;
// - the table of place bits held beside the rows, so that the row loop
//   reaches both from one base register (-3.3 M instructions, but 1.02
//   times the time in paired calls); the sets of up to three nodes weighed
//   from their rows instead of the degree sum, which spares the sum in the
//   degree pass (-2.0 M, 1.00 to 1.01 times the time);
// - settling the nodes in breadth-first order, so that consecutive N[v]
//   overlap: the same CPU time before even putting the result back in
//   order, the next nodes' lists being asked for ahead anyway;
// - selecting the cone points as well (+35 M instructions for 0.13 M fewer
//   misses with the stop tested each round, +60 M and more misses without
//   a stop, +110 M padded to four nodes a round); the cone test without a
//   branch (+22 M, more misses, 1.12 times the time); the cone points by
//   ANDing the set's closed rows, or by a refusal scan below the node tried,
//   with the pivot in a second pass (as many instructions, 0.4 M more
//   misses, 1.07 times the time);
// - empty sets sent through the closed form of small sets (1.01 times); the
//   row loop unrolled by four (+1.9 M);
// - each level trying all its nodes before entering any extension, so that
//   a refusal is inherited below extensions that miss the node refusing it
//   (237,134 of the 314,215 refusals below the root repeat their parent's):
//   +10.8 M, since a refused pass stops at its first cone point and the
//   levels' bookkeeping costs more than the passes it saves.
#include "neighbourhood_weights.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <vector>

#include "ascending_runs.hpp"
#include "big_arrays.hpp"
#include "bits.hpp"
#include "interrupt.hpp"
#include "memory_room.hpp"
#include "phase_clock.hpp"
#include "prefetch.hpp"

namespace vexa::graph {
namespace {

using Word = std::uint64_t;

// Steps (closures tried plus nodes of the weighing searches) allowed per
// node and list entry of the graph before the method gives up; giving up
// wastes at most this linear amount of work, and the caller's engines take
// over.  Measured with unlimited budgets (one process, maxrank 64): 3D
// geometric graphs of mean degree 16 (n 20,000) and 30 (n 5,000) need
// under 16 and under 32 steps per entry and ran 2 and 3 times faster than
// maximal cliques then weights (25 times the walk at degree 30);
// G(500, 0.06) needs under 16 and, since the walk got faster, runs at the
// walk's speed, as do G(300, 0.15) and G(2000, 0.01), while G(2000, 0.02)
// and G(5000, 0.006) run 1.2 and 1.3 times slower than the walk; G(100, 0.4)
// needs 32 to 64 and ran 2.3 times slower than the walk, G(60, 0.7) more
// than 64 and 5 times slower.  Dense neighbourhoods make many closed sets
// with large common neighbourhoods, where the walk's one step per clique
// is cheaper.
constexpr std::uint64_t kStepsPerEntry = 32;

// Steps are checked in blocks of this many (a power of two): a block takes
// a few microseconds, and the budget may be overrun by less than a block.
constexpr std::uint64_t kStepBlock = 256;

// Nodes read off into the result between two interrupt ticks (at least
// one clique): well under a millisecond of reading, each node a load from
// a list and a store.
constexpr std::size_t kGatherBlock = std::size_t{1} << 16;

struct OverBudget {};

// The place of a node outside the current closed neighbourhood: a slot past
// the 64 places, with no bit.
constexpr std::uint8_t kOutside = static_cast<std::uint8_t>(kNeighbourhoodBits);

// The bit of each place, and none for kOutside.
constexpr std::array<Word, kOutside + 1> kPlaceBits = [] {
  std::array<Word, kOutside + 1> bits{};
  for (std::size_t p = 0; p < kOutside; ++p) bits[p] = Word{1} << p;
  return bits;
}();

// A(c) of a graph without a triangle, with `nodes` nodes and `edges`
// edges, in closed form: its cliques are the empty one, the nodes and the
// edges.
constexpr Weight triangle_free_alternating(unsigned nodes, unsigned edges) {
  return 1 - static_cast<Weight>(nodes) + static_cast<Weight>(edges);
}

// A(c) of a graph on at most three nodes with `edges` edges: with all three
// edges, a triangle too.
constexpr Weight few_nodes_alternating(unsigned nodes, unsigned edges) {
  return triangle_free_alternating(nodes, edges) - (edges == 3 ? 1 : 0);
}

class NeighbourhoodWeigher {
 public:
  NeighbourhoodWeigher(std::vector<Index> off, std::vector<Index> mid, std::vector<Index> nbr, std::size_t largest,
                       std::uint64_t budget)
      : off_(std::move(off)), mid_(std::move(mid)), nbr_(std::move(nbr)), place_(off_.size() - 1, kOutside),
        budget_(budget), groups_(largest + 2) {}

  template <bool kHw>
  void run() {
    const std::size_t n = off_.size() - 1;
    for (std::size_t v = 0; v < n; ++v) {
      ask_ahead(v);
      owner_ = static_cast<Index>(v);
      settle<kHw>(v);
    }
  }

  // The result, the size groups copied out largest first, each clique's
  // nodes read off its smallest node's list.  The places and the positions
  // of the nodes themselves are let go of first, the lists once read.
  WeightedCliques gather();

 private:
  // A clique is kept as its places in N[v] and v, its smallest node, and
  // its nodes are read off N[v]'s list when the result is gathered: there
  // the cliques of one size come together, so that the loop over a
  // clique's nodes runs as many times for each and its end is foreseen.
  struct Group {
    RawArray<Word> places;
    RawArray<Index> owners;
    RawArray<Weight> weights;
  };

  // One step of work: counted, and every kStepBlock steps checked against
  // the budget and reported to the interrupt poll.
  void step() {
    if ((++steps_ & (kStepBlock - 1)) != 0) [[likely]]
      return;
    if (steps_ > budget_) throw OverBudget{};
    poll_.tick(kStepBlock);
  }

  // `count` steps at once (fewer than kStepBlock), checked as step() checks
  // them when they cross a multiple of kStepBlock.
  void steps(unsigned count) {
    const std::uint64_t before = steps_;
    steps_ += count;
    if (((before ^ steps_) & ~(kStepBlock - 1)) == 0) [[likely]]
      return;
    if (steps_ > budget_) throw OverBudget{};
    poll_.tick(kStepBlock);
  }

  // What one pass over a set c learns from the degrees inside c: its cone
  // points (the nodes adjacent to all the others), the node of most
  // neighbours among the rest (the first of them), and those nodes' degree
  // sum.  The pass stops at the first cone point below `stop`.
  struct Degrees {
    Word cone;
    std::size_t pivot;
    unsigned sum;
    bool stopped;
  };
  template <bool kHw>
  Degrees degrees(Word c, unsigned size, std::size_t stop) const {
    // The pivot is kept as a key, 64 times the degree less the node, so
    // that the largest key is the first node of the largest degree and
    // taking the larger of two keys needs no branch: whether a node beats
    // the pivot so far is as good as random to a branch predictor.  The
    // node is the key's negation modulo 64; no key is below -63.
    Degrees r{0, 0, 0, false};
    const unsigned others = size - 1;
    int best = -static_cast<int>(kNeighbourhoodBits);
    unsigned sum = 0;
    for (Word bits = c; bits != 0; bits &= bits - 1) {
      const std::size_t x = static_cast<unsigned>(std::countr_zero(bits));
      const unsigned d = popcount<kHw>(row_[x] & c);
      if (d == others) {
        if (x < stop) {
          r.stopped = true;
          return r;
        }
        r.cone |= Word{1} << x;
        continue;
      }
      sum += d;
      const int key = static_cast<int>(d << 6) - static_cast<int>(x);
      best = key > best ? key : best;
    }
    r.sum = sum;
    r.pivot = static_cast<std::size_t>(static_cast<unsigned>(-best) & kPivotMask);
    return r;
  }
  static constexpr unsigned kPivotMask = kNeighbourhoodBits - 1;

  // The alternating clique count A(c) of the rows' graph induced on c, for
  // sets of up to three nodes, from their edges: those from the first node,
  // and the one between the other two.  The sizes are as good as random to
  // a branch predictor, so none is tested: a node missing from a smaller
  // set is 64, whose row (the scratch row) meets only an empty set.
  template <bool kHw>
  Weight small_alternating(Word c, unsigned size) const {
    const auto first = static_cast<std::size_t>(std::countr_zero(c));
    const Word others = c & (c - 1);
    const auto second = static_cast<std::size_t>(std::countr_zero(others));
    const unsigned edges = popcount<kHw>(row_[first] & others) +
                           static_cast<unsigned>((row_[second] & others & (others - 1)) != 0);
    return few_nodes_alternating(size, edges);
  }

  // A(c) for a set c of more than three nodes without a cone point, given
  // its pivot: minus the sum, over the nodes x of c outside the pivot's
  // closed neighbourhood in turn, of A of x's neighbours in c without the
  // x taken before.  Those sets are weighed alike: up to three nodes
  // directly, a cone point makes A zero, and the others are branched on
  // in turn.  The branching runs on its own stack (at most one frame per
  // node of c), so that it all compiles into the caller, bit counts
  // included.
  template <bool kHw>
  Weight branch(Word c, std::size_t pivot) {
    struct Frame {
      Word c, rest;
      Weight sum;
    };
    std::array<Frame, kNeighbourhoodBits> stack;
    std::size_t depth = 0;
    Frame at{c, c & ~row_[pivot] & ~(Word{1} << pivot), 0};
    for (;;) {
      if (at.rest == 0) {
        if (depth == 0) return at.sum;
        const Weight done = at.sum;
        at = stack[--depth];
        at.sum = wrap_sub(at.sum, done);
        continue;
      }
      const auto x = static_cast<std::size_t>(std::countr_zero(at.rest));
      at.rest &= at.rest - 1;
      const Word sub = at.c & row_[x];
      at.c &= ~(Word{1} << x);
      Weight a = 1;
      if (sub != 0) {
        step();
        const unsigned size = popcount<kHw>(sub);
        if (size <= 3) {
          a = small_alternating<kHw>(sub, size);
        } else {
          // Stops at the first cone point, if any.
          const Degrees d = degrees<kHw>(sub, size, kNeighbourhoodBits);
          if (d.stopped) {
            a = 0;
          } else {
            stack[depth++] = at;
            at = {sub, sub & ~row_[d.pivot] & ~(Word{1} << d.pivot), 0};
            continue;
          }
        }
      }
      at.sum = wrap_sub(at.sum, a);
    }
  }

  // The rows of N[v] read the lists of v's neighbours, which lie anywhere
  // in memory: one after the other, each a miss, they would wait on the
  // memory for each in turn.  So while v is settled, the memory is asked
  // for what comes next: the bounds of the lists of v + 2's neighbours,
  // and the upper lists of v + 1's, whose bounds were asked for a node
  // earlier.  That is a few instructions per neighbour.
  void ask_ahead(std::size_t v) const {
    const std::size_t n = off_.size() - 1;
    const Index* const off = off_.data();
    const Index* const mid = mid_.data();
    const Index* const nbr = nbr_.data();
    if (v + 2 < n) {
      for (const Index* it = nbr + off[v + 2]; it != nbr + off[v + 3]; ++it) {
        prefetch(mid + *it);
        prefetch(off + *it + 1);
      }
    }
    if (v + 1 < n) {
      for (const Index* it = nbr + off[v + 1]; it != nbr + off[v + 2]; ++it) prefetch(nbr + mid[*it]);
    }
  }

  template <bool kHw>
  void settle(std::size_t v);
  template <bool kHw>
  void emit(Word set, Weight weight);

  // Closed neighbourhoods, ascending: list x is N[x], nbr_[off_[x]..off_[x+1]),
  // with x itself at mid_[x] and its nodes above x after it.
  std::vector<Index> off_, mid_, nbr_;
  std::vector<std::uint8_t> place_;  // per node: its place in the current N[v], else kOutside
  std::uint64_t steps_ = 0, budget_;
  InterruptPoll poll_;
  // Bit p's neighbours (without p); the last row is scratch.
  std::array<Word, kOutside + 1> row_{};
  Index owner_ = 0;  // the node being settled
  std::vector<Group> groups_;  // by size
};

// The closed cliques whose smallest node is v, weighed.
template <bool kHw>
void NeighbourhoodWeigher::settle(std::size_t v) {
  const Index* const off = off_.data();
  const Index* const nbr = nbr_.data();
  const Index* const mid = mid_.data();
  std::uint8_t* const place = place_.data();
  // N[v] in order, v at place pv: v's list.
  const Index* const list = nbr + off[v];
  const std::size_t k = off[v + 1] - off[v];
  const std::size_t pv = mid[v] - off[v];
  for (std::size_t p = 0; p < k; ++p) place[list[p]] = static_cast<std::uint8_t>(p);
  // Each edge inside N[v] is read once, in the list of its smaller end
  // above that node: the places ascend with the nodes, so row p is
  // complete once the places before it are done.  An entry outside N[v]
  // reads the slot kOutside, whose bit and row are scratch.  v's own row is
  // the rest of N[v], known without reading its list, and every other
  // node is v's neighbour.  The last node besides v has no neighbour in
  // N[v] above it but v, so its list is not read either.
  const Word own = Word{1} << pv;
  Word* const rows = row_.data();
  for (std::size_t p = 0; p < k; ++p) rows[p] = own;
  std::size_t work = k;
  const std::size_t read = k < 2 ? 0 : pv + 1 == k ? k - 2 : k - 1;
  for (std::size_t p = 0; p < read; ++p) {
    if (p == pv) continue;
    const std::size_t x = list[p];
    const Word bit = Word{1} << p;
    Word r = 0;
    const Index* const end = nbr + off[x + 1];
    for (const Index* it = nbr + mid[x] + 1; it != end; ++it) {
      const std::size_t q = place[*it];
      r |= kPlaceBits[q];
      rows[q] |= bit;
    }
    rows[p] |= r;
    work += off[x + 1] - mid[x] - 1;
  }
  row_[pv] = low_bits(k) & ~own;
  for (std::size_t p = 0; p < k; ++p) place[list[p]] = kOutside;
  poll_.tick(static_cast<std::uint32_t>(work));

  // Closed cliques are listed depth first.  A frame holds a closed clique,
  // its common neighbours and the nodes still to try: each node i tried
  // extends the clique by i and the closure's new nodes (the cone points of
  // the common neighbours adjacent to i), unless the closure holds a node
  // below i, which would list the clique a second time.  The root is {v}
  // tried on all of N[v]: its closure holding a node below v means that no
  // closed clique has v as its smallest node.  Depth first with the nodes
  // tried in increasing order lists the cliques of one size in the
  // result's order: two of them agree below the node where their branches
  // part, and the earlier one holds that node.
  struct Frame {
    Word set, common, tries;
  };
  std::array<Frame, 65> stack;
  std::size_t depth = 0;
  //
  // Every try is one step, charged with the weighing's first step when its
  // frame is opened; a frame with nothing to try is not pushed.
  Word set = 0, common = low_bits(k), tries = Word{1} << pv;
  step();
  for (;;) {
    while (tries != 0) {
      const auto i = static_cast<std::size_t>(std::countr_zero(tries));
      tries &= tries - 1;
      const Word c = common & row_[i];
      const unsigned size = popcount<kHw>(c);
      const Degrees d = degrees<kHw>(c, size, i);
      if (d.stopped) continue;
      const Word closed = set | (Word{1} << i) | d.cone;
      const Word inner = c & ~d.cone;
      const Word next = inner & ~low_bits(i + 1);
      // Removing the cone points lowers every other degree by their count.
      const unsigned cones = popcount<kHw>(d.cone), left = size - cones;
      steps(popcount<kHw>(next) + (left != 0 ? 1 : 0));
      Weight w;
      if (left <= 3) {
        // The edges among the nodes left, from their degree sum.  They hold
        // no triangle: a node of one would be adjacent to the other two and
        // to every cone point, a cone point itself.
        w = triangle_free_alternating(left, (d.sum - cones * left) / 2);
      } else {
        w = branch<kHw>(inner, d.pivot);
      }
      if (w != 0) emit<kHw>(closed, w);
      if (next != 0) {
        stack[depth++] = {set, common, tries};
        set = closed;
        common = inner;
        tries = next;
      }
    }
    if (depth == 0) break;
    --depth;
    set = stack[depth].set;
    common = stack[depth].common;
    tries = stack[depth].tries;
  }
}

// Appends a clique of non-zero weight to its size group.
template <bool kHw>
void NeighbourhoodWeigher::emit(Word set, Weight weight) {
  Group& g = groups_[popcount<kHw>(set)];
  grow_checked(g.places, 1);
  g.places.push_back(set);
  grow_checked(g.owners, 1);
  g.owners.push_back(owner_);
  grow_checked(g.weights, 1);
  g.weights.push_back(weight);
}

WeightedCliques NeighbourhoodWeigher::gather() {
  std::vector<Index>().swap(mid_);
  std::vector<std::uint8_t>().swap(place_);
  std::size_t count = 0, total = 0;
  for (std::size_t size = 0; size < groups_.size(); ++size) {
    count += groups_[size].weights.size();
    total += groups_[size].weights.size() * size;
  }
  WeightedCliques out;
  std::vector<Node>& nodes = out.cliques.nodes();
  std::vector<std::size_t>& offsets = out.cliques.offsets();
  reserve_checked(nodes, total);
  reserve_checked(offsets, count + 1);
  reserve_checked(out.weights, count);
  const Index* const off = off_.data();
  const Index* const nbr = nbr_.data();
  // The nodes are read off into a small buffer, appended whenever the next
  // clique might not fit: copies of a few hundred bytes, which a large
  // block would not be.
  std::array<Node, 2 * kNeighbourhoodBits> buffer;
  for (std::size_t size = groups_.size(); size-- > 1;) {
    Group& g = groups_[size];
    // A block of cliques at a time, with a tick in between.
    const std::size_t block = std::max<std::size_t>(1, kGatherBlock / size);
    for (std::size_t at = 0; at < g.weights.size(); at += block) {
      const std::size_t end = std::min(g.weights.size(), at + block);
      std::size_t filled = 0;
      for (std::size_t c = at; c < end; ++c) {
        if (filled + size > buffer.size()) {
          nodes.insert(nodes.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(filled));
          filled = 0;
        }
        const Index* const list = nbr + off[g.owners[c]];
        Node* to = buffer.data() + filled;
        for (Word bits = g.places[c]; bits != 0; bits &= bits - 1)
          *to++ = list[static_cast<std::size_t>(std::countr_zero(bits))];
        filled += size;
        offsets.push_back(offsets.back() + size);
      }
      nodes.insert(nodes.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(filled));
      out.weights.insert(out.weights.end(), g.weights.begin() + static_cast<std::ptrdiff_t>(at),
                         g.weights.begin() + static_cast<std::ptrdiff_t>(end));
      poll_.tick(static_cast<std::uint32_t>((end - at) * size | 1));
    }
    RawArray<Word>().swap(g.places);
    RawArray<Index>().swap(g.owners);
    RawArray<Weight>().swap(g.weights);
  }
  std::vector<Index>().swap(off_);
  std::vector<Index>().swap(nbr_);
  return out;
}

// The closed neighbourhoods the method reads, ascending, node numbers below
// kNoIndex: list v is N[v], nbr[off[v]..off[v+1]), with v itself at mid[v]
// and its nodes above v after it.
struct FullLists {
  std::vector<Index> off, mid, nbr;
  std::size_t largest = 0;
};

enum class Read { done, declined, untidy };

// Copies upper list v (its nodes above v) to `to`; false unless they ascend
// strictly from above v and stay below n.
bool copy_upper_list(const NeighbourLists& upper, std::size_t v, Index* to) {
  return copy_ascending_within(upper[v].data(), upper.length(v), Node{v} + 1, upper.size(), to);
}

// Whether `below` ascends strictly and stays below v: then its entries are
// that many distinct neighbours of v, so that with v's upper list they give
// v's degree, too long a list is no longer one that may hold repeats, and
// the method declines without gathering.
bool distinct_below(std::span<const Node> below, std::size_t v) {
  return ascending_within(below.data(), below.size(), 0, v);
}

// The full lists from the caller's lists, when they are tidy where it
// matters: when `lists` hold twice the edges of `upper` (the simple upper
// form made from them) and each list's first entries, as many as it has
// beyond its upper list, ascend strictly and stay below the list's node,
// those entries are its neighbours below it.  Each is an edge, listed once,
// and the counts leave no edge out.  The other entries are not read; the
// nodes above come from `upper`.
Read read_tidy_lists(const NeighbourLists& upper, const NeighbourLists& lists, std::size_t limit, FullLists& out,
                     InterruptPoll& poll) {
  const std::size_t n = upper.size();
  if (lists.size() != n || lists.total_nodes() != 2 * upper.total_nodes()) return Read::untidy;
  out.off.assign(n + 1, 0);
  for (std::size_t v = 0; v < n; ++v) {
    const std::size_t deg = lists.length(v);
    if (deg < upper.length(v)) return Read::untidy;
    if (deg > limit) return distinct_below(lists[v].first(deg - upper.length(v)), v) ? Read::declined : Read::untidy;
    out.largest = std::max(out.largest, deg);
    out.off[v + 1] = out.off[v] + static_cast<Index>(deg + 1);
  }
  out.nbr.resize(out.off[n]);
  out.mid.resize(n);
  for (std::size_t v = 0; v < n; ++v) {
    const std::size_t below = lists.length(v) - upper.length(v);
    Index* to = out.nbr.data() + out.off[v];
    if (!copy_ascending_within(lists[v].data(), below, 0, v, to)) return Read::untidy;
    out.mid[v] = out.off[v] + static_cast<Index>(below);
    to[below] = static_cast<Index>(v);
    if (!copy_upper_list(upper, v, to + below + 1)) return Read::declined;
    poll.tick(static_cast<std::uint32_t>(lists.length(v) | 1));
  }
  return Read::done;
}

// The full lists from `upper` alone: list w gets the nodes v < w listing it
// (ascending, as v runs up), then w, then its own upper list.  The count stops at
// the first degree above the limit, so that graphs outside it (hubs, a
// small maxrank) cost next to nothing.
Read gather_full_lists(const NeighbourLists& upper, std::size_t limit, FullLists& out, InterruptPoll& poll) {
  const std::size_t n = upper.size();
  std::vector<Index>& off = out.off;
  off.assign(n + 1, 0);
  for (std::size_t v = 0; v < n; ++v) {
    off[v + 1] += static_cast<Index>(upper.length(v));
    if (off[v + 1] > limit) return Read::declined;
    out.largest = std::max<std::size_t>(out.largest, off[v + 1]);
    Node prev = v;
    for (Node w : upper[v]) {
      if (w <= prev || w >= n) return Read::declined;  // not a simple upper form
      if (++off[static_cast<std::size_t>(w) + 1] > limit) return Read::declined;
      prev = w;
    }
    poll.tick(static_cast<std::uint32_t>(upper.length(v) | 1));
  }
  // off[v + 1] holds v's degree; each list holds its node as well.
  for (std::size_t v = 0; v < n; ++v) off[v + 1] += off[v] + 1;
  out.nbr.resize(off[n]);
  // mid[v]: where v itself goes, once the nodes below it are in.
  out.mid.assign(off.begin(), off.end() - 1);
  for (std::size_t v = 0; v < n; ++v) {
    for (Node w : upper[v]) out.nbr[out.mid[static_cast<std::size_t>(w)]++] = static_cast<Index>(v);
    poll.tick(static_cast<std::uint32_t>(upper.length(v) | 1));
  }
  for (std::size_t v = 0; v < n; ++v) {
    out.nbr[out.mid[v]] = static_cast<Index>(v);
    std::copy(upper[v].begin(), upper[v].end(), out.nbr.begin() + static_cast<std::ptrdiff_t>(out.mid[v] + 1));
    poll.tick(static_cast<std::uint32_t>(upper.length(v) | 1));
  }
  return Read::done;
}

std::optional<WeightedCliques> decompose(const NeighbourLists& upper, const NeighbourLists* lists,
                                         std::uint64_t maxrank, std::uint64_t steps_per_entry) {
  const std::size_t n = upper.size();
  // The lists hold n + 2m entries, counted in Index.
  if (n == 0 || maxrank < 3 || n >= kNoIndex || upper.total_nodes() >= (kNoIndex - n) / 2) return std::nullopt;
  InterruptPoll poll;
  const std::size_t limit = static_cast<std::size_t>(std::min<std::uint64_t>(kNeighbourhoodBits, maxrank) - 1);
  FullLists full;
  Read read = lists != nullptr ? read_tidy_lists(upper, *lists, limit, full, poll) : Read::untidy;
  if (read == Read::untidy) {
    full = FullLists();
    read = gather_full_lists(upper, limit, full, poll);
  }
  if (read == Read::declined) return std::nullopt;
  phase_done("neighbourhood lists");
  const std::uint64_t budget = steps_per_entry * (n + upper.total_nodes());
  NeighbourhoodWeigher weigher(std::move(full.off), std::move(full.mid), std::move(full.nbr), full.largest, budget);
  try {
    with_popcount([&]<bool kHw>() { weigher.run<kHw>(); });
  } catch (const OverBudget&) {
    phase_done("neighbourhoods, over budget");
    return std::nullopt;
  }
  phase_done("neighbourhood weights");
  WeightedCliques out = weigher.gather();
  phase_done("neighbourhood gathering");
  return out;
}

}  // namespace

std::optional<WeightedCliques> decompose_in_neighbourhoods(const NeighbourLists& upper, std::uint64_t maxrank,
                                                           std::uint64_t steps_per_entry) {
  return decompose(upper, nullptr, maxrank, steps_per_entry);
}

std::optional<WeightedCliques> decompose_in_neighbourhoods(const NeighbourLists& upper, std::uint64_t maxrank) {
  return decompose(upper, nullptr, maxrank, kStepsPerEntry);
}

std::optional<WeightedCliques> decompose_in_neighbourhoods(const NeighbourLists& upper, const NeighbourLists& lists,
                                                           std::uint64_t maxrank, std::uint64_t steps_per_entry) {
  return decompose(upper, &lists, maxrank, steps_per_entry);
}

std::optional<WeightedCliques> decompose_in_neighbourhoods(const NeighbourLists& upper, const NeighbourLists& lists,
                                                           std::uint64_t maxrank) {
  return decompose(upper, &lists, maxrank, kStepsPerEntry);
}

}  // namespace vexa::graph
