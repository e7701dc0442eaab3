"""The readable searches let other Python threads run; Finder's own keeps the lock."""

import threading
from concurrent.futures import ThreadPoolExecutor

import pytest

from vellix import readable

SLOW_TEXT, SLOW = "a" * 16 + "!b", "(a+)+b"  # backtracks through every split of the a's before failing


def sheet(name, cells=()):
    cells = [dict(row=r, column=c, value=v, formula=None, data_type="s", style_id=None) for r, c, v in cells]
    return dict(name=name, sheet_state="visible", merge_cells=[], cells=cells)


@pytest.mark.parametrize("search", [readable.find_cells_by_regex, readable.find_cell_by_regex])
def test_search_lets_other_threads_run_where_finder_search_does_not(search, ran_during):
    finder = readable.Finder([sheet(SLOW_TEXT)] * 240 + [sheet("cells", [(i, 1, SLOW_TEXT) for i in range(240)])])
    cells = finder.sheets[-1].cells
    assert search(SLOW, cells) in ([], None) and finder.find_sheet_by_regex(SLOW) is None  # every value is tried
    assert not any(ran_during(lambda: finder.find_sheet_by_regex(SLOW)) for _ in range(3))
    # Only the other thread's wake-up latency, against a search of a tenth of a second, could hide a release.
    assert any(ran_during(lambda: search(SLOW, cells)) for _ in range(5))


def test_threads_searching_one_finder_at_once_get_identical_results():
    finder = readable.Finder([sheet("grid", [(i // 8 + 1, i % 8 + 1, f"v{i % 13}") for i in range(960)])])
    grid = finder.sheets[0]
    cells = grid.cells

    def run():
        found = [grid.find_cells_by_regex("v1[02]?$"), grid.find_cells_between_regex("^v5$", "^v9$"),
                 readable.find_cells_by_regex("v(4|7)", cells), readable.find_cells_range_rows(30, 60, cells),
                 [readable.find_cell_by_str("v8", cells), finder.find_sheet_by_name("grid").find_cell_by_coords(77, 5)]]
        values = readable.find_values_by_col_rows(3, range(0, 200, 3), cells)
        return [[(c.row, c.column, c.value) for c in hits] for hits in found] + [values]

    expected, barrier = run(), threading.Barrier(6)
    assert all(expected)
    with ThreadPoolExecutor(6) as pool:
        outcomes = list(pool.map(lambda _: (barrier.wait(), [run() for _ in range(15)])[1], range(6)))
    assert outcomes == [[expected] * 15] * 6
