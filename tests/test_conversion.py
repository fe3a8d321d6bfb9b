"""Conversion of the list argument and of maxrank, and its errors."""

import array

import numpy as np
import pytest

import vexa

ec = vexa.enumerate_cliques_with_weights
md = vexa.maxclique_decompose_with_weights
eo = vexa.enumerate_cliques_with_weights_edgeonly

EXPECTED = eo([[1], [0]])


class SeqNoLen:
    """Sequence support without a length: items come from iteration."""

    def __init__(self, items):
        self.items = items

    def __getitem__(self, i):
        return self.items[i]


class StrLike:
    """Claims to be a str through __class__."""

    @property
    def __class__(self):
        return str

    def __getitem__(self, i):
        raise IndexError


@pytest.mark.parametrize(
    "adj",
    [
        [[1], [0]],
        ((1,), (0,)),
        (range(1, 2), b"\x00"),
        [[True], [False]],
        [bytearray(b"\x01"), array.array("q", [0])],
        np.array([[1], [0]]),
        [np.array([1], dtype=np.uint64), np.array([0], dtype=np.int8)],
        SeqNoLen([SeqNoLen([1]), SeqNoLen([0])]),
        [[np.int64(1)], [np.uint8(0)]],
    ],
    ids=["lists", "tuples", "range-bytes", "bools", "bytearray-array", "ndarray", "ndarrays", "nolen", "npscalars"],
)
def test_accepted_sequences(adj):
    assert eo(adj) == EXPECTED


@pytest.mark.parametrize(
    "call, exc_type, message",
    [
        (lambda: ec("ab", 2), ValueError, "Can't extract `str` to `Vec`"),
        (lambda: ec(["ab"], 2), ValueError, "Can't extract `str` to `Vec`"),
        (lambda: eo([[1], StrLike()]), ValueError, "Can't extract `str` to `Vec`"),
        (lambda: ec(5, 2), TypeError, "argument 'nbrs': 'int' object cannot be converted to 'Sequence'"),
        (lambda: ec([1, 2], 2), TypeError, "argument 'nbrs': 'int' object cannot be converted to 'Sequence'"),
        (lambda: ec({0: [1]}, 2), TypeError, "argument 'nbrs': 'dict' object cannot be converted to 'Sequence'"),
        (lambda: md({0, 1}, 2), TypeError, "argument 'adj': 'set' object cannot be converted to 'Sequence'"),
        (lambda: eo(iter([[1]])), TypeError, "argument 'adj': 'list_iterator' object cannot be converted to 'Sequence'"),
        (lambda: eo([None]), TypeError, "argument 'adj': 'NoneType' object cannot be converted to 'Sequence'"),
        (lambda: eo([SeqNoLen.__init__]), TypeError, "argument 'adj': 'function' object cannot be converted to 'Sequence'"),
        (lambda: ec([[1.5]], 2), TypeError, "argument 'nbrs': 'float' object cannot be interpreted as an integer"),
        (lambda: ec([[1], [0]], 2.0), TypeError, "argument 'maxrank': 'float' object cannot be interpreted as an integer"),
        (lambda: ec([[1], [0]], None), TypeError, "argument 'maxrank': 'NoneType' object cannot be interpreted as an integer"),
        (lambda: ec([["1"]], 2), TypeError, "argument 'nbrs': 'str' object cannot be interpreted as an integer"),
        (lambda: ec([[-1]], 2), OverflowError, "can't convert negative int to unsigned"),
        (lambda: ec([[1], [0]], -1), OverflowError, "can't convert negative int to unsigned"),
        (lambda: ec([[1], [0]], 2**64), OverflowError, "int too big to convert"),
        (lambda: eo([[2**64]]), OverflowError, "int too big to convert"),
        # only the list argument's failure is reported when both are bad
        (lambda: ec(5, 2.5), TypeError, "argument 'nbrs': 'int' object cannot be converted to 'Sequence'"),
    ],
)
def test_conversion_errors(call, exc_type, message):
    with pytest.raises(BaseException) as info:
        call()
    assert type(info.value) is exc_type
    assert str(info.value) == message


def test_largest_numbers_accepted():
    assert eo([[2**64 - 1]]) == ([[0], [0, 2**64 - 1]], [0, 1])
    assert md([[]], 2**64 - 1) == ([[0]], [1])


class Cause(Exception):
    pass


class RaisingIndex:
    def __init__(self, exc):
        self.exc = exc

    def __index__(self):
        raise self.exc


def type_error_with_cause():
    exc = TypeError("bad index")
    exc.__cause__ = Cause("root")
    return exc


class MyTypeError(TypeError):
    pass


def test_renamed_type_error_keeps_only_the_cause():
    with pytest.raises(TypeError) as info:
        eo([[RaisingIndex(type_error_with_cause())]])
    exc = info.value
    assert str(exc) == "argument 'adj': bad index"
    assert type(exc.__cause__) is Cause and str(exc.__cause__) == "root"
    assert exc.__suppress_context__ is True
    assert exc.__context__ is None


def test_renamed_type_error_without_cause_suppresses_context():
    with pytest.raises(TypeError) as info:
        ec([[1]], RaisingIndex(TypeError("nope")))
    assert str(info.value) == "argument 'maxrank': nope"
    assert info.value.__cause__ is None
    assert info.value.__suppress_context__ is True


@pytest.mark.parametrize(
    "exc",
    [MyTypeError("sub"), ValueError("value"), KeyError("key"), ZeroDivisionError("zero"), KeyboardInterrupt()],
)
def test_other_errors_pass_unchanged(exc):
    with pytest.raises(BaseException) as info:
        eo([[RaisingIndex(exc)]])
    assert info.value is exc


class RaisingIter:
    def __init__(self, exc):
        self.exc = exc

    def __len__(self):
        return 1

    def __getitem__(self, i):
        return 0

    def __iter__(self):
        raise self.exc


@pytest.mark.parametrize("level", ["outer", "inner"])
def test_iteration_errors(level):
    exc = RuntimeError("no iteration")
    adj = RaisingIter(exc) if level == "outer" else [RaisingIter(exc)]
    with pytest.raises(RuntimeError) as info:
        eo(adj)
    assert info.value is exc
    with pytest.raises(TypeError, match=r"^argument 'adj': iter failed$"):
        eo(RaisingIter(TypeError("iter failed")) if level == "outer" else [RaisingIter(TypeError("iter failed"))])


class LyingLen:
    def __init__(self, items, length):
        self.items, self.length = items, length

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return self.length

    def __getitem__(self, i):
        return self.items[i]


@pytest.mark.parametrize("length", [0, 1, 5, 1000, ValueError("no length"), OverflowError("too long")])
def test_reported_length_is_only_a_hint(length):
    assert eo(LyingLen([LyingLen([1], length), LyingLen([0], length)], length)) == EXPECTED


@pytest.mark.parametrize(
    "adj",
    [[range(2**60)], range(2**59), [[], range(2**61)]],
)
def test_lengths_beyond_reservation_limits(adj, panic_type):
    with pytest.raises(panic_type) as info:
        eo(adj)
    assert info.value.args == ("capacity overflow",)


@pytest.mark.parametrize("adj", [[range(2**40)], [LyingLen([0], 2**50)], LyingLen([[0]], 2**55)])
def test_unreservable_lengths_raise_memory_error(adj):
    with pytest.raises(MemoryError):
        eo(adj)
    assert eo([[1], [0]]) == EXPECTED
