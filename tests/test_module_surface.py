"""What Python sees of the module itself: attributes, functions, PanicException."""

import inspect
import subprocess
import sys
import textwrap

import pytest

import vexa

NAMES = [
    "enumerate_cliques_with_weights",
    "enumerate_cliques_with_weights_noprune",
    "maxclique_decompose_with_weights",
    "enumerate_cliques_with_weights_edgeonly",
]
PARAMS = {
    "enumerate_cliques_with_weights": ["nbrs", "maxrank"],
    "enumerate_cliques_with_weights_noprune": ["nbrs", "maxrank"],
    "maxclique_decompose_with_weights": ["adj", "maxrank"],
    "enumerate_cliques_with_weights_edgeonly": ["adj"],
}


def test_module_attributes():
    assert vexa.__all__ == NAMES
    assert vexa.__doc__ == ""
    public = sorted(a for a in dir(vexa) if not a.startswith("_"))
    assert public == sorted(NAMES)
    assert not hasattr(vexa, "PanicException")


@pytest.mark.parametrize("name", NAMES)
def test_function_objects(name):
    f = getattr(vexa, name)
    assert f.__name__ == name
    assert f.__qualname__ == name
    assert f.__module__ == "vexa"
    assert f.__self__ is vexa
    assert f.__doc__ is None
    sig = inspect.signature(f)
    assert list(sig.parameters) == PARAMS[name]
    assert all(p.kind is p.POSITIONAL_OR_KEYWORD and p.default is p.empty for p in sig.parameters.values())


def run_python(code):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True)


def test_second_initialisation_fails():
    proc = run_python(
        """
        import sys, importlib
        import vexa
        first = vexa
        del sys.modules["vexa"]
        for attempt in range(2):
            try:
                import vexa
            except ImportError as exc:
                print(str(exc))
        # the module that did load keeps working
        print(first.enumerate_cliques_with_weights_edgeonly([[1], [0]]))
        """
    )
    assert proc.returncode == 0, proc.stderr
    lines = proc.stdout.splitlines()
    message = "keel modules may only be initialized once per interpreter process"
    assert lines[:2] == [message, message]
    assert lines[2] == "([[0], [1], [0, 1]], [0, 0, 1])"


def test_panic_exception_class(panic_type):
    assert issubclass(panic_type, BaseException)
    assert not issubclass(panic_type, Exception)
    assert panic_type.__name__ == "PanicException"
    assert panic_type.__module__ == "keel"
    assert panic_type.__doc__  # it documents itself


def test_panic_exception_instances(panic_type):
    with pytest.raises(panic_type) as first:
        vexa.enumerate_cliques_with_weights_edgeonly([range(2**61)])
    assert first.value.args == ("capacity overflow",)
    assert str(first.value) == "capacity overflow"
    # a broad `except Exception` does not swallow it
    with pytest.raises(panic_type):
        try:
            vexa.enumerate_cliques_with_weights_edgeonly(range(2**59))
        except Exception:  # noqa: BLE001
            pytest.fail("PanicException was caught as an Exception")
    # the class is created once: every failure raises the same class
    with pytest.raises(BaseException) as second:
        vexa.maxclique_decompose_with_weights([range(2**60)], 1)
    assert type(second.value) is panic_type
    # and the module stays usable
    assert vexa.enumerate_cliques_with_weights_edgeonly([[]]) == ([[0]], [1])
