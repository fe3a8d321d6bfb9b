# Type information for the native module vexa (a stub-only package, PEP 561).
#
# Neighbour lists may be any sequence (list, tuple, range, bytes, ...) of
# sequences of integers; every item only needs __index__.  A str is refused at
# run time and does not type-check either, since its items are str.
from collections.abc import Sequence
from typing import SupportsIndex, TypeAlias

__all__ = [
    "enumerate_cliques_with_weights",
    "enumerate_cliques_with_weights_noprune",
    "maxclique_decompose_with_weights",
    "enumerate_cliques_with_weights_edgeonly",
]

_NeighbourLists: TypeAlias = Sequence[Sequence[SupportsIndex]]
_WeightedCliques: TypeAlias = tuple[list[list[int]], list[int]]

def enumerate_cliques_with_weights(nbrs: _NeighbourLists, maxrank: SupportsIndex) -> _WeightedCliques:
    """Every clique of at most maxrank nodes (0: no bound), breadth-first,
    with inclusion-exclusion weights; nbrs in upper form.  nbrs is neighbour
    lists, not an adjacency matrix: convert a matrix first
    (vexa_dask.graphs.neighbour_lists, which needs numpy)."""

def enumerate_cliques_with_weights_noprune(nbrs: _NeighbourLists, maxrank: SupportsIndex) -> _WeightedCliques:
    """The same cliques and weights as enumerate_cliques_with_weights,
    computed by an alternating count over all sub-cliques.  nbrs is neighbour
    lists in upper form, not an adjacency matrix."""

def maxclique_decompose_with_weights(adj: _NeighbourLists, maxrank: SupportsIndex) -> _WeightedCliques:
    """The cliques of non-zero weight in the family of maximal cliques cut
    to maxrank nodes, largest first; adj as full symmetric lists.  adj is
    neighbour lists, not an adjacency matrix: convert a matrix first
    (vexa_dask.graphs.neighbour_lists, which needs numpy)."""

def enumerate_cliques_with_weights_edgeonly(adj: _NeighbourLists) -> _WeightedCliques:
    """Nodes (weight 1 - len(adj[i])) then edges (weight 1); adj as full
    symmetric lists.  adj is neighbour lists, not an adjacency matrix."""
