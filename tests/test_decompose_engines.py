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
from hostile_objects import Index


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


class _LyingList:
    """A sequence (not a list) whose __len__ is wrong by `skew`."""

    def __init__(self, items, skew):
        self.items, self.skew = items, skew

    def __len__(self):
        return max(0, len(self.items) + self.skew)

    def __getitem__(self, i):
        return self.items[i]

    def __iter__(self):
        return iter(self.items)


def _break(adj, v, fault):
    """Tidy full lists with one fault put into list v (or its neighbours)."""
    out = [list(lst) for lst in adj]
    n = len(out)
    below = [u for u in out[v] if u < v]
    above = [u for u in out[v] if u > v]
    if fault == "missing reverse entry below":
        out[v].remove(below[0])              # u lists v, v does not list u
    elif fault == "missing reverse entry above":
        out[above[-1]].remove(v)             # v lists w, w does not list v
    elif fault == "repeat below":
        out[v] = below + [below[-1]] + above
    elif fault == "repeat above":
        out[v] = below + above + [above[-1]]
    elif fault == "below out of order":
        out[v] = below[::-1] + above
    elif fault == "above out of order":
        out[v] = below + above[::-1]
    elif fault == "self-loop":
        out[v] = below + [v] + above
    elif fault == "out of range":
        out[v] = below + above + [n + 5]
    elif fault == "one-way edge":
        out[v] = below + above + [u for u in range(v + 1, n) if u not in above][:1]
    return out


FAULTS = ["missing reverse entry below", "missing reverse entry above", "repeat below", "repeat above",
          "below out of order", "above out of order", "self-loop", "out of range", "one-way edge"]


@pytest.mark.parametrize("where", ["first", "middle", "last"])
@pytest.mark.parametrize("fault", FAULTS)
def test_lists_untidy_in_one_place_read_as_the_simple_graph(fault, where):
    """Lists that are tidy up to one fault, met after some or all of the
    lists were read and cut down to their upper parts: the same results as
    the simple graph the lists stand for, on every engine (maxrank 64 takes
    the neighbourhood route on these degrees)."""
    rng = random.Random(f"{fault} {where}")
    adj = random_adj(rng, 120, 0.06)
    for lst in adj:
        lst.sort()
    # The faulty list needs neighbours on both sides (and two below).
    fits = [v for v in range(len(adj)) if len([u for u in adj[v] if u < v]) >= 2
            and any(u > v for u in adj[v]) and len(adj[v]) < len(adj) - v - 1]
    v = {"first": fits[0], "middle": fits[len(fits) // 2], "last": fits[-1]}[where]
    messy = _break(adj, v, fault)
    n, edges = simple_graph(messy)
    full = [[] for _ in range(n)]
    for a, b in sorted(edges):
        full[a].append(b)
        full[b].append(a)
    for lst in full:
        lst.sort()
    for k in [0, 1, 2, 3, 4, 64]:
        got = vexa.maxclique_decompose_with_weights(messy, k)
        assert got == vexa.maxclique_decompose_with_weights(full, k), k
        if k >= 2:
            assert got == expected(full, k), k
        # Tuples, and sequences whose __len__ lies, are read the same way.
        assert vexa.maxclique_decompose_with_weights(tuple(tuple(lst) for lst in messy), k) == got, k
        lying = [_LyingList(lst, skew) for lst, skew in zip(messy, itertools.cycle([-2, 0, 3]))]
        assert vexa.maxclique_decompose_with_weights(lying, k) == got, k


@pytest.mark.parametrize("fault", [None, "repeat", "missing", "out of order", "not an int"])
def test_a_long_list_below_its_node_is_checked_across_polls(fault):
    """The hub of a star, numbered last, lists 1,500 nodes below it: more
    than one poll's worth of items is read and checked before the first
    entry above it.  A fault deep in that run sends the lists the general
    way with the same graph."""
    n = 1501
    hub = n - 1
    adj = [[hub] for _ in range(hub)] + [list(range(hub))]
    adj[3] = [4, hub]            # a triangle 3-4-hub, so that maxrank 3 has work
    adj[4] = [3, hub]
    row = adj[hub]
    if fault == "repeat":
        row.insert(1200, 1199)
    elif fault == "missing":
        adj[1200] = []           # the edge is listed by the hub only
    elif fault == "out of order":
        row[1200], row[1201] = row[1201], row[1200]
    elif fault == "not an int":
        row[1200] = Index(row[1200])
    for k in [2, 3, 64]:
        got = vexa.maxclique_decompose_with_weights(adj, k)
        assert got == expected([[x.__index__() for x in lst] for lst in adj], k), k


@pytest.mark.parametrize("fault", [None, "repeat", "out of order", "own node", "not an int", "large int",
                                   "below after above"])
def test_a_long_list_above_its_node_is_checked_across_polls(fault):
    """The hub of a star, numbered first, lists 1,500 nodes above it: its
    upper part is written and checked across more than one poll's worth of
    items.  A fault deep in that run, after more than a thousand entries
    were accepted, must leave the lists read as the graph they stand for."""
    n = 1501
    adj = [list(range(1, n))] + [[0] for _ in range(1, n)]
    adj[1499] = [0, 1500]        # a triangle 0-1499-1500, so that maxrank 3 has work
    adj[1500] = [0, 1499]
    row = adj[0]
    if fault == "repeat":
        row.append(1500)         # last, so that no later list meets it
    elif fault == "out of order":
        row[1299], row[1300] = row[1300], row[1299]
    elif fault == "own node":
        row.insert(1200, 0)
    elif fault == "not an int":
        row[1300] = Index(row[1300])
    elif fault == "large int":
        row.insert(1200, 2**40)  # beyond every node: no edge
    elif fault == "below after above":
        adj[700] = [701, 0]      # list 700 lists the hub last
        adj[701] = [0, 700]
    plain = [[x.__index__() for x in lst] for lst in adj]
    for k in [2, 3, 64]:
        got = vexa.maxclique_decompose_with_weights(adj, k)
        assert got == expected(plain, k), k


@pytest.mark.parametrize("size", [1023, 1024, 1025])
@pytest.mark.parametrize("hub_last", [True, False])
@pytest.mark.parametrize("fault", [None, "repeat", "out of order", "missing", "not an int"])
def test_lists_about_one_poll_long_are_checked_to_their_last_entry(size, hub_last, fault):
    """A hub listing `size` nodes, around the length up to which a list is
    read in one run without a poll: a fault at its second or last entry
    must leave the lists read as the graph they stand for, whichever side
    of the hub the entries lie."""
    n = size + 1
    hub = n - 1 if hub_last else 0
    leaves = [v for v in range(n) if v != hub]
    adj = [[hub] for _ in range(n)]
    adj[hub] = list(leaves)
    a, b = leaves[1], leaves[2]              # a triangle, so that maxrank 3 has work
    adj[a] = sorted([b, hub])
    adj[b] = sorted([a, hub])
    row = adj[hub]
    for at in [1, size - 1]:
        lists = [list(lst) for lst in adj]
        row = lists[hub]
        if fault == "repeat":
            row.insert(at, row[at])
        elif fault == "out of order":
            row[at - 1], row[at] = row[at], row[at - 1]
        elif fault == "missing":
            lists[row[at]] = []              # the edge is listed by the hub only
        elif fault == "not an int":
            row[at] = Index(row[at])
        plain = [[x.__index__() for x in lst] for lst in lists]
        for k in [2, 3, 64]:
            got = vexa.maxclique_decompose_with_weights(lists, k)
            assert got == expected(plain, k), (at, k)


def test_many_lists_written_past_the_room_made_at_once():
    """Tidy lists whose upper parts add up to many times the room the reader
    makes at once, with a few lists given as other kinds in between (each
    read after the room is dropped): the same as the bounded route."""
    np = pytest.importorskip("numpy")
    rng = random.Random(7)
    adj = random_adj(rng, 900, 0.02)
    for lst in adj:
        lst.sort()
    given = [np.array(lst, dtype=np.int64) if v % 97 == 5 else tuple(lst) if v % 89 == 3 else
             _LyingList(lst, 0) if v % 83 == 1 else lst for v, lst in enumerate(adj)]
    for k in [2, 3, 64]:
        want = expected(adj, k)
        assert vexa.maxclique_decompose_with_weights(adj, k) == want, k
        assert vexa.maxclique_decompose_with_weights(given, k) == want, k
