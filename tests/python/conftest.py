"""Shared fixtures for the Python tests of vellix."""

import os
import subprocess
import sys
import textwrap

import pytest

import vellix


@pytest.fixture(scope="session")
def ext():
    """The extension module itself, vellix._vellix."""
    return vellix._vellix


@pytest.fixture(scope="session")
def raises_exactly():
    """check(exc_type, message, fn, *args, **kwargs): calls fn and returns the
    exception it raised, which must be of exactly exc_type (not a subclass)
    with exactly that text."""

    def check(exc_type, message, fn, *args, **kwargs):
        with pytest.raises(BaseException) as info:
            fn(*args, **kwargs)
        exc = info.value
        assert (type(exc), str(exc)) == (exc_type, message)
        return exc

    return check


@pytest.fixture(scope="session")
def panic_exception(ext):
    """The PanicException type, reached through a real internal failure: a
    result str that cannot be allocated is a failed Python API call."""
    import _testcapi as testcapi  # CPython's C-API test module, built with the interpreter

    try:
        testcapi.set_nomemory(0, 1)  # fail only the next allocation: the result "AA"
        try:
            ext.column_number_to_letter(27)
        finally:
            testcapi.remove_mem_hooks()
    except BaseException as exc:  # noqa: B036 - the point is a BaseException subclass
        assert str(exc) == "Python API call failed"
        return type(exc)
    pytest.fail("an allocation failure did not surface as an internal failure")


@pytest.fixture(scope="session")
def run_python():
    """run(code): runs code in a fresh interpreter process that can import
    vellix as this one does; returns the completed process."""

    def run(code):
        env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
        return subprocess.run(
            [sys.executable, "-c", textwrap.dedent(code)],
            env=env,
            capture_output=True,
            text=True,
            timeout=120,
        )

    return run
