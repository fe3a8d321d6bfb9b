"""The interop helpers of examples/interop.py: every source gives the same
lists, in the forms vexa expects, and vexa agrees with networkx.  The example
scripts, run as a user runs them, print what is true."""

import random
import subprocess
import sys
from pathlib import Path

import networkx as nx
import numpy as np
import pytest
import scipy.sparse

import vexa

EXAMPLES = Path(__file__).resolve().parents[1] / "examples"
sys.path.insert(0, str(EXAMPLES))
import interop  # noqa: E402


def noisy_edges(n, p, seed):
    """G(n, p) edges in random direction, with repeats and self-loops mixed in."""
    rng = random.Random(seed)
    edges = [(u, v) if rng.random() < 0.5 else (v, u) for u in range(n) for v in range(u + 1, n) if rng.random() < p]
    edges += edges[: len(edges) // 3] + [(v, v) for v in range(0, n, 3)]
    rng.shuffle(edges)
    return edges


def reference(edges, n):
    """Upper form and full symmetric lists, straight from the definitions."""
    pairs = {(min(u, v), max(u, v)) for u, v in edges if u != v}
    adj = [sorted({w for e in pairs for w in e if v in e and w != v}) for v in range(n)]
    return [[w for w in a if w > v] for v, a in enumerate(adj)], adj


GRAPHS = [
    ([], 0),
    ([], 3),  # isolated nodes only
    ([(0, 1), (1, 0), (1, 1), (2, 1)], 4),  # a repeat, a self-loop, node 3 isolated
    (noisy_edges(9, 0.5, 1), 9),
    (noisy_edges(30, 0.2, 2), 32),
]


@pytest.mark.parametrize("edges, n", GRAPHS)
def test_every_source_gives_the_same_lists(edges, n):
    expected = reference(edges, n)
    assert interop.lists_from_edges(edges, n) == expected
    assert interop.lists_from_edge_array(np.array(edges, dtype=np.int32).reshape(-1, 2), n) == expected

    rows, cols = (np.array(c, dtype=np.int64) for c in zip(*edges)) if edges else (np.zeros(0, int),) * 2
    values = np.ones(len(edges))
    coo = scipy.sparse.coo_array((values, (rows, cols)), shape=(n, n))
    assert interop.lists_from_scipy(coo.tocsr()) == expected
    assert interop.lists_from_scipy(scipy.sparse.csc_matrix(coo)) == expected

    g = nx.Graph()
    g.add_nodes_from(range(n))
    g.add_edges_from(edges)
    nbrs, adj, labels = interop.lists_from_networkx(g)
    assert labels == list(range(n)) and (nbrs, adj) == expected


@pytest.mark.parametrize("edges", [[(0, 1), (4, 4)], [(3, 1)], [(2, 2)]])
def test_node_count_follows_the_largest_number(edges):
    # A self-loop still makes its node exist.
    n = 1 + max(max(e) for e in edges)
    assert interop.lists_from_edges(edges) == interop.lists_from_edge_array(edges) == reference(edges, n)


def test_networkx_labels_map_to_numbers():
    g = nx.Graph([("b", "a"), ("a", "c"), ("c", "c")])
    g.add_node("lonely")
    nbrs, adj, labels = interop.lists_from_networkx(g)
    assert labels == ["b", "a", "c", "lonely"]
    assert adj == [[1], [0, 2], [1], []] and nbrs == [[1], [2], [], []]


def test_stored_zeros_and_one_way_entries_in_a_sparse_matrix():
    m = scipy.sparse.csr_array((np.array([0.0, 2.5, -1.0]), (np.array([0, 0, 2]), np.array([1, 2, 2]))), shape=(3, 3))
    assert m.nnz == 3  # the explicit zero at (0, 1) is stored
    assert interop.lists_from_scipy(m) == ([[2], [], []], [[2], [], [0]])


@pytest.mark.parametrize("bad", [[(0, -1)], [(-2, 3)]])
def test_negative_node_numbers_are_refused(bad):
    with pytest.raises(ValueError, match="non-negative"):
        interop.lists_from_edges(bad)
    with pytest.raises(ValueError, match="non-negative"):
        interop.lists_from_edge_array(np.array(bad))


def test_symmetric_lists_feed_edgeonly_like_networkx():
    g = nx.gnp_random_graph(25, 0.3, seed=3)
    _, adj, _ = interop.lists_from_networkx(g)
    cliques, weights = vexa.enumerate_cliques_with_weights_edgeonly(adj)
    assert {frozenset(c) for c in cliques} == {frozenset([v]) for v in g} | {frozenset(e) for e in g.edges}
    assert weights[: len(g)] == [1 - g.degree(v) for v in g]


@pytest.mark.parametrize(
    "graph",
    [
        nx.karate_club_graph(),
        nx.gnp_random_graph(30, 0.35, seed=5),
        nx.relabel_nodes(nx.complete_graph(6), {i: f"n{i}" for i in range(6)}),
        nx.Graph([(0, 1), (1, 2), (2, 0), (2, 3)]),
    ],
    ids=["karate", "gnp", "labelled-K6", "triangle-with-tail"],
)
def test_same_cliques_as_networkx(graph):
    assert interop.same_cliques_as_networkx(graph)


def test_drawing_writes_a_png(tmp_path):
    pytest.importorskip("matplotlib")
    import draw_weights

    draw_weights.main(["draw_weights.py", str(tmp_path / "w.png")])
    data = (tmp_path / "w.png").read_bytes()
    assert data.startswith(b"\x89PNG\r\n\x1a\n") and len(data) > 10_000


def run_example(*args):
    done = subprocess.run(
        [sys.executable, str(EXAMPLES / args[0]), *args[1:]], capture_output=True, text=True, timeout=120
    )
    assert done.returncode == 0, done.stderr
    return done.stdout.splitlines()


def test_interop_script_reports_the_karate_club_truthfully():
    g = nx.karate_club_graph()
    lines = run_example("interop.py")
    assert lines == [
        f"karate club: {g.number_of_nodes()} nodes, {g.number_of_edges()} edges",
        f"largest clique: {max(map(len, nx.find_cliques(g)))}",
        "same cliques as networkx: True",
    ]


def test_batch_script_finds_the_pool_agrees_with_the_serial_run():
    (line,) = run_example("batch.py")
    count, verdict = line.split(" graphs, process pool gives the serial results: ")
    assert int(count) > 0 and verdict == "True"
