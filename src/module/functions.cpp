#include "functions.hpp"

#include <optional>

#include "binding.hpp"
#include "convert.hpp"
#include "errors.hpp"
#include "graph/decompose.hpp"
#include "graph/phase_clock.hpp"
#include "graph/weighted_cliques.hpp"
#include "result.hpp"

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
  std::optional<graph::NeighbourLists> upper;  // for tidy lists: their simple upper form alone
  std::uint64_t maxrank = 0;
};

// Every function takes the lists first and maxrank, if at all, second.
using Converter = void (*)(PyObject*, Arguments&);
void convert_lists(PyObject* obj, Arguments& out) { out.lists = convert_neighbour_lists(obj); }
// The decomposition reads the graph the lists stand for: tidy lists are cut
// down to its upper form while they are read, and nothing else is kept;
// other lists are kept as lists of the same graph.
void convert_graph(PyObject* obj, Arguments& out) {
  graph::TidyUpperForm tidy;
  convert_neighbour_lists(obj, tidy);
  out.upper = tidy.finish();
  if (!out.upper) out.lists = std::move(tidy.lists());
}
void convert_maxrank(PyObject* obj, Arguments& out) { out.maxrank = convert_u64(obj); }

// Binds and converts, parameter by parameter; a TypeError of a conversion
// names its parameter.
Arguments bind_and_convert(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames, Converter lists = convert_lists) {
  PyObject* slots[kMaxParams] = {};
  bind_arguments(sig, args, nargs, kwnames, slots);
  Arguments out;
  const Converter converters[kMaxParams] = {lists, convert_maxrank};
  for (std::size_t i = 0; i < sig.count; ++i) {
    try {
      converters[i](slots[i], out);
    } catch (const PyErrorSet&) {
      name_parameter(sig.params[i]);
      throw;
    }
  }
  graph::phase_done("convert");
  return out;
}

// The Python result of a call.  The converted lists are released first, so
// that their memory can serve the Python objects.
template <class Result>
PyObject* release_and_build(Arguments& a, Result& result, std::size_t node_count) {
  a.lists = graph::NeighbourLists();
  Ref tuple = build_result(result, node_count);
  graph::phase_done("result");
  return tuple.release();
}

// The cliques of at most maxrank nodes, breadth-first, with the weights of
// `rule`.  The converted lists are released before the Python objects are
// made.
PyObject* bounded_cliques_with_weights(const Signature& sig, PyObject* const* args,
                                       Py_ssize_t nargs, PyObject* kwnames, graph::WeightRule rule) {
  Arguments a = bind_and_convert(sig, args, nargs, kwnames);
  const graph::WeightedCliques result = graph::enumerate_weighted_cliques(a.lists, a.maxrank, rule);
  return release_and_build(a, result, a.lists.size());
}

PyObject* enumerate_cliques_with_weights(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                         PyObject* kwnames) {
  return guard([&]() -> PyObject* {
    const graph::CallClock clock(kCliques.name);
    return bounded_cliques_with_weights(kCliques, args, nargs, kwnames, graph::WeightRule::pruned);
  });
}

PyObject* enumerate_cliques_with_weights_noprune(PyObject*, PyObject* const* args,
                                                 Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> PyObject* {
    const graph::CallClock clock(kCliquesNoprune.name);
    return bounded_cliques_with_weights(kCliquesNoprune, args, nargs, kwnames,
                                        graph::WeightRule::noprune);
  });
}

PyObject* maxclique_decompose_with_weights(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                           PyObject* kwnames) {
  return guard([&]() -> PyObject* {
    const graph::CallClock clock(kDecompose.name);
    Arguments a = bind_and_convert(kDecompose, args, nargs, kwnames, convert_graph);
    const std::size_t node_count = a.upper ? a.upper->size() : a.lists.size();
    // The seed walk's result stays on its tree until the result's objects
    // are made from it.
    graph::Decomposition result = a.upper ? graph::decompose_upper_form(std::move(*a.upper), a.maxrank)
                                          : graph::decompose_untidy(a.lists, a.maxrank);
    graph::phase_done("cliques and weights");
    return release_and_build(a, result, node_count);
  });
}

PyObject* enumerate_cliques_with_weights_edgeonly(PyObject*, PyObject* const* args,
                                                  Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> PyObject* {
    const graph::CallClock clock(kEdgeonly.name);
    Arguments a = bind_and_convert(kEdgeonly, args, nargs, kwnames);
    Ref tuple = build_edgeonly_result(a.lists);
    graph::phase_done("result");
    return tuple.release();
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
