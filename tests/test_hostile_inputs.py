"""Argument objects that misbehave while they are converted.

Every call here must end in a result or a Python exception, never in a crash
or a read past what was reserved; afterwards the module works as before.
"""

import os
import subprocess
import sys
import textwrap

import pytest

import vexa
from models import edgeonly as reference_edgeonly
from hostile_objects import Index

edgeonly = vexa.enumerate_cliques_with_weights_edgeonly
SANITIZED = os.environ.get("VEXA_SANITIZE") == "1"


class Hostile(Exception):
    pass


class Seq:
    """A sequence over `items` whose length is whatever `length` says."""

    def __init__(self, items, length=None, on_len=None, on_iter=None):
        self.items, self.length, self.on_len, self.on_iter = items, length, on_len, on_iter

    def __len__(self):
        if self.on_len:
            self.on_len()
        return len(self.items) if self.length is None else self.length

    def __getitem__(self, i):
        return self.items[i]

    def __iter__(self):
        if self.on_iter:
            self.on_iter()
        return iter(self.items)


def raise_(exc):
    def action():
        raise exc
    return action


def still_works():
    assert edgeonly([[1], [0]]) == ([[0], [1], [0, 1]], [0, 0, 1])


# --- lengths that lie -----------------------------------------------------

@pytest.mark.parametrize("length", [0, 1, 2, 5, 1000], ids=lambda n: f"len={n}")
@pytest.mark.parametrize("level", ["outer", "inner"])
def test_lying_length_small_gives_the_true_items(level, length):
    lists = [[1, 2, 3], [0], [0], [0]]
    if level == "outer":
        arg = Seq(lists, length=length)
    else:
        arg = [Seq(lists[0], length=length)] + lists[1:]
    assert edgeonly(arg) == reference_edgeonly(lists)
    still_works()


@pytest.mark.parametrize("length", [2**40, 2**50, 2**58], ids=lambda n: f"len=2**{n.bit_length() - 1}")
@pytest.mark.parametrize("level", ["outer", "inner"])
def test_lying_length_unreservable_raises_memory_error(level, length):
    arg = Seq([[1], [0]], length=length) if level == "outer" else [Seq([1], length=length), [0]]
    with pytest.raises(MemoryError):
        edgeonly(arg)
    still_works()


@pytest.mark.parametrize("arg", [
    pytest.param([range(2**40)], id="inner range(2**40)"),
    pytest.param(range(2**40), id="outer range(2**40)"),
    pytest.param([range(2**60 - 1)], id="inner at the limit"),
    pytest.param(range(384307168202282325), id="outer at the limit"),
])
def test_impossible_reservation_raises_memory_error(arg):
    with pytest.raises(MemoryError):
        edgeonly(arg)
    still_works()


@pytest.mark.parametrize("arg", [
    pytest.param([Seq([], length=2**60)], id="inner above the limit"),
    pytest.param(Seq([], length=384307168202282326), id="outer above the limit"),
    pytest.param([Seq([], length=sys.maxsize)], id="inner sys.maxsize"),
])
def test_length_above_the_limit_is_capacity_overflow(arg, panic_type):
    with pytest.raises(panic_type) as info:
        edgeonly(arg)
    assert info.value.args == ("capacity overflow",)
    still_works()


@pytest.mark.parametrize("on_len, result_len", [
    (raise_(Hostile("len")), None),
    (raise_(TypeError("len")), None),
    (raise_(KeyboardInterrupt()), None),
    (None, "3"),        # __len__ returns a str
    (None, -1),         # ValueError
    (None, 2**70),      # OverflowError
], ids=["Exception", "TypeError", "KeyboardInterrupt", "str", "negative", "too big"])
def test_failing_length_is_ignored(on_len, result_len):
    # A length that cannot be read reserves nothing; the items are still read.
    lists = [[1], [0]]
    outer = Seq(lists, length=result_len, on_len=on_len)
    inner = [Seq([1], length=result_len, on_len=on_len), [0]]
    assert edgeonly(outer) == reference_edgeonly(lists)
    assert edgeonly(inner) == reference_edgeonly(lists)


# --- iteration and __index__ that raise ---------------------------------------

@pytest.mark.parametrize("make", [
    lambda exc: Seq([[1], [0]], on_iter=raise_(exc)),
    lambda exc: [Seq([1], on_iter=raise_(exc)), [0]],
    lambda exc: [[Index(1, raise_(exc))], [0]],
], ids=["outer __iter__", "inner __iter__", "__index__"])
@pytest.mark.parametrize("exc", [Hostile("boom"), OverflowError("own"), KeyboardInterrupt(), SystemExit(3)],
                         ids=lambda e: type(e).__name__)
def test_argument_exception_passes_unchanged(make, exc):
    with pytest.raises(BaseException) as info:
        edgeonly(make(exc))
    assert info.value is exc
    still_works()


@pytest.mark.parametrize("make", [
    lambda exc: Seq([[1], [0]], on_iter=raise_(exc)),
    lambda exc: [[Index(1, raise_(exc))], [0]],
], ids=["__iter__", "__index__"])
def test_argument_type_error_is_named_and_keeps_its_cause(make):
    cause = Hostile("the cause")
    exc = TypeError("bad item")
    exc.__cause__ = cause
    with pytest.raises(TypeError) as info:
        edgeonly(make(exc))
    assert str(info.value) == "argument 'adj': bad item"
    assert info.value is not exc
    assert info.value.__cause__ is cause
    assert info.value.__suppress_context__ is True


def test_maxrank_index_raising_passes_unchanged():
    exc = Hostile("maxrank")
    for name in ("enumerate_cliques_with_weights", "enumerate_cliques_with_weights_noprune",
                 "maxclique_decompose_with_weights"):
        with pytest.raises(Hostile) as info:
            getattr(vexa, name)([[1], [0]], Index(2, raise_(exc)))
        assert info.value is exc


def test_iterator_raising_midway():
    def gen():
        yield [1]
        raise Hostile("midway")

    class Lazy(Seq):
        def __iter__(self):
            return gen()

    with pytest.raises(Hostile, match="midway"):
        edgeonly(Lazy([]))
    still_works()


# --- mutation of the object being converted ---------------------------------------

def convert_in_python(outer):
    """The conversion as Python's own iteration does it (items re-read by index)."""
    out = []
    for inner in outer:
        if isinstance(inner, str):
            raise ValueError("Can't extract `str` to `Vec`")
        out.append([x.__index__() if isinstance(x, Index) else x for x in inner])
    return out


MUTATIONS = {
    "clear outer": lambda outer, inner: outer.clear(),
    "clear inner": lambda outer, inner: inner.clear(),
    "append to outer": lambda outer, inner: outer.append([0]),
    "append to inner": lambda outer, inner: inner.append(2),
    "insert at inner front": lambda outer, inner: inner.insert(0, 1),
    "replace outer items": lambda outer, inner: outer.__setitem__(slice(None), [[3], [4]]),
    "delete the converted item": lambda outer, inner: inner.__delitem__(slice(0, 2)),
    "replace inner by a str": lambda outer, inner: outer.__setitem__(-1, "ab"),
}


@pytest.mark.parametrize("mutation", MUTATIONS.values(), ids=MUTATIONS.keys())
@pytest.mark.parametrize("container", [list, tuple], ids=["list", "tuple outer"])
def test_index_mutating_the_lists_being_converted(mutation, container):
    def build():
        fired = []
        outer = []
        inner = [0]

        def action():
            if not fired:  # once, like a real side effect
                fired.append(1)
                mutation(outer, inner)

        inner.append(Index(1, action))
        inner.append(5)
        outer.extend([inner, [0, 2], [1]])
        return outer if container is list else tuple(outer), outer

    arg, _ = build()
    try:
        got = ("ok", edgeonly(arg))
    except ValueError as exc:
        got = ("raise", type(exc), str(exc))
    arg, _ = build()
    try:
        want = ("ok", reference_edgeonly(convert_in_python(arg)))
    except ValueError as exc:  # a str where a list is expected
        want = ("raise", ValueError, "Can't extract `str` to `Vec`")
    assert got == want
    still_works()


def test_length_shrinking_under_the_reader():
    # __len__ promises 50 items; the first item's __index__ empties the list.
    items = []
    seq = Seq(items, length=50)
    items.extend([Index(1, items.clear)] + list(range(49)))
    assert edgeonly([seq]) == ([[0], [0, 1]], [0, 1])


def test_iteration_growing_the_list_beyond_its_reported_length():
    items = [1]
    seq = Seq(items, length=1)
    items.append(Index(2, lambda: items.extend([3, 4]) if len(items) < 5 else None))
    assert edgeonly([seq]) == reference_edgeonly([[1, 2, 3, 4]])


# --- re-entrancy --------------------------------------------------------------------

@pytest.mark.parametrize("name", ["enumerate_cliques_with_weights", "enumerate_cliques_with_weights_noprune",
                                  "maxclique_decompose_with_weights", "enumerate_cliques_with_weights_edgeonly"])
def test_index_calling_vexa(name):
    inner_results = []
    args = ([[1], [0]], 2)[: 1 if name == "enumerate_cliques_with_weights_edgeonly" else 2]
    alone = getattr(vexa, name)(*args)

    def action():
        inner_results.append(getattr(vexa, name)(*args))

    lists = [[Index(1, action), Index(1, action)], [0]]
    assert edgeonly(lists) == reference_edgeonly([[1, 1], [0]])
    # The calls made in the middle of a conversion compute what a call alone does.
    assert inner_results == [alone, alone]


def test_unbounded_recursion_through_index_raises_recursion_error():
    class Deep:
        def __index__(self):
            return edgeonly([[self]])[0][0][0]

    with pytest.raises(RecursionError):
        edgeonly([[Deep()]])
    still_works()


def test_length_calling_vexa_on_the_same_argument():
    depth = []

    def on_len():
        if len(depth) < 3:
            depth.append(1)
            assert edgeonly(outer) == reference_edgeonly([[1], [0]])

    outer = Seq([[1], [0]], on_len=on_len)
    assert edgeonly(outer) == reference_edgeonly([[1], [0]])
    assert len(depth) == 3


# --- PanicException coming back from argument code ---------------------------------------

def failing_call():
    edgeonly([range(2**61)])  # capacity overflow


NOTICE_TAIL = "Python stack trace below:\n"


@pytest.mark.parametrize("make", [
    lambda: [[Index(1, failing_call)]],
    lambda: Seq([[1]], on_len=failing_call),
    lambda: Seq([[1]], on_iter=failing_call),
    lambda: [Seq([1], on_len=failing_call)],
], ids=["__index__", "outer __len__", "outer __iter__", "inner __len__"])
def test_fetched_panic_is_resumed_as_a_new_panic(make, panic_type, capfd):
    with pytest.raises(panic_type) as info:
        edgeonly(make())
    assert info.value.args == ("Unwrapped panic from Python code",)
    out, err = capfd.readouterr()
    assert out == ""
    lines = err.splitlines(keepends=True)
    # The two-line notice, then the fetched exception with its traceback.
    notice_at = lines.index(NOTICE_TAIL)
    assert notice_at == 1 and "PanicException" in lines[0]
    rest = "".join(lines[2:])
    assert rest.startswith("Traceback (most recent call last):\n")
    assert "failing_call" in rest
    assert rest.rstrip().endswith("PanicException: capacity overflow")
    still_works()


def test_fetched_panic_in_maxrank(panic_type, capfd):
    for name in ("enumerate_cliques_with_weights", "enumerate_cliques_with_weights_noprune",
                 "maxclique_decompose_with_weights"):
        with pytest.raises(panic_type) as info:
            getattr(vexa, name)([[1], [0]], Index(2, failing_call))
        assert info.value.args == ("Unwrapped panic from Python code",)
        assert NOTICE_TAIL in capfd.readouterr().err


def test_panic_raised_directly_by_argument_code(panic_type, capfd):
    def action():
        raise panic_type("made in Python")

    with pytest.raises(panic_type) as info:
        edgeonly([[Index(1, action)]])
    assert info.value.args == ("Unwrapped panic from Python code",)
    assert "PanicException: made in Python" in capfd.readouterr().err


def test_panic_handled_by_argument_code_is_not_resumed(panic_type, capfd):
    def action():
        try:
            failing_call()
        except panic_type:
            pass

    assert edgeonly([[Index(1, action)], [0]]) == reference_edgeonly([[1], [0]])
    assert capfd.readouterr().err == ""


def test_discarded_panic_in_str_check_and_type_name(panic_type, capfd):
    # isinstance(obj, str) reads __class__; the type name is read for the
    # message.  Both failures are otherwise discarded, but a PanicException
    # is never discarded silently.
    class Sneaky(Seq):
        @property
        def __class__(self):
            failing_call()

    with pytest.raises(panic_type) as info:
        edgeonly(Sneaky([[1]]))
    assert info.value.args == ("Unwrapped panic from Python code",)
    assert NOTICE_TAIL in capfd.readouterr().err

    class Meta(type):
        def __getattribute__(cls, name):
            if name == "__qualname__":
                failing_call()
            return type.__getattribute__(cls, name)

    with pytest.raises(panic_type) as info:
        edgeonly(Meta("NotASequence", (), {})())
    assert info.value.args == ("Unwrapped panic from Python code",)
    assert NOTICE_TAIL in capfd.readouterr().err


def test_class_claiming_to_be_str_and_unreadable_type_name():
    class Pretender(Seq):
        @property
        def __class__(self):
            return str

    with pytest.raises(ValueError, match="^Can't extract `str` to `Vec`$"):
        edgeonly(Pretender([[1]]))

    class Meta(type):
        def __getattribute__(cls, name):
            if name == "__qualname__":
                raise Hostile("no name")
            return type.__getattribute__(cls, name)

    with pytest.raises(TypeError) as info:
        edgeonly(Meta("NoName", (), {})())
    assert str(info.value) == "argument 'adj': '<failed to extract type name>' object cannot be converted to 'Sequence'"


# --- out of memory in a limited address space ----------------------------------------------

OOM_CHILD = textwrap.dedent("""
    import resource, sys, threading
    import vexa

    def vm_size():
        with open("/proc/self/statm") as f:
            return int(f.read().split()[0]) * resource.getpagesize()

    f = vexa.enumerate_cliques_with_weights_edgeonly
    small = [[1], [0]]
    expected_small = ([[0], [1], [0, 1]], [0, 0, 1])
    limit = vm_size() + 600 * 2**20
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))

    complete = [list(range(v + 1, 26)) for v in range(26)]
    cases = [
        # Each fails in a different stage: the result objects (about 100
        # bytes per edge clique), the computation (32 bytes per edge), the
        # conversion (8 bytes per entry).
        ("result", lambda: f([range(1, 8_000_000)])),
        ("computation", lambda: f([range(1, 30_000_000)])),
        ("conversion", lambda: f([range(1, 120_000_000)])),
        ("reservation", lambda: f([range(2**33)])),
        ("cliques", lambda: vexa.enumerate_cliques_with_weights(complete, 0)),
        ("noprune", lambda: vexa.enumerate_cliques_with_weights_noprune(complete, 0)),
    ]

    def attempt(stage, call, where):
        try:
            call()
            outcome = "fits"
        except MemoryError:
            outcome = "MemoryError"
        # The interpreter is still usable: Python objects and vexa calls work.
        junk = [list(range(100)) for _ in range(1000)]
        assert f(small) == expected_small, stage
        del junk
        print(f"{where}:{stage}:{outcome}", flush=True)

    # The first call of the main thread and of fresh threads runs out of memory.
    for stage, call in cases:
        attempt(stage, call, "main")
        thread = threading.Thread(target=attempt, args=(stage, call, "thread"))
        thread.start()
        thread.join()
    print("done", flush=True)
""")


@pytest.mark.skipif(SANITIZED, reason="the sanitizer runtime reserves terabytes of address space")
@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc/self/statm")
def test_out_of_memory_raises_memory_error_and_the_interpreter_survives():
    proc = subprocess.run([sys.executable, "-c", OOM_CHILD], capture_output=True, text=True, timeout=300)
    assert proc.returncode == 0, proc.stderr
    lines = proc.stdout.splitlines()
    assert lines[-1] == "done"
    outcomes = {}
    for line in lines[:-1]:
        where, stage, outcome = line.split(":")
        outcomes.setdefault(stage, set()).add(outcome)
        assert where in ("main", "thread")
    assert len(lines) == 13
    for stage in ("result", "computation", "conversion", "reservation", "cliques", "noprune"):
        assert outcomes[stage] == {"MemoryError"}, (stage, proc.stdout)
