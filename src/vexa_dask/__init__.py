"""One graph on a Dask cluster: the exact result of a vexa call, in shards.

    import vexa_dask
    result = vexa_dask.decompose(graph, 64)              # nothing runs yet
    cliques, weights = result.compute()                  # the single call's tuple
    result.to_parquet("out/")                            # or one file per shard

`graph` is a networkx graph, a scipy sparse adjacency matrix, a dense numpy
adjacency matrix or (m, 2) edge array, an ``(n, edges)`` pair, or full
neighbour lists (see :mod:`vexa_dask.graphs`).  ``decompose`` gives what
``vexa.maxclique_decompose_with_weights`` gives on the full symmetric lists
of that graph, ``cliques_with_weights`` what
``vexa.enumerate_cliques_with_weights`` gives on its upper-form lists: the
same cliques, weights and order.

Without a `client`, a LocalCluster with one single-threaded worker process
per core of this machine is started for the run and closed after it.  Dask
is needed only for the runs: ``pip install ".[dask]"`` from the source tree.
"""

from __future__ import annotations

import operator
import os
import re
import time
from collections.abc import Iterator
from contextlib import contextmanager
from dataclasses import dataclass, field
from functools import cached_property
from typing import TYPE_CHECKING, Any

import vexa

from . import heap
from . import shards as _shards
from .graphs import Csr, csr, neighbour_lists

if TYPE_CHECKING:
    from distributed import Client, LocalCluster

__all__ = [
    "WORKER_CONFIG",
    "WORKER_ENVIRONMENT",
    "Clock",
    "ShardedResult",
    "cliques_with_weights",
    "decompose",
    "local_cluster",
    "neighbour_lists",
]

# Settings vexa_dask's own worker processes start with, on top of Dask's.
# numpy's transparent-huge-page hint for arrays past 4 MiB makes a first
# touch wait until the kernel has a 2 MiB page ready, which on a machine
# with fragmented memory is slow: reading one geo3d shard's 3 million result
# lists into whole-shard arrays took 2.9 s with the hint and 0.64 s without.
# Arrow's allocator (mimalloc) gives its whole arena the same hint, so the
# Parquet writer's buffers wait for the kernel in the same way: on geo3d
# decomposition shards, 0.13-0.23 s of system time per file written with
# the hint on average (up to 0.39 s) against 0.01 s without (0.06 s of
# user time either way).
# (Dask's own MALLOC_TRIM_THRESHOLD_ stays: it keeps the workers' memory
# low between shards; see vexa_dask.heap for the call and conversion.)
WORKER_ENVIRONMENT: dict[str, str] = {"NUMPY_MADVISE_HUGEPAGE": "0", "MIMALLOC_ALLOW_THP": "0"}

# Dask settings vexa_dask's own cluster starts with.  Dask's statistical
# profiler wakes every 10 ms in each worker to sample the running task's
# stack, and takes the interpreter lock from it each time: on a two-worker
# run of pure-Python tasks that was 4 % more processor time, for a profile
# of a single call nobody reads.
# Every Dask server (the scheduler in the client's process, each worker)
# also wakes every 20 ms to see whether its event loop was blocked, and
# every 0.5 s to sample its process's processor and memory use for the
# dashboard; each wake takes the interpreter lock from a running shard.
# Once a second and every 2 s: on geo3d decomposition runs, 0.035 s less
# processor time in the workers outside their shards and 0.07 s less in
# the client (of 0.10-0.13 s and 0.43-0.51 s).  The memory limits are
# watched on their own interval, which stays.
WORKER_CONFIG: dict[str, object] = {
    "distributed.worker.profile.enabled": False,
    "distributed.admin.tick.interval": "1s",
    "distributed.admin.system-monitor.interval": "2s",
}

_PART_NAME = "part-{:05d}.parquet"
_PART_PATTERN = re.compile(r"part-\d{5}\.parquet$")
# Files of shards that were being written when their worker died (the
# undotted form is what earlier versions wrote).
_PARTIAL_PATTERN = re.compile(r"\.?part-\d{5}\.parquet\.\d+\.partial$")


def decompose(graph: object, maxrank: int, *, client: Client | None = None, shards: int | None = None) -> ShardedResult:
    """``vexa.maxclique_decompose_with_weights`` on `graph`, in shards."""
    vexa.maxclique_decompose_with_weights([], maxrank)  # the single call's checks and messages
    with heap.small_pages():
        g = csr(graph)
    return ShardedResult("decompose", g, operator.index(maxrank), client, shards)


def cliques_with_weights(
    graph: object, maxrank: int, *, client: Client | None = None, shards: int | None = None
) -> ShardedResult:
    """``vexa.enumerate_cliques_with_weights`` on `graph` in upper form, in shards."""
    vexa.enumerate_cliques_with_weights([], maxrank)
    with heap.small_pages():
        g = csr(graph)
    return ShardedResult("cliques", g, operator.index(maxrank), client, shards)


def local_cluster(n_workers: int | None = None, **kwargs: Any) -> LocalCluster:
    """A LocalCluster of `n_workers` single-threaded worker processes (one
    per core by default) started the way vexa_dask starts its own: with
    :data:`WORKER_ENVIRONMENT`.  Other keyword arguments go to LocalCluster."""
    import dask
    from distributed import LocalCluster

    key = "distributed.nanny.pre-spawn-environ"
    environment = dict(dask.config.get(key, default={}))
    environment.update(WORKER_ENVIRONMENT)
    # Dask writes the workers' settings into the client's own environment
    # before it starts one: put the client's values back afterwards.
    saved = {k: os.environ.get(k) for k in environment}
    options: dict[str, Any] = {"dashboard_address": None, **kwargs}
    if options["dashboard_address"] is None:
        # Without a dashboard the scheduler still serves HTTP (health and
        # metrics), on the dashboard's port 8787 unless told another: with a
        # second cluster on the machine that port is taken, and Dask warns
        # and picks another.  Any free port, from the start.
        options["scheduler_kwargs"] = {"dashboard_address": ":0", **(options.get("scheduler_kwargs") or {})}
    try:
        with dask.config.set({key: environment, **WORKER_CONFIG}):
            return LocalCluster(
                n_workers=_local_workers() if n_workers is None else n_workers,
                threads_per_worker=1,
                processes=True,
                **options,
            )
    finally:
        for k, v in saved.items():
            if v is None:
                os.environ.pop(k, None)
            else:
                os.environ[k] = v


def _local_workers() -> int:
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:  # not on every platform
        return os.cpu_count() or 1


@dataclass
class Clock:
    """The client's side of a run, on the wall clock (``time.time()``)."""

    started: float  # the run began (the cluster, if any, was up)
    planned: float = 0.0  # the shards were chosen
    cut: list[float] = field(default_factory=list)  # per shard, seconds cutting its subgraph
    submitted: list[float] = field(default_factory=list)  # per shard, when it was handed to Dask
    gathered: float = 0.0  # the last shard's result was in
    # The client's processor seconds from the start until the first shard
    # was handed over (choosing the shards, cutting the first subgraph).
    first_cpu: float = 0.0


def _release_heaps(client: Client) -> None:
    """Has every worker hand back the heap its shards kept (see
    vexa_dask.heap), as a task that runs once the worker is free: after a
    cancelled run a shard may still be running, and the call holds the
    worker's interpreter lock.  The client does not wait for it; the tasks
    run even if the client goes away.  A worker that is gone meanwhile
    leaves its task to another one, where it does no harm.  This is done on
    a best-effort basis: a scheduler that cannot be reached must not hide
    the run's result or its error."""
    from distributed import fire_and_forget

    try:
        for address in client.nthreads():
            fire_and_forget(client.submit(heap.release, workers=[address], allow_other_workers=True, pure=False))
    except Exception:
        pass


def _remove_partials(directory: str) -> None:
    for f in os.listdir(directory):
        if _PARTIAL_PATTERN.match(f):
            try:
                os.remove(os.path.join(directory, f))
            except FileNotFoundError:  # gone already
                pass


class ShardedResult:
    """A run that has not started: `.compute()` or `.to_parquet(path)` starts it."""

    def __init__(self, kind: _shards.Kind, graph: Csr, maxrank: int, client: Client | None, shards: int | None):
        if shards is not None and operator.index(shards) < 1:
            raise ValueError(f"shards must be at least 1, got {shards}")
        if client is not None:
            workers = sum(client.nthreads().values()) or 1
        else:
            workers = _local_workers()
        if shards is None:
            work = float(_shards.node_work(graph).sum())
            shards = max(1, min(workers * _shards.SHARDS_PER_WORKER, int(work // _shards.MIN_SHARD_WORK)))
        self.kind = kind
        self.graph = graph
        self.maxrank = maxrank
        self.client = client
        self.workers = workers
        self._shard_count = operator.index(shards)
        # After a run: per shard, where its time in the worker went, and the
        # client's side of the run.
        self.timings: list[_shards.Timing] = []
        self.clock: Clock | None = None

    @cached_property
    def plan(self) -> _shards.Plan:
        """The shards: made on first use, or by a run once its workers
        have been told to get ready."""
        with heap.small_pages():
            far_edges = _shards.far_edges_needed(self.kind, self.maxrank)
            return _shards.plan(self.graph, self._shard_count, far_edges=far_edges)

    @property
    def shards(self) -> int:
        return len(self.plan.owned)

    def compute(self) -> tuple[list[list[int]], list[int]]:
        """The result of the single call: the same tuple, in the same order."""
        parts: list[_shards.Part] = self._run(_shards.run, parquet=False)
        self.timings = [p.timing for p in parts]
        with heap.small_pages():
            return _shards.merge(self.kind, parts)

    def to_parquet(self, path: str | os.PathLike[str], *, overwrite: bool = False) -> list[str]:
        """Writes one Parquet file per shard into the directory `path`
        (columns ``clique``, a list of int64, and ``weight``, int64); the
        workers write them, so `path` must be reachable from every worker.
        Each file holds its shard's cliques in the function's order.  A file
        is written under a hidden name and renamed when complete; hidden
        files that workers which died while writing left behind are removed
        before and after the run.  Returns the file names, by shard."""
        directory = os.fspath(path)
        if os.path.isdir(directory):
            stale = [f for f in os.listdir(directory) if _PART_PATTERN.match(f)]
            if stale and not overwrite:
                raise FileExistsError(f"{directory} already holds result files; pass overwrite=True to replace them")
            for f in stale:
                os.remove(os.path.join(directory, f))
            _remove_partials(directory)
        os.makedirs(directory, exist_ok=True)
        self.timings = self._run(_shards.write, parquet=True, extra=lambda i: (directory, _PART_NAME.format(i)))
        # Every shard is written: what a worker that died while writing
        # left behind can go.
        _remove_partials(directory)
        return [os.path.join(directory, _PART_NAME.format(i)) for i in range(self.shards)]

    def _run(self, function: Any, *, parquet: bool, extra: Any = lambda i: ()) -> Any:
        with self._client() as client:
            clock = Clock(time.time())
            cpu = time.process_time()
            futures = []
            try:
                # A fresh worker spends a quarter of a second importing what
                # a shard needs; let it do that while the shards are cut.
                futures += [
                    client.submit(_shards.prepare, parquet, workers=[address], pure=False)
                    for address in client.nthreads()
                ]
                owned = self.plan.owned
                clock.planned = time.time()
                for i, r in enumerate(owned):
                    started = time.perf_counter()
                    with heap.small_pages():
                        task = _shards.subgraph(self.graph, self.kind, i, r, self.maxrank)
                    clock.cut.append(time.perf_counter() - started)
                    futures.append(
                        client.submit(function, self.kind, self.maxrank, task, *extra(i), hold=True, pure=False)
                    )
                    clock.submitted.append(time.time())
                    if i == 0:
                        clock.first_cpu = time.process_time() - cpu
                    del task
                results = client.gather(futures[-self.shards :])
                clock.gathered = time.time()
                self.clock = clock
            except BaseException:
                client.cancel(futures)
                raise
            finally:
                # A run that fails or is interrupted hands back the heap too
                # (the workers of vexa_dask's own cluster end with the run).
                if self.client is not None:
                    _release_heaps(client)
            return results

    @contextmanager
    def _client(self) -> Iterator[Client]:
        if self.client is not None:
            yield self.client
            return
        from distributed import Client

        with local_cluster(self.workers) as cluster, Client(cluster) as client:
            yield client

    def __repr__(self) -> str:
        return (
            f"<ShardedResult {self.kind} maxrank={self.maxrank} n={self.graph.n} shards={self.shards} "
            f"overhead={self.plan.overhead:.1%}>"
        )
