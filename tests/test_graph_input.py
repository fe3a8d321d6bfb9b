"""Graph objects into neighbour lists: every input kind the shared converter
(vexa_dask.graphs, used by examples/interop.py) accepts gives the graph's own
cliques, checked against networkx; and the look-alikes that are not neighbour
lists are caught or converted instead of read row by row."""

import sys
from pathlib import Path

import networkx as nx
import numpy as np
import pytest
import scipy.sparse

import vexa
from vexa_dask import graphs

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "examples"))
import interop  # noqa: E402


def base_graph():
    g = nx.gnp_random_graph(24, 0.35, seed=11)
    g.add_node(24)  # an isolated node at the end
    return g


def edges_of(g):
    return np.array(list(g.edges), dtype=np.int64).reshape(-1, 2)


def directed(g):
    d = nx.DiGraph()
    d.add_nodes_from(range(len(g)))
    d.add_edges_from((v, u) for u, v in g.edges)  # each edge one way only
    return d


# Each builds, from a networkx graph on nodes 0..n-1, the same graph in one of
# the accepted kinds; noise that must not matter (repeats, both directions,
# self-loops, stored zeros) is mixed in where the kind can carry it.
KINDS = {
    "networkx": lambda g: g,
    "networkx-directed-one-way": lambda g: directed(g),
    "scipy-csr-array": lambda g: nx.to_scipy_sparse_array(g, nodelist=range(len(g)), format="csr"),
    "scipy-coo-matrix-with-loops": lambda g: scipy.sparse.coo_matrix(
        nx.to_scipy_sparse_array(g, nodelist=range(len(g))) + scipy.sparse.eye(len(g))
    ),
    "scipy-upper-triangle": lambda g: scipy.sparse.triu(nx.to_scipy_sparse_array(g, nodelist=range(len(g))), 1),
    "dense-int": lambda g: nx.to_numpy_array(g, nodelist=range(len(g)), dtype=np.int8),
    "dense-bool": lambda g: nx.to_numpy_array(g, nodelist=range(len(g)), dtype=bool),
    "dense-float": lambda g: nx.to_numpy_array(g, nodelist=range(len(g))),
    "n-edges-array": lambda g: (len(g), edges_of(g)),
    "n-edges-pairs-repeated": lambda g: (len(g), [(v, u) for u, v in g.edges] + list(g.edges) + [(3, 3)]),
    "n-edges-uint32": lambda g: (len(g), edges_of(g).astype(np.uint32)),
    "one-way-lists": lambda g: [[w for w in g[v] if w > v] for v in range(len(g))],
    "numpy-rows": lambda g: [np.array(sorted(g[v]), dtype=np.int32) for v in range(len(g))],
}


@pytest.mark.parametrize("kind", KINDS)
def test_every_kind_gives_the_graphs_cliques(kind):
    g = base_graph()
    graph = KINDS[kind](g)
    nbrs = interop.lists_for(vexa.enumerate_cliques_with_weights, graph)
    adj = interop.lists_for(vexa.maxclique_decompose_with_weights, graph)
    assert len(adj) == len(nbrs) == len(g)
    assert all(a == sorted(set(a)) and v not in a for v, a in enumerate(adj))
    cliques, _ = vexa.enumerate_cliques_with_weights(nbrs, 0)
    assert sorted(map(sorted, cliques)) == sorted(map(sorted, nx.enumerate_all_cliques(g)))
    top = vexa.maxclique_decompose_with_weights(adj, len(adj))[0]
    maximal = {frozenset(c) for c in top if not any(set(c) < set(d) for d in top)}
    assert maximal == {frozenset(c) for c in nx.find_cliques(g)}
    edgeonly = vexa.enumerate_cliques_with_weights_edgeonly(interop.lists_for(vexa.enumerate_cliques_with_weights_edgeonly, graph))
    assert edgeonly[1][: len(g)] == [1 - g.degree(v) for v in range(len(g))]


def test_the_karate_club_matrix_is_converted_not_misread():
    g = nx.karate_club_graph()
    matrix = nx.to_scipy_sparse_array(g)
    # Read row by row, the matrix gives cliques the graph does not have ...
    misread = vexa.maxclique_decompose_with_weights(matrix, 64)[0]
    assert max(map(len, misread)) > 5
    # ... converted, its largest clique has the 5 nodes it has.
    cliques = vexa.maxclique_decompose_with_weights(graphs.neighbour_lists(matrix), 64)[0]
    assert max(map(len, cliques)) == max(map(len, nx.find_cliques(g))) == 5


def test_array_slices_hand_over_the_same_lists():
    g = base_graph()
    m = nx.to_scipy_sparse_array(g, nodelist=range(len(g)), format="csr")
    m.sort_indices()
    adj = interop.lists_for(vexa.maxclique_decompose_with_weights, g)
    assert [s.tolist() for s in interop.slices_from_csr(m)] == adj
    n, e = len(g), edges_of(g)
    slices = interop.slices_from_edge_array(n, e)
    assert all(s.base is not None for s in slices if len(s))  # views, not copies
    assert [s.tolist() for s in slices] == adj
    upper = interop.slices_from_edge_array(n, e, "upper")
    assert vexa.enumerate_cliques_with_weights(upper, 3) == vexa.enumerate_cliques_with_weights(
        interop.lists_for(vexa.enumerate_cliques_with_weights, g), 3
    )


@pytest.mark.parametrize(
    "graph, error, message",
    [
        ((5, np.array([[0, 1], [1, 7]])), ValueError, "node 7 is out of range for n = 5"),
        ((5, [(0, 1), (5, 2)]), ValueError, "node 5 is out of range for n = 5"),
        ((3, np.array([[0, -1]])), ValueError, "non-negative, got node -1"),
        ((3, np.array([[0.0, 1.0]])), TypeError, "integers"),
        ((-1, []), ValueError, "must not be negative"),
        (np.zeros((3, 4)), ValueError, r"shape \(3, 4\)"),
        (scipy.sparse.csr_array((2, 3)), ValueError, "must be square"),
        ([[1], [3]], ValueError, "node 3 is out of range for n = 2"),
        ([[1], [-1]], ValueError, "node -1 is out of range for n = 2"),
        ([[1], [0.5]], TypeError, "integers"),
        ([[1], [2**70]], ValueError, f"node {2**70} is out of range"),
        ("ab", TypeError, "str"),
        ({0: [1]}, TypeError, "dict"),
    ],
)
def test_bad_graphs_are_refused_with_the_node_and_n(graph, error, message):
    with pytest.raises(error, match=message):
        graphs.csr(graph)


def test_edge_cases_of_the_forms():
    assert graphs.neighbour_lists([]) == [] and graphs.neighbour_lists((0, [])) == []
    assert graphs.neighbour_lists((3, [])) == [[], [], []]
    assert graphs.neighbour_lists(np.ones((2, 2), dtype=bool), "upper") == [[1], []]  # square: adjacency
    assert graphs.neighbour_lists(np.array([[2, 0], [0, 1], [1, 2]]), "upper") == [[1, 2], [2], []]  # (m, 2): edges
    assert graphs.neighbour_lists(nx.Graph([("b", "a"), ("a", "c")])) == [[1], [0, 2], [1]]  # list(graph) order
    with pytest.raises(ValueError, match="form"):
        graphs.neighbour_lists([[]], "lower")
