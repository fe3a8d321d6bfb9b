"""Integer arrays read from their buffers give exactly what reading them item
by item gives: results and errors.

Each array is compared with its generic twin: the same memory seen as an
ndarray subclass (or, for a memoryview, a Python sequence iterating it), which
the module reads through the sequence protocol like any other sequence.
"""

import struct
import sys

import numpy as np
import pytest

import vexa

# Arrays of dtype bool are read item by item, through __index__, which older
# numpy releases (those installed beside Python 3.10 here) deprecate for
# np.bool scalars: the warning is numpy's answer to what the test feeds in.
pytestmark = pytest.mark.filterwarnings(
    "ignore:In future, it will be an error for 'np.bool' scalars:DeprecationWarning")

FUNCTIONS = [
    ("ec", lambda x: vexa.enumerate_cliques_with_weights(x, 3)),
    ("np", lambda x: vexa.enumerate_cliques_with_weights_noprune(x, 3)),
    ("md", lambda x: vexa.maxclique_decompose_with_weights(x, 3)),
    ("eo", vexa.enumerate_cliques_with_weights_edgeonly),
]
FUNCTION_IDS = [f[0] for f in FUNCTIONS]
CALLS = [f[1] for f in FUNCTIONS]

INT_DTYPES = ["int8", "int16", "int32", "int64", "uint8", "uint16", "uint32", "uint64",
              "intc", "uintc", "longlong", "ulonglong", "intp", "uintp"]
OTHER_DTYPES = ["bool", "float32", "float64", "complex128", "object",
                ">i8" if sys.byteorder == "little" else "<i8",
                ">u2" if sys.byteorder == "little" else "<u2"]


class Generic(np.ndarray):
    """Same memory, read item by item."""


class ListSub(list):
    pass


class ViewSeq:
    """A sequence whose length and iteration are those of a memoryview."""

    def __init__(self, view):
        self.view = view

    def __len__(self):
        return len(self.view)

    def __getitem__(self, i):
        return self.view[i]

    def __iter__(self):
        return iter(self.view)


def outcome(fn, x):
    try:
        return ("ok", fn(x))
    except BaseException as exc:  # noqa: BLE001 - every outcome is compared
        return (type(exc), str(exc))


def twin(x):
    """The generic twin of an array, or of a list of arrays."""
    if isinstance(x, np.ndarray):
        return x.view(Generic)
    if isinstance(x, memoryview):
        return ViewSeq(x)
    return [twin(a) for a in x]


def assert_same(fn, x):
    expected = outcome(fn, twin(x))
    got = outcome(fn, x)
    assert got == expected
    return got


def node_lists(dtype, values):
    """Upper-form lists of a small graph, with `values` as a last list."""
    lists = [[1, 2, 3], [2, 3], [3], [], values]
    return [np.array(lst, dtype=dtype) for lst in lists]


def extremes(dtype):
    dt = np.dtype(dtype)
    if dt.kind in "iu":
        info = np.iinfo(dt)
        return [int(info.min), int(info.max), 0, 1, int(info.max) // 2]
    return [0, 1]


@pytest.mark.parametrize("fn", CALLS, ids=FUNCTION_IDS)
@pytest.mark.parametrize("dtype", INT_DTYPES + OTHER_DTYPES)
def test_lists_of_arrays_match_the_generic_reading(fn, dtype):
    ok = assert_same(fn, node_lists(dtype, [0, 4]))
    if np.dtype(dtype).kind in "iu":
        assert ok == ("ok", fn([[1, 2, 3], [2, 3], [3], [], [0, 4]]))
    # Extreme and negative values: an OverflowError for the first negative
    # entry (with the interpreter's message for that value), or a
    # PanicException for a number >= n, depending on the function.
    assert_same(fn, node_lists(dtype, extremes(dtype)))
    assert_same(fn, node_lists(dtype, extremes(dtype)[::-1]))


@pytest.mark.parametrize("dtype", ["int8", "int16", "int32", "int64", "intp", "longlong"])
@pytest.mark.parametrize("value", [-1, -2, -128])
def test_negative_entry_raises_the_hosts_overflow_error(dtype, value):
    arrays = [np.array([0, 1], dtype=dtype), np.array([2, value, -3], dtype=dtype)]
    got = assert_same(vexa.enumerate_cliques_with_weights_edgeonly, arrays)
    with pytest.raises(OverflowError) as info:
        vexa.enumerate_cliques_with_weights_edgeonly([[2, value]])
    assert got == (OverflowError, str(info.value))


def test_largest_uint64_is_a_node_number():
    eo = vexa.enumerate_cliques_with_weights_edgeonly
    a = np.array([2**64 - 1, 0], dtype=np.uint64)
    assert eo([a]) == eo([[2**64 - 1, 0]]) == ([[0], [0, 2**64 - 1]], [-1, 1])


@pytest.mark.parametrize("fn", CALLS, ids=FUNCTION_IDS)
@pytest.mark.parametrize("dtype", INT_DTYPES + ["bool", "float64", ">i4" if sys.byteorder == "little" else "<i4"])
def test_two_dimensional_arrays_are_read_as_rows(fn, dtype):
    rows = np.array([[1, 2], [0, 2], [0, 1]], dtype=dtype)
    got = assert_same(fn, rows)
    if np.dtype(dtype).kind in "iu" and np.dtype(dtype).isnative:
        assert got == ("ok", fn(rows.tolist()))
        assert got == outcome(fn, list(rows))
    signed = np.dtype(dtype).kind == "i"
    if signed:
        assert_same(fn, np.array([[1, 2], [0, -1], [0, 1]], dtype=dtype))


@pytest.mark.parametrize(
    "make",
    [
        lambda: np.arange(12, dtype=np.int64)[::2] % 3,              # strided
        lambda: (np.arange(6, dtype=np.int32) % 3)[::-1],            # negative stride
        lambda: np.zeros((3, 4), dtype=np.int64)[:, 1],              # column
        lambda: np.frombuffer(b"\0" + bytes(16), dtype=np.int64, offset=1),  # unaligned
        lambda: np.array([1, 2], dtype=np.int64).view([("a", np.int64)]),  # structured
        lambda: np.array([1, 0], dtype="M8[s]").astype(np.int64),   # from dates
        lambda: np.array(2, dtype=np.int64),                         # 0-d
        lambda: np.array([[1], [0]], dtype=np.int64),                # 2-D where a list is wanted
        lambda: np.array([-5, 0], dtype=np.int64)[1:],               # view past a negative
        lambda: np.array([1, 0], dtype="M8[s]"),                     # no buffer format
    ],
    ids=["strided", "reversed", "column", "unaligned", "structured", "cast", "0d", "2d-item",
         "offset", "datetime"],
)
@pytest.mark.parametrize("fn", CALLS, ids=FUNCTION_IDS)
def test_unusual_arrays_as_node_lists(make, fn):
    a = make()
    assert_same(fn, [a, np.array([0], dtype=np.int64), a])


@pytest.mark.parametrize(
    "make",
    [
        lambda: np.zeros((3, 4), dtype=np.int64, order="F"),        # column-major
        lambda: np.arange(24, dtype=np.int32).reshape(4, 6)[:, ::2] % 4,
        lambda: np.arange(8, dtype=np.int64).reshape(2, 2, 2) % 2,  # 3-D
        lambda: np.empty((0, 5), dtype=np.int64),
        lambda: np.empty((4, 0), dtype=np.int64),
        lambda: np.array([[1, 2], [0, -7]], dtype=np.int64)[::-1],
        lambda: np.empty((2**62, 0), dtype=np.int8),                 # too many rows to reserve
        lambda: np.empty((2**40, 0), dtype=np.int8),                 # more rows than memory
    ],
    ids=["fortran", "strided", "3d", "no-rows", "empty-rows", "reversed", "huge", "big"],
)
@pytest.mark.parametrize("fn", CALLS[2:], ids=FUNCTION_IDS[2:])
def test_unusual_arrays_as_the_outer_argument(make, fn):
    assert_same(fn, make())


@pytest.mark.parametrize("fmt", list("bBhHiIlLqQnN") + ["?", "c", "d"])
def test_memoryviews_match_their_items(fmt):
    size = struct.calcsize(fmt)
    for pattern in (b"\x01", b"\xff", b"\x00\x80"):
        mv = memoryview((pattern * 4 * size)[: 4 * size]).cast(fmt)
        assert_same(vexa.enumerate_cliques_with_weights_edgeonly, [mv, mv[::-1], mv[1:]])


@pytest.mark.parametrize("dtype", INT_DTYPES + ["bool", "float64", ">i4"])
def test_memoryviews_of_arrays(dtype):
    a = np.array(extremes(dtype), dtype=dtype)
    mv = memoryview(a)
    assert_same(vexa.enumerate_cliques_with_weights_edgeonly, [mv, mv[::2], mv[::-1]])


def test_released_and_multidimensional_memoryviews():
    eo = vexa.enumerate_cliques_with_weights_edgeonly
    released = memoryview(b"\x01")
    released.release()
    with pytest.raises(ValueError, match="released memoryview"):
        eo([released])
    assert_same(eo, [memoryview(np.zeros((2, 2), dtype=np.int64))])
    assert_same(eo, memoryview(np.zeros((2, 2), dtype=np.int64)))


class IterOverride(np.ndarray):
    def __iter__(self):
        return iter([5, 6])


class LenOverride(np.ndarray):
    def __len__(self):
        return 2**61


class GetitemOverride(np.ndarray):
    def __getitem__(self, i):
        raise IndexError


class ListIter(list):
    def __iter__(self):
        return iter([np.array([9], dtype=np.int64)])


class ListLen(list):
    def __len__(self):
        return 2**61


@pytest.mark.parametrize(
    "x, expected",
    [
        ([np.array([1, 2]).view(IterOverride)], ([[0], [0, 5], [0, 6]], [-1, 1, 1])),
        ([np.array([1, 2]).view(GetitemOverride)], ([[0]], [1])),  # iteration stops at once
        (np.array([[1, 2]]).view(IterOverride), TypeError),  # 5 and 6 are no sequences
        (ListIter([np.array([1], dtype=np.int64)]), ([[0], [0, 9]], [0, 1])),
        ([ListIter([1])], TypeError),  # the override yields an array, not an int
        (ListSub([np.array([1, 1], dtype=np.uint8)]), ([[0], [0, 1], [0, 1]], [-1, 1, 1])),
    ],
    ids=["ndarray-iter", "ndarray-getitem", "2d-iter", "list-iter", "inner-list-iter", "list-sub"],
)
def test_overridden_methods_are_honoured(x, expected):
    got = outcome(vexa.enumerate_cliques_with_weights_edgeonly, x)
    if isinstance(expected, tuple):
        assert got == ("ok", expected)
    else:
        assert got[0] is expected


def test_lying_length_of_a_subclass_is_believed():
    # The generic rule: a length above the limit cannot be reserved.
    eo = vexa.enumerate_cliques_with_weights_edgeonly
    for x in ([np.array([1]).view(LenOverride)], ListLen([np.array([1])])):
        with pytest.raises(BaseException) as info:
            eo(x)
        assert type(info.value).__name__ == "PanicException"
        assert str(info.value) == "capacity overflow"


def test_errors_come_in_list_order():
    eo = vexa.enumerate_cliques_with_weights_edgeonly
    good = np.array([0], dtype=np.int64)
    negative = np.array([0, -1], dtype=np.int16)
    floats = np.array([0.5])
    assert outcome(eo, [good, negative, floats])[0] is OverflowError
    assert outcome(eo, [good, floats, negative])[0] is TypeError
    assert outcome(eo, [good, "ab", negative])[0] is ValueError
    assert outcome(eo, [good, negative, "ab"])[0] is OverflowError


def test_arrays_are_not_changed_and_stay_usable():
    a = np.array([1, 2, 3], dtype=np.int64)
    before = sys.getrefcount(a)
    vexa.enumerate_cliques_with_weights_edgeonly([a, a])
    with pytest.raises(OverflowError):
        vexa.enumerate_cliques_with_weights_edgeonly([a, np.array([-1])])
    assert sys.getrefcount(a) == before
    a.resize(5, refcheck=False)  # no buffer is still held
    assert a.tolist() == [1, 2, 3, 0, 0]


# ---------------------------------------------------------------------------
# Short arrays of a dtype seen before are read from the array object itself;
# the dtype objects below are new, changed or dropped between calls.

EO = vexa.enumerate_cliques_with_weights_edgeonly
NATIVE_I8 = "<i8" if sys.byteorder == "little" else ">i8"
SWAPPED_I8 = ">i8" if sys.byteorder == "little" else "<i8"


def own_dtype(dtype="int64", **metadata):
    """A dtype object of its own, equal to `dtype`, never one of numpy's."""
    return np.dtype(dtype, metadata=metadata or {"own": True})


def learnt(a):
    """`a`, after a call has read an array of its dtype object."""
    EO([np.zeros(2, dtype=a.dtype)])
    return a


def state_with(byteorder="|", subarray=None, names=None, fields=None, elsize=-1, alignment=-1, flags=0):
    """A dtype's pickled state, as __setstate__ takes it."""
    return (3, byteorder, subarray, names, fields, elsize, alignment, flags)


@pytest.mark.parametrize(
    "change",
    [
        lambda dt: dt.__setstate__(state_with(SWAPPED_I8[0])),
        lambda dt: dt.__setstate__(state_with(subarray=(np.dtype(np.int32), (2,)))),
        lambda dt: dt.__setstate__(state_with(names=("a",), fields={"a": (np.dtype(np.int64), 0)},
                                              elsize=8, alignment=8, flags=16)),
        lambda dt: hash(dt),
    ],
    ids=["byte-order", "subarray", "fields", "hashed"],
)
@pytest.mark.parametrize("fn", CALLS, ids=FUNCTION_IDS)
def test_dtype_changed_in_place_after_it_was_read(change, fn):
    dt = own_dtype()
    a = learnt(np.array([1, 2, 3], dtype=dt))
    change(dt)
    # The array now reads as iterating it reads, whatever numpy made of it.
    x = [a, np.array([2], dtype=dt), a[:0], a[2:]]
    assert outcome(fn, x) == outcome(fn, [ViewSeq(v) for v in x])


@pytest.mark.parametrize("fn", CALLS, ids=FUNCTION_IDS)
def test_dtype_objects_made_per_array(fn):
    """More dtype objects than are remembered at a time, native and swapped,
    each dropped after its call, so that new ones may take their addresses."""
    native = [1, 2, 3, 4]
    for i in range(40):
        dt = own_dtype(NATIVE_I8 if i % 3 else SWAPPED_I8, i=i)
        rows = [np.array(native[:k], dtype=dt) for k in (4, 2, 0, 1, 3)]
        assert_same(fn, rows)
        del rows, dt


def test_dtype_objects_are_not_kept():
    released = []

    class Finaliser:
        def __init__(self, i):
            self.i = i

        def __del__(self):
            released.append(self.i)

    for i in range(50):
        a = np.array([1, 2, i % 5], dtype=own_dtype(tag=Finaliser(i)))
        assert EO([a]) == EO([[1, 2, i % 5]])
        del a
    assert sorted(released) == list(range(50))


@pytest.mark.parametrize(
    "alter",
    [
        lambda a: a.setflags(align=False),
        lambda a: setattr(a, "dtype", np.uint64),
        lambda a: setattr(a, "dtype", np.float64),
        lambda a: setattr(a, "dtype", np.int32),
        lambda a: setattr(a, "shape", (2, 2)),
        lambda a: setattr(a, "shape", (4, 1)),
        lambda a: setattr(a, "strides", (0,)),
    ],
    ids=["unaligned-flag", "as-uint64", "as-float", "as-int32", "2x2", "4x1", "stride-0"],
)
@pytest.mark.parametrize("fn", CALLS, ids=FUNCTION_IDS)
@pytest.mark.filterwarnings("ignore::DeprecationWarning")  # setting strides
def test_arrays_changed_in_place_after_their_dtype_was_read(alter, fn):
    a = learnt(np.array([1, 3, -2, 0], dtype=np.int64))
    b = a[:2]
    try:
        alter(a)
    except (ValueError, AttributeError):
        pytest.skip("this numpy refuses the change")
    assert_same(fn, [a, b, a])


@pytest.mark.parametrize("length", [4095, 4096, 4097, 10_000])
@pytest.mark.parametrize("dtype", ["int8", "int64", "uint16", "uint64"])
@pytest.mark.parametrize("where", [0, -1, None])
def test_arrays_around_the_in_place_limit(length, dtype, where):
    values = np.arange(length, dtype=np.int64) % 127
    if where is not None and np.dtype(dtype).kind == "i":
        values[where] = -5
    a = learnt(values.astype(dtype))
    got = assert_same(EO, [a, a[1:], a[:-1]])
    if where is None:
        assert got == ("ok", EO([a.tolist(), a[1:].tolist(), a[:-1].tolist()]))


def test_unpickled_arrays_read_like_lists():
    import pickle

    rows = [[1, 2, 3], [2, 3], [3], []]
    one_by_one = [pickle.loads(pickle.dumps(np.array(r, dtype=np.int64))) for r in rows]
    assert len({id(a.dtype) for a in one_by_one}) == len(rows)
    for fn in CALLS:
        assert fn(one_by_one) == fn(rows)
