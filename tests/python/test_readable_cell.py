"""ReadableCell: Cell's getters (tested with Cell) in its own table, its text
form, and no way to write."""

import pytest

from vellix import readable

GETTERS = ("row", "column", "letter", "value", "formula", "style", "data_type", "is_formula", "is_value_bool",
           "is_value_numeric", "is_value_integer", "is_value_datetime", "is_value_empty")
DATE = "2024-01-02 03:04:05"


def readable_cell(*given):
    item = dict(zip(("row", "column", "value", "formula", "data_type", "style_id"), given))
    return readable.find_cells_by_regex("", [item])[0]


@pytest.mark.parametrize("given, shown", [
    ((7, 2, "42", None, "n", "s1"), (7, 2, "B7", "42", None, "s1", "n", 0, 0, 0, 1, 0, 0)),
    ((3, 28, "1.50", "=A1", "f", None), (3, 28, "AB3", "1.5", "=A1", None, "f", 1, 0, 1, 0, 0, 0)),
    ((7, 0, "TRUE", "=A1", "b", None), (7, 0, "7", "true", "=A1", None, "b", 0, 1, 0, 0, 0, 0)),
    ((1, 1, DATE, None, "d", None), (1, 1, "A1", DATE, None, None, "d", 0, 0, 0, 0, 1, 0)),
    ((1, 1, None, None, "f", None), (1, 1, "A1", "", None, None, "f", 0, 0, 0, 0, 0, 1)),
])
def test_getters_and_text_form(given, shown):  # the flags: is_formula, then is_value_bool to is_value_empty
    c = readable_cell(*given)
    assert tuple(getattr(c, name) for name in GETTERS) == shown
    assert repr(c) == f"ReadableCell, Coords: Coordinate {{ row: {given[0]}, column: {given[1]} }}"


def test_nothing_can_be_made_or_written_and_the_writing_half_of_cell_is_absent(raises_exactly):
    raises_exactly(TypeError, "cannot create 'vellix.readable.ReadableCell' instances", readable.ReadableCell)
    with pytest.raises(TypeError, match="is not an acceptable base type"):
        type("Sub", (readable.ReadableCell,), {})
    c = readable_cell(1, 1, "keep", "=K", "f", "st")
    before = [getattr(c, name) for name in GETTERS]
    absent = ("hidden_value", "style_id", *("set_value_" + k for k in ("number", "integer", "bool", "datetime")))
    for name in GETTERS + absent:
        for write in (lambda: setattr(c, name, "new"), lambda: delattr(c, name)):
            with pytest.raises(AttributeError):
                write()
        assert name in GETTERS or not hasattr(c, name)
    assert [getattr(c, name) for name in GETTERS] == before


@pytest.mark.parametrize("data_type", ["s", "n", "f", "x", "~", "\u00e9", "\x00", "", "str", "n\x00", "t" * 300])
def test_any_data_type_text_reads_back_exactly(data_type):
    c = readable_cell(1, 1, "12", None, data_type, None)
    assert (c.data_type, c.value, c.is_value_integer) == (data_type, "12", data_type != "s")
