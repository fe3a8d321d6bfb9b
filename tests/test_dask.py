"""vexa_dask: one graph in shards on a real LocalCluster of two worker
processes gives exactly the single call's tuple, order included; Parquet
output reads back as that result; a killed worker and Ctrl-C in the client
are survived cleanly."""

import os
import signal
import subprocess
import socket
import sys
import textwrap
import threading
import time
from pathlib import Path

import networkx as nx
import numpy as np
import pytest

import vexa

distributed = pytest.importorskip("distributed")
dask = pytest.importorskip("dask")
pa = pytest.importorskip("pyarrow")
pq = pytest.importorskip("pyarrow.parquet")
psutil = pytest.importorskip("psutil")

import vexa_dask  # noqa: E402
from vexa_dask import columns, graphs, heap, shards  # noqa: E402

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT))
from bench.graphs import barabasi_albert, erdos_renyi, random_geometric_3d  # noqa: E402


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(
        n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None
    ) as cluster, distributed.Client(cluster) as c:
        yield c


def single(kind, graph, maxrank):
    g = graphs.csr(graph)
    if kind == "decompose":
        return vexa.maxclique_decompose_with_weights(graphs.rows(g), maxrank)
    return vexa.enumerate_cliques_with_weights(graphs.rows(graphs.upper(g)), maxrank)


def sharded(kind):
    return vexa_dask.decompose if kind == "decompose" else vexa_dask.cliques_with_weights


def cliques_and_islands():
    """Disjoint K7, K5 and K3 sharing nothing, a path, and isolated nodes."""
    g = nx.disjoint_union_all([nx.complete_graph(7), nx.complete_graph(5), nx.complete_graph(3), nx.path_graph(4)])
    g.add_nodes_from(range(len(g), len(g) + 3))
    return g


GRAPHS = {
    "geo3d": lambda: (lambda b: (b.n, b.edges))(random_geometric_3d(1500, 14, seed=3)),
    "gnp-dense": lambda: (lambda b: (b.n, b.edges))(erdos_renyi(60, 0.45, seed=4)),
    "ba-hubs": lambda: (lambda b: (b.n, b.edges))(barabasi_albert(800, 3, seed=5)),
    "cliques-and-islands": cliques_and_islands,
    "isolated-only": lambda: (4, []),
    "no-nodes": lambda: (0, []),
}
# maxrank 0, 1, cuts below the clique number (K7, the dense G(n, p)) and no cut.
MAXRANKS = {"decompose": [0, 1, 2, 3, 5, 64], "cliques": [0, 1, 2, 4]}


@pytest.mark.parametrize("kind", ["decompose", "cliques"])
@pytest.mark.parametrize("name", GRAPHS)
def test_shards_give_the_single_call(client, kind, name):
    graph = GRAPHS[name]()
    for maxrank in MAXRANKS[kind]:
        if kind == "cliques" and maxrank == 0 and name == "gnp-dense":
            maxrank = 6  # every clique of the dense graph would be a long test
        expected = single(kind, graph, maxrank)
        for count in (3, 7):
            got = sharded(kind)(graph, maxrank, client=client, shards=count).compute()
            assert got == expected, (name, kind, maxrank, count)


def test_parquet_reads_back_as_the_result(client, tmp_path):
    graph = GRAPHS["geo3d"]()
    for kind, maxrank in [("decompose", 3), ("cliques", 0), ("decompose", 0)]:
        run = sharded(kind)(graph, maxrank, client=client, shards=5)
        cliques, weights = run.compute()
        assert sum(t.rows for t in run.timings) == len(cliques)
        files = run.to_parquet(tmp_path / kind, overwrite=True)
        assert [t.rows for t in run.timings] == [pq.ParquetFile(f).metadata.num_rows for f in files]
        assert all(min(t.call, t.convert, t.write) >= 0 for t in run.timings)
        assert len(files) == run.shards == 5 and sorted(os.listdir(tmp_path / kind)) == [Path(f).name for f in files]
        tables = [pq.read_table(f) for f in files]
        for t in tables:
            clique_type = t.schema.field("clique").type
            assert pa.types.is_list(clique_type) and clique_type.value_type == pa.int64()
            assert t.schema.field("weight").type == pa.int64()
        rows = [(c, w) for t in tables for c, w in zip(t["clique"].to_pylist(), t["weight"].to_pylist())]
        assert sorted(rows) == sorted(zip(cliques, weights))
        # Every file keeps the result's order among its rows.
        position = {tuple(c): i for i, c in enumerate(cliques)}
        for t in tables:
            where = [position[tuple(c)] for c in t["clique"].to_pylist()]
            assert where == sorted(where)
    with pytest.raises(FileExistsError):
        run.to_parquet(tmp_path / "decompose")


@pytest.mark.parametrize("output", ["compute", "parquet"])
def test_a_run_records_when_and_where_each_shard_ran(client, tmp_path, output):
    graph = GRAPHS["geo3d"]()
    run = vexa_dask.cliques_with_weights(graph, 3, client=client, shards=3)
    before = time.time()
    if output == "compute":
        rows = len(run.compute()[0])
    else:
        rows = sum(pq.ParquetFile(f).metadata.num_rows for f in run.to_parquet(tmp_path))
    after = time.time()
    clock = run.clock
    assert before <= clock.started <= clock.planned <= clock.submitted[0]
    assert clock.submitted == sorted(clock.submitted) and len(clock.submitted) == len(clock.cut) == 3
    assert clock.submitted[-1] <= clock.gathered <= after and min(clock.cut) > 0 and clock.first_cpu > 0
    assert sum(t.rows for t in run.timings) == rows
    assert {t.worker for t in run.timings} <= set(client.run(os.getpid).values())
    for i, t in enumerate(run.timings):
        assert clock.submitted[i] <= t.began <= t.ended <= clock.gathered
        # Each phase's processor time fits in its wall time, and the phases in the shard's span.
        cpu = (t.call, t.convert, t.write)
        assert all(0 <= c <= w + 1e-3 for c, w in zip(cpu, t.wall)), t
        assert sum(t.wall) <= t.ended - t.began + 1e-3
        assert (t.write > 0) == (output == "parquet") and t.call > 0 and t.convert > 0


def test_a_worker_dying_while_writing_leaves_nothing_a_reader_takes_for_a_result(tmp_path, monkeypatch):
    g = graphs.csr(GRAPHS["cliques-and-islands"]())
    task = shards.subgraph(g, "cliques", 0, shards.plan(g, 1).owned[0])
    shards.write("cliques", 3, task, str(tmp_path), "part-00000.parquet")

    def dies_halfway(table, where):
        with open(where, "wb") as f:
            f.write(b"PAR1 and no more")
        raise OSError("killed")

    monkeypatch.setattr(shards, "_write_parquet", dies_halfway)
    with pytest.raises(OSError, match="killed"):
        shards.write("cliques", 3, task, str(tmp_path), "part-00001.parquet")
    left = sorted(os.listdir(tmp_path))
    assert left[1:] == ["part-00000.parquet"] and left[0].startswith(".part-00001.parquet.")
    # Read as a dataset, the directory holds the one complete file.
    assert pq.read_table(tmp_path).num_rows == pq.ParquetFile(tmp_path / "part-00000.parquet").metadata.num_rows


@pytest.mark.parametrize("overwrite", [False, True])
def test_partial_files_of_dead_workers_are_cleared_from_the_output(client, tmp_path, overwrite):
    graph = GRAPHS["geo3d"]()
    leftovers = [".part-00001.parquet.99999.partial", "part-00002.parquet.99998.partial"]
    for name in leftovers:
        (tmp_path / name).write_bytes(b"PAR1 truncated")
    (tmp_path / "notes.txt").write_text("kept")
    run = vexa_dask.cliques_with_weights(graph, 3, client=client, shards=3)
    files = run.to_parquet(tmp_path, overwrite=overwrite)
    assert sorted(os.listdir(tmp_path)) == sorted([Path(f).name for f in files] + ["notes.txt"])
    cliques, weights = single("cliques", graph, 3)
    back = pq.read_table(tmp_path / "part-00000.parquet").schema
    rows = [pq.read_table(f) for f in files]
    assert sum(t.num_rows for t in rows) == len(cliques) and back.names == ["clique", "weight"]
    got = sorted((c, w) for t in rows for c, w in zip(t["clique"].to_pylist(), t["weight"].to_pylist()))
    assert got == sorted(zip(cliques, weights))


def _random_cliques(seed):
    """Size groups of ascending cliques, as the functions return them."""
    rng = np.random.default_rng(seed)
    groups = [rng.integers(0, 1 << 20, size=(int(rng.integers(0, 300)), k)) for k in range(8)]
    return [sorted(row) for g in groups for row in g.tolist()]


# Lists the 5-byte tokens cover, and lists that must take the slow road:
# past 32 bits (2**62 makes a token whose length is a multiple of 5, so only
# its code gives it away), bools, tuples and a tuple of lists.
FLATTEN_CASES = {
    "empty": [],
    "one-empty-list": [[]],
    "empty-lists-between": [[], [5], [], [], [1, 2], []],
    "int32-edges": [[0, 2**31 - 1], [-(2**31)], [-1, 7]],
    "past-int32": [[1, 2**31, 3], [4]],
    "past-int32-below": [[1, 2], [-(2**31) - 1]],
    "token-length-multiple-of-5": [[1, 2**62, 3]],
    "int64-edges": [[2**63 - 1, -(2**63)]],
    "bools": [[True, 2], [False]],
    "tuples": [(1, 2), (3,)],
    "random-size-groups": _random_cliques(1),
}


@pytest.mark.parametrize("name", FLATTEN_CASES)
def test_flatten_reads_every_list_exactly(name):
    lists = FLATTEN_CASES[name]
    lengths, flat = columns.flatten(lists)
    assert lengths.dtype == flat.dtype == np.int64
    assert lengths.tolist() == [len(x) for x in lists]
    assert flat.tolist() == [int(v) for x in lists for v in x]
    assert columns.flatten(tuple(lists))[1].tolist() == flat.tolist()


@pytest.mark.parametrize(
    "values",
    [
        [],
        [0],
        [2**31 - 1, -(2**31)],
        [2**31, 1],
        [1, 2**62],
        [2**63 - 1, -(2**63), -(2**63) + 1, 0],
        [True, -3],
        [True] * 5 + [2**62] * 2,  # one byte each, 15 each: as many bytes as 7 plain ints
    ],
    ids=["empty", "zero", "int32-edges", "past-int32", "token-length-multiple-of-5", "int64-edges", "bool", "bytes-add-up"],
)
def test_int64s_keeps_every_weight(values):
    got = columns.int64s(values)
    assert got.dtype == np.int64 and got.tolist() == [int(v) for v in values]


@pytest.mark.parametrize(
    "items",
    [
        [""],  # a 5-byte token that is no list, where a list should be
        [[1], ""],
        [[[1]], 5],  # a list inside a list, as many list tokens as lists expected
        [5, [[1]]],
        [5, [1]],  # an int where a list should be
    ],
)
def test_tokens_of_anything_but_lists_of_ints_are_refused(items):
    tokens = columns._tokens(items)
    assert tokens is not None  # every token is 5 bytes: only the structure tells
    assert columns._read_nested(tokens, len(items)) is None


# Runs of equal-sized lists read as one matrix, and runs that only look like
# one: the same number of tokens as k-lists but other lengths, a value past
# 32 bits, a bool, a tuple.
FIXED_ROWS_CASES = {
    "empty": ([], 3, True),
    "empty-cliques": ([[], [], []], 0, True),
    "singletons": ([[5], [0], [2**31 - 1]], 1, True),
    "int32-edges": ([[-(2**31), 2**31 - 1, 0]] * 4, 3, True),
    "random-4": (np.random.default_rng(3).integers(0, 1 << 20, size=(500, 4)).tolist(), 4, True),
    "lengths-even-out": ([[1, 2, 3], [4, 5], [6, 7, 8, 9]], 3, False),
    "one-longer-at-the-end": ([[1, 2], [3, 4], [5, 6, 7]], 2, False),
    "fewer-tokens": ([[1, 2], [3]], 2, False),
    "past-int32": ([[1, 2**31]], 2, False),
    "past-int32-multiple-of-5": ([[1, 2**62, 3]], 3, False),
    "bool": ([[1, True]], 2, False),
    "tuple": ([(1, 2), [3, 4]], 2, False),
    "nested": ([[[1], 2]], 2, False),
    "empty-list-inside": ([[1, []]], 2, False),  # a 5-byte token where an int should be
    "empty-tuple-inside": ([[(), 1]], 2, False),
    # list and int tokens where a run of 1-lists has them, but [1, []] is a
    # 2-list holding an empty list and 5 is no list at all
    "tokens-in-place-lengths-not": ([[1, []], 5, [9]], 1, False),
}


@pytest.mark.parametrize("name", FIXED_ROWS_CASES)
def test_fixed_rows_reads_only_runs_of_k_ints(name):
    lists, k, fits = FIXED_ROWS_CASES[name]
    rows = columns.fixed_rows(lists, k)
    if not fits:
        assert rows is None
        return
    assert rows is not None and rows.shape == (len(lists), k)
    assert rows.tolist() == lists


def _task(index, size, owned):
    """A shard whose subgraph node v is global node 1000 + 3v, owning `owned`."""
    mask = np.zeros(size, dtype=bool)
    mask[sorted(owned)] = True
    nodes = 1000 + 3 * np.arange(size, dtype=np.int64)
    return shards.Task(index, nodes, np.zeros(1, dtype=np.int64), np.empty(0, dtype=np.int32), mask)


# Results as the functions give them (runs of one size, ascending or
# descending) and as they never do: sizes mixed within a piece, a bool
# among the nodes.  Both must be read exactly.
RUN_ORDERS = {
    "ascending-sizes": [[0], [1], [2], [0, 1], [0, 2], [1, 2], [0, 1, 2]],
    "descending-sizes": [[0, 1, 2], [1, 2, 3], [0, 1], [2, 3], [1], [3]],
    "with-the-empty-clique": [[0, 2], [1, 3], [0], []],
    "sizes-out-of-order": [[0, 1], [2], [1, 2, 3], [], [3], [0, 3], [1, 2], [2, 3]],
    "a-bool": [[0, True], [1], [True, 2], [2, 3]],
}


@pytest.mark.parametrize("index", [0, 1])
@pytest.mark.parametrize("chunk", [1, 2, 3, 1 << 16])
@pytest.mark.parametrize("whole", [False, True], ids=["by-pieces", "whole-list"])
@pytest.mark.parametrize("order", RUN_ORDERS)
def test_a_shard_keeps_its_own_cliques_in_order_from_any_result(monkeypatch, order, whole, chunk, index):
    cliques = RUN_ORDERS[order]
    weights = [(-1) ** i * (i + 1) * 2**40 for i in range(len(cliques))]
    owned = {0, 2}
    monkeypatch.setitem(shards.FUNCTIONS, "cliques", lambda lists, maxrank: ([list(c) for c in cliques], list(weights)))
    monkeypatch.setattr(shards, "CONVERT_CHUNK", chunk)
    monkeypatch.setattr(shards, "WHOLE_LIST_ROWS", 1 << 20 if whole else len(cliques) - 1)
    used = []
    for name in ("_whole_list_pieces", "_pieces_from_the_back"):
        monkeypatch.setattr(shards, name, lambda *a, _f=getattr(shards, name), _n=name: used.append(_n) or _f(*a))
    part = shards.run("cliques", 4, _task(index, 4, owned))
    expected = [(c, w) for c, w in zip(cliques, weights) if (c[0] in owned if c else index == 0)]
    got = [part.values[a:b].tolist() for a, b in zip(part.offsets[:-1], part.offsets[1:])]
    assert got == [[1000 + 3 * v for v in c] for c, _ in expected]
    assert part.weights.tolist() == [w for _, w in expected]
    # Runs that are not plain k-lists of ints send the whole-list read back
    # to the pieces, with the lists untouched.
    plain = order in ("ascending-sizes", "descending-sizes", "with-the-empty-clique")
    assert used == (["_whole_list_pieces"] if plain else ["_whole_list_pieces", "_pieces_from_the_back"]) if whole else ["_pieces_from_the_back"]


# Runs over one list: whole runs of k-lists, and runs that do not match
# what the lists are (other sizes, not covering, ints past 32 bits).
FIXED_ROW_RUNS_CASES = {
    "two-sizes": ([[1, 2, 3], [4, 5, 6], [7], [8], [9]], [(0, 2, 3), (2, 5, 1)], True),
    "with-empty": ([[1, 2], [], []], [(0, 1, 2), (1, 3, 0)], True),
    "no-runs": ([], [], True),
    "run-too-long": ([[1, 2], [3, 4], [5]], [(0, 3, 2)], False),
    "sizes-swapped": ([[1, 2], [3]], [(0, 1, 1), (1, 2, 2)], False),
    "runs-short-of-the-list": ([[1, 2], [3, 4], [5]], [(0, 2, 2)], False),
    "runs-past-the-list": ([[1, 2]], [(0, 1, 2), (1, 2, 0)], False),
    "past-int32-in-second-run": ([[1, 2], [2**31]], [(0, 1, 2), (1, 2, 1)], False),
    # as many tokens as the runs need, the lists otherwise
    "tokens-add-up": ([[1, 2], [3, 4]], [(0, 1, 1), (1, 2, 3)], False),
}


@pytest.mark.parametrize("name", FIXED_ROW_RUNS_CASES)
def test_fixed_row_runs_reads_only_what_the_runs_say(name):
    lists, runs, fits = FIXED_ROW_RUNS_CASES[name]
    matrices = columns.fixed_row_runs(lists, runs)
    if not fits:
        assert matrices is None
        return
    assert matrices is not None and [m.shape for m in matrices] == [(b - a, k) for a, b, k in runs]
    assert [row for m in matrices for row in m.tolist()] == lists


@pytest.mark.parametrize("hold", [False, True], ids=["released", "held"])
@pytest.mark.parametrize("fails", [False, True])
def test_the_call_and_the_conversion_run_with_the_heap_kept(monkeypatch, fails, hold):
    events = []
    monkeypatch.setattr(heap, "keep", lambda: events.append("keep"))
    monkeypatch.setattr(heap, "release", lambda: events.append("release"))
    monkeypatch.setattr(heap, "pin", lambda objects: events.append("pin"))

    def call(lists, maxrank):
        events.append("call")
        if fails:
            raise MemoryError
        return [[0], [1]], [1, 1]

    monkeypatch.setitem(shards.FUNCTIONS, "cliques", call)
    if fails:
        with pytest.raises(MemoryError):
            shards.run("cliques", 4, _task(0, 4, {0, 1}), hold=hold)
    else:
        assert shards.run("cliques", 4, _task(0, 4, {0, 1}), hold=hold).timing.rows == 2
    if hold:  # the end of the run hands the heap back; a result is pinned till then
        assert events == ["keep", "call"] + ([] if fails else ["pin"])
    else:
        assert events == ["keep", "call", "release"]


@pytest.mark.parametrize("stride", [1, 2, 1024])
@pytest.mark.parametrize("kind, maxrank", [("cliques", 3), ("decompose", 64)])
def test_a_held_shard_pins_every_stride_th_result_list_until_released(monkeypatch, kind, maxrank, stride):
    g = graphs.csr(GRAPHS["geo3d"]())
    task = shards.subgraph(g, kind, 0, shards.plan(g, 2).owned[0])
    expected = shards.run(kind, maxrank, task)
    returned = []
    call = shards.FUNCTIONS[kind]
    monkeypatch.setitem(shards.FUNCTIONS, kind, lambda lists, m: returned.append(call(lists, m)) or returned[-1])
    monkeypatch.setattr(shards, "PIN_STRIDE", stride)
    try:
        part = shards.run(kind, maxrank, task, hold=True)
        assert heap.kept()
        cliques = returned[0][0]
        assert len(cliques) == 0  # converted and freed, all but the pinned ones
        pinned = heap._pinned[0]
        reference = call([task.indices[a:b] for a, b in zip(task.indptr[:-1], task.indptr[1:])], maxrank)[0]
        assert pinned == reference[::stride] and len(pinned) > 0
    finally:
        heap.release()
    assert not heap.kept() and heap._pinned == []
    for a, b in [(part.offsets, expected.offsets), (part.values, expected.values), (part.weights, expected.weights)]:
        assert np.array_equal(a, b)


class _InProcessClient:
    """What a run asks of a Dask client, done in this process: records what
    is submitted and cancelled; `interrupt` makes the gather raise."""

    def __init__(self, interrupt):
        self.interrupt = interrupt
        self.submitted = []
        self.cancelled = False

    def nthreads(self):
        return {"tcp://a": 1, "tcp://b": 1}

    def submit(self, function, *args, workers=None, allow_other_workers=False, pure=True, **kwargs):
        self.submitted.append((function, workers, allow_other_workers, kwargs))
        return (function, args, kwargs)

    def gather(self, futures):
        if self.interrupt:
            raise KeyboardInterrupt
        return [function(*args, **kwargs) for function, args, kwargs in futures]

    def cancel(self, futures):
        self.cancelled = True


@pytest.mark.parametrize("interrupt", [False, True], ids=["finished", "interrupted"])
def test_shards_hold_the_heap_and_the_end_of_a_run_releases_every_worker(monkeypatch, interrupt):
    fake = _InProcessClient(interrupt)
    graph = GRAPHS["cliques-and-islands"]()
    run = vexa_dask.decompose(graph, 3, client=fake, shards=3)
    if interrupt:
        with pytest.raises(KeyboardInterrupt):
            run.compute()
    else:
        assert run.compute() == single("decompose", graph, 3)
    assert fake.cancelled == interrupt
    shard_calls = [kwargs for function, _, _, kwargs in fake.submitted if function is shards.run]
    assert len(shard_calls) == 3 and all(kwargs == {"hold": True} for kwargs in shard_calls)
    # after the shards, one release per worker, pinned to it unless it is gone
    releases = [(workers, anywhere) for function, workers, anywhere, _ in fake.submitted if function is heap.release]
    assert releases == [(["tcp://a"], True), (["tcp://b"], True)]
    assert fake.submitted[-1][0] is heap.release


def test_workers_hand_back_the_heap_when_a_run_ends(client):
    address = sorted(client.nthreads())[0]
    g = graphs.csr(GRAPHS["geo3d"]())
    task = shards.subgraph(g, "decompose", 0, shards.plan(g, 2).owned[0])
    client.submit(shards.run, "decompose", 64, task, hold=True, workers=[address], pure=False).result()
    assert client.run(heap.kept, workers=[address]) == {address: True}
    graph = GRAPHS["geo3d"]()
    assert vexa_dask.decompose(graph, 64, client=client).compute() == single("decompose", graph, 64)
    deadline = time.monotonic() + 30
    while any(client.run(heap.kept).values()) and time.monotonic() < deadline:
        time.sleep(0.05)
    assert not any(client.run(heap.kept).values())


@pytest.mark.parametrize("chunk", [1, 7, 1 << 16, None], ids=["1", "7", "65536", "whole-list"])
@pytest.mark.parametrize("limit", [None, 0, 3], ids=["list", "large-list", "some-pieces-large"])
@pytest.mark.parametrize("kind, maxrank", [("cliques", 3), ("decompose", 0), ("decompose", 64)])
def test_a_shard_file_holds_its_pieces_as_one_column(tmp_path, monkeypatch, kind, maxrank, limit, chunk):
    g = graphs.csr(GRAPHS["cliques-and-islands"]())
    task = shards.subgraph(g, kind, 0, shards.plan(g, 2).owned[0])
    part = shards.run(kind, maxrank, task)
    if chunk is not None:
        monkeypatch.setattr(shards, "CONVERT_CHUNK", chunk)
        monkeypatch.setattr(shards, "WHOLE_LIST_ROWS", -1)
    if limit is not None:  # as if one piece had more entries than 32-bit offsets hold
        monkeypatch.setattr(columns, "LIST_OFFSET_LIMIT", limit)
    timing = shards.write(kind, maxrank, task, str(tmp_path), "part.parquet")
    back = pq.read_table(tmp_path / "part.parquet")
    if limit != 3:  # with 3, some pieces need 64-bit offsets and others not: all take them
        large = limit == 0 and len(part.values) > 0  # every piece with a node needs them
        assert back.schema.field("clique").type == (pa.large_list if large else pa.list_)(pa.int64())
    assert timing.rows == back.num_rows == len(part.weights)
    expected = [part.values[a:b].tolist() for a, b in zip(part.offsets[:-1], part.offsets[1:])]
    assert back["clique"].to_pylist() == expected and back["weight"].to_pylist() == part.weights.tolist()
    assert os.listdir(tmp_path) == ["part.parquet"]
    meta = pq.ParquetFile(tmp_path / "part.parquet").metadata
    for group in range(meta.num_row_groups):  # both columns as deltas
        for column in range(2):
            encodings = meta.row_group(group).column(column).encodings
            assert "DELTA_BINARY_PACKED" in encodings and "PLAIN" not in encodings, encodings
            assert meta.row_group(group).column(column).compression == "UNCOMPRESSED"


def test_short_offsets_refuse_what_they_cannot_hold(monkeypatch):
    monkeypatch.setattr(columns, "LIST_OFFSET_LIMIT", 2)
    offsets, values = np.array([0, 2, 3]), np.arange(3)
    with pytest.raises(OverflowError, match="3 list entries"):
        columns.arrow_table(offsets, values, np.zeros(2, dtype=np.int64), large=False)
    assert columns.arrow_table(offsets, values, np.zeros(2, dtype=np.int64))["clique"].to_pylist() == [[0, 1], [2]]


@pytest.mark.parametrize(
    "environment, expected",
    [
        ({}, None),
        ({"MALLOC_TRIM_THRESHOLD_": "65536"}, (65536, 128 << 10)),
        ({"MALLOC_MMAP_THRESHOLD_": "1048576"}, (128 << 10, 1 << 20)),
        ({"MALLOC_TRIM_THRESHOLD_": "0", "MALLOC_MMAP_THRESHOLD_": "4096"}, (0, 4096)),
        ({"MALLOC_TRIM_THRESHOLD_": "lots"}, None),
    ],
)
def test_the_heap_settings_of_a_worker_are_read_from_its_environment(monkeypatch, environment, expected):
    monkeypatch.delenv("MALLOC_TRIM_THRESHOLD_", raising=False)
    monkeypatch.delenv("MALLOC_MMAP_THRESHOLD_", raising=False)
    for k, v in environment.items():
        monkeypatch.setenv(k, v)
    assert heap.static_thresholds() == expected


_FAULTS = """
import resource, sys
sys.path[:0] = {path!r}
from vexa_dask import heap

def faults():
    before = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    for _ in range(20):
        block = bytearray(4 << 20)  # written through: every page is touched
        del block
    return resource.getrusage(resource.RUSAGE_SELF).ru_minflt - before

plain = faults()
heap.keep()
kept = faults()
heap.release()
print(plain, kept, faults())
"""


@pytest.mark.skipif(heap._LIBC is None, reason="glibc's malloc only")
@pytest.mark.skipif(os.environ.get("VEXA_SANITIZE") == "1", reason="the sanitizers bring their own allocator")
@pytest.mark.parametrize("trim", [None, "65536"], ids=["adaptive", "dask-setting"])
def test_freed_blocks_are_reused_while_kept_and_returned_after(trim):
    environment = {k: v for k, v in os.environ.items() if not k.startswith("MALLOC_")}
    if trim is not None:
        environment["MALLOC_TRIM_THRESHOLD_"] = trim
    code = _FAULTS.format(path=[str(ROOT / "src"), *sys.path])
    out = subprocess.run([sys.executable, "-c", code], env=environment, capture_output=True, text=True, check=True)
    plain, kept, after = map(int, out.stdout.split())
    pages = 20 * (4 << 20) // 4096
    if trim is None:  # glibc adapts: the block is reused from the second time on
        assert plain < pages // 2 and kept < pages // 10
    else:  # a fresh mapping each time, but not while kept, and again after
        assert plain >= pages and kept < pages // 10 and after >= pages


def _huge_pages_after_writing_parquet():
    """Transparent huge pages (KiB) this process holds after writing a
    400,000-row table; the writer's buffers are freshly allocated."""
    import io

    rows = 400_000
    table = columns.arrow_table(np.arange(0, 4 * rows + 1, 4), np.arange(4 * rows), np.ones(rows, dtype=np.int64))
    pq.write_table(table, io.BytesIO(), compression="lz4")
    with open("/proc/self/smaps_rollup") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("AnonHugePages:"))


def _huge_pages_only_on_request():
    if os.environ.get("VEXA_SANITIZE") == "1":  # the sanitizers bring their own allocator
        return False
    try:
        with open("/sys/kernel/mm/transparent_hugepage/enabled") as f:
            return "[madvise]" in f.read() and os.path.exists("/proc/self/smaps_rollup")
    except OSError:
        return False


def test_the_local_cluster_starts_its_workers_in_its_own_environment(monkeypatch):
    for name in [*vexa_dask.WORKER_ENVIRONMENT, "MALLOC_TRIM_THRESHOLD_"]:
        monkeypatch.delenv(name, raising=False)
    with vexa_dask.local_cluster(1) as cluster, distributed.Client(cluster) as c:
        names = [*vexa_dask.WORKER_ENVIRONMENT, "MALLOC_TRIM_THRESHOLD_"]
        seen = c.run(lambda: {k: os.environ.get(k) for k in names})
        trim = dask.config.get("distributed.nanny.pre-spawn-environ").get("MALLOC_TRIM_THRESHOLD_")
        assert list(seen.values()) == [{**vexa_dask.WORKER_ENVIRONMENT, "MALLOC_TRIM_THRESHOLD_": str(trim)}]
        assert sum(c.nthreads().values()) == 1
        settings = c.run(lambda: {k: dask.config.get(k) for k in vexa_dask.WORKER_CONFIG})
        assert list(settings.values()) == [vexa_dask.WORKER_CONFIG]
        # The scheduler and the worker wake for their loop checks and
        # process samples at the intervals set, not Dask's 20 and 500 ms.
        def wakes(server):
            return {k: cb.callback_time for k, cb in server.periodic_callbacks.items() if k in ("tick", "monitor")}

        seen = [wakes(cluster.scheduler), *c.run(lambda dask_worker: wakes(dask_worker)).values()]
        assert seen == [{"tick": 1000, "monitor": 2000}] * 2
        if _huge_pages_only_on_request():
            # Where the kernel backs only hinted memory with huge pages,
            # neither numpy nor Arrow in these workers hints it.
            assert list(c.run(_huge_pages_after_writing_parquet).values()) == [0]
    # ... and only there: this process keeps Dask's settings.
    assert all(dask.config.get(k) != v for k, v in vexa_dask.WORKER_CONFIG.items())
    # Dask wrote its worker settings into this process's environment; they are gone again.
    assert not {*vexa_dask.WORKER_ENVIRONMENT, "MALLOC_TRIM_THRESHOLD_"} & set(os.environ)


@pytest.mark.parametrize(
    "cliques, weights",
    [
        ([], []),
        ([[]], [1]),  # the empty clique of maxrank 0
        ([[3, 9], [], [2**40]], [2**63 - 1, -(2**63), -1]),
        (_random_cliques(2), None),
    ],
    ids=["no-rows", "empty-clique", "extremes", "random"],
)
@pytest.mark.parametrize("large", [False, True], ids=["list", "large-list"])
def test_arrow_table_holds_the_cliques_and_weights(tmp_path, monkeypatch, cliques, weights, large):
    if large:  # as if the column had more than 2**31 entries
        monkeypatch.setattr(columns, "LIST_OFFSET_LIMIT", -1)
    if weights is None:
        weights = [i - len(cliques) // 2 for i in range(len(cliques))]
    lengths, flat = columns.flatten(cliques)
    offsets = np.zeros(len(lengths) + 1, dtype=np.int64)
    np.cumsum(lengths, out=offsets[1:])
    table = columns.arrow_table(offsets, flat, columns.int64s(weights))
    pq.write_table(table, tmp_path / "t.parquet")
    back = pq.read_table(tmp_path / "t.parquet")
    assert back.schema.field("clique").type == (pa.large_list if large else pa.list_)(pa.int64())
    assert back.schema.field("weight").type == pa.int64()
    assert back["clique"].to_pylist() == cliques and back["weight"].to_pylist() == weights
    assert not back.schema.field("clique").nullable and not back.schema.field("weight").nullable


def test_shards_are_balanced_by_work_not_by_node_count():
    # Barabasi-Albert: the hubs are the first nodes, so equal node ranges
    # would leave the first shard with most of the work.
    g = graphs.csr((lambda b: (b.n, b.edges))(barabasi_albert(6000, 3, seed=1)))
    cost = shards.node_work(g)
    owned = shards.plan(g, 4).owned
    assert sorted(np.concatenate(owned).tolist()) == list(range(g.n))
    total = cost.sum()
    assert max(cost[r].sum() for r in owned) <= total / 4 + cost.max()
    assert cost[: g.n // 4].sum() > 0.4 * total  # what node ranges would do


def test_geometric_shards_share_little():
    b = random_geometric_3d(20000, 16, seed=2)
    run = vexa_dask.decompose((b.n, b.edges), 64, shards=2)
    assert run.plan.overhead < 0.25  # the numbering is random: node ranges would share almost all


def test_shard_count_follows_graph_size_and_workers(client):
    assert vexa_dask.decompose(nx.path_graph(10), 2, client=client).shards == 1  # too little work to split
    b = random_geometric_3d(20000, 16, seed=2)
    assert vexa_dask.decompose((b.n, b.edges), 2, client=client).shards == 4  # two per worker


def test_input_errors_are_raised_in_the_client_before_any_cluster():
    with pytest.raises(ValueError, match="node 9 is out of range for n = 4"):
        vexa_dask.decompose((4, np.array([[0, 1], [2, 9]])), 3)
    with pytest.raises(OverflowError, match="can't convert negative int to unsigned"):
        vexa_dask.cliques_with_weights([[1], [0]], -1)
    with pytest.raises(TypeError, match="argument 'maxrank': 'float' object cannot be interpreted as an integer"):
        vexa_dask.decompose([[1], [0]], 2.0)
    with pytest.raises(ValueError, match="shards"):
        vexa_dask.decompose([[1], [0]], 2, shards=0)


def test_a_killed_worker_is_retried_and_the_result_stays_exact(client):
    b = erdos_renyi(100, 0.5, seed=6)  # most of a second per shard
    expected = single("decompose", (b.n, b.edges), 64)
    pids = client.run(os.getpid)
    run = vexa_dask.decompose((b.n, b.edges), 64, client=client, shards=6)
    outcome = {}
    worker = threading.Thread(target=lambda: outcome.setdefault("result", run.compute()))
    worker.start()
    deadline = time.monotonic() + 60
    victim = None
    while victim is None and time.monotonic() < deadline:
        busy = [address for address, keys in client.processing().items() if keys]
        victim = busy[0] if busy else None
        time.sleep(0.02)
    assert victim is not None, "no shard ever ran"
    os.kill(pids[victim], signal.SIGKILL)
    worker.join(120)
    assert outcome["result"] == expected
    client.wait_for_workers(2, timeout=60)
    assert pids[victim] not in client.run(os.getpid).values()  # the worker was replaced


def test_ctrl_c_in_the_client_leaves_no_worker_behind(tmp_path):
    script = tmp_path / "run.py"
    script.write_text(
        textwrap.dedent(
            f"""
            import sys
            sys.path.insert(0, {str(ROOT)!r})
            from bench.graphs import erdos_renyi
            import vexa_dask
            b = erdos_renyi(400, 0.5, seed=1)
            if __name__ == "__main__":
                vexa_dask.decompose((b.n, b.edges), 64, shards=8).compute()
            """
        )
    )
    child = subprocess.Popen([sys.executable, str(script)], stderr=subprocess.PIPE, text=True)
    proc = psutil.Process(child.pid)
    seen = set()
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        seen |= {p.pid for p in proc.children(recursive=True)}
        if len(seen) >= 2:  # the two workers (and perhaps a resource tracker)
            break
        time.sleep(0.05)
    time.sleep(3.0)  # the shards are running now
    seen |= {p.pid for p in proc.children(recursive=True)}
    child.send_signal(signal.SIGINT)
    _, err = child.communicate(timeout=60)
    assert child.returncode != 0 and "KeyboardInterrupt" in err, err[-2000:]
    deadline = time.monotonic() + 10
    alive = [p for p in seen if psutil.pid_exists(p) and psutil.Process(p).status() != psutil.STATUS_ZOMBIE]
    while alive and time.monotonic() < deadline:
        time.sleep(0.2)
        alive = [p for p in alive if psutil.pid_exists(p) and psutil.Process(p).status() != psutil.STATUS_ZOMBIE]
    assert not alive, f"processes left behind: {alive}"


def test_the_local_cluster_does_not_claim_the_dashboard_port(recwarn):
    # Another program holds port 8787 (Dask's dashboard port), as a second
    # cluster on the machine would: the cluster takes a free port, silently.
    holder = socket.socket()
    try:
        holder.bind(("", 8787))
        holder.listen()
    except OSError:
        pass  # taken already, by something else
    try:
        with vexa_dask.local_cluster(1) as cluster:
            port = cluster.scheduler.http_server.port
    finally:
        holder.close()
    assert port != 8787
    assert not [w for w in recwarn.list if "already in use" in str(w.message)]
