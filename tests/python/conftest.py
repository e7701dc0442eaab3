"""Shared fixtures for the Python tests of vellix."""

import os
import subprocess
import sys
import textwrap
import threading

import pytest


@pytest.fixture(scope="session")
def raises_exactly():
    """check(exc_type, message, fn, *args, **kwargs): fn must raise exactly that type and text; returns it."""

    def check(exc_type, message, fn, *args, **kwargs):
        with pytest.raises(BaseException) as info:
            fn(*args, **kwargs)
        assert (type(info.value), str(info.value)) == (exc_type, message)
        return info.value

    return check


@pytest.fixture(scope="session")
def run_python():
    """run(code): runs code in a fresh interpreter process that imports vellix as this one does."""

    def run(code):
        env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
        return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env=env, capture_output=True, text=True,
                              timeout=120)

    return run


@pytest.fixture(scope="session")
def ran_during():
    """ran(call): whether another Python thread ran while call() was in progress.

    With the switch interval raised past any test's length the interpreter never
    takes the lock from a thread, so the other thread, already waiting for it,
    gets it only when the call gives it up.
    """

    def ran(call):
        go, stop, seen = threading.Event(), threading.Event(), []
        other = threading.Thread(target=lambda: (go.wait(), seen.append(1), stop.wait()))
        other.start()
        interval = sys.getswitchinterval()
        sys.setswitchinterval(1000.0)
        try:
            go.set()
            call()
            return bool(seen)  # read before anything here can give the lock away
        finally:
            sys.setswitchinterval(interval)
            stop.set()
            other.join()

    return ran
