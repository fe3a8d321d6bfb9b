// Result order for the size tables.  Each size is sorted on its own:
// entries are bucketed by their first node (a counting sort) when node
// numbers are small against the entries, and the buckets, or else the whole
// size, are sorted by comparison.  Cost O(m log m) comparisons of O(k) for
// m entries of size k, O(m + max node) with the buckets.  Long sorts run in
// slices that are then merged pass by pass, with an interrupt check between
// steps, so that Ctrl-C is seen within milliseconds.
#include "clique_order.hpp"

#include <algorithm>
#include <functional>

#include "memory_room.hpp"

namespace vexa::graph {
namespace {

// Elements sorted between two interrupt checks: about a millisecond of work.
constexpr std::size_t kSortSlice = std::size_t{1} << 13;
// Elements merged or copied between two interrupt checks.
constexpr std::size_t kMergeStep = 4096;
// Bucketing by first node pays when there are more entries than this ...
constexpr std::size_t kMinBucketed = 64;
// ... and when the bucket array (one slot per node number up to the largest
// first node) stays within this many slots per entry, plus a fixed slack.
constexpr std::size_t kBucketsPerEntry = 4;
constexpr std::size_t kBucketSlack = 1024;

template <class T>
T* copy_with_ticks(const T* from, const T* end, T* out, InterruptPoll& poll) {
  while (static_cast<std::size_t>(end - from) > kSortSlice) {
    out = std::copy(from, from + kSortSlice, out);
    from += kSortSlice;
    poll.tick(static_cast<std::uint32_t>(kSortSlice));
  }
  return std::copy(from, end, out);
}

// std::sort in slices, then merged pairwise pass by pass.
template <class T, class Less>
void sort_with_ticks(T* v, std::size_t n, Less less, InterruptPoll& poll) {
  for (std::size_t b = 0; b < n; b += kSortSlice) {
    const std::size_t e = std::min(n, b + kSortSlice);
    std::sort(v + b, v + e, less);
    poll.tick(static_cast<std::uint32_t>(e - b) | 1);
  }
  if (n <= kSortSlice) return;
  std::vector<T> buf;
  reserve_checked(buf, n);
  buf.resize(n);
  T* from = v;
  T* to = buf.data();
  for (std::size_t width = kSortSlice; width < n; width *= 2) {
    for (std::size_t lo = 0; lo < n; lo += 2 * width) {
      const T* a = from + lo;
      const T* const a_end = from + std::min(n, lo + width);
      const T* b = a_end;
      const T* const b_end = from + std::min(n, lo + 2 * width);
      T* out = to + lo;
      while (a != a_end && b != b_end) {
        for (std::size_t step = 0; step < kMergeStep && a != a_end && b != b_end; ++step)
          *out++ = less(*b, *a) ? *b++ : *a++;
        poll.tick(static_cast<std::uint32_t>(kMergeStep));
      }
      out = copy_with_ticks(a, a_end, out, poll);
      copy_with_ticks(b, b_end, out, poll);
    }
    std::swap(from, to);
  }
  if (from != v) copy_with_ticks<T>(from, from + n, v, poll);
}

}  // namespace

void sort_nodes(std::vector<Node>& nodes, InterruptPoll& poll) {
  sort_with_ticks(nodes.data(), nodes.size(), std::less<Node>(), poll);
}

WeightedCliques collect_in_order(const Tables& tables, InterruptPoll& poll) {
  WeightedCliques out;
  std::size_t entries = 0, nodes = 0;
  for (const SizeTable& t : tables) {
    entries += t.size();
    nodes += t.size() * t.width();
  }
  reserve_checked(out.cliques.offsets(), entries + 1);
  reserve_checked(out.cliques.nodes(), nodes);
  reserve_checked(out.weights, entries);
  // Sort records carry the first two nodes, which settle most comparisons
  // without touching the key array.
  struct Item {
    Node first, second;
    Index idx;
  };
  std::vector<Item> order, sorted;
  std::vector<std::size_t> bucket_start, bucket_fill;
  for (std::size_t k = tables.size(); k-- > 0;) {
    const SizeTable& table = tables[k];
    order.clear();
    Node max_first = 0;
    for (std::size_t e = 0; e < table.size(); ++e) {
      poll.every<kMergeStep>(e);
      if (table.cover[e] == 1) continue;
      const auto key = table.key(e);
      const Node first = k > 0 ? key[0] : 0;
      max_first = std::max(max_first, first);
      order.push_back({first, k > 1 ? key[1] : 0, static_cast<Index>(e)});
    }
    auto less = [&](const Item& x, const Item& y) {
      if (x.first != y.first) return x.first < y.first;
      if (x.second != y.second) return x.second < y.second;
      const auto kx = table.key(x.idx), ky = table.key(y.idx);
      for (std::size_t i = 2; i < k; ++i)
        if (kx[i] != ky[i]) return kx[i] < ky[i];
      return false;
    };
    if (order.size() > kMinBucketed && max_first <= kBucketsPerEntry * order.size() + kBucketSlack) {
      bucket_start.assign(static_cast<std::size_t>(max_first) + 2, 0);
      for (std::size_t i = 0; i < order.size(); ++i) {
        ++bucket_start[static_cast<std::size_t>(order[i].first) + 1];
        poll.every<kMergeStep>(i);
      }
      for (std::size_t f = 0; f + 1 < bucket_start.size(); ++f) {
        bucket_start[f + 1] += bucket_start[f];
        poll.every<kMergeStep>(f);
      }
      sorted.resize(order.size());
      bucket_fill.assign(bucket_start.begin(), bucket_start.end() - 1);
      for (std::size_t i = 0; i < order.size(); ++i) {
        sorted[bucket_fill[static_cast<std::size_t>(order[i].first)]++] = order[i];
        poll.every<kMergeStep>(i);
      }
      for (std::size_t f = 0; f + 1 < bucket_start.size(); ++f) {
        const std::size_t b = bucket_start[f], e = bucket_start[f + 1];
        if (e - b > 1) {
          sort_with_ticks(sorted.data() + b, e - b, less, poll);
        } else {
          poll.every<kMergeStep>(f);
        }
      }
      order.swap(sorted);
    } else {
      sort_with_ticks(order.data(), order.size(), less, poll);
    }
    for (std::size_t i = 0; i < order.size(); ++i) {
      out.cliques.push_back(table.key(order[i].idx));
      out.weights.push_back(wrap_sub(1, table.cover[order[i].idx]));
      poll.every<kMergeStep>(i);
    }
    poll.tick(static_cast<std::uint32_t>(order.size() | 1));
  }
  return out;
}

}  // namespace vexa::graph
