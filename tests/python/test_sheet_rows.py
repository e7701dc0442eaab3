"""Sheet: deleting rows and columns, row heights, column widths, hidden flags."""

import math

import pytest

import vellix

U32 = 4294967295
U16 = 65535


def new_sheet(name="S"):
    book = vellix.Book()
    return book, book.add_sheet(name)


def layout(sheet):
    return [(c.row, c.column, c.value) for c in sheet.cells]


# (cells as (row, col), idx, amount, expected (row, col, value) after delete_rows)
DELETE_ROWS = [
    pytest.param([(1, 1), (2, 1), (3, 1)], 1, 1, [(1, 1, "r2c1"), (2, 1, "r3c1")], id="first-row"),
    pytest.param([(r, 1) for r in range(1, 6)], 2, 2,
                 [(1, 1, "r1c1"), (2, 1, "r4c1"), (3, 1, "r5c1")], id="middle-band"),
    pytest.param([(r, 1) for r in range(1, 6)], 10, 3,
                 [(r, 1, f"r{r}c1") for r in range(1, 6)], id="past-the-end"),
    pytest.param([(1, 1), (2, 2), (3, 3)], 2, 0,
                 [(1, 1, "r1c1"), (2, 2, "r2c2"), (3, 3, "r3c3")], id="amount-zero"),
    pytest.param([(r, 2) for r in range(1, 6)], 3, U32,
                 [(1, 2, "r1c2"), (2, 2, "r2c2")], id="idx-plus-amount-overflows"),
    pytest.param([(0, 1), (1, 1), (2, 1)], 0, 1, [(0, 1, "r1c1"), (1, 1, "r2c1")], id="row-zero"),
    pytest.param([(U32, 1), (U32 - 1, 1), (5, 1)], U32 - 1, U32,
                 [(5, 1, "r5c1")], id="band-at-top-of-range"),
    pytest.param([(U32, 1), (1, 1)], 1, U32 - 1,
                 [(1, 1, "r4294967295c1")], id="moves-from-top-of-range"),
]

DELETE_COLS = [
    pytest.param([(1, 1), (1, 2), (1, 3)], 1, 1, [(1, 1, "r1c2"), (1, 2, "r1c3")], id="first-column"),
    pytest.param([(2, c) for c in range(1, 6)], 2, 2,
                 [(2, 1, "r2c1"), (2, 2, "r2c4"), (2, 3, "r2c5")], id="middle-band"),
    pytest.param([(1, c) for c in range(1, 4)], 9, 2,
                 [(1, c, f"r1c{c}") for c in range(1, 4)], id="past-the-end"),
    pytest.param([(1, 0), (1, 1), (2, U16)], 1, U16, [(1, 0, "r1c0")], id="everything-but-column-zero"),
    pytest.param([(1, U16), (1, U16 - 1)], U16, U16, [(1, U16 - 1, f"r1c{U16 - 1}")],
                 id="idx-plus-amount-overflows"),
    pytest.param([(1, 0), (1, 1)], 0, 1, [(1, 0, "r1c1")], id="column-zero"),
    pytest.param([(3, 4)], 4, 0, [(3, 4, "r3c4")], id="amount-zero"),
]


def fill(sheet, coords):
    for row, col in coords:
        sheet.cell(row, col, f"r{row}c{col}")


@pytest.mark.parametrize("method, coords, idx, amount, expected",
                         [pytest.param("delete_rows", *p.values, id="rows-" + p.id) for p in DELETE_ROWS]
                         + [pytest.param("delete_cols", *p.values, id="cols-" + p.id) for p in DELETE_COLS])
def test_deletion_moves_cells_behind_the_band(method, coords, idx, amount, expected):
    _, sheet = new_sheet()
    fill(sheet, coords)
    getattr(sheet, method)(idx, amount)
    assert layout(sheet) == expected
    # the keys moved with the cells' own fields
    for row, col, value in expected:
        assert sheet.get_value_cell(row, col) == value


def test_delete_rows_updates_max_row_and_keeps_columns():
    _, sheet = new_sheet()
    fill(sheet, [(1, 1), (2, 7), (3, 1)])
    sheet.delete_rows(1, 1)
    assert (sheet.max_row, sheet.max_column) == (2, 7)


@pytest.mark.parametrize("method, args", [("delete_rows", (2, 1)), ("delete_cols", (2, 1))])
def test_held_cell_objects_follow_their_cells(method, args):
    _, sheet = new_sheet()
    fill(sheet, [(1, 1), (2, 2), (3, 3)])
    kept, deleted, moved = sheet.cell(1, 1), sheet.cell(2, 2), sheet.cell(3, 3)
    getattr(sheet, method)(*args)
    assert (kept.row, kept.column) == (1, 1)
    assert (moved.row, moved.column) == ((2, 3) if method == "delete_rows" else (3, 2))
    # a deleted cell stays readable with its old coordinates, but the sheet no longer has it
    assert (deleted.row, deleted.column, deleted.value) == (2, 2, "r2c2")
    assert len(sheet.cells) == 2
    moved.value = "edited"
    assert sheet.get_value_cell(moved.row, moved.column) == "edited"


@pytest.mark.parametrize("method", ["delete_rows", "delete_cols"])
def test_deletion_leaves_merges_dimensions_and_comments(method):
    book, sheet = new_sheet()
    fill(sheet, [(r, c) for r in range(1, 5) for c in range(1, 5)])
    sheet.add_merge_cells(2, 3, 2, 3)
    sheet.add_comment(3, 3, "note", "me")
    sheet.set_height_row(3, 12.5)
    sheet.set_hidden_row(4, True)
    sheet.set_width_column(3, 30.0)
    sheet.set_hidden_column(4, True)
    before = book.to_dict()["sheets"][0]
    getattr(sheet, method)(1, 2)
    after = book.to_dict()["sheets"][0]
    for key in before:
        if key != "cells":
            assert after[key] == before[key], key
    assert sheet.merge_cells == [(2, 3, 2, 3)]
    assert [(c.row, c.column, c.text, c.author) for c in sheet.comments] == [(3, 3, "note", "me")]
    assert sheet.get_height_by_row(3) == 12.5
    assert sheet.get_hidden_by_row(4) is True
    assert sheet.get_width_by_column(3) == 30.0
    assert sheet.get_hidden_by_column(4) is True


def test_deletion_in_a_copy_rewrites_shared_cells_but_not_the_sources_keys():
    book, source = new_sheet()
    fill(source, [(1, 1), (2, 1), (3, 1)])
    copy = book.copy_sheet(source)
    copy.delete_rows(1, 1)
    assert layout(copy) == [(1, 1, "r2c1"), (2, 1, "r3c1")]
    # the source still files the shared cells under their old keys ...
    assert [source.get_value_cell(r, 1) for r in (1, 2, 3)] == ["r1c1", "r2c1", "r3c1"]
    # ... while the cells themselves now report the copy's coordinates
    assert [(c.row, c.value) for c in source.cells] == [(1, "r1c1"), (1, "r2c1"), (2, "r3c1")]
    # a later edit through the copy shows in the source
    copy.cell(1, 1, "changed")
    assert source.get_value_cell(2, 1) == "changed"


@pytest.mark.parametrize("method", ["delete_rows", "delete_cols"])
def test_every_deletion_reorders_the_map_even_when_nothing_moves(method):
    _, sheet = new_sheet()
    for r in range(1, 41):
        sheet.cell(r, r, "same")
    firsts = set()
    for _ in range(12):
        getattr(sheet, method)(1000, 0)
        hit = sheet.find_cell_by_str("same")
        firsts.add((hit.row, hit.column))
    assert len(firsts) > 1
    assert len(sheet.cells) == 40


def test_deletion_on_an_empty_sheet():
    _, sheet = new_sheet()
    sheet.delete_rows(1, 5)
    sheet.delete_cols(0, U16)
    assert sheet.cells == []


# ---- dimensions ----

@pytest.mark.parametrize("getter, number, default", [
    ("get_height_by_row", 0, 20.0),
    ("get_width_by_column", U16, 22.5),
    ("get_hidden_by_row", 7, False),
    ("get_hidden_by_column", 7, False),
])
def test_dimension_defaults(getter, number, default):
    _, sheet = new_sheet()
    result = getattr(sheet, getter)(number)
    assert result == default and type(result) is type(default)


@pytest.mark.parametrize("setter, getter, number, value, stored", [
    ("set_height_row", "get_height_by_row", 3, 15.5, 15.5),
    ("set_height_row", "get_height_by_row", U32, -math.inf, -math.inf),
    ("set_width_column", "get_width_by_column", 0, 40, 40.0),
    ("set_hidden_row", "get_hidden_by_row", 0, True, True),
    ("set_hidden_column", "get_hidden_by_column", U16, True, True),
])
def test_dimension_set_then_get(setter, getter, number, value, stored):
    _, sheet = new_sheet()
    assert getattr(sheet, setter)(number, value) is None
    result = getattr(sheet, getter)(number)
    assert result == stored and type(result) is type(stored)


@pytest.mark.parametrize("setter, other_getter, default, flag_getter", [
    ("set_hidden_row", "get_height_by_row", 20.0, "get_hidden_by_row"),
    ("set_hidden_column", "get_width_by_column", 22.5, "get_hidden_by_column"),
])
def test_setting_one_field_creates_an_entry_with_defaults(setter, other_getter, default, flag_getter):
    _, sheet = new_sheet()
    getattr(sheet, setter)(2, True)
    assert getattr(sheet, other_getter)(2) == default
    assert getattr(sheet, flag_getter)(2) is True


# ---- argument errors over every row/column member ----

# (method, parameter names, kind of each parameter: "row", "col", "float", "bool")
MEMBERS = [
    ("delete_rows", ("idx", "amount"), ("row", "row")),
    ("delete_cols", ("idx", "amount"), ("col", "col")),
    ("set_height_row", ("row_num", "val"), ("row", "float")),
    ("set_hidden_row", ("row_num", "val"), ("row", "bool")),
    ("set_width_column", ("col_num", "val"), ("col", "float")),
    ("set_hidden_column", ("col_num", "val"), ("col", "bool")),
    ("get_height_by_row", ("row_num",), ("row",)),
    ("get_hidden_by_row", ("row_num",), ("row",)),
    ("get_width_by_column", ("col_num",), ("col",)),
    ("get_hidden_by_column", ("col_num",), ("col",)),
]
GOOD = {"row": 1, "col": 1, "float": 1.0, "bool": True}
OVERFLOW = "out of range integral type conversion attempted"
# (kind, bad value, exception, message or None for "prefixed with the argument name")
BAD_VALUES = [
    ("row", -1, OverflowError, OVERFLOW),
    ("row", U32 + 1, OverflowError, OVERFLOW),
    ("row", 1.0, TypeError, "'float' object cannot be interpreted as an integer"),
    ("row", "1", TypeError, "'str' object cannot be interpreted as an integer"),
    ("col", -1, OverflowError, OVERFLOW),
    ("col", U16 + 1, OverflowError, OVERFLOW),
    ("col", None, TypeError, "'NoneType' object cannot be interpreted as an integer"),
    ("float", "3", TypeError, "must be real number, not str"),
    ("float", None, TypeError, "must be real number, not NoneType"),
    ("bool", 1, TypeError, "'int' object cannot be cast as 'bool'"),
    ("bool", None, TypeError, "'NoneType' object cannot be cast as 'bool'"),
]


def _argument_cases():
    for name, params, kinds in MEMBERS:
        for pos, kind in enumerate(kinds):
            for bad_kind, bad, exc, message in BAD_VALUES:
                if bad_kind == kind:
                    yield pytest.param(name, params, kinds, pos, bad, exc, message,
                                       id=f"{name}-{params[pos]}-{bad!r}")


@pytest.mark.parametrize("name, params, kinds, pos, bad, exc, message", list(_argument_cases()))
def test_bad_argument_is_refused_before_anything_changes(name, params, kinds, pos, bad, exc, message):
    book, sheet = new_sheet()
    fill(sheet, [(1, 1), (2, 2)])
    before = book.to_json()
    args = [GOOD[k] for k in kinds]
    args[pos] = bad
    with pytest.raises(exc) as info:
        getattr(sheet, name)(*args)
    assert type(info.value) is exc
    expected = f"argument '{params[pos]}': {message}" if exc is TypeError else message
    assert str(info.value) == expected
    assert book.to_json() == before


@pytest.mark.parametrize("name, params, kinds", MEMBERS)
def test_binding_errors_name_the_method(name, params, kinds):
    _, sheet = new_sheet()
    method = getattr(sheet, name)
    good = [GOOD[k] for k in kinds]
    missing = params[-1]
    with pytest.raises(TypeError, match=rf"^Sheet\.{name}\(\) missing 1 required positional argument: '{missing}'$"):
        method(*good[:-1])
    n = len(params)
    with pytest.raises(TypeError, match=rf"^Sheet\.{name}\(\) takes {n} positional arguments but {n + 1} were given$"):
        method(*good, 1)
    with pytest.raises(TypeError, match=rf"^Sheet\.{name}\(\) got an unexpected keyword argument 'x'$"):
        method(*good, x=1)
    with pytest.raises(TypeError, match=rf"^Sheet\.{name}\(\) got multiple values for argument '{params[0]}'$"):
        method(*good, **{params[0]: good[0]})
    # keywords work for every parameter
    method(**dict(zip(params, good)))
