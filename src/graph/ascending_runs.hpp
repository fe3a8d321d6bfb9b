// Checking that a run of node numbers ascends strictly inside a range, with
// or without copying it on the way: the check every tidy-list reader makes
// of the entries below or above a list's own node.
//
// One pass, without a branch per entry: a list is short, and a loop that
// returns at the first bad entry costs a mispredicted exit on every list,
// while bad lists are rare and need no early answer.
//
// TidyUpperForm::add() (upper_form.cpp) checks the part of each list above
// its node with a loop of its own: the lists arrive one by one, the bound n
// is known only after the last, so its loop has one compare per entry where
// this one has two (6 % more of that pass's instructions on a 3D geometric
// graph of 20,000 nodes).
#pragma once

#include <cstddef>
#include <type_traits>

#include "types.hpp"

namespace vexa::graph {

// Whether the `count` values at `from` ascend strictly and all lie in
// [lo, hi); each is also stored to `to` (as T) unless T is void.  `to` is
// written in full even when the answer is false.
template <class T>
inline bool copy_ascending_within(const Node* from, std::size_t count, Node lo, Node hi, T* to) noexcept {
  Node floor = lo;
  bool bad = false;
  for (std::size_t j = 0; j < count; ++j) {
    const Node x = from[j];
    // x + 1 wraps only for the largest Node, which is never below hi.
    bad |= (x < floor) | (x >= hi);
    floor = x + 1;
    if constexpr (!std::is_void_v<T>) to[j] = static_cast<T>(x);
  }
  return !bad;
}

// The check alone.
inline bool ascending_within(const Node* from, std::size_t count, Node lo, Node hi) noexcept {
  return copy_ascending_within<void>(from, count, lo, hi, nullptr);
}

}  // namespace vexa::graph
