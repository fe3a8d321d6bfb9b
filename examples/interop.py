"""Feeding vexa from the graph libraries you already use.

vexa takes two list shapes, for nodes 0 .. n-1:

* ``nbrs`` in upper form -- list v holds the neighbours of v that are greater
  than v, ascending, each once -- for ``enumerate_cliques_with_weights`` and
  ``enumerate_cliques_with_weights_noprune``;
* ``adj``, the full symmetric lists -- list v holds every neighbour of v,
  ascending, each once -- for ``maxclique_decompose_with_weights`` and
  ``enumerate_cliques_with_weights_edgeonly``.

An adjacency matrix is *not* such lists: a scipy sparse matrix, a dense numpy
0/1 matrix or nested 0/1 lists handed over as they are give a wrong result
without a word (each row is read as a list of neighbour numbers).
``lists_for`` turns any of a networkx graph, a scipy sparse matrix, a dense
numpy adjacency matrix, an edge array or an ``(n, edges)`` pair into the
lists the chosen function expects; it is the converter of ``vexa_dask`` (the
sharded runs on Dask use the same one), which needs only numpy.

Self-loops and repeated edges are dropped, since vexa reads its lists exactly
as given.

    python examples/interop.py              # the karate club, checked against networkx
    python examples/interop.py --timing     # the ways to hand a matrix over, timed

Large inputs can be handed over as numpy slices of one array, without a copy
per node and without a Python int per entry: ``slices_from_csr`` and
``slices_from_edge_array``.
"""

from __future__ import annotations

import statistics
import sys
import time
from collections.abc import Callable, Hashable, Iterable, Sequence
from typing import Any

import networkx as nx
import numpy as np
import numpy.typing as npt
import scipy.sparse

import vexa
from vexa_dask.graphs import Form, neighbour_lists

Lists = list[list[int]]
Slices = Sequence[npt.NDArray[np.integer[Any]]]

# The list form each function reads.
FORMS: dict[str, Form] = {
    "enumerate_cliques_with_weights": "upper",
    "enumerate_cliques_with_weights_noprune": "upper",
    "maxclique_decompose_with_weights": "full",
    "enumerate_cliques_with_weights_edgeonly": "full",
}


def lists_for(function: Callable[..., object], graph: object) -> Lists:
    """The lists of `graph` in the form `function` (one of vexa's four) reads.

    `graph`: a networkx graph (node i is ``list(graph)[i]``), a scipy sparse
    matrix or array (every stored non-zero is an edge), a dense numpy
    adjacency matrix, an (m, 2) numpy edge array, an ``(n, edges)`` pair, or
    neighbour lists."""
    return neighbour_lists(graph, FORMS[getattr(function, "__name__", "")])


def upper_form(adj: Sequence[Sequence[int]]) -> Lists:
    """nbrs from adj: keep only the greater neighbours."""
    return [[w for w in a if w > v] for v, a in enumerate(adj)]


def lists_from_edges(edges: Iterable[tuple[int, int]], n: int = 0) -> tuple[Lists, Lists]:
    """(nbrs, adj) from (u, v) pairs; n fixes the node count (isolated nodes at the end)."""
    pairs = np.array(list(edges), dtype=np.int64).reshape(-1, 2)
    return lists_from_edge_array(pairs, n)


def lists_from_networkx(graph: nx.Graph[Hashable]) -> tuple[Lists, Lists, list[Hashable]]:
    """(nbrs, adj, labels): node i of the lists is labels[i] in the graph."""
    return neighbour_lists(graph, "upper"), neighbour_lists(graph, "full"), list(graph)


def lists_from_edge_array(edges: npt.ArrayLike, n: int = 0) -> tuple[Lists, Lists]:
    """(nbrs, adj) from an integer array of shape (E, 2); at least n nodes."""
    e = np.asarray(edges).reshape(-1, 2)
    if e.size and e.min() < 0:
        raise ValueError("node numbers must be non-negative")
    n = max(n, int(e.max()) + 1 if e.size else 0)
    return neighbour_lists((n, e), "upper"), neighbour_lists((n, e), "full")


def lists_from_scipy(matrix: scipy.sparse.sparray | scipy.sparse.spmatrix) -> tuple[Lists, Lists]:
    """(nbrs, adj) from a square sparse adjacency matrix; every stored non-zero is an edge."""
    return neighbour_lists(matrix, "upper"), neighbour_lists(matrix, "full")


def slices_from_csr(matrix: scipy.sparse.csr_array | scipy.sparse.csr_matrix) -> Slices:
    """adj as slices of the matrix's own index array, no copies.

    Only for a CSR matrix that already is full symmetric lists: symmetric,
    nothing on the diagonal, no explicitly stored zeros (``eliminate_zeros``);
    vexa reads the lists in any order.  For the upper form take
    ``scipy.sparse.triu(matrix, 1, format="csr")`` first."""
    indptr, indices = matrix.indptr, matrix.indices
    return [indices[indptr[i] : indptr[i + 1]] for i in range(matrix.shape[0])]


def slices_from_edge_array(n: int, edges: npt.NDArray[np.integer[Any]], form: Form = "full") -> Slices:
    """The lists as slices of one sorted copy of the edges: (n, edges) as for
    ``lists_for``, self-loops and repeats dropped."""
    return neighbour_lists((n, edges), form, arrays=True)


def same_cliques_as_networkx(graph: nx.Graph[Hashable]) -> bool:
    """Does vexa find exactly the cliques and maximal cliques that networkx finds?"""
    labels = list(graph)
    cliques, _ = vexa.enumerate_cliques_with_weights(lists_for(vexa.enumerate_cliques_with_weights, graph), 0)
    ours = [frozenset(labels[i] for i in c) for c in cliques]
    if len(set(ours)) != len(ours) or set(ours) != {frozenset(c) for c in nx.enumerate_all_cliques(graph)}:
        return False
    # With maxrank = number of nodes no maximal clique is cut, and the maximal
    # cliques are the returned cliques that lie in no other returned clique.
    adj = lists_for(vexa.maxclique_decompose_with_weights, graph)
    parts = [frozenset(labels[i] for i in c) for c in vexa.maxclique_decompose_with_weights(adj, len(adj))[0]]
    maximal = {c for c in parts if not any(c < d for d in parts)}
    return maximal == {frozenset(c) for c in nx.find_cliques(graph)}


def handover_times(n: int = 50_000, m: int = 4, rounds: int = 5) -> dict[str, float]:
    """Median seconds from a scipy CSR matrix to the edge-only result, for
    each way of handing the lists over (Barabasi-Albert graph, n nodes)."""
    g = nx.barabasi_albert_graph(n, m, seed=1)
    matrix = nx.to_scipy_sparse_array(g, nodelist=range(n), format="csr")
    matrix.sort_indices()
    edges = np.array(g.edges, dtype=np.int64)
    ways: dict[str, Callable[[], Any]] = {
        "lists_for(matrix): lists of ints": lambda: lists_for(vexa.enumerate_cliques_with_weights_edgeonly, matrix),
        "slices_from_csr(matrix): array slices": lambda: slices_from_csr(matrix),
        "slices_from_edge_array(n, edges)": lambda: slices_from_edge_array(n, edges),
        "slices, then tolist() each": lambda: [a.tolist() for a in slices_from_csr(matrix)],
    }
    times: dict[str, list[float]] = {name: [] for name in ways}
    for _ in range(rounds):
        for name, make in ways.items():
            start = time.perf_counter()
            vexa.enumerate_cliques_with_weights_edgeonly(make())
            times[name].append(time.perf_counter() - start)
    return {name: statistics.median(t) for name, t in times.items()}


if __name__ == "__main__":
    g = nx.karate_club_graph()
    matrix = nx.to_scipy_sparse_array(g)
    adj = lists_for(vexa.maxclique_decompose_with_weights, matrix)
    print(f"karate club: {len(adj)} nodes, {sum(map(len, adj)) // 2} edges")
    print("largest clique:", max(map(len, vexa.maxclique_decompose_with_weights(adj, 64)[0])))
    print("same cliques as networkx:", same_cliques_as_networkx(g))
    if "--timing" in sys.argv:
        print("scipy CSR matrix to edge-only weights, Barabasi-Albert n=50,000 m=4 (median of 5):")
        for name, seconds in handover_times().items():
            print(f"  {name:40s} {seconds * 1000:7.1f} ms")
