"""Node numbers on either side of the interpreter's internal digit.

Small exact ints are read without a call into the interpreter; every other
int takes the general reader.  Both must give the same numbers and the same
errors, so each value is read on its own and beside a stand-in that forces
the item-by-item path.
"""

import pytest

import vexa

from tests.hostile_objects import Index

EDGES = [2, 2**15 - 1, 2**15, 2**30 - 1, 2**30, 2**31, 2**32, 2**62, 2**63, 2**64 - 1]


@pytest.mark.parametrize("big", EDGES)
def test_numbers_read_exactly(big):
    # An entry >= n makes the bounded walk fail naming it, so the message
    # shows the number as read.
    for row in ([big], [0, big], [Index(0), big]):
        with pytest.raises(BaseException) as info:
            vexa.enumerate_cliques_with_weights([row, []], 2)
        assert str(info.value) == f"index out of bounds: the len is 2 but the index is {big}", row


@pytest.mark.parametrize("bad", [-1, -(2**15), -(2**30), -(2**31), -(2**64), 2**64])
def test_numbers_out_of_range_fail_on_both_readers(bad):
    for row in ([bad], [1, bad], [Index(1), bad]):
        with pytest.raises(OverflowError):
            vexa.maxclique_decompose_with_weights([row, [0]], 2)


@pytest.mark.parametrize("k", [2, 3, 64])
def test_small_and_large_numbers_give_the_same_graph(k):
    # The same triangle named by small ints, and by ints that the general
    # reader must take, with entries beyond the graph that are ignored.
    adj = [[1, 2, 2**40], [0, 2, 2**31], [0, 1, 2**63]]
    assert vexa.maxclique_decompose_with_weights(adj, k) == vexa.maxclique_decompose_with_weights(
        [[1, 2], [0, 2], [0, 1]], k)
