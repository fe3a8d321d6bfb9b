"""maxclique_decompose_with_weights: maximal cliques and their decomposition weights."""

import itertools
import os
import random
import subprocess
import sys

import networkx as nx
import pytest

import vexa

decompose = vexa.maxclique_decompose_with_weights


def random_lists(rng, n, p):
    g = nx.gnp_random_graph(n, p, seed=rng.randrange(2**32))
    return [sorted(g.neighbors(v)) for v in range(n)], g


def geometric_lists(rng, n, radius):
    g = nx.random_geometric_graph(n, radius, dim=3, seed=rng.randrange(2**32))
    return [sorted(g.neighbors(v)) for v in range(n)], g


def canonical(result):
    return sorted((tuple(c), w) for c, w in zip(*result))


def closed_rule(maxcliques, maxrank):
    """Weights of every non-empty sub-clique of the top cliques, literally."""
    tops = set()
    for m in maxcliques:
        m = tuple(sorted(m))
        if len(m) <= maxrank:
            tops.add(m)
        else:
            tops.update(itertools.combinations(m, maxrank))
    family = set()
    for t in tops:
        if not t:
            family.add(t)
        for k in range(1, len(t) + 1):
            family.update(itertools.combinations(t, k))
    weight = {}
    for s in sorted(family, key=len, reverse=True):
        ss = set(s)
        weight[s] = 1 - sum(w for u, w in weight.items() if len(u) > len(s) and ss <= set(u))
    groups = sorted((s for s, w in weight.items() if w), key=lambda s: (-len(s), s))
    return [list(s) for s in groups], [weight[s] for s in groups]


def check_form(result, n=None):
    cliques, weights = result
    assert isinstance(result, tuple) and len(cliques) == len(weights)
    assert all(w != 0 for w in weights)
    keys = [(-len(c), c) for c in cliques]
    assert keys == sorted(keys) and len(set(map(tuple, cliques))) == len(cliques)
    for c in cliques:
        assert all(a < b for a, b in zip(c, c[1:]))
        if n is not None:
            assert all(0 <= v < n for v in c)


@pytest.mark.parametrize(
    "adj, maxrank, expected",
    [
        ([], 3, ([], [])),
        ([], 0, ([], [])),
        ([[]], 1, ([[0]], [1])),
        ([[]], 0, ([[]], [1])),
        ([[1], [0, 2], [1]], 2, ([[0, 1], [1, 2], [1]], [1, 1, -1])),
        ([[1], [0, 2], [1]], 1, ([[0], [1], [2]], [1, 1, 1])),
        ([[1, 2], [0, 2], [0, 1]], 2, ([[0, 1], [0, 2], [1, 2], [0], [1], [2]], [1, 1, 1, -1, -1, -1])),
        ([[1, 2, 3], [0, 2, 3], [0, 1, 3], [0, 1, 2]], 4, ([[0, 1, 2, 3]], [1])),
        ([[1, 2], [0, 2, 3], [0, 1, 3], [1, 2]], 5, ([[0, 1, 2], [1, 2, 3], [1, 2]], [1, 1, -1])),
        ([[1, 2, 3], [0, 2, 3], [0, 1, 3], [0, 1, 2], [5], [4]], 0, ([[]], [1])),
        # A node never counts as its own neighbour.
        ([[0]], 3, ([[0]], [1])),
        ([[0]], 0, ([[]], [1])),
        ([[0, 1, 2], [0, 2], [0, 1]], 3, ([[0, 1, 2]], [1])),
        ([[1], [0, 1, 2], [1]], 3, ([[0, 1], [1, 2], [1]], [1, 1, -1])),
        # Repeats and numbers beyond the last list change nothing.
        ([[1, 7], [0, 9], []], 2, ([[0, 1], [2]], [1, 1])),
        ([[1, 1, 2], [0, 2, 2], [0, 1, 2**64 - 1]], 3, ([[0, 1, 2]], [1])),
        ([[1], []], 2, ([[0, 1]], [1])),
    ],
)
def test_small_graphs(adj, maxrank, expected):
    assert decompose(adj, maxrank) == expected


def test_cutoff_lists_keep_their_cliques():
    # Lists built from a distance cutoff name every node as its own neighbour.
    rng = random.Random(5)
    adj, g = geometric_lists(rng, 120, 0.25)
    looped = [sorted(set(a) | {v}) for v, a in enumerate(adj)]
    assert decompose(looped, 64) == decompose(adj, 64)
    assert decompose(looped, 3) == decompose(adj, 3)


def maximal_from_result(result):
    cliques = [frozenset(c) for c in result[0]]
    return {c for c in cliques if not any(c < d for d in cliques)}


@pytest.mark.parametrize("seed", range(12))
def test_maximal_cliques_match_networkx(seed):
    rng = random.Random(seed)
    n, p = rng.choice([(1, 0.5), (5, 0.5), (30, 0.6), (80, 0.3), (200, 0.1), (300, 0.02)])
    adj, g = random_lists(rng, n, p) if seed % 3 else geometric_lists(rng, n, 0.3)
    result = decompose(adj, 2**64 - 1)
    check_form(result, n)
    # Every maximal clique is a top clique of weight 1, and every other
    # returned clique lies inside one of them.
    assert maximal_from_result(result) == {frozenset(c) for c in nx.find_cliques(g)}
    # With maxrank 1 the result is every node once.
    assert decompose(adj, 1) == ([[v] for v in range(n)], [1] * n)


@pytest.mark.parametrize("seed", range(40))
def test_weights_follow_the_closed_rule(seed):
    rng = random.Random(1000 + seed)
    n = rng.randrange(1, 16)
    adj, g = random_lists(rng, n, rng.uniform(0.2, 0.9))
    maxrank = rng.randrange(0, 7)
    expected = closed_rule(nx.find_cliques(g), maxrank)
    assert decompose(adj, maxrank) == (expected[0], expected[1])


@pytest.mark.parametrize("seed", range(6))
def test_relabelling_does_not_change_the_decomposition(seed):
    rng = random.Random(2000 + seed)
    n = rng.randrange(20, 120)
    adj, _ = random_lists(rng, n, rng.uniform(0.05, 0.4)) if seed % 2 else geometric_lists(rng, n, 0.3)
    perm = list(range(n))
    rng.shuffle(perm)
    relabelled = [None] * n
    for v in range(n):
        nbrs = [perm[w] for w in adj[v]]
        rng.shuffle(nbrs)  # list order must not matter either
        relabelled[perm[v]] = nbrs
    inverse = {perm[v]: v for v in range(n)}
    for maxrank in (1, 2, 3, 64):
        base = decompose(adj, maxrank)
        moved = decompose(relabelled, maxrank)
        back = [sorted(inverse[v] for v in c) for c in moved[0]]
        assert canonical((back, moved[1])) == canonical(base)


@pytest.mark.parametrize("seed", range(6))
def test_subsets_of_top_cliques_are_counted_once(seed):
    rng = random.Random(3000 + seed)
    adj, g = geometric_lists(rng, 150, 0.3) if seed % 2 else random_lists(rng, 60, 0.3)
    for maxrank in (2, 3, 5, 64):
        cliques, weights = decompose(adj, maxrank)
        sets = [frozenset(c) for c in cliques]
        tops = [c for c in nx.find_cliques(g)]
        for top in rng.sample(tops, min(30, len(tops))):
            top = rng.sample(top, min(len(top), maxrank))
            sub = frozenset(rng.sample(top, rng.randrange(1, len(top) + 1)))
            assert sum(w for s, w in zip(sets, weights) if sub <= s) == 1


DETERMINISM_SCRIPT = """
import random, vexa
rng = random.Random(77)
n = 300
adj = [[] for _ in range(n)]
for v in range(n):
    for w in range(v + 1, n):
        if rng.random() < 0.08:
            adj[v].append(w)
            adj[w].append(v)
for v in range(0, n, 7):  # one-way entries, loops and junk
    adj[v] += [rng.randrange(n), v, 10**6]
out = repr([vexa.maxclique_decompose_with_weights(adj, r) for r in (1, 3, 64)])
"""


def test_results_are_the_same_in_every_process():
    ns = {}
    exec(DETERMINISM_SCRIPT, ns)
    env = {**os.environ, "PYTHONPATH": os.pathsep.join(p for p in sys.path if p)}
    for hashseed in ("1", "2"):
        env["PYTHONHASHSEED"] = hashseed
        there = subprocess.run(
            [sys.executable, "-c", DETERMINISM_SCRIPT + "print(out)"],
            capture_output=True, text=True, check=True, env=env,
        ).stdout
        assert there == ns["out"] + "\n"


@pytest.mark.parametrize("seed", range(8))
def test_asymmetric_lists_give_a_stable_well_formed_result(seed):
    rng = random.Random(4000 + seed)
    n = rng.randrange(1, 60)
    adj = [[rng.randrange(n + 3) for _ in range(rng.randrange(0, 12))] for _ in range(n)]
    for maxrank in (0, 1, 2, 4, 64):
        first = decompose(adj, maxrank)
        check_form(first, n)
        assert decompose(adj, maxrank) == first
    # The maximal cliques are those of the graph with an edge wherever either
    # end names the other.
    g = nx.Graph()
    g.add_nodes_from(range(n))
    g.add_edges_from((v, w) for v in range(n) for w in adj[v] if w < n and w != v)
    assert maximal_from_result(decompose(adj, 2**64 - 1)) == {frozenset(c) for c in nx.find_cliques(g)}


def test_large_overlapping_cliques():
    # Two 100-node cliques sharing 70 nodes: the answer is three cliques, and
    # it must come without walking their sub-cliques.
    a, b = set(range(100)), set(range(30, 130))
    adj = [sorted(((a if v in a else set()) | (b if v in b else set())) - {v}) for v in range(130)]
    assert decompose(adj, 100) == ([list(range(100)), list(range(30, 130)), list(range(30, 100))], [1, 1, -1])
