"""The result's Python objects: their shape, and a build that fails part way.

The result lists are created at their final length and filled slot by slot,
with the node ints and the small weight ints shared.  These tests check what
a caller can see of that: every list is an ordinary list that behaves like
one built in Python, and an allocation failing anywhere in a call raises
MemoryError and releases every object the call had made.
"""
import gc
import sys

import pytest

import vexa

_testcapi = pytest.importorskip("_testcapi")


def wheel_and_star():
    """A hub joined to a path of 399 nodes (triangles around it), a few
    chords, and a star of 300 leaves: node numbers far above the
    interpreter's shared small ints, and weights inside and outside them."""
    n = 701
    adj = [set() for _ in range(n)]

    def edge(a, b):
        adj[a].add(b)
        adj[b].add(a)

    for i in range(1, 400):
        edge(0, i)
    for i in range(1, 399):
        edge(i, i + 1)
    for i in range(300, 390, 3):
        edge(i, i + 2)
    for i in range(401, n):
        edge(400, i)
    return [sorted(s) for s in adj]


def long_wheel(rim=700, leaves=300):
    """A hub joined to a path of `rim` nodes and to `leaves` more nodes:
    more triangles, and more spokes, than one block of the decomposition's
    read-off holds, so that its results are made from several blocks of one
    size, and a hub whose weight is beyond the shared ints."""
    adj = [set() for _ in range(rim + leaves + 1)]
    for i in range(1, rim + leaves + 1):
        adj[0].add(i)
        adj[i].add(0)
        if i < rim:
            adj[i].add(i + 1)
            adj[i + 1].add(i)
    return [sorted(s) for s in adj]


FULL = wheel_and_star()
UPPER = [[j for j in lst if j > i] for i, lst in enumerate(FULL)]
LONG_WHEEL = long_wheel()

CALLS = {
    "decompose": lambda: vexa.maxclique_decompose_with_weights(FULL, 3),
    "decompose-64": lambda: vexa.maxclique_decompose_with_weights(FULL, 64),
    "decompose-blocks": lambda: vexa.maxclique_decompose_with_weights(LONG_WHEEL, 3),
    "cliques": lambda: vexa.enumerate_cliques_with_weights(UPPER, 3),
    "noprune": lambda: vexa.enumerate_cliques_with_weights_noprune(UPPER, 3),
    "edgeonly": lambda: vexa.enumerate_cliques_with_weights_edgeonly(UPPER),
}


def plain_copy(result):
    """The same values in lists and ints made by Python itself."""
    cliques, weights = result
    return [[int(str(v)) for v in c] for c in cliques], [int(str(w)) for w in weights]


@pytest.mark.parametrize("name", CALLS)
def test_result_lists_behave_as_lists_built_in_python(name):
    result = CALLS[name]()
    cliques, weights = result
    assert type(result) is tuple and len(result) == 2
    assert type(cliques) is list and type(weights) is list
    assert len(cliques) == len(weights) > 0
    assert any(w > 256 or w < -5 for w in weights), "the graph must give weights beyond the shared ints"
    assert result == plain_copy(result)
    # Each list reserves exactly its length, as a list made at its final
    # length does.
    for lst in [cliques, weights] + cliques[:50] + cliques[-50:]:
        assert sys.getsizeof(lst) == sys.getsizeof([None] * len(lst))
    # Every list can grow, shrink and be iterated like any other, and its
    # length is its number of items.
    for c in cliques[:50] + cliques[-50:]:
        assert type(c) is list and len(list(iter(c))) == len(c)
        before = list(c)
        c.append(-1)
        assert c[:-1] == before and c.pop() == -1
        c.extend(range(100))
        del c[len(before):]
        assert c == before
    weights.append(0)
    assert weights.pop() == 0
    assert gc.is_tracked(cliques) and gc.is_tracked(weights)
    assert all(gc.is_tracked(c) for c in cliques[:50])


@pytest.mark.parametrize("name", CALLS)
def test_equal_nodes_and_small_weights_share_objects(name):
    cliques, weights = CALLS[name]()
    ints = {}
    for c in cliques:
        for v in c:
            assert ints.setdefault(v, v) is v
    for w in weights:
        # The interpreter's shared small ints, the same objects as int(w).
        if -5 <= w <= 256:
            assert w is int(str(w))


def allocation_sweep(call):
    """Runs call() with the k-th interpreter allocation failing, for every k
    from 0 until a run makes fewer than k allocations: returns how many runs
    raised MemoryError."""
    failed = 0
    k = 0
    quiet = 0
    while quiet < 3:
        _testcapi.set_nomemory(k, k + 1)
        try:
            result = call()
        except MemoryError:
            result = None
        finally:
            _testcapi.remove_mem_hooks()
        if result is None:
            failed += 1
            quiet = 0
        else:
            quiet += 1
        del result
        k += 1
    return failed


@pytest.mark.skipif(hasattr(sys, "gettotalrefcount"), reason="a debug build allocates differently")
@pytest.mark.parametrize("name", CALLS)
def test_allocation_failing_anywhere_raises_memory_error_and_releases_everything(name):
    call = CALLS[name]
    expected = call()
    cliques, _ = expected
    # Warm the interpreter's caches and free lists with a first sweep; a
    # second one must then leave exactly as many blocks in use, but for the
    # int that holds the count taken before it: one object kept by any
    # failing call shows.
    failed = allocation_sweep(call)
    gc.collect()
    before = sys.getallocatedblocks()
    assert allocation_sweep(call) == failed
    gc.collect()
    if before > 0:  # 0: an allocator that keeps no count (PYTHONMALLOC=malloc)
        assert sys.getallocatedblocks() - before == 1
    # Every list and int of the result is an allocation that can fail.
    assert failed >= 2 * len(cliques)
    assert call() == expected
