"""Searches and reads of a sheet, shared by Sheet and ReadableSheet.

Every behaviour here holds for both classes; each test runs on a Sheet built
through a Book and on a ReadableSheet snapshot of the same cells.
"""

import sys

import pytest

import vellix

U32 = 4294967295
U16 = 65535
KINDS = ["sheet", "readable"]


def build(kind, cells, name="S"):
    """A sheet of the given kind holding (row, col, text) cells, set in the given order."""
    if kind == "sheet":
        book = vellix.Book()
        sheet = book.add_sheet(name)
        for row, col, text in cells:
            sheet.cell(row, col, text)
        return sheet
    source = {
        "name": name,
        "sheet_state": "visible",
        "merge_cells": [],
        "cells": [{"row": r, "column": c, "value": v, "formula": None, "data_type": "", "style_id": None}
                  for r, c, v in cells],
    }
    return vellix.readable.Finder([source]).get_sheet_index(0)


def hit_type(kind):
    return vellix.Cell if kind == "sheet" else vellix.readable.ReadableCell


def coords(cells):
    return [(c.row, c.column) for c in cells]


@pytest.fixture(params=KINDS)
def kind(request):
    return request.param


# Set deliberately out of order; every cell's text matches the searches below.
SCRAMBLED = [(5, 1), (1, 2), (10, 2), (1, 1), (3, 3), (2, 16384), (2, 1), (7, 4), (3, 2)]
SORTED = sorted(SCRAMBLED)

# (method, args) for every multi-cell search, each of which keeps every cell of SCRAMBLED.
MULTI_ALL = [
    ("find_cells_by_regex", ("HIT",)),
    ("find_cells_by_str", ("  hit\t",)),
    ("find_cells_for_rows_by_regex", ("^h", U16)),
    ("find_cells_for_cols_by_regex", ("t$", U32)),
    ("find_cells_range_rows", (0, U32)),
    ("find_cells_range_cols", (0, U16)),
    ("get_cells_by_range", ()),
    ("find_cells_multi_regex", ("", "")),  # every cell alternately opens and closes
    ("find_cells_between_regex", ("hit", "nothing")),  # opens at the first cell, never closes
]


@pytest.mark.parametrize("method, args", MULTI_ALL)
def test_multi_cell_hits_come_sorted_by_row_then_column(kind, method, args):
    sheet = build(kind, [(r, c, "hit") for r, c in SCRAMBLED])
    hits = getattr(sheet, method)(*args)
    assert coords(hits) == SORTED
    assert all(type(h) is hit_type(kind) for h in hits)


@pytest.mark.parametrize("method, args", MULTI_ALL)
def test_multi_cell_methods_on_an_empty_sheet(kind, method, args):
    assert getattr(build(kind, []), method)(*args) == []


@pytest.mark.parametrize("method, args, expected", [
    ("find_cell_by_regex", ("x",), None),
    ("find_cell_by_str", ("x",), None),
    ("find_cell_by_letter", ("A1",), None),
    ("find_value_by_coords", (1, 1), None),
    ("get_value_cell", (1, 1), ""),
])
def test_single_cell_methods_on_an_empty_sheet(kind, method, args, expected):
    assert getattr(build(kind, []), method)(*args) == expected


# (cell text, needle, found)
TRIMMED = [
    ("  word\t", "\n word \r", True),
    ("\u3000word\u00a0", "word", True),
    ("wo rd", "word", False),
    ("Word", "word", False),
    ("1.0", " 1 ", True),  # typed as the number 1, whose text is "1"
]


@pytest.mark.parametrize("text, needle, found", TRIMMED)
def test_str_searches_compare_trimmed_text_exactly(kind, text, needle, found):
    sheet = build(kind, [(2, 2, text), (1, 1, "other")])
    assert coords(sheet.find_cells_by_str(needle)) == ([(2, 2)] if found else [])
    hit = sheet.find_cell_by_str(needle)
    assert (hit is not None) == found
    if found:
        assert (hit.row, hit.column) == (2, 2)


# (cell text, pattern, matches)
PATTERNS = [
    ("Grand TOTAL", "total", True),
    ("ÄRGER", "ärger", True),
    ("subtotal", "^total", False),
    ("total\n", "total$", False),  # $ only at the very end
]


@pytest.mark.parametrize("text, pattern, matches", PATTERNS)
def test_patterns_ignore_case_and_search_anywhere(kind, text, pattern, matches):
    sheet = build(kind, [(1, 1, text)])
    assert len(sheet.find_cells_by_regex(pattern)) == int(matches)
    assert (sheet.find_cell_by_regex(pattern) is not None) == matches


PATTERN_METHODS = [
    ("find_cell_by_regex", lambda p: (p,)),
    ("find_cells_by_regex", lambda p: (p,)),
    ("find_cells_for_rows_by_regex", lambda p: (p, 5)),
    ("find_cells_for_cols_by_regex", lambda p: (p, 5)),
    ("find_cells_multi_regex", lambda p: (p, "x")),
    ("find_cells_multi_regex", lambda p: ("x", p)),
    ("find_cells_between_regex", lambda p: (p, "x")),
    ("find_cells_between_regex", lambda p: ("x", p)),
]


@pytest.mark.parametrize("method, make_args", PATTERN_METHODS)
@pytest.mark.parametrize("cells", [[], [(1, 1, "x")]], ids=["empty", "one-cell"])
def test_a_pattern_that_does_not_compile_raises_and_the_sheet_still_works(kind, method, make_args, cells):
    sheet = build(kind, cells)
    with pytest.raises(RuntimeError) as info:
        getattr(sheet, method)(*make_args("(unclosed"))
    assert type(info.value) is RuntimeError and str(info.value)
    assert coords(sheet.find_cells_by_regex("x")) == [(r, c) for r, c, _ in cells]


GRID = [(r, c, f"r{r}c{c}") for r in (0, 1, 2, 3) for c in (0, 1, 2, 3)]


@pytest.mark.parametrize("method, args, expected", [
    ("find_cells_range_rows", (1, 2), [(r, c) for r in (1, 2) for c in range(4)]),
    ("find_cells_range_rows", (2, 2), [(2, c) for c in range(4)]),
    ("find_cells_range_rows", (3, 1), []),
    ("find_cells_range_cols", (0, 1), [(r, c) for r in range(4) for c in (0, 1)]),
    ("find_cells_range_cols", (3, 3), [(r, 3) for r in range(4)]),
    ("find_cells_range_cols", (2, 1), []),
    ("find_cells_for_rows_by_regex", ("r1", 2), [(1, 0), (1, 1), (1, 2)]),
    ("find_cells_for_rows_by_regex", ("c3", 2), []),
    ("find_cells_for_cols_by_regex", ("c2", 1), [(0, 2), (1, 2)]),
    ("find_cells_for_cols_by_regex", ("R3", 3), [(3, c) for c in range(4)]),
    ("get_cells_by_range", (), [(r, c) for r in (1, 2, 3) for c in (1, 2, 3)]),
    ("get_cells_by_range", (0, 0, 0, 0), [(0, 0)]),
    ("get_cells_by_range", (None, None, 2, 3), [(r, c) for r in (1, 2, 3) for c in (2, 3)]),
    ("get_cells_by_range", (2, None, None, 1), [(2, 1), (3, 1)]),
    ("get_cells_by_range", (3, 2), []),
    ("get_cells_by_range", (None, None, 9, 4), []),
])
def test_bounds_are_inclusive(kind, method, args, expected):
    sheet = build(kind, GRID)
    assert coords(getattr(sheet, method)(*args)) == expected


def test_get_cells_by_range_defaults_leave_out_cells_beyond_the_grid(kind):
    cells = [(1, 1, "a"), (1048576, 16384, "b"), (1048577, 1, "c"), (1, 16385, "d"), (0, 5, "e"), (5, 0, "f")]
    sheet = build(kind, cells)
    assert coords(sheet.get_cells_by_range()) == [(1, 1), (1048576, 16384)]
    assert coords(sheet.get_cells_by_range(start_col=2, end_col=3)) == \
        coords(sheet.get_cells_by_range(None, None, 2, 3))
    assert coords(sheet.get_cells_by_range(0, U32, 0, U16)) == sorted((r, c) for r, c, _ in cells)
    assert len(sheet.cells) == len(cells)


# (cells in any order, before, after, multi result, between result)
BANDS = [
    ([(1, 1, "Start"), (2, 1, "a"), (3, 1, "b"), (4, 1, "END"), (5, 1, "c")], "start", "end",
     [(1, 1), (4, 1)], [(1, 1), (2, 1), (3, 1), (4, 1)]),
    ([(1, 1, "x"), (3, 2, "open"), (4, 1, "y"), (9, 9, "z")], "open", "close",
     [(3, 2)], [(3, 2), (4, 1), (9, 9)]),
    ([(1, 1, "close"), (2, 1, "x")], "open", "close", [], []),
    ([(1, 1, "close"), (2, 1, "open"), (3, 1, "close"), (4, 1, "open"), (5, 1, "x"), (6, 1, "close")],
     "open", "close", [(2, 1), (3, 1), (4, 1), (6, 1)], [(2, 1), (3, 1)]),
    ([(1, 1, "open"), (2, 1, "open"), (3, 1, "open close"), (4, 1, "x")], "open", "close",
     [(1, 1), (3, 1)], [(1, 1), (2, 1), (3, 1)]),
    # the band takes whole rows: cells of the marker rows in every column
    ([(2, 5, "tail"), (2, 1, "open"), (3, 3, "mid"), (4, 2, "close"), (4, 7, "after"), (1, 9, "before")],
     "open", "close", [(2, 1), (4, 2)], [(2, 1), (2, 5), (3, 3), (4, 2), (4, 7)]),
]


@pytest.mark.parametrize("cells, before, after, multi, between", BANDS)
def test_band_searches_scan_rows_in_order(kind, cells, before, after, multi, between):
    sheet = build(kind, list(reversed(cells)))
    assert coords(sheet.find_cells_multi_regex(before, after)) == multi
    assert coords(sheet.find_cells_between_regex(before, after)) == between


LETTERS = [
    ("B7", (7, 2)), ("$b$7", (7, 2)), ("A1B2", (1, 1)), ("A0", (0, 1)),
    ("ZZZ4294967295", (U32, 18278)),
    ("ß1", (1, 513)),  # upper-cased to SS
]


@pytest.mark.parametrize("letter, at", LETTERS)
def test_find_cell_by_letter_reads_references(kind, letter, at):
    sheet = build(kind, [(at[0], at[1], "here"), (at[0], at[1] + 1, "beside")])
    hit = sheet.find_cell_by_letter(letter)
    assert (hit.row, hit.column, hit.value) == (at[0], at[1], "here")
    assert type(hit) is hit_type(kind)


def test_a_valid_reference_to_an_empty_place_finds_nothing(kind):
    assert build(kind, [(1, 1, "a")]).find_cell_by_letter("C3") is None


@pytest.mark.parametrize("letter", ["", " A1", "B", "7", "AAAA1", "A4294967296", "é1"])
def test_an_invalid_reference_raises_value_error_naming_it(kind, letter):
    sheet = build(kind, [(1, 1, "a")])
    with pytest.raises(ValueError) as info:
        sheet.find_cell_by_letter(letter)
    assert str(info.value) == f"invalid cell reference: '{letter}'"
    assert sheet.find_cell_by_letter("a1").value == "a"


def test_direct_look_ups_tell_missing_from_empty(kind):
    sheet = build(kind, [(1, 1, ""), (2, 2, "2.50"), (3, 3, "TRUE"), (4, 4, "2024-01-02 03:04:05")])
    assert sheet.get_value_cell(1, 1) == "" and sheet.find_value_by_coords(1, 1) == ""
    assert sheet.get_value_cell(9, 9) == "" and sheet.find_value_by_coords(9, 9) is None
    assert sheet.get_value_cell(2, 2) == "2.5" == sheet.find_value_by_coords(2, 2)
    assert sheet.get_value_cell(3, 3) == "true"
    assert sheet.find_value_by_coords(4, 4) == "2024-01-02 03:04:05"


def test_single_cell_finders_return_one_of_several_matches(kind):
    cells = [(r, 1, "dup") for r in range(1, 30)]
    sheet = build(kind, cells)
    hit = sheet.find_cell_by_str("dup")
    assert (hit.row, hit.column, hit.value) in [(r, c, "dup") for r, c, _ in cells]
    assert (sheet.find_cell_by_regex("DUP").row, 1) in [(r, c) for r, c, _ in cells]
    assert len(sheet.find_cells_by_str("dup")) == len(cells)


def test_a_found_cell_is_a_live_view_of_the_sheet():
    sheet = build("sheet", [(1, 1, "old"), (2, 1, "keep")])
    hit = sheet.find_cell_by_str("old")
    hit.value = "new"
    assert sheet.get_value_cell(1, 1) == "new"
    assert coords(sheet.find_cells_by_str("new")) == [(1, 1)]
    sheet.cell(1, 1, "again")
    assert hit.value == "again"


def test_searches_leak_no_references(kind):
    sheet = build(kind, [(r, 1, f"v{r}") for r in range(50)])
    pattern, bad = "v1", "(unclosed"
    before = (sys.getrefcount(sheet), sys.getrefcount(pattern), sys.getrefcount(bad))
    for _ in range(1000):
        sheet.find_cells_by_regex(pattern)
        sheet.find_cell_by_regex(pattern)
        sheet.get_cells_by_range(1, 10)
        try:
            sheet.find_cells_by_regex(bad)
        except RuntimeError:
            pass
    assert (sys.getrefcount(sheet), sys.getrefcount(pattern), sys.getrefcount(bad)) == before


# ---- argument errors over every search with a row or column parameter ----

# (method, parameters as (name, kind)); kinds: row, col, text, ref (a letter reference), orow/ocol (optional bound)
SEARCHES = [
    ("get_value_cell", [("row", "row"), ("col", "col")]),
    ("get_cells_by_range", [("start_row", "orow"), ("end_row", "orow"), ("start_col", "ocol"), ("end_col", "ocol")]),
    ("find_cell_by_regex", [("regex", "text")]),
    ("find_cell_by_str", [("value", "text")]),
    ("find_cell_by_letter", [("letter", "ref")]),
    ("find_cells_by_regex", [("regex", "text")]),
    ("find_cells_by_str", [("value", "text")]),
    ("find_cells_for_rows_by_regex", [("regex", "text"), ("col_stop", "col")]),
    ("find_cells_for_cols_by_regex", [("regex", "text"), ("row_stop", "row")]),
    ("find_cells_multi_regex", [("before_regex", "text"), ("after_regex", "text")]),
    ("find_cells_between_regex", [("before_regex", "text"), ("after_regex", "text")]),
    ("find_cells_range_rows", [("start_row", "row"), ("end_row", "row")]),
    ("find_cells_range_cols", [("start_col", "col"), ("end_col", "col")]),
    ("find_value_by_coords", [("row", "row"), ("col", "col")]),
]
GOOD = {"row": 1, "col": 1, "text": "a", "ref": "A1", "orow": 1, "ocol": 1}
OVERFLOW = "out of range integral type conversion attempted"
# (kinds the bad value applies to, bad value, exception, message; TypeErrors carry the argument prefix)
BAD = [
    (("row", "orow"), -1, OverflowError, OVERFLOW),
    (("row", "orow"), U32 + 1, OverflowError, OVERFLOW),
    (("col", "ocol"), -1, OverflowError, OVERFLOW),
    (("col", "ocol"), U16 + 1, OverflowError, OVERFLOW),
    (("row", "col", "orow", "ocol"), 1.5, TypeError, "'float' object cannot be interpreted as an integer"),
    (("row", "col"), None, TypeError, "'NoneType' object cannot be interpreted as an integer"),
    (("text", "ref"), b"a", TypeError, "'bytes' object cannot be cast as 'str'"),
    (("text", "ref"), None, TypeError, "'NoneType' object cannot be cast as 'str'"),
]


def _bad_argument_cases():
    for method, params in SEARCHES:
        for pos, (name, pkind) in enumerate(params):
            for kinds, bad, exc, message in BAD:
                if pkind in kinds:
                    yield pytest.param(method, params, pos, bad, exc, message, id=f"{method}-{name}-{bad!r}")


@pytest.mark.parametrize("method, params, pos, bad, exc, message", list(_bad_argument_cases()))
def test_bad_arguments_are_refused_in_signature_order(kind, method, params, pos, bad, exc, message):
    sheet = build(kind, [(1, 1, "a")])
    args = [GOOD[k] for _, k in params]
    args[pos] = bad
    # a later argument that is also bad must not be the one reported
    for later in range(pos + 1, len(args)):
        args[later] = object()
    with pytest.raises(exc) as info:
        getattr(sheet, method)(*args)
    assert type(info.value) is exc
    assert str(info.value) == (f"argument '{params[pos][0]}': {message}" if exc is TypeError else message)


@pytest.mark.parametrize("method, params", SEARCHES)
def test_argument_matching_names_the_method(kind, method, params):
    cls = "Sheet" if kind == "sheet" else "ReadableSheet"
    sheet = build(kind, [(1, 1, "a")])
    call = getattr(sheet, method)
    names = [n for n, _ in params]
    good = [GOOD[k] for _, k in params]
    n = len(names)
    required = 0 if method == "get_cells_by_range" else n
    takes = f"from 0 to {n}" if required == 0 else str(n)
    with pytest.raises(TypeError) as info:
        call(*good, 1)
    assert str(info.value) == f"{cls}.{method}() takes {takes} positional arguments but {n + 1} were given"
    with pytest.raises(TypeError) as info:
        call(*good, bogus=1)
    assert str(info.value) == f"{cls}.{method}() got an unexpected keyword argument 'bogus'"
    with pytest.raises(TypeError) as info:
        call(*good, **{names[0]: good[0]})
    assert str(info.value) == f"{cls}.{method}() got multiple values for argument '{names[0]}'"
    if required:
        with pytest.raises(TypeError) as info:
            call()
        quoted = [f"'{x}'" for x in names]
        joined = quoted[0] if n == 1 else " and ".join(quoted) if n == 2 else ", ".join(quoted[:-1]) + ", and " + quoted[-1]
        plural = "argument" if n == 1 else "arguments"
        assert str(info.value) == f"{cls}.{method}() missing {n} required positional {plural}: {joined}"
    call(**dict(zip(names, good)))  # every parameter may be given by keyword


@pytest.mark.parametrize("method, params", SEARCHES)
def test_text_signatures(kind, method, params):
    cls = vellix.Sheet if kind == "sheet" else vellix.readable.ReadableSheet
    names = [n + ("=None" if k.startswith("o") else "") for n, k in params]
    assert getattr(cls, method).__text_signature__ == "($self, " + ", ".join(names) + ")"
    assert getattr(cls, method).__doc__ is None


def test_sheet_lacks_the_readable_only_methods():
    sheet = build("sheet", [])
    for name in ("find_cell_by_coords", "find_values_by_col_rows", "find_values_by_row_cols"):
        assert not hasattr(sheet, name)
