"""Building argument objects from blueprints: plain values, containers of
every kind, and hostile objects whose methods act while the module converts
them.  What they did is recorded in a Context, which the oracle reads."""

from __future__ import annotations

import array
import contextlib
from dataclasses import dataclass, field

import numpy as np

import vexa

from .oracle import Violation, expect_call, judge_exact, judge_loose
from .surface import FUNCTIONS, HUGE, U64, PanicException, invoke

# ---------------------------------------------------------------------------
# Hostile objects.

class HostileError(Exception):
    """Raised by hostile argument code; must reach the caller unchanged."""


class HostileTypeError(TypeError):
    """A TypeError subclass: passes unchanged, without the parameter name."""


class HostileBaseError(BaseException):
    """Not an Exception at all; passes unchanged too."""



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
    elif layout in ("own-dtype", "restated"):
        # A dtype object of the array's own, which the module sees first
        # here; "restated" has the module read it once, then turns its byte
        # order round in place.
        dt = np.dtype(a.dtype, metadata={"own": True})
        a = a.view(dt)
        if layout == "restated" and dt.byteorder in "<>=":
            # Only integer dtypes are read; the module refuses the others,
            # which is its answer here, not a fault of the build.
            with contextlib.suppress(TypeError, OverflowError):
                vexa.enumerate_cliques_with_weights_edgeonly([np.zeros(1, dtype=dt)])
            swapped = dt.newbyteorder("S")
            dt.__setstate__((3, swapped.byteorder, None, None, None, -1, -1, 0))
    return a


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


