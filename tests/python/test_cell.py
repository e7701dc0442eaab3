"""Cell: reading a cell, its setters and typed set_value_* methods, and the data-type bookkeeping of every write."""

import datetime as dt

import pytest

import vellix

FLAGS = ["empty", "bool", "integer", "numeric", "datetime"]


def state(cell):
    return (cell.value, cell.data_type, cell.formula, cell.style, cell.hidden_value, cell.is_formula,
            {f for f in FLAGS if getattr(cell, f"is_value_{f}")})


@pytest.mark.parametrize("write, value, data_type, flag", [
    (lambda c: setattr(c, "value", "TRUE"), "true", "b", "bool"),
    (lambda c: c.set_value_number(True), "1", "n", "numeric"),
    (lambda c: c.set_value_integer(value=-(2**31)), "-2147483648", "n", "integer"),
    (lambda c: c.set_value_bool(False), "false", "b", "bool"),
    (lambda c: c.set_value_datetime(dt.datetime(2024, 1, 2, 3, 4, 5, 250000)), "2024-01-02 03:04:05.250", "d",
     "datetime"),
    (lambda c: c.set_value_datetime(type("Stamp", (dt.datetime,), {})(1, 1, 1, fold=1)), "0001-01-01 00:00:00", "d",
     "datetime"),
])
def test_value_writes_retype_and_drop_the_formula(write, value, data_type, flag):
    sheet = vellix.Book().add_sheet("S")
    cell = sheet.cell(1, 1)
    assert state(cell) == ("", "s", None, None, None, False, {"empty"})
    cell.value, cell.formula, cell.style, cell.hidden_value = "9", "", "s1", "h"
    assert state(cell) == ("9", "f", "", "s1", "h", True, {"integer"})  # a formula, empty or not, keeps the value
    assert write(cell) is None
    assert state(sheet.cells[0]) == (value, data_type, None, "s1", "h", False, {flag})  # seen through another view


@pytest.mark.parametrize("row, col, letter", [(7, 2, "B7"), (7, 0, "7"), (1, 16384, "XFD1"),
                                              (4294967295, 65535, "CRXO4294967295")])
def test_letter_and_text_form(row, col, letter):
    cell = vellix.Book().add_sheet("S").cell(row, col)
    assert (cell.row, cell.column, cell.letter) == (row, col, letter)
    assert repr(cell) == f"Cell, Coords: Coordinate {{ row: {row}, column: {col} }}"


def test_conversions_run_before_the_cell_is_locked():
    cell = vellix.Book().add_sheet("S").cell(1, 1)
    writes = type("Writes", (), {"__float__": lambda self: (setattr(cell, "value", "inner"), 8.5)[1]})
    cell.set_value_number(writes())  # deadlocks if the conversion ran under the cell's lock
    assert cell.value == "8.5"


@pytest.mark.parametrize("text", [
    "x" * 13, "y" * 14, "z" * 15, "\u00e9" * 7, "abcdefghijklm\u00e9", "\U0001f642" * 3 + "ab", "\U0001f642" * 4,
    "a\x00b\x00", "\x00" * 14, "w" * 200,
])
def test_strings_around_the_inline_size_read_back_search_and_export_exactly(text):
    book = vellix.Book()
    sheet = book.add_sheet("S")
    cell = sheet.cell(2, 1, text)
    sheet.cell(1, 1, "z" * 15).value = text  # replacing a longer text, and then a shorter one
    sheet.cell(3, 1, "x").value = text
    assert [c.value for c in sheet.cells] == [text] * 3
    assert (cell.data_type, cell.is_value_empty) == ("s", False)
    assert [(c.row, c.column) for c in sheet.find_cells_by_str(text)] == [(1, 1), (2, 1), (3, 1)]
    assert [c["value"] for c in book.to_dict()["sheets"][0]["cells"]] == [text] * 3
