"""ReadableSheet beyond the searches it shares with Sheet: getters, value lists, and the interpreter lock."""


import pytest

import vellix
from vellix.readable import Finder, ReadableCell, ReadableSheet


def snapshot(cells, merges=()):  # a snapshot sheet that outlives its Finder, as every one here does
    dicts = [dict(row=r, column=c, value=v, formula=None, data_type="", style_id=None) for r, c, v in cells]
    source = dict(name="Data", sheet_state="odd state", merge_cells=[list(m) for m in merges], cells=dicts)
    return Finder([source]).get_sheet_index(0)


def test_getters_and_repr_read_the_snapshot():
    sheet, empty = snapshot([(3, 1, "a"), (1, 7, "b"), (2, 2, "")], [(1, 9, 1, 20), (5, 1, 3, 2)]), snapshot([])
    assert (sheet.name, sheet.sheet_state, sheet.max_row, sheet.max_column) == ("Data", "odd state", 3, 7)
    assert [(c.row, c.column, c.value, type(c)) for c in sheet.cells] == [
        (1, 7, "b", ReadableCell), (2, 2, "", ReadableCell), (3, 1, "a", ReadableCell)]
    sheet.merge_cells.append((0, 0, 0, 0))  # a new list on every read
    assert sheet.merge_cells == [(1, 9, 1, 20), (5, 1, 3, 2)] and sheet.cells is not sheet.cells
    assert (repr(sheet), repr(empty)) == ("ReadableSheet (Data) cells: 3", "ReadableSheet (Data) cells: 0")
    assert (empty.max_row, empty.max_column, empty.cells) == (0, 0, [])


def test_nothing_can_be_set_or_made():
    with pytest.raises(AttributeError):
        snapshot([]).name = "x"
    with pytest.raises(TypeError, match=r"^cannot create 'vellix\.readable\.ReadableSheet' instances$"):
        ReadableSheet()


@pytest.mark.parametrize("method", ["find_values_by_row_cols", "find_values_by_col_rows"])
def test_value_lists_give_each_cell_once_in_map_order_whatever_the_order_asked(method):
    firsts = set()
    for _ in range(6):  # every snapshot's map has its own seed
        sheet = snapshot([(1, n, f"v{n}") if method.endswith("cols") else (n, 1, f"v{n}") for n in range(1, 40)])
        texts = getattr(sheet, method)(1, [40, *range(39, 0, -1), 5])
        assert texts == getattr(sheet, method)(1, range(1, 40))
        assert sorted(texts) == sorted(f"v{n}" for n in range(1, 40))
        assert texts[0] == sheet.find_cell_by_regex("").value  # the first cell in map order
        firsts.add(texts[0])
    assert len(firsts) > 1 and getattr(sheet, method)(2, range(1, 40)) == []


# How often another thread ran Python code during call(). With a switch interval far longer than the test,
# that thread gets the interpreter lock only when this one gives it up itself.
@pytest.fixture(scope="module")
def slow_pair():  # a Sheet and a snapshot of cells on which SLOW backtracks through every split of the a's
    cells = [(r, 1, "a" * 16 + "!b") for r in range(1, 241)]
    sheet = vellix.Book().add_sheet("S")
    for row, col, text in cells:
        sheet.cell(row, col, text)
    return sheet, snapshot(cells)


SLOW = "(a+)+b"


@pytest.mark.parametrize("method, args", [
    ("find_cell_by_regex", (SLOW,)),
    ("find_cells_for_cols_by_regex", (SLOW, 999)),
    ("find_cells_between_regex", (SLOW, "x")),
])
def test_readable_searches_let_other_threads_run_and_sheet_searches_do_not(slow_pair, method, args, ran_during):
    sheet, readable = slow_pair
    assert not any(ran_during(lambda: getattr(sheet, method)(*args)) for _ in range(3))
    assert any(ran_during(lambda: getattr(readable, method)(*args)) for _ in range(5))
