"""Finder and create_finder: snapshots of sheet-like objects and their sheets."""

import pytest

import vellix
from vellix import readable


def cell(row, column, value, **extra):
    base = {"row": row, "column": column, "value": value, "formula": None, "data_type": "s", "style_id": None}
    base.update(extra)
    return base


def sheet(name, state="visible", cells=(), merge_cells=()):
    return {"name": name, "sheet_state": state, "merge_cells": [list(m) for m in merge_cells], "cells": list(cells)}


def sources():
    return [
        sheet("Sheet1", cells=[cell(1, 1, "a"), cell(2, 2, "b")], merge_cells=[(1, 2, 1, 2)]),
        sheet("A", "hidden", cells=[cell(3, 1, "first A")]),
        sheet("Other"),
        sheet("A", "veryHidden", cells=[cell(4, 1, "second A")]),
    ]


def content(sheets):
    return [
        (s.name, s.sheet_state, s.merge_cells, [(c.row, c.column, c.value, c.data_type) for c in s.cells]) for s in sheets
    ]


MAKERS = {"Finder": readable.Finder, "create_finder": readable.create_finder}


@pytest.fixture(params=MAKERS)
def make(request):
    return MAKERS[request.param]


@pytest.fixture
def finder(make):
    return make(sources())


def test_both_makers_give_the_same_snapshot_in_source_order():
    by_class, by_function = (content(make(sources()).sheets) for make in MAKERS.values())
    assert by_class == by_function
    assert by_class == [
        ("Sheet1", "visible", [(1, 2, 1, 2)], [(1, 1, "a", "s"), (2, 2, "b", "s")]),
        ("A", "hidden", [], [(3, 1, "first A", "s")]),
        ("Other", "visible", [], []),
        ("A", "veryHidden", [], [(4, 1, "second A", "s")]),
    ]


def test_keyword_form_and_list_subclass(make):
    class Sheets(list):
        pass

    assert content(make(sheets=Sheets(sources())).sheets) == content(make(sources()).sheets)


@pytest.mark.parametrize(
    "name, call, exc_type, message",
    [
        ("Finder", lambda: readable.Finder(), TypeError, "Finder.__new__() missing 1 required positional argument: 'sheets'"),
        ("create_finder", lambda: readable.create_finder(), TypeError,
         "create_finder() missing 1 required positional argument: 'sheets'"),
        ("Finder", lambda: readable.Finder(tuple(sources())), TypeError,
         "argument 'sheets': 'tuple' object cannot be cast as 'list'"),
        ("create_finder", lambda: readable.create_finder(tuple(sources())), TypeError,
         "argument 'sheets': 'tuple' object cannot be cast as 'list'"),
    ],
)
def test_argument_errors(name, call, exc_type, message, raises_exactly):
    raises_exactly(exc_type, message, call)


def test_error_in_the_third_cell_of_the_second_sheet_is_raised_unchanged(make):
    bad = cell(3, 1, "c")
    del bad["formula"]
    items = [sheet("one", cells=[cell(1, 1, "a")]), sheet("two", cells=[cell(1, 1, "a"), cell(2, 1, "b"), bad]), sheet("3")]
    with pytest.raises(KeyError) as info:
        make(items)
    assert info.value.args == ("formula",)


def test_empty_finder(make):
    f = make([])
    assert (f.sheets, repr(f), f.get_sheet_index(0)) == ([], "Finder, sheets: 0", None)
    assert f.get_sheets_without_names([]) == [] and f.find_sheet_by_regex("") is None
    assert repr(make(sources())) == "Finder, sheets: 4"


@pytest.mark.parametrize("idx, name", [(0, "Sheet1"), (3, "A"), (True, "A"), (-1, None), (4, None), (-(2**31), None)])
def test_get_sheet_index_never_counts_from_the_end(finder, idx, name):
    found = finder.get_sheet_index(idx)
    assert (found.name if found else None) == name


@pytest.mark.parametrize(
    "idx, exc_type, message",
    [
        (2**31, OverflowError, "out of range integral type conversion attempted"),
        (-(2**31) - 1, OverflowError, "out of range integral type conversion attempted"),
        (1.0, TypeError, "argument 'idx': 'float' object cannot be interpreted as an integer"),
    ],
)
def test_get_sheet_index_argument_errors(finder, idx, exc_type, message, raises_exactly):
    raises_exactly(exc_type, message, finder.get_sheet_index, idx)


def test_get_sheet_index_beyond_a_c_long_raises_the_interpreters_overflow(finder):
    with pytest.raises(OverflowError) as info:
        finder.get_sheet_index(2**70)
    assert not str(info.value).startswith("argument")


@pytest.mark.parametrize(
    "method, arg, states",
    [
        ("find_sheet_by_name", "A", ["hidden"]),
        ("find_sheet_by_name", "a", []),
        ("find_sheet_by_name", "A ", []),
        ("find_sheet_by_regex", "A", ["hidden"]),
        ("find_sheet_by_regex", "a", []),
        ("find_sheet_by_regex", "(?i)a", ["hidden"]),
        ("find_sheet_by_regex", "eet", ["visible"]),
        ("find_sheet_by_regex", "^Oth", ["visible"]),
        ("find_sheet_by_regex", "^her$", []),
        ("get_sheets_with_names", ["A"], ["hidden", "veryHidden"]),
        ("get_sheets_with_names", ["A", "A", "Other"], ["hidden", "visible", "veryHidden"]),
        ("get_sheets_with_names", ("Other",), ["visible"]),
        ("get_sheets_with_names", [], []),
        ("get_sheets_without_names", ["A"], ["visible", "visible"]),
        ("get_sheets_without_names", [], ["visible", "hidden", "visible", "veryHidden"]),
        ("get_sheets_without_names", ["A", "Sheet1", "Other"], []),
    ],
)
def test_sheet_lookups_keep_snapshot_order(finder, method, arg, states):
    found = getattr(finder, method)(arg)
    found = found if isinstance(found, list) else [found] if found is not None else []
    assert [s.sheet_state for s in found] == states


@pytest.mark.parametrize(
    "method, arg, message",
    [
        ("get_sheets_with_names", "A", "argument 'name_list': Can't extract `str` to `Vec`"),
        ("get_sheets_with_names", {"A"}, "argument 'name_list': 'set' object cannot be cast as 'Sequence'"),
        ("get_sheets_with_names", ["A", 1], "argument 'name_list': 'int' object cannot be cast as 'str'"),
        ("find_sheet_by_regex", None, "argument 'pattern': 'NoneType' object cannot be cast as 'str'"),
    ],
)
def test_lookup_argument_errors(finder, method, arg, message, raises_exactly):
    raises_exactly(TypeError, message, getattr(finder, method), arg)


@pytest.mark.parametrize("pattern", ["(", "a{2,1}"])
def test_pattern_that_does_not_compile_raises_runtime_error_and_finder_stays_usable(finder, pattern):
    with pytest.raises(RuntimeError) as info:
        finder.find_sheet_by_regex(pattern)
    assert str(info.value)
    assert finder.find_sheet_by_regex("Other").name == "Other"
    assert repr(finder) == "Finder, sheets: 4"


def test_snapshot_does_not_follow_later_edits(make):
    items = sources()
    f = make(items)
    before = content(f.sheets)
    items[0]["name"] = "renamed"
    items[0]["cells"].append(cell(9, 9, "new"))
    items[0]["cells"][0]["value"] = "changed"
    items[0]["merge_cells"].append([5, 5, 5, 5])
    items.append(sheet("added"))
    assert content(f.sheets) == before


def test_sheets_read_twice_give_distinct_objects_showing_the_same_sheets(finder):
    first, second = finder.sheets, finder.sheets
    assert all(a is not b for a, b in zip(first, second))
    assert content(first) == content(second)


def test_readable_sheets_outlive_their_finder(make):
    sheets = make(sources()).sheets
    import gc

    gc.collect()
    assert content(sheets)[0][3] == [(1, 1, "a", "s"), (2, 2, "b", "s")]


def test_class_surface():
    with pytest.raises(TypeError):
        type("Sub", (readable.Finder,), {})
    assert (readable.Finder.__module__, readable.Finder.__text_signature__) == ("vellix.readable", "(sheets)")
    assert [m.__text_signature__ for m in (readable.Finder.get_sheet_index, readable.Finder.find_sheet_by_regex)] == [
        "($self, idx)",
        "($self, pattern)",
    ]
    assert readable.create_finder.__text_signature__ == "(sheets)"


def test_snapshot_of_a_book_dict_types_values_again():
    book = vellix.Book()
    s = book.add_sheet("Data", "visible")
    for col, value in enumerate(["3.0", "2024-01-02 03:04:05", "text"], start=1):
        c = s.cell(1, col, value)
        c.style = "s1"
        c.formula = "=X"
    (snap,) = readable.Finder(book.to_dict()["sheets"]).sheets
    assert [(c.value, c.data_type, c.formula, c.style, c.is_value_integer) for c in snap.cells] == [
        ("3", "f", "=X", "s1", True),
        ("2024-01-02T03:04:05", "f", "=X", "s1", False),
        ("text", "f", "=X", "s1", False),
    ]
