"""A child forked while other threads compile and free patterns (the lock released) can still compile its own.

Run as a script for a longer trial: python tests/python/test_fork.py --forks 10000
"""

import argparse
import os
import select
import signal
import sys
import threading
import warnings

from vellix import readable

FORKS = 2000
THREADS = 3
CHILD_SECONDS = 10  # a child that has not exited by then hangs
CELLS = [dict(row=1, column=k, value=v, formula=None, data_type="s", style_id=None)
         for k, v in enumerate(["xxz0", "aab", "yyz7"], 1)]


def compile_while_forking(forks):
    """Forks `forks` children while THREADS threads compile look-behinds; (children that hung, that failed)."""
    stop = threading.Event()

    def churn(k):
        i = 0
        while not stop.is_set():  # each pattern new, so each is compiled (and JIT-compiled) and freed
            readable.find_cell_by_regex(f"(?<=x{{{i % 40 + 1},}}|y+)z{k}{i}", CELLS)
            i += 1

    threads = [threading.Thread(target=churn, args=(k,)) for k in range(THREADS)]
    for t in threads:
        t.start()
    hung = failed = 0
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)  # fork() of a process with threads
            for n in range(forks):
                pid = os.fork()
                if pid == 0:
                    found = readable.find_cell_by_regex(f"(?<=a{{1,{n % 7 + 2}}}|b+)b", CELLS)
                    os._exit(0 if found is not None and found.column == 2 else 1)
                hung_now, status = wait_child(pid)
                hung += hung_now
                failed += not hung_now and status != 0
    finally:
        stop.set()
        for t in threads:
            t.join()
    return hung, failed


def wait_child(pid):
    """(whether the child hung and was killed, its exit status)."""
    fd = os.pidfd_open(pid)
    try:
        ready, _, _ = select.select([fd], [], [], CHILD_SECONDS)
    finally:
        os.close(fd)
    if not ready:
        os.kill(pid, signal.SIGKILL)
    _, status = os.waitpid(pid, 0)
    return not ready, os.waitstatus_to_exitcode(status)


def test_every_child_forked_while_threads_compile_exits():
    assert compile_while_forking(FORKS) == (0, 0)


if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    ap.add_argument("--forks", type=int, default=FORKS)
    hung, failed = compile_while_forking(ap.parse_args().forks)
    print(f"{sys.version.split()[0]}: {hung} hung, {failed} failed")
