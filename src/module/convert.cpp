#include "convert.hpp"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "buffer_input.hpp"
#include "errors.hpp"
#include "graph/interrupt.hpp"
#include "text.hpp"

namespace vexa::module {
namespace {

using graph::Node;

// Largest lengths that can be reserved: a node list holds 8-byte numbers, the
// outer list 24-byte list headers, and no reservation may exceed isize::MAX
// bytes.
constexpr Py_ssize_t kMaxNodeListLength = (Py_ssize_t{1} << 60) - 1;
constexpr Py_ssize_t kMaxOuterLength = 384307168202282325;

// A length to reserve by, under the limit of its kind: longer cannot be
// reserved.  Every list argument's length passes here.
template <class Length>
inline Length checked_length(Length length, Py_ssize_t max_length) {
  if (std::cmp_greater(length, max_length)) throw graph::Failure("capacity overflow");
  return length;
}

// The length of an exact list or tuple, under the limit of
// check_list_argument(): what callers pass almost always, neither a str nor
// able to pretend to be one, and its length at hand.
inline Py_ssize_t plain_sequence_length(PyObject* obj, Py_ssize_t max_length) {
  return checked_length(Py_SIZE(obj), max_length);
}

// The checks every list argument goes through before it is read; returns the
// number of entries to reserve (0 if the object cannot tell).
Py_ssize_t check_list_argument(PyObject* obj, Py_ssize_t max_length) {
  if (PyList_CheckExact(obj) || PyTuple_CheckExact(obj)) return plain_sequence_length(obj, max_length);
  int is_str = PyUnicode_Check(obj) ? 1 : PyObject_IsInstance(obj, reinterpret_cast<PyObject*>(&PyUnicode_Type));
  if (is_str < 0) {
    discard_pending();
    is_str = 0;
  }
  if (is_str) raise_error(PyExc_ValueError, "Can't extract `str` to `Vec`");
  if (!PySequence_Check(obj))
    raise_error(PyExc_TypeError, "'" + type_qualname(obj) + "' object cannot be converted to 'Sequence'");
  const Py_ssize_t length = PySequence_Size(obj);
  if (length < 0) {
    discard_pending();
    return 0;
  }
  return checked_length(length, max_length);
}

// Reserves room for `n` entries.  A length that no memory can hold ends in
// std::bad_alloc or std::length_error, which the frame raises as MemoryError.
// AddressSanitizer's operator new ends the process instead of throwing, so
// under it the request is first tried with the non-throwing form: the
// sanitizer build then raises MemoryError like every other build.
template <class T>
void reserve_exactly(std::vector<T>& v, std::size_t n) {
#if defined(__SANITIZE_ADDRESS__)
  if (n > v.max_size()) throw std::length_error("vector::reserve");
  void* probe = ::operator new(n * sizeof(T), std::nothrow);
  if (probe == nullptr) throw std::bad_alloc();
  ::operator delete(probe);
#endif
  v.reserve(n);
}

// Grows `v` to hold `extra` more entries without giving up geometric growth.
template <class T>
inline void reserve_more(std::vector<T>& v, std::size_t extra) {
  const std::size_t need = v.size() + extra;
  if (need > v.capacity()) reserve_exactly(v, std::max(need, 2 * v.capacity()));
}

Node item_to_node(PyObject* item) {
  if (PyLong_CheckExact(item)) {
    const unsigned long long value = PyLong_AsUnsignedLongLong(item);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw_pending();
    return value;
  }
  return convert_u64(item);
}

// Calls `each` on every item of a sequence from item `first` on, in
// iteration order.  Lists and tuples are read in place, exactly as their
// iterators would read them (the length is read again before every item,
// since converting an item can run Python code that changes the list);
// everything else goes through the iterator protocol, from its first item.
template <class Each>
void for_each_item(PyObject* obj, graph::InterruptPoll& poll, Each&& each, Py_ssize_t first = 0) {
  if (PyList_CheckExact(obj) || PyTuple_CheckExact(obj)) {
    const bool is_list = PyList_CheckExact(obj);
    for (Py_ssize_t i = first;; ++i) {
      const Py_ssize_t size = is_list ? PyList_GET_SIZE(obj) : PyTuple_GET_SIZE(obj);
      if (i >= size) break;
      Ref item = Ref::borrow(is_list ? PyList_GET_ITEM(obj, i) : PyTuple_GET_ITEM(obj, i));
      each(item.get());
      poll.tick();
    }
    return;
  }
  Ref iter = checked(PyObject_GetIter(obj));
  for (;;) {
    Ref item(PyIter_Next(iter.get()));
    if (!item) {
      if (PyErr_Occurred()) throw_pending();
      break;
    }
    each(item.get());
    poll.tick();
  }
}

// An exact int of at most one internal digit, read without a call: where
// the interpreter lays such ints out in a way its headers expose (3.11 on),
// true with its value when it is one and not negative.  Node numbers below
// 2^30 are read here; every other int takes PyLong_AsUnsignedLongLong, which
// also raises what must be raised.
inline bool small_exact_int(PyObject* item, Node& value) noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  PyLongObject* const number = reinterpret_cast<PyLongObject*>(item);
  if (!PyUnstable_Long_IsCompact(number)) return false;
  const Py_ssize_t v = PyUnstable_Long_CompactValue(number);
  value = static_cast<Node>(v);
  return v >= 0;
#elif PY_VERSION_HEX >= 0x030B0000
  // One digit first: every node number but 0.
  const Py_ssize_t size = Py_SIZE(item);
  if (size == 1) [[likely]] {
    value = reinterpret_cast<PyLongObject*>(item)->ob_digit[0];
    return true;
  }
  value = 0;
  return size == 0;
#else
  (void)item;
  (void)value;
  return false;
#endif
}

// Items of a list read between two polls for Ctrl-C.
constexpr Py_ssize_t kItemsPerPoll = 1024;

// The items of a list or tuple that are read from item `i` on before the
// next poll: the array and the length as they are now, and where the run
// stops.
struct ItemRun {
  PyObject* const* items;
  Py_ssize_t size;
  Py_ssize_t stop;
};
inline ItemRun item_run(PyObject* seq, Py_ssize_t i) noexcept {
  const Py_ssize_t size = PySequence_Fast_GET_SIZE(seq);
  return {PySequence_Fast_ITEMS(seq), size, std::min(size, i + kItemsPerPoll)};
}

// Appends the exact ints of a list or tuple, from item `first` on up to the
// first item that is not one, as node numbers and returns the index of that
// item (the size if there is none).  Converting an exact int runs no Python
// code, so the items are read straight from the item array, without a
// reference taken per item.  A poll for Ctrl-C does run Python code (signal
// handlers, which may change the list), so the array and its length are
// read afresh after every poll.  The first int that does not fit raises the
// same error, at the same item, as the item-by-item conversion.
Py_ssize_t append_exact_ints(PyObject* seq, std::vector<Node>& nodes, graph::InterruptPoll& poll,
                             Py_ssize_t first = 0) {
  Py_ssize_t i = first;
  for (;;) {
    const auto [items, size, stop] = item_run(seq, i);
    for (; i < stop; ++i) {
      PyObject* const item = items[i];
      if (!PyLong_CheckExact(item)) return i;
      Node small = 0;
      if (small_exact_int(item, small)) {
        nodes.push_back(small);
        continue;
      }
      const unsigned long long value = PyLong_AsUnsignedLongLong(item);
      if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw_pending();
      nodes.push_back(value);
    }
    if (i >= size) return i;
    poll.tick(static_cast<std::uint32_t>(kItemsPerPoll));
  }
}

// The first item from `i` to `stop` that the cursor does not take (`stop`
// if it takes them all).  Kept apart so that its loop has the registers to
// itself.
[[gnu::noinline]] Py_ssize_t take_below(PyObject* const* items, Py_ssize_t i, Py_ssize_t stop,
                                        graph::TidyUpperForm::Below cursor) {
  for (; i < stop; ++i) {
    PyObject* const item = items[i];
    Node u = 0;
    if (!PyLong_CheckExact(item) || !small_exact_int(item, u) || !cursor.take(u)) break;
  }
  return i;
}

// Writes the items [i, stop) of a list's part above its node to up[end..],
// while each is an exact int above `last`, the one before; returns where it
// stopped: `stop`, or the first item that is not such an int.
inline Py_ssize_t write_ascending(PyObject* const* items, Py_ssize_t i, Py_ssize_t stop, Node* up, std::size_t& end,
                                  Node& last) noexcept {
  for (; i < stop; ++i) {
    PyObject* const item = items[i];
    Node x = 0;
    if (!PyLong_CheckExact(item) || !small_exact_int(item, x) || x <= last) break;
    up[end++] = x;
    last = x;
  }
  return i;
}

// Reads list v of lists that are tidy so far from a list or tuple, in the
// same steps as append_exact_ints().  The entries below v that lead it are
// taken by the tidy check's cursor and never stored; the entries after
// them, while they are exact ints of one digit that ascend strictly from
// above v, are written straight to where list v's upper part belongs.
// True when that reads the whole list, which is then taken; otherwise
// `done` is the first item that was not read so (the cursor did not take
// it, or it does not ascend, or it is no such int), the entries written
// before it are stored as the start of list v, and the caller stores the
// rest and hands the list to take_last(), which checks what was stored.
bool read_tidy_list(PyObject* seq, graph::TidyUpperForm& tidy, graph::InterruptPoll& poll, Py_ssize_t& done) {
  const Node v = tidy.lists().size();
  graph::TidyUpperForm::Below cursor = tidy.below();
  std::size_t end = tidy.lists().offsets().back();
  Node last = v;
  bool leading = true;
  Py_ssize_t i = 0;
  for (;;) {
    const auto [items, size, stop] = item_run(seq, i);
    if (leading) {
      i = take_below(items, i, stop, cursor);
      leading = i == stop;
    }
    if (i < stop) {
      Node* const up = tidy.room(end, static_cast<std::size_t>(stop - i));
      i = write_ascending(items, i, stop, up, end, last);
      if (i < stop) {
        tidy.trim(end);
        done = i;
        return false;
      }
    }
    if (i >= size) {
      tidy.take_upper(end, last);
      return true;
    }
    poll.tick(static_cast<std::uint32_t>(kItemsPerPoll));
  }
}

// The item at `i` of a list or tuple.
inline PyObject* plain_item(PyObject* seq, Py_ssize_t i) noexcept { return PySequence_Fast_ITEMS(seq)[i]; }

// Reads list v of lists that are tidy so far, a list or tuple of at most
// kItemsPerPoll items, as read_tidy_list() does but in one run: no poll
// falls within it, so no Python code runs while it is read and its items
// and their count stay as they were.  Same result and same `done`.
inline bool read_short_tidy_list(PyObject* const* items, Py_ssize_t size, graph::TidyUpperForm& tidy,
                                 Py_ssize_t& done) {
  std::size_t end = tidy.lists().offsets().back();
  const Node v = tidy.lists().size();
  Py_ssize_t i = 0;
  for (graph::TidyUpperForm::Below cursor = tidy.below(); i < size; ++i) {
    PyObject* const item = items[i];
    Node u = 0;
    if (!PyLong_CheckExact(item) || !small_exact_int(item, u) || !cursor.take(u)) break;
  }
  Node last = v;
  Node* const up = tidy.room(end, static_cast<std::size_t>(size - i));
  i = write_ascending(items, i, size, up, end, last);
  if (i < size) {
    tidy.trim(end);
    done = i;
    return false;
  }
  tidy.take_upper(end, last);
  return true;
}

// Reads the lists of a list or tuple from item `i` on, as for_each_item()
// would, while they are lists or tuples that read_tidy_list() takes whole.
// Returns the index of the first list it does not take (past the last item
// if there is none); `done` is where read_tidy_list() left off in it (0 if
// it is no list or tuple).
Py_ssize_t read_tidy_lists(PyObject* obj, Py_ssize_t i, graph::TidyUpperForm& tidy, graph::InterruptPoll& poll,
                           Py_ssize_t& done) {
  for (;; ++i) {
    done = 0;
    if (i >= Py_SIZE(obj)) return i;
    PyObject* const inner = plain_item(obj, i);
    PyObject* const* items;
    if (PyList_CheckExact(inner))
      items = reinterpret_cast<PyListObject*>(inner)->ob_item;
    else if (PyTuple_CheckExact(inner))
      items = reinterpret_cast<PyTupleObject*>(inner)->ob_item;
    else
      return i;
    const Py_ssize_t size = Py_SIZE(inner);
    if (size <= kItemsPerPoll) {
      if (!read_short_tidy_list(items, size, tidy, done)) return i;
    } else {
      plain_sequence_length(inner, kMaxNodeListLength);
      // Held for the polls within a long list, whose signal handlers may
      // drop it from the outer list.
      const Ref hold = Ref::borrow(inner);
      if (!read_tidy_list(inner, tidy, poll, done)) return i;
    }
    poll.tick();
  }
}

// The entries of a list or tuple of lists and tuples, read from their
// sizes; 0 for anything else.  Only a guess to reserve by: a signal handler
// run by a poll may still change the lists while they are read.
std::size_t entries_of_plain_lists(PyObject* obj, graph::InterruptPoll& poll) {
  if (!PyList_CheckExact(obj) && !PyTuple_CheckExact(obj)) return 0;
  PyObject* const* const items = PySequence_Fast_ITEMS(obj);
  const Py_ssize_t size = PySequence_Fast_GET_SIZE(obj);
  std::size_t total = 0;
  for (Py_ssize_t i = 0; i < size; ++i) {
    PyObject* const inner = items[i];
    if (PyList_CheckExact(inner) || PyTuple_CheckExact(inner)) total += static_cast<std::size_t>(Py_SIZE(inner));
  }
  poll.tick(static_cast<std::uint32_t>(std::min<Py_ssize_t>(size, 1 << 20) | 1));
  return total;
}

// Ends the list just read, and hands it to the tidy check if there is one.
inline void close_list(graph::NeighbourLists& lists, graph::TidyUpperForm* tidy) {
  lists.close_seq();
  if (tidy != nullptr) tidy->take_last();
}

}  // namespace

std::uint64_t convert_u64(PyObject* obj) {
  Ref index = checked(PyNumber_Index(obj));
  const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw_pending();
  return value;
}

namespace {

// Reads list v (v = lists.size()) from item `first` on into `lists` and
// ends it: every list but those that read_tidy_list() takes whole (for
// those it left off, `first` is where it stopped).
[[gnu::noinline]] void read_list(PyObject* inner, Py_ssize_t first, graph::NeighbourLists& lists,
                                 graph::TidyUpperForm* tidy, graph::InterruptPoll& poll) {
  std::vector<Node>& nodes = lists.nodes();
  // A list or tuple is never an integer array: it skips the buffer probe.
  if (PyList_CheckExact(inner) || PyTuple_CheckExact(inner)) {
    const Py_ssize_t length = plain_sequence_length(inner, kMaxNodeListLength);
    reserve_more(nodes, static_cast<std::size_t>(std::max<Py_ssize_t>(length - first, 0)));
    const Py_ssize_t done = append_exact_ints(inner, nodes, poll, first);
    // The rest, if any, item by item (a list of exact ints has none).
    if (done < Py_SIZE(inner))
      for_each_item(inner, poll, [&](PyObject* item) { nodes.push_back(item_to_node(item)); }, done);
  } else if (const IntArray array(inner, 1); array) {
    if (tidy != nullptr) tidy->trim();
    const std::size_t length = checked_length(array.rows(), kMaxNodeListLength);
    reserve_more(nodes, length);
    array.append(0, length, nodes, poll);
  } else {
    if (tidy != nullptr) tidy->trim();
    const Py_ssize_t length = check_list_argument(inner, kMaxNodeListLength);
    reserve_more(nodes, static_cast<std::size_t>(length));
    for_each_item(inner, poll, [&](PyObject* item) { nodes.push_back(item_to_node(item)); });
  }
  close_list(lists, tidy);
}

// Reads the lists into `lists` (empty), handing each to `tidy` if given
// (then `lists` are tidy->lists()).
void read_neighbour_lists(PyObject* obj, graph::NeighbourLists& lists, graph::TidyUpperForm* tidy) {
  graph::InterruptPoll poll;
  std::vector<Node>& nodes = lists.nodes();
  std::vector<std::size_t>& offsets = lists.offsets();
  // Integer arrays are read from their buffers, in the same steps and with
  // the same checks as the generic conversion below.
  if (const IntArray table(obj, 2); table) {
    const std::size_t rows = checked_length(table.rows(), kMaxOuterLength);
    reserve_exactly(offsets, rows + 1);
    for (std::size_t r = 0; r < rows; ++r) {
      const std::size_t length = checked_length(table.row_length(), kMaxNodeListLength);
      reserve_more(nodes, length);
      table.append(r * length, length, nodes, poll);
      close_list(lists, tidy);
      poll.tick();
    }
    return;
  }
  const Py_ssize_t outer = check_list_argument(obj, kMaxOuterLength);
  reserve_exactly(offsets, static_cast<std::size_t>(outer) + 1);
  try {
    const std::size_t entries = entries_of_plain_lists(obj, poll);
    reserve_exactly(nodes, entries);
    if (tidy != nullptr) tidy->reserve(static_cast<std::size_t>(outer), entries);
  } catch (const std::bad_alloc&) {
    // Left to grow as the lists are read: a list that fails to convert must
    // fail with its own error, not with this one.
  } catch (const std::length_error&) {
  }
  // While the lists are tidy, those that read_tidy_list() takes whole are
  // read in one run; a list it leaves off is read on by read_list().
  Py_ssize_t i = 0;
  if (tidy != nullptr && (PyList_CheckExact(obj) || PyTuple_CheckExact(obj))) {
    Py_ssize_t done = 0;
    while (tidy->tidy() && (i = read_tidy_lists(obj, i, *tidy, poll, done)) < Py_SIZE(obj)) {
      const Ref inner = Ref::borrow(plain_item(obj, i));
      read_list(inner.get(), done, lists, tidy, poll);
      poll.tick();
      ++i;
    }
  }
  for_each_item(obj, poll, [&](PyObject* inner) { read_list(inner, 0, lists, tidy, poll); }, i);
}

}  // namespace

graph::NeighbourLists convert_neighbour_lists(PyObject* obj) {
  graph::NeighbourLists lists;
  read_neighbour_lists(obj, lists, nullptr);
  return lists;
}

void convert_neighbour_lists(PyObject* obj, graph::TidyUpperForm& tidy) {
  read_neighbour_lists(obj, tidy.lists(), &tidy);
}

void name_parameter(const char* param) {
  Ref exc = take_pending();
  if (Py_TYPE(exc.get()) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
    restore(std::move(exc));
    return;
  }
  const std::string message = std::string("argument '") + param + "': " + printable(exc.get());
  Ref str(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (!str) return;
  Ref renamed(PyObject_CallOneArg(PyExc_TypeError, str.get()));
  if (!renamed) return;
  // Setting the cause, even to None, also sets __suppress_context__.
  PyException_SetCause(renamed.get(), PyException_GetCause(exc.get()));
  restore(std::move(renamed));
}

}  // namespace vexa::module
