"""ReadableCell: the read-only view of a cell that the readable layer hands out."""

import weakref

import pytest

from vellix import readable

GETTERS = (
    "row", "column", "letter", "value", "formula", "style", "data_type", "is_formula",
    "is_value_bool", "is_value_numeric", "is_value_integer", "is_value_datetime", "is_value_empty",
)


def readable_cell(row=1, column=1, value="x", formula=None, data_type="s", style_id=None):
    item = {"row": row, "column": column, "value": value, "formula": formula, "data_type": data_type,
            "style_id": style_id}
    (found,) = readable.find_cells_by_regex("", [item])
    return found


def flags(c):
    return {name for name in GETTERS if name.startswith("is_") and getattr(c, name)}


@pytest.mark.parametrize(
    "given, expected",
    [
        (dict(row=7, column=2), dict(row=7, column=2, letter="B7", value="x", data_type="s", flags=set())),
        (dict(row=3, column=28), dict(letter="AB3")),
        (dict(row=7, column=0), dict(letter="7")),
        (dict(row=1, column=16384), dict(letter="XFD1")),
        (dict(row=0, column=65535), dict(letter="CRXO0")),
        (dict(value="42", data_type="n"), dict(value="42", data_type="n", flags={"is_value_integer"})),
        (dict(value="1.50", data_type="n"), dict(value="1.5", flags={"is_value_numeric"})),
        (dict(value="TRUE", data_type="b"), dict(value="true", flags={"is_value_bool"})),
        (dict(value="", data_type="n"), dict(value="", flags={"is_value_empty"})),
        (dict(value=None, data_type="s"), dict(value="", flags={"is_value_empty"})),
        (dict(value="2024-01-02 03:04:05", data_type="d"), dict(flags={"is_value_datetime"})),
        (dict(formula="=A1+1", data_type="f", value="3"), dict(formula="=A1+1", flags={"is_formula", "is_value_integer"})),
        (dict(formula="", data_type="f"), dict(formula="", flags={"is_formula"})),
        (dict(formula="=A1", data_type="n"), dict(formula="=A1", flags=set())),
        (dict(formula=None, data_type="f"), dict(formula=None, flags=set())),
        (dict(style_id="s1"), dict(style="s1")),
        (dict(style_id=None), dict(style=None)),
    ],
)
def test_getters_read_the_cell(given, expected):
    c = readable_cell(**given)
    shown = {name: getattr(c, name) for name in expected if name != "flags"}
    if "flags" in expected:
        shown["flags"] = flags(c)
    assert shown == expected


@pytest.mark.parametrize("row, column", [(7, 2), (0, 0), (4294967295, 65535)])
def test_repr_names_the_class_and_the_coordinate(row, column):
    assert repr(readable_cell(row, column)) == f"ReadableCell, Coords: Coordinate {{ row: {row}, column: {column} }}"


@pytest.mark.parametrize("name", GETTERS)
def test_every_attribute_is_read_only(name):
    c = readable_cell(value="keep", formula="=K", data_type="f", style_id="st")
    before = {g: getattr(c, g) for g in GETTERS}
    with pytest.raises(AttributeError):
        setattr(c, name, "new")
    with pytest.raises(AttributeError):
        delattr(c, name)
    assert {g: getattr(c, g) for g in GETTERS} == before


@pytest.mark.parametrize(
    "name", ["hidden_value", "style_id", "set_value_number", "set_value_integer", "set_value_bool", "set_value_datetime"]
)
def test_writing_half_of_cell_is_absent(name):
    c = readable_cell()
    assert not hasattr(c, name)
    with pytest.raises(AttributeError):
        setattr(c, name, "x")


def test_class_cannot_be_instantiated_subclassed_or_extended(raises_exactly):
    raises_exactly(TypeError, "cannot create 'vellix.readable.ReadableCell' instances", readable.ReadableCell)
    with pytest.raises(TypeError):
        type("Sub", (readable.ReadableCell,), {})
    c = readable_cell()
    assert not hasattr(c, "__dict__")
    with pytest.raises(TypeError):
        weakref.ref(c)
    assert (readable.ReadableCell.__module__, readable.ReadableCell.__qualname__) == ("vellix.readable", "ReadableCell")


def test_cell_passed_back_into_a_search_is_found_again_as_the_same_cell():
    first = readable_cell(row=4, column=3, value="again", style_id="s7")
    again = readable.find_cell_by_letter("C4", [readable_cell(value="other"), first])
    assert again is not first and type(again) is readable.ReadableCell
    assert [getattr(again, g) for g in GETTERS] == [getattr(first, g) for g in GETTERS]


def test_cells_of_snapshot_sheets_are_readable_cells():
    f = readable.Finder([{"name": "S", "sheet_state": "visible", "merge_cells": [],
                          "cells": [{"row": 2, "column": 1, "value": "v", "formula": None, "data_type": "s",
                                     "style_id": None}]}])
    (c,) = f.sheets[0].cells
    assert (type(c), c.letter, repr(c)) == (readable.ReadableCell, "A2", "ReadableCell, Coords: Coordinate { row: 2, column: 1 }")
