"""Sheet and ReadableSheet share their searches: each test runs on both, over the same cells."""

import inspect

import pytest

import vellix
from vellix.readable import Finder, ReadableCell, ReadableSheet

U32, U16 = 4294967295, 65535
KINDS = ["sheet", "readable"]


def build(kind, cells):  # a Sheet or a ReadableSheet holding (row, col, text) cells
    if kind == "sheet":
        sheet = vellix.Book().add_sheet("S")
        for row, col, text in cells:
            sheet.cell(row, col, text)
        return sheet
    dicts = [dict(row=r, column=c, value=v, formula=None, data_type="", style_id=None) for r, c, v in cells]
    return Finder([dict(name="S", sheet_state="visible", merge_cells=[], cells=dicts)]).get_sheet_index(0)


@pytest.fixture(params=KINDS)
def kind(request):
    return request.param


GRID = [(r, c, f"r{r}c{c}") for r in range(4) for c in range(4)]
CELLS = GRID[::-1] + [(5, 5, " word "), (5, 1, " word "), (6, 0, " word "), (7, 7, "2.50"), (8, 8, ""), (9, 9, "lone")]


def grid(rows, cols):
    return [(r, c) for r in rows for c in cols]


# (method, args, what it gives on CELLS: the cells found, sorted by row then column; one cell's (row, col); a text;
# or None). On a sheet without cells each gives an empty list, None, or "" from get_value_cell.
SEARCHES = [
    ("find_cells_by_regex", (r"R\dC",), grid(range(4), range(4))),
    ("find_cells_by_str", (" word\t",), [(5, 1), (5, 5), (6, 0)]),
    ("find_cells_for_rows_by_regex", ("r1", 2), grid([1], range(3))),
    ("find_cells_for_cols_by_regex", ("c2", 1), grid(range(2), [2])),
    ("find_cells_range_rows", (1, 2), grid(range(1, 3), range(4))),
    ("find_cells_range_cols", (3, 3), grid(range(4), [3])),
    ("find_cells_multi_regex", ("r1c0", "r2c3"), [(1, 0), (2, 3)]),
    ("find_cells_between_regex", ("r1c0", "r2c3"), grid(range(1, 3), range(4))),
    ("get_cells_by_range", (None, 3), grid(range(1, 4), range(1, 4))),  # left out or None: from row 1, column 1
    ("get_cells_by_range", (0, 0, 0, 0), [(0, 0)]),
    ("get_cells_by_range", (None, None, 2, 3), grid(range(1, 4), (2, 3))),
    ("get_cells_by_range", (2, None, None, 1), grid(range(2, 4), [1]) + [(5, 1)]),
    ("find_cell_by_str", ("\tlone\u3000",), (9, 9)),  # both sides trimmed, the case kept
    ("find_cell_by_regex", ("^LONE$",), (9, 9)),
    ("find_cell_by_letter", ("$i$9",), (9, 9)),
    ("find_cell_by_coords", (8, 8), (8, 8)),
    ("get_value_cell", (8, 8), ""),
    ("find_value_by_coords", (8, 8), ""),
    ("find_value_by_coords", (7, 7), "2.5"),
]


@pytest.mark.parametrize("kind, method, args, expected",
                         [(k, *case) for k in KINDS for case in SEARCHES if hasattr(build(k, []), case[0])])
def test_searches_and_look_ups(kind, method, args, expected):
    found, hit = getattr(build(kind, CELLS), method)(*args), vellix.Cell if kind == "sheet" else ReadableCell
    if isinstance(expected, list):
        assert [(c.row, c.column, type(c)) for c in found] == [(*at, hit) for at in expected]
    elif isinstance(expected, tuple):
        assert (found.row, found.column, type(found)) == (*expected, hit)
    else:
        assert (type(found), found) == (type(expected), expected)
    empty = [] if isinstance(expected, list) else "" if method == "get_value_cell" else None
    assert getattr(build(kind, []), method)(*args) == empty


def test_single_cell_finders_take_the_first_hit_in_map_order(kind):
    firsts = set()
    for _ in range(8):  # every new map has its own seed; a sorted search would always give row 1
        sheet = build(kind, [(r, 1, "dup") for r in range(1, 41)])
        by_str, by_regex = sheet.find_cell_by_str("dup"), sheet.find_cell_by_regex("DUP")
        assert by_str.row == by_regex.row
        firsts.add(by_str.row)
    assert len(firsts) > 1


# A pattern with nested repeats and no backtracking construct: the backtracking matcher runs out of steps at the
# "!" of every cell, and each is still found. The same with a look-ahead is a miss, as in the syntax's own engine.
NOTE = "Note about the shipment delay! Qty: 5"


@pytest.mark.parametrize("pattern, found", [(r"(\w+\s?)+:\s*\d", 100), (r"(?=N)(\w+\s?)+:\s*\d", 0)])
def test_a_pattern_without_backtracking_constructs_never_misses_for_steps(kind, pattern, found):
    sheet = build(kind, [(r, 1, NOTE) for r in range(1, 101)])
    assert len(sheet.find_cells_by_regex(pattern)) == found


# Large counts of groups of several characters, which the matcher would copy past its size limit, in patterns that
# backtrack anyway (here made so by an empty look-ahead): the cells holding enough of them are found, across many
# cells and long texts. A group that a back-reference reads still cannot be, nor can a pattern that needs no
# backtracking, which would then be left to the step limit.
LONG = ["ab" * 4500, "ab" * 3999 + "x", "c" * 20_000, "AB" * 4000 + "c" * 1500, "k." * 4000]


@pytest.mark.parametrize("pattern, rows", [
    (r"(?=)(ab|c){4000}", [1, 3, 4]), (r"(?=)^(?:ab|c){20000}$", [3]), (r"(?=)(?:a|ab){4000}c", [4]),
    (r"(?=)(?:ab){3000,4500}?x", [2]), (r"(?=)(?:k\.){4000}", [5]), (r"\b(?:ab){4000}(c)\1{1499}", [4])])
def test_large_counts_of_groups_find_their_cells(kind, pattern, rows):
    sheet = build(kind, [(r, 1, text) for r, text in enumerate(LONG, 1)])
    assert [c.row for c in sheet.find_cells_by_regex(pattern)] == rows


@pytest.mark.parametrize("pattern", [r"(?:(a)b){9000}\1", r"(ab|c){4000}", r"(a+)+c|!|(xy){20000}"])
def test_a_large_count_that_calls_cannot_serve_is_too_large(kind, pattern):
    with pytest.raises(RuntimeError, match="too large for the matcher"):
        build(kind, [(1, 1, "a" * 40 + "!")]).find_cells_by_regex(pattern)


# \Q is an escape of the matcher's own syntax but not of the pattern syntax: it must not get past the front end.
BAD_PATTERN = (RuntimeError, "invalid escape \\Q at offset 1")  # the offset counts in the caller's text
# (method, args, exception, message) for every method that reads a pattern or a letter reference
UNREADABLE = [
    ("find_cell_by_regex", (r"x\Q",), *BAD_PATTERN), ("find_cells_by_regex", (r"x\Q",), *BAD_PATTERN),
    ("find_cells_for_rows_by_regex", (r"x\Q", 5), *BAD_PATTERN),
    ("find_cells_for_cols_by_regex", (r"x\Q", 5), *BAD_PATTERN),
    ("find_cells_multi_regex", ("x", r"x\Q"), *BAD_PATTERN),
    ("find_cells_between_regex", (r"x\Q", "x"), *BAD_PATTERN),
    ("find_cell_by_letter", ("AAAA1",), ValueError, "invalid cell reference: 'AAAA1'"),
]


@pytest.mark.parametrize("method, args, exc, message", UNREADABLE)
def test_an_unreadable_pattern_or_reference_raises_and_releases_the_sheet(kind, method, args, exc, message):
    for sheet in (build(kind, []), build(kind, [(1, 1, "x")])):
        with pytest.raises(exc) as info:
            getattr(sheet, method)(*args)
        assert (type(info.value), str(info.value)) == (exc, message)
        assert len(sheet.find_cells_by_regex("x")) == len(sheet.cells)


# A parameter's kind by its name; idx, amount and val take theirs from the method. GOOD holds a good value of each
# kind (a row may pass a column's limit), BAD its bad ones.
KIND = {**dict.fromkeys(("row", "start_row", "end_row", "row_stop", "row_num"), "row"),
        **dict.fromkeys(("col", "start_col", "end_col", "col_stop", "col_num"), "col"),
        **dict.fromkeys(("regex", "value", "letter", "before_regex", "after_regex"), "text"), "rows": "rows",
        "cols": "cols"}


def parameters(cls, method):  # (name, kind) of each parameter, named as the method's text signature names them
    axis = "row" if method.endswith("rows") else "col"
    special = {"idx": axis, "amount": axis, "val": "bool" if "hidden" in method else "float"}
    params = list(inspect.signature(getattr(cls, method)).parameters.values())[1:]
    return [(p.name, special.get(p.name) or ("o" if p.default is None else "") + KIND[p.name]) for p in params]


GOOD = {"row": U16 + 1, "col": U16, "orow": None, "ocol": None, "text": "A1", "rows": [U16 + 1], "cols": [U16],
        "float": 1.5, "bool": True}
OVERFLOW, NOT_VEC = "out of range integral type conversion attempted", "Can't extract `str` to `Vec`"
NOT_INT = "'{}' object cannot be interpreted as an integer"
BAD = {
    "row": [(1.5, TypeError, NOT_INT.format("float"))], "orow": [("1", TypeError, NOT_INT.format("str"))],
    "col": [(U16 + 1, OverflowError, OVERFLOW), (None, TypeError, NOT_INT.format("NoneType"))],
    "ocol": [(U16 + 1, OverflowError, OVERFLOW), (1.5, TypeError, NOT_INT.format("float"))],
    "text": [(b"a", TypeError, "'bytes' object cannot be cast as 'str'")], "rows": [("12", TypeError, NOT_VEC)],
    "cols": [((U16 + 1,), OverflowError, OVERFLOW), ("12", TypeError, NOT_VEC)],
    "float": [("3", TypeError, "must be real number, not str")],
    "bool": [(1, TypeError, "'int' object cannot be cast as 'bool'")],
}
ARGUMENT_CASES = [  # every member of either class with parameters
    (k, m, params, pos, *bad) for k, cls in zip(KINDS, (vellix.Sheet, ReadableSheet)) for m in vars(cls)
    if m.startswith(("get_", "find_", "delete_", "set_h", "set_w"))
    for params in [parameters(cls, m)] for pos, (_, kind) in enumerate(params) for bad in BAD[kind]
]


@pytest.mark.parametrize("kind, method, params, pos, bad, exc, message", ARGUMENT_CASES)
def test_the_first_bad_argument_is_refused_before_anything_changes(kind, method, params, pos, bad, exc, message):
    sheet = build(kind, [(1, 1, "a"), (2, 2, "b")])
    values = [GOOD[k] for _, k in params[:pos]] + [bad] + [object()] * (len(params) - pos - 1)
    with pytest.raises(exc) as info:  # by keyword, so every parameter's name is checked too
        getattr(sheet, method)(**{name: v for (name, _), v in zip(params, values)})
    prefix = f"argument '{params[pos][0]}': " if exc is TypeError else ""
    assert (type(info.value), str(info.value)) == (exc, prefix + message)
    assert [(c.row, c.column, c.value) for c in sheet.cells] == [(1, 1, "a"), (2, 2, "b")]
    getattr(sheet, method)(**{name: GOOD[k] for name, k in params})  # a row may pass a column's limit


# An edit made after the sheet was searched once, and the cells (row, column, value) that every sorted answer gives
# afterwards. The cells are set out of order, so only a sort puts them so.
EDITS = [
    ("new cell", lambda s: s.cell(1, 1, "new"), [(1, 1, "new"), (1, 2, "a"), (2, 1, "b"), (3, 3, "c")]),
    ("value by cell()", lambda s: s.cell(2, 1, "edited"), [(1, 2, "a"), (2, 1, "edited"), (3, 3, "c")]),
    ("value by a found Cell", lambda s: setattr(s.find_cell_by_str("c"), "value", "z"),
     [(1, 2, "a"), (2, 1, "b"), (3, 3, "z")]),
    ("delete_rows", lambda s: s.delete_rows(1, 1), [(1, 1, "b"), (2, 3, "c")]),
    ("delete_cols", lambda s: s.delete_cols(1, 1), [(1, 1, "a"), (3, 2, "c")]),
]
SORTED_ANSWERS = [
    lambda s: s.cells, lambda s: s.find_cells_by_regex("^[a-z]"), lambda s: s.find_cells_range_rows(0, U32),
    lambda s: s.get_cells_by_range(), lambda s: s.find_cells_between_regex(".", "^$"),
]


@pytest.mark.parametrize("edit, expected", [case[1:] for case in EDITS], ids=[case[0] for case in EDITS])
def test_the_next_search_after_an_edit_sees_it_in_order(edit, expected):
    sheet = build("sheet", [(2, 1, "b"), (3, 3, "c"), (1, 2, "a")])
    for answer in SORTED_ANSWERS:
        answer(sheet)
    edit(sheet)
    for answer in SORTED_ANSWERS:
        assert [(c.row, c.column, c.value) for c in answer(sheet)] == expected


def test_deleting_in_a_copy_leaves_the_sources_order_and_hits():
    book = vellix.Book()
    source = book.add_sheet("S")
    for row, col, text in [(3, 1, "x3"), (1, 1, "x1"), (2, 2, "y"), (2, 1, "x2")]:
        source.cell(row, col, text)
    assert [c.value for c in source.find_cells_by_regex("x")] == ["x1", "x2", "x3"]
    copy = book.copy_sheet(source)
    assert [c.value for c in copy.find_cells_by_regex("x")] == ["x1", "x2", "x3"]
    # searches of the cells' own rows, which narrow the kept list by its keys while those are the positions
    assert [c.value for c in source.find_cells_range_rows(2, 2)] == ["x2", "y"]
    assert [c.value for c in source.find_cells_for_cols_by_regex("x", 1)] == ["x1"]
    copy.delete_rows(1, 1)  # moves the shared cells x2, y and x3 up a row; the source still files them where they were
    assert [c.value for c in copy.find_cells_by_regex("x")] == ["x2", "x3"]
    assert [c.value for c in source.find_cells_by_regex("x")] == ["x1", "x2", "x3"]
    assert [(c.row, c.value) for c in source.cells] == [(1, "x1"), (1, "x2"), (1, "y"), (2, "x3")]
    assert [c.value for c in source.get_cells_by_range(2, 3)] == ["x2", "y", "x3"]
    assert [c.value for c in source.find_cells_range_rows(1, 1)] == ["x1", "x2", "y"]
    assert [c.value for c in source.find_cells_range_rows(2, 2)] == ["x3"]
    assert [c.value for c in source.find_cells_for_cols_by_regex("x", 1)] == ["x1", "x2"]
