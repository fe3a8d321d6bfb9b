"""One large geometric graph: the single vexa call against vexa_dask on a
LocalCluster of 2 worker processes writing Parquet.

    python bench/dask_geo.py                 # geo3d n = 200,000, degree 16
    python bench/dask_geo.py --n 50000       # a shorter run
    python bench/dask_geo.py --only decompose
    python bench/dask_geo.py --conversion    # ways to turn one shard's lists into arrays

For each workload (maxclique_decompose_with_weights with maxrank 64,
enumerate_cliques_with_weights with maxrank 4) it reports

* the single call's wall time and the peak resident memory of its process
  (a fresh process that loads the edges, builds the lists and calls);
* vexa_dask's wall time from the edge array to the Parquet files written,
  on a cluster started beforehand (its start-up is printed apart), and each
  worker's peak resident memory (a fresh cluster per workload);
* the shard overhead: the rows the shards' calls listed beyond the
  cliques they kept (what the shards' subgraphs share, counted in the run),
  the estimated work of those subgraphs beyond the whole graph's, and the
  nodes and edges that more than one shard holds, as percentages.

With --conversion it times, instead, the ways a worker could turn one
shard's result lists into columns (and free them), on the real result of a
middle shard, in a process with a Dask worker's settings; see `conversion`.

Times are medians over --rounds runs; the two runs of a round follow each
other, so that both see the same load of the machine.  On a shared machine
the wall times follow the load; the processor times (the single call's, and
the client's and the busiest worker's for vexa_dask) do not.
"""

from __future__ import annotations

import argparse
import json
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT))

from bench.graphs import full_lists, random_geometric_3d, upper_lists  # noqa: E402

WORKLOADS = [("decompose", 64), ("cliques", 4)]

SINGLE = """
import json, sys, time
import numpy as np
sys.path.insert(0, {root!r})
from bench.graphs import full_lists, upper_lists
import vexa
edges = np.load({edges!r})
n = {n}
kind, maxrank = {kind!r}, {maxrank}
start = time.perf_counter()
lists = full_lists(n, edges) if kind == "decompose" else upper_lists(n, edges)
built = time.perf_counter() - start
del edges
function = vexa.maxclique_decompose_with_weights if kind == "decompose" else vexa.enumerate_cliques_with_weights
start, cpu = time.perf_counter(), time.process_time()
cliques, weights = function(lists, maxrank)
elapsed, cpu = time.perf_counter() - start, time.process_time() - cpu
peak = next(int(l.split()[1]) * 1024 for l in open("/proc/self/status") if l.startswith("VmHWM:"))
print(json.dumps({{"seconds": elapsed, "cpu": cpu, "lists": built, "peak": peak, "cliques": len(cliques)}}))
"""


# The environment this process started with: Dask writes its worker
# settings into the environment of the process that starts a cluster, and
# the single call must not run under them.
ENVIRONMENT = dict(os.environ)


def single_call(edges_file: str, n: int, kind: str, maxrank: int) -> dict[str, float]:
    code = SINGLE.format(root=str(ROOT), edges=edges_file, n=n, kind=kind, maxrank=maxrank)
    out = subprocess.run(
        [sys.executable, "-c", code], check=True, capture_output=True, text=True, env=ENVIRONMENT
    ).stdout
    return json.loads(out.splitlines()[-1])


def peak_rss() -> int:
    """This process's peak resident memory in bytes (VmHWM: unlike ru_maxrss
    it does not carry over the parent's peak into a spawned process)."""
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024


def sharded(client, n: int, edges: np.ndarray, kind: str, maxrank: int, out: str, shards: int | None):
    import vexa_dask

    workers_cpu = client.run(time.process_time)
    start, cpu, began = time.perf_counter(), time.process_time(), time.time()
    run = (vexa_dask.decompose if kind == "decompose" else vexa_dask.cliques_with_weights)(
        (n, edges), maxrank, client=client, shards=shards
    )
    read = time.process_time() - cpu  # the graph read into arrays, in the client
    files = run.to_parquet(out, overwrite=True)
    elapsed, cpu = time.perf_counter() - start, time.process_time() - cpu
    workers_cpu = {a: t - workers_cpu[a] for a, t in client.run(time.process_time).items()}
    return elapsed, cpu, workers_cpu, run, files, (began, read)


def critical_cpu(run, read: float) -> float:
    """Processor seconds on the path a quiet 2-core machine would follow:
    the client's work before the first shard, then the busiest worker's
    shards.  Load on the machine stretches wall times but hardly these."""
    per_worker: dict[int, float] = {}
    for t in run.timings:
        per_worker[t.worker] = per_worker.get(t.worker, 0.0) + t.call + t.convert + t.write
    return read + run.clock.first_cpu + max(per_worker.values())


def breakdown(run, began: float, read: float) -> None:
    """Where one run's wall time went: the client's steps, then each shard
    (how long it waited after being handed over, its phases as processor /
    wall seconds, when it ended), then each worker's busy and idle time."""
    clock, timings = run.clock, run.timings
    print(f"  client: graph read {read:.3f} s processor time, then {clock.first_cpu:.3f} s to the first shard; "
          f"shards chosen at {clock.planned - began:.3f} s, "
          f"subgraphs cut in {sum(clock.cut):.3f} s (last handed over at {clock.submitted[-1] - began:.3f} s), "
          f"results in at {clock.gathered - began:.3f} s")
    print("    shard  worker   waited   call cpu/wall    convert cpu/wall  write cpu/wall    began   ended  rows")
    for i, t in enumerate(timings):
        print(f"    {i:5d} {t.worker:7d} {t.began - clock.submitted[i]:8.3f} "
              f"{t.call:7.3f}/{t.wall[0]:<7.3f} {t.convert:7.3f}/{t.wall[1]:<7.3f} {t.write:7.3f}/{t.wall[2]:<7.3f} "
              f"{t.began - began:7.3f} {t.ended - began:7.3f} {t.rows:,}")
    span = clock.gathered - began
    for worker in sorted({t.worker for t in timings}):
        mine = [t for t in timings if t.worker == worker]
        busy = sum(t.ended - t.began for t in mine)
        cpu = sum(t.call + t.convert + t.write for t in mine)
        first = min(t.began for t in mine) - began
        last = clock.gathered - max(t.ended for t in mine)
        print(f"    worker {worker}: busy {busy:.3f} s (processor {cpu:.3f} s, {cpu / busy:.0%} of it), "
              f"idle {span - busy:.3f} s ({first:.3f} s before its first shard, {last:.3f} s after its last)")


# A Dask worker's allocator and huge-page settings, for --conversion.
WORKER_LIKE = {"MALLOC_TRIM_THRESHOLD_": "65536"}


def conversion(n: int, degree: float, repeats: int) -> None:
    """Processor time per result row of each way to turn a shard's lists
    into columns, freeing the lists included, on the result of shard 1 of 4
    (a middle one).  The ways take turns, a fresh result for each turn;
    printed are the medians over `repeats` turns.

    * the worker's own routes (vexa_dask.shards), timed as the worker times
      its conversion (the call's input and the call itself left out): runs
      of one size read from marshal's bytes as matrices, only the shard's
      own cliques kept, in pieces of at most CONVERT_CHUNK rows, or from one
      marshal of the whole list (results up to WHOLE_LIST_ROWS rows);
    * marshal's bytes of the whole list read at once (columns.flatten),
      nothing kept apart;
    * pyarrow building the list column from the lists;
    * np.fromiter over itertools.chain with the count known, lengths from
      map(len);
    * np.fromiter per size group (one length per group: only the values
      are read, the offsets are a range).

    Then the worker's route by pieces taken apart: marshal, numpy reading,
    freeing the lists, and the Parquet file with the clique column as a
    list of int64 (what the workers write) or of int32."""
    import gc
    import itertools

    import pyarrow as pa
    import pyarrow.parquet  # noqa: F401 -- loaded before anything is timed

    from vexa_dask import columns, heap
    from vexa_dask import shards as sh
    from vexa_dask.graphs import csr

    graph = random_geometric_3d(n, degree, seed=0)
    g = csr((graph.n, graph.edges))
    plan = sh.plan(g, 4)
    gc.disable()

    def groups(cliques):
        """(start, end, size) of each run of one size."""
        sizes = np.fromiter(map(len, cliques), dtype=np.int64, count=len(cliques))
        edges = np.flatnonzero(np.diff(sizes)) + 1
        bounds = [0, *edges.tolist(), len(cliques)]
        return [(a, b, int(sizes[a])) for a, b in zip(bounds, bounds[1:])]

    def own_route(whole):
        def convert(kind, task, cliques, weights):
            saved, limit = sh.FUNCTIONS[kind], sh.WHOLE_LIST_ROWS
            sh.FUNCTIONS[kind] = lambda lists, maxrank: (cliques, weights)
            sh.WHOLE_LIST_ROWS = len(cliques) if whole else -1
            clock = sh._Clock()
            try:
                sh._owned_pieces(kind, 0, task, clock)
            finally:
                sh.FUNCTIONS[kind], sh.WHOLE_LIST_ROWS = saved, limit
            return clock.cpu[1]  # the conversion's lap
        return convert

    def whole_marshal(kind, task, cliques, weights):
        columns.flatten(cliques), columns.int64s(weights)

    def arrow(kind, task, cliques, weights):
        pa.array(cliques, type=pa.large_list(pa.int64())), pa.array(weights, type=pa.int64())

    def chained(kind, task, cliques, weights):
        lengths = np.fromiter(map(len, cliques), dtype=np.int64, count=len(cliques))
        flat = itertools.chain.from_iterable(cliques)
        np.fromiter(flat, dtype=np.int64, count=int(lengths.sum()))
        np.fromiter(weights, dtype=np.int64, count=len(weights))

    def by_group(kind, task, cliques, weights):
        for a, b, k in groups(cliques):
            np.fromiter(itertools.chain.from_iterable(cliques[a:b]), dtype=np.int64, count=(b - a) * k)
        np.fromiter(weights, dtype=np.int64, count=len(weights))

    def free_only(kind, task, cliques, weights):
        pass

    ways = {
        "the worker's route, by pieces": own_route(False),
        "the worker's route, whole list": own_route(True),
        "marshal, the whole list at once": whole_marshal,
        "pyarrow from the lists": arrow,
        "chain + fromiter, known count": chained,
        "fromiter per size group": by_group,
        "nothing: freeing the lists alone": free_only,
    }

    def phases(kind, task, cliques, weights, out):
        """The route by pieces in phases, then the Parquet file twice."""
        seconds = dict.fromkeys(["marshal", "numpy", "free"], 0.0)
        pieces = []
        for start, end, size in sh._runs(cliques, sh.CONVERT_CHUNK):
            t0 = time.process_time()
            rows = columns.fixed_rows(cliques[start:end], size)
            piece_weights = columns.int64s(weights[start:end])
            t1 = time.process_time()
            if rows is None:
                raise RuntimeError("a run that is not one size")
            pieces.append(sh._keep_owned_rows(task, rows, size, piece_weights))
            t2 = time.process_time()
            del cliques[start:], weights[start:]
            t3 = time.process_time()
            seconds["marshal"] += t1 - t0
            seconds["numpy"] += t2 - t1
            seconds["free"] += t3 - t2
        pieces.reverse()
        for label, dtype in [("Parquet, list<int64>", np.int64), ("Parquet, list<int32>", np.int32)]:
            start = time.process_time()
            chunks = []
            for lengths, nodes, piece_weights in pieces:
                offsets = np.zeros(len(lengths) + 1, dtype=np.int64)
                np.cumsum(lengths, out=offsets[1:])
                table = columns.arrow_table(offsets, nodes, piece_weights, large=False)
                if dtype is np.int32:
                    flat = pa.array(nodes.astype(np.int32))
                    clique = pa.ListArray.from_arrays(pa.array(offsets.astype(np.int32)), flat)
                    schema = pa.schema([pa.field("clique", clique.type, nullable=False), table.schema.field("weight")])
                    table = pa.Table.from_arrays([clique, table["weight"]], schema=schema)
                chunks.append(table)
            sh._write_parquet(pa.concat_tables(chunks), out)
            del chunks
            pa.default_memory_pool().release_unused()
            seconds[label] = time.process_time() - start
            seconds[label + ": MiB"] = os.path.getsize(out) / 2**20
        return seconds

    print(f"{graph.name}; shard 1 of 4; medians of {repeats} turns; load average {os.getloadavg()[0]:.2f}")
    with tempfile.TemporaryDirectory() as tmp:
        for kind, maxrank in WORKLOADS:
            task = sh.subgraph(g, kind, 1, plan.owned[1])
            bounds = task.indptr.tolist()
            lists = [task.indices[a:b] for a, b in zip(bounds, bounds[1:])]
            function = sh.FUNCTIONS[kind]
            times: dict[str, list[float]] = {name: [] for name in [*ways, "phases"]}
            split: list[dict[str, float]] = []
            calls = []
            for _ in range(repeats):
                for name in [*ways, "phases"]:
                    heap.keep()
                    start = time.process_time()
                    cliques, weights = function(lists, maxrank)
                    calls.append(time.process_time() - start)
                    rows = len(cliques)
                    start = time.process_time()
                    if name == "phases":
                        split.append(phases(kind, task, cliques, weights, os.path.join(tmp, "part.parquet")))
                        elapsed = None
                    else:
                        elapsed = ways[name](kind, task, cliques, weights)
                    del cliques, weights
                    times[name].append(time.process_time() - start if elapsed is None else elapsed)
                    heap.release()
            call = statistics.median(calls)
            print(f"\n{kind}(maxrank={maxrank}): {rows:,} rows; the call {call:.3f} s ({call / rows * 1e9:.0f} ns a row)")
            for name in ways:
                m = statistics.median(times[name])
                print(f"  {name:45s} {m:.3f} s  {m / rows * 1e9:5.0f} ns a row")
            print("  the route by pieces, phase by phase:")
            for phase in split[0]:
                m = statistics.median(s[phase] for s in split)
                if phase.endswith("MiB"):
                    print(f"    {phase:43s} {m:.1f}")
                else:
                    print(f"    {phase:43s} {m:.3f} s  {m / rows * 1e9:5.0f} ns a row")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--n", type=int, default=200_000)
    parser.add_argument("--degree", type=float, default=16)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--shards", type=int, default=None, help="default: chosen by vexa_dask")
    parser.add_argument("--only", choices=[kind for kind, _ in WORKLOADS], help="run one workload")
    parser.add_argument("--conversion", action="store_true", help="time the ways to convert one shard's lists")
    args = parser.parse_args()

    if args.conversion:
        import vexa_dask

        wanted = {**vexa_dask.WORKER_ENVIRONMENT, **WORKER_LIKE}
        if any(os.environ.get(k) != v for k, v in wanted.items()):
            # numpy and glibc read these when the process starts
            subprocess.run([sys.executable, *sys.argv], check=True, env={**os.environ, **wanted})
        else:
            conversion(args.n, args.degree, max(args.rounds, 3))
        return

    from distributed import Client
    import pyarrow.parquet as pq

    import vexa_dask

    graph = random_geometric_3d(args.n, args.degree, seed=0)
    print(f"{graph.name}: {graph.n:,} nodes, {graph.edge_count:,} edges; load average {os.getloadavg()[0]:.2f}")
    with tempfile.TemporaryDirectory() as tmp:
        edges_file = os.path.join(tmp, "edges.npy")
        np.save(edges_file, graph.edges)
        for kind, maxrank in WORKLOADS:
            if args.only and kind != args.only:
                continue
            start = time.perf_counter()
            with vexa_dask.local_cluster(2) as cluster, Client(cluster) as client:
                started = time.perf_counter() - start
                baseline = client.run(peak_rss)
                singles, shardeds, cpus, timings, runs = [], [], [], [], []
                for _ in range(args.rounds):
                    singles.append(single_call(edges_file, graph.n, kind, maxrank))
                    seconds, cpu, workers_cpu, run, files, marks = sharded(
                        client, graph.n, graph.edges, kind, maxrank, os.path.join(tmp, "out"), args.shards
                    )
                    shardeds.append(seconds)
                    runs.append((run, marks))
                    timings.append(run.timings)
                    cpus.append((cpu, max(workers_cpu.values())))
                peaks = client.run(peak_rss)
            rows = sum(pq.ParquetFile(f).metadata.num_rows for f in files)
            one = statistics.median(s["seconds"] for s in singles)
            many = statistics.median(shardeds)
            single_peak = max(s["peak"] for s in singles)
            plan = run.plan
            shared_nodes = sum(plan.nodes) / graph.n - 1
            name = "maxclique_decompose_with_weights" if kind == "decompose" else "enumerate_cliques_with_weights"
            print(f"\n{name}(maxrank={maxrank}): {singles[0]['cliques']:,} cliques; Parquet rows {rows:,}")
            lists = statistics.median(s["lists"] for s in singles)
            print(f"  single call          {one:8.3f} s   peak {single_peak / 2**20:7.0f} MiB "
                  f"(building its lists from the edge array: {lists:.3f} s more)")
            print(f"  vexa_dask, 2 workers {many:8.3f} s   ({many / one:.2f}x the single call; "
                  f"cluster start {started:.1f} s not included)")
            client_cpu = statistics.median(c for c, _ in cpus)
            worker_cpu = statistics.median(w for _, w in cpus)
            single_cpu = statistics.median(s["cpu"] for s in singles)
            critical = statistics.median(critical_cpu(r, m[1]) for r, m in runs)
            print(f"  processor time: single call {single_cpu:.3f} s; vexa_dask client {client_cpu:.3f} s, "
                  f"busiest worker {worker_cpu:.3f} s ({(client_cpu + worker_cpu) / single_cpu:.2f}x the single call "
                  f"if nothing overlapped)")
            print(f"  processor time on the critical path (client before the first shard, then the busiest worker's "
                  f"shards): {critical:.3f} s, {critical / single_cpu:.2f}x the single call's")
            parts = [statistics.median(sum(getattr(t, f) for t in ts) for ts in timings)
                     for f in ("call", "convert", "write")]
            print(f"  in the workers, summed over the shards: calls {parts[0]:.3f} s, lists to arrays {parts[1]:.3f} s, "
                  f"Arrow and Parquet {parts[2]:.3f} s")
            busiest = [sum(t.call + t.convert + t.write for t in ts) for ts in timings]
            shard_times = ", ".join(f"{t.call + t.convert + t.write:.2f}" for t in timings[-1])
            print(f"  per shard (call + lists to arrays + Parquet, last round): {shard_times} s "
                  f"(the shards' total {statistics.median(busiest):.3f} s)")
            for address in sorted(peaks):
                print(f"    worker peak        {peaks[address] / 2**20:7.0f} MiB ({peaks[address] / single_peak:.2f}x; "
                      f"{baseline[address] / 2**20:.0f} MiB before the first run)")
            print(f"  last round, where the wall time went:")
            breakdown(run, *marks)
            print(f"  load average {os.getloadavg()[0]:.2f} after the runs")
            listed = sum(t.listed for t in run.timings)
            kept = sum(t.rows for t in run.timings)
            shared_edges = sum(plan.edges) / graph.edge_count - 1
            print(f"  shards {run.shards}: the calls listed {listed:,} rows for {kept:,} kept "
                  f"({listed / max(kept, 1) - 1:.1%} more); overhead {plan.overhead:.1%} of the estimated work, "
                  f"{shared_nodes:.1%} of the nodes and {shared_edges:.1%} of the edges held more than once")


if __name__ == "__main__":
    main()
