#include "clique_census.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
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

}  // namespace

class CliqueCensusTaker::Walk {
 public:
  Walk(const NeighbourLists& upper, std::uint64_t maxrank, CensusSeeds seeds)
      : upper_(upper),
        maxrank_(maxrank == 0 ? std::numeric_limits<std::uint64_t>::max() : maxrank),
        pos_of_(upper.size(), 0),
        bit_of_(upper.size(), 0) {
    if (seeds == CensusSeeds::sampled) choose_seeds();
  }

  CliqueCensus count_to(std::uint64_t cap) {
    const std::size_t n = upper_.size();
    const std::size_t seeds = sampled_ ? taken_.size() : n;
    const double cap_d = static_cast<double>(cap);
    bool stopped = false;
    for (; next_ < seeds; ++next_) {
      const std::size_t v = sampled_ ? taken_[next_].node : next_;
      const double scale = sampled_ ? taken_[next_].scale : 1.0;
      if (cliques_ >= cap_d) {
        stopped = true;
        break;
      }
      // This seed may add up to seed_cap_ cliques before the cap is
      // reached; a seed stopped there is counted again by the next call.
      seed_cap_ = static_cast<std::uint64_t>(std::min(std::ceil((cap_d - cliques_) / scale), 0x1p63));
      seed_cliques_ = 1;
      seed_ends_ = 0;
      const std::size_t d = upper_.length(v);
      if (maxrank_ == 1 || d == 0) {
        ++seed_ends_;
      } else if (d <= kCensusMaskedDegree) {
        masked_seed(v);
      } else {
        std::vector<Node> cand(upper_[v].begin(), upper_[v].end());
        listed(cand, 1);
      }
      poll_.tick(static_cast<std::uint32_t>(d | 1));
      if (seed_cliques_ >= seed_cap_) {
        stopped = true;
        break;
      }
      cliques_ += scale * static_cast<double>(seed_cliques_);
      ends_ += scale * static_cast<double>(seed_ends_);
    }
    CliqueCensus out;
    out.complete = !stopped && cliques_ < cap_d;
    out.cliques = out.complete ? rounded(cliques_) : cap;
    out.ends = rounded(ends_);
    return out;
  }

 private:
  struct Taken {
    std::size_t node;
    double scale;
  };

  static std::uint64_t rounded(double x) { return static_cast<std::uint64_t>(std::min(std::round(x), 0x1p63)); }

  // The seeds of a sampled census, ascending, each with the number of seeds
  // it stands for.
  void choose_seeds() {
    sampled_ = true;
    const std::size_t n = upper_.size();
    std::size_t top = 0;
    for (std::size_t v = 0; v < n; ++v) top = std::max(top, upper_.length(v));
    // Per later-degree: the seeds in its group, and those met so far.
    std::vector<std::size_t> group(top + 1, 0);
    for (std::size_t v = 0; v < n; ++v) ++group[upper_.length(v)];
    std::vector<std::size_t> seen(top + 1, 0);
    auto taken_from = [](std::size_t size) {
      return size < kSampledGroup ? size : (size + kSampleStride - 1) / kSampleStride;
    };
    for (std::size_t v = 0; v < n; ++v) {
      const std::size_t d = upper_.length(v);
      const std::size_t size = group[d];
      if (size < kSampledGroup) {
        taken_.push_back({v, 1.0});
      } else if (seen[d]++ % kSampleStride == 0) {
        taken_.push_back({v, static_cast<double>(size) / static_cast<double>(taken_from(size))});
      }
      poll_.every<4096>(v);
    }
  }

  // Row j: the positions of upper[v] whose nodes are adjacent to the node
  // at position j, before and after it.  In a list of at most 64 entries
  // each node has its own bit: the part of row j after j is the OR of the
  // bits of upper[l[j]], and its part before j is set from the earlier
  // rows' parts after them.
  void masked_seed(std::size_t v) {
    const auto l = upper_[v];
    const std::size_t d = l.size();
    words_ = (d + 63) / 64;
    if (d <= 64) {
      for (std::size_t j = 0; j < d; ++j) bit_of_[static_cast<std::size_t>(l[j])] = Mask{1} << j;
      rows_.assign(d, 0);
      for (std::size_t j = 0; j + 1 < d; ++j) {
        const auto next = upper_[static_cast<std::size_t>(l[j])];
        Mask after = 0;
        for (Node y : next) after |= bit_of_[static_cast<std::size_t>(y)];
        rows_[j] |= after;
        for (Mask rest = after; rest != 0; rest &= rest - 1)
          rows_[static_cast<std::size_t>(std::countr_zero(rest))] |= Mask{1} << j;
        poll_.tick(static_cast<std::uint32_t>(next.size() | 1));
      }
      for (Node x : l) bit_of_[static_cast<std::size_t>(x)] = 0;
    } else {
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
    }
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
      seed_cliques_ += c;
      seed_ends_ += c;
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
        ++seed_cliques_;
        poll_.tick(static_cast<std::uint32_t>(words_));
        if (any_cand != 0)
          extend(next_cand, next_excl, size + 1);
        else if (any_excl == 0)
          ++seed_ends_;
        if (seed_cliques_ >= seed_cap_) return;
      }
    }
  }

  // The candidates of a clique of `size` nodes as a sorted list.
  void listed(const std::vector<Node>& cand, std::uint64_t size) {
    if (size + 1 == maxrank_) {
      seed_cliques_ += cand.size();
      seed_ends_ += cand.size();
      return;
    }
    std::vector<Node> next;
    for (std::size_t j = 0; j < cand.size() && seed_cliques_ < seed_cap_; ++j) {
      ++seed_cliques_;
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
  bool sampled_ = false;
  std::vector<Taken> taken_;
  // Where the census stands: the next seed (an index into taken_ when
  // sampled) and the estimates of the seeds before it.
  std::size_t next_ = 0;
  double cliques_ = 0, ends_ = 0;
  // The seed being counted: its own figures and how far it may go.
  std::uint64_t seed_cliques_ = 0, seed_ends_ = 0, seed_cap_ = 0;
  std::vector<std::uint32_t> pos_of_;  // position + 1 in a list of more than 64 entries
  std::vector<Mask> bit_of_;           // the node's bit in a list of at most 64 entries
  std::vector<Mask> rows_;
  std::vector<Mask> stack_;
  std::size_t words_ = 1;
  InterruptPoll poll_;
};

CliqueCensusTaker::CliqueCensusTaker(const NeighbourLists& upper, std::uint64_t maxrank, CensusSeeds seeds)
    : walk_(std::make_unique<Walk>(upper, maxrank, seeds)) {}

CliqueCensusTaker::~CliqueCensusTaker() = default;

CliqueCensus CliqueCensusTaker::count_to(std::uint64_t cap) { return walk_->count_to(cap); }

CliqueCensus take_clique_census(const NeighbourLists& upper, std::uint64_t maxrank, std::uint64_t cap) {
  return CliqueCensusTaker(upper, maxrank, CensusSeeds::all).count_to(cap);
}

}  // namespace vexa::graph
