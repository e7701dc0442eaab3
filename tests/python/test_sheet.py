"""Sheet: name and state, cells, merged ranges and comments."""

import gc
import sys

import pytest

import vellix

OUT_OF_RANGE = "out of range integral type conversion attempted"


def new_sheet(name="S"):
    return vellix.Book().add_sheet(name)


def snapshot(sheet):
    return (sheet.name, sheet.sheet_state, [(c.row, c.column, c.value, c.data_type) for c in sheet.cells],
            sheet.merge_cells, [(c.row, c.column, c.author, c.text) for c in sheet.comments])


def test_new_sheet_is_empty():
    sheet = new_sheet("Data")
    assert (sheet.max_row, sheet.max_column) == (0, 0)
    assert sheet.cells == [] and sheet.merge_cells == [] and sheet.comments == []
    assert repr(sheet) == "Sheet (Data) cells: 0"


@pytest.mark.parametrize("name", ["X", "", "Data (2)", "ünï €", "S" * 1000])
def test_name_accepts_any_text(name):
    book = vellix.Book()
    sheet = book.add_sheet("old")
    book.add_sheet(name)
    sheet.name = name
    assert sheet.name == name
    assert repr(sheet) == f"Sheet ({name}) cells: 0"


@pytest.mark.parametrize("state", ["hidden", "veryHidden", "", "anything at all"])
def test_set_sheet_state_accepts_any_text(state):
    sheet = new_sheet()
    assert sheet.sheet_state == "visible"
    assert sheet.set_sheet_state(state) is None
    assert sheet.sheet_state == state
    assert sheet.set_sheet_state(state="again") is None
    assert sheet.sheet_state == "again"


# text given to cell(), value text read back, data_type, the is_value_* flag set
TYPING = [
    (None, "", "s", "empty"),
    ("", "", "s", "empty"),
    ("TRUE", "true", "b", "bool"),
    ("true", "true", "b", "bool"),
    ("True", "true", "b", "bool"),
    ("false", "false", "b", "bool"),
    ("12", "12", "n", "integer"),
    ("-0", "0", "n", "integer"),
    ("2147483648", "2147483648", "n", "numeric"),
    ("1.5", "1.5", "n", "numeric"),
    ("1.50", "1.5", "n", "numeric"),
    ("2024-01-02 03:04:05", "2024-01-02 03:04:05", "d", "datetime"),
    ("abc", "abc", "s", None),
    (" 12", " 12", "s", None),
]

FLAGS = ["empty", "bool", "integer", "numeric", "datetime"]


def assert_typed(cell, value, data_type, flag):
    assert (cell.value, cell.data_type, cell.formula) == (value, data_type, None)
    assert {f for f in FLAGS if getattr(cell, f"is_value_{f}")} == ({flag} if flag else set())


@pytest.mark.parametrize("text, value, data_type, flag", TYPING)
def test_cell_types_its_text(text, value, data_type, flag):
    sheet = new_sheet()
    cell = sheet.cell(3, 4, text)
    assert (cell.row, cell.column) == (3, 4)
    assert_typed(cell, value, data_type, flag)


@pytest.mark.parametrize("text, value, data_type, flag", [t for t in TYPING if t[0] is not None])
def test_cell_with_value_retypes_an_existing_formula_cell(text, value, data_type, flag):
    sheet = new_sheet()
    sheet.cell(3, 4, "2024-05-06 07:08:09").formula = "=NOW()"
    assert_typed(sheet.cell(3, 4, text), value, data_type, flag)


def test_cell_without_value_marks_a_plain_cell_as_text_but_keeps_its_value():
    sheet = new_sheet()
    sheet.cell(1, 1, "2.5")
    cell = sheet.cell(1, 1)
    assert (cell.value, cell.data_type, cell.is_value_numeric) == ("2.5", "s", True)


def test_cell_without_value_leaves_a_formula_cell_alone():
    sheet = new_sheet()
    cell = sheet.cell(1, 1, "4")
    cell.formula = "=2+2"
    cell.style = "s1"
    for again in (sheet.cell(1, 1), sheet.cell(1, 1, None)):
        assert (again.value, again.formula, again.data_type, again.style) == ("4", "=2+2", "f", "s1")


def test_cell_with_value_drops_the_formula_but_keeps_style_and_hidden_value():
    sheet = new_sheet()
    cell = sheet.cell(1, 1, "4")
    cell.formula = "=2+2"
    cell.style = "s1"
    cell.hidden_value = "h"
    sheet.cell(1, 1, "abc")
    assert (cell.value, cell.formula, cell.data_type, cell.style, cell.hidden_value) == ("abc", None, "s", "s1", "h")


def test_cell_returns_new_views_of_the_same_cell():
    sheet = new_sheet()
    first = sheet.cell(2, 2, "a")
    second = sheet.cell(2, 2)
    assert first is not second
    second.value = "b"
    assert first.value == "b"
    sheet.cell(2, 2, "c")
    assert second.value == "c"
    assert len(sheet.cells) == 1


def test_cells_come_sorted_by_row_then_column():
    sheet = new_sheet()
    for row, col in [(5, 1), (1, 2), (1, 1), (0, 7), (3, 0), (1, 65535), (4294967295, 0)]:
        sheet.cell(row, col, f"{row}:{col}")
    assert [(c.row, c.column) for c in sheet.cells] == [
        (0, 7), (1, 1), (1, 2), (1, 65535), (3, 0), (5, 1), (4294967295, 0)]
    assert [c.value for c in sheet.cells][:2] == ["0:7", "1:1"]
    assert (sheet.max_row, sheet.max_column) == (4294967295, 65535)


def test_row_and_column_zero_are_accepted():
    sheet = new_sheet("Z")
    cell = sheet.cell(0, 0)
    assert (cell.row, cell.column, cell.letter) == (0, 0, "0")
    assert (sheet.max_row, sheet.max_column) == (0, 0)
    assert repr(sheet) == "Sheet (Z) cells: 1"


def test_merge_cells_are_stored_as_given_in_order():
    sheet = new_sheet()
    ranges = [(5, 1, 3, 2), (1, 1, 1, 1), (5, 1, 3, 2), (0, 4294967295, 0, 65535)]
    for r in ranges:
        assert sheet.add_merge_cells(*r) is None
    sheet.add_merge_cells(start_row=1, end_row=2, start_col=3, end_col=4)
    assert sheet.merge_cells == ranges + [(1, 2, 3, 4)]
    assert all(type(v) is int for r in sheet.merge_cells for v in r)


def test_comments_are_appended_never_replaced():
    sheet = new_sheet()
    sheet.add_comment(3, 2, "hello", "ann")
    sheet.add_comment(3, 2, "again", "bob")
    sheet.add_comment(row=9, col=1, author="cy", text="")
    assert [(c.row, c.column, c.text, c.author) for c in sheet.comments] == [
        (3, 2, "hello", "ann"), (3, 2, "again", "bob"), (9, 1, "", "cy")]
    assert sheet.cells == []  # a comment needs no cell


def test_two_sheet_objects_are_views_of_one_sheet():
    book = vellix.Book()
    book.add_sheet("A")
    one, two = book.sheets[0], book.get_sheet_name("A")
    assert one != two and hash(one) != hash(two)
    one.cell(1, 1, "x")
    two.add_merge_cells(1, 1, 1, 2)
    two.add_comment(1, 1, "t", "a")
    one.set_sheet_state("hidden")
    assert snapshot(one) == snapshot(two)
    assert repr(two) == "Sheet (A) cells: 1"


# (call, exception type, message): matching, then conversion in signature
# order, over every method of this file's table.
SHEET_ARGUMENT_ERRORS = [
    (lambda s: s.cell(), TypeError, "Sheet.cell() missing 2 required positional arguments: 'row' and 'col'"),
    (lambda s: s.cell(1, 2, "x", 4), TypeError, "Sheet.cell() takes from 2 to 3 positional arguments but 4 were given"),
    (lambda s: s.cell(1, 2, row=1), TypeError, "Sheet.cell() got multiple values for argument 'row'"),
    (lambda s: s.cell(1, 2, val="x"), TypeError, "Sheet.cell() got an unexpected keyword argument 'val'"),
    (lambda s: s.cell(4294967296, 1), OverflowError, OUT_OF_RANGE),
    (lambda s: s.cell(1, 65536), OverflowError, OUT_OF_RANGE),
    (lambda s: s.cell(-1, 1), OverflowError, OUT_OF_RANGE),
    (lambda s: s.cell(-1, "x"), OverflowError, OUT_OF_RANGE),
    (lambda s: s.cell(2**70, 1), OverflowError, "Python int too large to convert to C long"),
    (lambda s: s.cell(1.0, 1), TypeError, "argument 'row': 'float' object cannot be interpreted as an integer"),
    (lambda s: s.cell(1, "2"), TypeError, "argument 'col': 'str' object cannot be interpreted as an integer"),
    (lambda s: s.cell(1, 1, 5), TypeError, "argument 'value': 'int' object cannot be cast as 'str'"),
    (lambda s: s.cell(1, 1, b"5"), TypeError, "argument 'value': 'bytes' object cannot be cast as 'str'"),
    (lambda s: s.cell(1, 1, "\ud800"), UnicodeEncodeError, None),
    (lambda s: s.set_sheet_state(), TypeError, "Sheet.set_sheet_state() missing 1 required positional argument: 'state'"),
    (lambda s: s.set_sheet_state(None), TypeError, "argument 'state': 'NoneType' object cannot be cast as 'str'"),
    (lambda s: s.add_merge_cells(1), TypeError,
     "Sheet.add_merge_cells() missing 3 required positional arguments: 'end_row', 'start_col', and 'end_col'"),
    (lambda s: s.add_merge_cells(1, 2, 3, 4, 5), TypeError,
     "Sheet.add_merge_cells() takes 4 positional arguments but 5 were given"),
    (lambda s: s.add_merge_cells(1, -2, 3, 4), OverflowError, OUT_OF_RANGE),
    (lambda s: s.add_merge_cells(1, 2, 3, 65536), OverflowError, OUT_OF_RANGE),
    (lambda s: s.add_merge_cells(1, 2, None, 4), TypeError,
     "argument 'start_col': 'NoneType' object cannot be interpreted as an integer"),
    (lambda s: s.add_comment(1, 2), TypeError,
     "Sheet.add_comment() missing 2 required positional arguments: 'text' and 'author'"),
    (lambda s: s.add_comment(1, 2, "t", "a", x=0), TypeError, "Sheet.add_comment() got an unexpected keyword argument 'x'"),
    (lambda s: s.add_comment(4294967296, 1, "t", "a"), OverflowError, OUT_OF_RANGE),
    (lambda s: s.add_comment(1, 1, "t", None), TypeError, "argument 'author': 'NoneType' object cannot be cast as 'str'"),
    (lambda s: s.add_comment(1, 1, 0, None), TypeError, "argument 'text': 'int' object cannot be cast as 'str'"),
]


@pytest.mark.parametrize("call, exc, message", SHEET_ARGUMENT_ERRORS)
def test_sheet_argument_errors_change_nothing(call, exc, message):
    sheet = new_sheet()
    sheet.cell(1, 1, "keep")
    before = snapshot(sheet)
    with pytest.raises(exc) as raised:
        call(sheet)
    assert type(raised.value) is exc
    if message is not None:
        assert str(raised.value) == message
    assert snapshot(sheet) == before


@pytest.mark.parametrize(
    "value, exc, message",
    [
        (None, TypeError, "argument 'name': 'NoneType' object cannot be cast as 'str'"),
        (5, TypeError, "argument 'name': 'int' object cannot be cast as 'str'"),
        ("\udc80", UnicodeEncodeError, None),
    ],
)
def test_name_setter_refuses_non_text(value, exc, message):
    sheet = new_sheet("keep")
    with pytest.raises(exc) as raised:
        sheet.name = value
    if message is not None:
        assert str(raised.value) == message
    assert sheet.name == "keep"


@pytest.mark.parametrize("attribute", ["name"])
def test_deleting_name_is_refused(attribute):
    sheet = new_sheet("keep")
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        delattr(sheet, attribute)
    assert sheet.name == "keep"


@pytest.mark.parametrize("attribute", ["sheet_state", "max_row", "max_column", "cells", "merge_cells", "comments"])
def test_read_only_attributes(attribute):
    sheet = new_sheet()
    with pytest.raises(AttributeError):
        setattr(sheet, attribute, 1)


class Index:
    """An int-like whose conversion runs a callback first."""

    def __init__(self, value, callback):
        self.value, self.callback = value, callback

    def __index__(self):
        self.callback()
        return self.value


def test_exclusive_borrow_refuses_reads_during_add_merge_cells():
    sheet = new_sheet()
    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        sheet.add_merge_cells(Index(1, lambda: sheet.name), 1, 1, 1)
    assert sheet.merge_cells == []
    assert sheet.name == "S"  # the borrow was given back


def test_exclusive_borrow_is_refused_while_shared_borrow_is_held():
    sheet = new_sheet()
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        sheet.cell(Index(1, lambda: sheet.add_comment(1, 1, "t", "a")), 1)
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        sheet.add_comment(Index(1, lambda: sheet.add_merge_cells(1, 1, 1, 1)), 1, "t", "a")
    assert sheet.comments == [] and sheet.merge_cells == [] and sheet.cells == []


def test_conversions_run_before_the_sheet_is_locked():
    # A conversion that writes the same sheet would deadlock under its lock.
    sheet = new_sheet()
    cell = sheet.cell(Index(2, lambda: sheet.cell(9, 9, "inner")), 1, "outer")
    assert (cell.row, cell.value) == (2, "outer")
    assert [(c.row, c.column) for c in sheet.cells] == [(2, 1), (9, 9)]


def test_sheet_calls_do_not_leak_references():
    sheet = new_sheet()
    text = "".join(["val", "ue"])
    row = 10**15  # an int beyond the small-int cache
    for i in range(10):
        sheet.cell(i, 1, text)
    sheet.add_comment(1, 1, text, text)
    sheet.add_merge_cells(1, 1, 1, 1)
    counts = [sys.getrefcount(o) for o in (text, vellix.Cell, vellix.Comment, sheet)]
    for _ in range(1000):
        sheet.cell(1, 1, text)
        sheet.cells
        sheet.comments
        sheet.merge_cells
        sheet.name = text
        sheet.set_sheet_state(text)
        repr(sheet)
        with pytest.raises(OverflowError):
            sheet.cell(row, 1, text)
    gc.collect()
    assert [sys.getrefcount(o) for o in (text, vellix.Cell, vellix.Comment, sheet)] == counts
    cells, plain = sheet.cells, [object()]
    assert sys.getrefcount(cells) == sys.getrefcount(plain)
    assert sys.getrefcount(cells[0]) == sys.getrefcount(plain[0])
