"""Blueprints of calls as hypothesis strategies.

A blueprint is a plain tuple (so that hypothesis can shrink and print it):
(function name, positional argument blueprints, (keyword, blueprint) pairs).
builders.build turns it into real objects."""

from __future__ import annotations

import sys

import numpy as np
from hypothesis import strategies as st

from .builders import MUTATIONS
from .surface import FUNCTIONS, HUGE, MAX_INNER, MAX_OUTER, NAMES, U64

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
                      st.sampled_from(["plain", "strided", "subclass", "memoryview", "unaligned",
                                       "own-dtype", "restated"]),
                      st.lists(NP_ARRAY_VALUES, max_size=7))
NP_TABLES = st.tuples(st.just("nptable"), st.sampled_from(NP_ARRAY_DTYPES),
                      st.sampled_from(["plain", "plain", "fortran", "subclass"]),
                      st.integers(0, 5), st.integers(0, 5), NP_ARRAY_VALUES)


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


