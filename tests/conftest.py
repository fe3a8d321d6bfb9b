import pytest

import vexa


@pytest.fixture(scope="session")
def panic_type():
    """The PanicException class, obtained from a call that fails internally."""
    try:
        vexa.enumerate_cliques_with_weights_edgeonly([range(2**61)])
    except BaseException as exc:  # noqa: BLE001 - we want exactly this one
        assert type(exc).__name__ == "PanicException"
        return type(exc)
    pytest.fail("a reported length above the limit did not fail")
