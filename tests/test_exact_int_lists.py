"""Lists and tuples of plain ints are read straight from their item arrays.

The run of exact ints at the front of a list is read without re-reading the
list's length; the first item of any other kind hands the rest of the list
to the item-by-item reader, which sees whatever that item's __index__ did to
the list.  Both readers must give the same lists and the same errors.
"""

import enum

import pytest

import vexa
from hostile_objects import Index

FUNCTIONS = [
    lambda adj: vexa.maxclique_decompose_with_weights(adj, 3),
    lambda adj: vexa.enumerate_cliques_with_weights(adj, 3),
    vexa.enumerate_cliques_with_weights_edgeonly,
]


class Small(enum.IntEnum):
    ONE = 1
    TWO = 2


def mutating(kind):
    """(lists whose reading changes them, the lists as iteration reads them)."""
    if kind == "grow":
        row = [1, 2]
        row.append(Index(3, lambda: row.extend([4, 5])))
        return [row, [0], [0], [0], [0, 1], [0]], [[1, 2, 3, 4, 5], [0], [0], [0], [0, 1], [0]]
    if kind == "shrink":
        row = [1, 2]
        row.extend([Index(3, lambda: row.__delitem__(slice(3, None))), 4, 5])
        return [row, [0], [0], [0], [0], [0]], [[1, 2, 3], [0], [0], [0], [0], [0]]
    if kind == "replace":
        row = [1]
        row.extend([Index(2, lambda: row.__setitem__(2, 4)), 3])
        return [row, [0], [0], [0], [0]], [[1, 2, 4], [0], [0], [0], [0]]
    if kind == "subclasses":
        # bool and IntEnum items are ints, but not exact ones.
        return [[True, Small.TWO, 3], [0, 2], [0, 1], (0, Small.ONE)], [[1, 2, 3], [0, 2], [0, 1], [0, 1]]
    if kind == "tuples":
        return [(1, 2, 3), (0, 2), (0, 1, 3), (0, 2)], [[1, 2, 3], [0, 2], [0, 1, 3], [0, 2]]
    raise AssertionError(kind)


@pytest.mark.parametrize("function", FUNCTIONS, ids=["decompose", "bounded", "edgeonly"])
@pytest.mark.parametrize("kind", ["grow", "shrink", "replace", "subclasses", "tuples"])
def test_lists_read_as_iteration_reads_them(function, kind):
    given, read = mutating(kind)
    assert function(given) == function(read)


def error_of(call):
    with pytest.raises(Exception) as info:
        call()
    return type(info.value), str(info.value)


@pytest.mark.parametrize("bad", [-1, -(2**70), 2**64, 2**100])
@pytest.mark.parametrize("at", [0, 1, 5])
def test_out_of_range_ints_fail_as_on_the_item_by_item_path(bad, at):
    ints = [1, 2, 3, 4, 5, 6]
    ints[at] = bad
    fast = [[0], ints]
    # An item of another kind in front sends the whole list down the
    # item-by-item path.
    slow = [[0], [Index(0)] + ints]
    for function in FUNCTIONS:
        got = error_of(lambda: function(fast))
        assert got[0] is OverflowError
        assert got == error_of(lambda: function(slow))


def test_long_runs_of_exact_ints():
    # Lists far longer than one step of the interrupt poll.
    n = 5000
    adj = [list(range(1, n))] + [[0] for _ in range(n - 1)]
    slow = [[Index(v) for v in row] for row in adj]
    for function in FUNCTIONS:
        assert function(adj) == function(slow)


def _wheel(n):
    """Full lists of a wheel: hub 0 joined to a cycle 1..n-1 (tidy input)."""
    adj = [list(range(1, n))] + [[] for _ in range(n - 1)]
    for v in range(1, n):
        adj[v] = sorted({0, v % (n - 1) + 1, (v - 2) % (n - 1) + 1})
    return adj


@pytest.mark.parametrize("maxrank", [1, 2, 3, 4, 64])
@pytest.mark.parametrize("split", [0, 1, 2, 3])
def test_tidy_lists_read_partly_item_by_item(split, maxrank):
    """A list whose exact-int run is cut short by another kind of int is
    still checked and gathered whole: the decomposition of such lists (their
    lower entries, their own node's place and their upper entries split at
    every point) equals that of the same lists of plain ints."""
    plain = _wheel(9)
    mixed = []
    for row in plain:
        cut = min(split, len(row))
        mixed.append(row[:cut] + [Index(x) for x in row[cut:cut + 1]] + row[cut + 1:])
    want = vexa.maxclique_decompose_with_weights(plain, maxrank)
    assert vexa.maxclique_decompose_with_weights(mixed, maxrank) == want
    # The hub repeated at the end makes the lists untidy: the same graph all
    # the same.
    mixed[5] = mixed[5] + [Index(0)]
    assert vexa.maxclique_decompose_with_weights(mixed, maxrank) == want
