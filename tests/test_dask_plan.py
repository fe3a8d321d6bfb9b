"""What vexa_dask does in the client before a run: the edges read into
lists, the ordering it cuts, that the shards cover every node once, and
the figures a plan reports about the shards' overlap."""

import contextlib
import sys
from pathlib import Path

import numpy as np
import pytest

pytest.importorskip("scipy")

import vexa_dask  # noqa: E402
from vexa_dask import graphs, heap, shards  # noqa: E402

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT))
from bench.graphs import random_geometric_3d  # noqa: E402
from models import full_lists  # noqa: E402


def _renumbered(n, edges, order):
    new = np.empty(n, dtype=np.int64)
    new[order] = np.arange(n)
    return new[edges]


@pytest.fixture(scope="module")
def geo():
    b = random_geometric_3d(6000, 14, seed=7)
    g = graphs.csr((b.n, b.edges))
    local = graphs.csr((b.n, _renumbered(b.n, b.edges, shards._breadth_first_order(g))))
    return {"random": g, "local": local}


def _edge_cases():
    rng = np.random.default_rng(11)
    simple = np.unique(np.sort(rng.integers(0, 300, size=(2000, 2)), axis=1), axis=0)
    simple = simple[simple[:, 0] != simple[:, 1]]
    return {
        "sorted-simple": (300, simple),
        "shuffled": (300, rng.permutation(simple)),
        "flipped": (300, simple[:, ::-1]),
        "repeats-and-loops": (300, np.concatenate([simple, simple[::7, ::-1], [[3, 3], [299, 299]]])),
        "sorted-with-a-loop": (300, np.concatenate([[[0, 0]], simple])),
        "sorted-with-a-repeat": (300, np.concatenate([simple[:5], simple[4:]])),
        "one-edge": (2, np.array([[1, 0]])),
        "loops-only": (3, np.array([[1, 1], [2, 2]])),
        "no-edges": (5, np.empty((0, 2), dtype=np.int64)),
    }


@pytest.mark.parametrize("huge", [False, True], ids=["keys", "past-the-key-limit"])
@pytest.mark.parametrize("name", list(_edge_cases()))
def test_edges_are_read_into_the_simple_graph_they_describe(monkeypatch, name, huge):
    n, edges = _edge_cases()[name]
    if huge:  # the path for node counts whose keys would not fit 64 bits
        monkeypatch.setattr(graphs, "_KEY_LIMIT", 0)
    g = graphs.csr((n, edges))
    assert graphs.rows(g) == full_lists(n, edges.tolist())
    assert g.indptr.dtype == np.int64 and g.indices.dtype == np.int64


def _path(n):
    return graphs.csr((n, np.stack([np.arange(n - 1), np.arange(1, n)], axis=1)))


@pytest.mark.parametrize("numbering, ordered", [("random", True), ("local", False)])
@pytest.mark.parametrize("count", [2, 3, 4])
def test_the_numbering_is_cut_as_it_is_only_when_it_keeps_neighbours_close(geo, monkeypatch, numbering, ordered, count):
    g = geo[numbering]
    calls = []
    original = shards._breadth_first_order
    monkeypatch.setattr(shards, "_breadth_first_order", lambda h: calls.append(1) or original(h))
    plan = shards.plan(g, count)
    assert plan.ordered is ordered and bool(calls) is ordered
    assert len(plan.owned) == count
    everything = np.concatenate(plan.owned)
    assert np.array_equal(np.sort(everything), np.arange(g.n))  # every node in exactly one shard
    assert all(np.all(np.diff(r) > 0) for r in plan.owned)
    if not ordered:  # pieces of the numbering: ranges
        assert all(np.array_equal(r, np.arange(r[0], r[-1] + 1)) for r in plan.owned)
    # Either way the shards of a geometric graph share little; cutting the
    # random numbering as it is would make them share nearly everything.
    assert plan.overhead < 0.15 * count
    cost = shards.node_work(g)
    equal_ranges = np.array_split(np.arange(g.n), count)
    naive = sum(cost[shards.neighbourhood(g, r)].sum() for r in equal_ranges) / cost.sum() - 1
    assert bool(naive > 0.5 * (count - 1)) is ordered


def _two_paths_and_loners():
    """Two paths (0-1-2-3 and 4-5-6) and the isolated nodes 7 and 8."""
    return graphs.csr((9, [(0, 1), (1, 2), (2, 3), (4, 5), (5, 6)]))


@pytest.mark.parametrize(
    "name, searched",
    [("geo", True), ("path", True), ("path-and-loners", True), ("two-pieces", False), ("no-edges", None)],
)
def test_the_ordering_is_one_search_from_the_rim_unless_the_graph_falls_apart(geo, monkeypatch, name, searched):
    from scipy.sparse import csgraph

    g = {
        "geo": geo["random"],
        "path": _path(50),
        "path-and-loners": graphs.csr((8, [(5, 2), (2, 6), (6, 3)])),
        "two-pieces": _two_paths_and_loners(),
        "no-edges": graphs.csr((5, [])),
    }[name]
    fallbacks = []
    original = csgraph.reverse_cuthill_mckee
    monkeypatch.setattr(csgraph, "reverse_cuthill_mckee", lambda *a, **k: fallbacks.append(1) or original(*a, **k))
    order = shards._breadth_first_order(g)
    assert np.array_equal(np.sort(order), np.arange(g.n)) and order.dtype == np.int64
    assert bool(fallbacks) is (searched is False)
    degree = np.diff(g.indptr)
    linked = int(np.count_nonzero(degree))
    assert np.all(degree[order[linked:]] == 0)  # the isolated nodes last
    if searched:
        # Breadth-first from a node of least degree: every node after the
        # first has a neighbour earlier in the order, and levels never go back.
        assert degree[order[0]] == degree[degree > 0].min()
        position = np.empty(g.n, dtype=np.int64)
        position[order] = np.arange(g.n)
        parent = [min(position[g.indices[g.indptr[v]:g.indptr[v + 1]]]) for v in order[1:linked].tolist()]
        assert all(p < i + 1 for i, p in enumerate(parent)) and parent == sorted(parent)
    if name == "path-and-loners":  # from an end of the path
        assert order.tolist() in ([5, 2, 6, 3, 0, 1, 4, 7], [3, 6, 2, 5, 0, 1, 4, 7])


@pytest.mark.parametrize(
    "edges, limit, ordered",
    [
        ([(i, i + 1) for i in range(10)], 20, False),  # 20 list entries reach the limit
        ([(i, i + 1) for i in range(10)], 21, True),
        ([(0, 1)], 11, False),  # node 10 would not fit
        ([(0, 1)], 12, True),
    ],
)
def test_no_ordering_for_numbers_past_32_bits(monkeypatch, edges, limit, ordered):
    # Past the limit the numbering is left as it is instead of wrapping
    # node numbers or list positions.
    monkeypatch.setattr(shards, "SCIPY_INDEX_LIMIT", limit)
    order = shards._breadth_first_order(graphs.csr((11, edges)))
    assert (order is not None) is ordered
    if ordered:
        assert order.tolist() == list(range(11))


@pytest.mark.parametrize(
    "g, expected",
    [
        (_path(1000), 1 / 999),  # the middle edge, from both ends
        (graphs.csr((4, [])), 0.0),
        (graphs.csr((2, [(0, 1)])), 1.0),  # the one edge joins the two halves
        (graphs.csr((4, [(0, 3), (1, 2)])), 1.0),
        (graphs.csr((4, [(0, 1), (2, 3), (0, 2)])), 1 / 3),
    ],
)
def test_the_crossing_share_counts_edges_between_pieces(g, expected):
    assert shards.crossing_share(g, shards.node_work(g), 2) == pytest.approx(expected)


def test_without_an_ordering_the_numbering_is_cut(geo, monkeypatch):
    monkeypatch.setattr(shards, "_breadth_first_order", lambda g: None)  # as without scipy
    plan = shards.plan(geo["random"], 4)
    assert not plan.ordered
    assert np.array_equal(np.concatenate(plan.owned), np.arange(geo["random"].n))


@pytest.mark.parametrize("numbering", ["random", "local"])
def test_a_plan_reports_what_its_shards_hold(geo, numbering):
    g = geo[numbering]
    plan = shards.plan(g, 4)
    cost = shards.node_work(g)
    held = [shards.neighbourhood(g, r) for r in plan.owned]
    for r, u in zip(plan.owned, held):  # N[R] by its definition
        mark = np.zeros(g.n, dtype=bool)
        mark[r] = True
        for v in r.tolist():
            mark[g.indices[g.indptr[v]:g.indptr[v + 1]]] = True
        assert np.array_equal(u, np.flatnonzero(mark))
    assert plan.nodes == [len(u) for u in held]
    # The work of each shard's subgraph: its nodes' degrees there.
    degrees = [np.bincount(np.searchsorted(u, shards.held_edges(g, r)[1]), minlength=len(u))
               for r, u in zip(plan.owned, held)]
    assert plan.work == pytest.approx([((d + 1.0) ** 2).sum() for d in degrees])
    assert all(w <= cost[u].sum() for w, u in zip(plan.work, held))
    assert plan.total == pytest.approx(cost.sum())
    assert plan.overhead == pytest.approx(sum(plan.work) / plan.total - 1)
    # Balanced by work: no shard owns much more than its share.
    owned_work = [cost[r].sum() for r in plan.owned]
    assert max(owned_work) <= plan.total / 4 + cost.max()


@pytest.mark.parametrize("n", [0, 1, 3])
def test_tiny_graphs_get_at_most_one_shard_per_node(n):
    plan = shards.plan(graphs.csr((n, [])), 4)
    assert len(plan.owned) == max(1, n)
    assert sorted(np.concatenate(plan.owned).tolist()) == list(range(n))
    assert plan.overhead == 0.0


needs_switch = pytest.mark.skipif(heap.huge_page_hint() is None, reason="this numpy has no huge-page switch")


@needs_switch
@pytest.mark.parametrize("fails", [False, True])
@pytest.mark.parametrize("before", [True, False])
def test_the_huge_page_request_is_off_in_the_block_and_as_it_was_after(before, fails):
    was = heap.huge_page_hint()
    try:
        heap._hint_switch()(before)
        with pytest.raises(RuntimeError) if fails else contextlib.nullcontext():
            with heap.small_pages():
                assert heap.huge_page_hint() is False
                if fails:
                    raise RuntimeError
        assert heap.huge_page_hint() is before
    finally:
        heap._hint_switch()(was)


@needs_switch
@pytest.mark.parametrize("function", ["decompose", "cliques_with_weights"])
def test_the_client_reads_and_cuts_the_graph_without_huge_pages(monkeypatch, function):
    seen = []

    def spy(module, name):
        original = getattr(module, name)

        def wrapper(*args, **kwargs):
            seen.append((name, heap.huge_page_hint()))
            return original(*args, **kwargs)

        monkeypatch.setattr(module, name, wrapper)

    spy(vexa_dask, "csr")
    spy(shards, "plan")
    was = heap.huge_page_hint()
    try:
        heap._hint_switch()(True)
        run = getattr(vexa_dask, function)((6, [(0, 1), (1, 2), (3, 4)]), 2, shards=2)
        assert len(run.plan.owned) == 2
        assert seen == [("csr", False), ("plan", False)]
        assert heap.huge_page_hint() is True
    finally:
        heap._hint_switch()(was)
