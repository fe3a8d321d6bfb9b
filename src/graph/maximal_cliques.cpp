// Maximal cliques: every clique that no further node can join, each once.
//
// Method: the pivoting Bron-Kerbosch search (Bron and Kerbosch 1973) with
// Tomita's pivot rule (Tomita, Tanaka and Takahashi 2006: the pivot is the
// node with the most neighbours among the candidates), run once per node in
// a degeneracy order (Eppstein, Loeffler and Strash 2010).  The order peels
// off a node of least remaining degree, over and over, by the buckets of
// Matula and Beck (1983) and in order of core numbers (Batagelj and
// Zaversnik 2003): degeneracy_order.cpp, on the graph made simple by
// simple_graph.cpp.  Node v then searches only the cliques whose earliest
// node in that order is v: its candidates are its later neighbours, at most
// the degeneracy d of the graph, and its excluded nodes its earlier ones.
//
// Each such search runs on a local copy of v's neighbourhood held as bit
// rows over local numbers, built by scattering each neighbour's bit (or
// position) once and reading the candidates' lists through it.  Sets of at
// most kFixedWords words have their word count fixed at compile time; a
// single word (64 neighbours, the common case on sparse graphs) is plain
// integer arithmetic.  Larger neighbourhoods use sets of a run-time width.
// The search is iterative, one frame per depth.
//
// Cost, for n nodes, m edges and degeneracy d: making the graph simple and
// the order take O(n + m); building the local graphs reads, for every node,
// its candidates' lists, O(m d) entries in all (a hub's list is looked up
// from the short side instead); the searches take O(d n 3^(d/3)) steps, the
// bound of the degeneracy-ordered search, each step a few operations on sets
// of ceil(k / 64) words for a neighbourhood of k nodes.  Memory: the simple
// graph, one word and one position per node, and the local graph of one
// node (k rows of ceil(k / 64) words, one frame per depth).
//
// Everything here is deterministic: the order, the tie-breaks and therefore
// the output list depend on the input alone.
#include "maximal_cliques.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <new>
#include <span>
#include <tuple>
#include <vector>

#include "bits.hpp"
#include "degeneracy_order.hpp"
#include "interrupt.hpp"
#include "simple_graph.hpp"
#include "sorted.hpp"

namespace vexa::graph {
namespace {

using Word = std::uint64_t;
constexpr std::size_t kBits = 64;
// Row filling without a branch per entry sends the entries outside the
// neighbourhood to spare words; this many, chosen by the entry's low bits,
// so that consecutive misses do not wait on one another's store.
constexpr std::size_t kScratch = 8;
// Row filling keeps its branch per entry while at most one entry in this
// many has landed inside the neighbourhood: the branch is then mostly
// predicted "outside".  Above that share it mispredicts often enough that
// setting a bit for every entry is cheaper.
constexpr std::size_t kBranchyEntriesPerHit = 8;
// Neighbourhoods of up to this many words (256 nodes) are searched on sets
// whose word count is a compile-time constant, 1 to 4, so that every set
// operation unrolls into straight code.  Dense graphs of a few hundred nodes
// per neighbourhood (G(500, 0.3): up to about 190) stay on this path; larger
// neighbourhoods are hubs, rare and searched on sets of a run-time width.
constexpr std::size_t kFixedWords = 4;

void set_bit(Word* row, std::size_t i) { row[i / kBits] |= Word{1} << (i % kBits); }

// The search around one node v at a time, with buffers reused across nodes.
class Searcher {
 public:
  Searcher(const SimpleGraph& g, std::vector<Index> rank, CliqueList& out, InterruptPoll& poll)
      : g_(g), rank_(std::move(rank)), out_(out), poll_(poll), loc_(g.n, kNoIndex), bit_(g.n, 0) {}

  void run(Index v) {
    const auto nv = g_[v];
    if (nv.empty()) {
      emit_pair_or_single(v, kNoIndex);
      return;
    }
    const Index r = rank_[v];
    later_.clear();
    earlier_.clear();
    for (Index w : nv) (rank_[w] > r ? later_ : earlier_).push_back(w);
    poll_.tick(tick_cost(nv.size()));
    // Every clique found here contains v and a later neighbour; with no
    // later neighbour, v's cliques were all found from earlier nodes.
    if (later_.empty()) return;
    // The search counts bits at every step: with the popcnt instruction
    // where the processor has it.
    const std::size_t words = words_for_bits(nv.size());
    static_assert(kFixedWords == 4, "one case below per fixed word count");
    switch (words) {
      case 1: return with_popcount([&]<bool kHw>() { search_fixed<1, kHw>(v, nv); });
      case 2: return with_popcount([&]<bool kHw>() { search_fixed<2, kHw>(v, nv); });
      case 3: return with_popcount([&]<bool kHw>() { search_fixed<3, kHw>(v, nv); });
      case 4: return with_popcount([&]<bool kHw>() { search_fixed<4, kHw>(v, nv); });
      default: break;
    }
    build_local(nv);
    const std::size_t p = later_.size();
    if (p == 1) {
      // {v, u} is maximal unless an earlier node is adjacent to both.
      if (!any_excluded_) emit_pair_or_single(v, later_[0]);
      return;
    }
    with_popcount([&]<bool kHw>() { search<kHw>(v); });
  }

 private:
  // ---- Neighbourhoods of at most kFixedWords * 64 nodes -------------------
  //
  // Every neighbour of v gets a local number: the candidates (later
  // neighbours) 0 .. p-1 in ascending node order, then the excluded nodes
  // (earlier neighbours) p .. k-1.  A candidate's row holds its neighbours
  // among all local nodes; an excluded node's row only those among the
  // candidates, which is all the search asks of it (pivot scores).  Sets are
  // W words, a compile-time count, so every set operation is a few
  // instructions without loops over a run-time width.

  template <std::size_t W>
  struct Set {
    Word w[W];
  };
  template <std::size_t W>
  static bool empty(const Set<W>& a) {
    Word any = 0;
    for (std::size_t i = 0; i < W; ++i) any |= a.w[i];
    return any == 0;
  }
  template <std::size_t W, bool kHw>
  static std::size_t count_common(const Set<W>& a, const Set<W>& b) {
    std::size_t c = 0;
    for (std::size_t i = 0; i < W; ++i) c += popcount<kHw>(a.w[i] & b.w[i]);
    return c;
  }
  // The set of local numbers 0 .. count-1.
  template <std::size_t W>
  static Set<W> first(std::size_t count) {
    Set<W> s{};
    for (std::size_t i = 0; i < W; ++i) {
      if (count >= (i + 1) * kBits)
        s.w[i] = ~Word{0};
      else if (count > i * kBits)
        s.w[i] = (Word{1} << (count - i * kBits)) - 1;
    }
    return s;
  }
  template <std::size_t W>
  struct Frame {
    Set<W> P, X, E, R;  // candidates, excluded, still to branch on, chosen
  };

  // The rows of the local graph, into rows (k sets, local number order).
  template <std::size_t W>
  void build_fixed(std::span<const Index> nv, Set<W>* rows) {
    const std::size_t p = later_.size();
    const std::size_t k = nv.size();
    std::fill_n(rows, k, Set<W>{});
    if constexpr (W == 1) {
      // One word: each neighbour carries its own bit, so a candidate's row
      // is the OR of its list's bits (zero outside the neighbourhood).
      for (std::size_t j = 0; j < p; ++j) bit_[later_[j]] = Word{1} << j;
      for (std::size_t j = 0; j < earlier_.size(); ++j) bit_[earlier_[j]] = Word{1} << (p + j);
    } else {
      for (std::size_t j = 0; j < p; ++j) loc_[later_[j]] = static_cast<Index>(j);
      for (std::size_t j = 0; j < earlier_.size(); ++j) loc_[earlier_[j]] = static_cast<Index>(p + j);
    }
    for (std::size_t a = 0; a < p; ++a) {
      Set<W>& row = rows[a];
      const Index u = later_[a];
      const auto nu = g_[u];
      if (gallop_pays(nu.size(), k)) {
        // A hub among the candidates: rather than walk its long list, look
        // the hub up in the lists of the few local nodes (the graph is
        // symmetric, and those lists are usually short).
        for (std::size_t j = 0; j < k; ++j) {
          const Index w = j < p ? later_[j] : earlier_[j - p];
          const auto nw = g_[w];
          if (std::binary_search(nw.begin(), nw.end(), u)) row.w[j / kBits] |= Word{1} << (j % kBits);
        }
        poll_.tick(tick_cost(k));
        continue;
      }
      if constexpr (W == 1) {
        Word bits = 0;
        for (Index w : nu) bits |= bit_[w];
        row.w[0] = bits;
      } else {
        // Entries outside the neighbourhood set a bit in one of kScratch
        // spare words (spread so that consecutive misses do not wait on
        // each other), which keeps the loop free of branches.
        Word wide[W + kScratch] = {};
        const Index spare = static_cast<Index>(W * kBits);
        for (Index w : nu) {
          const Index l = std::min(loc_[w], static_cast<Index>(spare + (w % kScratch) * kBits));
          wide[l / kBits] |= Word{1} << (l % kBits);
        }
        std::copy_n(wide, W, row.w);
      }
      poll_.tick(tick_cost(nu.size()));
    }
    if constexpr (W == 1) {
      for (Index w : nv) bit_[w] = 0;
    } else {
      for (Index w : nv) loc_[w] = kNoIndex;
    }
    // Excluded nodes' rows by transposing the candidates' rows.
    for (std::size_t a = 0; a < p; ++a) {
      for (std::size_t i = p / kBits; i < W; ++i) {
        Word bits = rows[a].w[i];
        if (i == p / kBits) bits &= ~Word{0} << (p % kBits);
        for (; bits != 0; bits &= bits - 1) {
          const std::size_t b = i * kBits + static_cast<std::size_t>(std::countr_zero(bits));
          rows[b].w[a / kBits] |= Word{1} << (a % kBits);
        }
      }
    }
  }

  // Tomita's rule: the pivot is the node of P and X with the most
  // neighbours in P (the first such in local order; a node adjacent to all
  // of P ends the look), and E gets the candidates it does not cover.
  template <std::size_t W, bool kHw>
  static void choose_pivot_fixed(Frame<W>& f, const Set<W>* rows) {
    std::size_t pcount = 0;
    for (std::size_t i = 0; i < W; ++i) pcount += popcount<kHw>(f.P.w[i]);
    const Set<W>* best = nullptr;
    std::size_t best_score = 0;
    for (std::size_t i = 0; i < W; ++i) {
      for (Word bits = f.P.w[i] | f.X.w[i]; bits != 0; bits &= bits - 1) {
        const Set<W>* row = rows + i * kBits + static_cast<std::size_t>(std::countr_zero(bits));
        const std::size_t c = count_common<W, kHw>(f.P, *row);
        if (best == nullptr || c > best_score) {
          best = row;
          best_score = c;
          if (c == pcount) goto chosen;
        }
      }
    }
  chosen:
    for (std::size_t i = 0; i < W; ++i) f.E.w[i] = f.P.w[i] & ~best->w[i];
  }

  template <std::size_t W, bool kHw>
  void search_fixed(Index v, std::span<const Index> nv) {
    const std::size_t p = later_.size();
    const std::size_t k = nv.size();
    auto& row_store = std::get<std::vector<Set<W>>>(fixed_rows_);
    auto& frame_store = std::get<std::vector<Frame<W>>>(fixed_frames_);
    grow(row_store, k);
    grow(frame_store, p + 1);
    Set<W>* rows = row_store.data();
    Frame<W>* frames = frame_store.data();
    build_fixed<W>(nv, rows);

    // Root: every candidate, and the excluded nodes adjacent to one (the
    // others cannot stop a clique of this search from being maximal).
    Frame<W>& root = frames[0];
    root = Frame<W>{};
    root.P = first<W>(p);
    for (std::size_t a = 0; a < p; ++a)
      for (std::size_t i = 0; i < W; ++i) root.X.w[i] |= rows[a].w[i] & ~root.P.w[i];
    choose_pivot_fixed<W, kHw>(root, rows);
    // The candidates that come before v in node order, for writing cliques
    // in order.
    const Set<W> below =
        first<W>(static_cast<std::size_t>(std::lower_bound(later_.begin(), later_.end(), v) - later_.begin()));

    std::size_t d = 0;
    for (;;) {
      Frame<W>& f = frames[d];
      std::size_t i = 0;
      while (i < W && f.E.w[i] == 0) ++i;
      if (i == W) {
        if (d == 0) break;
        --d;
        continue;
      }
      poll_.tick();
      const Word qbit = f.E.w[i] & (~f.E.w[i] + 1);
      const std::size_t q = i * kBits + static_cast<std::size_t>(std::countr_zero(qbit));
      f.E.w[i] ^= qbit;
      f.P.w[i] ^= qbit;
      const Set<W>& nq = rows[q];
      Frame<W>& c = frames[d + 1];
      for (std::size_t j = 0; j < W; ++j) c.P.w[j] = f.P.w[j] & nq.w[j];
      for (std::size_t j = 0; j < W; ++j) c.X.w[j] = f.X.w[j] & nq.w[j];
      f.X.w[i] |= qbit;
      if (empty(c.P)) {
        if (empty(c.X)) {
          Set<W> r = f.R;
          r.w[i] |= qbit;
          emit_fixed<W>(v, r, below);
        }
        continue;
      }
      c.R = f.R;
      c.R.w[i] |= qbit;
      const std::size_t u = only_member(c.P);
      if (u != kNoIndex) {
        // One candidate u left: the clique with u is maximal unless an
        // excluded node is adjacent to u too.  No frame needed.
        Word blocked = 0;
        for (std::size_t j = 0; j < W; ++j) blocked |= c.X.w[j] & rows[u].w[j];
        if (blocked == 0) {
          c.R.w[u / kBits] |= Word{1} << (u % kBits);
          emit_fixed<W>(v, c.R, below);
        }
        continue;
      }
      ++d;
      choose_pivot_fixed<W, kHw>(c, rows);
    }
  }

  // The one member of a non-empty set, or kNoIndex if it has more.
  template <std::size_t W>
  static std::size_t only_member(const Set<W>& a) {
    std::size_t at = kNoIndex;
    for (std::size_t i = 0; i < W; ++i) {
      const Word x = a.w[i];
      if (x == 0) continue;
      if ((x & (x - 1)) != 0 || at != kNoIndex) return kNoIndex;
      at = i * kBits + static_cast<std::size_t>(std::countr_zero(x));
    }
    return at;
  }

  // The clique {v} + the candidates in r, ascending: candidates are numbered
  // in node order, and `below` holds those numbered before v.
  template <std::size_t W>
  void emit_fixed(Index v, const Set<W>& r, const Set<W>& below) {
    auto& nodes = out_.nodes();
    for (std::size_t i = 0; i < W; ++i)
      for (Word bits = r.w[i] & below.w[i]; bits != 0; bits &= bits - 1)
        nodes.push_back(later_[i * kBits + static_cast<std::size_t>(std::countr_zero(bits))]);
    nodes.push_back(v);
    for (std::size_t i = 0; i < W; ++i)
      for (Word bits = r.w[i] & ~below.w[i]; bits != 0; bits &= bits - 1)
        nodes.push_back(later_[i * kBits + static_cast<std::size_t>(std::countr_zero(bits))]);
    out_.close_seq();
  }

  // ---- Larger neighbourhoods: sets of a run-time width ---------------------
  //
  // Bit rows of the local graph on v's neighbours.  Candidates (the later
  // neighbours, local numbers 0 .. p-1) have a row of wp_ words over the
  // candidates, then wx_ words over the excluded nodes (the earlier
  // neighbours, local numbers 0 .. x-1), then kScratch scratch words.  Excluded
  // nodes have a row of wp_ words over the candidates.  Excluded nodes never
  // adjacent to a candidate cannot stop a clique of this search from being
  // maximal; they are left out of the search.
  void build_local(std::span<const Index> nv) {
    const std::size_t p = later_.size();
    const std::size_t x = earlier_.size();
    wp_ = words_for_bits(p);
    wx_ = words_for_bits(x);
    row_ = wp_ + wx_ + kScratch;
    const Index xbase = static_cast<Index>(wp_ * kBits);
    const Index scratch = static_cast<Index>((wp_ + wx_) * kBits);
    for (std::size_t j = 0; j < p; ++j) loc_[later_[j]] = static_cast<Index>(j);
    for (std::size_t j = 0; j < x; ++j) loc_[earlier_[j]] = static_cast<Index>(xbase + j);
    grow(rows_p_, p * row_);
    std::fill_n(rows_p_.begin(), p * row_, Word{0});

    // Each entry of a candidate's list inside the neighbourhood sets one bit
    // of its row.  Where few entries are inside (sparse graphs), a branch
    // skips the others cheaply; where many are, the branch is unpredictable
    // and every entry sets a bit instead, the outside ones in scratch words
    // (several, so that consecutive misses do not wait on each other).
    const std::size_t k = nv.size();
    std::size_t seen = 0, hits = 0;
    for (std::size_t a = 0; a < p; ++a) {
      Word* row = rows_p_.data() + a * row_;
      const auto nu = g_[later_[a]];
      if (gallop_pays(nu.size(), k)) {
        // A hub among the candidates: rather than walk its long list, look
        // the hub up in the lists of the few local nodes (the graph is
        // symmetric, and those lists are usually short).
        const Index hub = later_[a];
        for (Index w : nv) {
          const auto nw = g_[w];
          if (std::binary_search(nw.begin(), nw.end(), hub)) set_bit(row, loc_[w]);
        }
        poll_.tick(tick_cost(k));
        continue;
      }
      if (hits * kBranchyEntriesPerHit <= seen) {
        for (Index w : nu) {
          const Index l = loc_[w];
          if (l != kNoIndex) {
            set_bit(row, l);
            ++hits;
          }
        }
        seen += nu.size();
      } else {
        for (Index w : nu) {
          const Index l = std::min(loc_[w], static_cast<Index>(scratch + (w % kScratch) * kBits));
          row[l / kBits] |= Word{1} << (l % kBits);
        }
      }
      poll_.tick(tick_cost(nu.size()));
    }
    for (Index w : nv) loc_[w] = kNoIndex;

    // The excluded nodes' rows, by transposing the candidates' rows.
    grow(rows_x_, x * wp_);
    std::fill_n(rows_x_.begin(), x * wp_, Word{0});
    grow(useful_, wx_);
    std::fill_n(useful_.begin(), wx_, Word{0});
    any_excluded_ = false;
    for (std::size_t a = 0; a < p; ++a) {
      const Word* xr = rows_p_.data() + a * row_ + wp_;
      for (std::size_t w = 0; w < wx_; ++w) {
        useful_[w] |= xr[w];
        for (Word bits = xr[w]; bits != 0; bits &= bits - 1)
          set_bit(rows_x_.data() + (w * kBits + static_cast<std::size_t>(std::countr_zero(bits))) * wp_, a);
      }
    }
    for (std::size_t w = 0; w < wx_; ++w) any_excluded_ = any_excluded_ || useful_[w] != 0;
  }

  // Frame layout, per depth: subgraph candidates SP, candidates P, extension
  // set E (all over the candidate numbers), subgraph excluded SX.
  Word* sp(std::size_t d) { return frames_.data() + d * stride_; }
  Word* pp(std::size_t d) { return sp(d) + wp_; }
  Word* ee(std::size_t d) { return sp(d) + 2 * wp_; }
  Word* sx(std::size_t d) { return sp(d) + 3 * wp_; }

  // Picks the node of the level's subgraph whose row covers the most
  // candidates and sets E to the candidates it does not cover.
  template <bool kHw>
  void choose_pivot(std::size_t d) {
    const Word* P = pp(d);
    std::size_t pcount = 0;
    for (std::size_t w = 0; w < wp_; ++w) pcount += popcount<kHw>(P[w]);
    const Word* best = nullptr;
    std::size_t best_score = 0;
    bool done = false;
    auto consider = [&](const Word* row) {
      std::size_t c = 0;
      for (std::size_t w = 0; w < wp_; ++w) c += popcount<kHw>(P[w] & row[w]);
      if (best == nullptr || c > best_score) {
        best = row;
        best_score = c;
      }
      done = c == pcount;
    };
    const Word* S = sp(d);
    for (std::size_t w = 0; w < wp_ && !done; ++w) {
      for (Word bits = S[w]; bits != 0 && !done; bits &= bits - 1)
        consider(rows_p_.data() + (w * kBits + static_cast<std::size_t>(std::countr_zero(bits))) * row_);
    }
    const Word* SX = sx(d);
    for (std::size_t w = 0; w < wx_ && !done; ++w) {
      for (Word bits = SX[w]; bits != 0 && !done; bits &= bits - 1)
        consider(rows_x_.data() + (w * kBits + static_cast<std::size_t>(std::countr_zero(bits))) * wp_);
    }
    Word* E = ee(d);
    for (std::size_t w = 0; w < wp_; ++w) E[w] = P[w] & ~best[w];
  }

  template <bool kHw>
  void search(Index v) {
    const std::size_t p = later_.size();
    stride_ = 3 * wp_ + wx_;
    grow(frames_, (p + 1) * stride_);
    grow(chosen_, p + 1);

    // Root: every candidate, every excluded node that touches one.
    std::fill_n(sp(0), stride_, Word{0});
    for (std::size_t j = 0; j < p; ++j) set_bit(sp(0), j);
    std::copy_n(sp(0), wp_, pp(0));
    std::copy_n(useful_.data(), wx_, sx(0));
    choose_pivot<kHw>(0);

    std::size_t d = 0;
    for (;;) {
      Word* E = ee(d);
      std::size_t q = kNoIndex;
      for (std::size_t w = 0; w < wp_; ++w) {
        if (E[w] != 0) {
          q = w * kBits + static_cast<std::size_t>(std::countr_zero(E[w]));
          break;
        }
      }
      if (q == kNoIndex) {
        if (d == 0) break;
        --d;
        continue;
      }
      poll_.tick();
      const Word mask = ~(Word{1} << (q % kBits));
      E[q / kBits] &= mask;
      pp(d)[q / kBits] &= mask;
      chosen_[d] = static_cast<Index>(q);

      const Word* nq = rows_p_.data() + q * row_;
      const Word* nqx = nq + wp_;
      const Word* S = sp(d);
      const Word* P = pp(d);
      const Word* SX = sx(d);
      Word* S2 = sp(d + 1);
      Word* P2 = pp(d + 1);
      Word* SX2 = sx(d + 1);
      Word any = 0;
      for (std::size_t w = 0; w < wp_; ++w) any |= (S2[w] = S[w] & nq[w]);
      for (std::size_t w = 0; w < wx_; ++w) any |= (SX2[w] = SX[w] & nqx[w]);
      if (any == 0) {
        emit(v, d);
        continue;
      }
      Word anyp = 0;
      for (std::size_t w = 0; w < wp_; ++w) anyp |= (P2[w] = P[w] & nq[w]);
      if (anyp == 0) continue;  // only excluded nodes left: nothing maximal here
      ++d;
      choose_pivot<kHw>(d);
    }
  }

  // The clique {v} + the candidates chosen on depths 0 .. d, ascending.
  void emit(Index v, std::size_t d) {
    auto& nodes = out_.nodes();
    const std::size_t start = nodes.size();
    nodes.push_back(v);
    for (std::size_t j = 0; j <= d; ++j) nodes.push_back(later_[chosen_[j]]);
    std::sort(nodes.begin() + static_cast<std::ptrdiff_t>(start), nodes.end());
    out_.close_seq();
    poll_.tick();
  }

  void emit_pair_or_single(Index v, Index u) {
    if (u == kNoIndex) {
      out_.push_node(v);
    } else {
      out_.push_node(std::min(u, v));
      out_.push_node(std::max(u, v));
    }
    out_.close_seq();
    poll_.tick();
  }

  template <class T>
  static void grow(std::vector<T>& v, std::size_t size) {
    if (v.size() < size) v.resize(std::max(size, 2 * v.size()));
  }

  const SimpleGraph& g_;
  std::vector<Index> rank_;
  CliqueList& out_;
  InterruptPoll& poll_;

  std::vector<Index> loc_;      // global node -> local number, kNoIndex elsewhere
  std::vector<Word> bit_;       // global node -> its bit in a one-word neighbourhood, 0 elsewhere
  template <template <std::size_t> class T>
  using PerWidth = std::tuple<std::vector<T<1>>, std::vector<T<2>>, std::vector<T<3>>, std::vector<T<4>>>;
  PerWidth<Set> fixed_rows_;
  PerWidth<Frame> fixed_frames_;
  std::vector<Index> later_;    // candidates of the current node, ascending
  std::vector<Index> earlier_;  // its earlier neighbours, ascending
  bool any_excluded_ = false;
  std::size_t wp_ = 0, wx_ = 0, row_ = 0, stride_ = 0;
  std::vector<Word> rows_p_, rows_x_, useful_, frames_;
  std::vector<Index> chosen_;
};

}  // namespace

CliqueList enumerate_maximal_cliques(const NeighbourLists& adj) {
  CliqueList out;
  const std::size_t n = adj.size();
  if (n == 0) return out;
  // Node numbers are kept in 32 bits; a graph of 2^32 nodes does not fit in
  // memory anyway.
  if (n >= kNoIndex) throw std::bad_alloc();

  InterruptPoll poll;
  const SimpleGraph g = symmetrize(adj, poll);
  std::vector<Index> rank;
  const std::vector<Index> order = degeneracy_order(g, rank, poll);
  Searcher searcher(g, std::move(rank), out, poll);
  for (Index v : order) searcher.run(v);
  return out;
}

}  // namespace vexa::graph
