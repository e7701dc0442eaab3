"""The readable searches let other Python threads run while they work.

A backtracking pattern makes every value cost the same bounded effort, so a
search lasts long enough to watch without a large data set. While it runs, a
second Python thread stamps the time as it counts; the share of the search's
duration in which that thread made progress is compared between searches that
release the interpreter lock and Finder's sheet search, which keeps it (there
the counter can only slip in just before the call starts and just after it
returns).
"""

import threading
import time

import pytest

from vellix import readable

SLOW_TEXT = "a" * 16 + "!b"  # (a+)+b backtracks through every split of the a's before failing
SLOW_PATTERN = "(a+)+b"
ITEMS = 240


def dict_cell(row, column, value):
    return {"row": row, "column": column, "value": value, "formula": None, "data_type": "s", "style_id": None}


@pytest.fixture(scope="module")
def slow_finder():
    cells = [dict_cell(i + 1, 1, SLOW_TEXT) for i in range(ITEMS)]
    sheets = [{"name": SLOW_TEXT, "sheet_state": "visible", "merge_cells": [], "cells": []} for _ in range(ITEMS)]
    sheets.append({"name": "cells", "sheet_state": "visible", "merge_cells": [], "cells": cells})
    return readable.Finder(sheets)


def progress_share(operation, slices=20):
    """The share of `operation`'s duration, cut into equal slices, in which
    another Python thread made progress."""
    stop = threading.Event()
    running = threading.Event()
    stamps = []

    def counter():
        n = 0
        running.set()
        while not stop.is_set():
            n += 1
            if n % 128 == 0:
                stamps.append(time.perf_counter())

    thread = threading.Thread(target=counter)
    thread.start()
    running.wait()
    try:
        start = time.perf_counter()
        operation()
        end = time.perf_counter()
    finally:
        stop.set()
        thread.join()
    width = (end - start) / slices
    return len({int((s - start) / width) for s in stamps if start <= s < end}) / slices


RELEASING = {
    "module find_cells_by_regex": lambda f: readable.find_cells_by_regex(SLOW_PATTERN, f.find_sheet_by_name("cells").cells),
    "module find_cell_by_regex": lambda f: readable.find_cell_by_regex(SLOW_PATTERN, f.find_sheet_by_name("cells").cells),
    "ReadableSheet.find_cells_by_regex": lambda f: f.find_sheet_by_name("cells").find_cells_by_regex(SLOW_PATTERN),
}


@pytest.mark.parametrize("name", RELEASING)
def test_search_lets_other_threads_run_where_finder_search_does_not(slow_finder, name):
    search = RELEASING[name]
    assert search(slow_finder) in ([], None)  # the pattern never matches: the whole list is tested
    assert slow_finder.find_sheet_by_regex(SLOW_PATTERN) is None

    held = progress_share(lambda: slow_finder.find_sheet_by_regex(SLOW_PATTERN))
    released = progress_share(lambda: search(slow_finder))
    assert released >= 0.5 and released >= 2 * held, (released, held)


def test_threads_searching_one_finder_at_once_get_identical_results():
    cells = [dict_cell(r, c, f"v{(r * 7 + c) % 13}") for r in range(1, 120) for c in range(1, 9)]
    finder = readable.Finder([{"name": "grid", "sheet_state": "visible", "merge_cells": [], "cells": cells}])
    sheet = finder.sheets[0]
    readable_cells = sheet.cells

    def shown(result):
        return [(c.row, c.column, c.value) for c in result]

    searches = [
        lambda: shown(sheet.find_cells_by_regex("v1[02]?$")),
        lambda: shown(sheet.find_cells_by_str("v3")),
        lambda: shown(sheet.find_cells_between_regex("^v5$", "^v9$")),
        lambda: shown(readable.find_cells_by_regex("v(4|7)", readable_cells)),
        lambda: shown(readable.find_cells_range_rows(30, 60, readable_cells)),
        lambda: shown([readable.find_cell_by_str("v8", readable_cells)]),
        lambda: readable.find_values_by_col_rows(3, range(0, 200, 3), readable_cells),
        lambda: shown([finder.find_sheet_by_name("grid").find_cell_by_coords(77, 5)]),
    ]
    expected = [search() for search in searches]
    assert all(expected)

    threads_count, rounds = 6, 15
    barrier = threading.Barrier(threads_count)
    outcomes = [None] * threads_count

    def worker(i):
        barrier.wait()
        outcomes[i] = [[search() for search in searches] for _ in range(rounds)]

    threads = [threading.Thread(target=worker, args=(i,)) for i in range(threads_count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(outcome == [expected] * rounds for outcome in outcomes)
