"""Deterministic graph generators for the benchmarks, and converters.

Every generator returns a :class:`BenchGraph`: the node count ``n`` and the
edges as an ``(E, 2)`` int64 numpy array with ``i < j`` in every row, no
repeats, sorted lexicographically.  The same seed gives the same graph on
every run and every machine (numpy's PCG64 stream and ``random.Random``).

From the edge list a BenchGraph builds, on demand and cached, the two list
forms that ``vexa`` takes:

* upper form: list ``v`` holds the neighbours greater than ``v``, ascending,
  each once;
* full symmetric lists: list ``v`` holds every neighbour of ``v``, ascending,
  without self-loops or repeats;

and the peers' own graph objects (``networkx.Graph``, ``igraph.Graph``).
Only numpy is required; scipy, networkx and igraph are used when present.
"""

from __future__ import annotations

import math
import random
from dataclasses import dataclass, field

import numpy as np

try:  # a k-d tree finds the close pairs fastest; a sweep is the fallback
    from scipy.spatial import cKDTree
except ImportError:  # pragma: no cover - exercised only without scipy
    cKDTree = None


@dataclass
class BenchGraph:
    """A simple undirected graph on nodes 0..n-1 with its edges."""

    name: str
    n: int
    edges: np.ndarray  # (E, 2) int64, i < j, unique, lexicographically sorted
    _cache: dict = field(default_factory=dict, repr=False, compare=False)

    @property
    def edge_count(self) -> int:
        return int(self.edges.shape[0])

    @property
    def average_degree(self) -> float:
        return 2.0 * self.edge_count / self.n if self.n else 0.0

    def upper(self) -> list[list[int]]:
        if "upper" not in self._cache:
            self._cache["upper"] = upper_lists(self.n, self.edges)
        return self._cache["upper"]

    def full(self) -> list[list[int]]:
        if "full" not in self._cache:
            self._cache["full"] = full_lists(self.n, self.edges)
        return self._cache["full"]

    def networkx(self):
        if "networkx" not in self._cache:
            self._cache["networkx"] = to_networkx(self.n, self.edges)
        return self._cache["networkx"]

    def igraph(self):
        if "igraph" not in self._cache:
            self._cache["igraph"] = to_igraph(self.n, self.edges)
        return self._cache["igraph"]

    def drop_cache(self) -> None:
        """Releases the derived forms (lists and peer graphs)."""
        self._cache.clear()


# --------------------------------------------------------------------------
# Edge-list helpers

def normalize_edges(pairs: np.ndarray) -> np.ndarray:
    """Orders each pair as (small, large), drops self-loops and repeats, and
    sorts the pairs lexicographically."""
    pairs = np.asarray(pairs, dtype=np.int64).reshape(-1, 2)
    lo = np.minimum(pairs[:, 0], pairs[:, 1])
    hi = np.maximum(pairs[:, 0], pairs[:, 1])
    keep = lo != hi
    lo, hi = lo[keep], hi[keep]
    if lo.size == 0:
        return np.empty((0, 2), dtype=np.int64)
    order = np.lexsort((hi, lo))
    lo, hi = lo[order], hi[order]
    distinct = np.ones(lo.size, dtype=bool)
    distinct[1:] = (lo[1:] != lo[:-1]) | (hi[1:] != hi[:-1])
    return np.stack([lo[distinct], hi[distinct]], axis=1)


def _split(n: int, keys: np.ndarray, values: np.ndarray) -> list[list[int]]:
    """Lists values grouped by their key 0..n-1; keys must be sorted."""
    bounds = np.searchsorted(keys, np.arange(n + 1, dtype=np.int64)).tolist()
    flat = values.tolist()
    return [flat[bounds[v]:bounds[v + 1]] for v in range(n)]


def upper_lists(n: int, edges: np.ndarray) -> list[list[int]]:
    """Upper form: list v holds the neighbours greater than v, ascending."""
    edges = np.asarray(edges, dtype=np.int64).reshape(-1, 2)
    return _split(n, edges[:, 0], edges[:, 1])


def full_lists(n: int, edges: np.ndarray) -> list[list[int]]:
    """Full symmetric lists: list v holds every neighbour of v, ascending."""
    edges = np.asarray(edges, dtype=np.int64).reshape(-1, 2)
    src = np.concatenate([edges[:, 0], edges[:, 1]])
    dst = np.concatenate([edges[:, 1], edges[:, 0]])
    order = np.lexsort((dst, src))
    return _split(n, src[order], dst[order])


def to_networkx(n: int, edges: np.ndarray):
    import networkx as nx

    g = nx.Graph()
    g.add_nodes_from(range(n))
    g.add_edges_from(np.asarray(edges).tolist())
    return g


def to_igraph(n: int, edges: np.ndarray):
    import igraph

    return igraph.Graph(n=n, edges=np.asarray(edges).tolist(), directed=False)


# --------------------------------------------------------------------------
# Generators

def _unit_cube_pair_cdf(r: float) -> float:
    """P(|X - Y| <= r) for X, Y uniform in the unit cube, 0 <= r <= 1."""
    return (4 * math.pi / 3) * r**3 - (3 * math.pi / 2) * r**4 + (8 / 5) * r**5 - r**6 / 6


def rgg_radius(n: int, avg_degree: float) -> float:
    """The radius that gives the expected average degree in the unit cube,
    boundary effects included."""
    if n < 2 or avg_degree <= 0:
        return 0.0
    target = avg_degree / (n - 1)
    if target >= 1.0:
        return math.sqrt(3.0)
    lo, hi = 0.0, 1.0
    if _unit_cube_pair_cdf(hi) < target:  # degree above what r <= 1 gives
        return math.sqrt(3.0)
    for _ in range(100):
        mid = 0.5 * (lo + hi)
        if _unit_cube_pair_cdf(mid) < target:
            lo = mid
        else:
            hi = mid
    return hi


def _close_pairs_sweep(points: np.ndarray, radius: float) -> np.ndarray:
    """Candidate pairs within `radius` along x, found by sorting on x and
    sweeping a window of growing shift; used when scipy is missing."""
    order = np.argsort(points[:, 0], kind="stable")
    xs = points[order, 0]
    found = []
    n = len(xs)
    for shift in range(1, n):
        close = xs[shift:] - xs[:-shift] <= radius
        if not close.any():
            break
        idx = np.flatnonzero(close)
        found.append(np.stack([order[idx], order[idx + shift]], axis=1))
    if not found:
        return np.empty((0, 2), dtype=np.int64)
    return np.concatenate(found)


def random_geometric_3d(n: int, avg_degree: float, seed: int = 0,
                        radius: float | None = None) -> BenchGraph:
    """n points uniform in the unit cube, joined when at most `radius` apart.

    The radius defaults to the one whose expected average degree is
    `avg_degree`.  The final distance test is the same numpy expression
    whichever search found the candidate pairs, so the graph does not depend
    on whether scipy is installed.
    """
    rng = np.random.default_rng(seed)
    points = rng.random((n, 3))
    r = rgg_radius(n, avg_degree) if radius is None else float(radius)
    if n < 2 or r <= 0:
        edges = np.empty((0, 2), dtype=np.int64)
    else:
        if cKDTree is not None:
            cand = cKDTree(points).query_pairs(r * (1 + 1e-9), output_type="ndarray")
        else:
            cand = _close_pairs_sweep(points, r * (1 + 1e-9))
        cand = np.asarray(cand, dtype=np.int64).reshape(-1, 2)
        diff = points[cand[:, 0]] - points[cand[:, 1]]
        within = np.einsum("ij,ij->i", diff, diff) <= r * r
        edges = normalize_edges(cand[within])
    return BenchGraph(f"rgg3d(n={n}, deg={avg_degree:g}, seed={seed})", n, edges)


def erdos_renyi(n: int, p: float, seed: int = 0) -> BenchGraph:
    """G(n, p): each of the n(n-1)/2 pairs is an edge with probability p.

    The number of edges is drawn from Binomial(N, p) and that many distinct
    pairs are chosen uniformly, which gives exactly the G(n, p) law.
    """
    rng = np.random.default_rng(seed)
    total = n * (n - 1) // 2
    m = int(rng.binomial(total, p)) if total else 0
    if m == 0:
        return BenchGraph(f"gnp(n={n}, p={p:g}, seed={seed})", n, np.empty((0, 2), dtype=np.int64))
    idx = np.sort(rng.choice(total, size=m, replace=False).astype(np.int64))
    # Row i of the upper triangle starts at linear index i*n - i*(i+1)/2.
    rows = np.arange(n, dtype=np.int64)
    starts = rows * n - rows * (rows + 1) // 2
    i = np.searchsorted(starts, idx, side="right") - 1
    j = idx - starts[i] + i + 1
    edges = np.stack([i, j], axis=1)
    return BenchGraph(f"gnp(n={n}, p={p:g}, seed={seed})", n, edges)


def barabasi_albert(n: int, m: int, seed: int = 0) -> BenchGraph:
    """Preferential attachment: a star on m + 1 nodes, then every new node
    joins m distinct earlier nodes, chosen with probability proportional to
    their degree."""
    if m < 1 or m >= n:
        raise ValueError(f"need 1 <= m < n, got m={m}, n={n}")
    rnd = random.Random(seed)
    pairs = [(0, v) for v in range(1, m + 1)]
    # Every node appears once per incident edge end: sampling uniformly from
    # this list is sampling proportionally to degree.
    ends = [0] * m + list(range(1, m + 1))
    choice = rnd.choice
    for v in range(m + 1, n):
        targets = set()
        while len(targets) < m:
            targets.add(choice(ends))
        for t in sorted(targets):
            pairs.append((t, v))
            ends.append(t)
        ends.extend([v] * m)
    edges = normalize_edges(np.array(pairs, dtype=np.int64))
    return BenchGraph(f"ba(n={n}, m={m}, seed={seed})", n, edges)


def complete_graph(n: int) -> BenchGraph:
    """K_n."""
    i, j = np.triu_indices(n, k=1)
    edges = np.stack([i.astype(np.int64), j.astype(np.int64)], axis=1)
    return BenchGraph(f"complete(n={n})", n, edges)
