"""Sheet: deleting rows and columns, row heights, column widths, hidden flags."""

import math

import pytest

import vellix

U32, U16 = 4294967295, 65535


def filled(coords):
    book = vellix.Book()
    sheet = book.add_sheet("S")
    for row, col in coords:
        sheet.cell(row, col, f"r{row}c{col}")
    return book, sheet


@pytest.mark.parametrize("method, moved_to", [("delete_rows", (2, 3)), ("delete_cols", (3, 2))])
def test_held_cells_follow_the_deletion_and_nothing_else_moves(method, moved_to):
    book, sheet = filled([(r, c) for r in range(1, 5) for c in range(1, 5)])
    sheet.add_merge_cells(2, 3, 2, 3)
    sheet.add_comment(3, 3, "note", "me")
    sheet.set_height_row(3, 12.5)
    before = book.to_dict()["sheets"][0]
    kept, deleted, moved = sheet.cell(1, 1), sheet.cell(2, 2), sheet.find_cell_by_str("r3c3")
    getattr(sheet, method)(2, 1)
    assert (kept.row, kept.column, moved.row, moved.column) == (1, 1, *moved_to)
    assert (deleted.row, deleted.column, deleted.value) == (2, 2, "r2c2")  # readable, but gone from the sheet
    assert len(sheet.cells) == 12
    moved.value = "edited"  # a found cell is a live view of the sheet's own
    assert sheet.get_value_cell(*moved_to) == "edited"
    after = book.to_dict()["sheets"][0]
    assert {k: v for k, v in after.items() if k != "cells"} == {k: v for k, v in before.items() if k != "cells"}


def test_deletion_in_a_copy_rewrites_shared_cells_but_not_the_sources_keys():
    book, source = filled([(1, 1), (2, 1), (3, 1)])
    copy = book.copy_sheet(source)
    copy.delete_rows(1, 1)
    assert [(c.row, c.value) for c in copy.cells] == [(1, "r2c1"), (2, "r3c1")]
    assert [source.get_value_cell(r, 1) for r in (1, 2, 3)] == ["r1c1", "r2c1", "r3c1"]
    assert [(c.row, c.value) for c in source.cells] == [(1, "r1c1"), (1, "r2c1"), (2, "r3c1")]
    copy.cell(1, 1, "changed")
    assert source.get_value_cell(2, 1) == "changed"


# (setter, number, value, what the two getters of that axis then give, the new entry as the export shows it)
SETTERS = [
    ("set_height_row", 3, 15.5, (15.5, False), {"row_num": 3, "height": 15.5, "hidden": False}),
    ("set_height_row", U32, -math.inf, (-math.inf, False), {"row_num": U32, "height": None, "hidden": False}),
    ("set_hidden_row", 0, True, (20.0, True), {"row_num": 0, "height": 20.0, "hidden": True}),
    ("set_width_column", 2, 7, (7.0, False), {"col_num": 2, "width": 7.0, "hidden": False}),
    ("set_hidden_column", U16, True, (22.5, True), {"col_num": U16, "width": 22.5, "hidden": True}),
]


@pytest.mark.parametrize("setter, number, value, got, entry", SETTERS)
def test_a_setter_creates_an_entry_with_defaults_and_sets_one_field(setter, number, value, got, entry):
    book, sheet = filled([])
    rows = setter.endswith("row")
    getters = ("get_height_by_row", "get_hidden_by_row") if rows else ("get_width_by_column", "get_hidden_by_column")
    assert getattr(sheet, setter)(number, value) is None
    assert repr(tuple(getattr(sheet, g)(number) for g in getters)) == repr(got)  # tells 7 from 7.0, 1 from True
    assert tuple(getattr(sheet, g)(number ^ 1) for g in getters) == (20.0 if rows else 22.5, False)  # no entry
    stored = {str(number): dict(entry, collapsed=False, level=0)}
    dims = book.to_dict()["sheets"][0]
    entries = (dims["row_dimensions"]["rows"], dims["column_dimensions"]["columns"])
    assert entries == ((stored, {}) if rows else ({}, stored))
