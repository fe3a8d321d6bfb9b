#include "clique_census.hpp"

#include <algorithm>
#include <bit>
#include <iterator>
#include <limits>
#include <vector>

#include "bits.hpp"
#include "interrupt.hpp"

namespace vexa::graph {
namespace {

using Mask = std::uint64_t;

// Seeds with more later neighbours are counted over sorted lists: their
// masks would take d^2 / 8 bytes, and such hubs hold few of the cliques.
constexpr std::size_t kCensusMaskedDegree = 1024;

class Census {
 public:
  Census(const NeighbourLists& upper, std::uint64_t maxrank, std::uint64_t cap)
      : upper_(upper),
        maxrank_(maxrank == 0 ? std::numeric_limits<std::uint64_t>::max() : maxrank),
        cap_(cap),
        pos_of_(upper.size(), 0) {}

  CliqueCensus run() {
    const std::size_t n = upper_.size();
    for (std::size_t v = 0; v < n && out_.cliques < cap_; ++v) {
      const std::size_t d = upper_.length(v);
      ++out_.cliques;
      if (maxrank_ == 1 || d == 0) {
        ++out_.ends;
      } else if (d <= kCensusMaskedDegree) {
        masked_seed(v);
      } else {
        std::vector<Node> cand(upper_[v].begin(), upper_[v].end());
        listed(cand, 1);
      }
      poll_.tick(static_cast<std::uint32_t>(d | 1));
    }
    out_.complete = out_.cliques < cap_;
    out_.cliques = std::min(out_.cliques, cap_);
    return out_;
  }

 private:
  // Row j: the positions of upper[v] whose nodes are adjacent to the node
  // at position j, before and after it.
  void masked_seed(std::size_t v) {
    const auto l = upper_[v];
    const std::size_t d = l.size();
    words_ = (d + 63) / 64;
    for (std::size_t j = 0; j < d; ++j) pos_of_[static_cast<std::size_t>(l[j])] = static_cast<std::uint32_t>(j + 1);
    rows_.assign(d * words_, 0);
    for (std::size_t j = 0; j < d; ++j) {
      Mask* row = rows_.data() + j * words_;
      const auto next = upper_[static_cast<std::size_t>(l[j])];
      for (Node y : next) {
        const std::uint32_t p = pos_of_[static_cast<std::size_t>(y)];
        if (p == 0) continue;
        row[(p - 1) / 64] |= Mask{1} << ((p - 1) % 64);
        rows_[(p - 1) * words_ + j / 64] |= Mask{1} << (j % 64);
      }
      poll_.tick(static_cast<std::uint32_t>(next.size() | 1));
    }
    for (Node x : l) pos_of_[static_cast<std::size_t>(x)] = 0;
    const std::size_t levels = static_cast<std::size_t>(std::min<std::uint64_t>(maxrank_, d + 1));
    stack_.assign((levels + 1) * 2 * words_, 0);
    Mask* cand = stack_.data();
    for (std::size_t j = 0; j < d; ++j) cand[j / 64] |= Mask{1} << (j % 64);
    extend(cand, cand + words_, 1);
  }

  // Counts the cliques that extend a clique of `size` nodes with candidate
  // positions `cand` and excluded positions `excl`; both are consumed.
  void extend(Mask* cand, Mask* excl, std::uint64_t size) {
    if (size + 1 == maxrank_) {
      std::uint64_t c = 0;
      for (std::size_t i = 0; i < words_; ++i) c += static_cast<std::uint64_t>(popcount64(cand[i]));
      out_.cliques += c;
      out_.ends += c;
      poll_.tick(static_cast<std::uint32_t>(words_));
      return;
    }
    Mask* next_cand = cand + 2 * words_;
    Mask* next_excl = next_cand + words_;
    for (std::size_t i = 0; i < words_; ++i) {
      while (cand[i] != 0) {
        const std::size_t j = 64 * i + static_cast<std::size_t>(std::countr_zero(cand[i]));
        const Mask bit = Mask{1} << (j % 64);
        cand[i] ^= bit;
        const Mask* row = rows_.data() + j * words_;
        Mask any_cand = 0, any_excl = 0;
        for (std::size_t w = 0; w < words_; ++w) {
          any_cand |= next_cand[w] = cand[w] & row[w];
          any_excl |= next_excl[w] = excl[w] & row[w];
        }
        excl[i] |= bit;
        ++out_.cliques;
        poll_.tick(static_cast<std::uint32_t>(words_));
        if (any_cand != 0)
          extend(next_cand, next_excl, size + 1);
        else if (any_excl == 0)
          ++out_.ends;
        if (out_.cliques >= cap_) return;
      }
    }
  }

  // The candidates of a clique of `size` nodes as a sorted list.
  void listed(const std::vector<Node>& cand, std::uint64_t size) {
    if (size + 1 == maxrank_) {
      out_.cliques += cand.size();
      out_.ends += cand.size();
      return;
    }
    std::vector<Node> next;
    for (std::size_t j = 0; j < cand.size() && out_.cliques < cap_; ++j) {
      ++out_.cliques;
      const auto nx = upper_[static_cast<std::size_t>(cand[j])];
      next.clear();
      std::set_intersection(cand.begin() + static_cast<std::ptrdiff_t>(j) + 1, cand.end(), nx.begin(),
                            nx.end(), std::back_inserter(next));
      poll_.tick(static_cast<std::uint32_t>((cand.size() - j + nx.size()) | 1));
      if (!next.empty()) listed(next, size + 1);
    }
  }

  const NeighbourLists& upper_;
  const std::uint64_t maxrank_;
  const std::uint64_t cap_;
  CliqueCensus out_;
  std::vector<std::uint32_t> pos_of_;
  std::vector<Mask> rows_;
  std::vector<Mask> stack_;
  std::size_t words_ = 1;
  InterruptPoll poll_;
};

}  // namespace

CliqueCensus take_clique_census(const NeighbourLists& upper, std::uint64_t maxrank, std::uint64_t cap) {
  return Census(upper, maxrank, cap).run();
}

}  // namespace vexa::graph
