"""Cell: reading a cell, its setters and typed set_value_* methods, and the
data-type bookkeeping that comes with every write."""

import datetime as dt
import gc
import sys

import pytest

import vellix

OUT_OF_RANGE = "out of range integral type conversion attempted"
FLAGS = ["empty", "bool", "integer", "numeric", "datetime"]


def new_cell(row=1, col=1, value=None):
    return vellix.Book().add_sheet("S").cell(row, col, value)


def state(cell):
    return (cell.value, cell.data_type, cell.formula, cell.style, cell.hidden_value, cell.is_formula,
            {f for f in FLAGS if getattr(cell, f"is_value_{f}")})


def formula_cell():
    cell = new_cell(value="9")
    cell.formula, cell.style, cell.hidden_value = "=X", "s1", "h"
    return cell


def test_new_cell_reads_empty():
    assert state(new_cell()) == ("", "s", None, None, None, False, {"empty"})


def test_formula_keeps_the_value_and_style_and_hidden_value_touch_nothing_else():
    cell = formula_cell()
    assert state(cell) == ("9", "f", "=X", "s1", "h", True, {"integer"})
    cell.formula = ""
    cell.style = ""
    assert state(cell) == ("9", "f", "", "", "h", True, {"integer"})


Real = type("Real", (), {"__float__": lambda self: 2.25})


@pytest.mark.parametrize("write, value, data_type, flag", [
    (lambda c: setattr(c, "value", "TRUE"), "true", "b", "bool"),
    (lambda c: setattr(c, "value", "1.50"), "1.5", "n", "numeric"),
    (lambda c: setattr(c, "value", ""), "", "s", "empty"),
    (lambda c: setattr(c, "value", type("Text", (str,), {})("42")), "42", "n", "integer"),
    (lambda c: setattr(c, "value", "abc"), "abc", "s", None),
    (lambda c: c.set_value_number(2.0), "2", "n", "numeric"),
    (lambda c: c.set_value_number(True), "1", "n", "numeric"),
    (lambda c: c.set_value_number(value=Real()), "2.25", "n", "numeric"),
    (lambda c: c.set_value_number(float("nan")), "NaN", "n", "numeric"),
    (lambda c: c.set_value_integer(True), "1", "n", "integer"),
    (lambda c: c.set_value_integer(-(2**31)), "-2147483648", "n", "integer"),
    (lambda c: c.set_value_bool(False), "false", "b", "bool"),
    (lambda c: c.set_value_datetime(dt.datetime(2024, 1, 2, 3, 4, 5, 250000)), "2024-01-02 03:04:05.250", "d",
     "datetime"),
    (lambda c: c.set_value_datetime(dt.datetime(2024, 1, 2, 3, 4, 5, 123456)), "2024-01-02 03:04:05.123456", "d",
     "datetime"),
    (lambda c: c.set_value_datetime(type("Stamp", (dt.datetime,), {})(1, 1, 1, fold=1)), "0001-01-01 00:00:00", "d",
     "datetime"),
])
def test_value_writes_retype_and_drop_the_formula(write, value, data_type, flag):
    cell = formula_cell()
    assert write(cell) is None
    assert state(cell) == (value, data_type, None, "s1", "h", False, {flag} if flag else set())


def test_set_value_bool_accepts_numpy_bools():
    import numpy
    cell = new_cell()
    cell.set_value_bool(numpy.bool_(True))
    assert (cell.value, cell.data_type) == ("true", "b")


@pytest.mark.parametrize("call, exc, message", [
    (lambda c: c.set_value_number("3"), TypeError, "argument 'value': must be real number, not str"),
    (lambda c: c.set_value_integer(2**31), OverflowError, OUT_OF_RANGE),
    (lambda c: c.set_value_integer(1.5), TypeError, "argument 'value': 'float' object cannot be interpreted as an integer"),
    (lambda c: c.set_value_bool(1), TypeError, "argument 'value': 'int' object cannot be cast as 'bool'"),
    (lambda c: c.set_value_datetime(dt.date(2024, 1, 2)), TypeError,
     "argument 'value': 'date' object cannot be cast as 'datetime'"),
    (lambda c: c.set_value_datetime(dt.datetime(2024, 1, 2, tzinfo=dt.timezone.utc)), TypeError,
     "argument 'value': expected a datetime without tzinfo"),
    (lambda c: c.set_value_number(), TypeError, "Cell.set_value_number() missing 1 required positional argument: 'value'"),
    (lambda c: c.set_value_bool("x", 2), TypeError, "Cell.set_value_bool() takes 1 positional arguments but 2 were given"),
    (lambda c: c.set_value_datetime(val=1), TypeError,
     "Cell.set_value_datetime() got an unexpected keyword argument 'val'"),
    (lambda c: setattr(c, "value", None), TypeError, "argument 'value': 'NoneType' object cannot be cast as 'str'"),
    (lambda c: setattr(c, "formula", 5), TypeError, "argument 'value': 'int' object cannot be cast as 'str'"),
    (lambda c: setattr(c, "style", None), TypeError, "argument 'value': 'NoneType' object cannot be cast as 'str'"),
    (lambda c: setattr(c, "hidden_value", "\ud800"), UnicodeEncodeError, None),
    (lambda c: delattr(c, "hidden_value"), AttributeError, "can't delete attribute"),
    (lambda c: delattr(c, "value"), AttributeError, "can't delete attribute"),
    (lambda c: setattr(c, "data_type", "n"), AttributeError, None),
    (lambda c: setattr(c, "letter", "A1"), AttributeError, None),
])
def test_failed_writes_leave_the_cell_unchanged(call, exc, message):
    cell = formula_cell()
    with pytest.raises(exc) as raised:
        call(cell)
    assert type(raised.value) is exc
    assert message is None or str(raised.value) == message
    assert state(cell) == ("9", "f", "=X", "s1", "h", True, {"integer"})


@pytest.mark.parametrize("row, col, letter", [(7, 2, "B7"), (3, 28, "AB3"), (7, 0, "7"), (1, 16384, "XFD1"),
                                              (4294967295, 65535, "CRXO4294967295")])
def test_letter_and_text_form(row, col, letter):
    cell = new_cell(row, col)
    assert (cell.row, cell.column, cell.letter) == (row, col, letter)
    assert repr(cell) == f"Cell, Coords: Coordinate {{ row: {row}, column: {col} }}"


def test_cell_objects_share_one_cell_and_outlive_the_book():
    book = vellix.Book()
    sheet = book.add_sheet("S")
    one, two = sheet.cell(2, 3), sheet.cells[0]
    assert one is not two and one != two
    one.set_value_integer(5)
    two.formula = "=5"
    assert (two.value, one.is_formula) == ("5", True)
    sheet.cell(2, 3, "x")
    del book, sheet
    gc.collect()
    assert state(one) == state(two) == ("x", "s", None, None, None, False, set())


def test_conversions_run_before_the_cell_is_locked():
    cell = new_cell()
    writes = type("Writes", (), {"__float__": lambda self: (setattr(cell, "value", "inner"), 8.5)[1]})
    cell.set_value_number(writes())  # deadlocks if the conversion ran under the cell's lock
    assert cell.value == "8.5"


def test_cell_calls_do_not_leak_references():
    cell = new_cell()
    objects = ("".join(["1", "2"]), 1.5e300, dt.datetime(2024, 1, 2), cell)
    text, number, stamp = objects[:3]
    before = [sys.getrefcount(o) for o in objects]
    for _ in range(1000):
        cell.value = text
        cell.formula = text
        cell.set_value_number(number)
        cell.set_value_datetime(stamp)
        cell.row, cell.letter, cell.value, cell.formula, cell.style, cell.data_type, cell.is_formula, repr(cell)
        with pytest.raises(TypeError):
            cell.set_value_integer(text)
    after = [sys.getrefcount(o) for o in objects]
    assert after == before
