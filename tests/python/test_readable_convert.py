"""Reading cell-like objects (through the find functions) and sheet-like ones (through Finder)."""

import contextlib
import datetime
import sys
import types
from collections import OrderedDict, defaultdict, namedtuple

import pytest

import vellix
from vellix import readable

FIELDS = ("row", "column", "value", "formula", "data_type", "style_id")


def cell(**changes):
    return {"row": 1, "column": 1, "value": "x", "formula": None, "data_type": "s", "style_id": None, **changes}


def sheet(**changes):
    return {"name": "S", "sheet_state": "visible", "merge_cells": [], "cells": [], **changes}


def convert(item):
    return readable.find_cells_by_regex("", [item])[0]


def text(make):  # an object whose str() is make()
    return type("Text", (), {"__str__": lambda self: make()})()


LOOP = []
LOOP.append(LOOP)
SHRINKING = [None, None, "c"]
SHRINKING[0] = text(lambda: SHRINKING.clear() or "s")


@pytest.mark.parametrize("key, given, number", [
    ("row", "+007", 7), ("row", " 12", 0), ("row", "-1", 0), ("row", "1.5", 0), ("row", "+", 0), ("row", "\u0661", 0),
    ("row", "4294967296", 0), ("row", -1, 4294967295), ("row", 2**32 + 5, 5), ("row", 3.9, 3), ("row", -0.5, 0),
    ("row", 1e12, 4294967295), ("row", float("nan"), 0), ("row", True, 1), ("row", None, 0), ("row", [5], 0),
    ("column", "65535", 65535), ("column", "70000", 0), ("column", 70000, 4464), ("column", 70000.0, 65535),
])
def test_numbers_are_read_leniently(key, given, number):
    assert getattr(convert(cell(**{key: given})), key) == number


@pytest.mark.parametrize("value, data_type, shown, kind", [
    ("10", "n", "10", "integer"), ("10", "s", "10", "string"), (3.0, "", "3", "integer"), (True, "n", "true", "bool"),
    (None, "s", "", "empty"), ("", "s", "", "string"), (-(2**63), "s", str(-(2**63)), "string"),
    ([1, "a", None, [2.0, False]], "s", "[1, a, , [2, false]]", "string"), ((1, 2), "s", "(1, 2)", "string"),
    (text(lambda: "12.50"), "n", "12.5", "numeric"), (text(lambda: "a\ud800b"), "s", "a\ufffd\ufffd\ufffdb", "string"),
    (text(lambda: "\ud83d\ude00"), "s", "\ufffd" * 6, "string"),  # a surrogate pair in a str is two lone surrogates
    (SHRINKING, "s", "[s]", "string"),  # read no further than the list's new end
    (datetime.datetime(2024, 1, 2, 3, 4, 5), "d", "2024-01-02 03:04:05", "datetime"),
    (datetime.datetime(2024, 1, 2, 3, 4, 5, 250000), "d", "2024-01-02 03:04:05.250000", "string"),
])
def test_value_is_typed_from_its_text_unless_data_type_is_s(value, data_type, shown, kind):
    c = convert(cell(value=value, data_type=data_type))
    kinds = [k for k in ("bool", "numeric", "integer", "datetime", "empty") if getattr(c, "is_value_" + k)]
    assert (c.value, kinds or ["string"]) == (shown, [kind])


@pytest.mark.parametrize("item, shown", [
    (namedtuple("CellTuple", FIELDS)(4, 5, True, [None], 5, ""), (4, 5, "true", "[]", "5", "")),
    (namedtuple("CellTuple", FIELDS)(6, 7, "v", 1.0, None, None), (6, 7, "v", "1", "", None)),
    (type("Upper", (dict,), {"__getitem__": lambda s, k: str(dict.__getitem__(s, k)).upper()})(cell(row=2)),
     (2, 1, "X", "NONE", "S", "NONE")),
    (defaultdict(lambda: None, row=3, column=1, value="z", data_type="s"), (3, 1, "z", None, "s", None)),
])
def test_dicts_are_read_by_key_and_other_objects_by_attribute(item, shown):
    c = convert(item)
    assert (c.row, c.column, c.value, c.formula, c.data_type, c.style) == shown


@pytest.mark.parametrize("item, exc_type, message", [
    (cell(value=[1, [2**63]]), OverflowError, "int too big to convert"),
    (cell(value=LOOP), RecursionError, "maximum recursion depth exceeded while reading a value"),  # not a crash
    (cell(value="a\ud800"), UnicodeEncodeError,
     "'utf-8' codec can't encode character '\\ud800' in position 1: surrogates not allowed"),
    (cell(value=text(lambda: 5)), TypeError, "__str__ returned non-string (type int)"),
    ({k: v for k, v in cell().items() if k not in ("formula", "style_id")}, KeyError, "'formula'"),  # read in key order
    (type("Attrs", (dict,), dict.fromkeys(FIELDS, 1))(), KeyError, "'row'"),  # a dict is never read by attribute
    (types.MappingProxyType(cell()), AttributeError, "'mappingproxy' object has no attribute 'row'"),
    (vellix.Book().add_sheet("S").cell(1, 1, "v"), AttributeError, "'vellix.Cell' object has no attribute 'style_id'"),
])
def test_conversion_errors_reach_python_unchanged(item, exc_type, message, raises_exactly):
    # No "argument 'cells': " goes in front.
    raises_exactly(exc_type, message, readable.find_cells_by_regex, "", [cell(), item])


def nested(depth):  # [[...[None]...]], `depth` lists deep
    value = None
    for _ in range(depth):
        value = [value]
    return value


FIND_ARGS = {"find_cell_by_coords": (1, 1), "find_value_by_coords": (1, 1), "find_cell_by_regex": ("x",),
             "find_cell_by_str": ("x",), "find_cell_by_letter": ("A1",), "find_cells_by_regex": ("x",),
             "find_cells_by_str": ("x",), "find_cells_for_rows_by_regex": ("x", 1),
             "find_cells_for_cols_by_regex": ("x", 1), "find_cells_multi_regex": ("x", "y"),
             "find_cells_between_regex": ("x", "y"), "find_cells_range_rows": (1, 2), "find_cells_range_cols": (1, 2),
             "find_values_by_col_rows": (1, [1]), "find_values_by_row_cols": (1, [1])}
NESTING_ENTRIES = {  # each reads `value` from one place of a cell or sheet
    **{name: (lambda name, args: lambda value: getattr(readable, name)(*args, [cell(value=value)]))(name, args)
       for name, args in FIND_ARGS.items()},
    "Finder, a cell's style_id": lambda value: readable.Finder([sheet(cells=[cell(style_id=value)])]),
    "Finder, a merge range": lambda value: readable.Finder([sheet(merge_cells=[value])]),
    "create_finder, a sheet's name": lambda value: readable.create_finder([sheet(name=value)]),
}


@pytest.mark.parametrize("read", NESTING_ENTRIES.values(), ids=NESTING_ENTRIES.keys())
def test_lists_nested_past_a_fixed_depth_raise_recursion_error_whatever_the_interpreter_limit(read, raises_exactly):
    limit = sys.getrecursionlimit()
    sys.setrecursionlimit(1_000_000)  # far past what the C stack holds
    try:
        raises_exactly(RecursionError, "maximum recursion depth exceeded while reading a value", read, nested(100_000))
        raises_exactly(RecursionError, "maximum recursion depth exceeded while reading a value", read, nested(1001))
        read(nested(900))
    finally:
        sys.setrecursionlimit(limit)
    assert convert(cell(value=nested(900))).value == "[" * 900 + "]" * 900


@pytest.mark.parametrize("change, rows", [
    (lambda items: items.clear(), [1]), (lambda items: items.pop(), [1, 2]),
    (lambda items: items.extend([cell(row=90), cell(row=91)]), [1, 2, 3]),
    (lambda items: items.insert(0, cell(row=80)), [1, 1, 2]),
])
def test_list_changed_while_read_is_read_within_both_lengths(change, rows):
    items = [cell(row=2), cell(row=3)]
    # The first read of `row` changes the list.
    mutating = property(lambda self: (len(items) == 3 and change(items), 1)[1])
    items.insert(0, type("Mutating", (), {**cell(), "row": mutating})())
    assert [c.row for c in readable.find_cells_by_regex("", items)] == rows


@pytest.mark.parametrize("merge_cells, ranges", [
    ([[1, 3, 2, 4, 9]], [(1, 3, 2, 4)]), ([[1, 3]], [(1, 3, 0, 0)]), (["7"], [(7, 0, 0, 0)]), (None, []),
    ([[-1, "2", 70000, True]], [(4294967295, 2, 4464, 1)]), ([(1, 3, 2, 4), {"a": 1}], [(0, 0, 0, 0)] * 2),
    ([[4, 1, 4, 1], [4, 1, 4, 1]], [(4, 1, 4, 1)] * 2), (([1, 2, 3, 4],), []), ("A1:B2", []),  # stored unchecked
])
def test_merge_ranges_follow_the_range_rule(merge_cells, ranges):
    assert readable.Finder([sheet(merge_cells=merge_cells)]).sheets[0].merge_cells == ranges


def test_sheets_are_read_by_key_or_attribute_and_keep_the_later_of_two_cells():
    SheetTuple = namedtuple("SheetTuple", "name sheet_state merge_cells cells")
    cells = type("Cells", (list,), {})([cell(value="first"), cell(row=2), cell(value="second")])
    sheets = readable.Finder([SheetTuple(None, 2.0, [[1, 1, 1, 2]], cells), OrderedDict(sheet(name=5))]).sheets
    assert [(s.name, s.sheet_state, s.merge_cells, [(c.row, c.value) for c in s.cells]) for s in sheets] == [
        ("", "2", [(1, 1, 1, 2)], [(1, "second"), (2, "x")]), ("5", "visible", [], [])]


@pytest.mark.parametrize("item, exc_type, message", [
    (sheet(cells=None), TypeError, "'NoneType' object cannot be cast as 'list'"),
    (sheet(cells=()), TypeError, "'tuple' object cannot be cast as 'list'"),
    *[({k: v for k, v in sheet().items() if k != key}, KeyError, repr(key)) for key in sheet()],
    (sheet(cells=[convert(cell())]), AttributeError,
     "'vellix.readable.ReadableCell' object has no attribute 'style_id'"),
])
def test_sheet_errors_reach_python_unchanged(item, exc_type, message, raises_exactly):
    raises_exactly(exc_type, message, readable.Finder, [item])


@pytest.mark.parametrize("call", [
    lambda item: readable.find_cells_by_regex("", [item]),
    lambda item: readable.find_cells_by_regex("", [item, {}]),  # fails converting the next item
    lambda item: readable.Finder([types.SimpleNamespace(**sheet(cells=[item]))]),
    lambda item: readable.create_finder([types.SimpleNamespace(**sheet(cells=[item, 5]))]),  # fails on the int
])
def test_conversion_keeps_no_reference_to_what_it_read(call):
    value, kept = text(lambda: "v"), []  # results stay alive while the references are counted
    item = types.SimpleNamespace(**cell(value=value))
    before = sys.getrefcount(item), sys.getrefcount(value)
    for _ in range(300):
        with contextlib.suppress(RuntimeError, KeyError, AttributeError):
            kept.append(call(item))
    assert (sys.getrefcount(item), sys.getrefcount(value)) == before
