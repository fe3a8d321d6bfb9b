"""Plain-Python models of what vexa computes, written for clarity, not speed.

The tests, the fuzz harness and the benchmarks import them from here (the
repository root is on the path: pytest's ``pythonpath`` option, and the fuzz
and benchmark scripts put it there themselves).  They are not installed with
the package.

* ``upper_lists`` / ``full_lists``: the two list forms of a graph given as
  edges.
* ``walk``: the breadth-first walk of the bounded enumeration, every clique
  in the order the module lists it.
* ``pruned_weights`` / ``noprune_weights``: the two weight rules over a walk.
* ``edgeonly``: the edge-only cliques and weights.
"""

from __future__ import annotations

import itertools
from collections import deque

U64 = 2**64
NO_ENTRY = "no entry found for key"


def wrap64(v: int) -> int:
    """`v` as a signed 64-bit integer, wrapped as two's complement."""
    v &= U64 - 1
    return v - U64 if v >= 2**63 else v


# ---------------------------------------------------------------------------
# List forms

def upper_lists(n, edges):
    """Upper form: list v holds the neighbours greater than v, ascending, once.

    `edges` is any iterable of node pairs below n, in either order; self-loops
    and repeats are dropped."""
    nbrs = [set() for _ in range(n)]
    for u, v in edges:
        if u != v:
            nbrs[min(u, v)].add(max(u, v))
    return [sorted(s) for s in nbrs]


def full_lists(n, edges):
    """Full symmetric lists: list v holds every neighbour of v, ascending, once."""
    adj = [set() for _ in range(n)]
    for u, v in edges:
        if u != v:
            adj[u].add(v)
            adj[v].add(u)
    return [sorted(s) for s in adj]


# ---------------------------------------------------------------------------
# Bounded enumeration and its two weight rules

def walk(nbrs, maxrank):
    """The cliques the bounded enumeration lists, in its order.

    Every node is a clique; each listed clique, taken in turn, is extended by
    each node of its candidate list, and the extension's candidates are the
    later entries of that list that the new node's list holds.  The walk stops
    at the first clique of `maxrank` nodes (0: no bound).  A candidate beyond
    the last list raises IndexError with the module's message."""
    n = len(nbrs)
    cliques = [[v] for v in range(n)]
    queue = deque(list(lst) for lst in nbrs)
    cursor = 0
    while cursor < len(cliques):
        clique = cliques[cursor]
        if len(clique) == maxrank:
            break
        cands = queue.popleft()
        for j, k in enumerate(cands):
            cliques.append(clique + [k])
            if k >= n:
                raise IndexError(f"index out of bounds: the len is {n} but the index is {k}")
            listed = set(nbrs[k])
            queue.append([x for x in cands[j + 1:] if x in listed])
        cursor += 1
    return cliques


def subcliques(clique, proper):
    """Every sub-sequence of `clique` in combination order (proper: not itself)."""
    n = len(clique)
    for k in range(1, n if proper else n + 1):
        for positions in itertools.combinations(range(n), k):
            yield tuple(clique[p] for p in positions)


def _positions(cliques):
    """Position of every clique; KeyError(NO_ENTRY) if a proper sub-clique of
    one is not listed (the module checks every clique, whatever its weight)."""
    position = {tuple(c): i for i, c in enumerate(cliques)}
    for c in cliques:
        for s in subcliques(c, proper=True):
            if s not in position:
                raise KeyError(NO_ENTRY)
    return position


def pruned_weights(cliques):
    """Largest first, each clique gets 1 minus what the cliques containing it
    already gave, and gives that to its proper sub-cliques."""
    position = _positions(cliques)
    weights = [0] * len(cliques)
    for i in range(len(cliques) - 1, -1, -1):
        w = 1 - weights[i]
        if w:
            for s in subcliques(cliques[i], proper=True):
                weights[position[s]] += w
        weights[i] = w
    return [wrap64(w) for w in weights]


def noprune_weights(cliques):
    """The closed form: every clique adds (-1)^(size difference) to each of its
    sub-cliques, itself included."""
    position = _positions(cliques)
    weights = [0] * len(cliques)
    for c in cliques:
        for s in subcliques(c, proper=False):
            weights[position[s]] += 1 if (len(c) + len(s)) % 2 == 0 else -1
    return [wrap64(w) for w in weights]


# ---------------------------------------------------------------------------
# Edge-only weights

def edgeonly(adj):
    """Every node with weight 1 minus its list's length, then every entry j > i
    of list i as the pair [i, j] with weight 1, in list order."""
    cliques = []
    weights = []
    for i, lst in enumerate(adj):
        cliques.append([i])
        weights.append(1 - len(lst))  # no list is long enough to wrap
    for i, lst in enumerate(adj):
        for j in lst:
            if j > i:
                cliques.append([i, j])
                weights.append(1)
    return cliques, weights
