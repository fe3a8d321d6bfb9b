#include "result.hpp"

#include <algorithm>
#include <span>
#include <variant>
#include <vector>

#include "errors.hpp"
#include "graph/edgeonly.hpp"
#include "graph/interrupt.hpp"
#include "graph/memory_room.hpp"

namespace vexa::module {
namespace {

// The host could not create a result object.  Running out of memory stays a
// MemoryError so that the caller can recover from it; anything else is
// printed and becomes an internal failure.
[[noreturn]] void object_creation_failed() {
  if (PyErr_ExceptionMatches(PyExc_MemoryError)) throw PyErrorSet{};
  PyErr_Print();
  throw graph::Failure("Python API call failed");
}

// One int object per node number below a bound, shared by every clique that
// holds the node.  Cliques repeat the same few nodes many times, so this
// saves most of the int allocations of a result.  The ints are all made up
// front, side by side in the allocator's memory: every list item takes a
// reference, and made on first use they would lie strewn among the lists
// (the decomposition's largest-first order meets the nodes late), each
// reference a cache miss; made first, 6-8 % less time for the
// decomposition of a 3D geometric graph at maxrank 3 and 4.
class NodeInts {
 public:
  NodeInts(std::size_t bound, graph::InterruptPoll& poll) : cache_(bound, nullptr) {
    try {
      for (std::size_t v = 0; v < bound; ++v) {
        cache_[v] = PyLong_FromUnsignedLongLong(v);
        if (cache_[v] == nullptr) object_creation_failed();
        poll.every<4096>(v);
      }
    } catch (...) {
      release();  // no destructor runs for an object left half made
      throw;
    }
  }
  NodeInts(const NodeInts&) = delete;
  NodeInts& operator=(const NodeInts&) = delete;
  ~NodeInts() { release(); }

  // The shared ints, int(v) at v for every v below bound(), for loops that
  // keep them in registers.
  PyObject* const* shared() const noexcept { return cache_.data(); }
  std::size_t bound() const noexcept { return cache_.size(); }

  // A new int(v), not shared.
  static PyObject* fresh_int(graph::Node v) {
    PyObject* fresh = PyLong_FromUnsignedLongLong(v);
    if (fresh == nullptr) object_creation_failed();
    return fresh;
  }

 private:
  void release() noexcept {
    for (PyObject* p : cache_) Py_XDECREF(p);
    cache_.clear();
  }

  std::vector<PyObject*> cache_;
};

PyObject* new_list(std::size_t length) {
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(length));
  if (list == nullptr) object_creation_failed();
  return list;
}

// A list that will hold `length` items, with its slots reserved but not
// cleared and its length still 0: the caller stores the items in slot order
// and raises the length with each (set_filled()), so that the list releases
// exactly the items stored so far if the build stops part way.  PyList_New()
// clears the slots, which every slot then has written again: a clearing call
// for each clique's list, and for the result's two outer lists a pass over
// megabytes, a real memset where their memory comes back from earlier frees
// (the decomposition frees its large arrays just before).  For the
// decomposition of a 3D geometric graph at maxrank 3 the clearing was a
// tenth of the result's instructions.  Builds whose lists keep their slots
// in another layout (free-threaded) take PyList_New().
PyObject* new_unfilled_list(std::size_t length) {
#ifdef Py_GIL_DISABLED
  PyObject* list = new_list(length);
  Py_SET_SIZE(list, 0);
  return list;
#else
  PyObject* list = new_list(0);
  if (length == 0) return list;
  void* slots = length > static_cast<std::size_t>(PY_SSIZE_T_MAX) / sizeof(PyObject*)
                    ? nullptr
                    : PyMem_Malloc(length * sizeof(PyObject*));
  if (slots == nullptr) {
    Py_DECREF(list);
    PyErr_NoMemory();
    object_creation_failed();
  }
  auto* l = reinterpret_cast<PyListObject*>(list);
  l->ob_item = static_cast<PyObject**>(slots);
  l->allocated = static_cast<Py_ssize_t>(length);
  return list;
#endif
}

// The list now holds its first `count` slots (see new_unfilled_list()).
void set_filled(PyObject* list, std::size_t count) noexcept {
  Py_SET_SIZE(list, static_cast<Py_ssize_t>(count));
}

// The item slots of a list, as PyList_SET_ITEM writes them.
PyObject** list_slots(PyObject* list) noexcept {
  return reinterpret_cast<PyListObject*>(list)->ob_item;
}

PyObject* new_weight(graph::Weight weight) {
  PyObject* w = PyLong_FromLongLong(weight);
  if (w == nullptr) object_creation_failed();
  return w;
}

// The weight ints.  Most weights are small (1 for nearly every clique of a
// decomposition) and the interpreter hands out one shared object for each
// small int; this keeps the objects it handed out for the range it shares,
// fetched on first use, so that the common weight costs a table look-up and
// a reference instead of a call.  Any other weight is a new int.
class WeightInts {
 public:
  WeightInts() = default;
  WeightInts(const WeightInts&) = delete;
  WeightInts& operator=(const WeightInts&) = delete;
  ~WeightInts() {
    for (PyObject* p : table_) Py_XDECREF(p);
  }

  // A new reference to int(w).
  PyObject* get(graph::Weight w) {
    // Unsigned: one comparison tests both ends of the range, with no
    // overflow for any weight.
    const std::uint64_t at = static_cast<std::uint64_t>(w) - static_cast<std::uint64_t>(kLowest);
    if (at >= kCount) return new_weight(w);
    PyObject*& shared = table_[at];
    if (shared == nullptr) shared = new_weight(w);
    Py_INCREF(shared);
    return shared;
  }

 private:
  // The range of ints every supported interpreter keeps one object for.
  static constexpr graph::Weight kLowest = -5;
  static constexpr std::size_t kCount = 262;  // -5 .. 256
  PyObject* table_[kCount] = {};
};

// Keeps the cyclic garbage collector off while a result is built.  A result
// is a fresh tree of lists and ints that cannot hold a cycle, yet creating a
// million lists would otherwise trigger hundreds of collections, each
// traversing every tracked list built so far.
class GcPause {
 public:
  GcPause() noexcept : was_enabled_(PyGC_Disable()) {}
  GcPause(const GcPause&) = delete;
  GcPause& operator=(const GcPause&) = delete;
  ~GcPause() {
    if (was_enabled_) PyGC_Enable();
  }

 private:
  int was_enabled_;
};

// Stores the ints of a clique's nodes in the list made for it by
// new_unfilled_list(): the shared int for a node below `bound`, a new one
// for any other.  The list already sits in its result slot, so that if a
// new int cannot be made, releasing the result releases it with the items
// stored so far.
inline void fill_clique(PyObject* entry, const graph::Node* nodes, std::size_t length,
                        PyObject* const* shared, std::size_t bound) {
  PyObject** const items = list_slots(entry);
  for (std::size_t k = 0; k < length; ++k) {
    const graph::Node v = nodes[k];
    PyObject* item;
    if (v < bound) {
      item = shared[v];
      Py_INCREF(item);
    } else {
      set_filled(entry, k);  // the only call that can fail part way
      item = NodeInts::fresh_int(v);
    }
    items[k] = item;
  }
  set_filled(entry, length);
}

// The least memory a result of `length` cliques holding `nodes` nodes in all
// takes: per clique a list object with the collector's header (56 bytes on
// a 64-bit CPython) and its slots in the two outer lists, and per node one
// item slot; the ints, shared or not, come on top.
constexpr std::size_t kListObjectBytes = 56;
std::size_t least_result_bytes(std::size_t length, std::size_t nodes) noexcept {
  constexpr std::size_t kMax = ~std::size_t{0};
  constexpr std::size_t kPerClique = kListObjectBytes + 2 * sizeof(PyObject*);
  if (length > kMax / kPerClique || nodes > kMax / sizeof(PyObject*)) return kMax;
  const std::size_t lists = length * kPerClique, items = nodes * sizeof(PyObject*);
  return lists > kMax - items ? kMax : lists + items;
}

// `length`, once the memory for a result of that many cliques holding
// `nodes` nodes in all has been found free (std::bad_alloc otherwise).
// Kept out of line: inlined, the reading of the system's figures made the
// compiler spill the fill loops' registers (7 instructions more a clique).
[[gnu::noinline]] std::size_t room_checked(std::size_t length, std::size_t nodes) {
  graph::check_room(least_result_bytes(length, nodes));
  return length;
}

// The two result lists, created at their final length and filled in place.
// Each new list enters its slot before it is filled, and each slot counts
// in its list's length as soon as it is set, so that a failure part way
// leaves lists whose release releases exactly what was made.
class ResultBuilder {
 public:
  // A result that the memory the system has free cannot hold ends in
  // MemoryError before any of it is made: on a system that overcommits,
  // making it would otherwise grow the process until the kernel kills it.
  ResultBuilder(std::size_t length, std::size_t node_bound, std::size_t nodes)
      : length_(room_checked(length, nodes)),
        ints_(node_bound, poll_),
        cliques_(new_unfilled_list(length)),
        weights_(new_unfilled_list(length)) {}

  // Sets slot i of both lists; slots are set in order, from 0.
  void set(std::size_t i, std::span<const graph::Node> clique, graph::Weight weight) {
    put(slots(), i, clique.data(), clique.size(), weight);
    poll_.tick(static_cast<std::uint32_t>(clique.size() + 1));
  }

  // Sets every slot: clique i of `cliques` with weights[i], as set() does,
  // with the arrays held in locals: the calls into the interpreter would
  // otherwise make the compiler reload them all from memory for every
  // clique, which costs a third of this loop's own instructions.
  void fill(const graph::CliqueList& cliques, const graph::WeightList& weights) {
    const std::size_t count = cliques.size();
    const std::size_t* const offsets = cliques.offsets().data();
    const graph::Node* const nodes = cliques.nodes().data();
    const graph::Weight* const weight = weights.data();
    const Slots at = slots();
    graph::InterruptPoll poll;
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t first = offsets[i];
      const std::size_t length = offsets[i + 1] - first;
      put(at, i, nodes + first, length, weight[i]);
      poll.tick(static_cast<std::uint32_t>(length + 1));
    }
  }

  // Sets every slot from the blocks of `kept`, in the order they come, as
  // fill() does from arrays: each block is read while it is in cache.
  void fill(graph::KeptCliques& kept) {
    const Slots at = slots();
    graph::InterruptPoll poll;
    std::size_t i = 0;
    for (graph::CliqueBlock b = kept.next_block(); b.count != 0; b = kept.next_block()) {
      if (b.count > length_ - i) throw graph::Failure("more kept cliques than counted");
      const std::size_t length = b.size;
      const graph::Node* nodes = b.nodes;
      const graph::Weight* const weight = b.weights;
      for (std::size_t j = 0; j < b.count; ++j, ++i, nodes += length) {
        put(at, i, nodes, length, weight[j]);
        poll.tick(static_cast<std::uint32_t>(length + 1));
      }
    }
  }

  Ref finish() {
    if (static_cast<std::size_t>(PyList_GET_SIZE(cliques_.get())) != length_ ||
        static_cast<std::size_t>(PyList_GET_SIZE(weights_.get())) != length_)
      throw graph::Failure("result lists left unfilled");
    Ref tuple(PyTuple_New(2));
    if (!tuple) object_creation_failed();
    PyTuple_SET_ITEM(tuple.get(), 0, cliques_.release());
    PyTuple_SET_ITEM(tuple.get(), 1, weights_.release());
    return tuple;
  }

 private:
  // What filling a slot writes to: both lists, their item arrays, and the
  // shared node ints.
  struct Slots {
    PyObject* cliques;
    PyObject** clique_items;
    PyObject* weights;
    PyObject** weight_items;
    PyObject* const* shared;
    std::size_t bound;
  };
  Slots slots() const noexcept {
    return {cliques_.get(), list_slots(cliques_.get()), weights_.get(), list_slots(weights_.get()),
            ints_.shared(), ints_.bound()};
  }

  // Slot i: a new list for the clique's nodes, entered before it is filled,
  // and the weight's int; each counts in its list's length once set.
  void put(const Slots& at, std::size_t i, const graph::Node* nodes, std::size_t length, graph::Weight weight) {
    PyObject* const entry = new_unfilled_list(length);
    at.clique_items[i] = entry;
    set_filled(at.cliques, i + 1);
    fill_clique(entry, nodes, length, at.shared, at.bound);
    at.weight_items[i] = weight_ints_.get(weight);
    set_filled(at.weights, i + 1);
  }

  std::size_t length_;
  GcPause gc_pause_;
  graph::InterruptPoll poll_;
  NodeInts ints_;
  WeightInts weight_ints_;
  Ref cliques_;
  Ref weights_;
};

}  // namespace

Ref build_result(const graph::CliqueList& cliques, const graph::WeightList& weights,
                 std::size_t node_count) {
  // No point caching more distinct numbers than the result holds.
  ResultBuilder out(cliques.size(), std::min(node_count, cliques.total_nodes()), cliques.total_nodes());
  out.fill(cliques, weights);
  return out.finish();
}

Ref build_result(const graph::WeightedCliques& result, std::size_t node_count) {
  return build_result(result.cliques, result.weights, node_count);
}

Ref build_result(graph::KeptCliques& kept, std::size_t node_count) {
  kept.rewind();
  ResultBuilder out(kept.size(), std::min(node_count, kept.total_nodes()), kept.total_nodes());
  out.fill(kept);
  return out.finish();
}

Ref build_result(graph::Decomposition& result, std::size_t node_count) {
  if (auto* kept = std::get_if<graph::KeptCliques>(&result.cliques)) return build_result(*kept, node_count);
  return build_result(std::get<graph::WeightedCliques>(result.cliques), node_count);
}

Ref build_edgeonly_result(const graph::NeighbourLists& adj) {
  const std::size_t n = adj.size();
  std::size_t next = n;
  const std::size_t edges = graph::count_edge_cliques(adj);
  ResultBuilder out(n + edges, n, n + 2 * edges);
  for (std::size_t i = 0; i < n; ++i) {
    const graph::Node node = i;
    out.set(i, {&node, 1}, graph::edgeonly_node_weight(adj, i));
  }
  graph::for_each_edge_clique(adj, [&](graph::Node i, graph::Node j) {
    const graph::Node edge[2] = {i, j};
    out.set(next++, edge, 1);
  });
  return out.finish();
}

}  // namespace vexa::module
