"""Feeding vexa from the graph libraries you already use.

Each helper returns the two list shapes that vexa takes, for nodes 0 .. n-1:

* ``nbrs`` in upper form -- list v holds the neighbours of v that are greater
  than v, ascending, each once -- for ``enumerate_cliques_with_weights`` and
  ``enumerate_cliques_with_weights_noprune``;
* ``adj``, the full symmetric lists -- list v holds every neighbour of v,
  ascending, each once -- for ``maxclique_decompose_with_weights`` and
  ``enumerate_cliques_with_weights_edgeonly``.

Self-loops and repeated edges are dropped, since vexa reads its lists exactly
as given.  Every helper is a few lines: copy the one you need.
"""

from __future__ import annotations

from collections.abc import Hashable, Iterable, Sequence

import networkx as nx
import numpy as np
import numpy.typing as npt
import scipy.sparse

import vexa

Lists = list[list[int]]


def upper_form(adj: Sequence[Sequence[int]]) -> Lists:
    """nbrs from adj: keep only the greater neighbours."""
    return [[w for w in a if w > v] for v, a in enumerate(adj)]


def lists_from_edges(edges: Iterable[tuple[int, int]], n: int = 0) -> tuple[Lists, Lists]:
    """(nbrs, adj) from (u, v) pairs; n fixes the node count (isolated nodes at the end)."""
    sets: list[set[int]] = [set() for _ in range(n)]
    for u, v in edges:
        if u < 0 or v < 0:
            raise ValueError(f"node numbers must be non-negative: {(u, v)}")
        sets.extend(set() for _ in range(len(sets), max(u, v) + 1))
        if u != v:
            sets[u].add(v)
            sets[v].add(u)
    adj = [sorted(s) for s in sets]
    return upper_form(adj), adj


def lists_from_networkx(graph: nx.Graph[Hashable]) -> tuple[Lists, Lists, list[Hashable]]:
    """(nbrs, adj, labels): node i of the lists is labels[i] in the graph."""
    labels = list(graph)
    index = {label: i for i, label in enumerate(labels)}
    adj = [sorted({index[w] for w in graph[v] if w != v}) for v in labels]
    return upper_form(adj), adj, labels


def lists_from_edge_array(edges: npt.ArrayLike, n: int = 0) -> tuple[Lists, Lists]:
    """(nbrs, adj) from an integer array of shape (E, 2)."""
    e = np.sort(np.asarray(edges, dtype=np.int64).reshape(-1, 2), axis=1)  # rows (small, large)
    if e.size and e.min() < 0:
        raise ValueError("node numbers must be non-negative")
    n = max(n, int(e.max()) + 1 if e.size else 0)
    e = np.unique(e[e[:, 0] != e[:, 1]], axis=0)  # no self-loops, no repeats, sorted rows
    both = np.concatenate([e, e[:, ::-1]])  # each edge in both directions

    def grouped(pairs: npt.NDArray[np.int64]) -> Lists:  # second column, split by the first
        pairs = pairs[np.lexsort((pairs[:, 1], pairs[:, 0]))]
        ends = np.cumsum(np.bincount(pairs[:, 0], minlength=n))[:-1]
        return [a.tolist() for a in np.split(pairs[:, 1], ends)] if n else []

    return grouped(e), grouped(both)


def lists_from_scipy(matrix: scipy.sparse.sparray | scipy.sparse.spmatrix) -> tuple[Lists, Lists]:
    """(nbrs, adj) from a square sparse adjacency matrix; every stored non-zero is an edge."""
    rows, cols, _ = scipy.sparse.find(matrix)  # the stored entries that are not zero
    return lists_from_edge_array(np.column_stack([rows, cols]), n=matrix.shape[0])


def same_cliques_as_networkx(graph: nx.Graph[Hashable]) -> bool:
    """Does vexa find exactly the cliques and maximal cliques that networkx finds?"""
    nbrs, adj, labels = lists_from_networkx(graph)
    cliques, _ = vexa.enumerate_cliques_with_weights(nbrs, 0)
    ours = [frozenset(labels[i] for i in c) for c in cliques]
    if len(set(ours)) != len(ours) or set(ours) != {frozenset(c) for c in nx.enumerate_all_cliques(graph)}:
        return False
    # With maxrank = number of nodes no maximal clique is cut, and the maximal
    # cliques are the returned cliques that lie in no other returned clique.
    parts = [frozenset(labels[i] for i in c) for c in vexa.maxclique_decompose_with_weights(adj, len(adj))[0]]
    maximal = {c for c in parts if not any(c < d for d in parts)}
    return maximal == {frozenset(c) for c in nx.find_cliques(graph)}


if __name__ == "__main__":
    g = nx.karate_club_graph()
    nbrs, adj, _ = lists_from_networkx(g)
    print(f"karate club: {len(adj)} nodes, {sum(map(len, nbrs))} edges")
    print("same cliques as networkx:", same_cliques_as_networkx(g))
