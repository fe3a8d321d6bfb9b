"""Fuzz harness for the vexa module.

Arbitrary calls of the four functions are generated as *blueprints* (plain
tuples, so that hypothesis can shrink and print them), built into real
argument objects, and the outcome of each call is judged:

* Blueprints whose objects run no side effects while they are converted are
  judged exactly: a Python mirror of the binding and conversion rules, built
  on the same interpreter operations the module uses, predicts the exception
  (type and message) or the converted lists, and Python reference versions of
  the computations predict the result.
* Blueprints with hostile objects (methods that raise, mutate the object
  being converted, call vexa again or fail with PanicException) are judged by
  the set of outcomes a call may have: a well-formed result, or one of the
  exceptions the module raises, with its message, or the very exception the
  argument's own code raised.

In every case the interpreter must survive.  The module is imported from
wherever PYTHONPATH points, so the same harness runs against the normal and
the sanitizer build.
"""

from __future__ import annotations

import array
import ctypes
import io
import itertools
import operator
import os
import re
import sys
import tempfile
from collections import Counter, deque
from dataclasses import dataclass, field

import numpy as np
from hypothesis import strategies as st

import vexa

# ---------------------------------------------------------------------------
# The functions and what they may raise.

FUNCTIONS = {
    "enumerate_cliques_with_weights": ("nbrs", "maxrank"),
    "enumerate_cliques_with_weights_noprune": ("nbrs", "maxrank"),
    "maxclique_decompose_with_weights": ("adj", "maxrank"),
    "enumerate_cliques_with_weights_edgeonly": ("adj",),
}
NAMES = tuple(FUNCTIONS)
F_PRUNED, F_NOPRUNE, F_DECOMPOSE, F_EDGEONLY = NAMES

# While a function still ends in NotImplementedError after converting its
# arguments, that error is an accepted outcome of that function only, and the
# checks of its results are skipped.  Functions that compute are found by
# probing them once at import.  Set this to False once all four compute:
# NotImplementedError then fails every check.
ACCEPT_NOT_IMPLEMENTED = False


def _probe_not_implemented() -> frozenset:
    if not ACCEPT_NOT_IMPLEMENTED:
        return frozenset()
    pending = set()
    for name, params in FUNCTIONS.items():
        try:
            getattr(vexa, name)([[]], *([1] * (len(params) - 1)))
        except NotImplementedError:
            pending.add(name)
        except BaseException:  # noqa: BLE001 - only NotImplementedError matters here
            pass
    return frozenset(pending)


NOT_IMPLEMENTED = _probe_not_implemented()


def _panic_type():
    try:
        vexa.enumerate_cliques_with_weights_edgeonly([range(2**61)])
    except BaseException as exc:  # noqa: BLE001
        return type(exc)
    raise AssertionError("a length above the reservable limit did not fail")


PanicException = _panic_type()

STR_MESSAGE = "Can't extract `str` to `Vec`"
CAPACITY_OVERFLOW = "capacity overflow"
UNWRAPPED = "Unwrapped panic from Python code"
NO_ENTRY = "no entry found for key"
INDEX_OUT_OF_BOUNDS = re.compile(r"index out of bounds: the len is (\d+) but the index is (\d+)")
NOTICE = "Python stack trace below:"

# Outer and node-list lengths above these cannot be reserved at all.
MAX_OUTER = 384307168202282325
MAX_INNER = 2**60 - 1
# Lengths from here on are beyond any machine's memory (8 TiB and more of
# 8-byte entries); the harness reports no length between its small real
# lengths and this one, so a reservation either fits or surely fails.
HUGE = 2**40

U64 = 2**64


def wrap64(v: int) -> int:
    v &= U64 - 1
    return v - U64 if v >= 2**63 else v


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
# Hostile objects.

class HostileError(Exception):
    """Raised by hostile argument code; must reach the caller unchanged."""


class HostileTypeError(TypeError):
    """A TypeError subclass: passes unchanged, without the parameter name."""


class HostileBaseError(BaseException):
    """Not an Exception at all; passes unchanged too."""


class Violation(AssertionError):
    pass


@dataclass
class Context:
    """What the hostile objects of one generated call did."""

    call: tuple = ()                      # (function, args, kwargs) of the call
    armed: bool = False                   # actions run only while a call runs
    depth: int = 0                        # nesting of re-entrant calls
    mutables: list = field(default_factory=list)
    raised: list = field(default_factory=list)
    panics: int = 0
    fired: int = 0
    big_length: bool = False              # some object reported a HUGE length
    violations: list = field(default_factory=list)

    def run(self, action, hook):
        """Runs one hook's action; `hook` is the object's fire budget."""
        if not self.armed or action[0] == "none" or hook.budget <= 0:
            return
        hook.budget -= 1
        self.fired += 1
        kind = action[0]
        if kind == "raise":
            exc = make_exception(action[1])
            self.raised.append(exc)
            raise exc
        if kind == "panic":
            self.panics += 1
            if action[1] == "call":
                vexa.enumerate_cliques_with_weights_edgeonly([range(2**61)])
                raise AssertionError("unreachable: the inner call must fail")
            raise PanicException("raised by argument code")
        if kind == "reenter":
            self.reenter(action[1], action[2])
            return
        if kind == "mutate":
            if self.mutables:
                mutate(self.mutables[action[2] % len(self.mutables)], action[1])
            return
        raise AssertionError(f"unknown action {action!r}")

    def reenter(self, target, name):
        if target == "plain":
            outcome = invoke(getattr(vexa, name), ([[1], [0]],) + (2,) * (len(FUNCTIONS[name]) - 1), {})
            try:
                judge_exact(name, outcome, expect_call(name, ([[1], [0]], 2)[: len(FUNCTIONS[name])], {}))
            except Violation as v:
                self.violations.append(f"re-entrant plain call: {v}")
            return
        if self.depth >= 2:
            return
        fname, args, kwargs = self.call
        self.depth += 1
        try:
            outcome = invoke(getattr(vexa, fname), args, kwargs)
        finally:
            self.depth -= 1
        try:
            judge_loose(fname, outcome, self, nested=True)
        except Violation as v:
            self.violations.append(f"re-entrant call: {v}")
        if outcome[0] == "raise":
            if isinstance(outcome[1], PanicException):
                self.panics += 1  # it goes back into the module from argument code
            self.raised.append(outcome[1])
            raise outcome[1]


def make_exception(kind):
    if kind == "exc":
        return HostileError("hostile")
    if kind == "type":
        return TypeError("hostile type error")
    if kind == "type_cause":
        exc = TypeError("hostile type error with a cause")
        exc.__cause__ = HostileError("the cause")
        return exc
    if kind == "typesub":
        return HostileTypeError("hostile TypeError subclass")
    if kind == "base":
        return HostileBaseError("hostile BaseException")
    raise AssertionError(kind)


def mutate(target, op):
    try:
        if op == "clear":
            del target[:]
        elif op == "pop":
            if len(target):
                target.pop()
        elif op == "append":
            target.append(1)
        elif op == "append_str":
            target.append("x" if isinstance(target, list) else 2)
        elif op == "insert_front":
            target.insert(0, 0)
        elif op == "del_front":
            del target[:1]
        elif op == "replace_all":
            target[:] = [[0]] if isinstance(target, list) else b"\x00"
    except Exception:  # noqa: BLE001 - only the mutation matters
        pass


MUTATIONS = ("clear", "pop", "append", "append_str", "insert_front", "del_front", "replace_all")


class _Hook:
    __slots__ = ("budget",)

    def __init__(self, budget=2):
        self.budget = budget


class HIndex:
    """An integer through __index__, running an action first."""

    def __init__(self, value, action, ctx):
        self.value, self.action, self.ctx, self.hook = value, action, ctx, _Hook()

    def __index__(self):
        self.ctx.run(self.action, self.hook)
        return self.value

    def __repr__(self):
        return f"HIndex({self.value!r}, {self.action!r})"


class _HSeqBase:
    """A sequence over a live list, with hooks on length, iteration and class."""

    def __init__(self, items, plan, ctx):
        self.items, self.plan, self.ctx = items, plan, ctx
        self.hooks = {k: _Hook() for k in ("len", "iter", "step", "getitem", "class")}

    def _len(self):
        mode = self.plan["len"]
        self.ctx.run(self.plan["len_action"], self.hooks["len"])
        if mode == "true":
            return len(self.items)
        if mode == "more":
            return len(self.items) + 3
        if mode == "less":
            return max(len(self.items) - 1, 0)
        if mode == "zero":
            return 0
        if mode == "badtype":
            return "3"
        if mode == "negative":
            return -1
        if mode == "overflow":
            return 2**70
        return mode  # a fixed (lying) number

    def __getitem__(self, i):
        if i == self.plan["step_at"]:
            self.ctx.run(self.plan["step_action"], self.hooks["getitem"])
        return self.items[i]

    def _iter(self):
        self.ctx.run(self.plan["iter_action"], self.hooks["iter"])
        if self.plan["iter"] == "noniter":
            return 5
        return self._generate()

    def _generate(self):
        i = 0
        while i < len(self.items):
            if i == self.plan["step_at"]:
                self.ctx.run(self.plan["step_action"], self.hooks["step"])
            if i >= len(self.items):
                return
            yield self.items[i]
            i += 1

    def _class(self):
        self.ctx.run(self.plan["class_action"], self.hooks["class"])
        return str if self.plan["class_is_str"] else type(self)

    def __repr__(self):
        return f"{type(self).__name__}({self.items!r})"


def _make_seq_class(has_len, has_iter, has_class):
    ns = {}
    if has_len:
        ns["__len__"] = lambda self: self._len()
    if has_iter:
        ns["__iter__"] = lambda self: self._iter()
    if has_class:
        ns["__class__"] = property(lambda self: self._class())
    name = "HSeq" + ("Len" if has_len else "") + ("Iter" if has_iter else "") + ("Class" if has_class else "")
    return type(name, (_HSeqBase,), ns)


SEQ_CLASSES = {
    (a, b, c): _make_seq_class(a, b, c) for a in (True, False) for b in (True, False) for c in (True, False)
}


class ListSub(list):
    """A list subclass: converted through the iterator protocol."""


class HMeta(type):
    """Metaclass whose __qualname__ runs an action (read for the error text)."""

    def __getattribute__(cls, name):
        if name == "__qualname__":
            ns = type.__getattribute__(cls, "__dict__")
            ns["_ctx"].run(ns["_action"], ns["_hook"])
            return ns["_qualname"]
        return type.__getattribute__(cls, name)


def make_weird_type(qualname, action, ctx):
    return HMeta("Weird", (), {"_ctx": ctx, "_action": action, "_hook": _Hook(), "_qualname": qualname})


# ---------------------------------------------------------------------------
# Blueprints: strategies.

SMALL = st.integers(0, 9)
BIG_INTS = st.sampled_from([2**63 - 1, 2**63, U64 - 1, U64, 2**100, -1, -(2**63), -U64, 10**30])
ACTION_NONE = ("none",)

actions = st.one_of(
    st.just(ACTION_NONE),
    st.tuples(st.just("raise"), st.sampled_from(["exc", "type", "type_cause", "typesub", "base"])),
    st.tuples(st.just("panic"), st.sampled_from(["call", "raise"])),
    st.tuples(st.just("reenter"), st.sampled_from(["plain", "self"]), st.sampled_from(NAMES)),
    st.tuples(st.just("mutate"), st.sampled_from(MUTATIONS), st.integers(0, 7)),
)
# Mostly quiet objects, so that hostile ones still meet real conversions.
maybe_action = st.one_of(st.just(ACTION_NONE), st.just(ACTION_NONE), actions)

NP_INT_DTYPES = ("int8", "int16", "int32", "int64", "uint8", "uint16", "uint32", "uint64")


@st.composite
def np_scalar(draw):
    dtype = draw(st.sampled_from(NP_INT_DTYPES + ("bool", "float64")))
    if dtype == "bool":
        return ("np", dtype, draw(st.booleans()))
    if dtype == "float64":
        return ("np", dtype, draw(st.floats(allow_nan=True)))
    info = np.iinfo(dtype)
    return ("np", dtype, draw(st.one_of(SMALL, st.sampled_from([int(info.min), int(info.max)]))))


# Integer arrays of every dtype and layout: the module reads some from their
# buffers and the others item by item; the outcome must be the same.
NP_ARRAY_DTYPES = NP_INT_DTYPES + ("intc", "uintc", "longlong", "ulonglong", "bool", "float64",
                                   ">i8", "<i8", ">u2", "<u4")
NP_ARRAY_VALUES = st.one_of(SMALL, st.integers(-(2**63), U64 - 1),
                            st.sampled_from([-1, -128, 2**63 - 1, U64 - 1]))
NP_ARRAYS = st.tuples(st.just("nparray"), st.sampled_from(NP_ARRAY_DTYPES),
                      st.sampled_from(["plain", "strided", "subclass", "memoryview", "unaligned"]),
                      st.lists(NP_ARRAY_VALUES, max_size=7))
NP_TABLES = st.tuples(st.just("nptable"), st.sampled_from(NP_ARRAY_DTYPES),
                      st.sampled_from(["plain", "plain", "fortran", "subclass"]),
                      st.integers(0, 5), st.integers(0, 5), NP_ARRAY_VALUES)


class NdSub(np.ndarray):
    pass


def build_nparray(bp):
    """An array of the blueprint's dtype and layout (values wrap into the dtype)."""
    kind, dtype, layout = bp[:3]
    if kind == "nparray":
        a = np.array([v % U64 for v in bp[3]], dtype=np.uint64).astype(dtype)
    else:
        rows, cols = bp[3], bp[4]
        a = (np.arange(rows * cols, dtype=np.uint64) * np.uint64(bp[5] % U64)).astype(dtype)
        a = a.reshape(rows, cols, order="F" if layout == "fortran" else "C")
    if layout == "strided":
        a = np.repeat(a, 2)[::2]
    elif layout == "subclass":
        a = a.view(NdSub)
    elif layout == "memoryview" and a.dtype.isnative:
        # (a memoryview of another byte order raises NotImplementedError when
        # iterated: an outcome the judging of hostile calls does not know)
        a = memoryview(a)
    elif layout == "unaligned":
        raw = np.zeros(a.nbytes + 1, dtype=np.uint8)
        raw[1:] = a.view(np.uint8)
        a = raw[1:].view(a.dtype)
    return a


def weighted(*pairs):
    """One of the strategies, each drawn in proportion to its weight."""
    return st.sampled_from([s for s, w in pairs for _ in range(w)]).flatmap(lambda s: s)


def items(depth=0):
    """Blueprints of what should be node numbers: mostly valid ones."""
    leaves = [
        (st.tuples(st.just("int"), SMALL), 14),
        (st.tuples(st.just("int"), BIG_INTS), 2),
        (st.tuples(st.just("bool"), st.booleans()), 1),
        (np_scalar(), 2),
        (st.tuples(st.just("idx"), SMALL, actions), 3),
        (st.tuples(st.just("idx"), st.one_of(SMALL, BIG_INTS, st.just("notint"), st.just(True)), maybe_action), 1),
        (st.tuples(st.just("float"), st.floats()), 1),
        (st.tuples(st.just("str"), st.text(max_size=3)), 1),
        (st.tuples(st.just("bytes"), st.binary(max_size=3)), 1),
        (st.just(("none",)), 1),
    ]
    if depth == 0:
        leaves.append((st.deferred(lambda: NODE_LISTS), 1))
    return weighted(*leaves)


def seq_plan():
    return st.fixed_dictionaries({
        "len": weighted(
            (st.just("true"), 4),
            (st.sampled_from(["more", "less", "zero", "badtype", "negative", "overflow"]), 2),
            (st.sampled_from([HUGE, 2**50, MAX_INNER, MAX_INNER + 1, MAX_OUTER, MAX_OUTER + 1, sys.maxsize]), 1),
        ),
        "len_action": maybe_action,
        "iter": st.sampled_from(["gen", "gen", "gen", "noniter"]),
        "iter_action": maybe_action,
        "step_at": st.integers(0, 4),
        "step_action": maybe_action,
        "class_action": maybe_action,
        "class_is_str": st.sampled_from([False, False, False, True]),
        "has_len": st.booleans(),
        "has_iter": st.booleans(),
        "has_class": st.sampled_from([False, False, True]),
    })


def containers(children, max_size):
    """Every kind of sequence (and non-sequence) at one level, mostly valid ones."""
    kids = st.lists(children, max_size=max_size)
    small_ints = st.lists(SMALL, max_size=max_size)
    return weighted(
        (st.tuples(st.just("list"), kids), 12),
        (st.tuples(st.just("tuple"), kids), 3),
        (st.tuples(st.just("listsub"), kids), 1),
        (st.tuples(st.just("seq"), kids, seq_plan()), 6),
        (st.tuples(st.just("range"), st.integers(-2, 9), st.integers(-2, 9), st.sampled_from([1, 2, -1])), 2),
        (st.tuples(st.just("hugerange"),
                   st.sampled_from([HUGE, MAX_OUTER, MAX_OUTER + 1, MAX_INNER, MAX_INNER + 1, 2**62])), 1),
        (st.tuples(st.just("bytes"), st.binary(max_size=max_size)), 1),
        (st.tuples(st.just("bytearray"), st.binary(max_size=max_size)), 1),
        (st.tuples(st.just("memoryview"), st.binary(max_size=max_size)), 1),
        (st.tuples(st.just("array"), st.sampled_from("bBhHiIlLqQ"), small_ints), 1),
        (st.tuples(st.just("ndarray"), st.sampled_from(NP_INT_DTYPES + ("bool", "float64")), small_ints), 2),
        (NP_ARRAYS, 2),
        (st.tuples(st.just("ndobject"), kids), 1),
        (st.just(("ndarray0d",)), 1),
        (st.tuples(st.just("str"), st.text(max_size=3)), 1),
        (st.tuples(st.just("strsub"), st.text(max_size=3)), 1),
        (st.tuples(st.just("nonseq"), st.sampled_from(["dict", "set", "gen", "iter", "int", "none", "float"])), 1),
        (st.tuples(st.just("weird"), st.sampled_from(["Weird", 5, "bad\udcffname"]), maybe_action), 1),
    )


def valid_containers(children, max_size):
    """Sequences that convert (unless a hostile object acts up)."""
    kids = st.lists(children, max_size=max_size)
    small_ints = st.lists(SMALL, max_size=max_size)
    return weighted(
        (st.tuples(st.just("list"), kids), 8),
        (st.tuples(st.just("tuple"), kids), 2),
        (st.tuples(st.just("listsub"), kids), 1),
        (st.tuples(st.just("seq"), kids, seq_plan()), 3),
        (st.tuples(st.just("range"), st.integers(0, 9), st.integers(0, 9), st.sampled_from([1, 2, -1])), 1),
        (st.tuples(st.just("bytes"), st.binary(max_size=max_size).map(lambda b: bytes(x % 10 for x in b))), 1),
        (st.tuples(st.just("ndarray"), st.sampled_from(NP_INT_DTYPES), small_ints), 1),
    )


VALID_ITEMS = weighted(
    (st.tuples(st.just("int"), SMALL), 12),
    (st.tuples(st.just("bool"), st.booleans()), 1),
    (st.tuples(st.just("np"), st.sampled_from(NP_INT_DTYPES), SMALL), 1),
    (st.tuples(st.just("idx"), SMALL, maybe_action), 2),
)

# Built once: making strategy objects is costly.
NODE_LISTS = containers(items(depth=1), max_size=7)
NEIGHBOUR_LISTS = weighted(
    (valid_containers(valid_containers(VALID_ITEMS, 7), 7), 12),
    (containers(NODE_LISTS, max_size=7), 12),
    (NP_TABLES, 1),
    (st.tuples(st.just("ndarray2d"), st.sampled_from(NP_INT_DTYPES + ("float64",)),
               st.integers(0, 5), st.integers(0, 5), SMALL), 1),
)
MAXRANKS = weighted((st.tuples(st.just("int"), st.integers(0, 5)), 8), (items(), 1))

ODD_KEYWORDS = st.one_of(
    st.sampled_from(["\udcff", "nbrs\udc80", "\ud800", "NBRS", "maxrank ", "adj\x00", "", "ädj", "maxrank" * 40, "🦀"]),
    st.text(max_size=6),
)


RARELY = st.sampled_from([False] * 15 + [True])


@st.composite
def calls(draw):
    """A call blueprint: (function, positional blueprints, keyword blueprints)."""
    name = draw(st.sampled_from(NAMES))
    params = FUNCTIONS[name]
    values = {params[0]: draw(NEIGHBOUR_LISTS)}
    if len(params) > 1:
        values[params[1]] = draw(MAXRANKS)
    n = len(params)
    npos = draw(st.sampled_from([n] * 12 + list(range(n + 2))))
    positional = [values[p] for p in params[:npos]]
    positional += [draw(MAXRANKS) for _ in range(npos - n)]
    keywords = []
    for p in params[npos:]:
        if not draw(RARELY):  # else: left out
            keywords.append((p, values[p]))
    if npos and draw(RARELY):  # the same parameter twice
        keywords.append((params[draw(st.integers(0, min(npos, n) - 1))], ("int", 1)))
    if draw(RARELY):
        keywords.append((draw(ODD_KEYWORDS), ("int", 0)))
    keywords = draw(st.permutations(keywords)) if keywords else []
    # Python cannot pass one keyword twice: keep the first.
    seen, unique = set(), []
    for k, v in keywords:
        if k not in seen:
            seen.add(k)
            unique.append((k, v))
    return (name, tuple(positional), tuple(unique))


# ---------------------------------------------------------------------------
# Building objects from blueprints.

def is_quiet(bp) -> bool:
    """True if no object of the blueprint runs an action."""
    if isinstance(bp, tuple):
        if bp and bp[0] == "none" and len(bp) == 1:
            return True
        if bp and bp[0] in ("raise", "panic", "reenter", "mutate"):
            return False
        return all(is_quiet(x) for x in bp)
    if isinstance(bp, dict):
        return all(is_quiet(v) for v in bp.values())
    if isinstance(bp, list):
        return all(is_quiet(x) for x in bp)
    return True


def build(bp, ctx):
    kind = bp[0]
    if kind == "int":
        return bp[1]
    if kind == "bool":
        return bp[1]
    if kind == "np":
        return np.dtype(bp[1]).type(bp[2])
    if kind == "idx":
        value = bp[1]
        if value == "notint":
            value = "not an int"
        return HIndex(value, bp[2], ctx)
    if kind == "float":
        return bp[1]
    if kind == "str":
        return bp[1]
    if kind == "strsub":
        return type("StrSub", (str,), {})(bp[1])
    if kind == "bytes":
        return bytes(bp[1])
    if kind == "none":
        return None
    if kind == "list":
        out = [build(x, ctx) for x in bp[1]]
        ctx.mutables.append(out)
        return out
    if kind == "listsub":
        out = ListSub(build(x, ctx) for x in bp[1])
        ctx.mutables.append(out)
        return out
    if kind == "tuple":
        return tuple(build(x, ctx) for x in bp[1])
    if kind == "seq":
        plan = bp[2]
        cls = SEQ_CLASSES[(plan["has_len"], plan["has_iter"], plan["has_class"])]
        kids = [build(x, ctx) for x in bp[1]]
        ctx.mutables.append(kids)
        if plan["has_len"] and isinstance(plan["len"], int) and plan["len"] >= HUGE:
            ctx.big_length = True
        return cls(kids, plan, ctx)
    if kind == "range":
        return range(bp[1], bp[2], bp[3])
    if kind == "hugerange":
        ctx.big_length = True
        return range(bp[1])
    if kind == "bytearray":
        out = bytearray(bp[1])
        ctx.mutables.append(out)
        return out
    if kind == "memoryview":
        return memoryview(bytes(bp[1]))
    if kind == "array":
        return array.array(bp[1], bp[2])
    if kind == "ndarray":
        return np.array(bp[2], dtype=bp[1])
    if kind in ("nparray", "nptable"):
        return build_nparray(bp)
    if kind == "ndobject":
        kids = [build(x, ctx) for x in bp[1]]
        out = np.empty(len(kids), dtype=object)
        for i, k in enumerate(kids):
            out[i] = k
        return out
    if kind == "ndarray0d":
        return np.array(3)
    if kind == "ndarray2d":
        _, dtype, rows, cols, fill = bp
        return np.full((rows, cols), fill, dtype=dtype)
    if kind == "nonseq":
        return {"dict": lambda: {0: [1]}, "set": lambda: {1, 2}, "gen": lambda: (i for i in [[1]]),
                "iter": lambda: iter([[1]]), "int": lambda: 7, "none": lambda: None,
                "float": lambda: 1.5}[bp[1]]()
    if kind == "weird":
        return make_weird_type(bp[1], bp[2], ctx)()
    raise AssertionError(f"unknown blueprint {bp!r}")


def build_call(bp, ctx):
    name, positional, keywords = bp
    args = tuple(build(x, ctx) for x in positional)
    kwargs = {k: build(v, ctx) for k, v in keywords}
    ctx.call = (name, args, kwargs)
    return args, kwargs


def invoke(func, args, kwargs):
    try:
        return ("ok", func(*args, **kwargs))
    except BaseException as exc:  # noqa: BLE001 - every outcome is judged
        return ("raise", exc)


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
# Reference computations.

def ref_edgeonly(lists):
    n = len(lists)
    cliques = [[i] for i in range(n)]
    weights = [wrap64(1 - len(l)) for l in lists]
    for i, l in enumerate(lists):
        for j in l:
            if j > i:
                cliques.append([i, j])
                weights.append(1)
    return cliques, weights


def ref_enumerate(lists, maxrank):
    n = len(lists)
    result = [[v] for v in range(n)]
    queue = deque(list(l) for l in lists)
    cursor = 0
    while cursor < len(result):
        clique = result[cursor]
        if len(clique) == maxrank:
            break
        cands = queue.popleft()
        for j, k in enumerate(cands):
            result.append(clique + [k])
            if k >= n:
                raise Expected(PanicException, f"index out of bounds: the len is {n} but the index is {k}")
            nk = set(lists[k])
            queue.append([x for x in cands[j + 1:] if x in nk])
        cursor += 1
    return result


def sub_cliques(clique, proper):
    n = len(clique)
    for k in range(1, n if proper else n + 1):
        for pos in itertools.combinations(range(n), k):
            yield tuple(clique[p] for p in pos)


def ref_weights(cliques, pruned):
    position = {tuple(c): i for i, c in enumerate(cliques)}
    for c in cliques:
        for s in sub_cliques(c, proper=True):
            if s not in position:
                raise Expected(PanicException, NO_ENTRY)
    weights = [0] * len(cliques)
    if pruned:
        for i in range(len(cliques) - 1, -1, -1):
            w = 1 - weights[i]
            if w:
                for s in sub_cliques(cliques[i], proper=True):
                    weights[position[s]] += w
            weights[i] = w
    else:
        for c in cliques:
            for s in sub_cliques(c, proper=False):
                weights[position[s]] += 1 if (len(c) + len(s)) % 2 == 0 else -1
    return [wrap64(w) for w in weights]


# Budget of the reference enumeration, so that the checks stay fast.
REF_LIMIT = 20000


def expect_result(name, lists, maxrank):
    """("ok", (cliques, weights)) / ("raise", Expected) / ("shape", ...) for converted input."""
    if name == F_EDGEONLY:
        return ("ok", ref_edgeonly(lists))
    if name == F_DECOMPOSE:
        if not lists:  # a graph without nodes has no cliques
            return ("ok", ([], []))
        return ("shape",)
    # Both weightings enumerate the same cliques and fail on the same lists.
    try:
        cliques = ref_enumerate(lists, maxrank)
        if len(cliques) > REF_LIMIT:
            return ("shape",)
        weights = ref_weights(cliques, pruned=name == F_PRUNED)
    except Expected as e:
        return ("raise", e)
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
    """Judges a quiet call against the mirror and the references."""
    if outcome[0] == "raise" and type(outcome[1]) is NotImplementedError and name in NOT_IMPLEMENTED \
            and not (expected[0] == "raise"):
        return
    if expected[0] == "raise":
        e = expected[1]
        if outcome[0] != "raise" or not _matches(outcome[1], e):
            raise Violation(f"expected {e.type.__name__}({e.message!r}), got {describe(outcome)}")
        return
    _, lists, maxrank = expected
    if name in NOT_IMPLEMENTED:
        raise Violation(f"{name} is listed as not implemented but gave {describe(outcome)}")
    want = expect_result(name, lists, maxrank)
    if want[0] == "raise":
        e = want[1]
        if outcome[0] != "raise" or not _matches(outcome[1], e):
            raise Violation(f"expected {e.type.__name__}({e.message!r}), got {describe(outcome)}")
        return
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
    if t is NotImplementedError and name in NOT_IMPLEMENTED:
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


# ---------------------------------------------------------------------------
# One generated call, start to finish.

STATS = {"calls": 0, "quiet": 0, "hostile": 0, "fired": 0, "outcomes": Counter()}


def run_one(bp):
    """Builds, calls and judges one blueprint; raises Violation on a fault."""
    name, _, _ = bp
    ctx = Context()
    args, kwargs = build_call(bp, ctx)
    quiet = is_quiet(bp)
    expected = expect_call(name, args, kwargs) if quiet else None
    func = getattr(vexa, name)
    with StderrTap() as tap:
        ctx.armed = True
        try:
            outcome = invoke(func, args, kwargs)
        finally:
            ctx.armed = False
    STATS["calls"] += 1
    STATS["outcomes"]["result" if outcome[0] == "ok" else type(outcome[1]).__name__] += 1
    STATS["fired"] += ctx.fired
    if ctx.violations:
        raise Violation("; ".join(ctx.violations))
    if quiet:
        STATS["quiet"] += 1
        if tap.native or tap.python:
            raise Violation(f"a call wrote to standard error: {(tap.native + tap.python)[:300]!r}")
        judge_exact(name, outcome, expected)
    else:
        STATS["hostile"] += 1
        judge_loose(name, outcome, ctx)
        if ctx.panics and NOTICE not in tap.native:
            raise Violation("no notice on standard error for a fetched PanicException")
        if ctx.panics and "PanicException" not in tap.python:
            raise Violation("the fetched PanicException was not printed")
    return outcome
