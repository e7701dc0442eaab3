"""Sheet: name and state, cells and merged ranges."""

import pytest

import vellix


def test_new_sheet_is_empty_and_takes_any_name_and_state():
    sheet = vellix.Book().add_sheet("Data")
    assert (sheet.sheet_state, sheet.cells, sheet.merge_cells, sheet.comments, sheet.max_row, sheet.max_column,
            repr(sheet)) == ("visible", [], [], [], 0, 0, "Sheet (Data) cells: 0")
    sheet.name = ""
    assert sheet.set_sheet_state(state="any text") is None
    assert (sheet.name, sheet.sheet_state, repr(sheet)) == ("", "any text", "Sheet () cells: 0")


@pytest.mark.parametrize("text, value, data_type", [(None, "", "s"), ("12", "12", "n")])
def test_cell_types_its_text(text, value, data_type):
    cell = vellix.Book().add_sheet("S").cell(3, 4, text)
    assert (cell.row, cell.column, cell.value, cell.data_type) == (3, 4, value, data_type)


def test_cells_come_sorted_and_bound_max_row_and_column_while_merges_stay_as_given():
    sheet = vellix.Book().add_sheet("S")
    ranges = [(5, 1, 3, 2), (5, 1, 3, 2), (0, 4294967295, 0, 65535)]
    for r in ranges:
        assert sheet.add_merge_cells(*r) is None
    sheet.add_merge_cells(end_col=4, start_col=3, end_row=2, start_row=1)
    assert (sheet.merge_cells, sheet.cells) == (ranges + [(1, 2, 3, 4)], [])  # merging makes no cells
    for row, col in [(5, 1), (1, 2), (1, 1), (0, 7), (1, 65535), (4294967295, 0)]:
        sheet.cell(row, col, f"{row}:{col}")
    assert [c.value for c in sheet.cells] == ["0:7", "1:1", "1:2", "1:65535", "5:1", "4294967295:0"]
    assert (sheet.max_row, sheet.max_column, repr(sheet)) == (4294967295, 65535, "Sheet (S) cells: 6")


def test_max_row_and_column_follow_every_change_of_the_cells():
    book = vellix.Book()
    sheet = book.add_sheet("S")
    sheet.cell(3, 2, "a")
    steps = [
        (lambda: None, (3, 2)),
        (lambda: sheet.cell(7, 1, "b"), (7, 2)),
        (lambda: sheet.cell(7, 1, "c"), (7, 2)),  # a new value, not a new place
        (lambda: sheet.cell(2, 9), (7, 9)),
        (lambda: sheet.delete_rows(4, 4), (3, 9)),
        (lambda: sheet.delete_cols(3, 7), (3, 2)),
        (lambda: sheet.delete_rows(1, 3), (0, 0)),
    ]
    for change, extent in steps:
        change()
        assert (sheet.max_row, sheet.max_column) == extent
        assert (sheet.max_row, sheet.max_column) == extent  # asked again: the kept answer
    sheet.cell(5, 5, "d")
    copy = book.copy_sheet(sheet)
    copy.cell(6, 1, "e")
    assert (sheet.max_row, sheet.max_column, copy.max_row, copy.max_column) == (5, 5, 6, 5)
