#include "result.hpp"

#include <vector>

#include "errors.hpp"
#include "graph/interrupt.hpp"

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

// One int object per node number below a bound, made on first use and shared
// by every clique that holds the node.  Cliques repeat the same few nodes
// many times, so this saves most of the int allocations of a result.
class NodeInts {
 public:
  explicit NodeInts(std::size_t bound) : cache_(bound, nullptr) {}
  NodeInts(const NodeInts&) = delete;
  NodeInts& operator=(const NodeInts&) = delete;
  ~NodeInts() {
    for (PyObject* p : cache_) Py_XDECREF(p);
  }

  // A new reference to int(v).
  PyObject* get(graph::Node v) {
    if (v < cache_.size()) {
      PyObject*& slot = cache_[v];
      if (slot == nullptr) {
        slot = PyLong_FromUnsignedLongLong(v);
        if (slot == nullptr) object_creation_failed();
      }
      Py_INCREF(slot);
      return slot;
    }
    PyObject* fresh = PyLong_FromUnsignedLongLong(v);
    if (fresh == nullptr) object_creation_failed();
    return fresh;
  }

 private:
  std::vector<PyObject*> cache_;
};

PyObject* new_list(std::size_t length) {
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(length));
  if (list == nullptr) object_creation_failed();
  return list;
}

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

}  // namespace

Ref build_result(const graph::CliqueList& cliques, const graph::WeightList& weights,
                 std::size_t node_count) {
  GcPause gc_pause;
  graph::InterruptPoll poll;
  // No point caching more distinct numbers than the result holds.
  NodeInts ints(std::min(node_count, cliques.total_nodes()));

  Ref tuple(PyTuple_New(2));
  if (!tuple) object_creation_failed();

  const std::size_t m = cliques.size();
  Ref clique_list(new_list(m));
  for (std::size_t i = 0; i < m; ++i) {
    const auto clique = cliques[i];
    PyObject* entry = new_list(clique.size());
    PyList_SET_ITEM(clique_list.get(), static_cast<Py_ssize_t>(i), entry);
    for (std::size_t k = 0; k < clique.size(); ++k)
      PyList_SET_ITEM(entry, static_cast<Py_ssize_t>(k), ints.get(clique[k]));
    poll.tick(static_cast<std::uint32_t>(clique.size() + 1));
  }

  Ref weight_list(new_list(weights.size()));
  for (std::size_t i = 0; i < weights.size(); ++i) {
    PyObject* w = PyLong_FromLongLong(weights[i]);
    if (w == nullptr) object_creation_failed();
    PyList_SET_ITEM(weight_list.get(), static_cast<Py_ssize_t>(i), w);
    poll.tick();
  }

  PyTuple_SET_ITEM(tuple.get(), 0, clique_list.release());
  PyTuple_SET_ITEM(tuple.get(), 1, weight_list.release());
  return tuple;
}

Ref build_result(const graph::WeightedCliques& result, std::size_t node_count) {
  return build_result(result.cliques, result.weights, node_count);
}

}  // namespace vexa::module
