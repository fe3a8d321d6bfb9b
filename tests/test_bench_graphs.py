"""The benchmark graph generators: edge lists, list forms, peer graphs."""

import numpy as np
import pytest

import models
from bench import graphs

SMALL = [
    pytest.param(lambda s: graphs.random_geometric_3d(400, 10, seed=s), id="rgg3d"),
    pytest.param(lambda s: graphs.erdos_renyi(150, 0.1, seed=s), id="gnp"),
    pytest.param(lambda s: graphs.barabasi_albert(300, 3, seed=s), id="ba"),
    pytest.param(lambda s: graphs.complete_graph(9), id="complete"),
]


@pytest.mark.parametrize("make", SMALL)
def test_edges_are_normalized_and_deterministic(make):
    g = make(7)
    e = g.edges
    assert e.dtype == np.int64 and e.ndim == 2 and e.shape[1] == 2
    assert (e[:, 0] < e[:, 1]).all() and e.min() >= 0 and e.max() < g.n
    keys = e[:, 0] * g.n + e[:, 1]
    assert (np.diff(keys) > 0).all(), "pairs must be sorted and distinct"
    assert np.array_equal(make(7).edges, e)


@pytest.mark.parametrize("make", SMALL[:3])
def test_seed_changes_the_graph(make):
    assert not np.array_equal(make(1).edges, make(2).edges)


@pytest.mark.parametrize("make", SMALL)
def test_list_forms_agree_with_each_other_and_the_peers(make):
    pytest.importorskip("networkx")
    g = make(3)
    upper, full = g.upper(), g.full()
    assert len(upper) == len(full) == g.n
    # The array builders give what the plain models give, and the full lists
    # are the upper lists mirrored.
    assert upper == models.upper_lists(g.n, g.edges.tolist())
    assert full == models.full_lists(g.n, [(v, u) for v, lst in enumerate(upper) for u in lst])
    ref = g.networkx()
    assert ref.number_of_nodes() == g.n and ref.number_of_edges() == g.edge_count
    assert full == [sorted(ref.adj[v]) for v in range(g.n)]


@pytest.mark.parametrize("make", SMALL)
def test_igraph_graph_has_the_same_edges(make):
    pytest.importorskip("igraph")
    g = make(3)
    ig = g.igraph()
    assert ig.vcount() == g.n
    assert sorted(tuple(sorted(p)) for p in ig.get_edgelist()) == [tuple(p) for p in g.edges.tolist()]
    assert g.full() == [sorted(ig.neighbors(v)) for v in range(g.n)]


def test_sizes_and_average_degrees():
    rgg = graphs.random_geometric_3d(6000, 16, seed=0)
    assert rgg.average_degree == pytest.approx(16, rel=0.05)
    n, p = 1000, 0.05
    gnp = graphs.erdos_renyi(n, p, seed=0)
    expected = p * n * (n - 1) / 2
    assert abs(gnp.edge_count - expected) < 5 * np.sqrt(expected)
    ba = graphs.barabasi_albert(2000, 4, seed=0)
    assert ba.edge_count == 4 + (2000 - 5) * 4
    assert graphs.complete_graph(18).edge_count == 153
    assert graphs.erdos_renyi(50, 0.0).edge_count == 0
    assert graphs.erdos_renyi(50, 1.0).edge_count == 50 * 49 // 2


def test_rgg_joins_exactly_the_close_pairs(monkeypatch):
    g = graphs.random_geometric_3d(300, 8, seed=5)
    pts = np.random.default_rng(5).random((300, 3))
    r = graphs.rgg_radius(300, 8)
    d2 = ((pts[:, None, :] - pts[None, :, :]) ** 2).sum(-1)
    i, j = np.nonzero(np.triu(d2 <= r * r, k=1))
    assert g.edges.tolist() == np.stack([i, j], axis=1).tolist()
    # The fallback search without scipy finds the same graph.
    monkeypatch.setattr(graphs, "cKDTree", None)
    assert np.array_equal(graphs.random_geometric_3d(300, 8, seed=5).edges, g.edges)


def test_converters_take_any_edge_list():
    raw = np.array([[3, 1], [1, 3], [0, 2], [2, 2], [1, 0]])
    e = graphs.normalize_edges(raw)
    assert e.tolist() == [[0, 1], [0, 2], [1, 3]]
    assert graphs.upper_lists(5, e) == [[1, 2], [3], [], [], []]
    assert graphs.full_lists(5, e) == [[1, 2], [0, 3], [0], [1], []]
    assert graphs.upper_lists(0, graphs.normalize_edges(np.empty((0, 2)))) == []
