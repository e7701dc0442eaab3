"""Reading sheet-like and cell-like Python objects into the readable layer.

Cells are converted through the module-level find functions (the empty
pattern finds every cell), sheets through Finder.
"""

import collections
import dataclasses
import datetime
import sys
import types
import weakref
from collections import UserDict, defaultdict, namedtuple

import pytest

from vellix import readable

FIELDS = ("row", "column", "value", "formula", "data_type", "style_id")


def cell(**overrides):
    base = {"row": 1, "column": 1, "value": "x", "formula": None, "data_type": "s", "style_id": None}
    base.update(overrides)
    return base


def sheet(cells=None, **overrides):
    base = {"name": "S", "sheet_state": "visible", "merge_cells": [], "cells": [] if cells is None else cells}
    base.update(overrides)
    return base


def convert(item):
    """The ReadableCell that the readable layer makes of one cell-like object."""
    (found,) = readable.find_cells_by_regex("", [item])
    return found


def kind(c):
    for name in ("bool", "numeric", "integer", "datetime", "empty"):
        if getattr(c, "is_value_" + name):
            return name
    return "string"


def snapshot(*sheets):
    return readable.Finder(list(sheets)).sheets


# ---- numbers --------------------------------------------------------------

@pytest.mark.parametrize(
    "given, row",
    [
        ("+007", 7),
        (" 12", 0),
        ("-1", 0),
        ("1.5", 0),
        ("+", 0),
        ("4294967296", 0),
        ("\u0661", 0),  # a non-ASCII digit is no digit here
        (-1, 4294967295),
        (2**32 + 5, 5),
        (3.9, 3),
        (-0.5, 0),
        (1e12, 4294967295),
        (float("nan"), 0),
        (True, 1),
        (None, 0),
        ([5], 0),
    ],
)
def test_row_is_read_leniently(given, row):
    assert convert(cell(row=given)).row == row


@pytest.mark.parametrize(
    "given, column",
    [
        ("65535", 65535),
        ("70000", 0),
        (70000, 4464),
        (-1, 65535),
        (70000.0, 65535),
    ],
)
def test_column_is_read_at_sixteen_bits(given, column):
    assert convert(cell(column=given)).column == column


# ---- value texts and their typing ---------------------------------------------

class Decimalish:
    def __str__(self):
        return "12.50"


@pytest.mark.parametrize(
    "value, data_type, text, value_kind",
    [
        ("10", "n", "10", "integer"),
        ("10", "s", "10", "string"),
        (3.0, "", "3", "integer"),
        (1.5e300, "s", "15" + "0" * 299, "string"),
        (float("nan"), "s", "NaN", "string"),
        (-(2**63), "s", str(-(2**63)), "string"),
        (True, "n", "true", "bool"),
        (None, "s", "", "empty"),
        ("", "s", "", "string"),
        ("", "n", "", "empty"),
        ([1, "a", None, [2.0, False]], "s", "[1, a, , [2, false]]", "string"),
        ((1, 2), "s", "(1, 2)", "string"),
        (Decimalish(), "n", "12.5", "numeric"),
        (datetime.datetime(2024, 1, 2, 3, 4, 5), "d", "2024-01-02 03:04:05", "datetime"),
        (datetime.datetime(2024, 1, 2, 3, 4, 5, 250000), "d", "2024-01-02 03:04:05.250000", "string"),
    ],
)
def test_value_is_typed_from_its_text_unless_data_type_is_s(value, data_type, text, value_kind):
    c = convert(cell(value=value, data_type=data_type))
    assert (c.value, kind(c)) == (text, value_kind)


@pytest.mark.parametrize("field, attribute", [("formula", "formula"), ("style_id", "style")])
@pytest.mark.parametrize("given, expected", [(None, None), ("", ""), (1.0, "1"), ([None], "[]")])
def test_optional_texts_keep_none(field, attribute, given, expected):
    assert getattr(convert(cell(**{field: given})), attribute) == expected


@pytest.mark.parametrize("given, expected", [("n", "n"), (None, ""), (5, "5"), ("f", "f")])
def test_data_type_is_always_a_text(given, expected):
    assert convert(cell(data_type=given)).data_type == expected


# ---- errors -----------------------------------------------------------------

class Boom(Exception):
    pass


class BadStr:
    def __init__(self, exc):
        self.exc = exc

    def __str__(self):
        raise self.exc


class Raising:
    """A cell whose `value` property raises."""

    row, column, formula, data_type, style_id = 1, 1, None, "s", None

    def __init__(self, exc):
        self.exc = exc

    @property
    def value(self):
        raise self.exc


@pytest.mark.parametrize(
    "item, exc_type, message",
    [
        (cell(row=2**64), OverflowError, None),
        (cell(value=2**63), OverflowError, None),
        (cell(value=[1, [2**64]]), OverflowError, None),
        (cell(value="a\ud800"), UnicodeEncodeError, None),
        (cell(value=BadStr(TypeError("bad str"))), TypeError, "bad str"),
        (cell(style_id=BadStr(Boom("late"))), Boom, "late"),
        (Raising(TypeError("from a property")), TypeError, "from a property"),
        ({k: v for k, v in cell().items() if k != "formula"}, KeyError, "'formula'"),
        (types.MappingProxyType(cell()), AttributeError, "'mappingproxy' object has no attribute 'row'"),
        (UserDict(cell()), AttributeError, None),
        (types.SimpleNamespace(row=1, column=1), AttributeError, None),
    ],
)
def test_conversion_errors_reach_python_unchanged(item, exc_type, message):
    with pytest.raises(BaseException) as info:
        readable.find_cells_by_regex("", [cell(), item])
    assert type(info.value) is exc_type
    if message is not None:
        assert str(info.value) == message  # no "argument 'cells': " in front


def test_self_containing_list_value_raises_instead_of_crashing():
    loop = []
    loop.append(loop)
    with pytest.raises(RecursionError):
        convert(cell(value=loop))


@pytest.mark.parametrize(
    "text, expected",
    [
        ("a\ud800b", "a\ufffd\ufffd\ufffdb"),
        ("\udc00\udfff", "\ufffd" * 6),
        ("\ud83d\ude00", "\ufffd" * 6),  # a surrogate pair in a str is still two lone surrogates
    ],
)
def test_str_of_an_object_replaces_lone_surrogates(text, expected):
    class Text:
        def __str__(self):
            return text

    assert convert(cell(value=Text())).value == expected


# ---- which objects are read, and how ------------------------------------------

CellTuple = namedtuple("CellTuple", FIELDS)


@dataclasses.dataclass
class CellData:
    row: object
    column: object
    value: object
    formula: object
    data_type: object
    style_id: object


class UpperDict(dict):
    def __getitem__(self, key):
        v = super().__getitem__(key)
        return v.upper() if isinstance(v, str) else v


class MissingDict(dict):
    def __missing__(self, key):
        return None


def with_defaults(**values):
    d = defaultdict(lambda: None)
    d.update(values)
    return d


@pytest.mark.parametrize(
    "item, expected",
    [
        (cell(row=2, column=3, value="10", data_type="n"), (2, 3, "10", None, "n", None)),
        (CellTuple(4, 5, "v", "=A1", "f", "st"), (4, 5, "v", "=A1", "f", "st")),
        (CellData(6, 7, True, None, "b", None), (6, 7, "true", None, "b", None)),
        (types.SimpleNamespace(**cell(row=8, style_id="s9")), (8, 1, "x", None, "s", "s9")),
        (UpperDict(cell(value="low", data_type="s")), (1, 1, "LOW", None, "S", None)),
        (MissingDict(row=9, column=2, value="y", data_type="s"), (9, 2, "y", None, "s", None)),
        (with_defaults(row=3, column=1, value="z", data_type="s"), (3, 1, "z", None, "s", None)),
    ],
)
def test_dicts_by_key_and_other_objects_by_attribute(item, expected):
    c = convert(item)
    assert (c.row, c.column, c.value, c.formula, c.data_type, c.style) == expected


def test_a_dict_is_never_read_by_attribute():
    class Attrs(dict):
        row = column = 1
        value = formula = data_type = style_id = None

    with pytest.raises(KeyError):
        convert(Attrs())


def test_keys_are_read_in_order_and_the_first_failure_stops_reading():
    seen = []

    class Recording:
        def __getattr__(self, name):
            seen.append(name)
            if name == "value":
                raise AttributeError(name)
            return 1

    with pytest.raises(AttributeError):
        convert(Recording())
    assert seen == ["row", "column", "value"]


def test_main_module_cell_is_refused_for_lack_of_style_id():
    import vellix

    book = vellix.Book()
    main_cell = book.add_sheet("S").cell(1, 1, "v")
    with pytest.raises(AttributeError) as info:
        readable.find_cell_by_str("v", [main_cell])
    assert "style_id" in str(info.value)


# ---- lists that change while they are read ------------------------------------

class Mutating:
    """A cell whose `row` property runs `action` on the list being read."""

    column, value, formula, data_type, style_id = 1, "m", None, "s", None

    def __init__(self, row, action):
        self._row = row
        self.action = action

    @property
    def row(self):
        self.action()
        return self._row


@pytest.mark.parametrize(
    "change, rows",
    [
        (lambda cells: cells.clear(), [1]),
        (lambda cells: cells.pop(), [1, 2]),
        (lambda cells: cells.extend([cell(row=90), cell(row=91)]), [1, 2, 3]),
        (lambda cells: cells.insert(0, cell(row=80)), [1, 1, 2]),
    ],
)
def test_list_changed_while_read_is_read_within_both_lengths(change, rows):
    cells = []
    cells.append(Mutating(1, lambda: change(cells) if len(cells) == 3 else None))
    cells.extend([cell(row=2), cell(row=3)])
    assert [c.row for c in readable.find_cells_by_regex("", cells)] == rows


def test_value_list_changed_while_read_stops_at_its_new_end():
    items = ["a", None, "c"]

    class Shrinks:
        def __str__(self):
            del items[1:]
            return "s"

    items[0] = Shrinks()
    assert convert(cell(value=items)).value == "[s]"


# ---- snapshots and sharing ------------------------------------------------------

def test_result_does_not_follow_later_edits_and_each_call_reads_afresh():
    source = cell(row=3, value="before")
    found = convert(source)
    source.update(value="after", row=4)
    assert [(c.row, c.value) for c in (found, convert(source))] == [(3, "before"), (4, "after")]


def test_readable_cell_items_are_shared_not_read_by_attribute():
    # A ReadableCell has `style`, not `style_id`: reading it by attribute
    # would fail, so finding it proves its own cell was taken.
    rc = convert(cell(row=5, column=6, value="shared", style_id="st"))
    hits = readable.find_cells_by_str("shared", [rc, cell(value="other"), rc])
    assert len(hits) == 2 and hits[0] is not hits[1] and hits[0] is not rc
    assert [(h.row, h.column, h.value, h.style) for h in hits] == [(5, 6, "shared", "st")] * 2


def test_readable_cell_inside_a_sheet_is_read_by_attribute_and_refused():
    rc = convert(cell())
    with pytest.raises(AttributeError) as info:
        readable.Finder([sheet([rc])])
    assert "style_id" in str(info.value)


# ---- sheets ---------------------------------------------------------------------

@pytest.mark.parametrize(
    "merge_cells, ranges",
    [
        ([[1, 3]], [(1, 3, 0, 0)]),
        ([[1, 3, 2, 4, 9]], [(1, 3, 2, 4)]),
        (["7"], [(7, 0, 0, 0)]),
        ([[-1, "2", 70000, True]], [(4294967295, 2, 4464, 1)]),
        ([(1, 3, 2, 4), {"a": 1}], [(0, 0, 0, 0)] * 2),
        ([[4, 1, 4, 1], [1, 1, 1, 1], [1, 1, 1, 1]], [(4, 1, 4, 1), (1, 1, 1, 1), (1, 1, 1, 1)]),
        (([1, 2, 3, 4],), []),
        (None, []),
        ("A1:B2", []),
    ],
)
def test_merge_ranges_follow_the_range_rule(merge_cells, ranges):
    (s,) = snapshot(sheet(merge_cells=merge_cells))
    assert s.merge_cells == ranges


@pytest.mark.parametrize(
    "name, state, shown",
    [("Data", "any text", ("Data", "any text")), (None, None, ("", "")), (5, 2.0, ("5", "2"))],
)
def test_sheet_name_and_state_are_texts(name, state, shown):
    (s,) = snapshot(sheet(name=name, sheet_state=state))
    assert (s.name, s.sheet_state) == shown


def test_sheet_keeps_the_later_of_two_cells_at_one_coordinate():
    (s,) = snapshot(sheet([cell(row=1, value="first"), cell(row=2), cell(row=1, value="second")]))
    assert [(c.row, c.value) for c in s.cells] == [(1, "second"), (2, "x")]


@pytest.mark.parametrize("cells, type_name", [((), "tuple"), (None, "NoneType")])
def test_sheet_cells_must_be_a_list(cells, type_name, raises_exactly):
    item = sheet()
    item["cells"] = cells
    raises_exactly(TypeError, f"'{type_name}' object cannot be cast as 'list'", readable.Finder, [item])


def test_sheet_reads_its_four_keys_and_accepts_list_subclasses():
    class Cells(list):
        pass

    SheetTuple = namedtuple("SheetTuple", "name sheet_state merge_cells cells")
    s1, s2 = snapshot(
        SheetTuple("T", "visible", [[1, 1, 1, 2]], Cells([cell(value="a")])),
        collections.OrderedDict(sheet([cell(value="b")], name="O")),
    )
    assert [(s.name, s.merge_cells, [c.value for c in s.cells]) for s in (s1, s2)] == [
        ("T", [(1, 1, 1, 2)], ["a"]),
        ("O", [], ["b"]),
    ]


@pytest.mark.parametrize("missing", ["name", "sheet_state", "merge_cells", "cells"])
def test_sheet_without_a_key_raises_key_error(missing):
    item = sheet()
    del item[missing]
    with pytest.raises(KeyError) as info:
        readable.Finder([item])
    assert info.value.args == (missing,)


# ---- nothing is kept or leaked ---------------------------------------------------

class Held:
    """A cell- and sheet-like object whose references can be counted and watched."""

    def __init__(self, value, cells=None):
        self.row, self.column, self.value, self.formula, self.data_type, self.style_id = 1, 1, value, None, "s", None
        self.name, self.sheet_state, self.merge_cells, self.cells = "H", "visible", [[1, 1, 1, 1]], cells or []


@pytest.mark.parametrize(
    "call",
    [
        lambda item: readable.find_cells_by_regex("", [item]),
        lambda item: readable.find_cells_by_regex("(", [item]),  # fails after converting
        lambda item: readable.find_cells_by_regex("", [item, {}]),  # fails converting the next item
        lambda item: readable.Finder([Held("s", [item])]),
        lambda item: readable.create_finder([Held("s", [item, 5])]),  # fails on the int
    ],
)
def test_conversion_keeps_no_reference_to_what_it_read(call):
    value = Decimalish()
    item = Held(value)
    before = (sys.getrefcount(item), sys.getrefcount(value))
    for _ in range(300):
        try:
            call(item)
        except (RuntimeError, KeyError, AttributeError):
            pass
    assert (sys.getrefcount(item), sys.getrefcount(value)) == before


def test_finder_outlives_its_sources():
    source = Held("kept", [Held("cell")])
    watch = weakref.ref(source)
    finder = readable.Finder([source])
    del source
    assert watch() is None
    assert [c.value for c in finder.sheets[0].cells] == ["cell"]
