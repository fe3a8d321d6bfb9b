"""maxclique_decompose_with_weights against the bounded cliques of the same graph.

With maxrank k >= 1 the family of the decomposition is every clique of at most
k nodes, weighted by the same rule as enumerate_cliques_with_weights on the
upper form; the decomposition is its non-zero part, largest size first.  The
module picks one of two engines by a cost estimate, so the graphs below are
chosen to send it down each of them: sparse graphs and small k to the walk,
graphs made of large overlapping cliques with a large k to the maximal search.
"""

import itertools
import random

import pytest

import vexa


def simple_graph(adj):
    """The edges as the decomposition reads adj: no self-loops, no entry >= n,
    an edge wherever either end lists the other."""
    n = len(adj)
    edges = set()
    for v, lst in enumerate(adj):
        for u in lst:
            if u < n and u != v:
                edges.add((min(u, v), max(u, v)))
    return n, edges


def upper_lists(n, edges):
    up = [[] for _ in range(n)]
    for a, b in sorted(edges):
        up[a].append(b)
    return up


def expected(adj, k):
    """The decomposition through the bounded route, for k >= 2."""
    n, edges = simple_graph(adj)
    cliques, weights = vexa.enumerate_cliques_with_weights(upper_lists(n, edges), k)
    rows = [(c, w) for c, w in zip(cliques, weights) if w != 0]
    rows.sort(key=lambda r: (-len(r[0]), r[0]))
    return [c for c, _ in rows], [w for _, w in rows]


def random_adj(rng, n, p):
    adj = [[] for _ in range(n)]
    for a, b in itertools.combinations(range(n), 2):
        if rng.random() < p:
            adj[a].append(b)
            adj[b].append(a)
    return adj


def untidy(rng, adj):
    """The same graph with self-loops, repeats, out-of-range entries and
    edges listed in one direction only."""
    n = len(adj)
    out = [list(lst) for lst in adj]
    for v in range(n):
        for u in adj[v]:
            if u > v and rng.random() < 0.3:
                a, b = (v, u) if rng.random() < 0.5 else (u, v)
                out[a].remove(b)
        if rng.random() < 0.2:
            out[v].append(v)
        if out[v] and rng.random() < 0.2:
            out[v].append(out[v][0])
        if rng.random() < 0.1:
            out[v].append(n + rng.randrange(3))
        rng.shuffle(out[v])
    return out


def overlapping_cliques(rng, n, count, size):
    edges = set()
    for _ in range(count):
        members = rng.sample(range(n), size)
        edges.update((min(a, b), max(a, b)) for a, b in itertools.combinations(members, 2))
    adj = [[] for _ in range(n)]
    for a, b in sorted(edges):
        adj[a].append(b)
        adj[b].append(a)
    return adj


def clique_number(adj):
    n, edges = simple_graph(adj)
    cliques, _ = vexa.maxclique_decompose_with_weights(adj, n + 1) if n else ([], [])
    return max((len(c) for c in cliques), default=0)


GRAPHS = [
    ("sparse", lambda rng: random_adj(rng, 60, 0.08)),
    ("medium", lambda rng: random_adj(rng, 30, 0.35)),
    ("dense", lambda rng: random_adj(rng, 18, 0.75)),
    ("overlapping cliques of 12", lambda rng: overlapping_cliques(rng, 40, 3, 12)),
    ("many small cliques", lambda rng: overlapping_cliques(rng, 80, 30, 6)),
    # Many cliques per maximal clique but hundreds of maximal cliques around
    # every node: the module runs the search, prices the maximal route and
    # then walks after all.
    ("dense, priced after the search", lambda rng: random_adj(rng, 38, 0.75)),
]


@pytest.mark.parametrize("name, make", GRAPHS, ids=[g[0] for g in GRAPHS])
def test_every_maxrank_matches_the_bounded_route(name, make):
    rng = random.Random(name)
    adj = make(rng)
    top = clique_number(adj)
    for k in list(range(2, top + 3)) + [64]:
        assert vexa.maxclique_decompose_with_weights(adj, k) == expected(adj, k), k


@pytest.mark.parametrize("seed", range(6))
def test_untidy_lists_read_as_the_simple_graph(seed):
    rng = random.Random(seed)
    adj = random_adj(rng, 25, 0.3) if seed % 2 else overlapping_cliques(rng, 25, 3, 9)
    messy = untidy(rng, adj)
    n, edges = simple_graph(messy)
    clean = [[] for _ in range(n)]
    for a, b in edges:
        clean[a].append(b)
        clean[b].append(a)
    for k in range(0, clique_number(clean) + 2):
        got = vexa.maxclique_decompose_with_weights(messy, k)
        assert got == vexa.maxclique_decompose_with_weights(clean, k), k
        if k >= 2:
            assert got == expected(clean, k), k


@pytest.mark.parametrize("adj", [[], [[]], [[0]], [[], []], [[0], [7, 1]], [[1], []]],
                         ids=["empty", "one", "self-loop", "two", "loop+range", "one-way"])
def test_maxrank_zero_and_one(adj):
    n = len(adj)
    assert vexa.maxclique_decompose_with_weights(adj, 0) == (([[]], [1]) if n else ([], []))
    assert vexa.maxclique_decompose_with_weights(adj, 1) == ([[v] for v in range(n)], [1] * n)


def test_weights_sum_to_one_over_every_family_member():
    rng = random.Random(5)
    adj = overlapping_cliques(rng, 30, 5, 8)
    for k in (3, 5, 64):
        cliques, weights = vexa.maxclique_decompose_with_weights(adj, k)
        sets = [frozenset(c) for c in cliques]
        for s in set(sets):
            assert sum(w for t, w in zip(sets, weights) if s <= t) == 1


def spoilt(rng, adj, spoil):
    """Tidy symmetric lists spoilt in one place, the way the one-pass check
    of the conversion must notice."""
    n = len(adj)
    out = [list(lst) for lst in adj]
    def fits(x):  # neighbours and non-neighbours on both sides of x
        sides = [(w < x, w in out[x]) for w in range(n) if w != x]
        return len(set(sides)) == 4
    v = next(x for x in range(n // 2, n) if fits(x))
    lst = out[v]
    free = next((w for w in range(n) if w != v and w not in lst), None)
    if spoil == "one-way lower":
        u = next(u for u in lst if u < v)
        out[u].remove(v)
    elif spoil == "one-way upper":
        u = next(u for u in lst if u > v)
        out[u].remove(v)
    elif spoil in ("extra lower", "extra upper"):
        w = next(w for w in range(n) if w != v and w not in lst and (w < v) == (spoil == "extra lower"))
        lst.append(w)
        lst.sort()
    elif spoil == "moved":
        lst[rng.randrange(len(lst))] = free
        lst.sort()
    elif spoil == "repeat":
        i = rng.randrange(len(lst))
        lst.insert(i, lst[i])
    elif spoil == "loop":
        lst.append(v)
        lst.sort()
    elif spoil == "beyond n":
        lst.append(n + 2)
    elif spoil == "beyond n, last list":
        out[-1].append(n)
    elif spoil == "swapped":
        lst[0], lst[1] = lst[1], lst[0]
    return out


SPOILS = ["none", "one-way lower", "one-way upper", "extra lower", "extra upper", "moved", "repeat",
          "loop", "beyond n", "beyond n, last list", "swapped"]


def contained(adj, container):
    if container == "tuples":
        return tuple(tuple(lst) for lst in adj)
    if container == "mixed":
        # Ranges and arrays do not tell the conversion their entries in
        # advance, so its buffers must grow past what it reserved.
        np = pytest.importorskip("numpy")
        return [np.array(lst, dtype=np.int64) if i % 3 == 0 else
                range(lst[0], lst[0] + 1) if len(lst) == 1 else tuple(lst) if i % 3 == 1 else lst
                for i, lst in enumerate(adj)]
    return adj


@pytest.mark.parametrize("container", ["lists", "tuples", "mixed"])
@pytest.mark.parametrize("spoil", SPOILS)
def test_lists_spoilt_in_one_place_read_as_their_graph(spoil, container):
    rng = random.Random(spoil + container)
    adj = spoilt(rng, random_adj(rng, 30, 0.3), spoil)
    given = contained(adj, container)
    for k in (2, 3, 4, 64):
        assert vexa.maxclique_decompose_with_weights(given, k) == expected(adj, k), k
