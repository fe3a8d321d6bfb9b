"""A signal handler that changes the lists while they are being read.

The reader polls for Ctrl-C while it converts a long list, and a poll runs
Python signal handlers, which may change the list under the reader.  The
call must then read what is there, not memory the list has given back.
Each case runs in a child process, so a crash fails the test instead of
ending the run.
"""

import subprocess
import sys
import textwrap

import pytest

CHILD = textwrap.dedent(
    """
    import signal, sys
    import vexa

    big = {big}
    fired = []

    def handler(signum, frame):
        if big:
            {mutation}
            fired.append(1)

    signal.signal(signal.SIGALRM, handler)
    # One shot, well inside the conversion of the long list (tens of ms).
    signal.setitimer(signal.ITIMER_REAL, 0.002)
    try:
        got = vexa.{function}({argument})
    except (ValueError, OverflowError, MemoryError) as exc:
        got = type(exc).__name__
    signal.setitimer(signal.ITIMER_REAL, 0)
    print(len(fired), type(got).__name__)
    """
)

MUTATIONS = {
    "clear": "big.clear()",
    "shrink": "del big[10:]",
    "replace items": "big[:] = [1] * 5",
    "grow": "big.extend([0] * 1_000_000)",
}

FUNCTIONS = {
    "edgeonly": ("enumerate_cliques_with_weights_edgeonly", "[big]"),
    "decompose": ("maxclique_decompose_with_weights", "[big], 3"),
    "bounded": ("enumerate_cliques_with_weights", "(big,), 1"),
}


@pytest.mark.parametrize("mutation", MUTATIONS.values(), ids=MUTATIONS.keys())
@pytest.mark.parametrize("function", FUNCTIONS.values(), ids=FUNCTIONS.keys())
def test_handler_changing_the_list_being_read(mutation, function):
    name, argument = function
    code = CHILD.format(big="[0] * 8_000_000", mutation=mutation, function=name, argument=argument)
    child = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
    assert child.returncode == 0, child.stderr[-2000:]
    fired, outcome = child.stdout.split()
    assert fired == "1"  # the handler ran while vexa was busy with the list
    assert outcome in {"tuple", "ValueError"}


@pytest.mark.parametrize("mutation", MUTATIONS.values(), ids=MUTATIONS.keys())
def test_handler_changing_an_ascending_list_being_read(mutation):
    """The list is read as the part above its node of tidy lists: written
    where it belongs and checked to ascend as it is read, across polls."""
    code = CHILD.format(big="list(range(1, 8_000_001))", mutation=mutation,
                        function="maxclique_decompose_with_weights", argument="[big], 3")
    child = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
    assert child.returncode == 0, child.stderr[-2000:]
    fired, outcome = child.stdout.split()
    assert fired == "1"
    assert outcome == "tuple"
