"""ReadableSheet: the read-only sheets of a Finder snapshot.

The searches it shares with Sheet are covered, for both classes, in
test_sheet_search.py; this file covers what is its own.
"""

import sys
import threading
import time

import pytest

import vellix
from vellix.readable import Finder, ReadableCell, ReadableSheet


def source(cells, name="Data", state="visible", merges=()):
    return {
        "name": name,
        "sheet_state": state,
        "merge_cells": [list(m) for m in merges],
        "cells": [{"row": r, "column": c, "value": v, "formula": None, "data_type": "", "style_id": None}
                  for r, c, v in cells],
    }


def snapshot(cells, **kw):
    return Finder([source(cells, **kw)]).get_sheet_index(0)


def test_getters_read_the_snapshot():
    sheet = snapshot([(3, 1, "a"), (1, 7, "b"), (2, 2, "")], name="Data", state="odd state",
                     merges=[(1, 9, 1, 20), (5, 1, 3, 2)])
    assert (sheet.name, sheet.sheet_state) == ("Data", "odd state")
    assert (sheet.max_row, sheet.max_column) == (3, 7)  # merged ranges do not extend them
    assert [(c.row, c.column, c.value) for c in sheet.cells] == [(1, 7, "b"), (2, 2, ""), (3, 1, "a")]
    assert all(type(c) is ReadableCell for c in sheet.cells)
    assert sheet.merge_cells == [(1, 9, 1, 20), (5, 1, 3, 2)]


def test_empty_snapshot_sheet():
    sheet = snapshot([], name="E")
    assert (sheet.max_row, sheet.max_column, sheet.cells, sheet.merge_cells) == (0, 0, [], [])
    assert repr(sheet) == "ReadableSheet (E) cells: 0"
    assert sheet.find_cell_by_coords(1, 1) is None
    assert sheet.find_values_by_col_rows(1, [1, 2]) == []
    assert sheet.find_values_by_row_cols(1, [1, 2]) == []


def test_repr_names_the_qualified_type_and_counts_cells():
    assert repr(snapshot([(1, 1, "a"), (2, 1, "b"), (9, 9, "c")])) == "ReadableSheet (Data) cells: 3"


def test_results_are_new_each_time_and_changing_them_changes_nothing():
    sheet = snapshot([(1, 1, "a")], merges=[(1, 2, 3, 4)])
    merges = sheet.merge_cells
    merges.append((0, 0, 0, 0))
    assert sheet.merge_cells == [(1, 2, 3, 4)]
    assert sheet.cells is not sheet.cells
    assert sheet.cells[0] is not sheet.cells[0]


def test_snapshot_does_not_follow_the_source():
    src = source([(1, 1, "a")])
    sheet = Finder([src]).get_sheet_index(0)
    src["name"] = "changed"
    src["cells"][0]["value"] = "changed"
    src["cells"].append({"row": 2, "column": 2, "value": "new", "formula": None, "data_type": "", "style_id": None})
    assert (sheet.name, sheet.get_value_cell(1, 1), len(sheet.cells)) == ("Data", "a", 1)


def test_a_sheet_outlives_its_finder():
    finder = Finder([source([(1, 1, "kept")])])
    sheet = finder.get_sheet_index(0)
    del finder
    assert sheet.find_cell_by_str("kept").value == "kept"


@pytest.mark.parametrize("row, col, found", [((2), 3, True), (3, 2, False), (0, 0, True), (2, 4, False)])
def test_find_cell_by_coords_finds_exactly_that_place(row, col, found):
    sheet = snapshot([(2, 3, "x"), (0, 0, "origin")])
    hit = sheet.find_cell_by_coords(row, col)
    assert (hit is not None) == found
    if found:
        assert type(hit) is ReadableCell and (hit.row, hit.column) == (row, col)


# (method, fixed coordinate, list, expected texts as a multiset)
VALUE_LISTS = [
    ("find_values_by_row_cols", 3, [2, 1], ["A3", "B3"]),
    ("find_values_by_row_cols", 3, [1, 1, 1], ["A3"]),
    ("find_values_by_row_cols", 3, (2,), ["B3"]),
    ("find_values_by_row_cols", 3, range(0, 100), ["A3", "B3"]),
    ("find_values_by_row_cols", 4, [1, 2], []),
    ("find_values_by_col_rows", 1, [3, 1], ["A1", "A3"]),
    ("find_values_by_col_rows", 1, [5, 3, 3], ["A3"]),
    ("find_values_by_col_rows", 9, [1, 3], []),
]


@pytest.mark.parametrize("method, at, items, expected", VALUE_LISTS)
def test_value_lists_list_each_matching_cell_once(method, at, items, expected):
    sheet = snapshot([(3, 2, "B3"), (3, 1, "A3"), (1, 1, "A1"), (1, 3, "C1")])
    texts = getattr(sheet, method)(at, items)
    assert sorted(texts) == sorted(expected)
    assert all(type(t) is str for t in texts)


@pytest.mark.parametrize("method", ["find_values_by_row_cols", "find_values_by_col_rows"])
def test_value_lists_come_in_map_order_whatever_the_order_asked(method):
    # all cells share one row and one column index set, so both lists select all of them
    cells = [(1, c, f"v{c}") for c in range(1, 40)] if method == "find_values_by_row_cols" \
        else [(r, 1, f"v{r}") for r in range(1, 40)]
    sheet = snapshot(cells)
    forward = getattr(sheet, method)(1, list(range(1, 40)))
    backward = getattr(sheet, method)(1, list(range(39, 0, -1)))
    assert forward == backward
    assert sorted(forward) == sorted(v for _, _, v in cells)


@pytest.mark.parametrize("method, param, limit", [
    ("find_values_by_col_rows", "rows", 4294967295),
    ("find_values_by_row_cols", "cols", 65535),
])
@pytest.mark.parametrize("items, exc, message", [
    ("12", TypeError, "argument '{p}': Can't extract `str` to `Vec`"),
    ({1, 2}, TypeError, "argument '{p}': 'set' object cannot be cast as 'Sequence'"),
    ([1, -1], OverflowError, "out of range integral type conversion attempted"),
    ([1, "LIMIT+1"], OverflowError, "out of range integral type conversion attempted"),
])
def test_sequence_arguments(method, param, limit, items, exc, message):
    sheet = snapshot([(1, 1, "a")])
    if isinstance(items, list) and items[-1] == "LIMIT+1":
        items = [1, limit + 1]
    with pytest.raises(exc) as info:
        getattr(sheet, method)(1, items)
    assert type(info.value) is exc and str(info.value) == message.format(p=param)


def test_no_attribute_can_be_set_or_deleted():
    sheet = snapshot([(1, 1, "a")])
    for name in ("name", "sheet_state", "max_row", "max_column", "cells", "merge_cells", "anything"):
        with pytest.raises(AttributeError):
            setattr(sheet, name, "x")
    with pytest.raises(AttributeError):
        del sheet.name
    assert sheet.name == "Data"


@pytest.mark.parametrize("name", ["cell", "delete_rows", "delete_cols", "set_height_row", "set_hidden_column",
                                  "get_height_by_row", "add_comment", "add_merge_cells", "comments",
                                  "set_sheet_state"])
def test_has_no_mutators_or_dimension_members(name):
    assert not hasattr(snapshot([]), name)


def test_class_cannot_be_instantiated_or_subclassed():
    with pytest.raises(TypeError, match=r"^cannot create 'vellix\.readable\.ReadableSheet' instances$"):
        ReadableSheet()
    with pytest.raises(TypeError):
        type("Sub", (ReadableSheet,), {})
    assert ReadableSheet.__module__ == "vellix.readable"
    assert ReadableSheet.__qualname__ == "ReadableSheet"


def test_member_table_order():
    methods = [n for n, v in vars(ReadableSheet).items() if callable(v) and not n.startswith("__")]
    assert methods == [
        "get_value_cell", "get_cells_by_range", "find_cell_by_regex", "find_cell_by_str", "find_cell_by_coords",
        "find_cell_by_letter", "find_cells_by_regex", "find_cells_by_str", "find_cells_for_rows_by_regex",
        "find_cells_for_cols_by_regex", "find_cells_multi_regex", "find_cells_between_regex",
        "find_cells_range_rows", "find_cells_range_cols", "find_values_by_col_rows", "find_values_by_row_cols",
        "find_value_by_coords",
    ]


@pytest.mark.parametrize("method, args, sig", [
    ("find_cell_by_coords", (1, 1), "($self, row, col)"),
    ("find_values_by_col_rows", (1, [1]), "($self, col, rows)"),
    ("find_values_by_row_cols", (1, [1]), "($self, row, cols)"),
])
def test_readable_only_methods_bind_like_the_others(method, args, sig):
    assert getattr(ReadableSheet, method).__text_signature__ == sig
    sheet = snapshot([(1, 1, "a")])
    with pytest.raises(TypeError) as info:
        getattr(sheet, method)(*args, 1)
    assert str(info.value) == f"ReadableSheet.{method}() takes 2 positional arguments but 3 were given"
    with pytest.raises(OverflowError):
        getattr(sheet, method)(-1, *args[1:])


# ---- the interpreter lock ----

def _ticks_during(call):
    """How often another thread ran Python code during `call`.

    With a switch interval far longer than the test, the other thread gets
    the interpreter lock only when this thread gives it up itself.
    """
    ticks = [0]
    stop = threading.Event()

    def spin():
        while not stop.is_set():
            ticks[0] += 1
            time.sleep(0)  # gives the interpreter lock back at once

    old = sys.getswitchinterval()
    sys.setswitchinterval(100.0)  # before the spinner first waits for the lock
    worker = threading.Thread(target=spin)
    try:
        worker.start()
        stop.wait(0.01)  # let the spinner reach its loop
        before = ticks[0]
        call()
        after = ticks[0]
    finally:
        stop.set()
        worker.join()
        sys.setswitchinterval(old)
    return after - before


BIG = [(r, c, f"cell {r} {c}") for r in range(1, 401) for c in range(1, 501)]  # 200 000 cells


@pytest.fixture(scope="module")
def big_pair():
    book = vellix.Book()
    sheet = book.add_sheet("Big")
    for r, c, v in BIG:
        sheet.cell(r, c, v)
    return sheet, snapshot(BIG, name="Big")


SLOW_SEARCHES = [
    ("find_cells_by_regex", (r"(\w+\s?)+\d9$",)),
    ("find_cells_by_str", ("absent",)),
    ("find_cells_for_rows_by_regex", (r"(\w+\s?)+\d9$", 500)),
    ("find_cells_between_regex", ("cell 1 1$", "cell 400 500$")),
]


@pytest.mark.parametrize("method, args", SLOW_SEARCHES)
def test_readable_searches_let_other_threads_run_while_sheet_searches_do_not(big_pair, method, args):
    sheet, readable = big_pair
    assert _ticks_during(lambda: getattr(sheet, method)(*args)) == 0
    assert _ticks_during(lambda: getattr(readable, method)(*args)) > 0
    assert len(getattr(readable, method)(*args)) == len(getattr(sheet, method)(*args))


def test_a_core_error_without_the_lock_is_raised_once_it_is_back(big_pair):
    _, readable = big_pair
    for _ in range(3):
        with pytest.raises(RuntimeError):
            readable.find_cells_by_regex("(unclosed")
    assert len(readable.find_cells_range_rows(1, 1)) == 500


def test_threads_search_one_sheet_at_once(big_pair):
    _, readable = big_pair
    expected = [(c.row, c.column) for c in readable.find_cells_by_regex(r"^cell 7 \d$")]
    results, errors = [], []

    def search():
        try:
            for _ in range(5):
                results.append([(c.row, c.column) for c in readable.find_cells_by_regex(r"^cell 7 \d$")])
        except BaseException as e:  # noqa: BLE001 - reported below
            errors.append(e)

    threads = [threading.Thread(target=search) for _ in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []
    assert results == [expected] * 40
    assert expected == [(7, c) for c in range(1, 10)]
