#include "functions.hpp"

#include "binding.hpp"
#include "convert.hpp"
#include "errors.hpp"
#include "graph/maximal_cliques.hpp"
#include "graph/phase_clock.hpp"
#include "graph/weighted_cliques.hpp"
#include "graph/weights_from_maximal.hpp"
#include "result.hpp"
#include "timings.hpp"

namespace vexa::module {
namespace {

constexpr const char* kNbrsParams[] = {"nbrs", "maxrank"};
constexpr const char* kAdjRankParams[] = {"adj", "maxrank"};
constexpr const char* kAdjParams[] = {"adj"};

constexpr Signature kCliques{"enumerate_cliques_with_weights", kNbrsParams, 2};
constexpr Signature kCliquesNoprune{"enumerate_cliques_with_weights_noprune", kNbrsParams, 2};
constexpr Signature kDecompose{"maxclique_decompose_with_weights", kAdjRankParams, 2};
constexpr Signature kEdgeonly{"enumerate_cliques_with_weights_edgeonly", kAdjParams, 1};

// The converted arguments of one call.
struct Arguments {
  graph::NeighbourLists lists;
  std::uint64_t maxrank = 0;
};

// Binds and converts; a TypeError of a conversion names its parameter.
Arguments bind_and_convert(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
  PyObject* slots[kMaxParams] = {};
  bind_arguments(sig, args, nargs, kwnames, slots);
  Arguments out;
  try {
    out.lists = convert_neighbour_lists(slots[0]);
  } catch (const PyErrorSet&) {
    name_parameter(sig.params[0]);
    throw;
  }
  if (sig.count > 1) {
    try {
      out.maxrank = convert_u64(slots[1]);
    } catch (const PyErrorSet&) {
      name_parameter(sig.params[1]);
      throw;
    }
  }
  return out;
}

// The cliques of at most maxrank nodes, breadth-first, with the weights of
// `rule`.  The converted lists are released before the Python objects are
// made.
PyObject* bounded_cliques_with_weights(const Signature& sig, PyObject* const* args,
                                       Py_ssize_t nargs, PyObject* kwnames, graph::WeightRule rule) {
  PhaseTimes times(sig.name);
  Arguments a = bind_and_convert(sig, args, nargs, kwnames);
  times.mark("convert");
  graph::take_phase_ledger();
  const graph::WeightedCliques result = graph::enumerate_weighted_cliques(a.lists, a.maxrank, rule);
  const graph::PhaseLedger ledger = graph::take_phase_ledger();
  times.mark("cliques and weights");
  times.note("enumerate", ledger.enumerate_ms);
  times.note("weights", ledger.weights_ms);
  const std::size_t node_count = a.lists.size();
  a.lists = graph::NeighbourLists();
  Ref tuple = build_result(result, node_count);
  times.mark("result");
  return tuple.release();
}

PyObject* enumerate_cliques_with_weights(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                         PyObject* kwnames) {
  return guard([&]() -> PyObject* {
    return bounded_cliques_with_weights(kCliques, args, nargs, kwnames, graph::WeightRule::pruned);
  });
}

PyObject* enumerate_cliques_with_weights_noprune(PyObject*, PyObject* const* args,
                                                 Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> PyObject* {
    return bounded_cliques_with_weights(kCliquesNoprune, args, nargs, kwnames,
                                        graph::WeightRule::noprune);
  });
}

PyObject* maxclique_decompose_with_weights(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                           PyObject* kwnames) {
  return guard([&]() -> PyObject* {
    Arguments a = bind_and_convert(kDecompose, args, nargs, kwnames);
    graph::WeightedCliques result;
    {
      const graph::CliqueList maximal = graph::enumerate_maximal_cliques(a.lists);
      result = graph::calc_clique_weights_from_maximal(maximal, a.maxrank);
    }
    return build_result(result, a.lists.size()).release();
  });
}

PyObject* enumerate_cliques_with_weights_edgeonly(PyObject*, PyObject* const* args,
                                                  Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> PyObject* {
    Arguments a = bind_and_convert(kEdgeonly, args, nargs, kwnames);
    return build_edgeonly_result(a.lists).release();
  });
}

template <class F>
inline PyCFunction as_cfunction(F f) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

}  // namespace

// The docstrings hold only the text signature, so that inspect.signature()
// works while __doc__ stays None.
PyMethodDef kMethods[] = {
    {"enumerate_cliques_with_weights", as_cfunction(enumerate_cliques_with_weights),
     METH_FASTCALL | METH_KEYWORDS, "enumerate_cliques_with_weights($module, /, nbrs, maxrank)\n--\n\n"},
    {"enumerate_cliques_with_weights_noprune", as_cfunction(enumerate_cliques_with_weights_noprune),
     METH_FASTCALL | METH_KEYWORDS,
     "enumerate_cliques_with_weights_noprune($module, /, nbrs, maxrank)\n--\n\n"},
    {"maxclique_decompose_with_weights", as_cfunction(maxclique_decompose_with_weights),
     METH_FASTCALL | METH_KEYWORDS, "maxclique_decompose_with_weights($module, /, adj, maxrank)\n--\n\n"},
    {"enumerate_cliques_with_weights_edgeonly", as_cfunction(enumerate_cliques_with_weights_edgeonly),
     METH_FASTCALL | METH_KEYWORDS, "enumerate_cliques_with_weights_edgeonly($module, /, adj)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace vexa::module
