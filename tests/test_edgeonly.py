"""enumerate_cliques_with_weights_edgeonly end to end."""

import random

import pytest

import vexa
from models import edgeonly as reference

eo = vexa.enumerate_cliques_with_weights_edgeonly


@pytest.mark.parametrize(
    "adj, cliques, weights",
    [
        ([], [], []),
        ([[]], [[0]], [1]),
        ([[1, 2], [0, 2], [0, 1]], [[0], [1], [2], [0, 1], [0, 2], [1, 2]], [-1, -1, -1, 1, 1, 1]),
        ([[1], [0, 2], [1]], [[0], [1], [2], [0, 1], [1, 2]], [0, -1, 0, 1, 1]),
        ([[1, 3], [0, 2], [1, 3], [0, 2]], [[0], [1], [2], [3], [0, 1], [0, 3], [1, 2], [2, 3]], [-1] * 4 + [1] * 4),
        (
            [[1, 2, 3], [0, 2, 3], [0, 1, 3], [0, 1, 2]],
            [[0], [1], [2], [3], [0, 1], [0, 2], [0, 3], [1, 2], [1, 3], [2, 3]],
            [-2] * 4 + [1] * 6,
        ),
        # list order decides edge order
        ([[2, 1], [0], [0]], [[0], [1], [2], [0, 2], [0, 1]], [-1, 0, 0, 1, 1]),
        # repeats, self-loops, asymmetric lists, entries beyond the last list
        ([[1, 1], [0]], [[0], [1], [0, 1], [0, 1]], [-1, 0, 1, 1]),
        ([[0, 1], [0]], [[0], [1], [0, 1]], [-1, 0, 1]),
        ([[], [0]], [[0], [1]], [1, 0]),
        ([[1], []], [[0], [1], [0, 1]], [0, 1, 1]),
        ([[5]], [[0], [0, 5]], [0, 1]),
        # upper form: node weights count only their own list
        ([[1, 2], [2], []], [[0], [1], [2], [0, 1], [0, 2], [1, 2]], [-1, 0, 1, 1, 1, 1]),
    ],
)
def test_edge_cases(adj, cliques, weights):
    result = eo(adj)
    assert type(result) is tuple and len(result) == 2
    assert result == (cliques, weights)
    assert all(type(c) is list for c in result[0]) and type(result[1]) is list


def random_lists(rng, n, entries, limit):
    return [[rng.randrange(limit) for _ in range(rng.randrange(entries))] for _ in range(n)]


@pytest.mark.parametrize("seed", range(20))
def test_matches_reference_on_arbitrary_lists(seed):
    rng = random.Random(seed)
    n = rng.randrange(0, 30)
    adj = random_lists(rng, n, 8, n + 3 if n else 3)
    assert eo(adj) == reference(adj)


@pytest.mark.parametrize("seed", range(10))
def test_weights_sum_to_one_on_symmetric_lists(seed):
    rng = random.Random(seed)
    n = rng.randrange(1, 40)
    p = rng.random()
    edges = {(u, v) for u in range(n) for v in range(u + 1, n) if rng.random() < p}
    adj = [[] for _ in range(n)]
    for u, v in edges:
        adj[u].append(v)
        adj[v].append(u)
    for a in adj:
        rng.shuffle(a)
    cliques, weights = eo(adj)
    assert sum(weights) == n - len(edges)
    for v in range(n):
        assert sum(w for c, w in zip(cliques, weights) if v in c) == 1


def test_long_list():
    adj = [list(range(1, 5001))] + [[] for _ in range(5000)]
    cliques, weights = eo(adj)
    assert weights[0] == 1 - 5000
    assert len(cliques) == 5001 + 5000
