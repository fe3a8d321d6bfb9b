// The simple upper form of neighbour lists: list v holds the nodes w > v
// with an edge v-w (w < n, listed by v or by w), ascending, each once.
//
// Lists as callers usually give them are tidy: in each, the entries below
// v before those above it, the latter strictly ascending, no v itself,
// every entry below n, and every entry u < v of list v listed by u once.  Their upper form is the
// part of each list after its own node, and TidyUpperForm checks and cuts
// each list down to it as the lists arrive one by one (read into it by the
// input conversion, or copied from lists already in memory).
// Any other lists take simple_upper_form()'s general pass.
//
// Cost: the tidy check is one pass, O(1) per entry: lists are taken in
// order, so the entries u < v of list v are met in ascending order of v
// for each u, and each must be the next entry of u's upper part that no
// earlier list has matched.  The general pass sorts only the lists that
// are out of order: O(entries) for symmetric lists, plus the sorts.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <vector>

#include "types.hpp"

namespace vexa::graph {

class TidyUpperForm {
  // The entries of list u's upper part that no later list has listed u for
  // yet, as indices into lists_.nodes(): [next, end).  The end is kept
  // beside the cursor, where the check reads it, rather than only in the
  // offsets.  Halving the record to two 32-bit indices measured the same
  // (paired calls on preferential attachment, n = 50,000, m = 4: 0.98 to
  // 1.00): the check's misses are not the records' size.
  struct Unmatched {
    std::size_t next;
    std::size_t end;
  };

 public:
  // `lists` and `entries`: about how many lists and entries there will be
  // (room for all of them is taken at once, since a list is stored whole
  // before it is cut; the arrays still grow past a wrong guess).
  explicit TidyUpperForm(std::size_t lists = 0, std::size_t entries = 0) { reserve(lists, entries); }
  void reserve(std::size_t lists, std::size_t entries);

  // Where the lists are read to: the caller appends list v (v = the lists
  // taken so far) to lists().nodes(), ends it by lists().close_seq() and
  // calls take_last().  While the lists are tidy, each is cut down to its
  // upper part where it lies, so that the whole lists are never kept.
  NeighbourLists& lists() noexcept { return lists_; }
  void take_last();

  // The entries below its node that lead list v, taken as they are read
  // and never stored: below() gives a cursor for list v while the lists
  // are tidy, and cursor.take(u) is true when u < v is the entry that the
  // check of take_last() would accept next, and takes it.  On false the
  // entry is stored like every later entry of the list, and take_last()
  // checks them, or it starts the upper part (below).  The cursor holds the
  // arrays as they are: it is valid until the first entry is stored or
  // room() is called.
  class Below {
   public:
    bool take(Node u) noexcept {
      if (u >= v_) return false;
      Unmatched& m = unmatched_[static_cast<std::size_t>(u)];
      if (m.next == m.end || up_[m.next] != v_) return false;
      ++m.next;
      return true;
    }

   private:
    friend class TidyUpperForm;
    Below(const Node* up, Unmatched* unmatched, Node v) noexcept : up_(up), unmatched_(unmatched), v_(v) {}
    const Node* up_;
    Unmatched* unmatched_;
    Node v_;
  };
  Below below() noexcept { return Below(lists_.nodes().data(), unmatched_.data(), lists_.size()); }

  // The upper part of list v written where it belongs, by a reader that
  // checks its ascent as it reads (the entries below v having been taken by
  // below()): room(at, n) makes room for n entries from index `at` of
  // lists().nodes() on (`at` from lists().offsets().back() up to the end of
  // what was written) and returns the array, which moves only when it
  // grows; take_upper(end, last) closes list v as the entries written from
  // lists().offsets().back() to `end`, all above v and strictly ascending,
  // `last` the final one (v if there is none).  The room beyond the lists
  // taken holds zeros; trim() drops it, and must come before anything else
  // appends to lists().nodes() (finish() trims on its own); trim(end) keeps
  // the entries written up to `end` as the start of list v, stored.
  Node* room(std::size_t at, std::size_t n) {
    std::vector<Node>& nodes = lists_.nodes();
    if (n > nodes.size() - at) grow_room(at, n);
    return nodes.data();
  }
  void take_upper(std::size_t end, Node last) {
    std::vector<std::size_t>& offsets = lists_.offsets();
    unmatched_.push_back({offsets.back(), end});
    offsets.push_back(end);
    top_ = std::max(top_, last);
  }
  void trim(std::size_t end) { lists_.nodes().resize(end); }
  void trim() { trim(lists_.offsets().back()); }

  // The next list, copied from elsewhere and taken.
  void add(const Node* first, const Node* last);

  bool tidy() const noexcept { return tidy_; }

  // After the last list: their upper form, or nothing if they are not tidy.
  // In that case lists() stand for the same graph as the lists given (same
  // count, same edges by simple_upper_form()'s reading): the lists before
  // the untidy one hold their upper parts (the entries below were each
  // found there), the untidy one is whole or, if its entries below passed,
  // without them, and the later ones are whole.
  std::optional<NeighbourLists> finish();

 private:
  void give_up() noexcept;
  void grow_room(std::size_t at, std::size_t n);

  // Entries of room made at least at once, so that a list of a few entries
  // costs one comparison; 2 KiB of zeros, a short vector loop that writes
  // the lines the entries then overwrite, while they are still in cache.
  static constexpr std::size_t kRoomStep = 256;

  // The lists read so far: upper parts while tidy_.
  NeighbourLists lists_;
  std::vector<Unmatched> unmatched_;
  Node top_ = 0;           // the largest entry above its own node
  bool tidy_ = true;
};

// The upper form of any lists, read as the maximal search reads them:
// self-loops and entries >= n dropped, repeats counted once, an edge listed
// at one end only is an edge.
NeighbourLists simple_upper_form(const NeighbourLists& adj);

// The general pass alone, for lists known not to be tidy.
NeighbourLists general_upper_form(const NeighbourLists& adj);

}  // namespace vexa::graph
