"""Sheet: name and state, cells, merged ranges and comments."""

import gc
import sys

import pytest

import vellix

OUT_OF_RANGE = "out of range integral type conversion attempted"
FLAGS = ["empty", "bool", "integer", "numeric", "datetime"]


def new_sheet(name="S"):
    return vellix.Book().add_sheet(name)


def snapshot(sheet):
    return (sheet.name, sheet.sheet_state, [(c.row, c.column, c.value, c.data_type) for c in sheet.cells],
            sheet.merge_cells, [(c.row, c.column, c.author, c.text) for c in sheet.comments])


def test_new_sheet_is_empty():
    sheet = new_sheet("Data")
    assert (sheet.max_row, sheet.max_column, sheet.cells, sheet.merge_cells, sheet.comments) == (0, 0, [], [], [])
    assert (sheet.sheet_state, repr(sheet)) == ("visible", "Sheet (Data) cells: 0")


def test_name_and_state_take_any_text():
    sheet = new_sheet()
    for text in ["", "ünï €", "S" * 300]:
        sheet.name = text
        assert sheet.set_sheet_state(state=text) is None
        assert (sheet.name, sheet.sheet_state, repr(sheet)) == (text, text, f"Sheet ({text}) cells: 0")


@pytest.mark.parametrize("text, value, data_type, flag", [
    (None, "", "s", "empty"),
    ("", "", "s", "empty"),
    ("True", "true", "b", "bool"),
    ("12", "12", "n", "integer"),
    ("1.50", "1.5", "n", "numeric"),
    ("2024-01-02 03:04:05", "2024-01-02 03:04:05", "d", "datetime"),
    (" 12", " 12", "s", None),
])
@pytest.mark.parametrize("earlier", [None, "formula"])
def test_cell_types_its_text(text, value, data_type, flag, earlier):
    sheet = new_sheet()
    if earlier:
        sheet.cell(3, 4, "9").formula = "=NOW()"
        if text is None:
            value, data_type, flag = "9", "f", "integer"  # a formula cell asked for without a value stays
    cell = sheet.cell(3, 4, text)
    assert (cell.row, cell.column, cell.value, cell.data_type) == (3, 4, value, data_type)
    assert cell.formula == ("=NOW()" if data_type == "f" else None)
    assert {f for f in FLAGS if getattr(cell, f"is_value_{f}")} == ({flag} if flag else set())


def test_cell_without_value_marks_a_plain_cell_as_text_keeping_the_rest():
    sheet = new_sheet()
    cell = sheet.cell(1, 1, "2.5")
    cell.style, cell.hidden_value = "s1", "h"
    again = sheet.cell(1, 1)
    assert (again.value, again.data_type, again.is_value_numeric, again.style, again.hidden_value) == (
        "2.5", "s", True, "s1", "h")
    assert again is not cell and len(sheet.cells) == 1


def test_cells_come_sorted_and_bound_max_row_and_column():
    sheet = new_sheet()
    for row, col in [(5, 1), (1, 2), (1, 1), (0, 7), (1, 65535), (4294967295, 0)]:
        sheet.cell(row, col, f"{row}:{col}")
    assert [c.value for c in sheet.cells] == ["0:7", "1:1", "1:2", "1:65535", "5:1", "4294967295:0"]
    assert (sheet.max_row, sheet.max_column, repr(sheet)) == (4294967295, 65535, "Sheet (S) cells: 6")


def test_merges_and_comments_are_appended_as_given():
    sheet = new_sheet()
    ranges = [(5, 1, 3, 2), (5, 1, 3, 2), (0, 4294967295, 0, 65535)]
    for r in ranges:
        assert sheet.add_merge_cells(*r) is None
    sheet.add_comment(3, 2, "hello", "ann")
    sheet.add_comment(row=3, col=2, author="bob", text="")
    assert sheet.merge_cells == ranges
    assert [(c.coordinate, c.text, c.author) for c in sheet.comments] == [((3, 2), "hello", "ann"), ((3, 2), "", "bob")]
    assert sheet.cells == []


def test_two_sheet_objects_are_views_of_one_sheet():
    book = vellix.Book()
    one, two = book.add_sheet("A"), book.sheets[0]
    assert one != two and hash(one) != hash(two)
    one.cell(1, 1, "x")
    two.add_merge_cells(1, 1, 1, 2)
    two.add_comment(1, 1, "t", "a")
    one.set_sheet_state("hidden")
    assert snapshot(one) == snapshot(two)


@pytest.mark.parametrize("call, exc, message", [
    (lambda s: s.cell(), TypeError, "Sheet.cell() missing 2 required positional arguments: 'row' and 'col'"),
    (lambda s: s.cell(1, 2, "x", 4), TypeError, "Sheet.cell() takes from 2 to 3 positional arguments but 4 were given"),
    (lambda s: s.cell(1, 2, row=1), TypeError, "Sheet.cell() got multiple values for argument 'row'"),
    (lambda s: s.cell(4294967296, 1), OverflowError, OUT_OF_RANGE),
    (lambda s: s.cell(-1, "x"), OverflowError, OUT_OF_RANGE),
    (lambda s: s.cell(1, 65536), OverflowError, OUT_OF_RANGE),
    (lambda s: s.cell(1.0, 1), TypeError, "argument 'row': 'float' object cannot be interpreted as an integer"),
    (lambda s: s.cell(1, 1, 5), TypeError, "argument 'value': 'int' object cannot be cast as 'str'"),
    (lambda s: s.cell(1, 1, "\ud800"), UnicodeEncodeError, None),
    (lambda s: s.set_sheet_state(None), TypeError, "argument 'state': 'NoneType' object cannot be cast as 'str'"),
    (lambda s: s.add_merge_cells(1), TypeError,
     "Sheet.add_merge_cells() missing 3 required positional arguments: 'end_row', 'start_col', and 'end_col'"),
    (lambda s: s.add_merge_cells(1, 2, 3, 65536), OverflowError, OUT_OF_RANGE),
    (lambda s: s.add_comment(1, 2, "t", "a", x=0), TypeError, "Sheet.add_comment() got an unexpected keyword argument 'x'"),
    (lambda s: s.add_comment(1, 1, 0, None), TypeError, "argument 'text': 'int' object cannot be cast as 'str'"),
    (lambda s: setattr(s, "name", None), TypeError, "argument 'name': 'NoneType' object cannot be cast as 'str'"),
    (lambda s: delattr(s, "name"), AttributeError, "can't delete attribute"),
    (lambda s: setattr(s, "sheet_state", "x"), AttributeError, None),
])
def test_argument_errors_change_nothing(call, exc, message):
    sheet = new_sheet()
    sheet.cell(1, 1, "keep")
    before = snapshot(sheet)
    with pytest.raises(exc) as raised:
        call(sheet)
    assert type(raised.value) is exc
    assert message is None or str(raised.value) == message
    assert snapshot(sheet) == before


class Index:
    """An int-like whose conversion first runs a callback."""

    def __init__(self, callback):
        self.callback = callback

    def __index__(self):
        self.callback()
        return 2


def test_borrow_is_taken_before_arguments_are_converted():
    sheet = new_sheet()
    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        sheet.add_merge_cells(Index(lambda: sheet.name), 1, 1, 1)
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        sheet.cell(Index(lambda: sheet.add_comment(1, 1, "t", "a")), 1)
    assert snapshot(sheet) == ("S", "visible", [], [], [])
    # Shared borrows nest, and conversions run before the sheet is locked.
    cell = sheet.cell(Index(lambda: sheet.cell(9, 9, "inner")), 1, "outer")
    assert [(c.row, c.column, c.value) for c in sheet.cells] == [(2, 1, "outer"), (9, 9, "inner")]
    assert cell.value == "outer"


def test_sheet_calls_do_not_leak_references():
    sheet = new_sheet()
    text, row = "".join(["val", "ue"]), 10**15
    sheet.add_comment(1, 1, text, text)
    sheet.add_merge_cells(1, 1, 1, 1)
    gc.collect()
    objects = (text, row, vellix.Cell, vellix.Comment, sheet)
    before = [sys.getrefcount(o) for o in objects]
    for _ in range(1000):
        sheet.cell(1, 1, text), sheet.cells, sheet.comments, sheet.merge_cells, repr(sheet)
        sheet.name = text
        sheet.set_sheet_state(text)
        with pytest.raises(OverflowError):
            sheet.cell(row, 1, text)
    gc.collect()
    after = [sys.getrefcount(o) for o in objects]
    assert after == before
