"""Cell: reading a cell, setting its value, formula, style and hidden value,
and the data-type bookkeeping that comes with every write."""

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


def test_new_cell_reads_empty():
    assert state(new_cell()) == ("", "s", None, None, None, False, {"empty"})


# value assigned, value text read back, data_type, the is_value_* flag set
VALUE_SETTER = [
    ("TRUE", "true", "b", "bool"),
    ("false", "false", "b", "bool"),
    ("falſe", "false", "b", "bool"),
    ("42", "42", "n", "integer"),
    ("1.50", "1.5", "n", "numeric"),
    ("1e21", "1000000000000000000000", "n", "numeric"),
    ("", "", "s", "empty"),
    ("2024-01-02 03:04:05", "2024-01-02 03:04:05", "d", "datetime"),
    ("abc", "abc", "s", None),
]


@pytest.mark.parametrize("text, value, data_type, flag", VALUE_SETTER)
def test_value_setter_types_the_text_and_drops_the_formula(text, value, data_type, flag):
    cell = new_cell(value="9")
    cell.formula = "=1"
    cell.style = "s1"
    cell.hidden_value = "h"
    cell.value = text
    assert state(cell) == (value, data_type, None, "s1", "h", False, {flag} if flag else set())


def test_value_setter_accepts_str_subclasses():
    class Text(str):
        pass

    cell = new_cell()
    cell.value = Text("12")
    assert (cell.value, cell.data_type) == ("12", "n")


def test_formula_keeps_the_value_until_a_value_is_written():
    cell = new_cell(value="3.5")
    cell.formula = "=A1+1"
    assert state(cell) == ("3.5", "f", "=A1+1", None, None, True, {"numeric"})
    cell.value = "3"
    assert state(cell) == ("3", "n", None, None, None, False, {"integer"})
    cell.formula = ""
    assert (cell.formula, cell.is_formula, cell.data_type) == ("", True, "f")


@pytest.mark.parametrize("attribute", ["style", "hidden_value"])
def test_style_and_hidden_value_change_nothing_else(attribute):
    cell = new_cell(value="7")
    cell.formula = "=7"
    before = state(cell)
    setattr(cell, attribute, "x")
    assert getattr(cell, attribute) == "x"
    setattr(cell, attribute, "")
    assert getattr(cell, attribute) == ""
    after = state(cell)
    index = 3 if attribute == "style" else 4
    assert after[:index] + after[index + 1:] == before[:index] + before[index + 1:]


class Real:
    def __float__(self):
        return 2.25


# method, argument, value text, data_type, flag
TYPED_SETTERS = [
    ("set_value_number", 2.0, "2", "n", "numeric"),
    ("set_value_number", True, "1", "n", "numeric"),
    ("set_value_number", 3, "3", "n", "numeric"),
    ("set_value_number", Real(), "2.25", "n", "numeric"),
    ("set_value_number", float("nan"), "NaN", "n", "numeric"),
    ("set_value_number", float("-inf"), "-inf", "n", "numeric"),
    ("set_value_number", -0.0, "-0", "n", "numeric"),
    ("set_value_integer", True, "1", "n", "integer"),
    ("set_value_integer", -(2**31), "-2147483648", "n", "integer"),
    ("set_value_integer", 2**31 - 1, "2147483647", "n", "integer"),
    ("set_value_bool", True, "true", "b", "bool"),
    ("set_value_bool", False, "false", "b", "bool"),
    ("set_value_datetime", dt.datetime(2024, 1, 2, 3, 4, 5, 250000), "2024-01-02 03:04:05.250", "d", "datetime"),
    ("set_value_datetime", dt.datetime(2024, 1, 2, 3, 4, 5), "2024-01-02 03:04:05", "d", "datetime"),
    ("set_value_datetime", dt.datetime(2024, 1, 2, 3, 4, 5, 123456), "2024-01-02 03:04:05.123456", "d", "datetime"),
    ("set_value_datetime", dt.datetime(1, 1, 1), "0001-01-01 00:00:00", "d", "datetime"),
    ("set_value_datetime", dt.datetime(9999, 12, 31, 23, 59, 59, 999999), "9999-12-31 23:59:59.999999", "d",
     "datetime"),
    ("set_value_datetime", dt.datetime(2024, 3, 31, 2, 30, fold=1), "2024-03-31 02:30:00", "d", "datetime"),
]


@pytest.mark.parametrize("method, argument, value, data_type, flag", TYPED_SETTERS)
def test_typed_setters_store_the_value_and_clear_the_formula(method, argument, value, data_type, flag):
    cell = new_cell(value="abc")
    cell.formula = "=X"
    cell.style = "s"
    assert getattr(cell, method)(argument) is None
    assert state(cell) == (value, data_type, None, "s", None, False, {flag})
    getattr(cell, method)(value=argument)
    assert cell.value == value


def test_set_value_datetime_accepts_datetime_subclasses():
    class Stamp(dt.datetime):
        pass

    cell = new_cell()
    cell.set_value_datetime(Stamp(2020, 2, 29, 23, 59, 58, 1000))
    assert cell.value == "2020-02-29 23:59:58.001"


def test_set_value_bool_accepts_numpy_bools():
    numpy = pytest.importorskip("numpy")
    cell = new_cell()
    cell.set_value_bool(numpy.bool_(True))
    assert (cell.value, cell.data_type) == ("true", "b")


# method, argument, exception type, message
TYPED_SETTER_ERRORS = [
    ("set_value_number", "3", TypeError, "argument 'value': must be real number, not str"),
    ("set_value_number", None, TypeError, "argument 'value': must be real number, not NoneType"),
    ("set_value_integer", 2**31, OverflowError, OUT_OF_RANGE),
    ("set_value_integer", -(2**31) - 1, OverflowError, OUT_OF_RANGE),
    ("set_value_integer", 2**70, OverflowError, "Python int too large to convert to C long"),
    ("set_value_integer", 1.5, TypeError, "argument 'value': 'float' object cannot be interpreted as an integer"),
    ("set_value_integer", "3", TypeError, "argument 'value': 'str' object cannot be interpreted as an integer"),
    ("set_value_bool", 1, TypeError, "argument 'value': 'int' object cannot be cast as 'bool'"),
    ("set_value_bool", None, TypeError, "argument 'value': 'NoneType' object cannot be cast as 'bool'"),
    ("set_value_datetime", dt.date(2024, 1, 2), TypeError, "argument 'value': 'date' object cannot be cast as 'datetime'"),
    ("set_value_datetime", "2024-01-02 03:04:05", TypeError,
     "argument 'value': 'str' object cannot be cast as 'datetime'"),
    ("set_value_datetime", dt.datetime(2024, 1, 2, tzinfo=dt.timezone.utc), TypeError,
     "argument 'value': expected a datetime without tzinfo"),
    ("set_value_datetime", dt.datetime(2024, 1, 2, tzinfo=dt.timezone(dt.timedelta(hours=2))), TypeError,
     "argument 'value': expected a datetime without tzinfo"),
]


@pytest.mark.parametrize("method, argument, exc, message", TYPED_SETTER_ERRORS)
def test_typed_setter_errors_leave_the_cell_unchanged(method, argument, exc, message):
    cell = new_cell(value="keep")
    cell.formula = "=K"
    before = state(cell)
    with pytest.raises(exc) as raised:
        getattr(cell, method)(argument)
    assert type(raised.value) is exc
    assert str(raised.value) == message
    assert state(cell) == before


@pytest.mark.parametrize("method", ["set_value_number", "set_value_integer", "set_value_bool", "set_value_datetime"])
def test_typed_setters_match_arguments_first(method):
    cell = new_cell()
    bound = getattr(cell, method)
    cases = [
        ((), {}, f"Cell.{method}() missing 1 required positional argument: 'value'"),
        ((1, 2), {}, f"Cell.{method}() takes 1 positional arguments but 2 were given"),
        (("bad", 2), {}, f"Cell.{method}() takes 1 positional arguments but 2 were given"),
        ((), {"val": 1}, f"Cell.{method}() got an unexpected keyword argument 'val'"),
        ((1,), {"value": 1}, f"Cell.{method}() got multiple values for argument 'value'"),
    ]
    for args, kwargs, message in cases:
        with pytest.raises(TypeError) as raised:
            bound(*args, **kwargs)
        assert str(raised.value) == message
    assert state(cell) == ("", "s", None, None, None, False, {"empty"})


@pytest.mark.parametrize("attribute", ["value", "formula", "style", "hidden_value"])
@pytest.mark.parametrize(
    "assigned, exc, message",
    [
        (None, TypeError, "argument 'value': 'NoneType' object cannot be cast as 'str'"),
        (5, TypeError, "argument 'value': 'int' object cannot be cast as 'str'"),
        ("\ud800", UnicodeEncodeError, None),
        ("<delete>", AttributeError, "can't delete attribute"),
    ],
)
def test_setters_refuse_anything_but_str(attribute, assigned, exc, message):
    cell = new_cell(value="1")
    cell.formula = "=1"
    before = state(cell)
    with pytest.raises(exc) as raised:
        if assigned == "<delete>":
            delattr(cell, attribute)
        else:
            setattr(cell, attribute, assigned)
    assert type(raised.value) is exc
    if message is not None:
        assert str(raised.value) == message
    assert state(cell) == before


@pytest.mark.parametrize(
    "attribute",
    ["row", "column", "letter", "data_type", "is_formula", "is_value_bool", "is_value_numeric", "is_value_integer",
     "is_value_datetime", "is_value_empty"],
)
def test_read_only_attributes(attribute):
    cell = new_cell(value="1")
    before = getattr(cell, attribute)
    with pytest.raises(AttributeError):
        setattr(cell, attribute, before)
    assert getattr(cell, attribute) == before


@pytest.mark.parametrize(
    "row, col, letter",
    [(7, 2, "B7"), (3, 28, "AB3"), (7, 0, "7"), (1, 16384, "XFD1"), (4294967295, 65535, "CRXO4294967295")],
)
def test_letter_and_text_form(row, col, letter):
    cell = new_cell(row, col)
    assert cell.letter == letter
    assert repr(cell) == f"Cell, Coords: Coordinate {{ row: {row}, column: {col} }}"
    assert (cell.row, cell.column) == (row, col)


def test_cell_objects_share_one_cell():
    sheet = vellix.Book().add_sheet("S")
    one = sheet.cell(2, 3)
    two = sheet.cells[0]
    assert one is not two and one != two
    one.set_value_integer(5)
    assert (two.value, two.data_type) == ("5", "n")
    two.formula = "=5"
    assert one.is_formula
    sheet.cell(2, 3, "x")
    assert (one.value, one.formula, two.data_type) == ("x", None, "s")


def test_cell_outlives_its_sheet():
    book = vellix.Book()
    cell = book.add_sheet("S").cell(1, 1, "a")
    del book
    gc.collect()
    cell.value = "b"
    assert cell.value == "b"


def test_conversions_run_before_the_cell_is_locked():
    # A conversion that writes the same cell would deadlock under its lock.
    cell = new_cell()

    class WritesCell:
        def __float__(self):
            cell.value = "inner"
            return 8.5

        def __index__(self):
            cell.value = "inner"
            return 8

    cell.set_value_number(WritesCell())
    assert cell.value == "8.5"
    cell.set_value_integer(WritesCell())
    assert cell.value == "8"


def test_cell_calls_do_not_leak_references():
    cell = new_cell()
    text = "".join(["1", "2"])
    number = 1.5e300
    stamp = dt.datetime(2024, 1, 2)
    objects = (text, number, stamp, cell)
    counts = [sys.getrefcount(o) for o in objects]
    for _ in range(1000):
        cell.value = text
        cell.formula = text
        cell.set_value_number(number)
        cell.set_value_datetime(stamp)
        for attribute in ("row", "letter", "value", "formula", "style", "data_type", "hidden_value", "is_formula"):
            getattr(cell, attribute)
        repr(cell)
        with pytest.raises(TypeError):
            cell.set_value_integer(text)
    gc.collect()
    assert [sys.getrefcount(o) for o in objects] == counts
