"""Python result lists turned into flat int64 columns, fast.

A vexa call returns its cliques as a list of lists of Python ints; a shard
has to turn millions of them into one array of lengths and one of nodes.
Reading them one int at a time through an iterator (``np.fromiter`` over
``itertools.chain``) costs about 50 ns per node, as much as the call spent
making them.

:mod:`marshal` (format version 2) writes such a list in C at about a third
of that: a list is the code byte ``[`` and its length, an int in the 32-bit
range is the code byte ``i`` and its value, both as 4-byte little-endian
integers.  So when every node and length fits 32 bits, the bytes are a row
of 5-byte tokens that numpy reads as one structured array, with no Python
per node.  Anything else (an int past 32 bits, a bool, another type, a
format that ever differs) puts a token of another code or length at a token
boundary; :func:`flatten` and :func:`int64s` check every code and every
length against the token positions, and read such input the slow way.
"""

from __future__ import annotations

import itertools
import marshal
from collections.abc import Sequence
from typing import TYPE_CHECKING, Any, Optional

import numpy as np
import numpy.typing as npt

if TYPE_CHECKING:
    import pyarrow as pa

__all__ = ["arrow_table", "fixed_row_runs", "fixed_rows", "flatten", "int64s"]

IntArray = npt.NDArray[np.int64]

# marshal's format version 2 marks no shared objects (version 3 and later
# write back-references for objects seen twice, small ints among them), so
# every int is written in full, in place.
_MARSHAL_VERSION = 2
_LIST, _INT = ord("["), ord("i")
_TOKEN = np.dtype([("code", "u1"), ("value", "<i4")])  # packed: 5 bytes
# Arrow's list type counts its entries in 32 bits; past that a column is a
# large list (64-bit offsets).
LIST_OFFSET_LIMIT = 2**31 - 1


def _tokens(items: list[Any]) -> Optional[npt.NDArray[np.void]]:
    data = marshal.dumps(items, _MARSHAL_VERSION)
    if len(data) % _TOKEN.itemsize:
        return None
    return np.frombuffer(data, dtype=_TOKEN)


def int64s(values: Sequence[int]) -> IntArray:
    """`values` (Python ints in the signed 64-bit range) as an int64 array."""
    tokens = _tokens(values) if isinstance(values, list) else None
    if tokens is not None and len(tokens) == len(values) + 1 and tokens["code"][0] == _LIST:
        codes, numbers = tokens["code"][1:], tokens["value"][1:]
        if bool(np.all(codes == _INT)):
            return numbers.astype(np.int64)
    return np.array(values, dtype=np.int64).reshape(len(values))


def flatten(lists: Sequence[Sequence[int]]) -> tuple[IntArray, IntArray]:
    """(lengths, nodes): the length of each list, and all their entries
    one after the other, as int64 arrays."""
    if isinstance(lists, list):
        tokens = _tokens(lists)
        if tokens is not None:
            read = _read_nested(tokens, len(lists))
            if read is not None:
                return read
    lengths = np.fromiter(map(len, lists), dtype=np.int64, count=len(lists))
    flat = np.fromiter(itertools.chain.from_iterable(lists), dtype=np.int64, count=int(lengths.sum()))
    return lengths, flat


def fixed_rows(lists: list[Any], k: int) -> Optional[npt.NDArray[np.int32]]:
    """`lists` as a (len(lists), k) int32 matrix, one row per list, when each
    of them is a list of exactly `k` ints in the 32-bit range; else None.

    A list of k such ints is k + 1 tokens, so the tokens after the outer
    list's form a grid of k + 1 columns: the first must be list tokens of
    length k (their lengths matter: ``[[1, []], 5, [9]]`` has its list and
    int tokens where three 1-lists would), the others int tokens.  That reads a run of equal-sized lists
    with a few whole-array comparisons, and the matrix is a view of the
    marshal bytes."""
    runs = fixed_row_runs(lists, [(0, len(lists), k)])
    return None if runs is None else runs[0]


def fixed_row_runs(lists: list[Any], runs: Sequence[tuple[int, int, int]]) -> Optional[list[npt.NDArray[np.int32]]]:
    """Each run ``(start, end, k)`` of `lists` as an (end - start, k) int32
    matrix, as :func:`fixed_rows` reads one, from a single marshal of the
    whole list; the runs must cover `lists` in order.  None unless every
    run is exactly lists of k ints in the 32-bit range."""
    if sum(end - start for start, end, _ in runs) != len(lists):
        return None
    tokens = _tokens(lists)
    expected = 1 + sum((end - start) * (k + 1) for start, end, k in runs)
    if tokens is None or len(tokens) != expected or tokens["code"][0] != _LIST or tokens["value"][0] != len(lists):
        return None
    matrices = []
    at = 1
    for start, end, k in runs:
        count = end - start
        grid = tokens[at : at + count * (k + 1)].reshape(count, k + 1)
        at += count * (k + 1)
        heads = grid[:, 0]
        if not (bool(np.all(heads["code"] == _LIST)) and bool(np.all(heads["value"] == k))):
            return None
        values = grid[:, 1:]
        if not bool(np.all(values["code"] == _INT)):
            return None
        matrices.append(values["value"])
    return matrices


def _read_nested(tokens: npt.NDArray[np.void], count: int) -> Optional[tuple[IntArray, IntArray]]:
    """Lengths and entries from the tokens of a list of `count` lists of
    ints, or None unless the tokens are exactly that."""
    codes, numbers = tokens["code"], tokens["value"]
    entries = codes == _INT
    heads = np.flatnonzero(~entries)  # the outer list, then one per inner list
    if len(heads) != count + 1:
        return None
    if not bool(np.all(codes[heads] == _LIST)):
        return None  # a token that is neither a list nor a 32-bit int
    starts = heads[1:]
    lengths = numbers[starts].astype(np.int64)
    # Each inner list's entries fill exactly the tokens up to the next list
    # (so no list lies inside another, and all of them are the outer list's).
    ends = np.empty(count, dtype=np.int64)
    ends[:-1] = starts[1:]
    ends[-1:] = len(tokens)
    if not np.array_equal(starts + 1 + lengths, ends):
        return None
    return lengths, numbers[entries].astype(np.int64)


def arrow_table(offsets: IntArray, values: IntArray, weights: IntArray, *, large: Optional[bool] = None) -> pa.Table:
    """Columns ``clique`` (list i is ``values[offsets[i]:offsets[i+1]]``)
    and ``weight``, both int64, wrapping the arrays as they are; only the
    offsets are copied, to 32 bits while they fit.  `large` picks the list
    type with 64-bit offsets (True) or 32-bit ones (False) for tables that
    are to be joined; by default the offsets decide."""
    import pyarrow as pa

    if large is None:
        large = bool(offsets[-1] > LIST_OFFSET_LIMIT)
    elif not large and offsets[-1] > LIST_OFFSET_LIMIT:
        raise OverflowError(f"{offsets[-1]} list entries do not fit 32-bit offsets")
    flat = pa.array(values, type=pa.int64())
    if not large:
        cliques = pa.ListArray.from_arrays(pa.array(offsets.astype(np.int32)), flat)
    else:
        cliques = pa.LargeListArray.from_arrays(pa.array(offsets, type=pa.int64()), flat)
    # Neither column has a missing row: declared so, the Parquet writer
    # skips a definition level per row (about 6 % of its time on geo3d).
    schema = pa.schema([pa.field("clique", cliques.type, nullable=False), pa.field("weight", pa.int64(), nullable=False)])
    return pa.Table.from_arrays([cliques, pa.array(weights, type=pa.int64())], schema=schema)
