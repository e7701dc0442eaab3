"""The fifteen module-level find functions of vellix.readable."""

from collections import namedtuple

import pytest

from vellix import readable

FIELDS = ("row", "column", "value", "formula", "data_type", "style_id")
ROWS = [(3, 2, "Start"), (1, 1, "10"), (2, 3, "apple"), (5, 1, "END"), (2, 1, " apple\u00a0"), (4, 4, "Banana")]
S, TEN, APPLE, END, PADDED, BANANA = ROWS


def cells(form="dicts"):
    dicts = [dict(zip(FIELDS, (r, c, v, None, "s", None))) for r, c, v in ROWS]
    tuples = [namedtuple("CellTuple", FIELDS)(**d) for d in dicts]
    shared = readable.find_cells_by_regex("", dicts)
    return {"dicts": dicts, "named tuples": tuples, "readable cells": shared,
            "mixed": [shared[0], *tuples[1:3], *dicts[3:5], shared[5]]}[form]


def shown(found):  # cells as (row, column, value); texts and None as they are
    if isinstance(found, list):
        return [shown(f) for f in found]
    return (found.row, found.column, found.value) if hasattr(found, "row") else found


CASES = [  # (function, its parameters before `cells`, their arguments, the result over ROWS)
    ("find_cell_by_coords", "row, col", (2, 3), APPLE),
    ("find_value_by_coords", "row, col", (5, 1), "END"),
    ("find_cell_by_regex", "regex", ("APP",), APPLE),
    ("find_cell_by_str", "value", (" 10\t",), TEN),
    ("find_cell_by_letter", "letter", ("$D$4",), BANANA),
    ("find_cells_by_regex", "regex", ("an|app",), [APPLE, PADDED, BANANA]),
    ("find_cells_by_str", "value", ("apple",), [APPLE, PADDED]),
    ("find_cells_for_rows_by_regex", "regex, col_stop", ("a", 2), [S, PADDED]),  # column at most 2
    ("find_cells_for_cols_by_regex", "regex, row_stop", ("a", 3), [S, APPLE, PADDED]),  # row at most 3
    ("find_cells_multi_regex", "before_regex, after_regex", ("start", "end"), [S, END]),
    ("find_cells_between_regex", "before_regex, after_regex", ("start", "end"), [S, END, BANANA]),
    ("find_cells_range_rows", "start_row, end_row", (2, 3), [S, APPLE, PADDED]),  # list order, not row order
    ("find_cells_range_cols", "start_col, end_col", (1, 1), [TEN, END, PADDED]),
    ("find_values_by_col_rows", "col, rows", (1, [2, 5, 5]), ["END", " apple\u00a0"]),
    ("find_values_by_row_cols", "row, cols", (2, (3, 1)), ["apple", " apple\u00a0"]),
]


@pytest.mark.parametrize("form", ["dicts", "named tuples", "readable cells", "mixed"])
@pytest.mark.parametrize("name, args, expected", [(name, args, result) for name, _, args, result in CASES])
def test_results_follow_the_order_of_the_list(form, name, args, expected):
    assert shown(getattr(readable, name)(*args, cells(form))) == expected


@pytest.mark.parametrize("name, params, args, result", CASES)
def test_signature_keywords_list_subclass_and_empty_list(name, params, args, result):
    fn = getattr(readable, name)
    assert (fn.__text_signature__, fn.__module__) == (f"({params}, cells)", "readable")
    by_keyword = dict(zip(params.split(", ") + ["cells"], (*args, type("Cells", (list,), {})(cells()))))
    assert shown(fn(**by_keyword)) == result
    assert fn(*args, []) == (None if name.startswith(("find_cell_", "find_value_")) else [])


OUT_OF_RANGE, NAMED = (OverflowError, "out of range integral type conversion attempted"), "argument '{}': "
BAD = {  # the kind of a parameter: [(bad value, exception, message)]
    "row": [("1", TypeError, NAMED + "'str' object cannot be interpreted as an integer"), (2**32, *OUT_OF_RANGE)],
    "col": [(1.0, TypeError, NAMED + "'float' object cannot be interpreted as an integer"), (65536, *OUT_OF_RANGE)],
    "rows": [("12", TypeError, NAMED + "Can't extract `str` to `Vec`"), ([1, 2**32], *OUT_OF_RANGE)],
    "cols": [("12", TypeError, NAMED + "Can't extract `str` to `Vec`"), ([1, 65536], *OUT_OF_RANGE)],
    "text": [(5, TypeError, NAMED + "'int' object cannot be cast as 'str'")],
    "cells": [((), TypeError, NAMED + "'tuple' object cannot be cast as 'list'")],
}


def kind(param):
    return param if param in BAD else "row" if "row" in param else "col" if "col" in param else "text"


@pytest.mark.parametrize("name, args, position, value, exc_type, message", [
    pytest.param(name, args, i, value, exc_type, message.format(param), id=f"{name}-{param}-{value!r}")
    for name, params, args, _ in CASES for i, param in enumerate(params.split(", ") + ["cells"])
    for value, exc_type, message in BAD[kind(param)]
])
def test_bad_argument_is_named_before_cells_are_read(name, args, position, value, exc_type, message, raises_exactly):
    args = [*args, [object()]]  # reading that item would raise AttributeError
    args[position] = value
    raises_exactly(exc_type, message, getattr(readable, name), *args)


@pytest.mark.parametrize("name, params, args", [(name, params, args) for name, params, args, _ in CASES if "regex" in params])
def test_every_pattern_goes_through_the_front_end(name, params, args, raises_exactly):
    # \N is an escape of the matcher's own syntax, not of the pattern syntax
    args = tuple(r"\N" if "regex" in p else a for p, a in zip(params.split(", "), args))
    raises_exactly(RuntimeError, "invalid escape \\N at offset 0", getattr(readable, name), *args, cells())


@pytest.mark.parametrize("name, args, exc_type, message", [
    ("find_cells_multi_regex", ("(", "["), RuntimeError, "missing ')' at offset 0"),
    ("find_cells_between_regex", ("ok", r"a\C"), RuntimeError, "invalid escape \\C at offset 1"),
    ("find_cell_by_letter", ("AAAA1",), ValueError, "invalid cell reference: 'AAAA1'"),
])
def test_core_errors_are_raised_once_the_lock_is_back(name, args, exc_type, message, raises_exactly):
    raises_exactly(exc_type, message, getattr(readable, name), *args, cells())
    assert shown(readable.find_cell_by_regex("apple", cells())) == APPLE


def test_duplicates_come_in_list_order_and_a_readable_cell_is_shared_not_copied():
    items = cells()
    items.insert(0, {**items[2], "value": "earlier"})
    assert shown(readable.find_cell_by_coords(2, 3, items)) == (2, 3, "earlier")
    assert readable.find_values_by_row_cols(2, [3], items) == ["earlier", "apple"]
    rc = readable.find_cell_by_str("Banana", cells())  # its converted list is gone; the hit lives on
    first, second = readable.find_cells_by_regex("banana", [rc, rc])
    assert first is not second and first is not rc and shown(first) == shown(second) == BANANA
