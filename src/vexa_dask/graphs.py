"""Turning the graph objects users have into the neighbour lists vexa reads.

vexa takes one list of neighbour numbers per node and checks nothing, so an
adjacency matrix handed over as it is (a scipy sparse matrix, a dense numpy
array, nested 0/1 lists) is read row by row as neighbour lists and gives a
wrong result without a word.  :func:`neighbour_lists` accepts

* a networkx graph (node i is ``list(graph)[i]``; directed edges count as
  undirected ones),
* a scipy sparse matrix or array (every stored non-zero entry (i, j) is an
  edge i-j),
* a dense two-dimensional numpy array: a square one is an adjacency matrix
  (every non-zero entry is an edge), one of shape (m, 2) is an edge array,
* an ``(n, edges)`` pair, edges as an (m, 2) integer array or a sequence of
  pairs, for nodes 0 .. n-1,
* neighbour lists (any sequence of integer sequences); an entry w in list v
  is an edge v-w even when list w lacks v,

and returns the simple undirected graph it describes (self-loops and repeated
edges dropped) in the form a vexa function expects: ``"full"`` symmetric
lists for ``maxclique_decompose_with_weights`` and
``enumerate_cliques_with_weights_edgeonly``, ``"upper"`` form for
``enumerate_cliques_with_weights`` and ``..._noprune``.  Node numbers that
are negative or not below n are refused with a ValueError naming the node
and n.

Only numpy is needed; networkx and scipy objects are recognised by their
attributes, so neither has to be installed.
"""

from __future__ import annotations

import itertools
import operator
from collections.abc import Sequence
from typing import Any, Literal, NamedTuple, Union, overload

import numpy as np
import numpy.typing as npt

__all__ = ["Csr", "Form", "csr", "neighbour_lists", "rows"]

Form = Literal["full", "upper"]
IntArray = npt.NDArray[np.int64]
# Up to this many nodes an edge (u, v) sorts as the one 64-bit key u * n + v.
_KEY_LIMIT = 3_037_000_499  # floor(sqrt(2**63 - 1))


class Csr(NamedTuple):
    """A simple undirected graph on nodes 0 .. n-1: the neighbours of v are
    ``indices[indptr[v]:indptr[v + 1]]``, ascending, each once, v excluded,
    and every edge is listed from both ends."""

    indptr: IntArray
    indices: IntArray

    @property
    def n(self) -> int:
        return len(self.indptr) - 1


def csr(graph: object) -> Csr:
    """The simple undirected graph that `graph` describes (see the module's
    docstring for the accepted kinds)."""
    if isinstance(graph, (str, bytes)):
        raise TypeError(f"a graph cannot be given as {type(graph).__name__}")
    if hasattr(graph, "adj") and hasattr(graph, "is_directed"):
        return _from_networkx(graph)
    if hasattr(graph, "tocoo") and hasattr(graph, "nnz"):
        return _from_sparse(graph)
    if isinstance(graph, np.ndarray):
        return _from_array(graph)
    if isinstance(graph, Sequence) and len(graph) == 2 and _is_integer(graph[0]):
        n = operator.index(graph[0])
        if n < 0:
            raise ValueError(f"the node count must not be negative, got n = {n}")
        return _from_edges(_edge_array(graph[1]), n)
    if isinstance(graph, Sequence):
        return _from_lists(graph)
    raise TypeError(
        f"cannot read a graph from a {type(graph).__name__}: give a networkx graph, a scipy sparse "
        "matrix, a numpy adjacency matrix or edge array, an (n, edges) pair or neighbour lists"
    )


@overload
def neighbour_lists(graph: object, form: Form = ..., *, arrays: Literal[False] = ...) -> list[list[int]]: ...
@overload
def neighbour_lists(graph: object, form: Form = ..., *, arrays: Literal[True]) -> list[IntArray]: ...
def neighbour_lists(
    graph: object, form: Form = "full", *, arrays: bool = False
) -> Union[list[list[int]], list[IntArray]]:
    """The lists of `graph` in `form` ("full" or "upper"), ascending.

    With ``arrays=True`` each list is a slice of one int64 numpy array (no
    per-node copies, and no Python int per entry)."""
    g = csr(graph)
    if form == "upper":
        g = upper(g)
    elif form != "full":
        raise ValueError(f"form must be 'full' or 'upper', got {form!r}")
    return rows(g, arrays=arrays)


def upper(g: Csr) -> Csr:
    """Only the neighbours greater than each node (the upper triangle)."""
    source = np.repeat(np.arange(g.n, dtype=np.int64), np.diff(g.indptr))
    keep = g.indices > source
    return Csr(_indptr(source[keep], g.n), g.indices[keep])


@overload
def rows(g: Csr, *, arrays: Literal[False] = ...) -> list[list[int]]: ...
@overload
def rows(g: Csr, *, arrays: Literal[True]) -> list[IntArray]: ...
@overload
def rows(g: Csr, *, arrays: bool) -> Union[list[list[int]], list[IntArray]]: ...
def rows(g: Csr, *, arrays: bool = False) -> Union[list[list[int]], list[IntArray]]:
    """One list (or array slice) per node."""
    bounds: list[int] = g.indptr.tolist()
    flat: Any = g.indices if arrays else g.indices.tolist()
    return [flat[a:b] for a, b in zip(bounds, bounds[1:])]


# --------------------------------------------------------------------------
# The kinds of input


def _is_integer(x: object) -> bool:
    if isinstance(x, (bool, np.bool_)) or not hasattr(x, "__index__"):
        return False
    return not isinstance(x, Sequence) and not isinstance(x, np.ndarray)


def _from_networkx(graph: Any) -> Csr:
    index = {label: i for i, label in enumerate(graph)}
    n = len(index)
    ends = [(index[u], index[v]) for u, v in graph.edges()]
    pairs = np.array(ends, dtype=np.int64).reshape(-1, 2)
    return _from_edges(pairs, n)


def _from_sparse(matrix: Any) -> Csr:
    shape = tuple(matrix.shape)
    if len(shape) != 2 or shape[0] != shape[1]:
        raise ValueError(f"an adjacency matrix must be square, got shape {shape}")
    coo = matrix.tocoo()
    stored = np.asarray(coo.data) != 0  # an explicitly stored zero is no edge
    rows_, cols = (np.asarray(a, dtype=np.int64)[stored] for a in _coo_coords(coo))
    return _from_edges(np.stack([rows_, cols], axis=1), int(shape[0]))


def _coo_coords(coo: Any) -> tuple[Any, Any]:
    coords = getattr(coo, "coords", None)  # sparse arrays; matrices have row and col
    return (coords[0], coords[1]) if coords is not None else (coo.row, coo.col)


def _from_array(a: npt.NDArray[Any]) -> Csr:
    if a.ndim == 2 and a.shape[0] == a.shape[1]:
        if a.dtype.kind not in "biuf":
            raise TypeError(f"an adjacency matrix must hold numbers, got dtype {a.dtype}")
        i, j = np.nonzero(a)
        return _from_edges(np.stack([i, j], axis=1).astype(np.int64), a.shape[0])
    if a.ndim == 2 and a.shape[1] == 2:
        edges = _edge_array(a)
        return _from_edges(edges, int(np.max(edges)) + 1 if edges.size else 0)
    raise ValueError(
        f"a numpy array of shape {a.shape} is neither a square adjacency matrix nor an (m, 2) edge "
        "array; give neighbour lists as a list of rows, or edges as an (n, edges) pair"
    )


def _edge_array(edges: object) -> IntArray:
    a = np.asarray(edges)
    if a.size == 0:
        return np.empty((0, 2), dtype=np.int64)
    if a.ndim != 2 or a.shape[1] != 2:
        raise ValueError(f"edges must be an (m, 2) array or a sequence of pairs, got shape {a.shape}")
    if a.dtype.kind not in "iu":
        raise TypeError(f"edges must hold integers, got dtype {a.dtype}")
    if a.dtype.kind == "u" and a.size and int(a.max()) > np.iinfo(np.int64).max:
        raise ValueError(f"node {int(a.max())} is too large")
    a = a.astype(np.int64, copy=False)
    low = int(a.min())
    if low < 0:
        raise ValueError(f"node numbers must be non-negative, got node {low}")
    return a


def _from_lists(lists: Sequence[Any]) -> Csr:
    n = len(lists)
    lengths = np.fromiter(map(len, lists), dtype=np.int64, count=n)
    flat = np.array(list(itertools.chain.from_iterable(lists)))
    if flat.size == 0:
        flat = np.empty(0, dtype=np.int64)
    elif flat.dtype.kind == "O":
        bad = next(x for x in flat.tolist() if not _is_integer(x) or not 0 <= operator.index(x) < n)
        if not _is_integer(bad):
            raise TypeError(f"'{type(bad).__name__}' object cannot be interpreted as an integer")
        raise ValueError(f"node {operator.index(bad)} is out of range for n = {n}")
    elif flat.dtype.kind not in "biu" or flat.ndim != 1:
        raise TypeError(f"neighbour lists must hold integers, got {flat.dtype} entries")
    flat = flat.astype(np.int64, copy=False)
    source = np.repeat(np.arange(n, dtype=np.int64), lengths)
    return _from_edges(np.stack([source, flat], axis=1), n)


def _from_edges(pairs: IntArray, n: int) -> Csr:
    """Both directions of every pair, without self-loops and repeats."""
    if pairs.size and (int(pairs.min()) < 0 or int(pairs.max()) >= n):
        bad = pairs[(pairs < 0) | (pairs >= n)]
        raise ValueError(f"node {int(bad[0])} is out of range for n = {n}")
    # Each edge once, as (low, high), then from both ends.
    low = np.minimum(pairs[:, 0], pairs[:, 1])
    high = np.maximum(pairs[:, 0], pairs[:, 1])
    keep = low != high
    if not bool(keep.all()):
        low, high = low[keep], high[keep]
    if n and n <= _KEY_LIMIT:
        # 64-bit keys source * n + target.  The upper keys, sorted and
        # without repeats (edge arrays often come so already), and the lower
        # ones, sorted, are two runs that a stable sort merges in one pass.
        upper = low * n
        upper += high
        if bool(np.all(upper[1:] > upper[:-1])):
            source, target = low, high
        else:
            upper.sort()
            upper = upper[np.concatenate([[True], upper[1:] != upper[:-1]])]
            source, target = np.divmod(upper, n)
        keys = np.empty(2 * len(upper), dtype=np.int64)
        keys[: len(upper)] = upper
        del upper
        lower = keys[len(source):]
        np.multiply(target, n, out=lower)
        lower += source
        lower.sort()
        keys.sort(kind="stable")
        # Each node's keys are one run, as long as its degree: the sources
        # follow from the degrees and the targets from the keys, without
        # dividing the 2m keys (geo3d, 200,000 nodes, sorted edges: 0.058 s
        # to read instead of 0.064 s).
        indptr = np.zeros(n + 1, dtype=np.int64)
        np.cumsum(np.bincount(source, minlength=n) + np.bincount(target, minlength=n), out=indptr[1:])
        keys -= np.repeat(np.arange(0, n * n, n, dtype=np.int64), np.diff(indptr))
        return Csr(indptr, keys)
    else:
        source = np.concatenate([low, high])
        target = np.concatenate([high, low])
        order = np.lexsort((target, source))
        source, target = source[order], target[order]
        distinct = np.ones(source.size, dtype=bool)
        distinct[1:] = (source[1:] != source[:-1]) | (target[1:] != target[:-1])
        source, target = source[distinct], target[distinct]
    return Csr(_indptr(source, n), np.ascontiguousarray(target))


def _indptr(sorted_sources: IntArray, n: int) -> IntArray:
    indptr = np.zeros(n + 1, dtype=np.int64)
    np.cumsum(np.bincount(sorted_sources, minlength=n), out=indptr[1:])
    return indptr
