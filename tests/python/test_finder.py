"""Finder and create_finder: snapshots of sheet-like objects and their sheets."""

import pytest

import vellix
from vellix import readable


def cell(row, column, value):
    return {"row": row, "column": column, "value": value, "formula": None, "data_type": "s", "style_id": None}


SHEETS = [("Sheet1", "visible", [(1, 2, 1, 2)], [(1, 1, "a"), (2, 2, "b")]), ("A", "hidden", [], [(3, 1, "A1")]),
          ("Other", "visible", [], []), ("A", "veryHidden", [], [(4, 1, "A2")])]


def sources():
    return [dict(name=name, sheet_state=state, merge_cells=[list(m) for m in merges], cells=[cell(*c) for c in cells])
            for name, state, merges, cells in SHEETS]


def content(sheets):
    return [(s.name, s.sheet_state, s.merge_cells, [(c.row, c.column, c.value) for c in s.cells]) for s in sheets]


MAKERS = pytest.mark.parametrize("make", [readable.Finder, readable.create_finder], ids=["Finder", "create_finder"])


@MAKERS
def test_snapshot_keeps_source_order_stands_apart_from_its_sources_and_is_all_or_nothing(make, raises_exactly):
    items = sources()
    finder = make(sheets=type("Sheets", (list,), {})(items))
    items[0]["name"], items[0]["cells"][0]["value"], items[0]["merge_cells"][0][0] = "renamed", "changed", 9
    items[0]["cells"].append(cell(9, 9, "new"))
    items.append(items[1])
    first, second = finder.sheets, finder.sheets
    assert content(first) == content(second) == SHEETS and repr(finder) == "Finder, sheets: 4"
    assert all(a is not b for a, b in zip(first, second))
    del finder
    assert content(first) == SHEETS  # the sheets outlive their Finder
    empty = make([])
    assert (empty.sheets, repr(empty), empty.get_sheet_index(0)) == ([], "Finder, sheets: 0", None)
    del items[1]["cells"][0]["formula"]  # the second sheet's first cell now fails, and so does the whole call
    raises_exactly(KeyError, "'formula'", make, items)
    raises_exactly(TypeError, "argument 'sheets': 'tuple' object cannot be cast as 'list'", make, tuple(sources()))


@MAKERS
@pytest.mark.parametrize("method, arg, positions", [
    ("get_sheet_index", 0, [0]), ("get_sheet_index", 3, [3]), ("get_sheet_index", 4, []), ("get_sheet_index", -1, []),
    ("find_sheet_by_name", "A", [1]), ("find_sheet_by_name", "a", []), ("find_sheet_by_name", "A ", []),
    ("find_sheet_by_regex", "a", []), ("find_sheet_by_regex", "(?i)a", [1]), ("find_sheet_by_regex", "eet", [0]),
    ("find_sheet_by_regex", "^her$", []), ("get_sheets_with_names", ["A", "A", "Other"], [1, 2, 3]),
    ("get_sheets_with_names", ("Other",), [2]), ("get_sheets_with_names", [], []),
    ("get_sheets_without_names", ["A"], [0, 2]), ("get_sheets_without_names", [], [0, 1, 2, 3]),
])
def test_sheet_lookups_keep_snapshot_order(make, method, arg, positions):  # an index never counts from the end
    found = getattr(make(sources()), method)(arg)
    found = found if isinstance(found, list) else [] if found is None else [found]
    assert content(found) == [SHEETS[i] for i in positions]


@pytest.mark.parametrize("method, arg, exc_type, message", [
    ("get_sheet_index", "0", TypeError, "argument 'idx': 'str' object cannot be interpreted as an integer"),
    ("find_sheet_by_name", None, TypeError, "argument 'name': 'NoneType' object cannot be cast as 'str'"),
    ("find_sheet_by_regex", None, TypeError, "argument 'pattern': 'NoneType' object cannot be cast as 'str'"),
    ("find_sheet_by_regex", "(", RuntimeError, "missing ')' at offset 0"),
    ("find_sheet_by_regex", r"(?|a)", RuntimeError, "unknown group flag at offset 2"),  # the matcher's own syntax
])
def test_lookup_errors(method, arg, exc_type, message, raises_exactly):
    finder = readable.Finder(sources())
    raises_exactly(exc_type, message, getattr(finder, method), arg)
    assert finder.find_sheet_by_regex("Oth").name == "Other"


def test_finder_cannot_be_subclassed():
    with pytest.raises(TypeError, match="is not an acceptable base type"):
        type("Sub", (readable.Finder,), {})


def test_snapshot_of_a_book_dict_types_values_again():
    book = vellix.Book()
    sheet = book.add_sheet("Data")
    for col, value in enumerate(["3.0", "2024-01-02 03:04:05", "text"], start=1):
        c = sheet.cell(1, col, value)
        c.style, c.formula = "s1", "=X"
    (snap,) = readable.Finder(book.to_dict()["sheets"]).sheets
    assert [(c.value, c.data_type, c.formula, c.style, c.is_value_integer) for c in snap.cells] == [
        ("3", "f", "=X", "s1", True), ("2024-01-02T03:04:05", "f", "=X", "s1", False), ("text", "f", "=X", "s1", False)]
