"""Cutting one graph into shards whose results add up to the single call's.

Every clique that contains a clique S contains S's smallest node m, and so
lies in m's closed neighbourhood N[m].  A shard owns a set R of nodes and
keeps the cliques whose smallest node lies in R.  Its subgraph H holds the
nodes U = union of N[v] over v in R and those edges of G that can lie in a
clique with a node of R: every edge with an end in R, and an edge a-b
between two nodes outside R only when a and b have a common neighbour in R.
A clique D of G that contains an owned S contains m, so each of its edges
either has the end m or joins two neighbours of m: all of them are in H.
As H is a subgraph of G, its cliques are cliques of G; so the cliques of H
that contain S are exactly those of G.  The weights of S (bounded cliques,
and the decomposition of maximal cliques cut to maxrank nodes alike) depend
only on the cliques that contain S (for the decomposition, on the maximal
ones: a maximal clique of G that contains S is a clique of H and nothing in
H is larger, and a maximal clique of H that contains S grows in G to one
that contains S, hence lies in H), so the call on H gives them exactly.

Cliques that contain S may hold nodes below m, and so outside R and outside
m's upper neighbours; N[m] must stay whole.  An edge between two nodes
outside R is dropped only where that is sure: the bounded cliques up to two
nodes need none of them (a clique holding m and both ends has three), and
otherwise a word of 64 bits per node, with one bit set for each of its
neighbours in R (chosen by hashing the neighbour's number), shows at once
that two nodes whose words share no bit have no common neighbour in R.  Two
nodes whose words do share a bit keep their edge even when no common
neighbour stands behind it; that costs rows, never exactness.

A shard runs the function on H with the nodes of U numbered in increasing
order (which keeps ascending lists ascending and upper form upper form),
maps the numbers back and keeps the cliques whose smallest node lies in R.
The empty clique (the decomposition with maxrank 0) has no smallest node:
shard 0 keeps it.

Both functions order a size group by its cliques' nodes, ascending, and a
shard keeps that order among its own cliques; as every smallest node belongs
to one shard, sorting the union by (size, smallest node) with ties kept in
shard order gives the single call's order.

The sets R are cut from an ordering of the nodes, in pieces of equal
estimated work.  Node numbers often carry no locality (a geometric graph
with random numbering): when a sample of the edges shows that many of them
would join two pieces of the numbering, the planner cuts a breadth-first
ordering (when scipy is there) instead.
"""

from __future__ import annotations

import bisect
import dataclasses
import gc
import os
import time
from collections.abc import Iterator
from dataclasses import dataclass
from functools import cached_property
from typing import Any, Literal

import numpy as np
import numpy.typing as npt

import vexa

from . import columns, heap
from .columns import arrow_table, fixed_row_runs, fixed_rows, flatten, int64s
from .graphs import Csr, IntArray

BoolArray = npt.NDArray[np.bool_]

__all__ = [
    "Part",
    "Piece",
    "Plan",
    "Task",
    "Timing",
    "far_edges_needed",
    "held_edges",
    "merge",
    "node_work",
    "partial_name",
    "plan",
    "run",
    "subgraph",
    "write",
]

Kind = Literal["decompose", "cliques"]
FUNCTIONS: dict[str, Any] = {
    "decompose": vexa.maxclique_decompose_with_weights,
    "cliques": vexa.enumerate_cliques_with_weights,
}

# A shard should carry at least this much estimated work (sum of squared
# degrees): below it the cost of shipping and scheduling a task outweighs
# what it saves.
MIN_SHARD_WORK = 1_000_000
# The numbering is cut as it is when its pieces split at most this share
# of the edges that a random numbering would split (1 - 1/shards of them).
# A numbering that keeps neighbours close splits a few percent (geo3d
# numbered breadth-first: 4 % in 4 pieces at 200,000 nodes, 13 % at 6,000);
# the breadth-first ordering it spares costs as much as reading the graph.
LOCAL_CROSSING = 1 / 3
# List entries looked at to tell that share: enough for two digits.
CROSSING_SAMPLE = 1 << 14
# The orderings take node numbers and list positions as 32-bit ints.
SCIPY_INDEX_LIMIT = 2**31
# Shards per worker when the count is chosen for the caller: two keep the
# workers busy when shards finish unevenly and halve what a retried shard
# costs; more would make the shards share more neighbourhoods.
SHARDS_PER_WORKER = 2
# Cliques converted to arrays at a time: the lists of a piece are freed as
# soon as it is converted, so the lists and their arrays never coexist whole.
CONVERT_CHUNK = 1 << 16
# Results up to this many cliques are read from one marshal of the whole
# list instead (the lists and the marshal bytes, a fifth of their size or
# less, coexist for a moment).  Processor time per row for the conversion
# with the lists freed, medians of 7-15 turns on geo3d shards (n = 200,000):
# decomposition shards of 428,000 rows 182 ns against 243 piece by piece,
# bounded-clique shards of 928,000 rows 153 against 160, and of 3.3 million
# rows 255 against 233 (there the pieces' smaller working set wins).
WHOLE_LIST_ROWS = 1 << 20
# Every PIN_STRIDE-th result list is kept alive until the end of a run
# (vexa_dask.heap.pin): an arena of the small-object allocator (1 MiB)
# holds some 5,000 to 10,000 result rows, lists with their ints, so this
# keeps every arena of the result in use for the next shard, for a
# thousandth of the rows.
PIN_STRIDE = 1024
# Rows handed to Parquet's column writers at a time (see `_write_parquet`).
WRITE_BATCH = 1 << 16


class Plan:
    """Shards as sets of owned nodes, cut in pieces of equal estimated work.

    Only the owned sets are made at once (a run waits for them); what the
    shards' subgraphs hold, and so the overhead, is worked out when asked."""

    def __init__(
        self,
        g: Csr,
        cost: npt.NDArray[np.float64],
        owned: list[IntArray],
        ordered: bool,
        far_edges: bool = True,
    ):
        self.owned = owned  # per shard, the nodes R it keeps cliques of, ascending
        self.total = float(cost.sum())  # the estimated work of the whole graph
        self.ordered = ordered  # cut from a breadth-first ordering (else from the numbering)
        self.far_edges = far_edges  # whether edges between two nodes outside R can be needed
        self._g = g

    @cached_property
    def _held(self) -> list[tuple[IntArray, npt.NDArray[np.int64]]]:
        """Per shard, its nodes U and each one's degree in the shard's subgraph."""
        held = []
        for r in self.owned:
            u, source, _ = held_edges(self._g, r, self.far_edges)
            held.append((u, np.bincount(np.searchsorted(u, source), minlength=len(u))))
        return held

    @property
    def work(self) -> list[float]:
        """Per shard, the estimated work of its subgraph (`node_work` of the
        degrees there)."""
        return [float(((degree + 1.0) ** 2).sum()) for _, degree in self._held]

    @property
    def nodes(self) -> list[int]:
        """Per shard, |U|."""
        return [len(u) for u, _ in self._held]

    @property
    def edges(self) -> list[int]:
        """Per shard, the edges of its subgraph."""
        return [int(degree.sum()) // 2 for _, degree in self._held]

    @property
    def overhead(self) -> float:
        """The share of work done more than once: the estimated work of the
        shards' subgraphs together, beyond the whole graph's."""
        return sum(self.work) / self.total - 1.0 if self.total else 0.0


@dataclass(frozen=True)
class Task:
    """What a worker needs for one shard: the subgraph in the function's
    form, numbered 0 .. len(nodes)-1, and which of its nodes the shard owns."""

    index: int
    nodes: IntArray  # global number of each subgraph node, ascending
    indptr: IntArray
    indices: npt.NDArray[np.int32] | IntArray  # 32-bit below 2**31 nodes: half the bytes to ship
    owned: npt.NDArray[np.bool_]


@dataclass(frozen=True)
class Timing:
    """Where one shard's time in its worker went: processor seconds per
    phase, the same phases on the wall clock, and when the shard began and
    ended (``time.time()`` in the worker)."""

    call: float  # the vexa call
    convert: float  # its lists turned into arrays (and freed)
    write: float  # Arrow columns and the Parquet file; 0 for `compute`
    rows: int  # cliques kept
    wall: tuple[float, float, float] = (0.0, 0.0, 0.0)  # call, convert, write
    began: float = 0.0
    ended: float = 0.0
    worker: int = 0  # process id of the worker that ran the shard
    listed: int = 0  # cliques the call gave, the shard's own and the others'


@dataclass(frozen=True)
class Part:
    """The kept cliques of one shard in global numbers: clique i is
    ``values[offsets[i]:offsets[i+1]]``."""

    offsets: IntArray
    values: IntArray
    weights: IntArray
    timing: Timing


class _Clock:
    """Processor and wall time of a shard's phases, one after the other."""

    def __init__(self) -> None:
        self.began = time.time()
        self.listed = 0  # rows of the call's result
        self.cpu: list[float] = []
        self.wall: list[float] = []
        self._cpu, self._wall = time.thread_time(), time.perf_counter()

    def lap(self, *, extend: bool = False) -> None:
        """Ends a phase; with `extend`, adds the time since to the last one."""
        cpu, wall = time.thread_time(), time.perf_counter()
        if extend:
            self.cpu[-1] += cpu - self._cpu
            self.wall[-1] += wall - self._wall
        else:
            self.cpu.append(cpu - self._cpu)
            self.wall.append(wall - self._wall)
        self._cpu, self._wall = cpu, wall

    def timing(self, rows: int) -> Timing:
        cpu = (self.cpu + [0.0, 0.0, 0.0])[:3]
        wall = (self.wall + [0.0, 0.0, 0.0])[:3]
        return Timing(
            cpu[0], cpu[1], cpu[2], rows, (wall[0], wall[1], wall[2]), self.began, time.time(), os.getpid(), self.listed
        )


def node_work(g: Csr) -> npt.NDArray[np.float64]:
    """Estimated work per node: the square of its closed neighbourhood's size,
    which bounds the edges a search around the node reads."""
    return (np.diff(g.indptr).astype(np.float64) + 1.0) ** 2


def far_edges_needed(kind: Kind, maxrank: int) -> bool:
    """Whether a shard may need edges between two nodes outside its R: not
    for bounded cliques of at most two nodes (a clique holding a node of R
    and both ends of such an edge has three)."""
    return not (kind == "cliques" and maxrank in (1, 2))


def plan(g: Csr, shards: int, *, far_edges: bool = True) -> Plan:
    """`shards` sets of nodes of about equal estimated work (fewer when the
    graph has fewer nodes), cut from the numbering when it already keeps
    neighbours close, else from a breadth-first ordering.  `far_edges` as
    `far_edges_needed` says for the run (it changes what the shards hold,
    not how they are cut)."""
    shards = max(1, min(shards, g.n))
    cost = node_work(g)
    order = None
    if shards > 1 and crossing_share(g, cost, shards) > LOCAL_CROSSING * (1 - 1 / shards):
        order = _breadth_first_order(g)
    if g.n == 0:
        return Plan(g, cost, [np.empty(0, dtype=np.int64)], False, far_edges)
    cumulative = np.cumsum(cost if order is None else cost[order])
    bounds = _bounds(cumulative, shards)
    if order is None:
        owned = [np.arange(a, b, dtype=np.int64) for a, b in zip(bounds, bounds[1:])]
    else:
        owned = [np.sort(order[a:b]) for a, b in zip(bounds, bounds[1:])]
    return Plan(g, cost, owned, order is not None, far_edges)


def _bounds(cumulative: npt.NDArray[np.float64], shards: int) -> list[int]:
    """Where the running work passes each multiple of total / shards: the
    first position of every piece, then the end."""
    n = len(cumulative)
    total = float(cumulative[-1])
    cuts = np.searchsorted(cumulative, total * np.arange(1, shards) / shards, side="left") + 1
    bounds: list[int] = np.unique(np.concatenate([[0], np.minimum(cuts, n), [n]])).tolist()
    return bounds


def crossing_share(g: Csr, cost: npt.NDArray[np.float64], shards: int) -> float:
    """The share of list entries, over an even sample of at most
    CROSSING_SAMPLE, whose two nodes fall in different pieces when the
    numbering itself is cut into `shards` pieces of equal work."""
    entries = len(g.indices)
    if entries == 0:
        return 0.0
    positions = np.linspace(0, entries - 1, min(entries, CROSSING_SAMPLE)).astype(np.int64)
    sources = np.searchsorted(g.indptr, positions, side="right") - 1
    bounds = np.asarray(_bounds(np.cumsum(cost), shards)[1:-1], dtype=np.int64)
    piece_of_source = np.searchsorted(bounds, sources, side="right")
    piece_of_target = np.searchsorted(bounds, g.indices[positions], side="right")
    return float(np.mean(piece_of_source != piece_of_target))


def _breadth_first_order(g: Csr) -> IntArray | None:
    """The nodes in breadth-first order from a node of least positive
    degree, the isolated nodes last; None without scipy.

    In a geometric graph such a node lies at the rim, and the search's
    levels sweep the graph from there, so equal pieces of the order meet
    along few edges.  One search costs half of a reverse Cuthill-McKee
    ordering (0.04 s against 0.07-0.1 s on geo3d with 200,000 nodes) for
    0.6 % more rows in the shards' results.  A graph in several pieces gets
    the Cuthill-McKee ordering, which visits each piece in turn."""
    try:
        from scipy.sparse import csr_array
        from scipy.sparse.csgraph import breadth_first_order, reverse_cuthill_mckee
    except ImportError:
        return None
    n = g.n
    if max(n, len(g.indices)) >= SCIPY_INDEX_LIMIT:  # node numbers and list positions must fit
        return None
    degree = np.diff(g.indptr)
    linked = np.flatnonzero(degree)
    if len(linked) == 0:
        return np.arange(n, dtype=np.int64)
    # scipy's graph routines take their matrices as float64: values of any
    # other type make it copy the whole matrix first (0.005 s of the
    # search's 0.04 s on geo3d with 200,000 nodes).
    data = np.ones(len(g.indices), dtype=np.float64)
    matrix = csr_array((data, g.indices.astype(np.int32), g.indptr.astype(np.int32)), shape=(n, n))
    start = int(linked[np.argmin(degree[linked])])
    # The lists hold both ends of every edge: searched as directed, scipy
    # does not build the symmetric matrix again.
    reached = breadth_first_order(matrix, start, directed=True, return_predecessors=False)
    if len(reached) == len(linked):
        return np.concatenate([reached.astype(np.int64), np.flatnonzero(degree == 0)])
    return np.asarray(reverse_cuthill_mckee(matrix, symmetric_mode=True), dtype=np.int64)


def _gather(g: Csr, r: IntArray) -> tuple[IntArray, IntArray]:
    """The list entries of the nodes r: (source, target) pairs, in list order."""
    starts = g.indptr[r]
    lengths = g.indptr[r + 1] - starts
    total = int(lengths.sum())
    shift = np.repeat(starts - np.concatenate([[0], np.cumsum(lengths)[:-1]]), lengths)
    positions = np.arange(total, dtype=np.int64) + shift
    return np.repeat(r, lengths), g.indices[positions]


def _closed_neighbourhood(g: Csr, r: IntArray) -> tuple[BoolArray, BoolArray, IntArray, IntArray]:
    """Marks of r and of the union of the closed neighbourhoods N[v], v in
    r, with the list entries of r as (source, target) pairs."""
    inside = np.zeros(g.n, dtype=bool)
    inside[r] = True
    r_source, r_target = _gather(g, r)
    mark = inside.copy()
    mark[r_target] = True
    return inside, mark, r_source, r_target


def neighbourhood(g: Csr, r: IntArray) -> IntArray:
    """The union of the closed neighbourhoods N[v], v in r, ascending."""
    return np.flatnonzero(_closed_neighbourhood(g, r)[1]).astype(np.int64)


# Multiplier of the hash that picks a node's bit in `held_edges` (2**64
# over the golden ratio: consecutive numbers land far apart).
_BIT_HASH = np.uint64(0x9E3779B97F4A7C15)


def held_edges(
    g: Csr, r: IntArray, far_edges: bool = True, *, upper: bool = False
) -> tuple[IntArray, IntArray, IntArray]:
    """The subgraph a shard owning the nodes r works on: its nodes U (the
    union of N[v], v in r, ascending) and its edges as (source, target)
    list entries in global numbers: first the lists of r, then those of the
    other nodes of U, each part grouped by source ascending and each list
    ascending.  Both directions of every edge, or with `upper` only the
    entries whose target is the greater node.  Every edge with an end in r
    is there; an edge between two nodes outside r only with `far_edges`,
    and then unless the two plainly have no common neighbour in r (see the
    module's docstring)."""
    inside, mark, r_source, r_target = _closed_neighbourhood(g, r)
    u = np.flatnonzero(mark).astype(np.int64)
    # The lists of r are whole; of the other nodes' lists only the entries
    # within U are read (a few times fewer entries than U's lists hold).
    o_source, o_target = _gather(g, u[~inside[u]])
    to_r = inside[o_target]
    if not far_edges:
        keep = to_r
    else:
        keep = mark[o_target]
        far = np.flatnonzero(keep & ~to_r)
        if len(far):
            # One bit per neighbour in r, by hashing its number; nodes that
            # share a neighbour in r share its bit.  Every node outside r
            # has a neighbour in r: its entries into r are one group.
            into = o_source[to_r]
            bits = np.left_shift(np.uint64(1), (o_target[to_r].astype(np.uint64) * _BIT_HASH) >> np.uint64(58))
            first = np.flatnonzero(np.concatenate([[True], into[1:] != into[:-1]]))
            word = np.zeros(g.n, dtype=np.uint64)
            word[into[first]] = np.bitwise_or.reduceat(bits, first)
            keep[far] = (word[o_source[far]] & word[o_target[far]]) != 0
    if upper:
        keep &= o_target > o_source
        ascending = r_target > r_source
        r_source, r_target = r_source[ascending], r_target[ascending]
    return u, np.concatenate([r_source, o_source[keep]]), np.concatenate([r_target, o_target[keep]])


def subgraph(g: Csr, kind: Kind, index: int, r: IntArray, maxrank: int = 0) -> Task:
    """The task of shard `index`: the subgraph `held_edges` gives for r,
    renumbered increasingly, in the form the function reads (upper form for
    the bounded cliques, full lists for the decomposition).  `maxrank` is
    the run's (0, the default, keeps what any run could need)."""
    u, source, target = held_edges(g, r, far_edges_needed(kind, maxrank), upper=kind == "cliques")
    local = np.full(g.n, -1, dtype=np.int64)  # subgraph number of each node of u
    local[u] = np.arange(len(u), dtype=np.int64)
    local_source = local[source]
    # Two runs of ascending sources (r's lists, then the others'), each
    # list whole and ascending: a stable sort merges them in one pass.
    order = np.argsort(local_source, kind="stable")
    indptr = np.zeros(len(u) + 1, dtype=np.int64)
    np.cumsum(np.bincount(local_source, minlength=len(u)), out=indptr[1:])
    local_target = local[target[order]]
    owned = np.zeros(len(u), dtype=bool)
    owned[local[r]] = True
    indices = local_target.astype(np.int32) if len(u) < 2**31 else local_target
    return Task(index, u, indptr, indices, owned)


# --------------------------------------------------------------------------
# On the workers


def prepare(parquet: bool) -> None:
    """Loads what the shards of a run will need (this module, and with it
    numpy and vexa, comes with the call)."""
    if parquet:
        import pyarrow.parquet  # noqa: F401


def partial_name(name: str) -> str:
    """The name a file is written under until it is complete.  The leading
    dot hides it from readers of the directory as a dataset (pyarrow and
    Dask skip names starting with "." or "_"), so a worker killed while
    writing leaves nothing that they would read as a result."""
    return f".{name}.{os.getpid()}.partial"


def _write_parquet(table: Any, where: Any) -> None:
    import pyarrow.parquet as pq

    # Node numbers compress poorly with dictionaries.  Both columns are
    # written as deltas (bit-packed differences from the row before): the
    # nodes of a clique ascend, and weights of one size group repeat; on
    # geo3d shards that makes files a quarter of the plain values' size.
    # A general-purpose compressor on top gains little more: LZ4 made
    # bounded-clique shard files 7 % smaller (21.7 against 23.3 MiB) for
    # 0.03 s more processor time per shard (0.26 against 0.23 s), so the
    # pages stay uncompressed.  Minimum and maximum
    # per page of the node lists would cost a third of the writing and tell
    # a reader nothing (every page spans the graph); the weights keep
    # theirs.  Rows go to the column writers in batches of WRITE_BATCH
    # instead of Arrow's 1,024: a tenth less time on short cliques.
    pq.write_table(
        table,
        where,
        compression="none",
        use_dictionary=False,
        column_encoding={"clique.list.element": "DELTA_BINARY_PACKED", "weight": "DELTA_BINARY_PACKED"},
        write_statistics=["weight"],
        write_batch_size=WRITE_BATCH,
    )


# One converted piece of a shard's result: (lengths, nodes, weights) of its
# owned cliques, in global numbers and the function's order.
Piece = tuple[IntArray, IntArray, IntArray]


def run(kind: Kind, maxrank: int, task: Task, *, hold: bool = False) -> Part:
    """One shard: the function on the subgraph, its cliques numbered back,
    only the owned ones kept, in the function's order.  With `hold`, the
    worker's heap stays kept afterwards (see `_owned_pieces`)."""
    clock = _Clock()
    pieces = _owned_pieces(kind, maxrank, task, clock, hold)
    empty = np.empty(0, dtype=np.int64)
    lengths = np.concatenate([p[0] for p in pieces]) if pieces else empty
    offsets = np.zeros(len(lengths) + 1, dtype=np.int64)
    np.cumsum(lengths, out=offsets[1:])
    values = np.concatenate([p[1] for p in pieces]) if pieces else empty
    weights = np.concatenate([p[2] for p in pieces]) if pieces else empty
    clock.lap(extend=True)  # joining the pieces counts as conversion
    return Part(offsets, values, weights, clock.timing(len(weights)))


def _owned_pieces(kind: Kind, maxrank: int, task: Task, clock: _Clock, hold: bool = False) -> list[Piece]:
    """The shard's owned cliques in pieces, each from a run of one size
    (whole runs for results up to WHOLE_LIST_ROWS, else runs cut to at most
    CONVERT_CHUNK); the call and the conversion are two laps of `clock`.
    The pieces stay apart: whole-shard arrays would be large fresh
    allocations, which the Parquet file does not need.  The heap is kept
    for the call and the conversion, and handed back after them unless
    `hold` leaves that to the end of the run (vexa_dask.heap)."""
    bounds: list[int] = task.indptr.tolist()
    lists = [task.indices[a:b] for a, b in zip(bounds, bounds[1:])]  # slices of one array, read from its buffer
    collecting = gc.isenabled()
    # The result is millions of new lists that are freed by reference
    # counting; collections would only walk them again and again.
    gc.disable()
    try:
        # The call's own large buffers, like the conversion's, come from
        # the heap and are reused (see vexa_dask.heap).
        heap.keep()
        cliques, weights = FUNCTIONS[kind](lists, maxrank)
        clock.lap()
        clock.listed = len(cliques)
        del lists
        if hold:  # the result's memory stays for the next shard of the run
            heap.pin(cliques[::PIN_STRIDE])
        pieces = _whole_list_pieces(task, cliques, weights) if len(cliques) <= WHOLE_LIST_ROWS else None
        if pieces is None:
            pieces = _pieces_from_the_back(task, cliques, weights)
        del cliques, weights
    finally:
        if not hold:
            heap.release()
        if collecting:
            gc.enable()
    clock.lap()
    return pieces


def _runs(cliques: list[list[int]], longest: int) -> Iterator[tuple[int, int, int]]:
    """(start, end, size) of the runs of one size in `cliques`, from the
    back, each at most `longest` long (the list may be cut to the start of
    the run last given).  Both functions return their cliques in runs of
    one size (ascending sizes for the bounded cliques, descending for the
    decomposition); a run found in a result that is not so ordered may hold
    other sizes, which the readers of the runs notice."""
    end = len(cliques)
    sign = 1 if end == 0 or len(cliques[0]) <= len(cliques[-1]) else -1
    while end > 0:
        size = len(cliques[end - 1])
        start = bisect.bisect_left(cliques, sign * size, max(0, end - longest), end, key=lambda c: sign * len(c))
        yield start, end, size
        end = start


def _whole_list_pieces(task: Task, cliques: list[list[int]], weights: list[int]) -> list[Piece] | None:
    """The pieces of a result read from one marshal of the whole list, a
    matrix per run of one size; the lists are freed before the arrays are
    made.  None (the lists untouched) unless every run is plain k-lists of
    ints in the 32-bit range.

    On results up to WHOLE_LIST_ROWS this costs less than reading the same
    runs piece by piece (see there)."""
    runs = list(_runs(cliques, len(cliques)))
    runs.reverse()
    matrices = fixed_row_runs(cliques, runs)
    if matrices is None:
        return None
    # The matrices are views of the marshal bytes, which hold no reference
    # to the lists: they can go now.
    all_weights = int64s(weights)
    cliques.clear()
    weights.clear()
    return [
        _keep_owned_rows(task, rows, size, all_weights[start:end])
        for (start, end, size), rows in zip(runs, matrices)
    ]


def _pieces_from_the_back(task: Task, cliques: list[list[int]], weights: list[int]) -> list[Piece]:
    """The pieces of a result, each a run of one size of at most
    CONVERT_CHUNK cliques (a piece that is not one is read list by list),
    converted from the back so that each piece's lists are freed by
    truncation before the next is read."""
    pieces = []
    for start, end, size in _runs(cliques, CONVERT_CHUNK):
        pieces.append(_keep_owned(task, cliques[start:end], size, int64s(weights[start:end])))
        del cliques[start:], weights[start:]
    pieces.reverse()
    return pieces


def _keep_owned(
    task: Task, cliques: list[list[int]], size: int, weights: IntArray
) -> tuple[IntArray, IntArray, IntArray]:
    """(lengths, nodes, weights) of the owned cliques among `cliques`, in
    global numbers; `size` is the length they are expected to share."""
    rows = fixed_rows(cliques, size)
    if rows is not None:
        return _keep_owned_rows(task, rows, size, weights)
    lengths, flat = flatten(cliques)
    starts = np.zeros(len(lengths), dtype=np.int64)
    np.cumsum(lengths[:-1], out=starts[1:])
    keep = np.full(len(lengths), task.index == 0)
    filled = lengths > 0
    keep[filled] = task.owned[flat[starts[filled]]]
    return lengths[keep], task.nodes[flat[np.repeat(keep, lengths)]], weights[keep]


def _keep_owned_rows(task: Task, rows: npt.NDArray[np.int32], size: int, weights: IntArray) -> Piece:
    """(lengths, nodes, weights) of the owned rows of a matrix of cliques of
    `size` nodes, in global numbers."""
    # One copy out of the marshal bytes (5-byte strides) into a plain
    # matrix, then row numbers and take: 14 ns a 4-node row against 20
    # for the same takes on the strided view (and more for a mask).
    rows = np.ascontiguousarray(rows)
    if size == 0:  # the empty clique stays with shard 0
        keep = np.flatnonzero(np.full(len(rows), task.index == 0))
    else:
        keep = np.flatnonzero(task.owned.take(rows[:, 0]))
    kept = task.nodes.take(rows.take(keep, axis=0))
    return np.full(len(kept), size, dtype=np.int64), kept.reshape(-1), weights.take(keep)


def write(kind: Kind, maxrank: int, task: Task, directory: str, name: str, *, hold: bool = False) -> Timing:
    """One shard written to `directory`/`name` as Parquet; returns its rows
    and timing.  The file appears under its name only once it is complete.
    `hold` as for `run`."""
    import pyarrow as pa

    clock = _Clock()
    pieces = _owned_pieces(kind, maxrank, task, clock, hold)
    # One table of many chunks, each wrapping a piece's arrays; all of them
    # take 64-bit offsets if one needs them.
    large = any(len(p[1]) > columns.LIST_OFFSET_LIMIT for p in pieces)
    chunks = []
    for lengths, nodes, weights in pieces:
        offsets = np.zeros(len(lengths) + 1, dtype=np.int64)
        np.cumsum(lengths, out=offsets[1:])
        chunks.append(arrow_table(offsets, nodes, weights, large=large))
    table = pa.concat_tables(chunks) if chunks else arrow_table(np.zeros(1, np.int64), *[np.empty(0, np.int64)] * 2)
    rows = table.num_rows
    del chunks, pieces
    os.makedirs(directory, exist_ok=True)
    final = os.path.join(directory, name)
    partial = os.path.join(directory, partial_name(name))
    _write_parquet(table, partial)
    os.replace(partial, final)
    del table
    # Arrow's allocator keeps what the writer freed for later use; the next
    # shard needs it for its call instead, which Arrow's pool cannot serve.
    pa.default_memory_pool().release_unused()
    clock.lap()
    return clock.timing(rows)


# --------------------------------------------------------------------------
# In the client


def merge(kind: Kind, parts: list[Part]) -> tuple[list[list[int]], list[int]]:
    """The parts of all shards in the single call's order."""
    offsets = [p.offsets for p in parts]
    lengths = np.concatenate([np.diff(o) for o in offsets]) if parts else np.empty(0, np.int64)
    values = np.concatenate([p.values for p in parts]) if parts else np.empty(0, np.int64)
    weights = np.concatenate([p.weights for p in parts]) if parts else np.empty(0, np.int64)
    starts = np.zeros(len(lengths) + 1, dtype=np.int64)
    np.cumsum(lengths, out=starts[1:])
    first = np.full(len(lengths), -1, dtype=np.int64)
    filled = lengths > 0
    first[filled] = values[starts[:-1][filled]]
    # lexsort is stable: ties (same size and smallest node, hence one shard)
    # keep their shard's order.
    size_key = -lengths if kind == "decompose" else lengths
    order = np.lexsort((first, size_key)).tolist()
    flat: list[int] = values.tolist()
    bounds: list[int] = starts.tolist()
    cliques = [flat[bounds[i]:bounds[i + 1]] for i in order]
    return cliques, weights[order].tolist()
