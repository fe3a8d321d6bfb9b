"""The oracle: what a call may do.

A call whose objects run no code while converted is judged exactly: a
mirror of the binding and conversion rules, built on the interpreter
operations the module itself uses, predicts the exception or the converted
lists, and the plain-Python models (models/) predict the result.  A call
with hostile objects is judged by the set of outcomes it may have.
"""

from __future__ import annotations

import ctypes
import io
import operator
import os
import re
import sys
import tempfile

import models

from .surface import (CAPACITY_OVERFLOW, F_DECOMPOSE, F_EDGEONLY, F_NOPRUNE, F_PRUNED, FUNCTIONS, HUGE,
                      INDEX_OUT_OF_BOUNDS, MAX_INNER, MAX_OUTER, NO_ENTRY, STR_MESSAGE, U64, UNWRAPPED,
                      PanicException)


class Violation(AssertionError):
    """A call's outcome that the oracle does not allow."""


# ---------------------------------------------------------------------------
# Exact copies of the interpreter operations the conversion uses.

_api = ctypes.pythonapi
_api.PySequence_Check.argtypes = [ctypes.py_object]
_api.PySequence_Check.restype = ctypes.c_int
_api.PySequence_Size.argtypes = [ctypes.py_object]
_api.PySequence_Size.restype = ctypes.c_ssize_t
_api.PyLong_AsUnsignedLongLong.argtypes = [ctypes.py_object]
_api.PyLong_AsUnsignedLongLong.restype = ctypes.c_ulonglong


def sequence_check(obj) -> bool:
    return _api.PySequence_Check(obj) == 1


def sequence_size(obj) -> int:
    """PySequence_Size, with a failing length read as 0 (nothing reserved)."""
    try:
        return _api.PySequence_Size(obj)
    except BaseException:  # noqa: BLE001 - the module discards it too
        return 0


def as_u64(index_value: int) -> int:
    return _api.PyLong_AsUnsignedLongLong(index_value)


def lossy(text: str) -> str:
    return text.encode("utf-8", "surrogatepass").decode("utf-8", "replace")


# ---------------------------------------------------------------------------
# The mirror: what a quiet call must do.

class Expected(Exception):
    """An expected failure: (type, message, parameter to name or None)."""

    def __init__(self, type_, message, param=None, cause=None):
        super().__init__(type_, message, param)
        self.type, self.message, self.param, self.cause = type_, message, param, cause


def expect_binding(name, npos, kwnames):
    params = FUNCTIONS[name]
    n = len(params)
    if npos > n:
        raise Expected(TypeError, f"{name}() takes {n} positional arguments but {npos} "
                                  f"{'was' if npos == 1 else 'were'} given")
    filled = [i < npos for i in range(n)]
    for k in kwnames:
        if k not in params:
            raise Expected(TypeError, f"{name}() got an unexpected keyword argument '{lossy(k)}'")
        i = params.index(k)
        if filled[i]:
            raise Expected(TypeError, f"{name}() got multiple values for argument '{k}'")
        filled[i] = True
    missing = [params[i] for i in range(npos, n) if not filled[i]]
    if missing:
        quoted = [f"'{m}'" for m in missing]
        listed = quoted[0] if len(quoted) == 1 else ", ".join(quoted[:-1]) + (
            "," if len(quoted) > 2 else "") + " and " + quoted[-1]
        raise Expected(TypeError, f"{name}() missing {len(missing)} required positional "
                                  f"{'argument' if len(missing) == 1 else 'arguments'}: {listed}")


def _fail_from(exc, param):
    """The failure a conversion sees when the interpreter raised `exc`."""
    if isinstance(exc, PanicException):
        raise Expected(PanicException, UNWRAPPED)
    if type(exc) is TypeError:
        raise Expected(TypeError, f"argument '{param}': {exc}", param, exc.__cause__)
    raise Expected(type(exc), str(exc))


def _qualname(obj):
    try:
        q = getattr(type(obj), "__qualname__")
        if isinstance(q, str):
            q.encode("utf-8")
            return q
    except BaseException:  # noqa: BLE001
        pass
    return "<failed to extract type name>"


def expect_index(obj, param):
    try:
        value = operator.index(obj)
    except BaseException as exc:  # noqa: BLE001
        _fail_from(exc, param)
    try:
        return as_u64(value)
    except BaseException as exc:  # noqa: BLE001
        _fail_from(exc, param)


def expect_list(obj, param, limit, inner):
    try:
        is_str = isinstance(obj, str)
    except BaseException:  # noqa: BLE001
        is_str = False
    if is_str:
        raise Expected(ValueError, STR_MESSAGE)
    if not sequence_check(obj):
        raise Expected(TypeError, f"argument '{param}': '{_qualname(obj)}' object cannot be converted "
                                  f"to 'Sequence'", param)
    length = sequence_size(obj)
    if length > limit:
        raise Expected(PanicException, CAPACITY_OVERFLOW)
    if length >= HUGE:
        raise Expected(MemoryError, "")
    out = []
    try:
        iterator = iter(obj)
    except BaseException as exc:  # noqa: BLE001
        _fail_from(exc, param)
    while True:
        try:
            item = next(iterator)
        except StopIteration:
            break
        except BaseException as exc:  # noqa: BLE001
            _fail_from(exc, param)
        out.append(expect_index(item, param) if inner else expect_list(item, param, MAX_INNER, True))
    return out


def expect_call(name, args, kwargs):
    """("raise", Expected) or ("ok", lists, maxrank) for a quiet call."""
    params = FUNCTIONS[name]
    try:
        expect_binding(name, len(args), list(kwargs))
        slots = dict(zip(params, args))
        slots.update(kwargs)
        lists = expect_list(slots[params[0]], params[0], MAX_OUTER, False)
        maxrank = expect_index(slots[params[1]], params[1]) if len(params) > 1 else None
    except Expected as e:
        return ("raise", e)
    return ("ok", lists, maxrank)


# ---------------------------------------------------------------------------
# Reference results, from the plain-Python models.

# Budget of the reference enumeration, so that the checks stay fast.
REF_LIMIT = 20000


def expect_result(name, lists, maxrank):
    """("ok", (cliques, weights)) / ("raise", Expected) / ("shape",) for converted input."""
    if name == F_EDGEONLY:
        return ("ok", models.edgeonly(lists))
    if name == F_DECOMPOSE:
        if not lists:  # a graph without nodes has no cliques
            return ("ok", ([], []))
        return ("shape",)
    # Both weightings enumerate the same cliques and fail on the same lists.
    try:
        cliques = models.walk(lists, maxrank)
        if len(cliques) > REF_LIMIT:
            return ("shape",)
        weights = (models.pruned_weights if name == F_PRUNED else models.noprune_weights)(cliques)
    except IndexError as e:
        return ("raise", Expected(PanicException, str(e)))
    except KeyError:
        return ("raise", Expected(PanicException, NO_ENTRY))
    return ("ok", (cliques, weights))


# ---------------------------------------------------------------------------
# Judging outcomes.

def check_shape(name, result, lists=None, maxrank=None):
    """A result is a tuple of two lists of equal length: lists of ints, ints."""
    if type(result) is not tuple or len(result) != 2:
        raise Violation(f"result is not a pair: {type(result)}")
    cliques, weights = result
    if type(cliques) is not list or type(weights) is not list:
        raise Violation("result items are not lists")
    if len(cliques) != len(weights):
        raise Violation(f"{len(cliques)} cliques but {len(weights)} weights")
    for c in cliques:
        if type(c) is not list:
            raise Violation(f"clique {c!r} is not a list")
        for v in c:
            if type(v) is not int or not 0 <= v < U64:
                raise Violation(f"node {v!r} in {c!r} is not a node number")
    for w in weights:
        if type(w) is not int or not -(2**63) <= w < 2**63:
            raise Violation(f"weight {w!r} is not a 64-bit int")
    if name == F_DECOMPOSE and lists is not None:
        check_decomposition(cliques, weights, len(lists), maxrank)


def check_decomposition(cliques, weights, n, maxrank):
    sizes = [len(c) for c in cliques]
    if sizes != sorted(sizes, reverse=True):
        raise Violation(f"decomposition not grouped by size, largest first: {sizes}")
    for c, w in zip(cliques, weights):
        if w == 0:
            raise Violation(f"{c} returned with weight 0")
        if c != sorted(set(c)) or any(v >= n for v in c):
            raise Violation(f"{c} is not an ascending clique of distinct nodes below {n}")
        if len(c) > maxrank:
            raise Violation(f"{c} has more than maxrank={maxrank} nodes")
    sets = [frozenset(c) for c in cliques]
    for s in sets:
        if s and sum(w for t, w in zip(sets, weights) if s <= t) != 1:
            raise Violation(f"weights of the cliques containing {sorted(s)} do not add up to 1")


def _matches(exc, e: Expected) -> bool:
    if type(exc) is not e.type:
        return False
    if e.type is MemoryError:
        return True
    text = exc.args[0] if e.type is PanicException and exc.args else str(exc)
    if text != e.message:
        return False
    if e.param is not None:
        return exc.__cause__ is e.cause and exc.__suppress_context__ is True
    return True


def judge_exact(name, outcome, expected):
    """Judges a quiet call against the mirror and the models."""
    want = expect_result(name, *expected[1:]) if expected[0] == "ok" else expected
    if want[0] == "raise":
        e = want[1]
        if outcome[0] != "raise" or not _matches(outcome[1], e):
            raise Violation(f"expected {e.type.__name__}({e.message!r}), got {describe(outcome)}")
        return
    _, lists, maxrank = expected
    if outcome[0] != "ok":
        raise Violation(f"expected a result, got {describe(outcome)}")
    check_shape(name, outcome[1], lists, maxrank)
    if want[0] == "ok" and (outcome[1][0], outcome[1][1]) != want[1]:
        raise Violation(f"result {outcome[1]!r} differs from the reference {want[1]!r}")


TYPE_ERROR_FORMS = {
    name: re.compile(
        rf"{name}\(\) (takes {len(p)} positional arguments but \d+ (was|were) given"
        rf"|got an unexpected keyword argument '.*'"
        rf"|got multiple values for argument '({'|'.join(p)})'"
        rf"|missing [12] required positional arguments?: .*)", re.S)
    for name, p in FUNCTIONS.items()
}


def judge_loose(name, outcome, ctx, nested=False):
    """Judges a call with hostile objects by the set of outcomes it may have."""
    if ctx.panics and not nested:
        exc = outcome[1] if outcome[0] == "raise" else None
        if type(exc) is not PanicException or exc.args != (UNWRAPPED,):
            raise Violation(f"a PanicException came back from argument code, got {describe(outcome)}")
        return
    if outcome[0] == "ok":
        check_shape(name, outcome[1])
        return
    exc = outcome[1]
    t = type(exc)
    params = FUNCTIONS[name]
    if any(exc is r for r in ctx.raised):
        if t is TypeError:
            raise Violation(f"TypeError {exc} passed without naming its parameter")
        return
    if t is TypeError:
        text = str(exc)
        if TYPE_ERROR_FORMS[name].fullmatch(text):
            return
        for p in params:
            prefix = f"argument '{p}': "
            if text.startswith(prefix):
                if exc.__suppress_context__ is not True:
                    raise Violation(f"named TypeError {text!r} does not suppress its context")
                sources = [r for r in ctx.raised if type(r) is TypeError and text == prefix + str(r)]
                if sources and not any(exc.__cause__ is r.__cause__ for r in sources):
                    raise Violation(f"named TypeError {text!r} lost the cause of the original")
                return
        raise Violation(f"unexpected TypeError {text!r}")
    if t is ValueError and str(exc) == STR_MESSAGE:
        return
    if t is OverflowError and not str(exc).startswith("argument "):
        return
    if t is MemoryError and ctx.big_length:
        return
    if t is PanicException:
        msg = exc.args[0] if len(exc.args) == 1 else None
        if msg == CAPACITY_OVERFLOW or (msg == UNWRAPPED and (ctx.panics or nested)):
            return
        if name in (F_PRUNED, F_NOPRUNE) and (msg == NO_ENTRY or INDEX_OUT_OF_BOUNDS.fullmatch(msg or "")):
            return
    raise Violation(f"outcome not allowed: {describe(outcome)}")


def describe(outcome):
    if outcome[0] == "ok":
        return f"result {outcome[1]!r}"[:500]
    exc = outcome[1]
    return f"{type(exc).__module__}.{type(exc).__qualname__}{exc.args!r}"[:500]


# ---------------------------------------------------------------------------
# Standard error of a call.

class StderrTap:
    """Collects what is written to standard error, at both levels: the file
    descriptor (the module's own notice) and sys.stderr (tracebacks)."""

    def __enter__(self):
        sys.stderr.flush()
        self._file = tempfile.TemporaryFile()
        self._saved_fd = os.dup(2)
        os.dup2(self._file.fileno(), 2)
        self._saved = sys.stderr
        self._python = io.StringIO()
        sys.stderr = self._python
        return self

    def __exit__(self, *exc):
        sys.stderr = self._saved
        self.python = self._python.getvalue()
        os.dup2(self._saved_fd, 2)
        os.close(self._saved_fd)
        self._file.seek(0)
        self.native = self._file.read().decode("utf-8", "replace")
        self._file.close()
        return False

