"""enumerate_cliques_with_weights and enumerate_cliques_with_weights_noprune end to end."""

import itertools
import random
from collections import Counter

import pytest

import vexa
from models import full_lists, subcliques, upper_lists, walk
from models import noprune_weights as literal_noprune
from models import pruned_weights as literal_pruned

pruned = vexa.enumerate_cliques_with_weights
noprune = vexa.enumerate_cliques_with_weights_noprune
BOTH = [pytest.param(pruned, id="pruned"), pytest.param(noprune, id="noprune")]

TRI = [[0], [1], [2], [0, 1], [0, 2], [1, 2], [0, 1, 2]]
K4 = [[1, 2, 3], [2, 3], [3], []]
K4_CLIQUES = [[0], [1], [2], [3], [0, 1], [0, 2], [0, 3], [1, 2], [1, 3], [2, 3],
              [0, 1, 2], [0, 1, 3], [0, 2, 3], [1, 2, 3], [0, 1, 2, 3]]


# ---------------------------------------------------------------------------
# The closed form of the breadth-first walk's result; the walk itself and the
# two weight rules are the plain models in models/.

def closed_form(nbrs, maxrank):
    """The multiset of sequences the walk lists, from its closed form."""
    out = Counter()
    for x0, lst in enumerate(nbrs):
        top = len(lst) if maxrank == 0 else min(len(lst), maxrank - 1)
        for m in range(top + 1):
            for positions in itertools.combinations(range(len(lst)), m):
                rest = [lst[p] for p in positions]
                if all(rest[p] in nbrs[rest[q]] for q in range(m) for p in range(q + 1, m)):
                    out[tuple([x0] + rest)] += 1
    return out


def random_graph(rng, n, p):
    return {(i, j) for i in range(n) for j in range(i + 1, n) if rng.random() < p}


def lists_of_form(rng, form, n, p):
    edges = random_graph(rng, n, p)
    if form == "upper":
        return upper_lists(n, edges)
    lists = full_lists(n, edges)
    if form == "full":
        return lists
    if form == "unsorted":
        for lst in lists:
            rng.shuffle(lst)
    elif form == "repeats":
        for lst in lists:
            if lst and rng.random() < 0.4:
                lst.insert(rng.randrange(len(lst)), rng.choice(lst))
    elif form == "self_loops":
        for v, lst in enumerate(lists):
            if rng.random() < 0.4:
                lst.append(v)
                lst.sort()
    elif form == "asymmetric":
        lists = [[u for u in lst if rng.random() < 0.7] for lst in lists]
    return lists


FORMS = ["upper", "full", "unsorted", "repeats", "self_loops", "asymmetric"]


# ---------------------------------------------------------------------------
# Edge cases

@pytest.mark.parametrize("fn", BOTH)
@pytest.mark.parametrize(
    "nbrs, maxranks, cliques",
    [
        ([[1, 2], [2], []], [0, 3, 4], TRI),
        ([[1, 2], [2], []], [2], TRI[:6]),
        ([[1, 2], [2], []], [1], TRI[:3]),
        ([[1], [2], []], [0, 2, 3, 2**64 - 1], [[0], [1], [2], [0, 1], [1, 2]]),
        ([[1, 3], [2], [3], []], [0, 2, 3], [[0], [1], [2], [3], [0, 1], [0, 3], [1, 2], [2, 3]]),
        (K4, [3], K4_CLIQUES[:14]),
        (K4, [0, 4], K4_CLIQUES),
        ([], [0, 1, 7], []),
        ([[]], [0, 1], [[0]]),
        ([[1, 2], [0, 2], [0, 1]], [3],
         [[0], [1], [2], [0, 1], [0, 2], [1, 0], [1, 2], [2, 0], [2, 1], [0, 1, 2], [1, 0, 2], [2, 0, 1]]),
        ([[0, 1], [1]], [3], [[0], [1], [0, 0], [0, 1], [1, 1], [0, 0, 1]]),
        ([[1, 1], []], [3], [[0], [1], [0, 1], [0, 1]]),
        ([[2, 1], [2], []], [3], [[0], [1], [2], [0, 2], [0, 1], [1, 2]]),
        ([[1, 2], [], [1]], [3], [[0], [1], [2], [0, 1], [0, 2], [2, 1]]),
        ([[1, 5], [2], []], [1], [[0], [1], [2]]),
    ],
)
def test_cliques(fn, nbrs, maxranks, cliques):
    for maxrank in maxranks:
        got = fn(nbrs, maxrank)
        assert type(got) is tuple and len(got) == 2
        assert got[0] == cliques
        assert len(got[1]) == len(cliques)


@pytest.mark.parametrize(
    "nbrs, maxrank, weights_pruned, weights_noprune",
    [
        ([[1, 2], [2], []], 3, [0] * 6 + [1], None),
        ([[1, 2], [2], []], 0, [0] * 6 + [1], None),
        ([[1, 2], [2], []], 2, [-1] * 3 + [1] * 3, None),
        ([[1, 2], [2], []], 1, [1] * 3, None),
        (K4, 4, [0] * 14 + [1], None),
        (K4, 3, [1] * 4 + [-1] * 6 + [1] * 4, None),
        (K4, 2, [-2] * 4 + [1] * 6, None),
        ([[1], [2], []], 3, [0, -1, 0, 1, 1], None),
        ([[1, 2], [2, 3], [3], []], 3, [0, 0, 0, 0, 0, 0, -1, 0, 0, 1, 1], None),
        ([[1, 3], [2], [3], []], 3, [-1] * 4 + [1] * 4, None),
        ([[]], 0, [1], None),
        ([], 3, [], None),
        ([[1], [0]], 2, [-1, -1, 1, 1], None),
        ([[1, 2], [0, 2], [0, 1]], 3, [0, 0, 0, -1, -1, 0, -1, 0, 0, 1, 1, 1], None),
        ([[0]], 2, [-1, 1], None),
        # duplicates: the pruned rule gives every copy a weight, the closed form
        # puts everything on the last copy
        ([[1, 1], []], 3, [-1, -1, 1, 1], [-1, -1, 0, 2]),
    ],
)
def test_weights(nbrs, maxrank, weights_pruned, weights_noprune):
    cliques = walk(nbrs, maxrank)
    assert pruned(nbrs, maxrank) == (cliques, weights_pruned)
    assert noprune(nbrs, maxrank) == (cliques, weights_noprune or weights_pruned)


@pytest.mark.parametrize("fn", BOTH)
@pytest.mark.parametrize(
    "nbrs, maxrank, message",
    [
        ([[1, 5], [2], []], 3, "index out of bounds: the len is 3 but the index is 5"),
        ([[1, 5], [2], []], 0, "index out of bounds: the len is 3 but the index is 5"),
        ([[1], [7, 2], [9]], 2, "index out of bounds: the len is 3 but the index is 7"),
        ([[2**64 - 1]], 5, "index out of bounds: the len is 1 but the index is 18446744073709551615"),
        # [1, 2, 3] is never listed: node 1's list holds 3 before 2
        ([[1, 2, 3], [3, 2], [3], []], 4, "no entry found for key"),
    ],
)
def test_failures(fn, nbrs, maxrank, message, panic_type):
    with pytest.raises(panic_type) as info:
        fn(nbrs, maxrank)
    assert info.value.args == (message,)
    # the module stays usable
    assert fn([[1], []], 0) == ([[0], [1], [0, 1]], [0, 0, 1])


# ---------------------------------------------------------------------------
# Randomized: the literal models as ground truth

@pytest.mark.parametrize("form", FORMS)
def test_random_lists_against_the_models(form, panic_type):
    rng = random.Random(f"bounded-{form}")
    for _ in range(60):
        n = rng.randrange(0, 9)
        nbrs = lists_of_form(rng, form, n, rng.uniform(0.2, 0.9))
        maxrank = rng.randrange(0, 6)
        cliques = walk(nbrs, maxrank)
        assert Counter(map(tuple, cliques)) == closed_form(nbrs, maxrank)
        try:
            want_pruned, want_noprune = literal_pruned(cliques), literal_noprune(cliques)
        except KeyError:
            for fn in (pruned, noprune):
                with pytest.raises(panic_type, match="^no entry found for key$"):
                    fn(nbrs, maxrank)
            continue
        assert pruned(nbrs, maxrank) == (cliques, want_pruned)
        assert noprune(nbrs, maxrank) == (cliques, want_noprune)


@pytest.mark.parametrize("seed", range(4))
def test_upper_form_properties(seed):
    """Upper form: every clique once, ascending; both rules agree; the weights
    of the cliques containing any listed clique add up to 1."""
    rng = random.Random(seed)
    n = rng.randrange(8, 30)
    edges = random_graph(rng, n, rng.uniform(0.2, 0.7))
    nbrs = upper_lists(n, edges)
    for maxrank in (0, 1, 2, 3, 5):
        cliques, weights = pruned(nbrs, maxrank)
        assert noprune(nbrs, maxrank) == (cliques, weights)
        assert all(c == sorted(set(c)) for c in cliques)
        keys = [tuple(c) for c in cliques]
        assert len(set(keys)) == len(keys)
        assert keys == sorted(keys, key=lambda c: (len(c), c))
        every = [c for k in range(1, n + 1) for c in itertools.combinations(range(n), k)
                 if (maxrank == 0 or k <= maxrank)
                 and all((a, b) in edges for a, b in itertools.combinations(c, 2))] if n <= 16 else None
        if every is not None:
            assert sorted(keys) == sorted(every)
        total = Counter()
        for c, w in zip(keys, weights):
            for s in subcliques(c, False):
                total[s] += w
        assert all(total[c] == 1 for c in keys)


def test_full_lists_sum_to_one():
    rng = random.Random(99)
    n = 12
    nbrs = full_lists(n, random_graph(rng, n, 0.5))
    cliques, weights = noprune(nbrs, 0)
    assert pruned(nbrs, 0) == (cliques, weights)
    total = Counter()
    for c, w in zip(cliques, weights):
        for s in subcliques(c, False):
            total[s] += w
    assert all(total[tuple(c)] == 1 for c in cliques)


def test_against_networkx():
    nx = pytest.importorskip("networkx")
    g = nx.gnp_random_graph(40, 0.3, seed=4)
    nbrs = [sorted(u for u in g.adj[v] if u > v) for v in range(40)]
    for maxrank in (0, 3):
        want = sorted(tuple(sorted(c)) for c in nx.enumerate_all_cliques(g) if maxrank == 0 or len(c) <= maxrank)
        got, _ = pruned(nbrs, maxrank)
        assert sorted(map(tuple, got)) == want


def test_complete_graph_weights():
    n = 13
    nbrs = [list(range(v + 1, n)) for v in range(n)]
    cliques, weights = pruned(nbrs, 0)
    assert len(cliques) == 2**n - 1
    assert weights == [0] * (2**n - 2) + [1]
    cliques4, weights4 = noprune(nbrs, 4)
    # cut at 4 nodes: each clique of k nodes lies in C(n-k, 4-k) four-cliques, ...
    from math import comb
    expect = {k: sum((-1) ** j * comb(n - k, j) for j in range(0, 4 - k + 1)) for k in range(1, 5)}
    assert weights4 == [expect[len(c)] for c in cliques4]
