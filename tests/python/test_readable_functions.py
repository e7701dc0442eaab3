"""The fifteen module-level find functions of vellix.readable."""

import inspect
from collections import namedtuple

import pytest

from vellix import readable

ROWS = [
    (3, 2, "Start"),
    (1, 1, "10"),
    (2, 3, "apple"),
    (5, 1, "END"),
    (2, 1, " apple\u00a0"),
    (4, 4, "Banana"),
]

CellTuple = namedtuple("CellTuple", "row column value formula data_type style_id")


def as_dicts():
    return [
        {"row": r, "column": c, "value": v, "formula": None, "data_type": "s", "style_id": None} for r, c, v in ROWS
    ]


def as_tuples():
    return [CellTuple(r, c, v, None, "s", None) for r, c, v in ROWS]


def as_readable_cells():
    return readable.find_cells_by_regex("", as_dicts())


def as_mix():
    readable_cells = as_readable_cells()
    return [readable_cells[0], *as_tuples()[1:3], *as_dicts()[3:5], readable_cells[5]]


INPUTS = {"dicts": as_dicts, "named tuples": as_tuples, "readable cells": as_readable_cells, "mixed": as_mix}


def shown(result):
    if result is None or isinstance(result, str):
        return result
    if isinstance(result, list):
        return [shown(r) for r in result]
    return (result.row, result.column, result.value)


S, TEN, APPLE, END, PADDED, BANANA = ROWS

# (function, arguments before `cells`, expected result)
CASES = [
    ("find_cell_by_coords", (2, 3), APPLE),
    ("find_cell_by_coords", (9, 9), None),
    ("find_value_by_coords", (5, 1), "END"),
    ("find_value_by_coords", (5, 2), None),
    ("find_cell_by_regex", ("APP",), APPLE),
    ("find_cell_by_regex", ("^pear$",), None),
    ("find_cell_by_str", ("apple",), APPLE),
    ("find_cell_by_str", (" 10\t",), TEN),
    ("find_cell_by_str", ("APPLE",), None),
    ("find_cell_by_letter", ("b3",), S),
    ("find_cell_by_letter", ("$D$4",), BANANA),
    ("find_cell_by_letter", ("Z9",), None),
    ("find_cells_by_regex", ("an|app",), [APPLE, PADDED, BANANA]),
    ("find_cells_by_regex", ("",), ROWS),
    ("find_cells_by_str", ("apple",), [APPLE, PADDED]),
    ("find_cells_for_rows_by_regex", ("a", 2), [S, PADDED]),
    ("find_cells_for_cols_by_regex", ("a", 3), [S, APPLE, PADDED]),
    ("find_cells_multi_regex", ("start", "end"), [S, END]),
    ("find_cells_multi_regex", ("nothing", "end"), []),
    ("find_cells_between_regex", ("start", "end"), [S, END, BANANA]),
    ("find_cells_between_regex", ("banana", "start"), [END, BANANA]),  # a band that never closes
    ("find_cells_between_regex", ("start", "^10$"), []),  # the closing row lies above the opening one
    ("find_cells_range_rows", (2, 3), [S, APPLE, PADDED]),
    ("find_cells_range_rows", (3, 2), []),
    ("find_cells_range_cols", (1, 1), [TEN, END, PADDED]),
    ("find_values_by_col_rows", (1, [2, 5, 5]), ["END", " apple\u00a0"]),
    ("find_values_by_col_rows", (1, range(1, 3)), ["10", " apple\u00a0"]),
    ("find_values_by_col_rows", (1, []), []),
    ("find_values_by_row_cols", (2, (3, 1)), ["apple", " apple\u00a0"]),
]


@pytest.mark.parametrize("form", INPUTS)
@pytest.mark.parametrize("name, args, expected", CASES)
def test_results_follow_the_order_of_the_list(form, name, args, expected):
    result = getattr(readable, name)(*args, INPUTS[form]())
    assert shown(result) == expected


SINGLE = ["find_cell_by_coords", "find_value_by_coords", "find_cell_by_regex", "find_cell_by_str", "find_cell_by_letter"]
ARGS = {name: args for name, args, _ in CASES}


@pytest.mark.parametrize("name", sorted(ARGS))
def test_empty_list_gives_none_or_an_empty_list(name):
    assert getattr(readable, name)(*ARGS[name], []) == (None if name in SINGLE else [])


@pytest.mark.parametrize("name", sorted(ARGS))
def test_list_subclass_is_accepted_and_keywords_work(name):
    class Cells(list):
        pass

    fn = getattr(readable, name)
    params = list(inspect.signature(fn).parameters)
    by_keyword = dict(zip(params, (*ARGS[name], Cells(as_dicts()))))
    assert shown(fn(**by_keyword)) == shown(fn(*ARGS[name], as_dicts()))


SIGNATURES = {
    "find_cell_by_coords": "(row, col, cells)",
    "find_value_by_coords": "(row, col, cells)",
    "find_cell_by_regex": "(regex, cells)",
    "find_cell_by_str": "(value, cells)",
    "find_cell_by_letter": "(letter, cells)",
    "find_cells_by_regex": "(regex, cells)",
    "find_cells_by_str": "(value, cells)",
    "find_cells_for_rows_by_regex": "(regex, col_stop, cells)",
    "find_cells_for_cols_by_regex": "(regex, row_stop, cells)",
    "find_cells_multi_regex": "(before_regex, after_regex, cells)",
    "find_cells_between_regex": "(before_regex, after_regex, cells)",
    "find_cells_range_rows": "(start_row, end_row, cells)",
    "find_cells_range_cols": "(start_col, end_col, cells)",
    "find_values_by_col_rows": "(col, rows, cells)",
    "find_values_by_row_cols": "(row, cols, cells)",
}


@pytest.mark.parametrize("name, signature", SIGNATURES.items())
def test_text_signatures(name, signature):
    fn = getattr(readable, name)
    assert (fn.__text_signature__, fn.__module__) == (signature, "readable")


# ---- argument errors ---------------------------------------------------------

ROW_ARGS = {"row", "row_stop", "start_row", "end_row"}
COL_ARGS = {"col", "col_stop", "start_col", "end_col"}
SEQ_ARGS = {"rows", "cols"}


def good_args(name):
    return [*ARGS[name], as_dicts()]


def argument_error_cases():
    cases = []
    for name, signature in SIGNATURES.items():
        params = signature.strip("()").split(", ")
        for i, param in enumerate(params):
            if param == "cells":
                bad = [((), TypeError, "argument 'cells': 'tuple' object cannot be cast as 'list'")]
            elif param in ROW_ARGS:
                bad = [
                    (-1, OverflowError, "out of range integral type conversion attempted"),
                    (2**32, OverflowError, "out of range integral type conversion attempted"),
                    ("1", TypeError, f"argument '{param}': 'str' object cannot be interpreted as an integer"),
                ]
            elif param in COL_ARGS:
                bad = [
                    (65536, OverflowError, "out of range integral type conversion attempted"),
                    (1.0, TypeError, f"argument '{param}': 'float' object cannot be interpreted as an integer"),
                ]
            elif param in SEQ_ARGS:
                limit = 2**32 if param == "rows" else 65536
                bad = [
                    ("12", TypeError, f"argument '{param}': Can't extract `str` to `Vec`"),
                    ({1}, TypeError, f"argument '{param}': 'set' object cannot be cast as 'Sequence'"),
                    ([1, limit], OverflowError, "out of range integral type conversion attempted"),
                ]
            else:
                bad = [(5, TypeError, f"argument '{param}': 'int' object cannot be cast as 'str'")]
            for value, exc_type, message in bad:
                cases.append(pytest.param(name, i, value, exc_type, message, id=f"{name}-{param}-{value!r}"))
    return cases


@pytest.mark.parametrize("name, position, value, exc_type, message", argument_error_cases())
def test_argument_errors_name_the_argument(name, position, value, exc_type, message, raises_exactly):
    args = good_args(name)
    args[position] = value
    raises_exactly(exc_type, message, getattr(readable, name), *args)


class Untouchable:
    """A cell-like object that fails the test if the call ever reads it."""

    def __getattr__(self, name):
        pytest.fail(f"read {name} although an earlier argument was bad")


@pytest.mark.parametrize("name", sorted(SIGNATURES))
def test_cells_are_checked_and_converted_last(name, raises_exactly):
    params = SIGNATURES[name].strip("()").split(", ")
    args = [None, *ARGS[name][1:], [Untouchable()]]
    message = f"argument '{params[0]}': 'NoneType' object cannot be "
    with pytest.raises(TypeError) as info:
        getattr(readable, name)(*args)
    assert str(info.value).startswith(message)


REGEX_CALLS = [
    ("find_cell_by_regex", ("(",)),
    ("find_cells_by_regex", ("(",)),
    ("find_cells_for_rows_by_regex", ("(", 5)),
    ("find_cells_for_cols_by_regex", ("(", 5)),
    ("find_cells_multi_regex", ("start", "[z-a]")),
    ("find_cells_between_regex", ("(", "(")),
]


@pytest.mark.parametrize("name, args", REGEX_CALLS)
def test_pattern_that_does_not_compile_raises_runtime_error_and_leaves_things_usable(name, args):
    fn = getattr(readable, name)
    with pytest.raises(RuntimeError) as info:
        fn(*args, as_dicts())
    assert str(info.value)  # the pattern library's own message
    assert shown(readable.find_cell_by_regex("apple", as_dicts())) == APPLE


def test_pattern_error_names_the_before_pattern_first():
    with pytest.raises(RuntimeError) as before:
        readable.find_cells_multi_regex("(", "[", [])
    with pytest.raises(RuntimeError) as after:
        readable.find_cells_multi_regex("ok", "[", [])
    assert str(before.value) != str(after.value)


@pytest.mark.parametrize("reference", ["B", "7", "AAAA1", "A4294967296"])
def test_invalid_letter_reference_raises_value_error(reference, raises_exactly):
    raises_exactly(ValueError, f"invalid cell reference: '{reference}'", readable.find_cell_by_letter, reference, as_dicts())


# ---- identity and sharing ------------------------------------------------------

def test_first_of_two_cells_at_one_coordinate_wins_and_both_values_are_listed():
    cells = as_dicts()
    cells.insert(0, {**cells[2], "value": "earlier"})
    assert shown(readable.find_cell_by_coords(2, 3, cells)) == (2, 3, "earlier")
    assert readable.find_values_by_row_cols(2, [3], cells) == ["earlier", "apple"]


def test_same_readable_cell_twice_gives_two_results_sharing_one_cell():
    (rc,) = readable.find_cells_by_str("Banana", as_dicts())
    first, second = readable.find_cells_by_regex("banana", [rc, rc])
    assert first is not second
    assert shown(first) == shown(second) == shown(rc) == BANANA


def test_found_cell_outlives_its_converted_list():
    hit = readable.find_cell_by_str("apple", as_dicts())
    for _ in range(3):
        readable.find_cells_by_regex("", as_dicts())
    assert (shown(hit), hit.letter, hit.data_type) == (APPLE, "C2", "s")
