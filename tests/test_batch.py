"""Batch scale-out: the functions travel to other processes by reference and
give the same results there as in a serial run."""

import multiprocessing
import pickle
import sys
from pathlib import Path

import pytest

import vexa

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "examples"))
import batch  # noqa: E402

# The test process runs threads (numpy's, Dask's): its pools start their
# workers from a fork server where there is one, not by forking it.
POOL_CONTEXT = multiprocessing.get_context(
    "forkserver" if "forkserver" in multiprocessing.get_all_start_methods() else None
)

GRAPHS = batch.random_graphs(24, 12, 0.45, seed=7) + [[], [[]], [[1, 2], [2], []]]
SYMMETRIC = [batch.upper_to_symmetric(g) for g in GRAPHS]

# (function, graphs in the form it takes, extra arguments, comparable form)
CASES = {
    "enumerate_cliques_with_weights": (GRAPHS, (3,), lambda r: r),
    "enumerate_cliques_with_weights_noprune": (GRAPHS, (0,), lambda r: r),
    # The graph without nodes has no maximal clique to start from: left out.
    "maxclique_decompose_with_weights": ([a for a in SYMMETRIC if a], (3,), batch.canonical),
    "enumerate_cliques_with_weights_edgeonly": (SYMMETRIC, (), lambda r: r),
}


@pytest.mark.parametrize("name", vexa.__all__)
def test_functions_pickle_by_reference(name):
    function = getattr(vexa, name)
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        data = pickle.dumps(function, protocol)
        assert pickle.loads(data) is function
        assert name.encode() in data and len(data) < 100  # a name, not code
    cloudpickle = pytest.importorskip("cloudpickle")  # what Dask sends with
    assert cloudpickle.loads(cloudpickle.dumps(function)) is function


@pytest.mark.parametrize("name", vexa.__all__)
def test_process_pool_matches_serial(name):
    function = getattr(vexa, name)
    graphs, args, form = CASES[name]
    serial = batch.map_serial(function, graphs, *args)
    parallel = batch.map_processes(function, graphs, *args, workers=2, context=POOL_CONTEXT)
    assert len(parallel) == len(graphs)
    assert [form(r) for r in parallel] == [form(r) for r in serial]


@pytest.fixture(scope="module")
def dask_client():
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(
        n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None
    ) as cluster, distributed.Client(cluster) as client:
        yield client


@pytest.mark.parametrize("name", vexa.__all__)
def test_dask_cluster_matches_serial(name, dask_client):
    function = getattr(vexa, name)
    graphs, args, form = CASES[name]
    serial = batch.map_serial(function, graphs, *args)
    distributed_results = batch.map_dask(dask_client, function, graphs, *args)
    assert [form(r) for r in distributed_results] == [form(r) for r in serial]


def test_canonical_orders_within_size_groups():
    shuffled = ([[2], [0, 1], [1, 2], [0]], [-1, 1, 1, 5])
    assert batch.canonical(shuffled) == [([0, 1], 1), ([1, 2], 1), ([0], 5), ([2], -1)]
